// The effects from G on (global volume, key off, envelope position, panning
// slide, multi retrig, tremor, extra fine portamento), every extended command
// E0..EF, and the position effects as channels of one row combine them. Songs
// are made by the XM builder and played tick by tick; every expected value is
// worked out from the player's rules in the comments beside it.
//
// The test instrument plays a looped 16-bit sample at volume 64 and panning
// 128, finetune 0 and relative note 0, with no envelopes and no auto-vibrato.
// The song uses the linear table unless a test says otherwise. Cell note 49
// (note index 48) then has the period 7680 - 64 * 48 = 4608 and plays at
// 8363 Hz.
//
// Useful facts of the rules:
// - The row pass raises Pitch and Volume for every channel; on later ticks a
//   channel with nothing going on raises only Pitch (the auto-vibrato step
//   raises it every tick, even with depth 0).
// - The final volume is trunc(volume x envelope x fadeout x global x 255 /
//   2^35); with envelope 64 (2^6), fadeout 65536 (2^16) and global 64 (2^6)
//   that is trunc(volume x 255 / 128): 127 for volume 64 (from 127.5), 63 for
//   volume 32 (from 63.75). Likewise trunc(g x 255 / 128) for volume 64 and
//   global volume g.
// - A note start moves the note to the other voice of the channel's pair when
//   the current one still has a sample, so channel 0 alternates between voice
//   0 and voice 32 with every start after the first.

#include "tick_player.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

const uint8_t effectA = 10, effectB = 11, effectD = 13, effectE = 14, effectG = 16, effectH = 17,
              effectK = 20, effectL = 21, effectP = 25, effectR = 27, effectT = 29, effectX = 33;
const uint8_t vibratoEffect = 4, tremoloEffect = 7, panningEffect = 8;

const uint8_t middleNote = 49;       // note index 48: period 4608 on the linear table
const int32_t middlePeriod = 4608;   // 7680 - 64 * 48
const int32_t fullVoiceVolume = 127; // trunc(64 * 255 / 128) = trunc(127.5)

uint8_t setVolume(int volume) {
    return static_cast<uint8_t>(0x10 + volume);
}
uint8_t setPanning(int y) {
    return static_cast<uint8_t>(0xc0 | y);
}

// A note of the test instrument, with a volume-column byte and an effect.
XmCell noteCell(uint8_t note, uint8_t volume = 0, uint8_t effect = 0, uint8_t param = 0) {
    return XmCell{note, 1, volume, effect, param};
}

// An effect without a note or an instrument number.
XmCell effectCell(uint8_t effect, uint8_t param, uint8_t volume = 0) {
    return XmCell{0, 0, volume, effect, param};
}

// Extended command Exy.
XmCell extendedCell(int x, int y) {
    return effectCell(effectE, static_cast<uint8_t>(x << 4 | y));
}

XmSong songOf(int channels, int rows, int speed) {
    XmSong xm = tickTestSong(channels, rows);
    xm.speed = static_cast<uint16_t>(speed);
    return xm;
}

XmPattern emptyPattern(int channels, int rows) {
    XmPattern pattern;
    pattern.rows = rows;
    pattern.channels = channels;
    pattern.at(rows - 1, channels - 1) = XmCell{};
    return pattern;
}

bool starts(TickPlayer &player, int c = 0) {
    return (player.channel(c).updateFlags & updateStart) != 0;
}

// Runs count ticks and reads a value after each.
std::vector<int> everyTick(TickPlayer &player, int count,
                           const std::function<int(TickPlayer &)> &read) {
    std::vector<int> values;
    for (int i = 0; i < count; ++i) {
        player.tick();
        values.push_back(read(player));
    }
    return values;
}

// The ticks among the next count on which channel c starts a note, counted
// from 0.
std::vector<int> startTicks(TickPlayer &player, int count, int c = 0) {
    std::vector<int> ticks;
    for (int i = 0; i < count; ++i) {
        player.tick();
        if (starts(player, c))
            ticks.push_back(i);
    }
    return ticks;
}

using Position = std::pair<int, int>; // order, row

std::vector<Position> positionsOf(TickPlayer &player, int count) {
    std::vector<Position> positions;
    for (int i = 0; i < count; ++i) {
        player.tick();
        positions.emplace_back(player.song().order, player.song().row);
    }
    return positions;
}

// One row of a sequence of one-shot commands and what a value reads once the
// command has acted.
struct RowStep {
    XmCell cell;
    int expected;
};

// Plays `first` on row 0 and the steps on rows 1, 2, ... of channel 0, and
// checks after every tick of each step's row that the value reads as the step
// expects: it is set on the row's first tick and stays on the later ticks.
void checkRowSteps(XmSong xm, XmCell first, const std::vector<RowStep> &steps,
                   const std::function<int(TickPlayer &)> &read) {
    const int speed = xm.speed;
    xm.patterns[0] = emptyPattern(1, static_cast<int>(steps.size()) + 1);
    xm.patterns[0].at(0, 0) = first;
    for (size_t k = 0; k < steps.size(); ++k)
        xm.patterns[0].at(static_cast<int>(k) + 1, 0) = steps[k].cell;
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(speed);
    for (size_t k = 0; k < steps.size(); ++k)
        for (int t = 0; t < speed; ++t) {
            player.tick();
            ASSERT_EQ(read(player), steps[k].expected) << "row " << k + 1 << " tick " << t;
        }
}

// G: set global volume.

TEST(ExtendedEffects, SetGlobalVolumeIsLimitedTo64) {
    checkRowSteps(songOf(1, 1, 3), noteCell(middleNote),
                  {{effectCell(effectG, 0x20), 32},
                   {effectCell(effectG, 0x41), 64}, // 65 is limited
                   {effectCell(effectG, 0x00), 0},
                   {effectCell(effectG, 0xff), 64},
                   {effectCell(effectG, 0x40), 64}},
                  [](TickPlayer &p) { return p.song().globalVolume; });
}

TEST(ExtendedEffects, SetGlobalVolumeReachesEarlierChannelsOnTheirNextRow) {
    XmSong xm = songOf(2, 4, 3);
    xm.patterns[0].at(0, 0) = noteCell(middleNote);
    xm.patterns[0].at(0, 1) = noteCell(middleNote);
    xm.patterns[0].at(1, 1) = effectCell(effectG, 0x20);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(3);
    EXPECT_EQ(player.voice(0).volume, fullVoiceVolume);
    // Row 1: channel 0's voice was set before channel 1's G20 ran; channel 1
    // takes global volume 32 at once: trunc(32 * 255 / 128) = trunc(63.75).
    player.tick();
    EXPECT_EQ(player.voice(0).volume, fullVoiceVolume);
    EXPECT_EQ(player.voice(1).volume, 63);
    // The later ticks raise no Volume: channel 0 keeps its level.
    player.tick(2);
    EXPECT_EQ(player.voice(0).volume, fullVoiceVolume);
    // Row 2's row pass brings it to channel 0.
    player.tick();
    EXPECT_EQ(player.voice(0).volume, 63);
}

// H: global volume slide, on the later ticks only, with one memory for all
// channels.

