// The effect column 0..9, A..D and F, and the volume column, checked tick by
// tick against values worked out by hand. Unless a test says otherwise the song
// runs at speed 6 and 125 BPM with the linear table, and note 49 plays the
// reference pitch: pitch note 48, linear period 4608 at 8363 Hz, Amiga period
// 1712 at 14317056 / 1712 = 8362 Hz. The sample plays at volume 64 and pan 128,
// so a voice volume V is trunc(channel volume x 255 / 128) (envelope 64,
// fadeout 65536 and global volume 64 cancel against the 2^35).

#include "player/effects.h"
#include "tick_player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const uint8_t referenceNote = 49;

XmCell noteWith(uint8_t volume, uint8_t effect, uint8_t param, uint8_t note = referenceNote) {
    return XmCell{note, 1, volume, effect, param};
}

XmCell command(uint8_t volume, uint8_t effect, uint8_t param, uint8_t note = 0) {
    return XmCell{note, 0, volume, effect, param};
}

// A one-channel song whose first rows hold the given cells.
XmSong songWith(const std::vector<XmCell> &rows, int rowCount = 16) {
    XmSong xm = tickTestSong(1, rowCount);
    for (size_t r = 0; r < rows.size(); ++r)
        xm.patterns[0].at(static_cast<int>(r), 0) = rows[r];
    return xm;
}

using Reader = int32_t (*)(TickPlayer &);

const Reader period = [](TickPlayer &p) { return p.channel(0).period; };
const Reader periodDelta = [](TickPlayer &p) { return p.channel(0).periodDelta; };
const Reader volume = [](TickPlayer &p) { return p.channel(0).channelVolume; };
const Reader volumeDelta = [](TickPlayer &p) { return p.channel(0).volumeDelta; };
const Reader pan = [](TickPlayer &p) { return p.channel(0).channelPan; };
const Reader frequency = [](TickPlayer &p) { return p.voice(0).frequency; };

// Runs count ticks and reads a value after each.
std::vector<int32_t> record(TickPlayer &player, int count, Reader read) {
    std::vector<int32_t> values;
    for (int i = 0; i < count; ++i) {
        player.tick();
        values.push_back(read(player));
    }
    return values;
}

// Plays skip ticks of a fresh song, then records count ticks.
std::vector<int32_t> trace(const XmSong &xm, int skip, int count, Reader read) {
    TickPlayer player(xm);
    EXPECT_TRUE(player.loaded());
    if (!player.loaded())
        return {};
    player.tick(skip);
    return record(player, count, read);
}

TEST(EffectWaveforms, sineFollowsItsQuarterTableOnBothHalves) {
    // m for phase mod 32 = 0..16; 17..31 mirror it (m at 32 - k equals m at k).
    const int32_t quarter[17] = {0,   25,  49,  74,  97,  120, 142, 162, 181,
                                 197, 212, 225, 236, 244, 251, 254, 255};
    for (int32_t phase = -32; phase < 32; ++phase) {
        const int k = (phase + 32) % 32;
        EXPECT_EQ(sineMagnitude(phase), quarter[k <= 16 ? k : 32 - k]) << phase;
    }
}

TEST(EffectWaveforms, rampRisesOnOneHalfAndFallsOnTheOther) {
    // 8p for p >= 0; 255 - 8 (p + 32) for p < 0.
    const std::pair<int32_t, int32_t> cases[] = {{0, 0},     {1, 8},     {16, 128},  {31, 248},
                                                 {-32, 255}, {-31, 247}, {-16, 127}, {-1, 7}};
    for (const auto &[phase, magnitude] : cases)
        EXPECT_EQ(rampMagnitude(phase), magnitude) << phase;
}

