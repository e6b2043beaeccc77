// The sequencer tick by tick: the row clock, pitch, envelopes, release and
// fadeout, auto-vibrato, the final volume and panning, and the voice pairs.
// Expected values are worked out from the rules in the comments beside them.

#include "player/blockfill.h"
#include "player/mixer.h"
#include "player/sequencer.h"
#include "song_bytes.h"
#include "tick_player.h"
#include "tools/xm_builder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

// One pattern, and one instrument playing a 64-frame forward loop at volume
// 64, centred, with finetune 0 and relative note 0.
XmSong songOf(int rows, int channels, int speed) {
    XmSong xm;
    xm.channels = static_cast<uint16_t>(channels);
    xm.speed = static_cast<uint16_t>(speed);
    xm.patterns.push_back(blankPattern(rows, channels));
    XmSample sample;
    sample.values.assign(64, 40);
    sample.loop = xmForwardLoop;
    sample.loopLength = 64;
    xm.instruments.push_back(instrumentWith(sample));
    return xm;
}

const XmCell referenceNote = {49, 1}; // note 48 counted from 0: the sample's own pitch
const XmCell keyOff = {97};

XmEnvelope envelopeOf(std::vector<std::pair<uint16_t, uint16_t>> points, uint8_t type,
                      uint8_t sustain = 0, uint8_t loopStart = 0, uint8_t loopEnd = 0) {
    XmEnvelope envelope;
    envelope.points = std::move(points);
    envelope.type = type;
    envelope.sustain = sustain;
    envelope.loopStart = loopStart;
    envelope.loopEnd = loopEnd;
    return envelope;
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
    channel.channelVolume = 64;
    channel.volEnvValue = 64;
    channel.fadeoutVolume = 65536;
    channel.channelPan = 128;
    channel.panEnvValue = 32;
    return channel;
}

// --- Row clock ---

TEST(SequencerClock, ARowLastsSpeedTicksAndSpeedZeroMakesEveryTickARow) {
    for (int speed : {0, 3}) {
        TickPlayer play(songOf(16, 1, speed));
        ASSERT_TRUE(play.loaded());
        // After call n: speed 3 plays row (n - 1) / 3 at tick counter n mod 3;
        // speed 0 wraps the counter at once, so every call is a row's first tick.
        for (int n = 1; n <= 9; ++n) {
            play.tick();
            EXPECT_EQ(play.song().row, speed ? (n - 1) / 3 : n - 1) << "speed " << speed;
            EXPECT_EQ(play.song().tick, speed ? n % 3 : 0) << "speed " << speed;
        }
    }
}

TEST(SequencerClock, NextPositionIsChosenOnTheFirstTickAndEnteredOnTheNextRow) {
    XmSong xm = songOf(2, 1, 3);
    xm.patterns.push_back(blankPattern(2, 1));
    xm.orders = {0, 1};
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick();
    EXPECT_EQ(play.song().nextRow, 1);
    EXPECT_EQ(play.song().nextOrder, -1);
    play.tick(3); // the first tick of row 1, the pattern's last row
    EXPECT_EQ(play.song().nextRow, 0);
    EXPECT_EQ(play.song().nextOrder, 1);
    play.tick(2);
    EXPECT_EQ(play.song().order, 0);
    EXPECT_EQ(play.song().row, 1);
    play.tick();
    EXPECT_EQ(play.song().order, 1);
    EXPECT_EQ(play.song().row, 0);
    EXPECT_EQ(play.song().nextOrder, -1);
}

