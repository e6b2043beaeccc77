#pragma once

// The effect command of a pattern cell, on the first tick of its row and on
// every later tick, and the steps it shares with the volume column. Effects
// reach the voice only through the update flags they raise, except the
// sample offset, which sets the voice's start offset.

#include "player/sequencer.h"

// One channel's view of the row being played.
struct ChannelRow {
    Song &song;
    MusicChannel &channel;
    const PatternCell &cell;
    Selection selection;
};

// What the row pass remembers for the commands of one row.
struct RowPassState {
    bool positionJumpSeen; // an earlier channel of this row jumped (effect B)
};

// The channel's period, volume and panning before the row's cell applied.
struct ChannelSnapshot {
    int32_t period;
    int32_t channelVolume;
    int32_t channelPan;
};

// True when the row holds a tone portamento, in the effect or the volume column.
bool holdsTonePortamento(const PatternCell &cell);

// The effect on the row's first tick, and on every later tick.
void effectFirstTick(ChannelRow &row, RowPassState &pass, const ChannelSnapshot &before);
void effectLaterTick(ChannelRow &row);

// Shared steps of the commands and the volume column.
void tonePortaStep(MusicChannel &channel);
void vibratoStep(MusicChannel &channel);
void tremoloStep(MusicChannel &channel);
void tremorStep(MusicChannel &channel);
void advanceVibratoPhase(MusicChannel &channel);

// Volume changes that stop at 0 and 64: a volume above 64 (set by Cxx) drops
// to 64 on the first step up and falls from where it is on a step down.
void volumeUp(MusicChannel &channel, int32_t amount);
void volumeDown(MusicChannel &channel, int32_t amount);

// The wave magnitudes 0..255 at a phase of -32..31.
int32_t sineMagnitude(int32_t phase);
int32_t rampMagnitude(int32_t phase);

// Panning slides have no limit of their own; this keeps the arithmetic in range.
const int32_t panLimit = 1 << 24;
