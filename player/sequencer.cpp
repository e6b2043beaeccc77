#include "player/sequencer.h"

void sequencerTick(Song *) {}
