#pragma once

// The mixer's frame loops, inside the player: the passes (loop boundaries,
// ramps) are decided in mixer.cpp; these loops resample, scale and add a run
// of frames. Every set of loops gives the same bits: each frame goes through
// the same float operations in the same order, whichever set runs it.

#include <cstdint>

struct FrameGains {
    float left, right;
};

// A loop adds count interleaved stereo frames into out, reading a sample's
// values from a position on (32.32 frames, moved by step, which is negated
// when moving backwards), and returns the position after them. The
// arguments travel in registers: a pass of one or two frames is common.
struct FrameLoops {
    // At constant gains.
    uint64_t (*constant)(float *out, int32_t count, const int16_t *data, uint64_t position,
                         uint64_t step, FrameGains gains);
    // The gains grow by the deltas after each frame.
    uint64_t (*ramp)(float *out, int32_t count, const int16_t *data, uint64_t position,
                     uint64_t step, FrameGains &gains, FrameGains deltas);
    // Rounds (to nearest, ties to even) and clips count values into 16 bits.
    void (*convert)(int16_t *destination, const float *source, int64_t count);
};

const FrameLoops &scalarFrameLoops();
// Null where this build or this processor lacks the instructions.
const FrameLoops *sse2FrameLoops();
const FrameLoops *avx2FrameLoops();

const float twoToMinus31 = 1.0f / 2147483648.0f;

// Linear interpolation between the frame at the position and the next one;
// then the position advances, its lowest fraction bit cleared first.
inline float nextValue(const int16_t *data, uint64_t &position, uint64_t step) {
    const uint32_t i = static_cast<uint32_t>(position >> 32);
    const float w = static_cast<float>(static_cast<uint32_t>(position) >> 1) * twoToMinus31;
    const float first = data[i];
    const float x = first + w * (static_cast<float>(data[i + 1]) - first);
    position = (position & ~uint64_t{1}) + step;
    return x;
}

// Where frame k of a run reads: the lowest fraction bit is cleared before
// every step, so for k >= 1 the position is the start with that bit cleared,
// plus k steps with it cleared, plus the step's own lowest bit. The reads
// ignore the lowest bit, so start + k cleared steps reads the same values.
inline uint64_t positionAfter(uint64_t position, uint64_t step, int64_t frames) {
    if (frames == 0)
        return position;
    return (position & ~uint64_t{1}) + static_cast<uint64_t>(frames) * (step & ~uint64_t{1}) +
           (step & 1);
}
