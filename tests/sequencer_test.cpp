// The sequencer tick by tick: the row clock, pitch, envelopes, release and
// fadeout, auto-vibrato, the final volume and panning, and the voice pairs.

#include "player/sequencer.h"
#include "tick_player.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Values = std::vector<int64_t>;
using Table = std::vector<Values>;
using Reader = int32_t (*)(TickPlayer &);

const XmCell referenceNote = {49, 1}; // pitch note 48: the sample's own pitch
const XmCell keyOff = {97};

// One pattern and the instrument of tickTestSong (a 64-frame loop at volume
// 64, centred, finetune and relative note 0), with (row, channel, cell) cells.
XmSong songOf(int rows, int channels, int speed,
              std::initializer_list<std::tuple<int, int, XmCell>> cells = {}) {
    XmSong xm = tickTestSong(channels, rows);
    xm.speed = static_cast<uint16_t>(speed);
    for (const auto &[row, channel, cell] : cells)
        xm.patterns[0].at(row, channel) = cell;
    return xm;
}

XmEnvelope envelopeOf(std::vector<std::pair<uint16_t, uint16_t>> points, uint8_t type,
                      uint8_t sustain = 0, uint8_t loopStart = 0, uint8_t loopEnd = 0) {
    return XmEnvelope{std::move(points), sustain, loopStart, loopEnd, type, std::nullopt};
}

// Runs count ticks; one list per reader of its values after each tick.
Table record(TickPlayer &play, int count, std::vector<Reader> reads) {
    Table values(reads.size());
    for (int t = 0; t < count; ++t) {
        play.tick();
        for (size_t r = 0; r < reads.size(); ++r)
            values[r].push_back(reads[r](play));
    }
    return values;
}

// The same for a fresh song.
Table trace(const XmSong &xm, int count, std::vector<Reader> reads) {
    TickPlayer play(xm);
    EXPECT_TRUE(play.loaded());
    return play.loaded() ? record(play, count, std::move(reads)) : Table{};
}

const Reader order = [](TickPlayer &p) { return p.song().order; };
const Reader row = [](TickPlayer &p) { return p.song().row; };
template <int c> int32_t volEnv(TickPlayer &) {
    return channels[c].volEnvValue;
}
template <int c> int32_t fadeout(TickPlayer &) {
    return channels[c].fadeoutVolume;
}

Values pitchOf(const MixerVoice &voice) {
    return {voice.frequency, voice.speedInteger, voice.speedFraction};
}

// A channel at full level and centred on voice 0 of freshly reset voices,
// pushed into the voice with the given flags.
const MixerVoice &pushed(MusicChannel channel, uint8_t flags, uint16_t songFlags = 1,
                         int32_t globalVolume = 64) {
    resetVoices();
    Song song{};
    song.flags = songFlags;
    song.globalVolume = globalVolume;
    channel.voice = &voices[0];
    channel.updateFlags = flags;
    updateVoice(channel, emptySample, song);
    return voices[0];
}

MusicChannel fullChannel() {
    MusicChannel channel{};
    channel.channelVolume = channel.volEnvValue = 64;
    channel.fadeoutVolume = 65536;
    channel.channelPan = 128;
    channel.panEnvValue = 32;
    return channel;
}

TEST(SequencerClock, ARowLastsSpeedTicksAndSpeedZeroMakesEveryTickARow) {
    // Speed 3 plays row (n - 1) / 3 at tick counter n mod 3 after call n; speed
    // 0 wraps the counter at once, so every call is a row's first tick.
    const Reader tick = [](TickPlayer &p) { return p.song().tick; };
    EXPECT_EQ(trace(songOf(16, 1, 3), 9, {row, tick}),
              (Table{{0, 0, 0, 1, 1, 1, 2, 2, 2}, {1, 2, 0, 1, 2, 0, 1, 2, 0}}));
    EXPECT_EQ(trace(songOf(16, 1, 0), 9, {row, tick}),
              (Table{{0, 1, 2, 3, 4, 5, 6, 7, 8}, Values(9, 0)}));
}