TEST(SequencerClock, AfterTheLastOrderPlayContinuesAtTheRestartPosition) {
    // Orders 0, 1, 0 over patterns of 2 and 3 rows, restart at order 1; each
    // order's row count is that of the pattern it names.
    XmSong xm = songOf(2, 1, 1);
    xm.patterns.push_back(blankPattern(3, 1));
    xm.orders = {0, 1, 0};
    xm.restart = 1;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    const std::vector<std::pair<int, int>> positions = {
        {0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {1, 0}, {1, 1}, {1, 2}, {2, 0}};
    for (size_t n = 0; n < positions.size(); ++n) {
        play.tick();
        EXPECT_EQ(play.song().order, positions[n].first) << "row " << n;
        EXPECT_EQ(play.song().row, positions[n].second) << "row " << n;
    }
}

TEST(SequencerClock, ARestartPositionOutsideTheSongContinuesAtOrderZero) {
    // Two one-row orders: restart 1 repeats order 1; 2 and 200 lie outside.
    const std::vector<std::pair<uint16_t, std::vector<int>>> cases = {
        {1, {0, 1, 1, 1}}, {2, {0, 1, 0, 1}}, {200, {0, 1, 0, 1}}};
    for (const auto &[restart, orders] : cases) {
        XmSong xm = songOf(1, 1, 1);
        xm.orders = {0, 0};
        xm.restart = restart;
        TickPlayer play(xm);
        ASSERT_TRUE(play.loaded());
        for (size_t n = 0; n < orders.size(); ++n) {
            play.tick();
            EXPECT_EQ(play.song().order, orders[n]) << "restart " << restart << " row " << n;
        }
    }
}

TEST(SequencerClock, ARowPastThePatternEndPlaysNothingAndTheNextOrderFollows) {
    XmSong xm = songOf(2, 1, 1);
    xm.patterns[0].at(1, 0) = referenceNote;
    xm.patterns.push_back(blankPattern(2, 1));
    xm.patterns[1].at(0, 0) = {61, 1};
    xm.orders = {0, 1};
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick();
    play.song().nextRow = 2; // what a pattern break to row 2 leaves on row 0
    play.tick();
    EXPECT_EQ(play.song().row, 2);
    EXPECT_EQ(voices[0].sample, nullptr);
    EXPECT_EQ(channels[0].period, 0);
    // Row 3 would lie past the end as well: order 1 follows.
    EXPECT_EQ(play.song().nextRow, 0);
    EXPECT_EQ(play.song().nextOrder, 1);
    play.tick();
    EXPECT_EQ(play.song().order, 1);
    EXPECT_EQ(channels[0].period, 3840); // 7680 - 64 * 60
}

// --- Pitch ---

TEST(SequencerPitch, ReferenceNotePlaysAt8363HzLinearAnd8362HzAmiga) {
    for (uint16_t flags : {1, 0}) {
        XmSong xm = songOf(1, 1, 1);
        xm.flags = flags;
        xm.patterns[0].at(0, 0) = referenceNote;
        TickPlayer play(xm);
        ASSERT_TRUE(play.loaded());
        play.tick();
        // Linear: 7680 - 64 * 48 = 4608, 8363 * 2^0. Amiga: 14317056 / 1712 = 8362.57.
        EXPECT_EQ(channels[0].period, flags ? 4608 : 1712);
        EXPECT_EQ(voices[0].frequency, flags ? 8363 : 8362);
        EXPECT_EQ(voices[0].speedInteger, 0u);
        // (8363 << 32) / 44100 and (8362 << 32) / 44100, truncated.
        EXPECT_EQ(voices[0].speedFraction, flags ? 814485521u : 814388129u);
    }
}

TEST(SequencerPitch, NoteFinetuneAndRelativeNoteMakeTheLinearPeriod) {
    struct Case {
        uint8_t note;
        int8_t finetune, relativeNote;
        int32_t period;
        uint8_t pitchNote;
    };
    const std::vector<Case> cases = {
        {61, 0, 0, 3840, 60},   {49, -17, 0, 4616, 48}, // -17 / 2 = -8 toward zero
        {49, 17, 0, 4600, 48},  {49, -128, 0, 4672, 48}, {49, 127, 0, 4545, 48},
        {49, 0, 12, 3840, 60},  {49, 0, -12, 5376, 36}, // 7680 - 64 * 36
        {1, 0, -1, -8640, 255},                         // -1 mod 256: 7680 - 64 * 255
        {85, 0, 0, 2304, 84}};
    XmSong xm = songOf(1, static_cast<int>(cases.size()), 1);
    const XmInstrument plain = xm.instruments[0];
    xm.instruments.clear();
    for (size_t c = 0; c < cases.size(); ++c) {
        xm.instruments.push_back(plain);
        xm.instruments[c].samples[0].finetune = cases[c].finetune;
        xm.instruments[c].samples[0].relativeNote = cases[c].relativeNote;
        xm.patterns[0].at(0, static_cast<int>(c)) = {cases[c].note, static_cast<uint8_t>(c + 1)};
    }
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick();
    for (size_t c = 0; c < cases.size(); ++c) {
        EXPECT_EQ(channels[c].period, cases[c].period) << "channel " << c;
        EXPECT_EQ(channels[c].notePeriod, cases[c].period) << "channel " << c;
        EXPECT_EQ(channels[c].pitchNote, cases[c].pitchNote) << "channel " << c;
    }
    EXPECT_EQ(voices[0].frequency, 16726); // trunc(8363 * 2^(768 * r)), r = 1/768 in single
    EXPECT_EQ(voices[0].speedFraction, 1628971042u); // (16726 << 32) / 44100
    EXPECT_EQ(voices[1].frequency, 8302);            // 8363 * 2^(-8 / 768) = 8302.83
    EXPECT_EQ(voices[8].frequency, 66904);           // 8363 * 2^3: above one frame a step,
    EXPECT_EQ(voices[8].speedInteger, 1u);           // 66904 div 44100 = 1
    EXPECT_EQ(voices[8].speedFraction, 2220916875u); // (22804 << 32) / 44100
}

TEST(SequencerPitch, AmigaPeriodsComeFromTheBaseTable) {
    // base(k) = trunc(13.375 * 2^((132 - k) * q)): base(0) = 27392.006,
    // base(1) = 25854.6, base(47) = 1813.80, base(48) = 1712.0002, base(49) = 1615.91.
    EXPECT_EQ(amigaPeriod(0, 0), 27392);
    EXPECT_EQ(amigaPeriod(48, 0), 1712);
    EXPECT_EQ(amigaPeriod(48, 64), 1664);  // 1712 - (97 * 64 / 128 = 48.5 -> 48)
    EXPECT_EQ(amigaPeriod(48, -64), 1762); // 1712 + (101 * 64 / 128 = 50.5 -> 50)
    // Note 0 always leans toward note 1: 27392 - (1538 * -63 / 128 = -756.98 -> -756).
    EXPECT_EQ(amigaPeriod(0, -63), 28148);

    XmSong xm = songOf(1, 1, 1);
    xm.flags = 0;
    xm.instruments[0].samples[0].finetune = 64;
    xm.patterns[0].at(0, 0) = referenceNote;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick();
    EXPECT_EQ(channels[0].period, 1664);
    EXPECT_EQ(voices[0].frequency, 8604); // 14317056 / 1664 = 8604 exactly
}

TEST(SequencerPitch, FrequencyAndStepFromThePeriodAndItsDelta) {
    struct Case {
        uint16_t flags;
        int32_t period, periodDelta, frequency;
        uint32_t speedInteger, speedFraction;
    };
    // Below 44100 Hz the step is 0 frames and (f << 32) / 44100 in 2^-32 units.
    const uint32_t at100Hz = 9739154u; // (100 << 32) / 44100
    const std::vector<Case> cases = {
        {1, 4608, 64, 8860, 0, 862889121u},             // 8363 * 2^(1/12) = 8860.3: + raises
        {1, 4608, -64, 7893, 0, 768711493u},            // 8363 * 2^(-1/12) = 7893.6
        {0, 1712, 64, 8061, 0, 785073273u},             // 14317056 / 1776 = 8061.4: + lowers
        {0, 1712, -64, 8687, 0, 846040383u},            // 14317056 / 1648 = 8687.5
        {0, 200000, 0, 71, 0, at100Hz},                 // 71.6 Hz plays at 100
        {0, -1000, 0, -14317, 0, at100Hz},              // negative, truncated toward zero
        {1, -100000, 0, INT32_MAX, 48695, 3325629212u}, // 8363 * 2^136 does not fit;
    }; // 2147483647 = 48695 * 44100 + 34147, (34147 << 32) / 44100 = 3325629212
    for (const Case &c : cases) {
        MusicChannel channel = fullChannel();
        channel.period = c.period;
        channel.periodDelta = c.periodDelta;
        const MixerVoice &voice = pushed(channel, updatePitch, c.flags);
        EXPECT_EQ(voice.frequency, c.frequency) << c.period << " + " << c.periodDelta;
        EXPECT_EQ(voice.speedInteger, c.speedInteger) << c.period;
        EXPECT_EQ(voice.speedFraction, c.speedFraction) << c.period;
    }
    // A sounding period of 0 leaves the pitch as it was.
    for (const auto &[period, delta] : {std::pair{0, 0}, std::pair{10, -10}}) {
        MusicChannel channel = fullChannel();
        channel.period = period;
        channel.periodDelta = delta;
        const MixerVoice &voice = pushed(channel, updatePitch, 0);
        EXPECT_EQ(voice.frequency, 0);
        EXPECT_EQ(voice.speedInteger, 1u); // as resetVoices left it
        EXPECT_EQ(voice.speedFraction, 0u);
    }
}

// --- Envelopes ---

TEST(SequencerEnvelope, SustainHoldsUntilKeyOffThenMovesOn) {
    // 0 -> 64 over 4 ticks (16 a tick), hold at point 1, then 64 -> 0 over 4.
    XmSong xm = songOf(8, 1, 4);
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 0}, {4, 64}, {8, 0}}, 3, 1);
    xm.patterns[0].at(0, 0) = referenceNote;
    xm.patterns[0].at(2, 0) = keyOff;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    // Rows 0 and 1 (ticks 0..7) rise and hold; the key off on row 2 leaves the
    // sustain point on its first tick, and the last point ends the envelope.
    const std::vector<int32_t> values = {0, 16, 32, 48, 64, 64, 64, 64, 64, 48, 32, 16, 0, 0};
    for (size_t t = 0; t < values.size(); ++t) {
        play.tick();
        EXPECT_EQ(channels[0].volEnvValue, values[t]) << "tick " << t;
    }
    EXPECT_EQ(channels[0].volEnvDone, 1);
}

