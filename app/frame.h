#pragma once

// The per-frame callback: music position on the console, the wall clock, the
// animation, then the drawing. The intro advances its animation one step per
// frame drawn; a page, whose display may run at any rate, draws by its clock.

#include <cstdint>

void displayFrame();
void printMusicPosition();

// The timeline's pace: on a 60 Hz display the intro draws frame i at
// i * 1000 / 60 ms, and so do the video capture and a page at any rate.
const int timelineFramesPerSecond = 60;

// The frame of the timeline at intro time introMs: floor(introMs * 60 / 1000).
int timelineFrameAt(double introMs);

// The page's per-frame callback: the status line, then the timeline's frame
// at introMs (milliseconds since the first frame, pauses left out), drawn with
// the accumulators of that frame. A faster display repeats a frame, a slower
// one skips frames; either way the scene keeps the music's pace. Returns the
// frame number drawn.
int displayFrameAt(double introMs);

// The console status line, rewritten in place by its carriage return.
void printStatusLine(int32_t order, int32_t row, float seconds);

// Milliseconds from a monotonic clock, as the unsigned 32-bit count the frame
// clock works with; only differences matter, so its wrap does no harm.
uint32_t tickCountMs();

// now - start in 32-bit arithmetic, so a wrap of the count between the two
// readings still gives the elapsed time.
int32_t elapsedSince(uint64_t startTick, uint32_t now);
