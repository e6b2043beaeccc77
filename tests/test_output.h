#pragma once

// An audio output for tests: nothing is heard, and the test moves the play
// position by hand. It records what playback asked of it.

#include "player/output.h"

#include <atomic>
#include <cstdint>

struct TestOutputLog {
    int opens = 0;
    int starts = 0;
    int stops = 0;
    int closes = 0;
    bool openFails = false;          // the next opens fail
    bool ringReadableAtStop = false; // the ring was still there when the device stopped
    const int16_t *ring = nullptr;
    int32_t ringFrames = 0;
};

extern TestOutputLog testOutputLog;

const AudioOutput &testAudioOutput();

// Moves the device's play position to this many frames since its start.
void setTestPlayPosition(uint64_t frames);
