// Effects G and on, E0..EF, and position effects across the channels of one row, on XM builder
// songs played tick by tick. The instrument: a looped 16-bit sample, volume 64, panning 128,
// finetune 0, relative note 0, no envelopes or auto-vibrato; linear table unless said otherwise.
// Note 49 (index 48) has period 7680 - 64 * 48 = 4608 and plays at 8363 Hz.
// - The row pass raises Pitch and Volume on every channel; later ticks raise only Pitch.
// - Voice volume = trunc(volume x envelope x fadeout x global x 255 / 2^35): with envelope 64,
//   fadeout 65536, global 64, trunc(volume x 255 / 128), i.e. 127 for 64 and 63 for 32.
// - A note start moves to the other voice of the channel's pair (0 <-> 32) if the current one
//   still has a sample.

#include "tick_player.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const uint8_t effectA = 10, effectB = 11, effectD = 13, effectE = 14, effectG = 16, effectH = 17,
              effectK = 20, effectL = 21, effectP = 25, effectR = 27, effectT = 29, effectX = 33;
const uint8_t vibratoEffect = 4, tremoloEffect = 7, panningEffect = 8;

const uint8_t middleNote = 49;
const int32_t middlePeriod = 4608;
const int32_t fullVoiceVolume = 127; // trunc(64 * 255 / 128) = trunc(127.5)
const XmCell blank{};

using Ints = std::vector<int>;
using Position = std::pair<int, int>; // order, row
using Read = std::function<int(TickPlayer &)>;

// A TickPlayer that ends the test when the song does not load.
struct Player : TickPlayer {
    explicit Player(const XmSong &xm) : TickPlayer(xm) {
        if (!loaded())
            throw std::runtime_error("the song did not load");
    }
};

uint8_t setVolume(int volume) {
    return static_cast<uint8_t>(0x10 + volume);
}

// A note of the test instrument; an effect alone; extended command Exy.
XmCell note(uint8_t key, uint8_t volume = 0, uint8_t effect = 0, uint8_t param = 0) {
    return XmCell{key, 1, volume, effect, param};
}
XmCell fx(uint8_t effect, uint8_t param, uint8_t volume = 0) {
    return XmCell{0, 0, volume, effect, param};
}
XmCell ext(int x, int y) {
    return fx(effectE, static_cast<uint8_t>(x << 4 | y));
}

// Channel 0's rows hold the cells.
XmSong columnSong(int speed, const std::vector<XmCell> &cells, int channels = 1) {
    XmSong xm = tickTestSong(channels, static_cast<int>(cells.size()));
    xm.speed = static_cast<uint16_t>(speed);
    for (size_t r = 0; r < cells.size(); ++r)
        xm.patterns[0].at(static_cast<int>(r), 0) = cells[r];
    return xm;
}

bool starts(TickPlayer &player, int c = 0) {
    return (player.channel(c).updateFlags & updateStart) != 0;
}

Position positionOf(TickPlayer &player) {
    return {player.song().order, player.song().row};
}

const auto globalVolume = [](TickPlayer &p) { return p.song().globalVolume; };
const auto period = [](TickPlayer &p) { return p.channel(0).period; };
const auto channelVolume = [](TickPlayer &p) { return p.channel(0).channelVolume; };
const auto channelPan = [](TickPlayer &p) { return p.channel(0).channelPan; };
const auto periodDelta = [](TickPlayer &p) { return p.channel(0).periodDelta; };
const auto voiceVolume = [](TickPlayer &p) { return p.voice(0).volume; };
const auto startFlag = [](TickPlayer &p) { return int{starts(p)}; };
const auto updateFlags = [](TickPlayer &p) { return int{p.channel(0).updateFlags}; };
const auto panningFlag = [](TickPlayer &p) { return p.channel(0).updateFlags & updatePanning; };

// Runs count ticks and reads a value after each.
template <typename Reader> auto everyTick(TickPlayer &player, int count, Reader read) {
    std::vector<decltype(read(player))> values;
    for (int i = 0; i < count; ++i) {
        player.tick();
        values.push_back(read(player));
    }
    return values;
}

// The same for the ticks of each of the next rows.
std::vector<Ints> everyRow(TickPlayer &player, int rows, const Read &read) {
    std::vector<Ints> values;
    for (int r = 0; r < rows; ++r)
        values.push_back(everyTick(player, player.song().speed, read));
    return values;
}

// Runs count ticks reading several values after each; returns each value's sequence.
template <typename Reader> std::vector<Ints> traces(TickPlayer &player, int count, Reader read) {
    std::vector<Ints> values;
    for (const Ints &now : everyTick(player, count, read)) {
        values.resize(now.size());
        for (size_t k = 0; k < now.size(); ++k)
            values[k].push_back(now[k]);
    }
    return values;
}

// Plays the column at speed 3: the cell of row k + 1 must set the value to values[k] on the row's
// first tick, and the later ticks keep it.
void checkRowSteps(const std::vector<XmCell> &column, const Ints &values, const Read &read,
                   bool linear = true) {
    XmSong xm = columnSong(3, column);
    if (!linear)
        xm.flags = 0;
    Player player(xm);
    player.tick(3);
    std::vector<Ints> expected;
    for (int value : values)
        expected.push_back(Ints(3, value));
    EXPECT_EQ(everyRow(player, static_cast<int>(values.size()), read), expected);
}

// G, H: global volume and its slide.
TEST(ExtendedEffects, SetGlobalVolumeIsLimitedTo64) {
    checkRowSteps({note(middleNote), fx(effectG, 0x20), fx(effectG, 0x41), fx(effectG, 0x00),
                   fx(effectG, 0xff), fx(effectG, 0x40)},
                  {32, 64, 0, 64, 64}, globalVolume);
}

