#pragma once

// The song is in A minor at 120 beats a minute: speed 6 at tempo 120 makes a
// row 5508 frames (0.1249 s), four rows a beat, sixteen rows a bar of almost
// exactly two seconds. Every eighth row falls on beat 1 or 3 of a bar, the
// strong beats the picture's light bobs to. The intro's timeline is counted
// in those bars: credits from bar 1 (2 s), the groove from bar 10 (20 s).

#include "xm_builder/xm_builder.h"

// The whole song: its instruments, patterns and order.
XmSong composeSong();
