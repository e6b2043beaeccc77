#pragma once

// The volume column of a pattern cell: a volume, or a slide, vibrato,
// panning or tone portamento command, on the row's first tick and on every
// later tick.

#include "player/sequencer.h"

void applyVolumeColumn(MusicChannel &channel, uint8_t volumeColumn);
void volumeColumnTick(MusicChannel &channel, uint8_t volumeColumn);