TEST(SequencerEnvelope, LoopsComeBeforeSustainAndKeepRunningAfterKeyOff) {
    // 0 -> 32 -> 64 (-> 0), 16 a tick. Channel 0 loops from point 2 back to
    // point 1 and is released on row 1; channel 1 also has its sustain point on
    // the loop end, where the jump comes first; channel 2 sustains there only.
    XmSong xm = songOf(8, 3, 4);
    XmInstrument plain = xm.instruments[0];
    xm.instruments.assign(3, plain);
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 0}, {2, 32}, {4, 64}}, 5, 0, 1, 2);
    xm.instruments[1].volumeEnvelope = envelopeOf({{0, 0}, {2, 32}, {4, 64}, {6, 0}}, 7, 2, 1, 2);
    xm.instruments[2].volumeEnvelope = envelopeOf({{0, 0}, {2, 32}, {4, 64}, {6, 0}}, 3, 2);
    for (uint8_t c = 0; c < 3; ++c)
        xm.patterns[0].at(0, c) = {49, static_cast<uint8_t>(c + 1)};
    xm.patterns[0].at(1, 0) = keyOff;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    const std::vector<int32_t> looped = {0, 16, 32, 48, 32, 48, 32, 48, 32, 48};
    const std::vector<int32_t> held = {0, 16, 32, 48, 64, 64, 64, 64, 64, 64};
    for (size_t t = 0; t < looped.size(); ++t) {
        play.tick();
        EXPECT_EQ(channels[0].volEnvValue, looped[t]) << "tick " << t;
        EXPECT_EQ(channels[1].volEnvValue, looped[t]) << "tick " << t;
        EXPECT_EQ(channels[2].volEnvValue, held[t]) << "tick " << t;
    }
    EXPECT_EQ(channels[0].keyOff, 1);
    EXPECT_EQ(channels[0].volEnvDone, 0);
}

