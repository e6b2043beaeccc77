// Ownership of the song tree: loadSong allocates it zero-filled with calloc,
// freeSong releases exactly what it owns.

#include "player/player.h"

#include <cstdlib>

Instrument emptyInstrument = {};
Sample emptySample = {};

namespace {

void releaseInstrument(Instrument &instrument) {
    for (int32_t slot = 0; slot < instrument.sampleCount && slot < 16; ++slot) {
        Sample *sample = instrument.samples[slot];
        if (!sample || sample == &emptySample)
            continue;
        std::free(sample->data);
        std::free(sample);
    }
}

void releaseSongTree(Song &song) {
    if (song.patterns) {
        for (int32_t i = 0; i < song.patternSlotCount; ++i)
            std::free(song.patterns[i].cells);
        std::free(song.patterns);
    }
    if (song.instruments) {
        for (int16_t i = 0; i < song.instrumentCount; ++i)
            releaseInstrument(song.instruments[i]);
        std::free(song.instruments);
    }
}

} // namespace

bool freeSong(Song *song) {
    if (!song)
        return false;
    stopSong(song);
    releaseSongTree(*song);
    std::free(song);
    return true;
}