TEST(SequencerClock, NextPositionIsChosenOnTheFirstTickAndEnteredOnTheNextRow) {
    // Orders 0 and 1 of two-row patterns at speed 3: order, row, next order
    // (-1 before it is chosen) and next row.
    XmSong xm = songOf(2, 1, 3);
    xm.patterns.push_back(blankPattern(2, 1));
    xm.orders = {0, 1};
    const Reader nextOrder = [](TickPlayer &p) { return p.song().nextOrder; };
    const Reader nextRow = [](TickPlayer &p) { return p.song().nextRow; };
    EXPECT_EQ(trace(xm, 7, {order, row, nextOrder, nextRow}), (Table{{0, 0, 0, 0, 0, 0, 1},
                                                                     {0, 0, 0, 1, 1, 1, 0},
                                                                     {-1, -1, -1, 1, 1, 1, -1},
                                                                     {1, 1, 1, 0, 0, 0, 1}}));
}

TEST(SequencerClock, AfterTheLastOrderPlayContinuesAtTheRestartPositionOrOrderZero) {
    // Orders 0, 1, 0 over patterns of 2 and 3 rows, restart at order 1: each
    // order's row count is that of the pattern it names.
    XmSong xm = songOf(2, 1, 1);
    xm.patterns.push_back(blankPattern(3, 1));
    xm.orders = {0, 1, 0};
    xm.restart = 1;
    EXPECT_EQ(trace(xm, 11, {order, row}),
              (Table{{0, 0, 1, 1, 1, 2, 2, 1, 1, 1, 2}, {0, 1, 0, 1, 2, 0, 1, 0, 1, 2, 0}}));
    // Two one-row orders: restart 1 repeats order 1; 2 and 200 lie outside.
    const std::pair<uint16_t, Values> restarts[] = {
        {1, {0, 1, 1, 1}}, {2, {0, 1, 0, 1}}, {200, {0, 1, 0, 1}}};
    for (const auto &[restart, orders] : restarts) {
        XmSong twoOrders = songOf(1, 1, 1);
        twoOrders.orders = {0, 0};
        twoOrders.restart = restart;
        EXPECT_EQ(trace(twoOrders, 4, {order}), Table{orders}) << restart;
    }
}

TEST(SequencerClock, ARowPastThePatternEndPlaysNothingAndTheNextOrderFollows) {
    XmSong xm = songOf(2, 1, 1, {{1, 0, referenceNote}});
    xm.patterns.push_back(blankPattern(2, 1));
    xm.patterns[1].at(0, 0) = {61, 1};
    xm.orders = {0, 1};
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick();
    play.song().nextRow = 2; // what a pattern break to row 2 leaves on row 0
    play.tick();
    const Song &song = play.song();
    // Row 2 plays nothing, and row 3 would lie past the end as well: order 1 follows.
    EXPECT_EQ((Values{song.row, channels[0].period, song.nextRow, song.nextOrder}),
              (Values{2, 0, 0, 1}));
    EXPECT_EQ(voices[0].sample, nullptr);
    play.tick();
    EXPECT_EQ((Values{song.order, channels[0].period}), (Values{1, 3840})); // 7680 - 64 x 60
}