TEST(SequencerEnvelope, StepsFromTickZeroOnTheFirstTickAfterTheReset) {
    // 20 -> 40 over 10 ticks: slope 20 * 65536 / 10 = 131072, 2 a tick.
    XmSong xm = songOf(4, 1, 2);
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 20}, {10, 40}}, 1);
    xm.patterns[0].at(0, 0) = referenceNote;
    xm.patterns[0].at(1, 0) = {0, 1}; // the instrument number alone restarts it
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    for (int row = 0; row < 2; ++row) {
        play.tick();
        EXPECT_EQ(channels[0].volEnvValue, 20);
        EXPECT_EQ(channels[0].volEnvTick, 1);
        EXPECT_EQ(channels[0].volEnvPoint, 1);
        EXPECT_EQ(channels[0].volEnvSlope, 131072);
        play.tick();
        EXPECT_EQ(channels[0].volEnvValue, 22);
        EXPECT_EQ(channels[0].volEnvTick, 2);
    }
}

TEST(SequencerEnvelope, PanningEnvelopeFeedsTheFinalPanning) {
    // 32 -> 64 over 4 ticks, 8 a tick, on a centred sample: P = 128 + 4 * (e - 32).
    XmSong xm = songOf(8, 1, 6);
    xm.instruments[0].panningEnvelope = envelopeOf({{0, 32}, {4, 64}}, 1);
    xm.patterns[0].at(0, 0) = referenceNote;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    const std::vector<int32_t> envelope = {32, 40, 48, 56, 64, 64};
    const std::vector<int32_t> pan = {128, 160, 192, 224, 255, 255}; // 256 limited to 255
    for (size_t t = 0; t < envelope.size(); ++t) {
        play.tick();
        EXPECT_EQ(channels[0].panEnvValue, envelope[t]) << "tick " << t;
        EXPECT_EQ(voices[0].pan, pan[t]) << "tick " << t;
    }
    EXPECT_EQ(channels[0].panEnvDone, 1);
}

