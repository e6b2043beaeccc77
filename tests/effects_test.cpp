// The effect column 0..9, A..D and F and the volume column, tick by tick, at
// speed 6 with the linear table unless a song says otherwise. C-4 (note 49)
// is pitch note 48: period 7680 - 64 x 48 = 4608 at 8363 Hz; Amiga period
// 1712, 14317056 / 1712 = 8362 Hz. At pan 128 a voice volume is
// trunc(channel volume x 255 / 128). Vibrato and tremolo at phase p take the
// sine magnitude m(p); the vibrato's delta is ((m x depth) >> 5) with the low
// two bits cleared, negative for p >= 0; the tremolo's is (m x depth) >> 6.

#include "player/effects.h"
#include "tick_player.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(Effects, SineAndRampMagnitudes) {
    // Sine m for phase mod 32 = 0..16; 17..31 mirror it. Ramp: 8p for p >= 0,
    // 255 - 8 (p + 32) below.
    const int32_t quarter[17] = {0,   25,  49,  74,  97,  120, 142, 162, 181,
                                 197, 212, 225, 236, 244, 251, 254, 255};
    for (int32_t phase = -32; phase < 32; ++phase) {
        const int k = (phase + 32) % 32;
        EXPECT_EQ(sineMagnitude(phase), quarter[k <= 16 ? k : 32 - k]) << phase;
        EXPECT_EQ(rampMagnitude(phase), phase >= 0 ? 8 * phase : 255 - 8 * (phase + 32)) << phase;
    }
}

TEST(Effects, PitchEffects) {
    expectTraces({
        // 047: tick mod 3 = 1 adds 4 x 64, 2 adds 7 x 64; 000 does nothing.
        // trunc(8363 x 2^(256 / 768)) = 10536, trunc(8363 x 2^(448 / 768)) = 12530.
        {"C-4 01 047; 000", "pd freq", 0,
         "0 256 448 0 256 448 6*0 / 8363 10536 12530 8363 10536 12530 6*8363"},
        // Amiga: the periods of the notes above, base(k) = trunc(13.375 x 2^((132 - k) / 12)):
        // 1358 - 1712 and 1142 - 1712; 14317056 / 1358 = 10542. Finetune 64 moves half a step
        // up (1712 - 48, 1358 - 38, 1142 - 32), -64 half a step down (+50, +40, +34).
        {"amiga: C-4 01 047", "period pd", 0, "4*1712 / 0 -354 -570 0"},
        {"amiga: C-4 01 047", "freq", 4, "10542"},
        {"amiga ft=64: C-4 01 047", "period pd", 0, "4*1664 / 0 -344 -554 0"},
        {"amiga ft=64: C-4 01 047", "freq", 4, "10846"},
        {"amiga ft=-64: C-4 01 047", "period pd", 0, "4*1762 / 0 -364 -586 0"},
        {"amiga ft=-64: C-4 01 047", "freq", 4, "10241"},
        // 108 -32 and 210 +64 a later tick; 100 and 200 repeat their own memories.
        {"C-4 01 108; 210; 100; 200", "period", 0,
         "4608 4576 4544 4512 4480 4448 4448 4512 4576 4640 4704 4768 "
         "4768 4736 4704 4672 4640 4608 4608 4672 4736 4800 4864 4928"},
        {"C-4 01 108", "freq", 1, "8608"}, // trunc(8363 x 2^(32 / 768))
        // Up stops at 56: B-7 is 7680 - 64 x 95 = 1600; down has no limit from C-0's 7680.
        {"B-7 01 1FF", "period", 0, "1600 580 56 56"},
        {"C-0 01 2FF", "period", 0, "7680 8700 9720 10740"},
        // 318 to E-4 (7680 - 64 x 52 = 4352) moves 96 a later tick and stops there; 300 goes
        // back at the remembered speed. Column F4: 4 x 16 x 4 = 256 a tick to C-5 (3840), also
        // with 300 and F0. The notes only aim: the voice plays on (position 40 set by hand).
        {"C-4 01; E-4 318; C-4 300", "period vidx pos", 6,
         "4608 4512 4416 4352 4352 4352 4352 4448 4544 4608 4608 4608 / 12*0 / 12*40", nullptr,
         [](TickPlayer &p) { p.voice(0).position = 40; }},
        {"C-4 01; C-5 vF4; C-4 300; C-5 vF0", "period vidx pos", 6,
         "4608 4352 4096 3840 3840 3840 3840 4096 4352 4608 4608 4608 4608 4352 4096 3840 3840 "
         "3840 / 18*0 / 18*40",
         nullptr, [](TickPlayer &p) { p.voice(0).position = 40; }},
        {"C-4 01; E-4 318", "freq", 9, "10536"},
        // 44F steps at phases 0, 0, 4, 8, 12, 16; 400 at 20 on tick 0, then 20 .. -28:
        // m 97, 181, 236, 255 give 44, 84, 108, 116. At 4608 - 116: trunc(8363 x 2^(-116 /
        // 768)) = 7531; Amiga 14317056 / (1712 - 116) = 8970, higher.
        {"C-4 01 44F; 400", "pd", 0, "0 0 -44 -84 -108 -116 -108 -108 -84 -44 0 44"},
        {"amiga: C-4 01 44F; 400", "pd", 0, "0 0 -44 -84 -108 -116 -108 -108 -84 -44 0 44"},
        {"C-4 01 44F", "freq", 5, "7531"},
        {"amiga: C-4 01 44F", "freq", 5, "8970"},
        // Waves by E4y: sine m 0, 181, 255, 181, 0 at 0, 8, 16, 24, -32 give 0, 84, 116; ramp
        // 0, 64, 128, 192, 255 give 0, 28, 60, 88, 116; 2 and 3 the square.
        {"E40; C-4 01 48F", "pd", 6, "0 0 -84 -116 -84 0"},
        {"E41; C-4 01 48F", "pd", 6, "0 0 -28 -60 -88 116"},
        {"E42; C-4 01 48F", "pd", 6, "5*-116 116"},
        {"E43; C-4 01 48F", "pd", 6, "5*-116 116"},
    });
}