TEST(SequencerPitch, NoteFinetuneAndRelativeNoteMakeTheLinearPeriod) {
    // Note, finetune, relative note; period 7680 - 64 x pitch note - finetune / 2.
    const std::vector<std::tuple<uint8_t, int8_t, int8_t, int32_t, uint8_t>> cases = {
        {61, 0, 0, 3840, 60},   {49, -17, 0, 4616, 48}, // -17 / 2 = -8 toward zero
        {49, 17, 0, 4600, 48},  {49, -128, 0, 4672, 48},
        {49, 127, 0, 4545, 48}, {49, 0, 12, 3840, 60},
        {49, 0, -12, 5376, 36}, {1, 0, -1, -8640, 255}, // -1 mod 256: 7680 - 64 x 255
        {85, 0, 0, 2304, 84}};
    XmSong xm = songOf(1, static_cast<int>(cases.size()), 1);
    xm.instruments.assign(cases.size(), xm.instruments[0]);
    for (size_t c = 0; c < cases.size(); ++c) {
        const auto &[note, finetune, relativeNote, period, pitchNote] = cases[c];
        xm.instruments[c].samples[0].finetune = finetune;
        xm.instruments[c].samples[0].relativeNote = relativeNote;
        xm.patterns[0].at(0, static_cast<int>(c)) = {note, static_cast<uint8_t>(c + 1)};
    }
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick();
    for (size_t c = 0; c < cases.size(); ++c) {
        const auto &[note, finetune, relativeNote, period, pitchNote] = cases[c];
        EXPECT_EQ((Values{channels[c].period, channels[c].notePeriod, channels[c].pitchNote}),
                  (Values{period, period, pitchNote}))
            << "channel " << c;
    }
    // trunc(8363 x 2^(768 r)), r = 1/768 in single precision; (16726 << 32) / 44100.
    EXPECT_EQ(pitchOf(voices[0]), (Values{16726, 0, 1628971042}));
    EXPECT_EQ(voices[1].frequency, 8302); // 8363 x 2^(-8 / 768) = 8302.83
    // 8363 x 2^3 = 66904 is more than a frame a step: 66904 = 44100 + 22804.
    EXPECT_EQ(pitchOf(voices[8]), (Values{66904, 1, 2220916875})); // (22804 << 32) / 44100
}

TEST(SequencerPitch, AmigaPeriodsComeFromTheBaseTable) {
    // base(k) = trunc(13.375 x 2^((132 - k) q)): base(0) = 27392.006, base(1) =
    // 25854.6, base(47) = 1813.80, base(48) = 1712.0002, base(49) = 1615.91.
    EXPECT_EQ(amigaPeriod(0, 0), 27392);
    EXPECT_EQ(amigaPeriod(48, 0), 1712);
    EXPECT_EQ(amigaPeriod(48, 64), 1664);  // 1712 - (97 x 64 / 128 = 48.5 -> 48)
    EXPECT_EQ(amigaPeriod(48, -64), 1762); // 1712 + (101 x 64 / 128 = 50.5 -> 50)
    // Note 0 always leans toward note 1: 27392 - (1538 x -63 / 128 = -756.98 -> -756).
    EXPECT_EQ(amigaPeriod(0, -63), 28148);
}

TEST(SequencerPitch, ReferenceNotePlaysAt8363HzLinearAnd8362HzAmiga) {
    // Flags and finetune; period, frequency, step frames and (f << 32) / 44100.
    // Linear 7680 - 64 x 48 = 4608 at 8363 x 2^0; Amiga 14317056 / 1712 = 8362.57,
    // and with finetune 64 14317056 / 1664 = 8604 exactly.
    const std::tuple<uint16_t, int8_t, Values> cases[] = {{1, 0, {4608, 8363, 0, 814485521}},
                                                          {0, 0, {1712, 8362, 0, 814388129}},
                                                          {0, 64, {1664, 8604, 0, 837956884}}};
    for (const auto &[flags, finetune, expected] : cases) {
        XmSong xm = songOf(1, 1, 1, {{0, 0, referenceNote}});
        xm.flags = flags;
        xm.instruments[0].samples[0].finetune = finetune;
        TickPlayer play(xm);
        ASSERT_TRUE(play.loaded());
        play.tick();
        Values values = pitchOf(voices[0]);
        values.insert(values.begin(), channels[0].period);
        EXPECT_EQ(values, expected) << flags << " " << int{finetune};
    }
}