// --- Release and fadeout ---

TEST(SequencerRelease, FadeoutFallsByTheDoubledStepEveryTickAfterKeyOff) {
    // Channel 0 fades by 2 * 300 = 600 a tick; channel 1 by 2 * 20000 = 40000,
    // which reaches the floor of 0 on its second tick.
    XmSong xm = songOf(4, 2, 3);
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 64}, {100, 64}}, 1);
    xm.instruments[0].fadeout = 300;
    xm.instruments.push_back(xm.instruments[0]);
    xm.instruments[1].fadeout = 20000;
    xm.patterns[0].at(0, 0) = referenceNote;
    xm.patterns[0].at(0, 1) = {49, 2};
    xm.patterns[0].at(1, 0) = keyOff;
    xm.patterns[0].at(1, 1) = keyOff;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick(3);
    EXPECT_EQ(channels[0].fadeoutVolume, 65536);
    const std::vector<int32_t> slow = {64936, 64336, 63736, 63136};
    const std::vector<int32_t> fast = {25536, 0, 0, 0};
    for (size_t t = 0; t < slow.size(); ++t) {
        play.tick();
        EXPECT_EQ(channels[0].fadeoutVolume, slow[t]) << "tick " << t;
        EXPECT_EQ(channels[1].fadeoutVolume, fast[t]) << "tick " << t;
    }
    // V = 64 * 64 * 63136 * 64 * 255 / 2^35 = 63136 * 255 / 2^17 = 122.8
    EXPECT_EQ(voices[0].volume, 122);
    EXPECT_EQ(voices[1].volume, 0);
}

TEST(SequencerRelease, KeyOffWithoutVolumeEnvelopeSilencesAtOnce) {
    XmSong xm = songOf(4, 1, 2);
    xm.patterns[0].at(0, 0) = referenceNote;
    xm.patterns[0].at(1, 0) = keyOff;
    xm.patterns[0].at(2, 0) = {49}; // a bare note: keyOff stays set
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick(2);
    EXPECT_EQ(voices[0].volume, 127);
    play.tick();
    EXPECT_EQ(channels[0].keyOff, 1);
    EXPECT_EQ(channels[0].volEnvValue, 0);
    EXPECT_EQ(voices[0].volume, 0);
    play.tick(2);
    EXPECT_EQ(channels[0].voice, &voices[32]);
    EXPECT_EQ(voices[32].volume, 0);
}

TEST(SequencerRelease, InstrumentWithoutNoteResetsTheChannelButNotTheSample) {
    XmSong xm = songOf(4, 1, 2);
    XmSample &sample = xm.instruments[0].samples[0];
    sample.values.assign(1000, 40);
    sample.loop = xmNoLoop;
    sample.volume = 40;
    sample.panning = 200;
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 64}, {4, 0}}, 1);
    xm.instruments[0].fadeout = 1000;
    xm.patterns[0].at(0, 0) = referenceNote;
    xm.patterns[0].at(1, 0) = keyOff;
    xm.patterns[0].at(2, 0) = {0, 1};
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick(4);
    std::vector<float> mix(2 * 441);
    mixVoices(mix.data(), 441);                  // about 83 frames of the sample at 8363 Hz
    EXPECT_EQ(channels[0].fadeoutVolume, 61536); // two ticks of 2000
    EXPECT_EQ(channels[0].volEnvValue, 16);      // 64, 48, 32, 16
    channels[0].channelVolume = 10;              // as slides would have left them
    channels[0].channelPan = 30;
    const uint32_t position = voices[0].position;
    ASSERT_GT(position, 0u);

    play.tick();
    EXPECT_EQ(channels[0].keyOff, 0);
    EXPECT_EQ(channels[0].fadeoutVolume, 65536);
    EXPECT_EQ(channels[0].volEnvValue, 64);
    EXPECT_EQ(channels[0].volEnvTick, 1);
    EXPECT_EQ(channels[0].channelVolume, 40);
    EXPECT_EQ(channels[0].channelPan, 200);
    EXPECT_EQ(voices[0].volume, 79); // 40 * 255 / 128 = 79.7
    EXPECT_EQ(voices[0].pan, 200);
    EXPECT_EQ(channels[0].voice, &voices[0]);
    EXPECT_EQ(voices[0].position, position);
    EXPECT_EQ(voices[32].sample, nullptr);
}

