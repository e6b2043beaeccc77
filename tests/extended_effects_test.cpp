// Effects G and on, E0..EF and position effects (see effects_test.cpp). A note
// start moves to the other voice of the channel's pair (0 <-> 32).

#include "tick_player.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Volume envelope (0, 64), (2, 32), (10, 0) sustained at point 1; fadeout 1000 in the file.
void sustainedEnvelope(XmSong &xm) {
    xm.instruments[0].volumeEnvelope = {{{0, 64}, {2, 32}, {10, 0}}, 1, 0, 0, 3, {}};
    xm.instruments[0].fadeout = 1000;
}

// Volume envelope (0, 64), (10, 32), (20, 48), (30, 0), on or off; panning (0, 32), (40, 64).
template <uint8_t type> void fourPoints(XmSong &xm) {
    xm.instruments[0].volumeEnvelope = {{{0, 64}, {10, 32}, {20, 48}, {30, 0}}, 0, 0, 0, type, {}};
    xm.instruments[0].panningEnvelope = {{{0, 32}, {40, 64}}, 0, 0, 0, 1, {}};
}
// Volume envelope (0, 64), (60, 4).
void fallingEnvelope(XmSong &xm) {
    xm.instruments[0].volumeEnvelope = {{{0, 64}, {60, 4}}, 0, 0, 0, 1, {}};
}
// A fifth point at tick 100 in the file, beyond the count of 4.
void fourPointsAndAStray(XmSong &xm) {
    fourPoints<1>(xm);
    xm.instruments[0].volumeEnvelope.points.push_back({100, 10});
    xm.instruments[0].volumeEnvelope.pointCount = 4;
}

TEST(ExtendedEffects, GlobalVolume) {
    expectTraces({
        // H30 remembers on tick 0, then +3 a tick without raising Volume: the voice keeps
        // 63 until row 2 takes 47, trunc(93.6). H00 in channel 1 repeats it (one memory for
        // all channels); 65 is limited to 64, x wins in H21, and a slide down stops at 0.
        {"C-4 01 G20; H30; . | H00; H00; H02; H21; G03; H02", "gvol vflag vvol", 6,
         "32 35 38 41 44 47 47 50 53 56 59 62 62 5*64 64 62 60 58 56 54 54 56 58 60 62 64 6*3 "
         "3 1 0 0 0 0 / 1 5*0 1 5*0 / 6*63 6*93"},
    });
}

TEST(ExtendedEffects, KeyOffAndEnvelopePosition) {
    expectTraces({
        // 64, 48 halfway, then held at 32. K00 releases before tick 1's envelope step, which
        // starts the segment to point 2 (-4 a tick); the fadeout falls by 2000 a tick.
        {"C-4 01; K00", "env fade", 0,
         "64 48 32 32 32 32 32 28 24 20 16 12 / 6*65536 63536 61536 59536 57536 55536 53536",
         sustainedEnvelope},
        // Lxx: slopes (32 - 64) x 65536 / 10 = -209715 and (0 - 48) x 65536 / 10 = -314572;
        // the value is the accumulator >> 16. L05: 5 x -209715 + 64 x 65536 (48), then 44.8.
        // L0A: 32, then point 1's 32. L15: -314572 + 48 x 65536 (43.2), then 38.4. L00: tick 0
        // is not point 1's tick, so tick 1 adds the slope (60.8). L40: no point from 1 on lies
        // at or after 64: the last point's value (0; 4 of (60, 4)), done. The panning envelope
        // is not moved.
        {"C-4 01 L05 | C-4 01 L0A | C-4 01 L15 | C-4 01 L00",
         "env envpoint envtick env1 envpoint1 envtick1 env2 envpoint2 envtick2 env3 envpoint3 "
         "envtick3 penvtick envdone",
         0, "48 44 / 1 / 5 / 32 32 / 1 / 10 / 43 38 / 3 / 21 / 64 60 / 1 / 0 / 1 2 / 0",
         fourPoints<1>},
        {"C-4 01 L40", "env penvtick envpoint envdone", 0, "0 0 / 1 2 / 4 / 1", fourPoints<1>},
        {"C-4 01 L40", "env envdone", 0, "0 0 / 1 1", fourPointsAndAStray},
        {"C-4 01 L40", "env envdone", 0, "4 4 / 1 1", fallingEnvelope},
        // With the envelope off L05 leaves the reset state.
        {"C-4 01 L05", "env envtick envpoint vvol", 0, "6*64 / 6*0 / 6*0 / 6*127", fourPoints<0>},
    });
}