TEST(ExtendedEffects, SetGlobalVolumeReachesEarlierChannelsOnTheirNextRow) {
    // Row 1: channel 1's G20 runs after channel 0's voice was set; channel 1 takes global 32 at
    // once, trunc(32 * 255 / 128) = 63. Later ticks raise no Volume; row 2 brings it to channel 0.
    XmSong xm = columnSong(3, {note(middleNote), blank, blank}, 2);
    xm.patterns[0].at(0, 1) = note(middleNote);
    xm.patterns[0].at(1, 1) = fx(effectG, 0x20);
    Player player(xm);
    const auto voices = [](TickPlayer &p) { return Ints{voiceVolume(p), p.voice(1).volume}; };
    EXPECT_EQ(traces(player, 7, voices), (std::vector<Ints>{{127, 127, 127, 127, 127, 127, 63},
                                                            {127, 127, 127, 63, 63, 63, 63}}));
}

TEST(ExtendedEffects, GlobalVolumeSlideMovesOnLaterTicksWithinLimits) {
    // Rows 1..7: H30, H00 in channel 1 (one memory for all channels), H00, H02, H21 (x wins),
    // G03, H02.
    XmSong xm =
        columnSong(6,
                   {note(middleNote, 0, effectG, 0x20), fx(effectH, 0x30), blank, fx(effectH, 0x00),
                    fx(effectH, 0x02), fx(effectH, 0x21), fx(effectG, 0x03), fx(effectH, 0x02)},
                   2);
    xm.patterns[0].at(2, 1) = fx(effectH, 0x00);
    Player player(xm);
    player.tick(6);
    // H30: tick 0 only remembers, then +3 a tick. Those ticks raise no Volume: the voice keeps
    // global 32's 63 until row 2's row pass takes 47, trunc(47 * 255 / 128) = trunc(93.6).
    const auto state = [](TickPlayer &p) {
        return Ints{globalVolume(p), p.channel(0).updateFlags & updateVolume, voiceVolume(p)};
    };
    const int v = updateVolume;
    EXPECT_EQ(traces(player, 12, state),
              (std::vector<Ints>{{32, 35, 38, 41, 44, 47, 47, 50, 53, 56, 59, 62},
                                 {v, 0, 0, 0, 0, 0, v, 0, 0, 0, 0, 0},
                                 {63, 63, 63, 63, 63, 63, 93, 93, 93, 93, 93, 93}}));
    // 65 is limited to 64; the slide down stops at 0.
    EXPECT_EQ(everyRow(player, 5, globalVolume), (std::vector<Ints>{{62, 64, 64, 64, 64, 64},
                                                                    {64, 62, 60, 58, 56, 54},
                                                                    {54, 56, 58, 60, 62, 64},
                                                                    {3, 3, 3, 3, 3, 3},
                                                                    {3, 1, 0, 0, 0, 0}}));
}

// K: key off.
TEST(ExtendedEffects, KeyOffReleasesTheNoteWhateverItsParameter) {
    // Without a volume envelope the envelope value drops to 0 and the voice falls silent at once.
    // Row 2: the instrument number resets keyOff, K sets it again: the note starts released.
    const auto state = [](TickPlayer &p) {
        return Ints{p.channel(0).keyOff, p.channel(0).volEnvValue, voiceVolume(p)};
    };
    for (uint8_t param : {0x00, 0x03, 0xff}) {
        SCOPED_TRACE(int{param});
        Player player(columnSong(
            6, {note(middleNote), fx(effectK, param), note(middleNote, 0, effectK, param)}));
        player.tick(6);
        ASSERT_EQ(state(player), (Ints{0, 64, fullVoiceVolume}));
        EXPECT_EQ(everyTick(player, 6, state), std::vector<Ints>(6, {1, 0, 0}));
        player.tick();
        EXPECT_TRUE(starts(player));
        EXPECT_EQ(state(player), (Ints{1, 0, 0}));
    }
    // Volume envelope (0, 64), (2, 32), (10, 0), sustain at point 1: 64, 48 halfway (slope -32 *
    // 65536 / 2), then held at 32. K00 releases before the first tick's envelope step, which starts
    // the segment to point 2 (-4 a tick); the fadeout (1000 in the file) falls by 2000 a tick.
    XmSong xm = columnSong(6, {note(middleNote), fx(effectK, 0)});
    xm.instruments[0].volumeEnvelope = {{{0, 64}, {2, 32}, {10, 0}}, 1, 0, 0, 3, {}};
    xm.instruments[0].fadeout = 1000;
    Player sustained(xm);
    const auto envelope = [](TickPlayer &p) {
        return Ints{p.channel(0).volEnvValue, p.channel(0).fadeoutVolume};
    };
    const int full = 65536;
    EXPECT_EQ(traces(sustained, 12, envelope),
              (std::vector<Ints>{
                  {64, 48, 32, 32, 32, 32, 32, 28, 24, 20, 16, 12},
                  {full, full, full, full, full, full, 63536, 61536, 59536, 57536, 55536, 53536}}));
}

// L: set envelope position.
// Volume envelope (0, 64), (10, 32), (20, 48), (30, 0) of the given type, a panning envelope
// (0, 32), (40, 64) that is on, and Lxx on the note's row.
XmSong envelopeSong(uint8_t volumeType, uint8_t position) {
    XmSong xm = columnSong(6, {note(middleNote, 0, effectL, position)});
    xm.instruments[0].volumeEnvelope = {
        {{0, 64}, {10, 32}, {20, 48}, {30, 0}}, 0, 0, 0, volumeType, {}};
    xm.instruments[0].panningEnvelope = {{{0, 32}, {40, 64}}, 0, 0, 0, 1, {}};
    return xm;
}

