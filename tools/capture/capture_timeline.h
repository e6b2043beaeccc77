#pragma once

// What a display running at a fixed rate shows and plays: frame i comes
// i / rate seconds after the first, and the light follows the row of the
// sound block being heard at that moment.

#include "player/player.h"

#include <cstdint>
#include <vector>

struct Soundtrack {
    std::vector<int16_t> pcm;  // interleaved 16-bit stereo at 44100 Hz
    std::vector<int32_t> rows; // the row stamped on each block
    bool looped = false;       // it ends where the song loops
};

// Renders the song from its start as the audio device would play it; seconds
// < 0 renders until the song loops. False when the player or the sound
// itself can't be allocated.
bool renderSoundtrack(Song *song, double seconds, Soundtrack &soundtrack);

int64_t soundFrames(const Soundtrack &soundtrack);

// The pictures it takes to cover the sound at this rate.
int64_t framesToCover(int64_t soundFrameCount, int framesPerSecond);

// The intro's clock at frame i: i * 1000 / rate milliseconds, truncated.
int32_t elapsedMsAt(int64_t frame, int framesPerSecond);

// The row of the block being heard elapsedMs after the first frame.
int32_t audibleRowAt(const Soundtrack &soundtrack, int32_t elapsedMs);

// Where the sound that plays under frame i starts: i / rate seconds in,
// truncated to a whole sound frame and at most the end.
int64_t soundStartOf(int64_t frame, int framesPerSecond, int64_t soundFrameCount);
