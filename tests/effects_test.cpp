// The effect column 0..9, A..D and F and the volume column, tick by tick, at
// speed 6 with the linear table unless a test says otherwise. Note 49 is pitch
// note 48: period 4608 at 8363 Hz; Amiga period 1712, 14317056 / 1712 = 8362 Hz.
// At pan 128 a voice volume is trunc(channel volume x 255 / 128).

#include "player/effects.h"
#include "tick_player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Values = std::vector<int32_t>;
using Rows = std::vector<XmCell>;

const uint8_t referenceNote = 49;

XmCell noteWith(uint8_t volume, uint8_t effect, uint8_t param, uint8_t note = referenceNote) {
    return XmCell{note, 1, volume, effect, param};
}

XmCell command(uint8_t volume, uint8_t effect, uint8_t param, uint8_t note = 0) {
    return XmCell{note, 0, volume, effect, param};
}

// A one-channel song whose first rows hold the given cells.
XmSong songWith(const Rows &rows, int rowCount = 16) {
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
const Reader voiceVolume = [](TickPlayer &p) { return p.voice(0).volume; };
const Reader voicePan = [](TickPlayer &p) { return p.voice(0).pan; };
const Reader position = [](TickPlayer &p) { return static_cast<int32_t>(p.voice(0).position); };
const Reader order = [](TickPlayer &p) { return p.song().order; };
const Reader row = [](TickPlayer &p) { return p.song().row; };
const Reader speed = [](TickPlayer &p) { return p.song().speed; };
const Reader bpm = [](TickPlayer &p) { return p.song().bpm; };

// Runs count ticks and reads a value after each.
Values record(TickPlayer &player, int count, Reader read) {
    Values values;
    for (int i = 0; i < count; ++i) {
        player.tick();
        values.push_back(read(player));
    }
    return values;
}

// Plays skip ticks of a fresh song, then records count ticks.
Values trace(const XmSong &xm, int skip, int count, Reader read) {
    TickPlayer player(xm);
    EXPECT_TRUE(player.loaded());
    if (!player.loaded())
        return {};
    player.tick(skip);
    return record(player, count, read);
}

// The values read after the given ticks of a fresh song.
Values at(const XmSong &xm, int ticks, std::initializer_list<Reader> reads) {
    Values values;
    for (Reader read : reads)
        values.push_back(trace(xm, ticks - 1, 1, read).at(0));
    return values;
}

TEST(EffectWaveforms, sineAndRampMagnitudes) {
    // Sine m for phase mod 32 = 0..16; 17..31 mirror it (m at 32 - k equals m at k).
    const int32_t quarter[17] = {0,   25,  49,  74,  97,  120, 142, 162, 181,
                                 197, 212, 225, 236, 244, 251, 254, 255};
    for (int32_t phase = -32; phase < 32; ++phase) {
        const int k = (phase + 32) % 32;
        EXPECT_EQ(sineMagnitude(phase), quarter[k <= 16 ? k : 32 - k]) << phase;
    }
    // Ramp: 8p for p >= 0; 255 - 8 (p + 32) for p < 0.
    const std::pair<int32_t, int32_t> ramp[] = {{0, 0},     {1, 8},     {16, 128},  {31, 248},
                                                {-32, 255}, {-31, 247}, {-16, 127}, {-1, 7}};
    for (const auto &[phase, magnitude] : ramp)
        EXPECT_EQ(rampMagnitude(phase), magnitude) << phase;
}

TEST(EffectWaveforms, waveControlChoosesTheVibratoAndTremoloWaves) {
    // 48F steps at phase 0 on tick 0 without advancing, then at 0, 8, 16, 24,
    // -32; d = (m x 15) >> 5, low two bits cleared, negative on 0..31: sine m 0,
    // 181, 255, 181, 0 -> 0, 84, 116 (119), 84, 0; ramp m 0, 64, 128, 192, 255 ->
    // 0, 28 (30), 60, 88 (90), 116. 788 on volume 32 (nothing on tick 0, same
    // phases): a = (m x 8) >> 6: sine 0, 22, 31, 22, 0; ramp 0, 8, 16, 24, -31.
    // Wave 3 is the square for the vibrato and the sine for the tremolo.
    const Values waves[4][2] = {
        {{0, 0, -84, -116, -84, 0}, {0, 0, 22, 31, 22, 0}},
        {{0, 0, -28, -60, -88, 116}, {0, 0, 8, 16, 24, -31}},
        {{-116, -116, -116, -116, -116, 116}, {0, 31, 31, 31, 31, -31}},
        {{-116, -116, -116, -116, -116, 116}, {0, 0, 22, 31, 22, 0}},
    };
    const std::pair<XmCell, Reader> runs[2] = {{noteWith(0, 4, 0x8f), periodDelta},
                                               {noteWith(0x30, 7, 0x88), volumeDelta}};
    for (int w = 0; w < 8; ++w) {
        TickPlayer player(songWith({runs[w % 2].first}));
        ASSERT_TRUE(player.loaded());
        player.channel(0).waveControl = static_cast<uint8_t>(w / 2 * 0x11);
        EXPECT_EQ(record(player, 6, runs[w % 2].second), waves[w / 2][w % 2]) << w / 2;
    }
}

TEST(EffectArpeggio, linearModeAddsSixtyFourUnitsPerSemitoneOnTicksOneAndTwo) {
    // 047: tick mod 3 = 1 -> 4 x 64, 2 -> 7 x 64; 000 on the next row does nothing.
    const XmSong xm = songWith({noteWith(0, 0, 0x47), command(0, 0, 0)});
    EXPECT_EQ(trace(xm, 0, 12, periodDelta), (Values{0, 256, 448, 0, 256, 448, 0, 0, 0, 0, 0, 0}));
    // trunc(8363 x 2^(256 / 768)) = 10536, trunc(8363 x 2^(448 / 768)) = 12530.
    EXPECT_EQ(trace(xm, 0, 7, frequency), (Values{8363, 10536, 12530, 8363, 10536, 12530, 8363}));
}

TEST(EffectArpeggio, amigaModeUsesThePeriodsOfTheNotesAboveWithTheFinetune) {
    // 047 on pitch note 48; base(k) = trunc(13.375 x 2^((132 - k) / 12)): 1813,
    // 1712, 1615 for k = 47..49, 1439, 1358, 1282, 1210, 1142, 1078 for 51..56.
    // Finetune, note period, deltas up four and up seven, frequency up four.
    const std::tuple<int8_t, int32_t, int32_t, int32_t, int32_t> cases[] = {
        // 1358 - 1712, 1142 - 1712; 14317056 / 1358 = 10542
        {0, 1712, -354, -570, 10542},
        // f 64, half the step up: 1712 - 48 (97 / 2), 1358 - 38, 1142 - 32; 14317056 / 1320
        {64, 1664, -344, -554, 10846},
        // f -64, half the step down: 1712 + 50 (101 / 2), 1358 + 40, 1142 + 34; / 1398
        {-64, 1762, -364, -586, 10241},
    };
    for (const auto &[finetune, notePeriod, upFour, upSeven, frequencyUpFour] : cases) {
        SCOPED_TRACE(int{finetune});
        XmSong xm = songWith({noteWith(0, 0, 0x47)});
        xm.flags = 0;
        xm.instruments[0].samples[0].finetune = finetune;
        EXPECT_EQ(trace(xm, 0, 1, period), Values{notePeriod});
        EXPECT_EQ(trace(xm, 0, 4, periodDelta), (Values{0, upFour, upSeven, 0}));
        EXPECT_EQ(trace(xm, 4, 1, frequency), Values{frequencyUpFour});
    }
}

TEST(EffectPortamento, upAndDownSlideOnLaterTicksWithTheirOwnMemories) {
    // Rows of six ticks: 108 -32 a later tick; 210 +64; 100 and 200 repeat 08 and 10.
    const XmSong xm =
        songWith({noteWith(0, 1, 0x08), command(0, 2, 0x10), command(0, 1, 0), command(0, 2, 0)});
    EXPECT_EQ(trace(xm, 0, 24, period),
              (Values{4608, 4576, 4544, 4512, 4480, 4448, 4448, 4512, 4576, 4640, 4704, 4768,
                      4768, 4736, 4704, 4672, 4640, 4608, 4608, 4672, 4736, 4800, 4864, 4928}));
    EXPECT_EQ(trace(xm, 1, 1, frequency), Values{8608}); // trunc(8363 x 2^(32 / 768))
    // Up stops at 56: note 96 is 7680 - 64 x 95 = 1600, 1600 - 1020 = 580, then 56.
    EXPECT_EQ(trace(songWith({noteWith(0, 1, 0xff, 96)}), 0, 4, period),
              (Values{1600, 580, 56, 56}));
    // Down has no limit: note 1 is 7680, the table's largest period.
    EXPECT_EQ(trace(songWith({noteWith(0, 2, 0xff, 1)}), 0, 4, period),
              (Values{7680, 8700, 9720, 10740}));
}

TEST(EffectTonePortamento, glidesFourTimesTheSpeedToTheTargetWithoutRestartingTheNote) {
    // 318 to note 53 (7680 - 64 x 52 = 4352) moves 96 a later tick and stops at
    // the target; 300 back keeps 24 and stops at 4608. Volume column F4: speed
    // 16 x 4 = 64 (256 a tick) to note 61 (3840); 300 keeps it, and so does F0.
    const std::pair<Rows, Values> cases[] = {
        {{noteWith(0, 0, 0), command(0, 3, 0x18, 53), command(0, 3, 0x00, referenceNote)},
         {4608, 4512, 4416, 4352, 4352, 4352, 4352, 4448, 4544, 4608, 4608, 4608}},
        {{noteWith(0, 0, 0), command(0xf4, 0, 0, 61), command(0, 3, 0x00, referenceNote),
          command(0xf0, 0, 0, 61)},
         {4608, 4352, 4096, 3840, 3840, 3840, 3840, 4096, 4352, 4608, 4608, 4608, 4608, 4352, 4096,
          3840, 3840, 3840}},
    };
    for (const auto &[rows, periods] : cases) {
        SCOPED_TRACE(int{rows[1].volume});
        TickPlayer player(songWith(rows));
        ASSERT_TRUE(player.loaded());
        player.tick(6);
        player.voice(0).position = 40; // as if the mixer had played 40 frames
        EXPECT_EQ(record(player, static_cast<int>(periods.size()), period), periods);
        // The notes only set the target: the first note's voice plays on untouched.
        EXPECT_EQ(player.channel(0).voice, &voices[0]);
        EXPECT_EQ(player.voice(0).position, 40u);
    }
    // trunc(8363 x 2^(256 / 768)) at the target 4352.
    EXPECT_EQ(trace(songWith(cases[0].first), 9, 1, frequency), Values{10536});
}

TEST(EffectVibrato, stepsOnTickZeroWithoutAdvancingAndLowersTheLinearPitch) {
    // 44F at phases 0, 0, 4, 8, 12, 16; 400 at 20 on tick 0, then 20, 24, 28,
    // -32, -28. d = (m x 15) >> 5, low bits cleared: m 97, 181, 236, 255 -> 44,
    // 84, 108, 116. At 4608 - 116: trunc(8363 x 2^(-116 / 768)) = 7531 linear;
    // 14317056 / (1712 - 116) = 8970 Amiga (higher).
    for (const auto &[flags, lowestPeriodFrequency] : {std::pair{1, 7531}, std::pair{0, 8970}}) {
        SCOPED_TRACE(flags);
        XmSong xm = songWith({noteWith(0, 4, 0x4f), command(0, 4, 0)});
        xm.flags = static_cast<uint16_t>(flags);
        EXPECT_EQ(trace(xm, 0, 12, periodDelta),
                  (Values{0, 0, -44, -84, -108, -116, -108, -108, -84, -44, 0, 44}));
        EXPECT_EQ(trace(xm, 5, 1, frequency), Values{lowestPeriodFrequency});
    }
}

TEST(EffectVolumeSlide, fiveAndSixGoOnWithTheirEffectAndShareTheSlideMemory) {
    // 308 to note 53 moves 32 a tick, 4608 -> 4448; 502 with note 57
    // (7680 - 64 x 56 = 4096) goes on at 32 a tick without starting a note. 44F
    // leaves the phase at 20; 602 steps there on tick 0, then at 20, 24, 28, -32,
    // -28; 600 repeats from -24 (m 181, 181, 236, 255, 236, 181). Both slide -2 a
    // later tick, and 500 and 600 repeat the slide.
    const XmSong five = songWith(
        {noteWith(0, 0, 0), command(0, 3, 0x08, 53), command(0, 5, 0x02, 57), command(0, 5, 0x00)});
    const XmSong six = songWith({noteWith(0, 4, 0x4f), command(0, 6, 0x02), command(0, 6, 0x00)});
    EXPECT_EQ(trace(five, 12, 12, period),
              (Values{4448, 4416, 4384, 4352, 4320, 4288, 4288, 4256, 4224, 4192, 4160, 4128}));
    EXPECT_EQ(trace(five, 12, 1, [](TickPlayer &p) { return p.channel(0).portaTarget; }),
              Values{4096});
    EXPECT_EQ(trace(five, 0, 24, [](TickPlayer &p) { return p.voice(0).index; }), Values(24, 0));
    EXPECT_EQ(trace(six, 6, 12, periodDelta),
              (Values{-108, -108, -84, -44, 0, 44, 84, 84, 108, 116, 108, 84}));
    const Values slide{64, 62, 60, 58, 56, 54, 54, 52, 50, 48, 46, 44};
    EXPECT_EQ(trace(five, 12, 12, volume), slide);
    EXPECT_EQ(trace(six, 6, 12, volume), slide);
}

TEST(EffectModulation, depthFSwingsTheVibratoBy116AndTheTremoloBy59) {
    // Vibrato: (255 x 15) >> 5 = 119 -> 116 both ways. Tremolo: (255 x 15) >> 6
    // = 59; volume 5 rises the whole way but falls to 0, volume 64 only falls.
    // The cell, what it swings, and the highest and lowest values in a row of 31 ticks.
    const std::tuple<XmCell, Reader, Values> cases[] = {
        {noteWith(0, 4, 0x4f), periodDelta, {116, -116}},
        {noteWith(0x15, 7, 0x4f), volumeDelta, {59, -5}},
        {noteWith(0x50, 7, 0x4f), volumeDelta, {0, -59}}};
    for (const auto &[cell, read, extremes] : cases) {
        XmSong xm = songWith({cell});
        xm.speed = 31;
        const Values values = trace(xm, 0, 31, read);
        const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
        EXPECT_EQ((Values{*highest, *lowest}), extremes) << int{cell.volume};
    }
}

TEST(EffectModulation, speedAndDepthAreRememberedNibbleByNibble) {
    // Vibrato and tremolo speed and depth after each row: x0 sets only the speed,
    // 0y only the depth; the volume column takes 0 as a value.
    const std::pair<XmCell, Values> rows[] = {
        {noteWith(0, 4, 0x4f), {4, 15, 0, 0}}, {command(0, 4, 0x80), {8, 15, 0, 0}},
        {command(0, 4, 0x03), {8, 3, 0, 0}},   {command(0, 4, 0x00), {8, 3, 0, 0}},
        {command(0xa0, 0, 0), {0, 3, 0, 0}},   {command(0xb0, 0, 0), {0, 0, 0, 0}},
        {command(0, 7, 0x4f), {0, 0, 4, 15}},  {command(0, 7, 0x80), {0, 0, 8, 15}},
        {command(0, 7, 0x03), {0, 0, 8, 3}},   {command(0, 7, 0x00), {0, 0, 8, 3}},
    };
    Rows cells;
    for (const auto &row : rows)
        cells.push_back(row.first);
    TickPlayer player(songWith(cells));
    ASSERT_TRUE(player.loaded());
    for (const auto &[cell, expected] : rows) {
        player.tick();
        const MusicChannel &c = player.channel(0);
        EXPECT_EQ((Values{c.vibSpeed, c.vibDepth, c.tremSpeed, c.tremDepth}), expected)
            << int{cell.effect} << " " << int{cell.param};
        player.tick(5);
    }
}

TEST(EffectTremolo, lastOffsetStaysInTheVolumeWhenAnotherEffectFollows) {
    // 748 on volume 32: phases 0, 4, 8, 12, 16 give m 0, 97, 181, 236, 255 and
    // a = (m x 8) >> 6. Then volume, volumeDelta and voice volume on the next row.
    const std::pair<XmCell, Values> cases[] = {
        {command(0, 0, 0), {63, 0, 125}},   // 32 + 31; trunc(63 x 255 / 128)
        {command(0, 0xa, 0), {63, 0, 125}}, // any other effect
        {command(0, 7, 0), {32, 0, 63}},    // the tremolo goes on: nothing on its tick 0
    };
    for (const auto &[next, expected] : cases) {
        const XmSong xm = songWith({noteWith(0x30, 7, 0x48), next});
        EXPECT_EQ(trace(xm, 0, 6, volumeDelta), (Values{0, 0, 12, 22, 29, 31}));
        EXPECT_EQ(at(xm, 7, {volume, volumeDelta, voiceVolume}), expected) << int{next.effect};
    }
}

TEST(EffectSampleOffset, startsAtTheOffsetOrRewindsWhenItReachesTheEnd) {
    // Instrument 1: 1024 frames looping over 256..512; 2: 768 frames, no loop.
    // Voice, instrument of its sample and position after the note and its repeat.
    const std::tuple<uint8_t, uint8_t, uint8_t, Values, Values> cases[] = {
        // 900 repeats 256; the note moves to voice 32
        {1, 0x01, 0x00, {0, 1, 256}, {32, 1, 256}},
        {1, 0x01, 0x02, {0, 1, 256}, {0, 1, 0}}, // 512, the loop's end: voice 0 rewinds
        {2, 0x02, 0x00, {0, 2, 512}, {32, 2, 512}},
        {2, 0x02, 0x03, {0, 2, 512}, {0, 2, 0}}, // 768 is the sample's length
    };
    XmSample looped, oneShot;
    looped.values.assign(1024, 0);
    looped.loop = xmForwardLoop;
    looped.loopStart = looped.loopLength = 256;
    oneShot.values.assign(768, 0);
    const Reader index = [](TickPlayer &p) { return p.voice(0).index; };
    const Reader instrument = [](TickPlayer &p) -> int32_t {
        const Sample *sample = p.voice(0).sample;
        return sample == p.sample(0) ? 1 : sample == p.sample(1) ? 2 : 0;
    };
    for (const auto &[number, firstParam, secondParam, first, second] : cases) {
        SCOPED_TRACE(testing::Message() << int{number} << " " << int{secondParam});
        XmSong xm = songWith({XmCell{referenceNote, number, 0, 9, firstParam},
                              command(0, 9, secondParam, referenceNote)});
        xm.instruments = {instrumentWith(looped), instrumentWith(oneShot)};
        EXPECT_EQ(at(xm, 1, {index, instrument, position}), first);
        EXPECT_EQ(at(xm, 7, {index, instrument, position}), second);
    }
}

TEST(EffectVolumeSlide, slidesOnLaterTicksWithTheUpperNibbleFirst) {
    const std::pair<uint8_t, Values> cases[] = {
        {0x20, {32, 34, 36, 38, 40, 42}}, {0x03, {32, 29, 26, 23, 20, 17}},
        {0x21, {32, 34, 36, 38, 40, 42}}, {0xf0, {32, 47, 62, 64, 64, 64}},
        {0x0f, {32, 17, 2, 0, 0, 0}},
    };
    for (const auto &[param, volumes] : cases)
        EXPECT_EQ(trace(songWith({noteWith(0x30, 0xa, param)}), 0, 6, volume), volumes)
            << int{param};
    // A00 repeats the memory it shares with 5 and 6; five slides a row from 32:
    // A02 -10, A00 -10, 600 -10, A10 +5, 500 +5. Speed and depth 0 keep the pitch.
    const XmSong xm = songWith({noteWith(0x30, 0xa, 0x02), command(0, 0xa, 0), command(0, 6, 0),
                                command(0, 0xa, 0x10), command(0, 5, 0)});
    const Values volumes = trace(xm, 0, 30, volume);
    Values rowEnds;
    for (size_t t = 5; t < volumes.size(); t += 6)
        rowEnds.push_back(volumes[t]);
    EXPECT_EQ(rowEnds, (Values{22, 12, 2, 7, 12}));
    EXPECT_EQ(trace(xm, 0, 30, period), Values(30, 4608));
}

TEST(EffectSetVolume, takesAnyValueAndSlidesFromAbove64) {
    // The voice plays trunc(xx x 255 / 128).
    const std::pair<int, int32_t> cases[] = {{0x00, 0}, {0x20, 63}, {0x40, 127}, {0x7f, 253}};
    for (const auto &[param, voice] : cases) {
        const XmSong xm = songWith({noteWith(0, 0xc, static_cast<uint8_t>(param))});
        EXPECT_EQ(trace(xm, 0, 1, volume), Values{param});
        EXPECT_EQ(trace(xm, 0, 1, voiceVolume), Values{voice}) << param;
    }
    // After C7F a slide up drops to 64 and a slide down starts from 127.
    const std::pair<XmCell, Values> slides[] = {
        {command(0, 0xa, 0x10), {127, 64, 64}}, {command(0, 0xa, 0x01), {127, 126, 125}},
        {command(0x71, 0, 0), {64, 64, 64}},    {command(0x61, 0, 0), {126, 125, 124}},
        {command(0x91, 0, 0), {64, 64, 64}},    {command(0x81, 0, 0), {126, 126, 126}},
    };
    for (const auto &[next, volumes] : slides)
        EXPECT_EQ(trace(songWith({noteWith(0, 0xc, 0x7f), next}), 6, 3, volume), volumes)
            << int{next.volume} << " " << int{next.param};
}

TEST(EffectSetPanning, effectAndVolumeColumnSetThePanOnTickZero) {
    // Pan, then left = 127 x pan / 255 and right = (255 - pan) x 127 / 255.
    const std::pair<XmCell, Values> cases[] = {
        {command(0, 8, 0x00), {0, 0, 127}},   {command(0, 8, 0x40), {64, 31, 95}},
        {command(0, 8, 0xff), {255, 127, 0}}, {command(0xc0, 0, 0), {0, 0, 127}},
        {command(0xc4, 0, 0), {64, 31, 95}},  {command(0xcf, 0, 0), {240, 119, 7}},
    };
    const Reader left = [](TickPlayer &p) { return p.voice(0).volumeLeft; };
    const Reader right = [](TickPlayer &p) { return p.voice(0).volumeRight; };
    // On a row of its own, so that no instrument number raises Panning.
    for (const auto &[cell, expected] : cases)
        EXPECT_EQ(at(songWith({noteWith(0, 0, 0), cell}), 7, {pan, voicePan, left, right}),
                  (Values{expected[0], expected[0], expected[1], expected[2]}))
            << int{cell.volume} << " " << int{cell.param};
}

TEST(EffectFirstTickOnly, setCommandsLeaveTheLaterTicksAlone) {
    // Ticks 1 and 2 leave alone the mark 7 put after tick 0. 901 (256) lies past
    // the 64-frame sample and rewinds the voice.
    const Reader vibSpeed = [](TickPlayer &p) -> int32_t { return p.channel(0).vibSpeed; };
    const Reader nextRow = [](TickPlayer &p) { return p.song().nextRow; };
    const Reader nextOrder = [](TickPlayer &p) { return p.song().nextOrder; };
    const std::pair<XmCell, Reader> cases[] = {
        {noteWith(0, 8, 0x40), pan},       {noteWith(0xc4, 0, 0), pan},
        {noteWith(0, 0xc, 0x20), volume},  {noteWith(0x30, 0, 0), volume},
        {noteWith(0x85, 0, 0), volume},    {noteWith(0x95, 0, 0), volume},
        {noteWith(0xa5, 0, 0), vibSpeed},  {noteWith(0, 0xf, 0x03), speed},
        {noteWith(0, 0xf, 0x20), bpm},     {noteWith(0, 0xb, 0x00), nextOrder},
        {noteWith(0, 0xd, 0x0a), nextRow}, {noteWith(0, 9, 0x00), position},
        {noteWith(0, 9, 0x01), position},
    };
    for (const auto &[cell, read] : cases) {
        TickPlayer player(songWith({cell}, 32));
        ASSERT_TRUE(player.loaded());
        player.tick();
        MusicChannel &channel = player.channel(0);
        channel.channelVolume = channel.channelPan = channel.vibSpeed = 7;
        Song &song = player.song();
        song.speed = song.bpm = song.nextRow = song.nextOrder = 7;
        player.voice(0).position = 7;
        player.tick(2);
        EXPECT_EQ(read(player), 7)
            << int{cell.volume} << " " << int{cell.effect} << " " << int{cell.param};
    }
}

// The order and row after the given ticks of a song of the given orders of
// one 32-row pattern, with restart position 1.
Values positionAfter(const Rows &rows, size_t orders, int ticks) {
    XmSong xm = songWith(rows, 32);
    xm.orders.assign(orders, 0);
    xm.restart = 1;
    return at(xm, ticks, {order, row});
}

TEST(EffectPositionJump, jumpsToRowZeroOfTheOrderOrOfOrderZeroPastTheEnd) {
    // Three orders; B on row 1 of order 0.
    const std::pair<uint8_t, int32_t> jumps[] = {
        {0x02, 2}, {0x01, 1}, {0x00, 0}, {0x03, 0}, {0xff, 0}};
    for (const auto &[param, to] : jumps)
        EXPECT_EQ(positionAfter({noteWith(0, 0, 0), command(0, 0xb, param)}, 3, 13),
                  (Values{to, 0}))
            << int{param};
}

TEST(EffectPatternBreak, breaksToRowTenXPlusYOfTheNextOrderOrOfOrderZeroFromTheLast) {
    // Two orders: 10 x 0 + 10, 10 x 1 + 15, 70 > 63 -> 0, 0, 31.
    const std::pair<uint8_t, int32_t> breaks[] = {
        {0x0a, 10}, {0x1f, 25}, {0x70, 0}, {0x00, 0}, {0x31, 31}};
    for (const auto &[param, to] : breaks)
        EXPECT_EQ(positionAfter({noteWith(0, 0xd, param)}, 2, 7), (Values{1, to})) << int{param};
    // D0A leads to row 10 of order 1, whose D05 leads to order 0, not the restart.
    Rows rows(11);
    rows[0] = noteWith(0, 0xd, 0x0a);
    rows[10] = command(0, 0xd, 0x05);
    EXPECT_EQ(positionAfter(rows, 2, 13), (Values{0, 5}));
}

TEST(EffectSetSpeed, belowThirtyTwoSetsTheSpeedAndAboveTheTempo) {
    // Speed, BPM and samples per tick: floor(44100 x 2.5 / bpm).
    const std::pair<uint8_t, Values> cases[] = {
        {0x00, {0, 125, 882}}, {0x03, {3, 125, 882}}, {0x1f, {31, 125, 882}},
        {0x20, {6, 32, 3445}}, {0xff, {6, 255, 432}},
    };
    const Reader samplesPerTick = [](TickPlayer &p) { return p.song().samplesPerTick; };
    const Reader tick = [](TickPlayer &p) { return p.song().tick; };
    for (const auto &[param, expected] : cases) {
        SCOPED_TRACE(int{param});
        const XmSong xm = songWith({noteWith(0, 0xf, param)});
        EXPECT_EQ(at(xm, 1, {speed, bpm, samplesPerTick}), expected);
        // The new speed already sets the length of this row.
        const int ticksPerRow = std::max(expected[0], 1);
        EXPECT_EQ(at(xm, ticksPerRow, {row, tick}), (Values{0, 0}));
        EXPECT_EQ(at(xm, ticksPerRow + 1, {row}), Values{1});
    }
    // Speed 0 makes every tick a new row.
    EXPECT_EQ(trace(songWith({noteWith(0, 0xf, 0x00)}), 0, 5, row), (Values{0, 1, 2, 3, 4}));
}

TEST(VolumeColumnVolume, setsOnTickZeroAndSlidesOnEveryTick) {
    // Channel volume on ticks 0..5 of the row after volume 32; 51..5F and
    // 00..0F do nothing.
    const std::pair<uint8_t, Values> cases[] = {
        {0x10, {0, 0, 0, 0, 0, 0}},       {0x25, {21, 21, 21, 21, 21, 21}},
        {0x50, {64, 64, 64, 64, 64, 64}}, {0x51, {32, 32, 32, 32, 32, 32}},
        {0x5f, {32, 32, 32, 32, 32, 32}}, {0x0f, {32, 32, 32, 32, 32, 32}},
        {0x63, {29, 26, 23, 20, 17, 14}}, {0x6f, {17, 2, 0, 0, 0, 0}},
        {0x60, {32, 32, 32, 32, 32, 32}}, {0x73, {35, 38, 41, 44, 47, 50}},
        {0x7f, {47, 62, 64, 64, 64, 64}}, {0x83, {29, 29, 29, 29, 29, 29}},
        {0x8f, {17, 17, 17, 17, 17, 17}}, {0x93, {35, 35, 35, 35, 35, 35}},
        {0x9f, {47, 47, 47, 47, 47, 47}}};
    for (const auto &[column, volumes] : cases) {
        SCOPED_TRACE(int{column});
        const XmSong xm = songWith({noteWith(0x30, 0, 0), command(column, 0, 0)});
        EXPECT_EQ(trace(xm, 6, 6, volume), volumes);
        // The voice follows on the row's first tick: trunc(v x 255 / 128).
        EXPECT_EQ(trace(xm, 6, 1, voiceVolume), Values{volumes[0] * 255 / 128});
    }
}

TEST(VolumeColumnPanning, slidesOnEveryTickWithoutLimit) {
    // Start pan, column, channelPan on ticks 0..5, voice pan (limited to 0..255).
    const std::tuple<uint8_t, uint8_t, Values, int32_t> cases[] = {
        {0x80, 0xd4, {124, 120, 116, 112, 108, 104}, 104},
        {0x80, 0xe4, {132, 136, 140, 144, 148, 152}, 152},
        {0x00, 0xdf, {-15, -30, -45, -60, -75, -90}, 0},
        {0xff, 0xef, {270, 285, 300, 315, 330, 345}, 255},
        {0x80, 0xd0, {128, 128, 128, 128, 128, 128}, 128},
        {0x80, 0xe0, {128, 128, 128, 128, 128, 128}, 128},
    };
    for (const auto &[startPan, column, pans, lastVoicePan] : cases) {
        const XmSong xm = songWith({noteWith(0, 8, startPan), command(column, 0, 0)});
        EXPECT_EQ(trace(xm, 6, 6, pan), pans) << int{column};
        EXPECT_EQ(at(xm, 12, {voicePan}), Values{lastVoicePan}) << int{column};
    }
}

TEST(VolumeColumnVibrato, setsTheSpeedAndVibratesOnlyOnLaterTicks) {
    // A4 sets speed 4; BF sets depth 15 and plays the vibrato of 44F from tick 1
    // on (0, -44, -84, -108, -116), never on tick 0 (the second row starts at
    // phase 20). B0 vibrates with depth 0.
    const XmSong xm = songWith(
        {noteWith(0xa4, 0, 0), command(0xbf, 0, 0), command(0xbf, 0, 0), command(0xb0, 0, 0)});
    EXPECT_EQ(trace(xm, 6, 18, periodDelta),
              (Values{0, 0, -44, -84, -108, -116, 0, -108, -84, -44, 0, 44, 0, 0, 0, 0, 0, 0}));
    // B4 beside 40F: depth 15 on tick 0, then the column puts back 4 and steps at
    // 0 and 8 before the effect at 4 and 12: (97 x 4) >> 5, (236 x 4) >> 5 = 29 -> 28.
    const XmSong both = songWith({noteWith(0xa4, 0, 0), command(0xb4, 4, 0x0f)});
    EXPECT_EQ(trace(both, 6, 3, periodDelta), (Values{0, -12, -28}));
    EXPECT_EQ(trace(both, 6, 3, [](TickPlayer &p) -> int32_t { return p.channel(0).vibDepth; }),
              (Values{15, 4, 4}));
}

} // namespace