TEST(ExtendedEffects, SetEnvelopePositionMovesTheVolumeEnvelope) {
    // Slopes: segment 0 (32 - 64) * 65536 / 10 = -209715, segment 2 (0 - 48) * 65536 / 10 =
    // -314572; the value is the accumulator >> 16. The panning envelope is not moved.
    // Lxx; after the first tick value, point, tick, done; after tick 1 the value.
    const std::vector<std::tuple<uint8_t, int, int, int, int, int>> cases = {
        {0x05, 48, 1, 5, 0, 44},  // 5 * -209715 + 64 * 65536 = 3145729 (48); then 2936014 (44.8)
        {0x0a, 32, 1, 10, 0, 32}, // 10 * -209715 + 4194304 = 2097154 (32); then point 1's 32
        {0x15, 43, 3, 21, 0, 38}, // 21: -314572 + 48 * 65536 = 2831156 (43.2); 2516584 (38.4)
        {0x00, 64, 1, 0, 0, 60},  // tick 0 is not point 1's tick: tick 1 adds the slope (60.8)
        {0x40, 0, 4, 1, 1, 0},    // 64: no point from 1 on lies at or after it; i = 4, done
    };
    const auto state = [](TickPlayer &p) {
        const MusicChannel &c = p.channel(0);
        return Ints{c.volEnvValue, c.volEnvPoint, c.volEnvDone, c.panEnvTick};
    };
    for (const auto &[param, value, point, tick, done, next] : cases) {
        SCOPED_TRACE(int{param});
        Player player(envelopeSong(1, param));
        player.tick();
        EXPECT_EQ(state(player), (Ints{value, point, done, 1}));
        if (!done) {
            EXPECT_EQ(player.channel(0).volEnvTick, tick);
        }
        player.tick();
        const Ints now = state(player);
        EXPECT_EQ((Ints{now[0], now[3]}), (Ints{next, 2}));
    }
    // Envelope off: L05 leaves the reset state, value 64 at tick 0 and point 0.
    Player off(envelopeSong(0, 0x05));
    const auto reset = [](TickPlayer &p) {
        const MusicChannel &c = p.channel(0);
        return Ints{c.volEnvValue, c.volEnvTick, c.volEnvPoint, voiceVolume(p)};
    };
    EXPECT_EQ(everyTick(off, 6, reset), std::vector<Ints>(6, {64, 0, 0, fullVoiceVolume}));
    // A fifth, unused point at tick 100 in the file: L40 still ends on point 3's value 0, done.
    XmSong xm = envelopeSong(1, 0x40);
    xm.instruments[0].volumeEnvelope.points.push_back({100, 10});
    xm.instruments[0].volumeEnvelope.pointCount = 4;
    Player past(xm);
    const auto end = [](TickPlayer &p) {
        return Ints{p.channel(0).volEnvValue, p.channel(0).volEnvDone};
    };
    EXPECT_EQ(everyTick(past, 2, end), std::vector<Ints>(2, {0, 1}));
}

// P: panning slide; E8y: coarse panning.
TEST(ExtendedEffects, PanningSlideMovesOnLaterTicksWithinLimits) {
    // Rows 0..5: P30 with panning 240 (0xcf), P00 (repeats P30; 258 is limited), P0F, P00, P04
    // with panning 16 (0xc1), P24 (x wins).
    Player player(
        columnSong(6, {note(middleNote, 0xcf, effectP, 0x30), fx(effectP, 0x00), fx(effectP, 0x0f),
                       fx(effectP, 0x00), fx(effectP, 0x04, 0xc1), fx(effectP, 0x24)}));
    EXPECT_EQ(everyTick(player, 6, channelPan), (Ints{240, 243, 246, 249, 252, 255}));
    EXPECT_EQ(player.voice(0).pan, 255);
    EXPECT_EQ(everyRow(player, 5, channelPan), (std::vector<Ints>{{255, 255, 255, 255, 255, 255},
                                                                  {255, 240, 225, 210, 195, 180},
                                                                  {180, 165, 150, 135, 120, 105},
                                                                  {16, 12, 8, 4, 0, 0},
                                                                  {0, 2, 4, 6, 8, 10}}));
    EXPECT_EQ(player.voice(0).pan, 10);
}

TEST(ExtendedEffects, PanningCommandsRaisePanningOnlyWhenTheyAct) {
    // P00 with an empty memory: nothing on tick 0; the later ticks slide by 0 but raise Panning.
    // P02 then takes the pan to 128 - 2 - 2; E84 acts on its first tick only.
    Player player(
        columnSong(3, {note(middleNote), fx(effectP, 0x00), fx(effectP, 0x02), ext(0x8, 0x4)}));
    player.tick(3);
    const int p = updatePanning;
    EXPECT_EQ(everyRow(player, 2, panningFlag), (std::vector<Ints>{{0, p, p}, {p, p, p}}));
    EXPECT_EQ(player.channel(0).channelPan, 124);
    EXPECT_EQ(everyTick(player, 3, panningFlag), (Ints{p, 0, 0}));
    EXPECT_EQ(player.channel(0).channelPan, 64);
    // E8y sets 16 x y.
    checkRowSteps({note(middleNote), ext(0x8, 0xf), ext(0x8, 0), ext(0x8, 8)}, {240, 0, 128},
                  [](TickPlayer &p) { return p.voice(0).pan; });
}