TEST(EffectWaveforms, waveControlChoosesTheVibratoAndTremoloWaves) {
    struct Case {
        uint8_t wave;
        std::vector<int32_t> vibrato; // periodDelta, ticks 0..5
        std::vector<int32_t> tremolo; // volumeDelta, ticks 0..5
    };
    // Vibrato 48F: speed 8, depth 15; tick 0 steps at phase 0 without advancing,
    // ticks 1..5 step at phases 0, 8, 16, 24, -32. d = (m x 15) >> 5, low two
    // bits cleared, negative for phases 0..31:
    //   sine m 0, 181, 255, 181, 0 -> 0, -84 (84), -116 (119), -84, 0
    //   ramp m 0, 64, 128, 192, 255 -> 0, -28 (30), -60, -88 (90), +116
    //   square m 255 -> -116 on phases 0..31, +116 at -32
    // Tremolo 788 on volume 32: nothing on tick 0; ticks 1..5 at phases 0, 8,
    // 16, 24, -32; a = (m x 8) >> 6:
    //   sine 0, 22 (1448 >> 6), 31 (2040 >> 6), 22, 0
    //   ramp 0, 8, 16, 24, -31
    //   square 31, 31, 31, 31, -31
    const Case cases[] = {
        {0, {0, 0, -84, -116, -84, 0}, {0, 0, 22, 31, 22, 0}},
        {1, {0, 0, -28, -60, -88, 116}, {0, 0, 8, 16, 24, -31}},
        {2, {-116, -116, -116, -116, -116, 116}, {0, 31, 31, 31, 31, -31}},
        // Wave 3 is the square for the vibrato and the sine for the tremolo.
        {3, {-116, -116, -116, -116, -116, 116}, {0, 0, 22, 31, 22, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.wave));
        const uint8_t both = static_cast<uint8_t>(c.wave | c.wave << 4);
        TickPlayer vibrato(songWith({noteWith(0, 4, 0x8f)}));
        ASSERT_TRUE(vibrato.loaded());
        vibrato.channel(0).waveControl = both;
        EXPECT_EQ(record(vibrato, 6, periodDelta), c.vibrato);
        TickPlayer tremolo(songWith({noteWith(0x30, 7, 0x88)}));
        ASSERT_TRUE(tremolo.loaded());
        tremolo.channel(0).waveControl = both;
        EXPECT_EQ(record(tremolo, 6, volumeDelta), c.tremolo);
    }
}

TEST(EffectArpeggio, linearModeAddsSixtyFourUnitsPerSemitoneOnTicksOneAndTwo) {
    // 047: tick mod 3 = 1 -> 4 x 64 = 256, 2 -> 7 x 64 = 448, 0 -> nothing.
    // 000 on the next row is no arpeggio at all.
    const XmSong xm = songWith({noteWith(0, 0, 0x47), command(0, 0, 0)});
    EXPECT_EQ(trace(xm, 0, 12, periodDelta),
              (std::vector<int32_t>{0, 256, 448, 0, 256, 448, 0, 0, 0, 0, 0, 0}));
    // trunc(8363 x 2^(256 / 768)) = 10536, trunc(8363 x 2^(448 / 768)) = 12530.
    EXPECT_EQ(trace(xm, 0, 7, frequency),
              (std::vector<int32_t>{8363, 10536, 12530, 8363, 10536, 12530, 8363}));
}

TEST(EffectArpeggio, amigaModeUsesThePeriodsOfTheNotesAboveWithTheFinetune) {
    // base(k) = trunc(13.375 x 2^((132 - k) / 12)): base(47) 1813, base(48) 1712,
    // base(49) 1615, base(51) 1439, base(52) 1358, base(53) 1282, base(54) 1210,
    // base(55) 1142, base(56) 1078. Arpeggio 047 on pitch note 48.
    struct Case {
        int8_t finetune;
        int32_t notePeriod, upFour, upSeven, frequencyUpFour;
    };
    const Case cases[] = {
        // 1358 - 1712, 1142 - 1712; 14317056 / 1358 = 10542
        {0, 1712, -354, -570, 10542},
        // f 64 takes half of the step to the next note: 1712 - 48 (97 / 2) = 1664,
        // 1358 - 38 = 1320, 1142 - 32 = 1110; 14317056 / 1320 = 10846
        {64, 1664, -344, -554, 10846},
        // f -64 half of the step to the note below: 1712 + 50 (101 / 2) = 1762,
        // 1358 + 40 (81 / 2) = 1398, 1142 + 34 = 1176; 14317056 / 1398 = 10241
        {-64, 1762, -364, -586, 10241},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.finetune));
        XmSong xm = songWith({noteWith(0, 0, 0x47)});
        xm.flags = 0;
        xm.instruments[0].samples[0].finetune = c.finetune;
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick();
        EXPECT_EQ(period(player), c.notePeriod);
        EXPECT_EQ(periodDelta(player), 0);
        EXPECT_EQ(record(player, 3, periodDelta), (std::vector<int32_t>{c.upFour, c.upSeven, 0}));
        player.tick();
        EXPECT_EQ(frequency(player), c.frequencyUpFour);
    }
}

TEST(EffectPortamento, upAndDownSlideOnLaterTicksWithTheirOwnMemories) {
    // 108: -32 per later tick; 210: +64; 100 and 200 repeat 08 and 10.
    const XmSong xm =
        songWith({noteWith(0, 1, 0x08), command(0, 2, 0x10), command(0, 1, 0), command(0, 2, 0)});
    EXPECT_EQ(trace(xm, 0, 24, period), (std::vector<int32_t>{
                                            4608, 4576, 4544, 4512, 4480, 4448, // 108
                                            4448, 4512, 4576, 4640, 4704, 4768, // 210
                                            4768, 4736, 4704, 4672, 4640, 4608, // 100
                                            4608, 4672, 4736, 4800, 4864, 4928, // 200
                                        }));
    // trunc(8363 x 2^(32 / 768)) = 8608 once the period is 4576.
    EXPECT_EQ(trace(xm, 1, 1, frequency), std::vector<int32_t>{8608});
}