TEST(Effects, VolumeEffects) {
    expectTraces({
        // 308 to E-4 moves 32 a tick; 502 with G#4 (4096) aims without starting a note and
        // goes on; 602 goes on with 44F's vibrato from phase 20. Both slide -2 a later tick.
        {"C-4 01; E-4 308; G#4 502; 500", "period target vol", 12,
         "4448 4416 4384 4352 4320 4288 4288 4256 4224 4192 4160 4128 / 12*4096 / "
         "64 62 60 58 56 54 54 52 50 48 46 44"},
        {"C-4 01; E-4 308; G#4 502; 500", "vidx", 0, "24*0"},
        {"C-4 01 44F; 602; 600", "pd vol", 6,
         "-108 -108 -84 -44 0 44 84 84 108 116 108 84 / 64 62 60 58 56 54 54 52 50 48 46 44"},
        // Tremolo 748 on volume 32: 0, 0, 12, 22, 29, 31. Another effect next keeps the last
        // offset in the volume: 63, trunc(63 x 255 / 128); the tremolo going on does not.
        {"C-4 01 v30 748", "vd", 0, "0 0 12 22 29 31"},
        {"C-4 01 v30 748; .", "vol vd vvol", 6, "63 / 0 / 125"},
        {"C-4 01 v30 748; A00", "vol vd vvol", 6, "63 / 0 / 125"},
        {"C-4 01 v30 748; 700", "vol vd vvol", 6, "32 / 0 / 63"},
        // Waves by E7y; 3 is the sine here.
        {"E70; C-4 01 v30 788", "vd", 6, "0 0 22 31 22 0"},
        {"E71; C-4 01 v30 788", "vd", 6, "0 0 8 16 24 -31"},
        {"E72; C-4 01 v30 788", "vd", 6, "0 31 31 31 31 -31"},
        {"E73; C-4 01 v30 788", "vd", 6, "0 0 22 31 22 0"},
        // Axy slides on later ticks, the upper nibble first, within 0..64.
        {"C-4 01 v30 A20", "vol", 0, "32 34 36 38 40 42"},
        {"C-4 01 v30 A03", "vol", 0, "32 29 26 23 20 17"},
        {"C-4 01 v30 A21", "vol", 0, "32 34 36 38 40 42"},
        {"C-4 01 v30 AF0", "vol", 0, "32 47 62 64 64 64"},
        {"C-4 01 v30 A0F", "vol", 0, "32 17 2 0 0 0"},
        // A00, 500 and 600 share the memory; speed and depth 0 keep the pitch.
        {"C-4 01 v30 A02; A00; 600; A10; 500", "vol period", 0,
         "32 30 28 26 24 22 22 20 18 16 14 12 12 10 8 6 4 2 2 3 4 5 6 7 7 8 9 10 11 12 / 30*4608"},
        // Cxx takes any value; the voice plays trunc(xx x 255 / 128).
        {"C-4 01 C00", "vol vvol", 0, "0 / 0"},
        {"C-4 01 C20", "vol vvol", 0, "32 / 63"},
        {"C-4 01 C40", "vol vvol", 0, "64 / 127"},
        {"C-4 01 C7F", "vol vvol", 0, "127 / 253"},
        // After C7F a slide up drops to 64 and a slide down starts from 127.
        {"C-4 01 C7F; A10", "vol", 6, "127 64 64"},
        {"C-4 01 C7F; A01", "vol", 6, "127 126 125"},
        {"C-4 01 C7F; v71", "vol", 6, "64 64 64"},
        {"C-4 01 C7F; v61", "vol", 6, "126 125 124"},
        {"C-4 01 C7F; v91", "vol", 6, "64 64 64"},
        {"C-4 01 C7F; v81", "vol", 6, "126 126 126"},
    });
}

