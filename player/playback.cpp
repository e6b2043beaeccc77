// Playback state: the playing song and the position stamps of the output
// blocks. The position queries report the stamp of the block being heard.

#include "player/player.h"

namespace {
Song *currentSong = nullptr;
PositionStamp *positionStamps = nullptr;
int stampIndex = 0;

const PositionStamp *audibleStamp(const Song *song) {
    if (!song || !currentSong || !positionStamps)
        return nullptr;
    return &positionStamps[stampIndex];
}
} // namespace

bool stopSong(Song *song) {
    if (!song)
        return false;
    currentSong = nullptr;
    return true;
}

int getOrder(Song *song) {
    const PositionStamp *stamp = audibleStamp(song);
    return stamp ? stamp->order : 0;
}

int getRow(Song *song) {
    const PositionStamp *stamp = audibleStamp(song);
    return stamp ? stamp->row : 0;
}

int getTime(Song *song) {
    const PositionStamp *stamp = audibleStamp(song);
    return stamp ? stamp->timeMs : 0;
}