TEST(EffectPortamento, upStopsAtFiftySixAndDownHasNoLimit) {
    struct Case {
        uint8_t note, effect;
        std::vector<int32_t> periods; // ticks 0..3
    };
    const Case cases[] = {
        // note 96: 7680 - 64 x 95 = 1600; 1600 - 4 x 255 = 580; 580 - 1020 -> 56
        {96, 1, {1600, 580, 56, 56}},
        // note 1: 7680, then + 1020 per tick past the table's largest period
        {1, 2, {7680, 8700, 9720, 10740}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.effect));
        EXPECT_EQ(trace(songWith({noteWith(0, c.effect, 0xff, c.note)}), 0, 4, period), c.periods);
    }
}

TEST(EffectTonePortamento, movesFourTimesTheSpeedPerTickAndStopsAtTheTarget) {
    // Note 53: 7680 - 64 x 52 = 4352. 318 moves 96 per later tick and stops at
    // the target (4320 would pass it); 300 on the way back keeps speed 24 and
    // stops at 4608 (not 4640).
    TickPlayer player(
        songWith({noteWith(0, 0, 0), command(0, 3, 0x18, 53), command(0, 3, 0x00, referenceNote)}));
    ASSERT_TRUE(player.loaded());
    player.tick(6);
    player.voice(0).position = 40; // as if the mixer had played 40 frames
    EXPECT_EQ(record(player, 4, period), (std::vector<int32_t>{4608, 4512, 4416, 4352}));
    EXPECT_EQ(player.channel(0).portaTarget, 4352);
    EXPECT_EQ(frequency(player), 10536); // trunc(8363 x 2^(256 / 768))
    EXPECT_EQ(record(player, 8, period),
              (std::vector<int32_t>{4352, 4352, 4352, 4448, 4544, 4608, 4608, 4608}));
    // The notes only set the target: the first note's voice plays on untouched.
    EXPECT_EQ(player.channel(0).voice, &voices[0]);
    EXPECT_EQ(player.voice(0).position, 40u);
}

TEST(EffectTonePortamento, withVolumeSlideKeepsTheSpeedAndSharesTheSlideMemory) {
    // 308 toward note 53 moves 32 per tick: 4608 -> 4448 in five ticks. Note 57
    // (7680 - 64 x 56 = 4096) with 502 carries on at 32 per tick and slides
    // the volume down 2 per later tick; 500 repeats both.
    const XmSong xm = songWith(
        {noteWith(0, 0, 0), command(0, 3, 0x08, 53), command(0, 5, 0x02, 57), command(0, 5, 0x00)});
    EXPECT_EQ(trace(xm, 12, 12, period),
              (std::vector<int32_t>{4448, 4416, 4384, 4352, 4320, 4288,    // 502
                                    4288, 4256, 4224, 4192, 4160, 4128})); // 500
    EXPECT_EQ(trace(xm, 12, 12, volume),
              (std::vector<int32_t>{64, 62, 60, 58, 56, 54, 54, 52, 50, 48, 46, 44}));
    EXPECT_EQ(trace(xm, 12, 1, [](TickPlayer &p) { return p.channel(0).portaTarget; }),
              std::vector<int32_t>{4096});
    // No note start: the channel stays on voice 0.
    EXPECT_EQ(trace(xm, 0, 24, [](TickPlayer &p) { return p.voice(0).index; }),
              std::vector<int32_t>(24, 0));
}

TEST(EffectVibrato, stepsOnTickZeroWithoutAdvancingAndLowersTheLinearPitch) {
    // 44F: speed 4, depth 15. Phases per tick: 0, 0, 4, 8, 12, 16; the next row
    // (400) steps at 20 on tick 0 and then 20, 24, 28, -32, -28.
    // d = (m x 15) >> 5, low bits cleared: m 97 -> 44, 181 -> 84, 236 -> 108, 255 -> 116.
    const std::vector<int32_t> expected{0, 0, -44, -84, -108, -116, -108, -108, -84, -44, 0, 44};
    // Period 4608 - 116 at tick 5: trunc(8363 x 2^(-116 / 768)) = 7531 in linear
    // mode; 14317056 / (1712 - 116) = 8970 in Amiga mode (higher).
    const std::pair<uint16_t, int32_t> modes[] = {{1, 7531}, {0, 8970}};
    for (const auto &[flags, lowestPeriodFrequency] : modes) {
        SCOPED_TRACE(static_cast<int>(flags));
        XmSong xm = songWith({noteWith(0, 4, 0x4f), command(0, 4, 0)});
        xm.flags = flags;
        EXPECT_EQ(trace(xm, 0, 12, periodDelta), expected);
        EXPECT_EQ(trace(xm, 5, 1, frequency), std::vector<int32_t>{lowestPeriodFrequency});
    }
}

