#include "player/loop_watch.h"

#include <atomic>

namespace {

bool played[256] = {};
std::atomic<int64_t> firstLoopFrame{-1};

} // namespace

void resetLoopWatch() {
    for (bool &order : played)
        order = false;
    firstLoopFrame.store(-1, std::memory_order_release);
}

void watchTick(const Song &song, int64_t frame) {
    if (song.tick != 0)
        return;
    // At a row start the order about to play is the one chosen, if any.
    const int32_t order = song.nextOrder >= 0 ? song.nextOrder : song.order;
    if (song.nextOrder >= 0 && played[order & 0xff] && firstLoopFrame.load() < 0)
        firstLoopFrame.store(frame, std::memory_order_release);
    played[order & 0xff] = true;
}

int64_t loopFrame() {
    return firstLoopFrame.load(std::memory_order_acquire);
}
