#pragma once

// What each part of the band plays, written into a pattern over rows
// [from, to) or at one row: drums, bass, chords, the lead and the air.

#include "tools/compose/notation.h"

// Drums.
void fourOnTheFloor(XmPattern &p, int from, int to, int level);
void heartbeat(XmPattern &p, int from, int to, int level);
void halfTimeKick(XmPattern &p, int from, int to);
void backbeat(XmPattern &p, int from, int to, int level);
void halfTimeSnare(XmPattern &p, int from, int to);
void sixteenthHats(XmPattern &p, int from, int to, int level);
void offbeatHats(XmPattern &p, int from, int to, int level);
void openHats(XmPattern &p, int from, int to, int level);
void crash(XmPattern &p, int row, int level);
void risingSnares(XmPattern &p, int from, int to, int step, int level);
void snareRoll(XmPattern &p, int from, int to, int level);
void hatRoll(XmPattern &p, int from, int to, int level);
void tomFill(XmPattern &p, int from, int to);

// Bass.
void rollingBass(XmPattern &p, const Bars &bars, int from, int to, int level);
void bassSwoop(XmPattern &p, int row, const Chord &next);
void glidingBass(XmPattern &p, const Bars &bars, int from, int to, int level);

// Chords.
void pluckArpeggio(XmPattern &p, const Bars &bars, int from, int to, int step, int level);
void gatedChords(XmPattern &p, const Bars &bars, int from, int to, int level);
void warmChords(XmPattern &p, const Bars &bars, int from, int to, const Chord *before,
                const int *levels = nullptr);
void shimmer(XmPattern &p, int from, int to);
void releaseChords(XmPattern &p, int row);
void chipStabs(XmPattern &p, const Bars &bars, int from, int to);

// The lead.
void melody(XmPattern &p, int channel, const Phrase &phrase, int from, uint8_t instrument,
            int level);
void echo(XmPattern &p, int delay, int level, int ticks = 0);
void harmony(XmPattern &p, const Bars &bars, int level);

// Air.
void wind(XmPattern &p, int row, const char *pitch, int level);
void riserSweep(XmPattern &p, int from, int to, int level);
void downSweep(XmPattern &p, int row);