TEST(ExtendedEffects, Panning) {
    expectTraces({
        // Pxy slides on later ticks, x first, within 0..255; P00 repeats P30.
        {"C-4 01 vCF P30; P00; P0F; P00; vC1 P04; P24", "pan vpan", 0,
         "240 243 246 249 252 6*255 255 255 240 225 210 195 180 180 165 150 135 120 105 "
         "16 12 8 4 0 0 0 2 4 6 8 10 / "
         "240 243 246 249 252 6*255 255 255 240 225 210 195 180 180 165 150 135 120 105 "
         "16 12 8 4 0 0 0 2 4 6 8 10"},
        // P00 with an empty memory does nothing on tick 0 but raises Panning on the later
        // ticks; P02 then raises it on every tick; E84 sets 64 on its first tick only.
        {"speed=3: C-4 01; P00; P02; E84", "pflag pan", 3,
         "0 1 1 1 1 1 1 0 0 / 4*128 126 124 3*64"},
        // E8y sets 16y.
        {"speed=3: C-4 01; E8F; E80; E88", "vpan", 3, "3*240 3*0 3*128"},
    });
}

TEST(ExtendedEffects, Retrigger) {
    expectTraces({
        // R08 without a note retriggers on ticks 8 and 16 (never 0), each on the other voice;
        // volume change 0 leaves the volume alone and raises no Volume after tick 0.
        {"speed=20: C-4 01; R08", "start vidx vol vflag", 20,
         "8*0 1 7*0 1 3*0 / 8*0 8*32 4*0 / 20*64 / 1 19*0"},
    });
}

TEST(ExtendedEffects, MultiRetrigVolumeTable) {
    // Changes 1..5: -1, -2, -4, -8, -16; 6: x 2 / 3; 7: >> 1; 8: none; 9..13: +1, +2, +4,
    // +8, +16; 14: x 3 / 2; 15: x 2; truncated, then limited to 0..64.
    const int cases[][3] = {// volume, change, volume after the retrigger
                            {40, 1, 39},  {40, 2, 38},  {40, 3, 36},  {40, 4, 32},  {40, 5, 24},
                            {40, 6, 26},  {40, 7, 20},  {40, 8, 40},  {40, 9, 41},  {40, 10, 42},
                            {40, 11, 44}, {40, 12, 48}, {40, 13, 56}, {40, 14, 60}, {40, 15, 64},
                            {41, 6, 27},  {41, 7, 20},  {41, 14, 61}, {10, 5, 0},   {3, 4, 0},
                            {50, 13, 64}, {0, 9, 1}};
    for (const auto &[volume, change, expected] : cases) {
        // Speed 2, interval 1: tick 1 retriggers once.
        char song[40], values[20];
        std::snprintf(song, sizeof song, "speed=2: C-4 01 v%02X R%X1", 0x10 + volume, change);
        std::snprintf(values, sizeof values, "1 / %d / 1", expected);
        expectTraces({{song, "start vol vflag", 1, values}});
    }
}

TEST(ExtendedEffects, TremorCutAndFineSlides) {
    expectTraces({
        // T21: on for 2 + 1 ticks, off for 1 + 1, from tick 0 (the instrument number reset
        // the counter); T00 repeats it and the counter runs on.
        {"speed=12: C-4 01 T21; T00", "vvol", 0,
         "3*127 0 0 3*127 0 0 127 127 127 0 0 3*127 0 0 3*127 0"},
        // T00 with nothing remembered: on and off are 0 ticks, and every tick is silent.
        {"C-4 01 T00", "vvol", 0, "6*0"},
        {"C-4 01 T00", "vd", 5, "-64"},
        // EAy and EBy share one memory: EA5 then EB0 goes down by 5; 75 and -11 are limited.
        {"speed=3: C-4 01 v38; EA5; EB0; EA0; EB3; EA0; EAF; EA0; EBF; EB0; EB0; EB0; EB0", "vol",
         3, "3*45 3*40 3*45 3*42 3*45 3*60 3*64 3*49 3*34 3*19 3*4 3*0"},
        // X1y and X2y move by y on the first tick, X10 and X20 repeat; other x do nothing.
        {"speed=3: C-4 01; X13; X10; X25; X20; X10; X30; X05", "period", 3,
         "3*4605 3*4602 3*4607 3*4612 3*4609 3*4609 3*4609"},
        // E1y and E2y move by 4y without limit: the Amiga B-7 (base 113) passes the 56 that
        // limits effect 1.
        {"speed=3: C-4 01; E12; E10; E23; E20; E10", "period", 3,
         "3*4600 3*4592 3*4604 3*4616 3*4608"},
        {"speed=3 amiga: B-7 01; E1F; E10", "period", 3, "3*53 3*-7"},
    });
}

TEST(ExtendedEffects, WavesAndFinetune) {
    expectTraces({
        // E4y and E7y set their nibble.
        {"speed=3: C-4 01; E47; E72; E40; E7F; E70", "wave", 3, "3*7 3*39 3*32 3*240 3*0"},
        // E5y writes the sample's finetune; the periods playing stay, and after the song
        // loops the notes take 4608 - f / 2 (truncating). E50 takes 0 as a value.
        {"rows=2 speed=2: C-4 01 | C-4 01; E5F", "ft period period1 np np1 order row", 0,
         "0 0 15 15 15 / 4*4608 4601 / 4*4608 4601 / 4*4608 4601 / 4*4608 4601 / 5*0 / 0 0 1 1 0"},
        {"rows=2 speed=2 ft=-16: C-4 01 | C-4 01; E50", "ft period period1", 0,
         "-16 -16 0 0 0 / 4*4616 4608 / 4*4616 4608"},
    });
}