TEST(EffectVibrato, depthFSwingsThePeriodBy116AtMost) {
    // (255 x 15) >> 5 = 119, low two bits cleared: 116, on both halves.
    XmSong xm = songWith({noteWith(0, 4, 0x4f)});
    xm.speed = 31;
    const std::vector<int32_t> deltas = trace(xm, 0, 31, periodDelta);
    EXPECT_EQ(*std::max_element(deltas.begin(), deltas.end()), 116);
    EXPECT_EQ(*std::min_element(deltas.begin(), deltas.end()), -116);
}

TEST(EffectModulation, speedAndDepthAreRememberedNibbleByNibble) {
    struct Row {
        XmCell cell;
        int vibSpeed, vibDepth, tremSpeed, tremDepth;
    };
    const Row rows[] = {
        {noteWith(0, 4, 0x4f), 4, 15, 0, 0},
        {command(0, 4, 0x80), 8, 15, 0, 0}, // 4x0 changes only the speed
        {command(0, 4, 0x03), 8, 3, 0, 0},  // 40y only the depth
        {command(0, 4, 0x00), 8, 3, 0, 0},
        {command(0xa0, 0, 0), 0, 3, 0, 0}, // the volume column takes 0 as a value
        {command(0xb0, 0, 0), 0, 0, 0, 0},
        {command(0, 7, 0x4f), 0, 0, 4, 15},
        {command(0, 7, 0x80), 0, 0, 8, 15},
        {command(0, 7, 0x03), 0, 0, 8, 3},
        {command(0, 7, 0x00), 0, 0, 8, 3},
    };
    std::vector<XmCell> cells;
    for (const Row &row : rows)
        cells.push_back(row.cell);
    TickPlayer player(songWith(cells));
    ASSERT_TRUE(player.loaded());
    for (size_t r = 0; r < cells.size(); ++r) {
        SCOPED_TRACE(r);
        player.tick();
        const MusicChannel &channel = player.channel(0);
        EXPECT_EQ(channel.vibSpeed, rows[r].vibSpeed);
        EXPECT_EQ(channel.vibDepth, rows[r].vibDepth);
        EXPECT_EQ(channel.tremSpeed, rows[r].tremSpeed);
        EXPECT_EQ(channel.tremDepth, rows[r].tremDepth);
        player.tick(5);
    }
}

TEST(EffectVibrato, withVolumeSlideKeepsTheVibratoGoing) {
    // After 44F the phase is 20. 602 steps there on tick 0 (no slide yet), then
    // at 20, 24, 28, -32, -28 with -2 volume per later tick; 600 repeats both,
    // from phase -24: m 181, 181, 236, 255, 236, 181 -> +84, +84, +108, +116, +108, +84.
    const XmSong xm = songWith({noteWith(0, 4, 0x4f), command(0, 6, 0x02), command(0, 6, 0x00)});
    EXPECT_EQ(trace(xm, 6, 12, periodDelta),
              (std::vector<int32_t>{-108, -108, -84, -44, 0, 44, 84, 84, 108, 116, 108, 84}));
    EXPECT_EQ(trace(xm, 6, 12, volume),
              (std::vector<int32_t>{64, 62, 60, 58, 56, 54, 54, 52, 50, 48, 46, 44}));
}

TEST(EffectTremolo, depthFSwingsTheVolumeBy59AtMost) {
    // (255 x 15) >> 6 = 59. Volume 5 rises the whole way (5 + 59 = 64) but
    // falls only to 0; volume 64 cannot rise but falls the whole way.
    struct Case {
        uint8_t volumeColumn;
        int32_t highest, lowest;
    };
    const Case cases[] = {{0x15, 59, -5}, {0x50, 0, -59}};
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.volumeColumn));
        XmSong xm = songWith({noteWith(c.volumeColumn, 7, 0x4f)});
        xm.speed = 31;
        const std::vector<int32_t> deltas = trace(xm, 0, 31, volumeDelta);
        EXPECT_EQ(*std::max_element(deltas.begin(), deltas.end()), c.highest);
        EXPECT_EQ(*std::min_element(deltas.begin(), deltas.end()), c.lowest);
    }
}

TEST(EffectTremolo, lastOffsetStaysInTheVolumeWhenAnotherEffectFollows) {
    // 748 on volume 32: phases 0, 4, 8, 12, 16 on ticks 1..5, m 0, 97, 181, 236,
    // 255, a = (m x 8) >> 6 = 0, 12, 22, 29, 31.
    struct Case {
        XmCell next;
        int32_t volume, voiceVolume;
    };
    const Case cases[] = {
        {command(0, 0, 0), 63, 125},   // 32 + 31; trunc(63 x 255 / 128)
        {command(0, 0xa, 0), 63, 125}, // any other effect
        {command(0, 7, 0), 32, 63},    // the tremolo goes on: nothing on its tick 0
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.next.effect));
        TickPlayer player(songWith({noteWith(0x30, 7, 0x48), c.next}));
        ASSERT_TRUE(player.loaded());
        EXPECT_EQ(record(player, 6, volumeDelta), (std::vector<int32_t>{0, 0, 12, 22, 29, 31}));
        player.tick();
        EXPECT_EQ(volume(player), c.volume);
        EXPECT_EQ(volumeDelta(player), 0);
        EXPECT_EQ(player.voice(0).volume, c.voiceVolume);
    }
}