TEST(ExtendedEffects, GlobalVolumeSlideMovesOnLaterTicksWithinLimits) {
    XmSong xm = songOf(2, 6, 6);
    xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectG, 0x20);
    xm.patterns[0].at(1, 0) = effectCell(effectH, 0x30);
    xm.patterns[0].at(2, 1) = effectCell(effectH, 0x00); // another channel: the same memory
    xm.patterns[0].at(3, 0) = effectCell(effectH, 0x00);
    xm.patterns[0].at(4, 0) = effectCell(effectH, 0x02);
    xm.patterns[0].at(5, 0) = effectCell(effectH, 0x21); // x wins over y
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(6);
    ASSERT_EQ(player.song().globalVolume, 32);
    const auto global = [](TickPlayer &p) { return p.song().globalVolume; };
    // H30: tick 0 only remembers; +3 on each of ticks 1..5.
    EXPECT_EQ(everyTick(player, 6, global), (std::vector<int>{32, 35, 38, 41, 44, 47}));
    EXPECT_EQ(everyTick(player, 6, global), (std::vector<int>{47, 50, 53, 56, 59, 62}));
    // 62 + 3 = 65 is limited to 64.
    EXPECT_EQ(everyTick(player, 6, global), (std::vector<int>{62, 64, 64, 64, 64, 64}));
    EXPECT_EQ(everyTick(player, 6, global), (std::vector<int>{64, 62, 60, 58, 56, 54}));
    EXPECT_EQ(everyTick(player, 6, global), (std::vector<int>{54, 56, 58, 60, 62, 64}));
}

TEST(ExtendedEffects, GlobalVolumeSlideStopsAtZero) {
    XmSong xm = songOf(1, 2, 6);
    xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectG, 0x03);
    xm.patterns[0].at(1, 0) = effectCell(effectH, 0x02);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(6);
    EXPECT_EQ(everyTick(player, 6, [](TickPlayer &p) { return p.song().globalVolume; }),
              (std::vector<int>{3, 1, 0, 0, 0, 0}));
}

TEST(ExtendedEffects, GlobalVolumeSlideRaisesNoVolumeFlag) {
    XmSong xm = songOf(1, 3, 6);
    xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectG, 0x20);
    xm.patterns[0].at(1, 0) = effectCell(effectH, 0x30);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(7);
    EXPECT_EQ(player.voice(0).volume, 63); // global 32
    for (int t = 1; t < 6; ++t) {
        player.tick();
        EXPECT_EQ(player.channel(0).updateFlags & updateVolume, 0) << "tick " << t;
        EXPECT_EQ(player.voice(0).volume, 63) << "tick " << t;
    }
    // Row 2 takes the slid global volume 32 + 5 * 3 = 47:
    // trunc(47 * 255 / 128) = trunc(93.6).
    player.tick();
    EXPECT_EQ(player.voice(0).volume, 93);
}

// K: key off.

TEST(ExtendedEffects, KeyOffReleasesWhateverItsParameter) {
    for (uint8_t param : {0x00, 0x03, 0xff}) {
        SCOPED_TRACE(param);
        XmSong xm = songOf(1, 2, 6);
        xm.patterns[0].at(0, 0) = noteCell(middleNote);
        xm.patterns[0].at(1, 0) = effectCell(effectK, param);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(6);
        ASSERT_EQ(player.channel(0).keyOff, 0);
        ASSERT_EQ(player.voice(0).volume, fullVoiceVolume);
        // Released on the row's first tick; without a volume envelope the
        // envelope value drops to 0 and the voice falls silent at once.
        for (int t = 0; t < 6; ++t) {
            player.tick();
            EXPECT_EQ(player.channel(0).keyOff, 1) << "tick " << t;
            EXPECT_EQ(player.channel(0).volEnvValue, 0) << "tick " << t;
            EXPECT_EQ(player.voice(0).volume, 0) << "tick " << t;
        }
    }
}

TEST(ExtendedEffects, KeyOffOnTheNoteRowStartsTheNoteReleased) {
    // The instrument number resets keyOff (row step 10), K sets it again
    // (step 12): the note starts with volume 0.
    XmSong xm = songOf(1, 1, 6);
    xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectK, 0);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick();
    EXPECT_TRUE(starts(player));
    EXPECT_EQ(player.channel(0).keyOff, 1);
    EXPECT_EQ(player.voice(0).volume, 0);
}

TEST(ExtendedEffects, KeyOffLetsTheEnvelopeLeaveItsSustainAndFadesOut) {
    // Volume envelope (0, 64), (2, 32), (10, 0) with sustain at point 1;
    // fadeout 1000 as stored, 2000 per tick in the player.
    XmSong xm = songOf(1, 2, 6);
    xm.instruments[0].volumeEnvelope = {{{0, 64}, {2, 32}, {10, 0}}, 1, 0, 0, 3, {}};
    xm.instruments[0].fadeout = 1000;
    xm.patterns[0].at(0, 0) = noteCell(middleNote);
    xm.patterns[0].at(1, 0) = effectCell(effectK, 0);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    const auto envelope = [](TickPlayer &p) { return p.channel(0).volEnvValue; };
    // Tick 0 starts the segment to point 1 (slope -32 * 65536 / 2): 64; tick 1
    // is halfway: 48; from tick 2 on the envelope holds at the sustain point.
    EXPECT_EQ(everyTick(player, 6, envelope), (std::vector<int>{64, 48, 32, 32, 32, 32}));
    EXPECT_EQ(player.channel(0).fadeoutVolume, 65536);
    // K00: the key is released before the envelope step of the row's first
    // tick, which starts the segment to point 2 (slope -32 * 65536 / 8, 4 per
    // tick), and the fadeout falls by 2000 on every tick from that one.
    std::vector<int> fadeout;
    EXPECT_EQ(everyTick(player, 6,
                        [&fadeout](TickPlayer &p) {
                            fadeout.push_back(p.channel(0).fadeoutVolume);
                            return p.channel(0).volEnvValue;
                        }),
              (std::vector<int>{32, 28, 24, 20, 16, 12}));
    EXPECT_EQ(fadeout, (std::vector<int>{63536, 61536, 59536, 57536, 55536, 53536}));
}

// L: set envelope position.

// Volume envelope (0, 64), (10, 32), (20, 48), (30, 0), and a panning
// envelope (0, 32), (40, 64), both on.
XmSong envelopeSong(uint8_t volumeType) {
    XmSong xm = songOf(1, 1, 6);
    xm.instruments[0].volumeEnvelope = {
        {{0, 64}, {10, 32}, {20, 48}, {30, 0}}, 0, 0, 0, volumeType, {}};
    xm.instruments[0].panningEnvelope = {{{0, 32}, {40, 64}}, 0, 0, 0, 1, {}};
    return xm;
}

