#pragma once

// A six-channel song in A minor made with the XM builder that uses every
// effect of the effect column (0..9, A..F, G, H, K, L, P, R, T, X), every
// extended command E1..EE and every volume-column command at least once, on
// five instruments with volume and panning envelopes (sustain, loops),
// fadeout and auto-vibrato, and 8- and 16-bit samples without a loop, with a
// forward loop and with a ping-pong loop. Playing it runs most of the player.
//
// Its form, which fixes its length:
//
//   order  pattern  rows played                    speed  BPM
//   0      0        0..15                          6      125 (the defaults)
//   1      1        0..31, rows 8..11 twice (E6),  6      150 (F96 on row 0)
//                   row 15 twice as long (EE1)
//   2      2        0..23; row 23 jumps (B04) and  5      150 (F05 on row 0)
//                   breaks (D08 in a later channel)
//                   to row 8 of order 4
//   3      0        never: the jump skips it
//   4      3        8..31                          6      125 (F06, F7D on row 8)
//   5      4        0..15                          6      125
//
// After order 5 play continues at the restart position, order 1. No other
// cell changes the speed, the tempo or the position.

#include "tools/xm_builder.h"

XmSong everyEffectSong();