// Sample offsets on a 1024-frame sample looping over 256..512 (instrument 1)
// and a 768-frame sample without loop (instrument 2).
TEST(EffectSampleOffset, startsAtTheOffsetOrRewindsWhenItReachesTheEnd) {
    struct Case {
        uint8_t instrument, firstParam;
        uint32_t firstPosition;
        uint8_t secondParam;
        int secondVoice;
        uint32_t secondPosition;
    };
    const Case cases[] = {
        {1, 0x01, 256, 0x00, 32, 256}, // 900 repeats 256; the note moves to voice 32
        {1, 0x01, 256, 0x02, 0, 0},    // 512 is the loop's end: no note, voice 0 rewinds
        {2, 0x02, 512, 0x00, 32, 512},
        {2, 0x02, 512, 0x03, 0, 0}, // 768 is the sample's length
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.instrument} << " " << int{c.secondParam});
        XmSong xm = songWith({XmCell{referenceNote, c.instrument, 0, 9, c.firstParam},
                              command(0, 9, c.secondParam, referenceNote)});
        XmSample looped;
        looped.values.assign(1024, 0);
        looped.loop = xmForwardLoop;
        looped.loopStart = 256;
        looped.loopLength = 256;
        XmSample oneShot;
        oneShot.values.assign(768, 0);
        xm.instruments = {instrumentWith(looped), instrumentWith(oneShot)};
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick();
        const Sample *sample = player.voice(0).sample;
        ASSERT_NE(sample, nullptr);
        EXPECT_EQ(player.voice(0).position, c.firstPosition);
        player.tick(6);
        EXPECT_EQ(player.voice(0).index, c.secondVoice);
        EXPECT_EQ(player.voice(0).sample, sample);
        EXPECT_EQ(player.voice(0).position, c.secondPosition);
    }
}

TEST(EffectVolumeSlide, slidesOnLaterTicksWithTheUpperNibbleFirst) {
    struct Case {
        uint8_t param;
        std::vector<int32_t> volumes; // ticks 0..5 from volume 32
    };
    const Case cases[] = {
        {0x20, {32, 34, 36, 38, 40, 42}}, {0x03, {32, 29, 26, 23, 20, 17}},
        {0x21, {32, 34, 36, 38, 40, 42}}, {0xf0, {32, 47, 62, 64, 64, 64}},
        {0x0f, {32, 17, 2, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.param));
        EXPECT_EQ(trace(songWith({noteWith(0x30, 0xa, c.param)}), 0, 6, volume), c.volumes);
    }
}

TEST(EffectVolumeSlide, zeroRepeatsTheMemorySharedWithFiveAndSix) {
    // Volume at the end of each row, five slides a row from 32: A02 -10, A00
    // -10, 600 -10, A10 +5, 500 +5. Speed and depth 0 keep the pitch still.
    const XmSong xm = songWith({noteWith(0x30, 0xa, 0x02), command(0, 0xa, 0), command(0, 6, 0),
                                command(0, 0xa, 0x10), command(0, 5, 0)});
    const std::vector<int32_t> volumes = trace(xm, 0, 30, volume);
    std::vector<int32_t> rowEnds;
    for (size_t t = 5; t < volumes.size(); t += 6)
        rowEnds.push_back(volumes[t]);
    EXPECT_EQ(rowEnds, (std::vector<int32_t>{22, 12, 2, 7, 12}));
    EXPECT_EQ(trace(xm, 0, 30, period), std::vector<int32_t>(30, 4608));
}

TEST(EffectSetVolume, takesAnyValueAndPlaysLouderAbove64) {
    struct Case {
        uint8_t param;
        int32_t voiceVolume; // trunc(xx x 255 / 128)
    };
    const Case cases[] = {{0x00, 0}, {0x20, 63}, {0x40, 127}, {0x7f, 253}};
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.param));
        TickPlayer player(songWith({noteWith(0, 0xc, c.param)}));
        ASSERT_TRUE(player.loaded());
        player.tick();
        EXPECT_EQ(volume(player), c.param);
        EXPECT_EQ(player.voice(0).volume, c.voiceVolume);
    }
}