TEST(ExtendedEffects, SetEnvelopePositionMovesTheVolumeEnvelope) {
    struct Case {
        uint8_t param;
        int value, point, tick, done; // after the row's first tick
        int nextValue;                // after tick 1
    };
    const Case cases[] = {
        // L05: i = 0 (5 <= 10); slope (32 - 64) * 65536 / 10 = -209715 (from
        // -209715.2); acc 5 * -209715 + 64 * 65536 = 3145729, value 48. Tick
        // 1 adds the slope: 2936014, value 44 (44.8).
        {0x05, 48, 1, 5, 0, 44},
        // L0A: i = 0 (10 <= 10); acc 10 * -209715 + 4194304 = 2097154, value
        // 32. Tick 1 is at point 1 and starts the segment to point 2: the
        // accumulator becomes 32 * 65536, value 32.
        {0x0a, 32, 1, 10, 0, 32},
        // L15 (21): i = 2; slope (0 - 48) * 65536 / 10 = -314572 (from
        // -314572.8); acc 1 * -314572 + 48 * 65536 = 2831156, value 43 (43.2).
        // Tick 1: 2516584, value 38 (38.4).
        {0x15, 43, 3, 21, 0, 38},
        // L00: i = 0; acc 64 * 65536, value 64, tick 0. Tick 1: tick 0 is not
        // point 1's tick, so the slope is added: 3984589, value 60 (60.8).
        {0x00, 64, 1, 0, 0, 60},
        // L40 (64): no point i + 1 has a tick of 64 or more, so i = n = 4:
        // the last point's value 0, done, and the envelope stays there.
        {0x40, 0, 4, 1, 1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.param);
        XmSong xm = envelopeSong(1);
        xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectL, c.param);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick();
        const MusicChannel &channel = player.channel(0);
        EXPECT_EQ(channel.volEnvValue, c.value);
        EXPECT_EQ(channel.volEnvPoint, c.point);
        if (!c.done) {
            EXPECT_EQ(channel.volEnvTick, c.tick);
        }
        EXPECT_EQ(channel.volEnvDone, c.done);
        // The panning envelope is not moved: it took its first step on tick 0.
        EXPECT_EQ(channel.panEnvTick, 1);
        // On the later ticks the envelope runs on from the new position.
        player.tick();
        EXPECT_EQ(channel.volEnvValue, c.nextValue);
        EXPECT_EQ(channel.panEnvTick, 2);
    }
}

TEST(ExtendedEffects, SetEnvelopePositionNeedsTheVolumeEnvelopeOn) {
    // The same points with the envelope off: L05 leaves the envelope at its
    // reset state, value 64 at tick 0 and point 0.
    XmSong xm = envelopeSong(0);
    xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectL, 0x05);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    for (int t = 0; t < 6; ++t) {
        player.tick();
        EXPECT_EQ(player.channel(0).volEnvValue, 64) << "tick " << t;
        EXPECT_EQ(player.channel(0).volEnvTick, 0) << "tick " << t;
        EXPECT_EQ(player.channel(0).volEnvPoint, 0) << "tick " << t;
        EXPECT_EQ(player.voice(0).volume, fullVoiceVolume) << "tick " << t;
    }
}

TEST(ExtendedEffects, SetEnvelopePositionPastTheEndLooksOnlyAtUsedPoints) {
    // Four points used; the file holds a fifth, unused one at tick 100. L40
    // (64) lies beyond point 3, the last used one: the envelope ends at point
    // 3's value 0 and is done, whatever the unused slot holds.
    XmSong xm = envelopeSong(1);
    xm.instruments[0].volumeEnvelope.points.push_back({100, 10});
    xm.instruments[0].volumeEnvelope.pointCount = 4;
    xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectL, 0x40);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick();
    EXPECT_EQ(player.channel(0).volEnvValue, 0);
    EXPECT_EQ(player.channel(0).volEnvDone, 1);
    player.tick();
    EXPECT_EQ(player.channel(0).volEnvValue, 0);
}

// P: panning slide.

