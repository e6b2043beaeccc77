// Playback as the application sees it: stopping, and the audible position.

#include "player/blockfill.h"

bool stopSong(Song *song) {
    if (!song)
        return false;
    endPlayback();
    return true;
}

namespace {
const PositionStamp *stampFor(const Song *song) {
    return song ? audibleStamp() : nullptr;
}
} // namespace

int getOrder(Song *song) {
    const PositionStamp *stamp = stampFor(song);
    return stamp ? stamp->order : 0;
}

int getRow(Song *song) {
    const PositionStamp *stamp = stampFor(song);
    return stamp ? stamp->row : 0;
}

int getTime(Song *song) {
    const PositionStamp *stamp = stampFor(song);
    return stamp ? stamp->timeMs : 0;
}