TEST(EffectSetVolume, aboveSixtyFourASlideUpDropsTo64AndASlideDownStartsFromIt) {
    struct Case {
        XmCell next;
        std::vector<int32_t> volumes; // ticks 0..2 of the row after C7F
    };
    const Case cases[] = {
        {command(0, 0xa, 0x10), {127, 64, 64}}, {command(0, 0xa, 0x01), {127, 126, 125}},
        {command(0x71, 0, 0), {64, 64, 64}},    {command(0x61, 0, 0), {126, 125, 124}},
        {command(0x91, 0, 0), {64, 64, 64}},    {command(0x81, 0, 0), {126, 126, 126}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.next.volume} << " " << int{c.next.param});
        EXPECT_EQ(trace(songWith({noteWith(0, 0xc, 0x7f), c.next}), 6, 3, volume), c.volumes);
    }
}

TEST(EffectSetPanning, effectAndVolumeColumnSetThePanOnTickZero) {
    struct Case {
        uint8_t volumeColumn, param;
        int32_t pan, left, right; // left = 127 x pan / 255, right = (255 - pan) x 127 / 255
    };
    const Case cases[] = {
        {0, 0x00, 0, 0, 127}, {0, 0x40, 64, 31, 95}, {0, 0xff, 255, 127, 0},
        {0xc0, 0, 0, 0, 127}, {0xc4, 0, 64, 31, 95}, {0xcf, 0, 240, 119, 7},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.volumeColumn} << " " << int{c.param});
        // On a row of its own, so that no instrument number raises Panning.
        TickPlayer player(songWith(
            {noteWith(0, 0, 0), command(c.volumeColumn, c.volumeColumn ? 0 : 8, c.param)}));
        ASSERT_TRUE(player.loaded());
        player.tick(7);
        EXPECT_EQ(pan(player), c.pan);
        EXPECT_EQ(player.voice(0).pan, c.pan);
        EXPECT_EQ(player.voice(0).volumeLeft, c.left);
        EXPECT_EQ(player.voice(0).volumeRight, c.right);
    }
}

// A field a command writes on tick 0, with a marker value to put in its place.
struct Field {
    int32_t (*get)(TickPlayer &);
    void (*set)(TickPlayer &, int32_t);
};

TEST(EffectFirstTickOnly, setCommandsLeaveTheLaterTicksAlone) {
    const Field channelVolume{volume,
                              [](TickPlayer &p, int32_t v) { p.channel(0).channelVolume = v; }};
    const Field channelPan{pan, [](TickPlayer &p, int32_t v) { p.channel(0).channelPan = v; }};
    const Field vibSpeed{
        [](TickPlayer &p) -> int32_t { return p.channel(0).vibSpeed; },
        [](TickPlayer &p, int32_t v) { p.channel(0).vibSpeed = static_cast<uint8_t>(v); }};
    const Field speed{[](TickPlayer &p) { return p.song().speed; },
                      [](TickPlayer &p, int32_t v) { p.song().speed = v; }};
    const Field bpm{[](TickPlayer &p) { return p.song().bpm; },
                    [](TickPlayer &p, int32_t v) { p.song().bpm = v; }};
    const Field nextRow{[](TickPlayer &p) { return p.song().nextRow; },
                        [](TickPlayer &p, int32_t v) { p.song().nextRow = v; }};
    const Field nextOrder{[](TickPlayer &p) { return p.song().nextOrder; },
                          [](TickPlayer &p, int32_t v) { p.song().nextOrder = v; }};
    const Field position{
        [](TickPlayer &p) { return static_cast<int32_t>(p.voice(0).position); },
        [](TickPlayer &p, int32_t v) { p.voice(0).position = static_cast<uint32_t>(v); }};
    struct Case {
        uint8_t volumeColumn, effect, param;
        const Field &field;
    };
    // 900 starts the note at offset 0; 901 (256) lies past the 64-frame sample
    // and rewinds the voice instead.
    const Case cases[] = {
        {0, 8, 0x40, channelPan},    {0xc4, 0, 0, channelPan},    {0, 0xc, 0x20, channelVolume},
        {0x30, 0, 0, channelVolume}, {0x85, 0, 0, channelVolume}, {0x95, 0, 0, channelVolume},
        {0xa5, 0, 0, vibSpeed},      {0, 0xf, 0x03, speed},       {0, 0xf, 0x20, bpm},
        {0, 0xb, 0x00, nextOrder},   {0, 0xd, 0x0a, nextRow},     {0, 9, 0x00, position},
        {0, 9, 0x01, position},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int{c.volumeColumn} << " " << int{c.effect} << " " << int{c.param});
        TickPlayer player(songWith({noteWith(c.volumeColumn, c.effect, c.param)}, 32));
        ASSERT_TRUE(player.loaded());
        player.tick();
        c.field.set(player, 7);
        player.tick(2);
        EXPECT_EQ(c.field.get(player), 7);
    }
}