// R: multi retrig.
TEST(ExtendedEffects, MultiRetrigRetriggersOnMultiplesOfTheInterval) {
    // Speed 20, R08 without a note: starts on ticks 8 and 16 (never 0), each on the other voice;
    // volume change 0 leaves the volume alone and raises no Volume after tick 0.
    Player player(columnSong(20, {note(middleNote), fx(effectR, 0x08)}));
    player.tick(20);
    std::vector<Ints> started; // tick, voice
    for (int t = 0; t < 20; ++t) {
        player.tick();
        if (starts(player))
            started.push_back({t, player.voice(0).index});
        EXPECT_EQ((Ints{channelVolume(player), player.channel(0).updateFlags & updateVolume}),
                  (Ints{64, t == 0 ? updateVolume : 0}))
            << "tick " << t;
    }
    EXPECT_EQ(started, (std::vector<Ints>{{8, 32}, {16, 0}}));
    // R11 on the note's row: tick 0 starts the note itself, every later tick retriggers one
    // quieter; the voice ends at trunc(59 * 255 / 128) = trunc(117.5).
    Player r11(columnSong(6, {note(middleNote, 0, effectR, 0x11)}));
    const auto state = [](TickPlayer &p) { return Ints{starts(p), channelVolume(p)}; };
    EXPECT_EQ(traces(r11, 6, state), (std::vector<Ints>{Ints(6, 1), {64, 63, 62, 61, 60, 59}}));
    EXPECT_EQ(r11.voice(0).volume, 117);
}

TEST(ExtendedEffects, MultiRetrigKeepsBothSettingsTogether) {
    // R12: every 2nd tick, 1 quieter; R00 repeats it. R03: every 3rd tick, volume unchanged. R10:
    // interval 0 retriggers nothing, and R00 repeats that.
    Player player(columnSong(6, {note(middleNote), fx(effectR, 0x12), fx(effectR, 0x00),
                                 fx(effectR, 0x03), fx(effectR, 0x10), fx(effectR, 0x00)}));
    player.tick(6);
    const Ints expectedStarts[] = {
        {0, 0, 1, 0, 1, 0}, {0, 0, 1, 0, 1, 0}, {0, 0, 0, 1, 0, 0}, Ints(6, 0), Ints(6, 0)};
    const int expectedVolumes[] = {62, 60, 60, 60, 60};
    for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(everyTick(player, 6, startFlag), expectedStarts[r]) << "row " << r + 1;
        EXPECT_EQ(player.channel(0).channelVolume, expectedVolumes[r]) << "row " << r + 1;
    }
}

TEST(ExtendedEffects, MultiRetrigVolumeTable) {
    // Changes 1..5: -1, -2, -4, -8, -16; 6: x 2 / 3; 7: >> 1; 8: none; 9..13: +1, +2, +4, +8,
    // +16; 14: x 3 / 2; 15: x 2; truncated, then limited to 0..64.
    const std::vector<std::tuple<int, int, int>> cases = {
        // volume, change, expected
        {40, 1, 39},  {40, 2, 38},  {40, 3, 36},  {40, 4, 32},  {40, 5, 24},
        {40, 6, 26},  {40, 7, 20},  {40, 8, 40},  {40, 9, 41},  {40, 10, 42},
        {40, 11, 44}, {40, 12, 48}, {40, 13, 56}, {40, 14, 60}, {40, 15, 64}, // 80
        {41, 6, 27},  {41, 7, 20},  {41, 14, 61},                             // 27.3, 61.5
        {10, 5, 0},   {3, 4, 0},    {50, 13, 64}, {0, 9, 1},                  // -6, -5, 66
    };
    for (const auto &[volume, change, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << volume << ", change " << change);
        // Speed 2, interval 1: tick 1 retriggers once.
        Player player(columnSong(2, {note(middleNote, setVolume(volume), effectR,
                                          static_cast<uint8_t>(change << 4 | 1))}));
        player.tick(2);
        EXPECT_TRUE(starts(player));
        EXPECT_EQ(player.channel(0).channelVolume, expected);
        EXPECT_TRUE(player.channel(0).updateFlags & updateVolume);
    }
}

// T: tremor.
// 'A' for a tick at full voice volume, 'S' for a silent one.
std::string tremorTicks(TickPlayer &player, int count) {
    std::string marks;
    for (int volume : everyTick(player, count, voiceVolume))
        marks += volume == fullVoiceVolume ? 'A' : volume == 0 ? 'S' : '?';
    return marks;
}

TEST(ExtendedEffects, TremorCountsOnAndOffTicks) {
    // T21: on for 2 + 1 ticks, off for 1 + 1, from tick 0 (the instrument number reset the
    // counter). T00 repeats T21 and the counter runs on: after 12 ticks it stands at 12 mod 5 = 2.
    Player player(columnSong(12, {note(middleNote, 0, effectT, 0x21), fx(effectT, 0x00)}));
    EXPECT_EQ(tremorTicks(player, 12), "AAASSAAASSAA");
    EXPECT_EQ(tremorTicks(player, 12), "ASSAAASSAAAS");
    // T00 first, with nothing remembered: on and off are 0 ticks, the counter is never below the
    // on time, and every tick, tick 0 included, is silent.
    Player first(columnSong(6, {note(middleNote, 0, effectT, 0x00)}));
    EXPECT_EQ(tremorTicks(first, 6), "SSSSSS");
    EXPECT_EQ(first.channel(0).volumeDelta, -64);
}

// X, E1y, E2y: extra fine and fine portamento, on the first tick only.
TEST(ExtendedEffects, ExtraFinePortamentoMovesByOneUnitSteps) {
    // X10 and X20 take the up and the down memory; other x do nothing.
    checkRowSteps({note(middleNote), fx(effectX, 0x13), fx(effectX, 0x10), fx(effectX, 0x25),
                   fx(effectX, 0x20), fx(effectX, 0x10), fx(effectX, 0x30), fx(effectX, 0x05)},
                  {4605, 4602, 4607, 4612, 4609, 4609, 4609}, period);
}