TEST(ExtendedEffects, PanningSlideMovesOnLaterTicksWithinLimits) {
    XmSong xm = songOf(1, 6, 6);
    xm.patterns[0].at(0, 0) = noteCell(middleNote, setPanning(15), effectP, 0x30); // 240
    xm.patterns[0].at(1, 0) = effectCell(effectP, 0x00);
    xm.patterns[0].at(2, 0) = effectCell(effectP, 0x0f);
    xm.patterns[0].at(3, 0) = effectCell(effectP, 0x00);
    xm.patterns[0].at(4, 0) = effectCell(effectP, 0x04, setPanning(1)); // 16
    xm.patterns[0].at(5, 0) = effectCell(effectP, 0x24);                // x wins over y
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    const auto pan = [](TickPlayer &p) { return p.channel(0).channelPan; };
    EXPECT_EQ(everyTick(player, 6, pan), (std::vector<int>{240, 243, 246, 249, 252, 255}));
    EXPECT_EQ(player.voice(0).pan, 255);
    // P00 repeats P30; 258 is limited to 255.
    EXPECT_EQ(everyTick(player, 6, pan), (std::vector<int>{255, 255, 255, 255, 255, 255}));
    EXPECT_EQ(everyTick(player, 6, pan), (std::vector<int>{255, 240, 225, 210, 195, 180}));
    EXPECT_EQ(everyTick(player, 6, pan), (std::vector<int>{180, 165, 150, 135, 120, 105}));
    EXPECT_EQ(everyTick(player, 6, pan), (std::vector<int>{16, 12, 8, 4, 0, 0}));
    EXPECT_EQ(everyTick(player, 6, pan), (std::vector<int>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(player.voice(0).pan, 10);
}

TEST(ExtendedEffects, PanningSlideRaisesPanningOnItsFirstTickOnlyWithAParameter) {
    XmSong xm = songOf(1, 3, 3);
    xm.patterns[0].at(0, 0) = noteCell(middleNote);
    xm.patterns[0].at(1, 0) = effectCell(effectP, 0x00);
    xm.patterns[0].at(2, 0) = effectCell(effectP, 0x02);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    const auto panning = [](TickPlayer &p) { return p.channel(0).updateFlags & updatePanning; };
    player.tick(3);
    // P00 with an empty memory: nothing on tick 0; the later ticks slide by
    // nothing but still raise Panning.
    EXPECT_EQ(everyTick(player, 3, panning), (std::vector<int>{0, updatePanning, updatePanning}));
    EXPECT_EQ(everyTick(player, 3, panning),
              (std::vector<int>{updatePanning, updatePanning, updatePanning}));
    EXPECT_EQ(player.channel(0).channelPan, 124); // 128 - 2 - 2
}

// R: multi retrig.

TEST(ExtendedEffects, MultiRetrigEveryEighthTickLeavesTheVolume) {
    // Speed 20: row 1 holds R08 without a note. The retrigger falls on ticks
    // 8 and 16, never on tick 0; volume change 0 leaves the volume alone.
    XmSong xm = songOf(1, 2, 20);
    xm.patterns[0].at(0, 0) = noteCell(middleNote);
    xm.patterns[0].at(1, 0) = effectCell(effectR, 0x08);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(20);
    ASSERT_EQ(player.voice(0).index, 0);
    std::vector<int> startedOn, voiceIndices;
    for (int t = 0; t < 20; ++t) {
        player.tick();
        if (player.channel(0).updateFlags & updateStart) {
            startedOn.push_back(t);
            voiceIndices.push_back(player.voice(0).index);
        }
        EXPECT_EQ(player.channel(0).channelVolume, 64) << "tick " << t;
        if (t > 0) {
            EXPECT_EQ(player.channel(0).updateFlags & updateVolume, 0) << "tick " << t;
        }
    }
    EXPECT_EQ(startedOn, (std::vector<int>{8, 16}));
    // Each start moves the note to the other voice of the pair.
    EXPECT_EQ(voiceIndices, (std::vector<int>{32, 0}));
}

TEST(ExtendedEffects, MultiRetrigR11RetriggersEveryLaterTickOneQuieter) {
    XmSong xm = songOf(1, 1, 6);
    xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectR, 0x11);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    std::vector<int> volumes;
    EXPECT_EQ(startTicks(player, 1), (std::vector<int>{0})); // the note itself
    EXPECT_EQ(player.channel(0).channelVolume, 64);
    for (int t = 1; t < 6; ++t) {
        player.tick();
        EXPECT_TRUE(starts(player)) << "tick " << t;
        volumes.push_back(player.channel(0).channelVolume);
    }
    EXPECT_EQ(volumes, (std::vector<int>{63, 62, 61, 60, 59}));
    // The voice takes the lowered volume: trunc(59 * 255 / 128) = trunc(117.5).
    EXPECT_EQ(player.voice(0).volume, 117);
}

TEST(ExtendedEffects, MultiRetrigKeepsBothSettingsTogether) {
    // R12: every 2nd tick, 1 quieter. R00 repeats it. R03 sets both again:
    // every 3rd tick, volume unchanged. R10 sets interval 0, which
    // retriggers nothing, and R00 after it repeats that.
    XmSong xm = songOf(1, 6, 6);
    xm.patterns[0].at(0, 0) = noteCell(middleNote);
    xm.patterns[0].at(1, 0) = effectCell(effectR, 0x12);
    xm.patterns[0].at(2, 0) = effectCell(effectR, 0x00);
    xm.patterns[0].at(3, 0) = effectCell(effectR, 0x03);
    xm.patterns[0].at(4, 0) = effectCell(effectR, 0x10);
    xm.patterns[0].at(5, 0) = effectCell(effectR, 0x00);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(6);
    EXPECT_EQ(startTicks(player, 6), (std::vector<int>{2, 4}));
    EXPECT_EQ(player.channel(0).channelVolume, 62);
    EXPECT_EQ(startTicks(player, 6), (std::vector<int>{2, 4}));
    EXPECT_EQ(player.channel(0).channelVolume, 60);
    EXPECT_EQ(startTicks(player, 6), (std::vector<int>{3}));
    EXPECT_EQ(player.channel(0).channelVolume, 60);
    EXPECT_EQ(startTicks(player, 6), std::vector<int>{});
    EXPECT_EQ(startTicks(player, 6), std::vector<int>{});
    EXPECT_EQ(player.channel(0).channelVolume, 60);
}

TEST(ExtendedEffects, MultiRetrigVolumeTable) {
    struct Case {
        int volume, change, expected;
    };
    const Case cases[] = {
        {40, 1, 39},  // -1
        {40, 2, 38},  // -2
        {40, 3, 36},  // -4
        {40, 4, 32},  // -8
        {40, 5, 24},  // -16
        {40, 6, 26},  // 80 / 3 = 26.7
        {40, 7, 20},  // 40 >> 1
        {40, 8, 40},  // unchanged
        {40, 9, 41},  // +1
        {40, 10, 42}, // +2
        {40, 11, 44}, // +4
        {40, 12, 48}, // +8
        {40, 13, 56}, // +16
        {40, 14, 60}, // 120 / 2
        {40, 15, 64}, // 80, limited
        {41, 6, 27},  // 82 / 3 = 27.3
        {41, 7, 20},  // 41 >> 1
        {41, 14, 61}, // 123 / 2 = 61.5
        {10, 5, 0},   // -6, limited
        {3, 4, 0},    // -5, limited
        {50, 13, 64}, // 66, limited
        {0, 9, 1},    // +1 from silence
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << ", change " << c.change);
        // Speed 2, interval 1: tick 1 retriggers once.
        XmSong xm = songOf(1, 1, 2);
        xm.patterns[0].at(0, 0) = noteCell(middleNote, setVolume(c.volume), effectR,
                                           static_cast<uint8_t>(c.change << 4 | 1));
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(2);
        EXPECT_TRUE(starts(player));
        EXPECT_EQ(player.channel(0).channelVolume, c.expected);
        EXPECT_TRUE(player.channel(0).updateFlags & updateVolume);
    }
}

// T: tremor.

// 'A' for a tick on which the voice sounds at full volume, 'S' for silent.
std::string tremorTicks(TickPlayer &player, int count) {
    std::string marks;
    for (int i = 0; i < count; ++i) {
        player.tick();
        const int volume = player.voice(0).volume;
        marks += volume == fullVoiceVolume ? 'A' : volume == 0 ? 'S' : '?';
    }
    return marks;
}

TEST(ExtendedEffects, TremorT21SoundsThreeTicksAndSilencesTwo) {
    // On for 2 + 1 ticks, off for 1 + 1, from tick 0 (the instrument number
    // reset the counter). T00 on the next row repeats T21 and the counter
    // runs on: after 12 ticks it stands at 12 mod 5 = 2.
    XmSong xm = songOf(1, 2, 12);
    xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectT, 0x21);
    xm.patterns[0].at(1, 0) = effectCell(effectT, 0x00);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    EXPECT_EQ(tremorTicks(player, 12), "AAASSAAASSAA");
    EXPECT_EQ(tremorTicks(player, 12), "ASSAAASSAAAS");
}

TEST(ExtendedEffects, TremorT00FirstSilencesEveryTick) {
    // Nothing remembered yet: on and off are both 0 ticks, so the counter is
    // never below the on time and every tick, tick 0 included, is silent.
    XmSong xm = songOf(1, 1, 6);
    xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectT, 0x00);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    EXPECT_EQ(tremorTicks(player, 6), "SSSSSS");
    EXPECT_EQ(player.channel(0).volumeDelta, -64);
}

// X: extra fine portamento, on the first tick only.

TEST(ExtendedEffects, ExtraFinePortamentoMovesByOneUnitSteps) {
    checkRowSteps(songOf(1, 1, 3), noteCell(middleNote),
                  {{effectCell(effectX, 0x13), 4605},
                   {effectCell(effectX, 0x10), 4602}, // the up memory
                   {effectCell(effectX, 0x25), 4607},
                   {effectCell(effectX, 0x20), 4612}, // the down memory
                   {effectCell(effectX, 0x10), 4609}, // up by 3 still
                   {effectCell(effectX, 0x30), 4609}, // other x: nothing
                   {effectCell(effectX, 0x05), 4609}},
                  [](TickPlayer &p) { return p.channel(0).period; });
}

// E0y, E3y, EFy and the unused effect numbers.