TEST(EffectPositionJump, jumpsToRowZeroOfTheOrderOrOfOrderZeroPastTheEnd) {
    // Three orders of one 4-row pattern, restart position 1; B on row 1.
    const std::pair<uint8_t, int32_t> cases[] = {
        {0x02, 2}, {0x01, 1}, {0x00, 0}, {0x03, 0}, {0xff, 0}};
    for (const auto &[param, order] : cases) {
        SCOPED_TRACE(static_cast<int>(param));
        XmSong xm = songWith({noteWith(0, 0, 0), command(0, 0xb, param)}, 4);
        xm.orders = {0, 0, 0};
        xm.restart = 1;
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(12);
        EXPECT_EQ(player.song().nextOrder, order);
        EXPECT_EQ(player.song().nextRow, 0);
        player.tick();
        EXPECT_EQ(player.song().order, order);
        EXPECT_EQ(player.song().row, 0);
    }
}

TEST(EffectPatternBreak, breaksToRowTenXPlusYOfTheNextOrder) {
    // 10 x 0 + 10, 10 x 1 + 15, 70 > 63 -> 0, 0, 31.
    const std::pair<uint8_t, int32_t> cases[] = {
        {0x0a, 10}, {0x1f, 25}, {0x70, 0}, {0x00, 0}, {0x31, 31}};
    for (const auto &[param, row] : cases) {
        SCOPED_TRACE(static_cast<int>(param));
        XmSong xm = songWith({noteWith(0, 0xd, param)}, 32);
        xm.orders = {0, 0};
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(7);
        EXPECT_EQ(player.song().order, 1);
        EXPECT_EQ(player.song().row, row);
    }
}

TEST(EffectPatternBreak, fromTheLastOrderGoesToOrderZeroNotTheRestart) {
    std::vector<XmCell> rows(11, XmCell{});
    rows[0] = noteWith(0, 0xd, 0x0a);
    rows[10] = command(0, 0xd, 0x05);
    XmSong xm = songWith(rows, 32);
    xm.orders = {0, 0};
    xm.restart = 1;
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(7);
    EXPECT_EQ(player.song().order, 1);
    EXPECT_EQ(player.song().row, 10);
    player.tick(6);
    EXPECT_EQ(player.song().order, 0);
    EXPECT_EQ(player.song().row, 5);
}

TEST(EffectSetSpeed, belowThirtyTwoSetsTheSpeedAndAboveTheTempo) {
    struct Case {
        uint8_t param;
        int32_t speed, bpm, samplesPerTick; // floor(44100 x 2.5 / bpm)
    };
    const Case cases[] = {
        {0x00, 0, 125, 882}, {0x03, 3, 125, 882}, {0x1f, 31, 125, 882},
        {0x20, 6, 32, 3445}, {0xff, 6, 255, 432},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.param));
        TickPlayer player(songWith({noteWith(0, 0xf, c.param)}));
        ASSERT_TRUE(player.loaded());
        player.tick();
        EXPECT_EQ(player.song().speed, c.speed);
        EXPECT_EQ(player.song().bpm, c.bpm);
        EXPECT_EQ(player.song().samplesPerTick, c.samplesPerTick);
        // The new speed already sets the length of this row.
        const int ticksPerRow = std::max(c.speed, 1);
        player.tick(ticksPerRow - 1);
        EXPECT_EQ(player.song().row, 0);
        EXPECT_EQ(player.song().tick, 0);
        player.tick();
        EXPECT_EQ(player.song().row, 1);
    }
}

