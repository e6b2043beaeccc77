#pragma once

// Where a song loops: the block fill shows the watch every tick before it
// runs, and the watch notes the frame of the first row start that returns to
// an order already played. Runs on the thread that mixes; allocates nothing.

#include "player/player.h"

#include <cstdint>

// Forgets every order played: the song starts, or starts again somewhere.
void resetLoopWatch();

// A tick is about to run at this frame of the music.
void watchTick(const Song &song, int64_t frame);

// The frame at which the song first returned to an order already played, or
// -1 while it has not. Any thread may ask.
int64_t loopFrame();