// --- Auto-vibrato ---

// periodDelta after one step from phase p; at depth 64, (w * 64) >> 6 = w.
int32_t autoVibratoAt(uint8_t type, int32_t p, uint8_t depth = 64) {
    MusicChannel channel{};
    channel.autoVibPos = p;
    Instrument instrument{};
    instrument.vibratoType = type;
    instrument.vibratoDepth = depth;
    autoVibratoStep(channel, instrument);
    EXPECT_EQ(channel.updateFlags, updatePitch);
    return channel.periodDelta;
}

TEST(SequencerAutoVibrato, WaveValuesDepthAndPhase) {
    struct Case {
        uint8_t type;
        int32_t p, wave;
    };
    // Type 0, trunc(64 * sin(p * s)): 64 * sin(pi / 4) = 45.25, and the peaks fall
    // short of 64. Type 1 is a square; type 2 (128 - ((p + 128) mod 256)) >> 1;
    // type 3 (128 - ((384 - p) mod 256)) >> 1. Types 4 and up are flat, yet
    // raise Pitch all the same.
    const std::vector<Case> cases = {
        {0, 0, 0},     {0, 32, 45},  {0, 64, 63},  {0, 128, 0},   {0, 160, -45},
        {0, 192, -63}, {1, 0, 64},   {1, 127, 64}, {1, 128, -64}, {1, 255, -64},
        {2, 0, 0},     {2, 1, -1},   {2, 3, -2},   {2, 127, -64}, {2, 128, 64},
        {2, 129, 63},  {2, 255, 0},  {3, 1, 0},    {3, 2, 1},     {3, 128, 64},
        {3, 129, -64}, {3, 255, -1}, {4, 64, 0},   {128, 192, 0}, {255, 64, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(autoVibratoAt(c.type, c.p), c.wave) << "type " << int{c.type} << " p " << c.p;

    EXPECT_EQ(autoVibratoAt(0, 64, 1), 0);    // 63 >> 6
    EXPECT_EQ(autoVibratoAt(0, 192, 1), -1);  // -63 >> 6 rounds down
    EXPECT_EQ(autoVibratoAt(1, 0, 255), 255); // 16320 >> 6
    EXPECT_EQ(autoVibratoAt(0, 32, 16), 11);  // 720 >> 6

    for (const auto &[rate, next] : {std::pair{5, 255}, std::pair{6, 0}, std::pair{10, 4}}) {
        MusicChannel channel{};
        channel.autoVibPos = 250;
        Instrument instrument{};
        instrument.vibratoRate = static_cast<uint8_t>(rate);
        autoVibratoStep(channel, instrument);
        EXPECT_EQ(channel.autoVibPos, next) << "rate " << rate;
    }
}

TEST(SequencerAutoVibrato, SweepBringsInTheSwingInQuarters) {
    // Square +64 at depth 64 and phase 0: a = 4096 * counter / 4, then >> 6.
    XmSong xm = songOf(1, 1, 8);
    xm.instruments[0].vibratoType = 1;
    xm.instruments[0].vibratoSweep = 4;
    xm.instruments[0].vibratoDepth = 64;
    xm.patterns[0].at(0, 0) = referenceNote;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    const std::vector<int32_t> deltas = {0, 16, 32, 48, 64, 64};
    // 8363 * 2^(delta / 768), truncated: a positive delta raises a linear pitch.
    const std::vector<int32_t> frequencies = {8363, 8484, 8608, 8733, 8860, 8860};
    for (size_t t = 0; t < deltas.size(); ++t) {
        play.tick();
        EXPECT_EQ(channels[0].periodDelta, deltas[t]) << "tick " << t;
        EXPECT_EQ(voices[0].frequency, frequencies[t]) << "tick " << t;
    }
    EXPECT_EQ(channels[0].autoVibSweep, 4);
}

// --- Final volume and panning ---

TEST(SequencerVoice, FinalVolumeIsTheProductScaledTo127) {
    struct Case {
        int32_t channelVolume, volumeDelta, envelope, fadeout, global, volume;
    };
    // V = (cv + delta) * env * fade * global * 255 / 2^35; at full fadeout and
    // global volume that is (cv + delta) * env * 255 / 8192.
    const std::vector<Case> cases = {
        {64, 0, 64, 65536, 64, 127},                               // 127.5
        {40, 0, 64, 65536, 64, 79},  {60, -20, 64, 65536, 64, 79}, // 79.7
        {64, 0, 32, 65536, 64, 63},  {64, 0, 64, 32768, 64, 63},   // 63.75
        {64, 0, 64, 65536, 32, 63},  {64, 0, 64, 600, 64, 1},      // 600 * 255 / 2^17
        {80, 0, 64, 65536, 64, 159}, {64, 0, 64, 65536, 0, 0}};
    for (const Case &c : cases) {
        MusicChannel channel = fullChannel();
        channel.channelVolume = c.channelVolume;
        channel.volumeDelta = c.volumeDelta;
        channel.volEnvValue = c.envelope;
        channel.fadeoutVolume = c.fadeout;
        const MixerVoice &voice = pushed(channel, updateVolume, 1, c.global);
        EXPECT_EQ(voice.volume, c.volume) << c.channelVolume << " " << c.fadeout;
        EXPECT_EQ(voice.volumeCopy, c.volume);
    }
}

TEST(SequencerVoice, FinalPanningAndItsSplitOfTheVolume) {
    struct Case {
        int32_t channelPan, envelope, pan, left, right;
    };
    // P = cp + ((128 - |cp - 128|) / 32) * (env - 32), limited to 0..255;
    // left = 127 * P / 255, right = (255 - P) * 127 / 255.
    const std::vector<Case> cases = {
        {128, 32, 128, 63, 63}, {128, 64, 255, 127, 0}, // 128 + 4 * 32 = 256
        {128, 0, 0, 0, 127},    {100, 0, 4, 1, 125},    // 100 + 3 * -32
        {100, 64, 196, 97, 29}, {0, 64, 0, 0, 127},     // no room at the edge
        {255, 0, 255, 127, 0},  {200, 0, 168, 83, 43},  // 56 / 32 = 1
        {31, 64, 31, 15, 111},                          // 97 / 32 = 0 before the product
        {32, 64, 64, 31, 95}};
    for (const Case &c : cases) {
        MusicChannel channel = fullChannel();
        channel.channelPan = c.channelPan;
        channel.panEnvValue = c.envelope;
        const MixerVoice &voice = pushed(channel, updateVolume | updatePanning);
        EXPECT_EQ(voice.pan, c.pan) << c.channelPan << " " << c.envelope;
        EXPECT_EQ(voice.panCopy, c.pan);
        EXPECT_EQ(voice.volumeLeft, c.left) << c.channelPan << " " << c.envelope;
        EXPECT_EQ(voice.volumeRight, c.right) << c.channelPan << " " << c.envelope;
    }
}

// --- Voices, notes and selection ---

TEST(SequencerVoice, NoteStartsAlternateBetweenTheChannelsTwoVoices) {
    XmSong xm = songOf(4, 2, 1);
    for (int row = 0; row < 3; ++row)
        xm.patterns[0].at(row, 1) = referenceNote;
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    const Sample *sample = play.sample(0);
    play.tick();
    EXPECT_EQ(channels[1].voice, &voices[1]);
    EXPECT_EQ(voices[1].sample, sample);
    EXPECT_EQ(voices[33].sample, nullptr);
    for (const auto &[now, before] : {std::pair{33, 1}, std::pair{1, 33}}) {
        voices[before].position = 17; // as if mixed for a while
        play.tick();
        EXPECT_EQ(channels[1].voice, &voices[now]);
        EXPECT_EQ(voices[now].index, now);
        EXPECT_EQ(voices[now].sample, sample);
        EXPECT_EQ(voices[now].position, 0u);
        EXPECT_EQ(voices[now].volume, 127);
        // The voice left behind plays on from where it was, at volume 0.
        EXPECT_EQ(voices[before].index, before);
        EXPECT_EQ(voices[before].sample, sample);
        EXPECT_EQ(voices[before].position, 17u);
        EXPECT_EQ(voices[before].volume, 0);
        EXPECT_EQ(voices[before].volumeCopy, 0);
        EXPECT_EQ(voices[before].volumeLeft, 0);
        EXPECT_EQ(voices[before].volumeRight, 0);
    }
}

TEST(SequencerNotes, CellNotesAbove96AreNoNotes) {
    XmSong xm = songOf(4, 2, 1);
    xm.patterns[0].at(0, 0) = referenceNote;
    xm.patterns[0].at(1, 0) = {98};
    xm.patterns[0].at(2, 0) = {200};
    xm.patterns[0].at(3, 0) = {254};
    xm.patterns[0].at(0, 1) = {150, 1}; // the instrument number still resets
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick();
    EXPECT_EQ(voices[1].sample, nullptr);
    EXPECT_EQ(channels[1].channelVolume, 64);
    EXPECT_EQ(channels[1].noteIndex, 0);
    for (int row = 1; row < 4; ++row) {
        play.tick();
        EXPECT_EQ(channels[0].noteIndex, 48) << "row " << row;
        EXPECT_EQ(channels[0].period, 4608) << "row " << row;
        EXPECT_EQ(channels[0].keyOff, 0) << "row " << row;
        EXPECT_EQ(voices[32].sample, nullptr) << "row " << row;
    }
}

TEST(SequencerNotes, EmptyInstrumentAndEmptySampleSelections) {
    // One instrument: number 2 lies past the count. Its sample map sends note
    // index 48 to slot 16 and 49 to 255 (no such slot), 50 to the unused slot 15.
    XmSong xm = songOf(1, 5, 1);
    xm.instruments[0].sampleMap[48] = 16;
    xm.instruments[0].sampleMap[49] = 255;
    xm.instruments[0].sampleMap[50] = 15;
    const XmCell cells[5] = {{49, 2}, {48, 1}, {49, 1}, {50, 1}, {51, 1}};
    for (int c = 0; c < 5; ++c)
        xm.patterns[0].at(0, c) = cells[c];
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick();
    EXPECT_EQ(selectInstrument(*&play.song(), channels[0]).instrument, &emptyInstrument);
    EXPECT_EQ(voices[0].sample, &emptySample);
    EXPECT_EQ(channels[0].period, 4608); // from the note alone
    EXPECT_EQ(voices[0].frequency, 8363);
    EXPECT_EQ(voices[0].volume, 0);              // the empty sample's volume 0
    EXPECT_EQ(voices[1].sample, play.sample(0)); // map entry 0
    for (int c = 2; c < 5; ++c) {
        EXPECT_EQ(voices[c].sample, &emptySample) << "channel " << c;
        EXPECT_EQ(voices[c].volume, 0) << "channel " << c;
    }
}

TEST(SequencerNotes, ATonePortamentoRowKeepsTheNoteAndOnlySetsItsPeriod) {
    // Instrument 1: volume 50, relative note 0; instrument 2: volume 20,
    // relative note 12. Row 1 brings note 61 with instrument 2 to four
    // channels, three of them with a tone portamento (3, 5, volume F5).
    XmSong xm = songOf(2, 4, 1);
    xm.instruments[0].samples[0].volume = 50;
    xm.instruments.push_back(xm.instruments[0]);
    xm.instruments[1].samples[0].volume = 20;
    xm.instruments[1].samples[0].relativeNote = 12;
    const XmCell slides[4] = {{61, 2, 0, 3}, {61, 2, 0, 5}, {61, 2, 0xf5}, {61, 2}};
    for (int c = 0; c < 4; ++c) {
        xm.patterns[0].at(0, c) = referenceNote;
        xm.patterns[0].at(1, c) = slides[c];
    }
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    play.tick(2);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(channels[c].instrumentIndex, 0) << "channel " << c;
        EXPECT_EQ(channels[c].noteIndex, 48) << "channel " << c;
        EXPECT_EQ(channels[c].pitchNote, 60) << "channel " << c;     // 60 + 0
        EXPECT_EQ(channels[c].notePeriod, 3840) << "channel " << c;  // 7680 - 64 * 60
        EXPECT_EQ(channels[c].period, 4608) << "channel " << c;      // still note 48
        EXPECT_EQ(channels[c].channelVolume, 50) << "channel " << c; // reset by instrument 1
    }
    EXPECT_EQ(channels[3].instrumentIndex, 1);
    EXPECT_EQ(channels[3].pitchNote, 72);
    EXPECT_EQ(channels[3].period, 3072); // 7680 - 64 * 72
    EXPECT_EQ(channels[3].channelVolume, 20);
}

} // namespace