TEST(EffectSetSpeed, speedZeroMakesEveryTickANewRow) {
    const XmSong xm = songWith({noteWith(0, 0xf, 0x00)});
    EXPECT_EQ(trace(xm, 0, 5, [](TickPlayer &p) { return p.song().row; }),
              (std::vector<int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(trace(xm, 0, 5, [](TickPlayer &p) { return p.song().tick; }),
              std::vector<int32_t>(5, 0));
}

TEST(VolumeColumnVolume, setsOnTickZeroAndSlidesOnEveryTick) {
    struct Case {
        uint8_t volumeColumn;
        std::vector<int32_t> volumes; // ticks 0..5 of the row after volume 32
    };
    const Case cases[] = {
        {0x10, {0, 0, 0, 0, 0, 0}},       {0x25, {21, 21, 21, 21, 21, 21}},
        {0x50, {64, 64, 64, 64, 64, 64}}, {0x51, {32, 32, 32, 32, 32, 32}}, // 51..5F: nothing
        {0x5f, {32, 32, 32, 32, 32, 32}}, {0x0f, {32, 32, 32, 32, 32, 32}}, // 00..0F: nothing
        {0x63, {29, 26, 23, 20, 17, 14}}, {0x6f, {17, 2, 0, 0, 0, 0}},
        {0x60, {32, 32, 32, 32, 32, 32}}, {0x73, {35, 38, 41, 44, 47, 50}},
        {0x7f, {47, 62, 64, 64, 64, 64}}, {0x83, {29, 29, 29, 29, 29, 29}},
        {0x8f, {17, 17, 17, 17, 17, 17}}, {0x93, {35, 35, 35, 35, 35, 35}},
        {0x9f, {47, 47, 47, 47, 47, 47}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.volumeColumn));
        const XmSong xm = songWith({noteWith(0x30, 0, 0), command(c.volumeColumn, 0, 0)});
        EXPECT_EQ(trace(xm, 6, 6, volume), c.volumes);
        // The voice follows: trunc(v x 255 / 128) on the row's first tick.
        EXPECT_EQ(trace(xm, 6, 1, [](TickPlayer &p) { return p.voice(0).volume; }),
                  std::vector<int32_t>{c.volumes[0] * 255 / 128});
    }
}

TEST(VolumeColumnPanning, slidesOnEveryTickWithoutLimit) {
    struct Case {
        uint8_t startPan, volumeColumn;
        std::vector<int32_t> pans; // channelPan, ticks 0..5
        int32_t voicePan;          // limited to 0..255
    };
    const Case cases[] = {
        {0x80, 0xd4, {124, 120, 116, 112, 108, 104}, 104},
        {0x80, 0xe4, {132, 136, 140, 144, 148, 152}, 152},
        {0x00, 0xdf, {-15, -30, -45, -60, -75, -90}, 0},
        {0xff, 0xef, {270, 285, 300, 315, 330, 345}, 255},
        {0x80, 0xd0, {128, 128, 128, 128, 128, 128}, 128},
        {0x80, 0xe0, {128, 128, 128, 128, 128, 128}, 128},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.volumeColumn));
        TickPlayer player(songWith({noteWith(0, 8, c.startPan), command(c.volumeColumn, 0, 0)}));
        ASSERT_TRUE(player.loaded());
        player.tick(6);
        EXPECT_EQ(record(player, 6, pan), c.pans);
        EXPECT_EQ(player.voice(0).pan, c.voicePan);
    }
}

TEST(VolumeColumnVibrato, setsTheSpeedAndVibratesOnlyOnLaterTicks) {
    // A4 sets speed 4; BF sets depth 15 and from tick 1 on plays the vibrato of
    // 44F (phases 0, 4, 8, 12, 16: 0, -44, -84, -108, -116), never on tick 0
    // (the second BF row begins at phase 20). B0 vibrates with depth 0.
    const XmSong xm = songWith(
        {noteWith(0xa4, 0, 0), command(0xbf, 0, 0), command(0xbf, 0, 0), command(0xb0, 0, 0)});
    EXPECT_EQ(trace(xm, 6, 18, periodDelta), (std::vector<int32_t>{
                                                 0, 0, -44, -84, -108, -116, // BF
                                                 0, -108, -84, -44, 0, 44,   // BF
                                                 0, 0, 0, 0, 0, 0,           // B0
                                             }));
    // B4 next to 40F: the effect sets depth 15 on tick 0, but on later ticks the
    // column puts back 4 and steps (at phases 0, 8) before the effect steps at
    // 4 and 12: (97 x 4) >> 5 = 12, (236 x 4) >> 5 = 29 -> 28.
    const XmSong both = songWith({noteWith(0xa4, 0, 0), command(0xb4, 4, 0x0f)});
    EXPECT_EQ(trace(both, 6, 3, periodDelta), (std::vector<int32_t>{0, -12, -28}));
    EXPECT_EQ(trace(both, 6, 3, [](TickPlayer &p) -> int32_t { return p.channel(0).vibDepth; }),
              (std::vector<int32_t>{15, 4, 4}));
}

TEST(VolumeColumnTonePortamento, setsSixteenTimesTheSpeedWhichEffectThreeKeeps) {
    // F4: speed 64, 256 per tick from 4608 to note 61 (7680 - 64 x 60 = 3840);
    // 300 back to 4608 at the same speed; F0 keeps 64 and heads for 3840 again.
    TickPlayer player(songWith({noteWith(0, 0, 0), command(0xf4, 0, 0, 61),
                                command(0, 3, 0x00, referenceNote), command(0xf0, 0, 0, 61)}));
    ASSERT_TRUE(player.loaded());
    player.tick(6);
    player.voice(0).position = 40; // as if the mixer had played 40 frames
    EXPECT_EQ(record(player, 18, period), (std::vector<int32_t>{
                                              4608, 4352, 4096, 3840, 3840, 3840, // F4
                                              3840, 4096, 4352, 4608, 4608, 4608, // 300
                                              4608, 4352, 4096, 3840, 3840, 3840, // F0
                                          }));
    EXPECT_EQ(player.channel(0).portaSpeed, 64);
    // The notes only set the target: the first note plays on untouched.
    EXPECT_EQ(player.channel(0).voice, &voices[0]);
    EXPECT_EQ(player.voice(0).position, 40u);
}

} // namespace