TEST(SequencerPitch, FrequencyAndStepFromThePeriodAndItsDelta) {
    // Flags, period, delta; frequency, step frames and step fraction, which is
    // (f << 32) / 44100 below 44100 Hz.
    const int64_t at100Hz = 9739154; // (100 << 32) / 44100
    const std::tuple<uint16_t, int32_t, int32_t, Values> cases[] = {
        {1, 4608, 64, {8860, 0, 862889121}},  // 8363 x 2^(1/12) = 8860.3: + raises
        {1, 4608, -64, {7893, 0, 768711493}}, // 8363 x 2^(-1/12) = 7893.6
        {0, 1712, 64, {8061, 0, 785073273}},  // 14317056 / 1776 = 8061.4: + lowers
        {0, 1712, -64, {8687, 0, 846040383}}, // 14317056 / 1648 = 8687.5
        {0, 200000, 0, {71, 0, at100Hz}},     // 71.6 Hz plays at 100
        {0, -1000, 0, {-14317, 0, at100Hz}},  // negative, truncated toward zero
        // 8363 x 2^136 does not fit: 2147483647 = 48695 x 44100 + 34147,
        // (34147 << 32) / 44100 = 3325629212.
        {1, -100000, 0, {INT32_MAX, 48695, 3325629212}},
        // A sounding period of 0 leaves the pitch as resetVoices left it.
        {0, 0, 0, {0, 1, 0}},
        {0, 10, -10, {0, 1, 0}},
    };
    for (const auto &[flags, period, delta, expected] : cases) {
        MusicChannel channel = fullChannel();
        channel.period = period;
        channel.periodDelta = delta;
        EXPECT_EQ(pitchOf(pushed(channel, updatePitch, flags)), expected)
            << period << " + " << delta;
    }
}

TEST(SequencerEnvelope, SustainHoldsUntilKeyOffAndLoopsComeFirstAndKeepRunning) {
    // Channel 0: 0 -> 64 -> 0, 16 a tick, sustained at point 1 until the key off
    // on row 2 moves on; the last point ends the envelope. Channels 1..3: 0 -> 32
    // -> 64 (-> 0), 16 a tick; 1 loops from point 2 back to point 1 and is released
    // on row 1; 2 also sustains on the loop end, where the jump comes first; 3
    // only sustains there.
    XmSong xm = songOf(8, 4, 4, {{2, 0, keyOff}, {1, 1, keyOff}});
    xm.instruments.assign(4, xm.instruments[0]);
    for (uint8_t c = 0; c < 4; ++c)
        xm.patterns[0].at(0, c) = {49, static_cast<uint8_t>(c + 1)};
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 0}, {4, 64}, {8, 0}}, 3, 1);
    xm.instruments[1].volumeEnvelope = envelopeOf({{0, 0}, {2, 32}, {4, 64}}, 5, 0, 1, 2);
    xm.instruments[2].volumeEnvelope = envelopeOf({{0, 0}, {2, 32}, {4, 64}, {6, 0}}, 7, 2, 1, 2);
    xm.instruments[3].volumeEnvelope = envelopeOf({{0, 0}, {2, 32}, {4, 64}, {6, 0}}, 3, 2);
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    const Values looped = {0, 16, 32, 48, 32, 48, 32, 48, 32, 48, 32, 48, 32, 48};
    EXPECT_EQ(record(play, 14, {volEnv<0>, volEnv<1>, volEnv<2>, volEnv<3>}),
              (Table{{0, 16, 32, 48, 64, 64, 64, 64, 64, 48, 32, 16, 0, 0},
                     looped,
                     looped,
                     {0, 16, 32, 48, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64}}));
    EXPECT_EQ((Values{channels[0].volEnvDone, channels[1].keyOff, channels[1].volEnvDone}),
              (Values{1, 1, 0}));
}

TEST(SequencerEnvelope, StepsFromTickZeroOnTheFirstTickAfterTheReset) {
    // 20 -> 40 over 10 ticks: slope 20 x 65536 / 10 = 131072, 2 a tick. The
    // instrument number alone on row 1 restarts it.
    XmSong xm = songOf(4, 1, 2, {{0, 0, referenceNote}, {1, 0, {0, 1}}});
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 20}, {10, 40}}, 1);
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    const MusicChannel &c = channels[0];
    for (int r = 0; r < 2; ++r) {
        play.tick();
        EXPECT_EQ((Values{c.volEnvValue, c.volEnvTick, c.volEnvPoint, c.volEnvSlope}),
                  (Values{20, 1, 1, 131072}));
        play.tick();
        EXPECT_EQ((Values{c.volEnvValue, c.volEnvTick}), (Values{22, 2}));
    }
}

