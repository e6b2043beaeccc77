// Songs that a hostile file can make. Each case plays a song made by the XM
// builder through the sequencer and the mixer, where the sanitizer builds trap
// any arithmetic that leaves its type, and checks the value the player holds.

#include "fuzz/seed_songs.h"
#include "tick_player.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

const int effectL = 0x15;
const int framesPerTick = 64;

using Reader = int32_t (*)(TickPlayer &);
const Reader volumeEnvelope = [](TickPlayer &p) { return p.channel(0).volEnvValue; };
const Reader panningEnvelope = [](TickPlayer &p) { return p.channel(0).panEnvValue; };
const Reader voiceVolume = [](TickPlayer &p) { return p.voice(0).volume; };
const Reader fadeout = [](TickPlayer &p) { return p.channel(0).fadeoutVolume; };
const Reader direction = [](TickPlayer &p) { return p.voice(0).direction; };

XmSong withEnvelopes(XmEnvelope volume, XmEnvelope panning = {}) {
    XmSong xm = tickTestSong(1, 4);
    xm.speed = 3;
    xm.patterns[0].at(0, 0) = {49, 1};
    xm.instruments[0].volumeEnvelope = std::move(volume);
    xm.instruments[0].panningEnvelope = std::move(panning);
    return xm;
}

// A falling first segment far past tick 0, and Lxx 0 before it: the envelope
// stands at the first point's value until the envelope reaches that point.
XmSong envelopePositionBeforeFirstPoint() {
    XmSong xm = withEnvelopes({{{21060, 64}, {21076, 0}}, 0, 0, 0, 1, {}});
    xm.patterns[0].at(0, 0) = {49, 1, 0, effectL, 0};
    return xm;
}

// Before a late first point a fresh note holds that point's value, not what
// the channel's last envelope left in the accumulator.
XmSong lateFirstPoints() {
    return withEnvelopes({{{100, 48}, {200, 0}}, 0, 0, 0, 1, {}},
                         {{{50, 16}, {60, 64}}, 0, 0, 0, 1, {}});
}

// A stored fadeout of 0x8000 doubles to the largest step, 65535: it does not
// wrap to 0, which would keep a released note sounding for ever.
XmSong largestFadeout() {
    XmSong xm = withEnvelopes({{{0, 64}, {10, 64}}, 0, 0, 0, 1, {}});
    xm.speed = 1;
    xm.patterns[0].at(1, 0) = {97};
    xm.instruments[0].fadeout = 0x8000;
    return xm;
}

// A ping-pong loop over frames 100..199 played at 8363 Hz, 0.19 frames a step,
// 64 frames a tick: backwards from tick 16 on. On row 20, 9xx past the loop's
// end rewinds the voice to frame 0, from where it must play forwards.
XmSong rewindWhileBackwards() {
    XmSong xm = tickTestSong(1, 24);
    xm.speed = 1;
    XmSample &sample = xm.instruments[0].samples[0];
    sample.values.assign(200, 1000);
    sample.loop = xmPingPongLoop;
    sample.loopStart = sample.loopLength = 100;
    xm.patterns[0].at(0, 0) = {49, 1};
    xm.patterns[0].at(20, 0) = {0, 0, 0, 0x09, 0x01};
    return xm;
}

struct HostileCase {
    const char *name;
    XmSong (*song)();
    Reader read;
    std::vector<int32_t> afterEachTick;
    int ticksBefore = 0; // played before the first check
};

const HostileCase hostileCases[] = {
    {"Lxx before the first point: its value",
     envelopePositionBeforeFirstPoint,
     volumeEnvelope,
     {64, 64, 64, 64}},
    {"... at full volume: 64 x 64 x 65536 x 64 x 255 / 2^35",
     envelopePositionBeforeFirstPoint,
     voiceVolume,
     {127, 127, 127, 127}},
    {"volume envelope before its late first point",
     lateFirstPoints,
     volumeEnvelope,
     {48, 48, 48, 48}},
    {"panning envelope before its late first point",
     lateFirstPoints,
     panningEnvelope,
     {16, 16, 16, 16}},
    {"fadeout 0x8000: 65536, then 1 and 0 after the key off",
     largestFadeout,
     fadeout,
     {65536, 1, 0, 0}},
    {"9xx rewinding a voice that runs backwards: forwards from frame 0",
     rewindWhileBackwards,
     direction,
     {backwards, forwards, forwards},
     19},
};

TEST(HostileSongs, PlayWithinTheirTypesAndHoldTheDecidedValues) {
    static float mix[2 * framesPerTick];
    for (const HostileCase &c : hostileCases) {
        SCOPED_TRACE(c.name);
        TickPlayer play(c.song());
        ASSERT_TRUE(play.loaded());
        std::vector<int32_t> values;
        for (int t = 0; t < c.ticksBefore + static_cast<int>(c.afterEachTick.size()); ++t) {
            play.tick();
            mixVoices(mix, framesPerTick);
            if (t >= c.ticksBefore)
                values.push_back(c.read(play));
        }
        EXPECT_EQ(values, c.afterEachTick);
    }
}

// Every seed of the fuzzer, and every input that ever made it fail (kept in
// fuzz/regressions as the fuzzer wrote it), played as the fuzzer plays them.
TEST(HostileSongs, FuzzSeedsAndPastFailuresPlayWithoutFault) {
    for (const SeedSong &seed : seedSongs()) {
        SCOPED_TRACE(seed.name);
        playFuzzInput(buildXm(seed.song));
    }
    std::error_code noFolder;
    for (const auto &entry : std::filesystem::directory_iterator(FUZZ_REGRESSIONS, noFolder)) {
        SCOPED_TRACE(entry.path().string());
        std::ifstream file(entry.path(), std::ios::binary);
        playFuzzInput({std::istreambuf_iterator<char>(file), {}});
    }
}

} // namespace
