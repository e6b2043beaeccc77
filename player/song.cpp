// The shared empty records, and releasing a song.

#include "player/loader.h"

Instrument emptyInstrument = {};
Sample emptySample = {};

bool freeSong(Song *song) {
    if (!song)
        return false;
    stopSong(song);
    releaseSong(song);
    return true;
}
