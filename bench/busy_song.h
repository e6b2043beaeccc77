#pragma once

// A busy song for the render benchmark and the render comparisons, made with
// the XM builder from a fixed seed, so every run writes the same file.
// Every channel starts a note on most rows, on eight instruments that cover
// every way the mixer walks a sample: 8- and 16-bit data; no loop, forward
// loops and ping-pong loops (one starting at frame 0, one of 16 frames);
// notes over five octaves. The volume column and volume slides change the
// gains on many ticks, so the voices ramp often; portamento, vibrato, sample
// offsets, panning and key-offs with fadeout and envelopes keep the
// sequencer busy. 4 patterns of 64 rows at speed 6 and 125 BPM: 30.7 seconds
// until the song loops.
//
// With extremes, notes span all eight octaves, the short loop is 3 frames
// played two octaves up, so a step can cover several loops, and the global
// volume stays full, so the mix clips: a test of the mixer's corners more than
// a song.

#include "xm_builder/xm_builder.h"

#include <cstdint>

XmSong busySong(int channels, uint32_t seed = 1, bool extremes = false);