TEST(ExtendedEffects, FinePortamentoMovesByFourUnitStepsWithoutLimit) {
    // E10 and E20 take the up and the down memory.
    checkRowSteps(
        {note(middleNote), ext(0x1, 2), ext(0x1, 0), ext(0x2, 3), ext(0x2, 0), ext(0x1, 0)},
        {4600, 4592, 4604, 4616, 4608}, period);
    // Amiga table: note 96 (index 95) has base(95) = trunc(13.375 * 2^(37 / 12)) = 113. E1F takes
    // 60 off each time, past the 56 that limits effect 1.
    checkRowSteps({note(96), ext(0x1, 0xf), ext(0x1, 0)}, {53, -7}, period, false);
}

// E0y, E3y, EFy and the unused effect numbers.
TEST(ExtendedEffects, UnusedCommandsDoNothing) {
    std::vector<XmCell> cells = {ext(0x0, 0xf), ext(0x3, 0x1), ext(0xf, 0xf)};
    for (uint8_t effect : {18, 19, 22, 23, 24, 26, 28, 30, 31, 32, 34, 35, 36, 255})
        cells.push_back(fx(effect, 0xff));
    const auto state = [](TickPlayer &p) {
        const MusicChannel &c = p.channel(0);
        const Song &s = p.song();
        return Ints{c.period,      c.channelVolume, c.channelPan,       c.waveControl,
                    c.volumeDelta, c.periodDelta,   c.keyOff,           c.updateFlags,
                    s.speed,       s.globalVolume,  s.patternDelayTicks};
    };
    std::vector<Ints> expected(6, {middlePeriod, 32, 128, 0, 0, 0, 0, updatePitch, 6, 64, 0});
    expected[0][7] = updatePitch | updateVolume;
    for (const XmCell &cell : cells) {
        SCOPED_TRACE(testing::Message() << "effect " << int{cell.effect} << " " << int{cell.param});
        Player player(columnSong(6, {note(middleNote, setVolume(32)), cell, blank}));
        player.tick(6);
        EXPECT_EQ(everyTick(player, 6, state), expected);
        EXPECT_EQ(player.song().nextRow, 2);
    }
}

// E4y, E7y: the waveforms.
TEST(ExtendedEffects, WaveformCommandsSetTheirNibbleAndShapeVibratoAndTremolo) {
    checkRowSteps(
        {note(middleNote), ext(0x4, 7), ext(0x7, 2), ext(0x4, 0), ext(0x7, 0xf), ext(0x7, 0)},
        {0x07, 0x27, 0x20, 0xf0, 0x00}, [](TickPlayer &p) { return p.channel(0).waveControl; });
    // Row 0 sets wave 2, row 1 the wave tested, row 2 plays 41F or 71F (speed 1, depth 15) at
    // volume 5; m is the wave at the phase read. Vibrato: ticks 0, 1 read phase 0, tick k > 1
    // phase k - 1; -d with d = (m * 15) >> 5, low two bits cleared: sine m = 0, 25, 49: d = 0,
    // 11 -> 8, 22 -> 20; ramp m = 0, 8, 16: d = 0, 3 -> 0, 7 -> 4; square 255: d = 119 -> 116.
    // Tremolo: tick k reads phase k - 1, + (m * 15) >> 6: sine 0, 5, 11; ramp 0, 1, 3; square 59
    // (5 + 59 = 64, not above). Wave 3 is the square for vibrato, the sine for tremolo.
    const std::vector<std::tuple<int, int, Ints>> cases = {
        // x, wave, deltas on ticks 0..3
        {4, 0, {0, 0, -8, -20}}, {4, 1, {0, 0, 0, -4}}, {4, 2, Ints(4, -116)},
        {4, 3, Ints(4, -116)},   {7, 0, {0, 0, 5, 11}}, {7, 1, {0, 0, 1, 3}},
        {7, 2, {0, 59, 59, 59}}, {7, 3, {0, 0, 5, 11}},
    };
    const auto deltas = [](TickPlayer &p) {
        return Ints{periodDelta(p), p.channel(0).volumeDelta};
    };
    for (const auto &[x, wave, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "E" << x << wave);
        const bool vibrato = x == 4;
        Player player(
            columnSong(6, {note(middleNote, vibrato ? 0 : setVolume(5), effectE,
                                static_cast<uint8_t>(x << 4 | 2)),
                           ext(x, wave), fx(vibrato ? vibratoEffect : tremoloEffect, 0x1f)}));
        player.tick(12);
        EXPECT_EQ(traces(player, 4, deltas)[vibrato ? 0 : 1], expected);
    }
}