TEST(Effects, ModulationSwingsWithinTheLimits) {
    // Depth F: the vibrato (255 x 15) >> 5 = 119 -> 116 both ways; the tremolo
    // (255 x 15) >> 6 = 59, but volume 5 falls only to 0 and volume 64 does not rise.
    const struct {
        const char *song, *read;
        int highest, lowest;
    } cases[] = {{"speed=31: C-4 01 44F", "pd", 116, -116},
                 {"speed=31: C-4 01 v15 74F", "vd", 59, -5},
                 {"speed=31: C-4 01 v50 74F", "vd", 0, -59}};
    for (const auto &c : cases) {
        TickPlayer player(songOf(c.song));
        ASSERT_TRUE(player.loaded());
        int32_t highest = -1000, lowest = 1000;
        for (int t = 0; t < 31; ++t) {
            player.tick();
            const int32_t v =
                c.read[0] == 'p' ? player.channel(0).periodDelta : player.channel(0).volumeDelta;
            highest = std::max(highest, v);
            lowest = std::min(lowest, v);
        }
        EXPECT_EQ(highest, c.highest) << c.song;
        EXPECT_EQ(lowest, c.lowest) << c.song;
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

void pokeSevens(TickPlayer &p) {
    p.channel(0).channelVolume = p.channel(0).channelPan = p.channel(0).vibSpeed = 7;
    p.song().speed = p.song().bpm = p.song().nextRow = p.song().nextOrder = 7;
    p.voice(0).position = 7;
}

TEST(Effects, SettingsAndPositions) {
    expectTraces({
        // Speed and depth are remembered nibble by nibble; the column takes 0 as a value.
        {"speed=1: C-4 01 44F; 480; 403; 400; vA0; vB0; 74F; 780; 703; 700",
         "vibspeed vibdepth tremspeed tremdepth", 0,
         "4 8 8 8 6*0 / 15 15 3 3 3 5*0 / 6*0 4 8 8 8 / 6*0 15 15 3 3"},
        // 9xx starts at xx x 256; at or past the end, or the loop's end, it rewinds. A repeat
        // without an instrument number moves to the other voice.
        {"C-4 01 901; C-4 900", "vidx smp pos", 0, "6*0 32 / 7*1 / 7*256", twoLongSamples},
        {"C-4 01 901; C-4 902", "vidx smp pos", 0, "7*0 / 7*1 / 6*256 0", twoLongSamples},
        {"C-4 02 902; C-4 900", "vidx smp pos", 0, "6*0 32 / 7*2 / 7*512", twoLongSamples},
        {"C-4 02 902; C-4 903", "vidx smp pos", 0, "7*0 / 7*2 / 6*512 0", twoLongSamples},
        // 8xx and the column's Cx set the pan on tick 0: left = 127 x pan / 255, right =
        // (255 - pan) x 127 / 255.
        {"C-4 01; 800", "pan vpan left right", 6, "0 / 0 / 0 / 127"},
        {"C-4 01; 840", "pan vpan left right", 6, "64 / 64 / 31 / 95"},
        {"C-4 01; 8FF", "pan vpan left right", 6, "255 / 255 / 127 / 0"},
        {"C-4 01; vC0", "pan vpan left right", 6, "0 / 0 / 0 / 127"},
        {"C-4 01; vC4", "pan vpan left right", 6, "64 / 64 / 31 / 95"},
        {"C-4 01; vCF", "pan vpan left right", 6, "240 / 240 / 119 / 7"},
        // Commands of the first tick leave the later ticks alone: 7s set after tick 0 stay.
        // 901 (256) lies past the 64-frame sample and rewinds the voice on tick 0.
        {"rows=32: C-4 01 840", "pan", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 vC4", "pan", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 C20", "vol", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 v30", "vol", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 v85", "vol", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 v95", "vol", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 vA5", "vibspeed", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 F03", "speed", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 F20", "bpm", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 B00", "norder", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 D0A", "nrow", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 900", "pos", 1, "7 7", nullptr, pokeSevens},
        {"rows=32: C-4 01 901", "pos", 1, "7 7", nullptr, pokeSevens},
        // Bxx on row 1 of three orders (restart 1) goes to row 0 of order xx, or of order 0
        // past the end.
        {"rows=32 orders=0,0,0 restart=1: C-4 01; B02", "order row", 12, "2 / 0"},
        {"rows=32 orders=0,0,0 restart=1: C-4 01; B01", "order row", 12, "1 / 0"},
        {"rows=32 orders=0,0,0 restart=1: C-4 01; B00", "order row", 12, "0 / 0"},
        {"rows=32 orders=0,0,0 restart=1: C-4 01; B03", "order row", 12, "0 / 0"},
        {"rows=32 orders=0,0,0 restart=1: C-4 01; BFF", "order row", 12, "0 / 0"},
        // Dxy goes to row 10x + y (0 past 63) of the next order, or of order 0 from the last.
        {"rows=32 orders=0,0 restart=1: C-4 01 D0A", "order row", 6, "1 / 10"},
        {"rows=32 orders=0,0 restart=1: C-4 01 D1F", "order row", 6, "1 / 25"},
        {"rows=32 orders=0,0 restart=1: C-4 01 D70", "order row", 6, "1 / 0"},
        {"rows=32 orders=0,0 restart=1: C-4 01 D00", "order row", 6, "1 / 0"},
        {"rows=32 orders=0,0 restart=1: C-4 01 D31", "order row", 6, "1 / 31"},
        {"rows=32 orders=0,0 restart=1: C-4 01 D0A;;;;;;;;;; D05", "order row", 12, "0 / 5"},
        // Fxx below 32 sets the speed, which already times this row; from 32 on the tempo,
        // floor(44100 x 2.5 / bpm) frames a tick. Speed 0 makes every tick a row.
        {"C-4 01 F00", "speed bpm spt row tick", 0, "5*0 / 5*125 / 5*882 / 0..4 / 5*0"},
        {"C-4 01 F03", "speed bpm spt row tick", 0, "4*3 / 4*125 / 4*882 / 0 0 0 1 / 1 2 0 1"},
        {"rows=32: C-4 01 F1F", "speed row tick", 0, "32*31 / 31*0 1 / 1..30 0 1"},
        {"C-4 01 F20", "speed bpm spt row tick", 0, "7*6 / 7*32 / 7*3445 / 6*0 1 / 1..5 0 1"},
        {"C-4 01 FFF", "speed bpm spt row tick", 0, "7*6 / 7*255 / 7*432 / 6*0 1 / 1..5 0 1"},
    });
}

TEST(Effects, VolumeColumn) {
    expectTraces({
        // After volume 32: 1x..5x set v - 16 on tick 0; 51..5F and 00..0F do nothing; 6x and
        // 7x slide on every tick, 8x and 9x once. The voice follows: trunc(v x 255 / 128).
        {"C-4 01 v30; v10", "vol vvol", 6, "6*0 / 0"},
        {"C-4 01 v30; v25", "vol vvol", 6, "6*21 / 41"},
        {"C-4 01 v30; v50", "vol vvol", 6, "6*64 / 127"},
        {"C-4 01 v30; v51", "vol vvol", 6, "6*32 / 63"},
        {"C-4 01 v30; v5F", "vol vvol", 6, "6*32 / 63"},
        {"C-4 01 v30; v0F", "vol vvol", 6, "6*32 / 63"},
        {"C-4 01 v30; v63", "vol vvol", 6, "29 26 23 20 17 14 / 57"},
        {"C-4 01 v30; v6F", "vol vvol", 6, "17 2 0 0 0 0 / 33"},
        {"C-4 01 v30; v60", "vol vvol", 6, "6*32 / 63"},
        {"C-4 01 v30; v73", "vol vvol", 6, "35 38 41 44 47 50 / 69"},
        {"C-4 01 v30; v7F", "vol vvol", 6, "47 62 64 64 64 64 / 93"},
        {"C-4 01 v30; v83", "vol vvol", 6, "6*29 / 57"},
        {"C-4 01 v30; v8F", "vol vvol", 6, "6*17 / 33"},
        {"C-4 01 v30; v93", "vol vvol", 6, "6*35 / 69"},
        {"C-4 01 v30; v9F", "vol vvol", 6, "6*47 / 93"},
        // Dx and Ex slide the pan on every tick without limit; the voice's stays in 0..255.
        {"C-4 01 880; vD4", "pan vpan", 6, "124 120 116 112 108 104 / 124 120 116 112 108 104"},
        {"C-4 01 880; vE4", "pan vpan", 6, "132 136 140 144 148 152 / 132 136 140 144 148 152"},
        {"C-4 01 800; vDF", "pan vpan", 6, "-15 -30 -45 -60 -75 -90 / 6*0"},
        {"C-4 01 8FF; vEF", "pan vpan", 6, "270 285 300 315 330 345 / 6*255"},
        {"C-4 01 880; vD0", "pan vpan", 6, "6*128 / 6*128"},
        {"C-4 01 880; vE0", "pan vpan", 6, "6*128 / 6*128"},
        // A4 sets speed 4; BF sets depth 15 and vibrates like 44F on later ticks only (the
        // second row starts at phase 20); B0 vibrates with depth 0.
        {"C-4 01 vA4; vBF; vBF; vB0", "pd", 6, "0 0 -44 -84 -108 -116 0 -108 -84 -44 0 44 6*0"},
        // B4 beside 40F: depth 15 on tick 0, then the column puts back 4 and steps at 0 and 8
        // before the effect at 4 and 12: (97 x 4) >> 5, (236 x 4) >> 5 = 29 -> 28.
        {"C-4 01 vA4; vB4 40F", "pd vibdepth", 6, "0 -12 -28 / 15 4 4"},
    });
}

} // namespace