TEST(ExtendedEffects, UnusedCommandsDoNothing) {
    std::vector<XmCell> cells = {extendedCell(0x0, 0xf), extendedCell(0x3, 0x1),
                                 extendedCell(0xf, 0xf)};
    for (uint8_t effect : {18, 19, 22, 23, 24, 26, 28, 30, 31, 32, 34, 35, 36, 255})
        cells.push_back(effectCell(effect, 0xff));
    for (const XmCell &cell : cells) {
        SCOPED_TRACE(testing::Message() << "effect " << int{cell.effect} << " " << int{cell.param});
        XmSong xm = songOf(1, 3, 6);
        xm.patterns[0].at(0, 0) = noteCell(middleNote, setVolume(32));
        xm.patterns[0].at(1, 0) = cell;
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(6);
        for (int t = 0; t < 6; ++t) {
            player.tick();
            const MusicChannel &channel = player.channel(0);
            EXPECT_EQ(channel.period, middlePeriod) << "tick " << t;
            EXPECT_EQ(channel.channelVolume, 32) << "tick " << t;
            EXPECT_EQ(channel.channelPan, 128) << "tick " << t;
            EXPECT_EQ(channel.waveControl, 0) << "tick " << t;
            EXPECT_EQ(channel.volumeDelta, 0) << "tick " << t;
            EXPECT_EQ(channel.periodDelta, 0) << "tick " << t;
            EXPECT_EQ(channel.keyOff, 0) << "tick " << t;
            EXPECT_EQ(channel.updateFlags, t == 0 ? updatePitch | updateVolume : updatePitch)
                << "tick " << t;
            EXPECT_EQ(player.song().speed, 6) << "tick " << t;
            EXPECT_EQ(player.song().globalVolume, 64) << "tick " << t;
            EXPECT_EQ(player.song().patternDelayTicks, 0) << "tick " << t;
        }
        EXPECT_EQ(player.song().nextRow, 2);
    }
}

// E1y, E2y: fine portamento by 4 x y on the first tick.

TEST(ExtendedEffects, FinePortamentoMovesByFourUnitSteps) {
    checkRowSteps(songOf(1, 1, 3), noteCell(middleNote),
                  {{extendedCell(0x1, 2), 4600},
                   {extendedCell(0x1, 0), 4592}, // the up memory
                   {extendedCell(0x2, 3), 4604},
                   {extendedCell(0x2, 0), 4616}, // the down memory
                   {extendedCell(0x1, 0), 4608}},
                  [](TickPlayer &p) { return p.channel(0).period; });
}

TEST(ExtendedEffects, FinePortamentoUpHasNoLowerLimit) {
    // Amiga table: note 96 is note index 95, base(95) = trunc(13.375 *
    // 2^(37 / 12)) = trunc(113.36) = 113. E1F takes 60 off each time, past the
    // 56 that limits effect 1.
    XmSong xm = songOf(1, 1, 3);
    xm.flags = 0;
    checkRowSteps(xm, noteCell(96), {{extendedCell(0x1, 0xf), 53}, {extendedCell(0x1, 0), -7}},
                  [](TickPlayer &p) { return p.channel(0).period; });
}

// E4y, E7y: the waveforms.

TEST(ExtendedEffects, WaveformCommandsSetTheirNibble) {
    checkRowSteps(songOf(1, 1, 3), noteCell(middleNote),
                  {{extendedCell(0x4, 7), 0x07},
                   {extendedCell(0x7, 2), 0x27},
                   {extendedCell(0x4, 0), 0x20},
                   {extendedCell(0x7, 0xf), 0xf0},
                   {extendedCell(0x7, 0), 0x00}},
                  [](TickPlayer &p) { return p.channel(0).waveControl; });
}

TEST(ExtendedEffects, VibratoWaveformShapesTheVibrato) {
    // Row 1 chooses the wave, row 2 plays vibrato 41F (speed 1, depth 15).
    // The step on ticks 0 and 1 reads phase 0, tick 2 phase 1, tick 3 phase
    // 2; d = (m * 15) >> 5 with the low two bits cleared, -d for phases 0..31.
    //   sine:   m = 0, 25, 49:   d = 0, 11 -> 8, 22 -> 20
    //   ramp:   m = 0, 8, 16:    d = 0, 3 -> 0, 7 -> 4
    //   square: m = 255:         d = 119 -> 116
    struct Case {
        int wave;
        std::vector<int> deltas; // ticks 0..3
    };
    const Case cases[] = {
        {0, {0, 0, -8, -20}},
        {1, {0, 0, 0, -4}},
        {2, {-116, -116, -116, -116}},
        {3, {-116, -116, -116, -116}}, // wave 3 is the square for vibrato
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.wave);
        XmSong xm = songOf(1, 3, 6);
        xm.patterns[0].at(0, 0) = noteCell(middleNote, 0, effectE, 0x42); // changed on row 1
        xm.patterns[0].at(1, 0) = extendedCell(0x4, c.wave);
        xm.patterns[0].at(2, 0) = effectCell(vibratoEffect, 0x1f);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(12);
        EXPECT_EQ(everyTick(player, 4, [](TickPlayer &p) { return p.channel(0).periodDelta; }),
                  c.deltas);
    }
}

TEST(ExtendedEffects, TremoloWaveformShapesTheTremolo) {
    // Volume 5, tremolo 71F on row 2 after the wave chosen on row 1. Tick k
    // reads phase k - 1; a = (m * 15) >> 6, added for phases 0..31.
    //   sine:   m = 0, 25, 49:  a = 0, 5, 11
    //   ramp:   m = 0, 8, 16:   a = 0, 1, 3
    //   square: m = 255:        a = 59 (5 + 59 = 64, not above 64)
    struct Case {
        int wave;
        std::vector<int> deltas; // ticks 0..3
    };
    const Case cases[] = {
        {0, {0, 0, 5, 11}},
        {1, {0, 0, 1, 3}},
        {2, {0, 59, 59, 59}},
        {3, {0, 0, 5, 11}}, // wave 3 is the sine for tremolo
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.wave);
        XmSong xm = songOf(1, 3, 6);
        xm.patterns[0].at(0, 0) = noteCell(middleNote, setVolume(5), effectE, 0x72);
        xm.patterns[0].at(1, 0) = extendedCell(0x7, c.wave);
        xm.patterns[0].at(2, 0) = effectCell(tremoloEffect, 0x1f);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(12);
        EXPECT_EQ(everyTick(player, 4, [](TickPlayer &p) { return p.channel(0).volumeDelta; }),
                  c.deltas);
    }
}

// E5y: set finetune.

TEST(ExtendedEffects, SetFinetuneWritesTheSample) {
    XmSong xm = songOf(1, 1, 3);
    checkRowSteps(
        xm, noteCell(middleNote),
        {{extendedCell(0x5, 0xf), 15}, {extendedCell(0x5, 0), 0}, {extendedCell(0x5, 7), 7}},
        [](TickPlayer &p) { return p.song().instruments[0].samples[0]->finetune; });
}