// E5y: set finetune.
TEST(ExtendedEffects, SetFinetuneWritesTheSampleAndHoldsAfterTheSongLoops) {
    // Two channels play the one sample on row 0 (speed 2); row 1 sets its finetune. The periods
    // playing stay; after the song loops the notes take 4608 - f / 2 (truncating).
    // The file's finetune, y, the period before and after the loop.
    const std::vector<std::tuple<int8_t, int, int, int>> cases = {
        {0, 0xf, 4608, 4601},   // 15 / 2 = 7
        {0, 0x8, 4608, 4604},   // 8 / 2 = 4
        {-16, 0x0, 4616, 4608}, // E50 takes 0 as a value
    };
    const auto playing = [](TickPlayer &p) {
        return Ints{p.sample(0)->finetune, p.channel(0).period, p.channel(1).period};
    };
    const auto notes = [](TickPlayer &p) {
        return Ints{p.channel(0).notePeriod, p.channel(0).period, p.channel(1).notePeriod,
                    p.channel(1).period};
    };
    for (const auto &[fileFinetune, y, first, looped] : cases) {
        SCOPED_TRACE(y);
        XmSong xm = columnSong(2, {note(middleNote), ext(0x5, y)}, 2);
        xm.instruments[0].samples[0].finetune = fileFinetune;
        xm.patterns[0].at(0, 1) = note(middleNote);
        Player player(xm);
        player.tick();
        EXPECT_EQ(player.channel(0).notePeriod, first);
        player.tick();
        EXPECT_EQ(everyTick(player, 2, playing), std::vector<Ints>(2, {y, first, first}));
        player.tick(); // row 0 again, order 0 by the restart position
        ASSERT_EQ(positionOf(player), Position(0, 0));
        EXPECT_EQ(notes(player), Ints(4, looped));
    }
}

TEST(ExtendedEffects, SetFinetuneRetunesTheNextAmigaArpeggioTick) {
    // Amiga table. Row 0 plays note 49 (index 48), row 1 sets the finetune, row 2 plays arpeggio
    // 010: tick 1 offsets by amigaPeriod(49, f) - amigaPeriod(48, f). base(48) = 1712, base(49) =
    // trunc(13.375 * 2^(83 / 12)) = 1615, base(50) = trunc(13.375 * 2^(82 / 12)) = 1525.
    //   f = 0:  1615 - 1712 = -97
    //   f = 15: (1615 - trunc(90 * 15 / 128)) - (1712 - trunc(97 * 15 / 128)) = 1605 - 1701 = -96
    for (const auto &[y, offset] : std::vector<std::pair<int, int>>{{0xf, -96}, {0x0, -97}}) {
        SCOPED_TRACE(y);
        XmSong xm = columnSong(3, {note(middleNote), ext(0x5, y), fx(0, 0x10)});
        xm.flags = 0;
        Player player(xm);
        player.tick(6);
        EXPECT_EQ(player.channel(0).period, 1712); // the note kept its period
        EXPECT_EQ(everyTick(player, 3, periodDelta), (Ints{0, offset, 0}));
    }
}

// E9y: retrigger note; ECy: note cut; EAy, EBy: fine volume slides.
TEST(ExtendedEffects, RetriggerNoteOnMultiplesOfY) {
    const std::vector<std::tuple<int, int, Ints>> cases = {
        // y, speed, start ticks
        {0, 6, {}},              // E90: nothing
        {1, 6, {1, 2, 3, 4, 5}}, // every later tick
        {2, 6, {2, 4}},          // never tick 0
        {3, 7, {3, 6}},          // speed 7
        {4, 4, {}},              // ticks 1..3 only
    };
    for (const auto &[y, speed, ticks] : cases) {
        SCOPED_TRACE(testing::Message() << "E9" << y << " at speed " << speed);
        Player player(columnSong(speed, {note(middleNote), ext(0x9, y)}));
        player.tick(speed);
        Ints flags(speed, updatePitch); // tick 0 adds Volume, a retrigger Volume and Start
        flags[0] |= updateVolume;
        for (int t : ticks)
            flags[t] |= updateVolume | updateStart;
        EXPECT_EQ(everyTick(player, speed, updateFlags), flags);
    }
}

TEST(ExtendedEffects, NoteCutOnTickY) {
    const auto state = [](TickPlayer &p) {
        return Ints{channelVolume(p), voiceVolume(p), p.channel(0).updateFlags & updateVolume};
    };
    // y, the tick of the cut (-1: never)
    for (const auto &[y, cutTick] :
         std::vector<std::pair<int, int>>{{0, -1}, {1, 1}, {3, 3}, {5, 5}, {6, -1}}) {
        SCOPED_TRACE(y);
        Player player(
            columnSong(6, {note(middleNote, 0, effectE, static_cast<uint8_t>(0xc0 | y))}));
        std::vector<Ints> expected;
        for (int t = 0; t < 6; ++t) {
            const bool cut = cutTick >= 0 && t >= cutTick;
            const bool raised = t == 0 || t == cutTick;
            expected.push_back(
                {cut ? 0 : 64, cut ? 0 : fullVoiceVolume, raised ? updateVolume : 0});
        }
        EXPECT_EQ(everyTick(player, 6, state), expected);
    }
}

TEST(ExtendedEffects, FineVolumeSlidesShareOneMemory) {
    // EA5 then EB0 goes down by 5; 75 and -11 are limited.
    checkRowSteps({note(middleNote, setVolume(40)), ext(0xa, 5), ext(0xb, 0), ext(0xa, 0),
                   ext(0xb, 3), ext(0xa, 0), ext(0xa, 0xf), ext(0xa, 0), ext(0xb, 0xf), ext(0xb, 0),
                   ext(0xb, 0), ext(0xb, 0), ext(0xb, 0)},
                  {45, 40, 45, 42, 45, 60, 64, 49, 34, 19, 4, 0}, channelVolume);
}

