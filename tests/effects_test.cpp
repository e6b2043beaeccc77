// Effects 0..9, A..D, F and the volume column tick by tick, at speed 6 with the
// linear table unless a song says otherwise. C-4: period 7680 - 64 x 48 = 4608 at
// 8363 Hz, Amiga 1712. At pan 128 a voice plays trunc(volume x 255 / 128). At
// phase p the vibrato's delta is (m(p) x depth) >> 5, low two bits cleared,
// negative for p >= 0; the tremolo's (m(p) x depth) >> 6.

#include "player/effects.h"
#include "tick_player.h"

#include <gtest/gtest.h>

namespace {

TEST(Effects, SineAndRampMagnitudes) {
    // Sine m for phase mod 32 = 0..16, mirrored above; ramp 8p for p >= 0, 255 - 8 (p + 32) below.
    const int32_t quarter[] = {0,   25,  49,  74,  97,  120, 142, 162, 181,
                               197, 212, 225, 236, 244, 251, 254, 255};
    for (int32_t phase = -32; phase < 32; ++phase) {
        const int k = (phase + 32) % 32;
        EXPECT_EQ(sineMagnitude(phase), quarter[k <= 16 ? k : 32 - k]) << phase;
        EXPECT_EQ(rampMagnitude(phase), phase >= 0 ? 8 * phase : 255 - 8 * (phase + 32)) << phase;
    }
}

// Instrument 1: 1024 frames looping over 256..512; 2: 768 frames, no loop.
void twoLongSamples(XmSong &xm) {
    XmSample looped, oneShot;
    looped.values.assign(1024, 0);
    looped.loop = xmForwardLoop;
    looped.loopStart = looped.loopLength = 256;
    oneShot.values.assign(768, 0);
    xm.instruments = {instrumentWith(looped), instrumentWith(oneShot)};
}

TEST(Effects, PitchAndVolume) {
    expectTraces({
        // 047 adds 4 x 64 on ticks mod 3 = 1, 7 x 64 on 2: trunc(8363 x 2^(256 / 768)) =
        // 10536. Amiga, finetune 64 half a step up: 1712 - 48, 1358 - 38, 1142 - 32.
        {"C-4 01 047; 000", "pd freq", 0,
         "0 256 448 0 256 448 6*0 / 8363 10536 12530 8363 10536 12530 6*8363"},
        {"amiga ft=64: C-4 01 047", "period pd", 0, "5*1664 / 0 -344 -554 0 -344"},
        {"amiga ft=64: C-4 01 047", "freq", 4, "10846"}, // 14317056 / 1320
        // 108 -32 and 210 +64 a later tick, 100 and 200 repeat their own memories; up stops
        // at 56, down has no limit.
        {"C-4 01 108; 210; 100; 200", "period", 0,
         "4608 4576 4544 4512 4480 4448 4448 4512 4576 4640 4704 4768 4768 4736 4704 4672 4640 "
         "4608 "
         "4608 4672 4736 4800 4864 4928"},
        {"C-4 01 108", "freq", 1, "8608"}, // trunc(8363 x 2^(32 / 768)): the delta stays 0
        {"B-7 01 1FF | C-0 01 2FF", "period period1", 0, "1600 580 56 56 / 7680 8700 9720 10740"},
        // 318 to E-4 (4352) moves 96 a later tick, 300 goes back at that speed; column F4
        // moves 256 to C-5, as do 300 and F0. The notes only aim: the voice plays on.
        {"C-4 01; E-4 318; C-4 300", "period vidx pos", 6,
         "4608 4512 4416 4352 4352 4352 4352 4448 4544 4608 4608 4608 / 12*0 / 12*40", nullptr,
         [](TickPlayer &p) { p.voice(0).position = 40; }},
        {"C-4 01; E-4 318", "freq", 9, "10536"},
        {"C-4 01; C-5 vF4; C-4 300; C-5 vF0", "period", 6,
         "4608 4352 4096 3840 3840 3840 3840 4096 4352 4608 4608 4608 4608 4352 4096 3840 3840 "
         "3840"},
        // 44F at phases 0, 0, 4 .. 16, 400 from 20 (m 97, 181, 236, 255: 44, 84, 108, 116):
        // trunc(8363 x 2^(-116 / 768)) = 7531. E4y through 48F: ramp m 0, 64 .. 255 give 0,
        // 28, 60, 88, 116; 2 and 3 a square. E7y through 788: ramp, square, sine, sine. A new
        // note restarts waves 0..3 at phase 0; 4..7 go on from -24, where five steps of 8
        // from 0 left them.
        {"C-4 01 44F; 400", "pd", 0, "0 0 -44 -84 -108 -116 -108 -108 -84 -44 0 44"},
        {"C-4 01 44F", "freq", 5, "7531"},
        {"E41 | E42 | E43; C-4 01 48F | C-4 01 48F | C-4 01 48F; . | . | C-4 01 48F", "pd2 pd pd1",
         6, "5*-116 116 5*-116 116 / 0 0 -28 -60 -88 116 / 5*-116 116"},
        {"E71 | E72 | E73 | E74; C-4 01 v30 788 | C-4 01 v30 788 | C-4 01 v30 788 | "
         "C-4 01 v30 788; . | . | . | C-4 01 v30 788",
         "vd3 vd vd1 vd2", 6,
         "0 0 22 31 22 0 0 -22 -31 -22 0 22 / 0 0 8 16 24 -31 / 0 31 31 31 31 -31 / "
         "0 0 22 31 22 0"},
        // 502 with G#4 aims without starting a note; 602 goes on with 44F's vibrato from
        // phase 20. Both slide -2 a later tick.
        {"C-4 01; E-4 308; G#4 502; 500", "period target vol vidx", 12,
         "4448 4416 4384 4352 4320 4288 4288 4256 4224 4192 4160 4128 / 12*4096 / "
         "64 62 60 58 56 54 54 52 50 48 46 44 / 12*0"},
        {"C-4 01 44F; 602; 600", "pd vol", 6,
         "-108 -108 -84 -44 0 44 84 84 108 116 108 84 / 64 62 60 58 56 54 54 52 50 48 46 44"},
        // Another effect after tremolo 748 keeps its last offset in the volume; 700 does not.
        {"C-4 01 v30 748", "vd", 0, "0 0 12 22 29 31"},
        {"C-4 01 v30 748 | C-4 01 v30 748 | C-4 01 v30 748; . | A00 | 700",
         "vol vd vvol vol1 vd1 vvol1 vol2 vd2 vvol2", 6,
         "63 / 0 / 125 / 63 / 0 / 125 / 32 / 0 / 63"},
        // Axy slides on later ticks, x first, within 0..64; A00, 500 and 600 share its memory.
        {"C-4 01 v30 A21 | C-4 01 v30 AF0 | C-4 01 v30 A0F", "vol vol1 vol2", 0,
         "32 34 36 38 40 42 / 32 47 62 64 64 64 / 32 17 2 0 0 0"},
        {"C-4 01 v30 A02; A00; 600; A10; 500", "vol period", 0,
         "32 30 28 26 24 22 22 20 18 16 14 12 12 10 8 6 4 2 2 3 4 5 6 7 7 8 9 10 11 12 / 30*4608"},
        // Cxx takes any value; after C7F a slide up drops to 64, a slide down starts at 127.
        {"C-4 01 C20 | C-4 01 C7F | C-4 01 C7F | C-4 01 C7F; . | A10 | A01 | v81",
         "vol1 vol vvol vvol1 vol2 vol3", 6,
         "127 64 64 / 32 / 63 / 253 / 127 126 125 / 126 126 126"},
        // 9xx starts at xx x 256; at or past the end, or the loop's end, it rewinds; a repeat
        // without an instrument number starts on the other voice.
        {"C-4 01 901; C-4 900", "vidx smp pos", 0, "6*0 32 / 7*1 / 7*256", twoLongSamples},
        {"C-4 01 901 | C-4 02 902; C-4 902 | C-4 903", "pos pos1 smp1", 0,
         "6*256 0 / 6*512 0 / 7*2", twoLongSamples},
    });
}

TEST(Effects, ModulationSwingsWithinTheLimits) {
    // Depth F: vibrato (255 x 15) >> 5 = 119 -> 116 both ways; tremolo (255 x 15) >> 6 = 59,
    // but volume 5 falls only to 0, volume 64 does not rise and volume 60 rises by 4.
    TickPlayer player(
        xmSong("speed=31: C-4 01 44F | C-4 01 v15 74F | C-4 01 v50 74F | C-4 01 v4C 74F"));
    std::vector<int32_t> highest(4, -1000), lowest(4, 1000);
    for (int t = 0; t < 31; ++t) {
        player.tick();
        for (int c = 0; c < 4; ++c) {
            const int32_t v = c ? player.channel(c).volumeDelta : player.channel(c).periodDelta;
            highest[c] = std::max(highest[c], v);
            lowest[c] = std::min(lowest[c], v);
        }
    }
    EXPECT_EQ(highest, (std::vector<int32_t>{116, 59, 0, 4}));
    EXPECT_EQ(lowest, (std::vector<int32_t>{-116, -5, -59, -59}));
}

TEST(Effects, SettingsAndPositions) {
    expectTraces({
        // Speed and depth are remembered nibble by nibble; the column takes 0 as a value.
        {"speed=1: C-4 01 44F; 480; 403; 400; vA0; vB0; 74F; 780; 703; 700",
         "vibspeed vibdepth tremspeed tremdepth", 0,
         "4 8 8 8 6*0 / 15 15 3 3 3 5*0 / 6*0 4 8 8 8 / 6*0 15 15 3 3"},
        // Bxx goes to row 0 of order xx (order 0 past the end); Dxy to row 10x + y (0 past 63)
        // of the next order (order 0 from the last).
        {"rows=32 orders=0,0,0 restart=1: C-4 01; B02", "order row", 12, "2 / 0"},
        {"rows=32 orders=0,0,0 restart=1: C-4 01; B03", "order row", 12, "0 / 0"},
        {"rows=32 orders=0,0 restart=1: C-4 01 D1F", "order row", 6, "1 / 25"},
        {"rows=32 orders=0,0 restart=1: C-4 01 D70", "order row", 6, "1 / 0"},
        {"rows=32 orders=0,0 restart=1: C-4 01 D64", "order row", 6, "1 / 0"},
        {"rows=32 orders=0,0 restart=1: C-4 01 D0A;;;;;;;;;; D05", "order row", 12, "0 / 5"},
        // Fxx below 32 sets the speed, which already times this row; from 32 on the tempo.
        {"rows=32: C-4 01 F1F", "speed row tick", 0, "32*31 / 31*0 1 / 1..30 0 1"},
        {"C-4 01 F20", "spt", 0, "3445"},
    });
}

TEST(Effects, VolumeColumn) {
    expectTraces({
        // 1x..5x set v - 16 on tick 0, 51..5F and 00..0F do nothing; 6x and 7x slide on
        // every tick, 8x and 9x once; none of them touches the vibrato.
        {"C-4 01 v30 | C-4 01 v30 | C-4 01 v30 | C-4 01 v30; v25 | v51 | v0F | v6F",
         "vol vvol vol1 vol2 vol3 vvol3", 6, "6*21 / 41 / 6*32 / 6*32 / 17 2 0 0 0 0 / 33"},
        {"C-4 01 v30 | C-4 01 v30 | C-4 01 v30 | C-4 01 v30; v73 | v7F | v83 | v9F",
         "vol vvol vol1 vol2 vol3 vvol3 vibspeed vibdepth", 6,
         "35 38 41 44 47 50 / 69 / 47 62 64 64 64 64 / 6*29 / 6*47 / 93 / 0 / 0 0"},
        // Dx and Ex slide the pan on every tick without limit; the voice's stays in 0..255.
        {"C-4 01 880 | C-4 01 800 | C-4 01 8FF; vD4 | vDF | vEF", "pan vpan pan1 vpan1 pan2 vpan2",
         6,
         "124 120 116 112 108 104 / 124 120 116 112 108 104 / -15 -30 -45 -60 -75 -90 / 6*0 / "
         "270 285 300 315 330 345 / 6*255"},
        // A4 sets speed 4; BF depth 15, vibrating like 44F on later ticks only. B4 beside 40F:
        // depth 15 on tick 0, then the column's 4 steps at 0 and 8 before the effect at 4 and 12.
        {"C-4 01 vA4; vBF; vBF; vB0", "pd", 6, "0 0 -44 -84 -108 -116 0 -108 -84 -44 0 44 6*0"},
        {"C-4 01 vA4; vB4 40F", "pd vibdepth", 6, "0 -12 -28 / 15 4 4"},
    });
}

} // namespace