TEST(SequencerEnvelope, PanningEnvelopeFeedsTheFinalPanning) {
    // 32 -> 64 over 4 ticks, 8 a tick, on a centred sample: P = 128 + 4 (e - 32),
    // 256 limited to 255.
    XmSong xm = songOf(8, 1, 6, {{0, 0, referenceNote}});
    xm.instruments[0].panningEnvelope = envelopeOf({{0, 32}, {4, 64}}, 1);
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    EXPECT_EQ(record(play, 6,
                     {[](TickPlayer &) { return channels[0].panEnvValue; },
                      [](TickPlayer &) { return voices[0].pan; }}),
              (Table{{32, 40, 48, 56, 64, 64}, {128, 160, 192, 224, 255, 255}}));
    EXPECT_EQ(channels[0].panEnvDone, 1);
}

TEST(SequencerRelease, FadeoutFallsByTheDoubledStepEveryTickAfterKeyOff) {
    // Channel 0 fades by 2 x 300 = 600 a tick from the key off on row 1;
    // channel 1 by 2 x 20000 = 40000, down to 0 on its second tick.
    XmSong xm =
        songOf(4, 2, 3, {{0, 0, referenceNote}, {0, 1, {49, 2}}, {1, 0, keyOff}, {1, 1, keyOff}});
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 64}, {100, 64}}, 1);
    xm.instruments[0].fadeout = 300;
    xm.instruments.push_back(xm.instruments[0]);
    xm.instruments[1].fadeout = 20000;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    EXPECT_EQ(record(play, 7, {fadeout<0>, fadeout<1>}),
              (Table{{65536, 65536, 65536, 64936, 64336, 63736, 63136},
                     {65536, 65536, 65536, 25536, 0, 0, 0}}));
    // V = 64 x 64 x 63136 x 64 x 255 / 2^35 = 63136 x 255 / 2^17 = 122.8
    EXPECT_EQ((Values{voices[0].volume, voices[1].volume}), (Values{122, 0}));
}

TEST(SequencerRelease, KeyOffWithoutVolumeEnvelopeSilencesAtOnce) {
    // A bare note on row 2 leaves keyOff set.
    TickPlayer play(songOf(4, 1, 2, {{0, 0, referenceNote}, {1, 0, keyOff}, {2, 0, {49}}}));
    ASSERT_TRUE(play.loaded());
    play.tick(2);
    EXPECT_EQ(voices[0].volume, 127);
    play.tick();
    EXPECT_EQ((Values{channels[0].keyOff, channels[0].volEnvValue, voices[0].volume}),
              (Values{1, 0, 0}));
    play.tick(2);
    EXPECT_EQ(channels[0].voice, &voices[32]);
    EXPECT_EQ(voices[32].volume, 0);
}

TEST(SequencerRelease, InstrumentWithoutNoteResetsTheChannelButNotTheSample) {
    XmSong xm = songOf(4, 1, 2, {{0, 0, referenceNote}, {1, 0, keyOff}, {2, 0, {0, 1}}});
    xm.instruments[0].samples[0].volume = 40;
    xm.instruments[0].samples[0].panning = 200;
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 64}, {4, 0}}, 1);
    xm.instruments[0].fadeout = 1000;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick(4);
    voices[0].position = 17; // as if mixed for a while
    MusicChannel &c = channels[0];
    // Two ticks of fadeout 2000; envelope 64, 48, 32, 16.
    EXPECT_EQ((Values{c.fadeoutVolume, c.volEnvValue}), (Values{61536, 16}));
    c.channelVolume = 10; // as slides would have left them
    c.channelPan = 30;
    play.tick();
    // keyOff, fadeout, envelope value and tick, volume and pan of the sample,
    // voice volume 40 x 255 / 128 = 79.7 and pan.
    EXPECT_EQ((Values{c.keyOff, c.fadeoutVolume, c.volEnvValue, c.volEnvTick, c.channelVolume,
                      c.channelPan, voices[0].volume, voices[0].pan}),
              (Values{0, 65536, 64, 1, 40, 200, 79, 200}));
    EXPECT_EQ(c.voice, &voices[0]);
    EXPECT_EQ(voices[0].position, 17u);
    EXPECT_EQ(voices[32].sample, nullptr);
}