TEST(ExtendedEffects, NoteDelay) {
    expectTraces({
        // A delayed note keeps the old one playing: at volume 16 and pan 64 under an
        // envelope falling 1 a tick, trunc(16 x 59 x 255 / 8192) = 29. ED2 with C-5 (3840),
        // volume 32: ticks 0 and 1 take period, volume and pan back and leave the voice
        // alone; tick 2 resets (64, 128, envelope 64), applies the column and starts the
        // other voice at trunc(8363 x 2^(768 / 768)) = 16726 Hz, volume 63.
        {"C-4 01 v20 840; C-5 v30 ED2", "vvol", 5, "29", fallingEnvelope},
        {"C-4 01 v20 840; C-5 v30 ED2", "start env period np vol pan vidx freq vvol", 6,
         "0 0 1 0 0 0 / 58 57 64 / 4608 4608 3840 / 3840 3840 3840 / 16 16 32 / 64 64 128 / "
         "0 0 32 / 8363 8363 16726 / 29 29 63",
         fallingEnvelope},
    });
}

TEST(PositionEffects, PatternDelayAndLoop) {
    expectTraces({
        // EEy makes the row (1 + y) x 3 ticks long at speed 3; channel 1's note starts once
        // and its A01 slides on every later tick, the delay's included.
        {"speed=3: EE1 | C-4 01 A01; .", "row start1 vol1 delay", 0,
         "6*0 1 / 1 6*0 / 64..59 59 / 3"},
        {"speed=3: EEF | C-4 01 A01; .", "row start1 vol1 delay", 0,
         "48*0 1 / 1 48*0 / 64..17 17 / 45"},
        {"speed=3: EEF | C-4 01 A01; .", "delay", 48, "0"},
        // E60 marks row 1, E62 plays rows 1..3 three times; then 4, 5 and (the song loops) 0.
        {"rows=6 speed=2: .; E60; .; E62; .; .", "row", 0,
         "0 0 1 1 2 2 3 3 1 1 2 2 3 3 1 1 2 2 3 3 4 4 5 5 0 0 1 1 2 2"},
        // Pattern 0 marks a row; pattern 1 (4 rows) loops once with E61 to that row of its
        // own. A row past its end plays nothing; then order 0 follows.
        {"speed=1 rows=8,4 orders=0,1: ;; C-4 01 E60 / ;;; E61", "order row", 8,
         "6*1 0 / 0 1 2 3 2 3 0"},
        {"speed=1 rows=8,4 orders=0,1: ;;;;;; C-4 01 E60 / ; E61", "order row", 8,
         "1 1 1 0 / 0 1 6 0"},
        {"speed=1 rows=8,4 orders=0,1: ;;;;;; C-4 01 E60 / ; E61", "row last start", 10,
         "6 / 0 / 0"},
    });
}

void notesWithSlides(XmSong &xm) {
    for (int r = 0; r < 16; ++r)
        xm.patterns[1].at(r, 0) = xmCell("C-4 01 A01");
}

TEST(PositionEffects, JumpsAndBreaks) {
    expectTraces({
        // B and D in one row (orders 1..6 play a 16-row pattern), chosen on tick 0 and held:
        // a break after a jump keeps its order, a jump after a break sets row 0.
        {"speed=3 rows=4 orders=0,1,1,1,1,1,1: B05 | D10 / .", "order row norder nrow", 0,
         "0 0 0 5 / 0 0 0 10 / 3*5 / 3*10"},
        // A jump holds back only a break of its own row.
        {"speed=1 rows=4,8,8 orders=0,1,2: B01 / D05 / .", "order row", 0, "0 1 2 / 0 0 5"},
        // Three orders, restart 2: a jump to order 3 or beyond goes to order 0.
        {"speed=1 rows=4,4 orders=0,1,1 restart=2: . / .; B03", "order row", 0,
         "4*0 1 1 0 / 0..3 0 1 0"},
        {"speed=1 rows=4,4 orders=0,1,1 restart=2: . / .; B02", "order row", 0,
         "4*0 1 1 2 / 0..3 0 1 0"},
        // A break to a row at or past the end of the next pattern (16 rows of notes) plays
        // an empty row, then the next order's first.
        {"speed=1 rows=4,16,4 orders=0,1,2: .; D20 / . / .", "order row", 0, "0 0 1 2 / 0 1 20 0",
         notesWithSlides},
        {"speed=1 rows=4,16,4 orders=0,1,2: .; D63 / . / .", "order row", 0, "0 0 1 2 / 0 1 63 0",
         notesWithSlides},
        {"speed=1 rows=4,16,4 orders=0,1,2: .; D63 / . / .", "last start playing", 2, "0 / 0 / 0",
         notesWithSlides},
    });
}

} // namespace