TEST(ExtendedEffects, SetFinetuneHoldsAfterTheSongLoops) {
    // Two rows of speed 2 on two channels, both playing the one sample on row
    // 0; row 1 sets its finetune. The period already playing stays; the next
    // note, after the song has looped, is computed with the new finetune:
    // 4608 - f / 2 (truncating).
    struct Case {
        int8_t fileFinetune;
        int y;
        int firstPeriod, loopedPeriod;
    };
    const Case cases[] = {
        {0, 0xf, 4608, 4601},   // 15 / 2 = 7
        {0, 0x8, 4608, 4604},   // 8 / 2 = 4
        {-16, 0x0, 4616, 4608}, // E50 takes 0 as a value
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.y);
        XmSong xm = songOf(2, 2, 2);
        xm.instruments[0].samples[0].finetune = c.fileFinetune;
        xm.patterns[0].at(0, 0) = noteCell(middleNote);
        xm.patterns[0].at(0, 1) = noteCell(middleNote);
        xm.patterns[0].at(1, 0) = extendedCell(0x5, c.y);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick();
        EXPECT_EQ(player.channel(0).notePeriod, c.firstPeriod);
        player.tick(3);
        EXPECT_EQ(player.song().instruments[0].samples[0]->finetune, c.y);
        EXPECT_EQ(player.channel(0).period, c.firstPeriod);
        EXPECT_EQ(player.channel(1).period, c.firstPeriod);
        // Row 0 again, order 0 by the restart position.
        player.tick();
        ASSERT_EQ(player.song().order, 0);
        ASSERT_EQ(player.song().row, 0);
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_EQ(player.channel(ch).notePeriod, c.loopedPeriod) << "channel " << ch;
            EXPECT_EQ(player.channel(ch).period, c.loopedPeriod) << "channel " << ch;
        }
    }
}

TEST(ExtendedEffects, SetFinetuneRetunesTheNextAmigaArpeggioTick) {
    // Amiga table. Row 0 plays note 49 (note index 48), row 1 sets the
    // finetune, row 2 plays arpeggio 010: tick 1 offsets by one semitone,
    // amigaPeriod(49, f) - amigaPeriod(48, f), with the finetune the sample
    // has now. base(48) = 1712; base(49) = trunc(13.375 * 2^(83 / 12)) =
    // trunc(1615.9) = 1615; base(50) = trunc(13.375 * 2^(82 / 12)) =
    // trunc(1525.2) = 1525.
    //   f = 0:  1615 - 1712 = -97
    //   f = 15: (1615 - trunc(90 * 15 / 128)) - (1712 - trunc(97 * 15 / 128))
    //           = (1615 - 10) - (1712 - 11) = 1605 - 1701 = -96
    struct Case {
        int y, offset;
    };
    for (const Case &c : {Case{0xf, -96}, Case{0x0, -97}}) {
        SCOPED_TRACE(c.y);
        XmSong xm = songOf(1, 3, 3);
        xm.flags = 0;
        xm.patterns[0].at(0, 0) = noteCell(middleNote);
        xm.patterns[0].at(1, 0) = extendedCell(0x5, c.y);
        xm.patterns[0].at(2, 0) = effectCell(0, 0x10);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(6);
        EXPECT_EQ(player.channel(0).period, 1712); // the note kept its period
        EXPECT_EQ(everyTick(player, 3, [](TickPlayer &p) { return p.channel(0).periodDelta; }),
                  (std::vector<int>{0, c.offset, 0}));
    }
}

// E8y: coarse panning.

TEST(ExtendedEffects, CoarsePanningSetsSixteenTimesY) {
    checkRowSteps(
        songOf(1, 1, 3), noteCell(middleNote),
        {{extendedCell(0x8, 0xf), 240}, {extendedCell(0x8, 0), 0}, {extendedCell(0x8, 8), 128}},
        [](TickPlayer &p) { return p.voice(0).pan; });
}

TEST(ExtendedEffects, CoarsePanningRaisesPanningOnItsFirstTickOnly) {
    XmSong xm = songOf(1, 2, 3);
    xm.patterns[0].at(0, 0) = noteCell(middleNote);
    xm.patterns[0].at(1, 0) = extendedCell(0x8, 0x4);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(3);
    EXPECT_EQ(everyTick(player, 3,
                        [](TickPlayer &p) { return p.channel(0).updateFlags & updatePanning; }),
              (std::vector<int>{updatePanning, 0, 0}));
    EXPECT_EQ(player.channel(0).channelPan, 64);
}

// E9y: retrigger note.

TEST(ExtendedEffects, RetriggerNoteOnMultiplesOfY) {
    struct Case {
        int y, speed;
        std::vector<int> ticks;
    };
    const Case cases[] = {
        {0, 6, {}},              // E90: nothing
        {1, 6, {1, 2, 3, 4, 5}}, // every later tick
        {2, 6, {2, 4}},          // never tick 0
        {3, 7, {3, 6}},          // speed 7: ticks 3 and 6
        {4, 4, {}},              // ticks 1..3 only
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "E9" << c.y << " at speed " << c.speed);
        XmSong xm = songOf(1, 2, c.speed);
        xm.patterns[0].at(0, 0) = noteCell(middleNote);
        xm.patterns[0].at(1, 0) = extendedCell(0x9, c.y);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(c.speed);
        std::vector<int> ticks;
        for (int t = 0; t < c.speed; ++t) {
            player.tick();
            const uint8_t flags = player.channel(0).updateFlags;
            if (flags & updateStart) {
                ticks.push_back(t);
                EXPECT_EQ(flags, updatePitch | updateVolume | updateStart) << "tick " << t;
            }
        }
        EXPECT_EQ(ticks, c.ticks);
    }
}

// EAy, EBy: fine volume slides with one shared memory.

TEST(ExtendedEffects, FineVolumeSlidesShareOneMemory) {
    checkRowSteps(songOf(1, 1, 3), noteCell(middleNote, setVolume(40)),
                  {{extendedCell(0xa, 5), 45},
                   {extendedCell(0xb, 0), 40}, // EA5 then EB0: down by 5
                   {extendedCell(0xa, 0), 45},
                   {extendedCell(0xb, 3), 42},
                   {extendedCell(0xa, 0), 45},
                   {extendedCell(0xa, 0xf), 60},
                   {extendedCell(0xa, 0), 64}, // 75, limited
                   {extendedCell(0xb, 0xf), 49},
                   {extendedCell(0xb, 0), 34},
                   {extendedCell(0xb, 0), 19},
                   {extendedCell(0xb, 0), 4},
                   {extendedCell(0xb, 0), 0}}, // -11, limited
                  [](TickPlayer &p) { return p.channel(0).channelVolume; });
}

// ECy: note cut.

TEST(ExtendedEffects, NoteCutOnTickY) {
    struct Case {
        int y;
        int cutTick; // -1: never
    };
    const Case cases[] = {{0, -1}, {1, 1}, {3, 3}, {5, 5}, {6, -1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.y);
        XmSong xm = songOf(1, 1, 6);
        xm.patterns[0].at(0, 0) =
            noteCell(middleNote, 0, effectE, static_cast<uint8_t>(0xc0 | c.y));
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        for (int t = 0; t < 6; ++t) {
            player.tick();
            const bool cut = c.cutTick >= 0 && t >= c.cutTick;
            EXPECT_EQ(player.channel(0).channelVolume, cut ? 0 : 64) << "tick " << t;
            EXPECT_EQ(player.voice(0).volume, cut ? 0 : fullVoiceVolume) << "tick " << t;
            if (t == c.cutTick) {
                EXPECT_TRUE(player.channel(0).updateFlags & updateVolume);
            }
        }
    }
}