// periodDelta and the next phase after one step from phase p; at depth 64,
// (w x 64) >> 6 = w.
std::pair<int32_t, int32_t> autoVibrato(uint8_t type, int32_t p, uint8_t depth = 64,
                                        uint8_t rate = 0) {
    MusicChannel channel{};
    channel.autoVibPos = p;
    Instrument instrument{};
    instrument.vibratoType = type;
    instrument.vibratoDepth = depth;
    instrument.vibratoRate = rate;
    autoVibratoStep(channel, instrument);
    EXPECT_EQ(channel.updateFlags, updatePitch);
    return {channel.periodDelta, channel.autoVibPos};
}

TEST(SequencerAutoVibrato, WaveValuesDepthAndPhase) {
    // Type 0 trunc(64 sin(p s)): 64 sin(pi / 4) = 45.25, and the peaks fall short
    // of 64. Type 1 is a square; type 2 (128 - ((p + 128) mod 256)) >> 1; type 3
    // (128 - ((384 - p) mod 256)) >> 1. Types 4 and up are flat, yet raise Pitch.
    const std::tuple<uint8_t, int32_t, int32_t> cases[] = {
        {0, 0, 0},     {0, 32, 45},  {0, 64, 63},  {0, 128, 0},   {0, 160, -45},
        {0, 192, -63}, {1, 0, 64},   {1, 127, 64}, {1, 128, -64}, {1, 255, -64},
        {2, 0, 0},     {2, 1, -1},   {2, 3, -2},   {2, 127, -64}, {2, 128, 64},
        {2, 129, 63},  {2, 255, 0},  {3, 1, 0},    {3, 2, 1},     {3, 128, 64},
        {3, 129, -64}, {3, 255, -1}, {4, 64, 0},   {128, 192, 0}, {255, 64, 0}};
    for (const auto &[type, p, wave] : cases)
        EXPECT_EQ(autoVibrato(type, p).first, wave) << "type " << int{type} << " p " << p;
    EXPECT_EQ(autoVibrato(0, 64, 1).first, 0);    // 63 >> 6
    EXPECT_EQ(autoVibrato(0, 192, 1).first, -1);  // -63 >> 6 rounds down
    EXPECT_EQ(autoVibrato(1, 0, 255).first, 255); // 16320 >> 6
    EXPECT_EQ(autoVibrato(0, 32, 16).first, 11);  // 720 >> 6
    // The phase advances by the rate and wraps at 256.
    EXPECT_EQ(autoVibrato(0, 250, 0, 5).second, 255);
    EXPECT_EQ(autoVibrato(0, 250, 0, 6).second, 0);
    EXPECT_EQ(autoVibrato(0, 250, 0, 10).second, 4);
}

TEST(SequencerAutoVibrato, SweepBringsInTheSwingInQuarters) {
    // Square +64 at depth 64 and phase 0: a = 4096 x counter / 4, then >> 6.
    // trunc(8363 x 2^(delta / 768)): a positive delta raises a linear pitch.
    XmSong xm = songOf(1, 1, 8, {{0, 0, referenceNote}});
    XmInstrument &instrument = xm.instruments[0];
    instrument.vibratoType = 1;
    instrument.vibratoSweep = 4;
    instrument.vibratoDepth = 64;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    EXPECT_EQ(record(play, 6,
                     {[](TickPlayer &) { return channels[0].periodDelta; },
                      [](TickPlayer &) { return voices[0].frequency; }}),
              (Table{{0, 16, 32, 48, 64, 64}, {8363, 8484, 8608, 8733, 8860, 8860}}));
    EXPECT_EQ(channels[0].autoVibSweep, 4);
}

