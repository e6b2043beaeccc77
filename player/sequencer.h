#pragma once

// The sequencer: pattern rows and ticks turned into the state of the voices.

#include "player/player.h"

// One tick of the whole song; the song's tickFunction.
void sequencerTick(Song *song);
