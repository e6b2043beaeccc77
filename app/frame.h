#pragma once

// The per-frame callback: music position on the console, the wall clock, the
// animation, then the drawing.

#include <cstdint>

void displayFrame();
void printMusicPosition();

// Back to the first frame: the accumulators at their start-up values, and the
// clock starts again at the next frame. For a page that replays the intro.
void restartTimeline();

// Moves the clock's start on by ms, so that a pause (a page while hidden)
// does not count as elapsed time.
void leaveOutOfTimeline(uint32_t ms);

// The console status line, rewritten in place by its carriage return.
void printStatusLine(int32_t order, int32_t row, float seconds);

// Milliseconds from a monotonic clock, as the unsigned 32-bit count the frame
// clock works with; only differences matter, so its wrap does no harm.
uint32_t tickCountMs();

// now - start in 32-bit arithmetic, so a wrap of the count between the two
// readings still gives the elapsed time.
int32_t elapsedSince(uint64_t startTick, uint32_t now);