TEST(SequencerVoice, FinalVolumeIsTheProductScaledTo127) {
    // V = (cv + delta) x env x fade x global x 255 / 2^35; at full fadeout and
    // global volume that is (cv + delta) x env x 255 / 8192.
    const std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, int32_t> cases[] = {
        {64, 0, 64, 65536, 64, 127},                               // 127.5
        {40, 0, 64, 65536, 64, 79},  {60, -20, 64, 65536, 64, 79}, // 79.7
        {64, 0, 32, 65536, 64, 63},  {64, 0, 64, 32768, 64, 63},   // 63.75
        {64, 0, 64, 65536, 32, 63},  {64, 0, 64, 600, 64, 1},      // 600 x 255 / 2^17
        {80, 0, 64, 65536, 64, 159}, {64, 0, 64, 65536, 0, 0}};
    for (const auto &[volume, delta, envelope, fadeout, global, expected] : cases) {
        MusicChannel channel = fullChannel();
        channel.channelVolume = volume;
        channel.volumeDelta = delta;
        channel.volEnvValue = envelope;
        channel.fadeoutVolume = fadeout;
        const MixerVoice &voice = pushed(channel, updateVolume, 1, global);
        EXPECT_EQ((Values{voice.volume, voice.volumeCopy}), (Values{expected, expected}))
            << volume << " " << fadeout;
    }
}

TEST(SequencerVoice, FinalPanningAndItsSplitOfTheVolume) {
    // P = cp + ((128 - |cp - 128|) / 32) x (env - 32), limited to 0..255;
    // left = 127 x P / 255, right = (255 - P) x 127 / 255.
    const std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t> cases[] = {
        {128, 32, 128, 63, 63}, {128, 64, 255, 127, 0}, // 128 + 4 x 32 = 256
        {128, 0, 0, 0, 127},    {100, 0, 4, 1, 125},    // 100 + 3 x -32
        {100, 64, 196, 97, 29}, {0, 64, 0, 0, 127},     // no room at the edge
        {255, 0, 255, 127, 0},  {200, 0, 168, 83, 43},  // 56 / 32 = 1
        {31, 64, 31, 15, 111},                          // 97 / 32 = 0 before the product
        {32, 64, 64, 31, 95}};
    for (const auto &[channelPan, envelope, pan, left, right] : cases) {
        MusicChannel channel = fullChannel();
        channel.channelPan = channelPan;
        channel.panEnvValue = envelope;
        const MixerVoice &v = pushed(channel, updateVolume | updatePanning);
        EXPECT_EQ((Values{v.pan, v.panCopy, v.volumeLeft, v.volumeRight}),
                  (Values{pan, pan, left, right}))
            << channelPan << " " << envelope;
    }
}

TEST(SequencerVoice, NoteStartsAlternateBetweenTheChannelsTwoVoices) {
    TickPlayer play(
        songOf(4, 2, 1, {{0, 1, referenceNote}, {1, 1, referenceNote}, {2, 1, referenceNote}}));
    ASSERT_TRUE(play.loaded());
    const Sample *sample = play.sample(0);
    play.tick();
    EXPECT_EQ(channels[1].voice, &voices[1]);
    EXPECT_EQ(voices[1].sample, sample);
    EXPECT_EQ(voices[33].sample, nullptr);
    for (const auto &[now, before] : {std::pair{33, 1}, std::pair{1, 33}}) {
        voices[before].position = 17; // as if mixed for a while
        play.tick();
        const MixerVoice &a = voices[now], &b = voices[before];
        EXPECT_EQ(channels[1].voice, &a);
        EXPECT_EQ((Values{a.index, a.position, a.volume}), (Values{now, 0, 127}));
        // The voice left behind plays on from where it was, at volume 0.
        EXPECT_EQ(
            (Values{b.index, b.position, b.volume, b.volumeCopy, b.volumeLeft, b.volumeRight}),
            (Values{before, 17, 0, 0, 0, 0}));
        EXPECT_EQ(a.sample, sample);
        EXPECT_EQ(b.sample, sample);
    }
}