// EDy: note delay.

TEST(ExtendedEffects, NoteDelayStartsTheNoteOnTickYOrNever) {
    // Channel 0 plays the note with EDy on row 0 of a fresh song; channel 1
    // may lengthen the row by a pattern delay. The note starts on tick y if y
    // is a later tick of the row, and never when y is 0 or not below the
    // row's length in ticks.
    struct Case {
        int y;
        int delayRows; // EE parameter in channel 1
        int rowTicks;
        int startTick; // -1: never
    };
    const Case cases[] = {
        {0, 0, 6, -1},   // tick 0 is no later tick
        {6, 0, 6, -1},   // ticks 0..5 only
        {15, 0, 6, -1},  // ticks 0..5 only
        {1, 0, 6, 1},    // the first later tick
        {3, 0, 6, 3},    // a later tick
        {8, 1, 12, 8},   // EE1: (1 + 1) * 6 = 12 ticks
        {12, 1, 12, -1}, // ticks 0..11 only
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "ED" << c.y << " EE" << c.delayRows);
        XmSong xm = songOf(2, 2, 6);
        xm.patterns[0].at(0, 0) =
            noteCell(middleNote, 0, effectE, static_cast<uint8_t>(0xd0 | c.y));
        if (c.delayRows)
            xm.patterns[0].at(0, 1) = extendedCell(0xe, c.delayRows);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        for (int t = 0; t < c.rowTicks; ++t) {
            player.tick();
            const bool started = c.startTick >= 0 && t >= c.startTick;
            EXPECT_EQ(starts(player), t == c.startTick) << "tick " << t;
            EXPECT_EQ(player.voice(0).sample != nullptr, started) << "tick " << t;
            // Until then the cell's period, volume and panning are taken back
            // to those of the fresh channel, all 0; the delayed reset brings
            // the sample's volume 64 and panning 128.
            EXPECT_EQ(player.channel(0).period, started ? middlePeriod : 0) << "tick " << t;
            EXPECT_EQ(player.channel(0).channelVolume, started ? 64 : 0) << "tick " << t;
            EXPECT_EQ(player.channel(0).channelPan, started ? 128 : 0) << "tick " << t;
        }
        // The next row: the dropped note stays unheard.
        player.tick();
        EXPECT_EQ(player.song().row, 1);
        EXPECT_EQ(player.voice(0).sample != nullptr, c.startTick >= 0);
    }
}

TEST(ExtendedEffects, NoteDelayKeepsThePlayingNoteUntilItsTick) {
    // Row 0: note 49 at volume 16 and panning 64. Row 1: note 61 (period
    // 7680 - 64 * 60 = 3840) without an instrument number, volume column 32,
    // ED2. The volume envelope (0, 64), (60, 4) falls by exactly 1 a tick
    // (slope -60 * 65536 / 60): 64 on row 0's tick 0, 59 on its tick 5, 58
    // and 57 on row 1's ticks 0 and 1.
    XmSong xm = songOf(1, 2, 6);
    xm.instruments[0].volumeEnvelope = {{{0, 64}, {60, 4}}, 0, 0, 0, 1, {}};
    xm.patterns[0].at(0, 0) = noteCell(middleNote, setVolume(16), panningEffect, 0x40);
    xm.patterns[0].at(1, 0) = XmCell{61, 0, setVolume(32), effectE, 0xd2};
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    player.tick(6);
    // trunc(16 * 59 * 65536 * 64 * 255 / 2^35) = trunc(16 * 59 * 255 / 8192)
    // = trunc(29.4).
    ASSERT_EQ(player.voice(0).volume, 29);
    const MusicChannel &channel = player.channel(0);
    // Tick 0: the cell's period, volume and panning are taken back; the new
    // note's period is remembered; the old note plays on at 8363 Hz. Until
    // tick 2 the voice's volume is left alone: the envelope's 58 and 57 would
    // give trunc(16 * 58 * 255 / 8192) = 28 and trunc(16 * 57 * 255 / 8192)
    // = 28.
    for (int t = 0; t < 2; ++t) {
        player.tick();
        EXPECT_EQ(channel.volEnvValue, 58 - t) << "tick " << t;
        EXPECT_EQ(player.voice(0).volume, 29) << "tick " << t;
        EXPECT_FALSE(starts(player)) << "tick " << t;
        EXPECT_EQ(channel.period, middlePeriod) << "tick " << t;
        EXPECT_EQ(channel.notePeriod, 3840) << "tick " << t;
        EXPECT_EQ(channel.channelVolume, 16) << "tick " << t;
        EXPECT_EQ(channel.channelPan, 64) << "tick " << t;
        EXPECT_EQ(player.voice(0).index, 0) << "tick " << t;
        EXPECT_EQ(player.voice(0).frequency, 8363) << "tick " << t;
    }
    // Tick 2: the reset (volume 64, panning 128, envelope value 64), the
    // note's period, the volume column again (32), and a start on the other
    // voice at trunc(8363 * 2^((4608 - 3840) / 768)) = 16726 Hz.
    player.tick();
    EXPECT_TRUE(starts(player));
    EXPECT_EQ(channel.period, 3840);
    EXPECT_EQ(channel.channelVolume, 32);
    EXPECT_EQ(channel.channelPan, 128);
    EXPECT_EQ(player.voice(0).index, 32);
    EXPECT_EQ(player.voice(0).frequency, 16726);
    // trunc(32 * 255 / 128) = trunc(63.75).
    EXPECT_EQ(player.voice(0).volume, 63);
    // Later ticks start nothing more.
    EXPECT_EQ(startTicks(player, 3), std::vector<int>{});
}

// EEy: pattern delay.

TEST(PositionEffects, PatternDelayLengthensTheRow) {
    // Speed 3; channel 0 delays row 0 by EEy, channel 1 slides its volume
    // down by 1 on every later tick. The row's note starts once.
    struct Case {
        int y;
        int rowTicks; // (1 + y) * 3
    };
    for (const Case &c : {Case{0, 3}, Case{1, 6}, Case{2, 9}, Case{15, 48}}) {
        SCOPED_TRACE(c.y);
        XmSong xm = songOf(2, 2, 3);
        xm.patterns[0].at(0, 0) = extendedCell(0xe, c.y);
        xm.patterns[0].at(0, 1) = XmCell{middleNote, 1, 0, effectA, 0x01};
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick();
        EXPECT_EQ(player.song().patternDelayTicks, 3 * c.y);
        EXPECT_TRUE(starts(player, 1));
        for (int t = 1; t < c.rowTicks; ++t) {
            player.tick();
            EXPECT_EQ(player.song().row, 0) << "tick " << t;
            EXPECT_FALSE(starts(player, 1)) << "tick " << t;
        }
        // Every later tick, the delay's included, slid the volume.
        EXPECT_EQ(player.channel(1).channelVolume, 64 - (c.rowTicks - 1));
        player.tick();
        EXPECT_EQ(player.song().row, 1);
        EXPECT_EQ(player.song().patternDelayTicks, 0);
    }
}