// EDy: note delay.
TEST(ExtendedEffects, NoteDelayStartsTheNoteOnTickYOrNever) {
    // Row 0 of a fresh song: EDy with the note, and EE in channel 1 may lengthen the row. The note
    // starts on tick y if that is a later tick of the row, else never; until then period, volume
    // and panning stay the fresh channel's 0, and the reset brings volume 64 and panning 128.
    // y, EE's y, the row's ticks, the tick of the start (-1: never)
    const std::vector<std::tuple<int, int, int, int>> cases = {
        {0, 0, 6, -1}, // tick 0 is no later tick
        {6, 0, 6, -1},   {15, 0, 6, -1}, {1, 0, 6, 1},
        {3, 0, 6, 3},    {8, 1, 12, 8}, // EE1: (1 + 1) * 6 = 12 ticks
        {12, 1, 12, -1},                // ticks 0..11 only
    };
    const auto state = [](TickPlayer &p) {
        const MusicChannel &c = p.channel(0);
        return Ints{starts(p), p.voice(0).sample != nullptr, c.period, c.channelVolume,
                    c.channelPan};
    };
    for (const auto &[y, delayRows, rowTicks, startTick] : cases) {
        SCOPED_TRACE(testing::Message() << "ED" << y << " EE" << delayRows);
        XmSong xm =
            columnSong(6, {note(middleNote, 0, effectE, static_cast<uint8_t>(0xd0 | y)), blank}, 2);
        if (delayRows)
            xm.patterns[0].at(0, 1) = ext(0xe, delayRows);
        Player player(xm);
        for (int t = 0; t < rowTicks; ++t) {
            player.tick();
            const bool on = startTick >= 0 && t >= startTick;
            EXPECT_EQ(state(player),
                      (Ints{t == startTick, on, on ? middlePeriod : 0, on ? 64 : 0, on ? 128 : 0}))
                << "tick " << t;
        }
        player.tick(); // the next row: a dropped note stays unheard
        EXPECT_EQ(player.song().row, 1);
        EXPECT_EQ(player.voice(0).sample != nullptr, startTick >= 0);
    }
}

TEST(ExtendedEffects, NoteDelayKeepsThePlayingNoteUntilItsTick) {
    // Row 0: note 49 at volume 16, panning 64. Row 1: note 61 (period 7680 - 64 * 60 = 3840)
    // without instrument, volume column 32, ED2. The volume envelope (0, 64), (60, 4) falls by 1 a
    // tick: 59 on row 0's tick 5, 58 and 57 on row 1's ticks 0 and 1.
    XmSong xm = columnSong(6, {note(middleNote, setVolume(16), panningEffect, 0x40),
                               XmCell{61, 0, setVolume(32), effectE, 0xd2}});
    xm.instruments[0].volumeEnvelope = {{{0, 64}, {60, 4}}, 0, 0, 0, 1, {}};
    Player player(xm);
    player.tick(6);
    ASSERT_EQ(player.voice(0).volume, 29); // trunc(16 * 59 * 255 / 8192) = trunc(29.4)
    // Ticks 0, 1: period, volume and panning taken back, the new period remembered, the old note
    // on at 8363 Hz and its volume left alone (not trunc(16 * 58 * 255 / 8192) = 28). Tick 2: the
    // reset (volume 64, panning 128, envelope 64), the period, the volume column (32), a start on
    // the other voice at trunc(8363 * 2^((4608 - 3840) / 768)) = 16726 Hz, volume 63.
    const auto state = [](TickPlayer &p) {
        const MusicChannel &c = p.channel(0);
        const MixerVoice &v = p.voice(0);
        return Ints{starts(p),    c.volEnvValue, c.period,    c.notePeriod, c.channelVolume,
                    c.channelPan, v.index,       v.frequency, v.volume};
    };
    EXPECT_EQ(everyTick(player, 3, state),
              (std::vector<Ints>{{0, 58, middlePeriod, 3840, 16, 64, 0, 8363, 29},
                                 {0, 57, middlePeriod, 3840, 16, 64, 0, 8363, 29},
                                 {1, 64, 3840, 3840, 32, 128, 32, 16726, 63}}));
    EXPECT_EQ(everyTick(player, 3, startFlag), Ints(3, 0)); // later ticks start nothing more
}

// EEy: pattern delay; E6y: pattern loop.
TEST(PositionEffects, PatternDelayLengthensTheRow) {
    // Speed 3; channel 0 delays row 0 by EEy to (1 + y) * 3 ticks, channel 1 starts a note and
    // slides its volume down by 1 on every later tick, the delay's included. The note starts once.
    for (const auto &[y, rowTicks] :
         std::vector<std::pair<int, int>>{{0, 3}, {1, 6}, {2, 9}, {15, 48}}) {
        SCOPED_TRACE(y);
        XmSong xm = columnSong(3, {ext(0xe, y), blank}, 2);
        xm.patterns[0].at(0, 1) = note(middleNote, 0, effectA, 0x01);
        Player player(xm);
        player.tick();
        EXPECT_EQ(player.song().patternDelayTicks, 3 * y);
        EXPECT_TRUE(starts(player, 1));
        const auto state = [](TickPlayer &p) { return Ints{p.song().row, starts(p, 1)}; };
        EXPECT_EQ(everyTick(player, rowTicks - 1, state), std::vector<Ints>(rowTicks - 1, {0, 0}));
        EXPECT_EQ(player.channel(1).channelVolume, 64 - (rowTicks - 1));
        player.tick();
        EXPECT_EQ(player.song().row, 1);
        EXPECT_EQ(player.song().patternDelayTicks, 0);
    }
}