TEST(SequencerNotes, CellNotesAbove96AreNoNotes) {
    // 97 is the key off; 98..254 play nothing, but the instrument number still resets.
    TickPlayer play(songOf(
        4, 2, 1,
        {{0, 0, referenceNote}, {1, 0, {98}}, {2, 0, {200}}, {3, 0, {254}}, {0, 1, {150, 1}}}));
    ASSERT_TRUE(play.loaded());
    play.tick();
    EXPECT_EQ(voices[1].sample, nullptr);
    EXPECT_EQ((Values{channels[1].channelVolume, channels[1].noteIndex}), (Values{64, 0}));
    for (int r = 1; r < 4; ++r) {
        play.tick();
        EXPECT_EQ((Values{channels[0].noteIndex, channels[0].period, channels[0].keyOff}),
                  (Values{48, 4608, 0}))
            << "row " << r;
        EXPECT_EQ(voices[32].sample, nullptr) << "row " << r;
    }
}

TEST(SequencerNotes, EmptyInstrumentAndEmptySampleSelections) {
    // One instrument: number 2 lies past the count. Its sample map sends note
    // index 48 to slot 16 and 49 to 255 (no such slot), 50 to the unused slot 15.
    XmSong xm = songOf(
        1, 5, 1,
        {{0, 0, {49, 2}}, {0, 1, {48, 1}}, {0, 2, {49, 1}}, {0, 3, {50, 1}}, {0, 4, {51, 1}}});
    xm.instruments[0].sampleMap[48] = 16;
    xm.instruments[0].sampleMap[49] = 255;
    xm.instruments[0].sampleMap[50] = 15;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick();
    EXPECT_EQ(selectInstrument(play.song(), channels[0]).instrument, &emptyInstrument);
    // The note alone sets the pitch; the empty sample plays at volume 0.
    EXPECT_EQ(voices[0].sample, &emptySample);
    EXPECT_EQ((Values{channels[0].period, voices[0].frequency, voices[0].volume}),
              (Values{4608, 8363, 0}));
    EXPECT_EQ(voices[1].sample, play.sample(0)); // map entry 0
    for (int c = 2; c < 5; ++c) {
        EXPECT_EQ(voices[c].sample, &emptySample) << "channel " << c;
        EXPECT_EQ(voices[c].volume, 0) << "channel " << c;
    }
}

TEST(SequencerNotes, ATonePortamentoRowKeepsTheNoteAndOnlySetsItsPeriod) {
    // Instrument 1: volume 50, relative note 0; 2: volume 20, relative note 12.
    // Row 1 brings note 61 with instrument 2, with a tone portamento (3, 5,
    // volume F5) or without. Then: instrument and note index, pitch note, note
    // period, period and volume. The portamento keeps instrument 1 and note 48,
    // takes pitch note 60 + 0 only for the period 7680 - 64 x 60, and resets the
    // volume from instrument 1; without it, pitch note 72 and 7680 - 64 x 72.
    XmSong xm = songOf(2, 4, 1);
    xm.instruments[0].samples[0].volume = 50;
    xm.instruments.push_back(xm.instruments[0]);
    xm.instruments[1].samples[0].volume = 20;
    xm.instruments[1].samples[0].relativeNote = 12;
    const Values sliding = {0, 48, 60, 3840, 4608, 50};
    const std::pair<XmCell, Values> cases[4] = {{{61, 2, 0, 3}, sliding},
                                                {{61, 2, 0, 5}, sliding},
                                                {{61, 2, 0xf5}, sliding},
                                                {{61, 2}, {1, 60, 72, 3072, 3072, 20}}};
    for (int c = 0; c < 4; ++c) {
        xm.patterns[0].at(0, c) = referenceNote;
        xm.patterns[0].at(1, c) = cases[c].first;
    }
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick(2);
    for (int c = 0; c < 4; ++c) {
        const MusicChannel &ch = channels[c];
        EXPECT_EQ((Values{ch.instrumentIndex, ch.noteIndex, ch.pitchNote, ch.notePeriod, ch.period,
                          ch.channelVolume}),
                  cases[c].second)
            << "channel " << c;
    }
}

} // namespace