// E6y: pattern loop.

TEST(PositionEffects, PatternLoopPlaysTheRowsBetweenThreeTimes) {
    XmSong xm = songOf(1, 6, 2);
    xm.patterns[0].at(1, 0) = extendedCell(0x6, 0);
    xm.patterns[0].at(3, 0) = extendedCell(0x6, 2);
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    std::vector<int> rows;
    for (int i = 0; i < 30; ++i) {
        player.tick();
        rows.push_back(player.song().row);
    }
    // Two ticks per row: rows 1..3 three times, then on to 4, 5 and (the song
    // loops) 0.
    const std::vector<int> playedRows = {0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 0, 1, 2};
    std::vector<int> expected;
    for (int row : playedRows)
        expected.insert(expected.end(), {row, row});
    EXPECT_EQ(rows, expected);
}

TEST(PositionEffects, PatternLoopMayReturnToARowRememberedInAnotherPattern) {
    // Pattern 0 (order 0, 8 rows) remembers a row with E60; pattern 1 (order
    // 1, 4 rows) loops once with E61 to that row number of its own. A row
    // beyond pattern 1's end plays nothing, and the row after it leads to the
    // next order (here the restart position, order 0).
    struct Case {
        int startRow; // E60 in pattern 0
        int endRow;   // E61 in pattern 1
        std::vector<Position> positions;
    };
    const Case cases[] = {
        {2, 3, {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 2}, {1, 3}, {0, 0}}},
        {6, 1, {{1, 0}, {1, 1}, {1, 6}, {0, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.startRow);
        XmSong xm = songOf(1, 8, 1);
        xm.orders = {0, 1};
        xm.patterns[0].at(c.startRow, 0) = XmCell{middleNote, 1, 0, effectE, 0x60};
        xm.patterns.push_back(emptyPattern(1, 4));
        xm.patterns[1].at(c.endRow, 0) = extendedCell(0x6, 1);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(8);
        std::vector<Position> positions;
        for (size_t i = 0; i < c.positions.size(); ++i) {
            player.tick();
            positions.emplace_back(player.song().order, player.song().row);
            if (player.song().row >= 4) {
                // An empty cell: no effect, no note.
                EXPECT_EQ(player.channel(0).lastEffect, 0);
                EXPECT_FALSE(starts(player));
            }
        }
        EXPECT_EQ(positions, c.positions);
    }
}

// B and D across the channels of one row.

TEST(PositionEffects, JumpAndBreakInOneRow) {
    // Seven orders; order 0 plays pattern 0, whose row 0 holds the two
    // effects in channels 0 and 1; the others play pattern 1 (16 rows).
    // Speed 3: the choice is made on tick 0 and stays over the later ticks.
    struct Case {
        XmCell first, second;
        Position next;
    };
    const Case cases[] = {
        // B05 then D10: the break keeps the jump's order: row 10 of order 5.
        {effectCell(effectB, 0x05), effectCell(effectD, 0x10), {5, 10}},
        // D10 then B05: the jump sets row 0 and order 5.
        {effectCell(effectD, 0x10), effectCell(effectB, 0x05), {5, 0}},
        // Each alone.
        {effectCell(effectB, 0x05), XmCell{}, {5, 0}},
        {XmCell{}, effectCell(effectD, 0x10), {1, 10}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.first.effect} << " " << int{c.second.effect});
        XmSong xm = songOf(2, 4, 3);
        xm.orders = {0, 1, 1, 1, 1, 1, 1};
        xm.patterns[0].at(0, 0) = c.first;
        xm.patterns[0].at(0, 1) = c.second;
        xm.patterns.push_back(emptyPattern(2, 16));
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        for (int t = 0; t < 3; ++t) {
            player.tick();
            EXPECT_EQ(Position(player.song().nextOrder, player.song().nextRow), c.next)
                << "tick " << t;
            EXPECT_EQ(Position(player.song().order, player.song().row), Position(0, 0));
        }
        player.tick();
        EXPECT_EQ(Position(player.song().order, player.song().row), c.next);
    }
}

TEST(PositionEffects, AJumpHoldsBackOnlyABreakOfItsOwnRow) {
    // Order 0 jumps to order 1 (B01); order 1's first row breaks (D05) to
    // row 5 of the next order, order 2.
    XmSong xm = songOf(1, 4, 1);
    xm.orders = {0, 1, 2};
    xm.patterns[0].at(0, 0) = effectCell(effectB, 0x01);
    xm.patterns.push_back(emptyPattern(1, 8));
    xm.patterns[1].at(0, 0) = effectCell(effectD, 0x05);
    xm.patterns.push_back(emptyPattern(1, 8));
    TickPlayer player(xm);
    ASSERT_TRUE(player.loaded());
    EXPECT_EQ(positionsOf(player, 3), (std::vector<Position>{{0, 0}, {1, 0}, {2, 5}}));
}

TEST(PositionEffects, JumpBeyondTheSongGoesToTheFirstOrder) {
    // Three orders, restart position 2. A jump to order 3 or beyond goes to
    // order 0, not to the restart position.
    struct Case {
        uint8_t param;
        int order;
    };
    for (const Case &c : {Case{0x03, 0}, Case{0xff, 0}, Case{0x02, 2}, Case{0x01, 1}}) {
        SCOPED_TRACE(int{c.param});
        XmSong xm = songOf(1, 4, 1);
        xm.orders = {0, 1, 1};
        xm.restart = 2;
        xm.patterns.push_back(emptyPattern(1, 4));
        xm.patterns[1].at(1, 0) = effectCell(effectB, c.param); // played in order 1
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        EXPECT_EQ(
            positionsOf(player, 7),
            (std::vector<Position>{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {c.order, 0}}));
    }
}

TEST(PositionEffects, BreakBeyondTheNextPatternPlaysAnEmptyRow) {
    // Pattern 0 (4 rows) breaks on row 1 to a row at or beyond the end of
    // pattern 1 (16 rows, a note with a volume slide on every row). That row
    // plays nothing, and the row after it is the first of the next order.
    for (uint8_t param : {0x16, 0x20, 0x63}) {
        SCOPED_TRACE(int{param});
        const int row = 10 * (param >> 4) + (param & 15);
        XmSong xm = songOf(1, 4, 1);
        xm.orders = {0, 1, 2};
        xm.patterns[0].at(1, 0) = effectCell(effectD, param);
        xm.patterns.push_back(emptyPattern(1, 16));
        for (int r = 0; r < 16; ++r)
            xm.patterns[1].at(r, 0) = XmCell{middleNote, 1, 0, effectA, 0x01};
        xm.patterns.push_back(emptyPattern(1, 4));
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        EXPECT_EQ(positionsOf(player, 3), (std::vector<Position>{{0, 0}, {0, 1}, {1, row}}));
        EXPECT_EQ(player.channel(0).lastEffect, 0);
        EXPECT_FALSE(starts(player));
        EXPECT_EQ(player.voice(0).sample, nullptr);
        player.tick();
        EXPECT_EQ(Position(player.song().order, player.song().row), Position(2, 0));
    }
}

} // namespace