TEST(PositionEffects, PatternLoopPlaysTheRowsBetweenThreeTimesEvenFromAnotherPattern) {
    // Two ticks a row: rows 1..3 three times, then 4, 5 and (the song loops) 0.
    Player player(columnSong(2, {blank, ext(0x6, 0), blank, ext(0x6, 2), blank, blank}));
    Ints rows;
    for (int row : {0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 0, 1, 2})
        rows.insert(rows.end(), {row, row});
    EXPECT_EQ(everyTick(player, 30, [](TickPlayer &p) { return p.song().row; }), rows);
    // Pattern 0 (order 0, 8 rows) remembers a row with E60; pattern 1 (order 1, 4 rows) loops once
    // with E61 to that row of its own. A row past its end plays nothing, then order 0 follows.
    // E60's row, E61's row, the positions after pattern 0.
    const std::vector<std::tuple<int, int, std::vector<Position>>> cases = {
        {2, 3, {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 2}, {1, 3}, {0, 0}}},
        {6, 1, {{1, 0}, {1, 1}, {1, 6}, {0, 0}}},
    };
    for (const auto &[startRow, endRow, expected] : cases) {
        SCOPED_TRACE(startRow);
        XmSong xm = columnSong(1, std::vector<XmCell>(8));
        xm.orders = {0, 1};
        xm.patterns[0].at(startRow, 0) = note(middleNote, 0, effectE, 0x60);
        xm.patterns.push_back(blankPattern(4, 1));
        xm.patterns[1].at(endRow, 0) = ext(0x6, 1);
        Player player(xm);
        player.tick(8);
        std::vector<Position> positions;
        for (size_t i = 0; i < expected.size(); ++i) {
            player.tick();
            positions.push_back(positionOf(player));
            if (player.song().row >= 4) {
                EXPECT_EQ(player.channel(0).lastEffect, 0);
                EXPECT_FALSE(starts(player));
            }
        }
        EXPECT_EQ(positions, expected);
    }
}

// B and D.
TEST(PositionEffects, JumpAndBreakInOneRow) {
    // Row 0 of order 0 holds the effects in channels 0 and 1; orders 1..6 play pattern 1 (16 rows).
    // The choice made on tick 0 holds over the later ticks. B05 then D10: the break keeps the
    // jump's order; D10 then B05: the jump sets row 0.
    const std::vector<std::tuple<XmCell, XmCell, Position>> cases = {
        {fx(effectB, 0x05), fx(effectD, 0x10), {5, 10}},
        {fx(effectD, 0x10), fx(effectB, 0x05), {5, 0}},
        {fx(effectB, 0x05), blank, {5, 0}},
        {blank, fx(effectD, 0x10), {1, 10}},
    };
    for (const auto &[first, second, next] : cases) {
        SCOPED_TRACE(testing::Message() << int{first.effect} << " " << int{second.effect});
        XmSong xm = columnSong(3, {first, blank, blank, blank}, 2);
        xm.orders = {0, 1, 1, 1, 1, 1, 1};
        xm.patterns[0].at(0, 1) = second;
        xm.patterns.push_back(blankPattern(16, 1));
        Player player(xm);
        const auto state = [](TickPlayer &p) {
            return Ints{p.song().nextOrder, p.song().nextRow, p.song().order, p.song().row};
        };
        EXPECT_EQ(everyTick(player, 3, state),
                  std::vector<Ints>(3, {next.first, next.second, 0, 0}));
        player.tick();
        EXPECT_EQ(positionOf(player), next);
    }
    // A jump holds back only a break of its own row: order 0 jumps to order 1 (B01), whose first
    // row breaks (D05) to row 5 of order 2.
    XmSong xm = columnSong(1, {fx(effectB, 0x01), blank, blank, blank});
    xm.orders = {0, 1, 2};
    xm.patterns.push_back(blankPattern(8, 1));
    xm.patterns[1].at(0, 0) = fx(effectD, 0x05);
    xm.patterns.push_back(blankPattern(8, 1));
    Player later(xm);
    EXPECT_EQ(everyTick(later, 3, positionOf), (std::vector<Position>{{0, 0}, {1, 0}, {2, 5}}));
}

TEST(PositionEffects, JumpBeyondTheSongGoesToTheFirstOrder) {
    // Three orders, restart position 2: a jump to order 3 or beyond goes to order 0.
    for (const auto &[param, order] :
         std::vector<std::pair<uint8_t, int>>{{0x03, 0}, {0xff, 0}, {0x02, 2}, {0x01, 1}}) {
        SCOPED_TRACE(int{param});
        XmSong xm = columnSong(1, std::vector<XmCell>(4));
        xm.orders = {0, 1, 1};
        xm.restart = 2;
        xm.patterns.push_back(blankPattern(4, 1));
        xm.patterns[1].at(1, 0) = fx(effectB, param); // played in order 1
        Player player(xm);
        EXPECT_EQ(
            everyTick(player, 7, positionOf),
            (std::vector<Position>{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {order, 0}}));
    }
}

TEST(PositionEffects, BreakBeyondTheNextPatternPlaysAnEmptyRow) {
    // Pattern 0 (4 rows) breaks on row 1 to a row at or past the end of pattern 1 (16 rows, a note
    // with a volume slide on each). That row plays nothing; the next order's first row follows.
    for (uint8_t param : {0x16, 0x20, 0x63}) {
        SCOPED_TRACE(int{param});
        XmSong xm = columnSong(1, {blank, fx(effectD, param), blank, blank});
        xm.orders = {0, 1, 2};
        xm.patterns.push_back(blankPattern(16, 1));
        for (int r = 0; r < 16; ++r)
            xm.patterns[1].at(r, 0) = note(middleNote, 0, effectA, 0x01);
        xm.patterns.push_back(blankPattern(4, 1));
        Player player(xm);
        const int row = 10 * (param >> 4) + (param & 15);
        EXPECT_EQ(everyTick(player, 3, positionOf),
                  (std::vector<Position>{{0, 0}, {0, 1}, {1, row}}));
        EXPECT_EQ(player.channel(0).lastEffect, 0);
        EXPECT_FALSE(starts(player));
        EXPECT_EQ(player.voice(0).sample, nullptr);
        player.tick();
        EXPECT_EQ(positionOf(player), Position(2, 0));
    }
}

} // namespace
