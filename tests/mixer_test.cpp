// The software mixer on hand-built samples: gain ramps, the constant and
// single-frame paths, sample loops and ends, interpolation, voice selection,
// and the rounding and clipping into 16-bit PCM.

#include "player/mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

const float inverse255 = 1.0f / 255, inverse256 = 1.0f / 256;
const float fullGain = 255.0f * inverse255; // gain 255 as the constant pass applies it

// A sample as the loader leaves it: length + 8 values, the guard value at the loop end.
struct OwnedSample {
    std::unique_ptr<int16_t[]> values;
    Sample sample{};
};

OwnedSample makeSample(const std::vector<int16_t> &values, uint8_t loopType = loopNone,
                       uint32_t loopStart = 0, uint32_t loopLength = 0) {
    OwnedSample owned;
    const uint32_t length = static_cast<uint32_t>(values.size());
    owned.values.reset(new int16_t[length + 8]());
    std::copy(values.begin(), values.end(), owned.values.get());
    Sample &s = owned.sample;
    s.data = owned.values.get();
    s.length = length;
    s.loopType = loopType;
    s.loopStart = loopType == loopNone ? 0 : loopStart;
    s.loopLength = loopType == loopNone ? length : loopLength;
    if (loopType != loopNone)
        s.data[s.loopStart + s.loopLength] =
            s.data[loopType == loopForward ? s.loopStart : s.loopStart + s.loopLength - 1];
    return owned;
}

OwnedSample constantSample(int16_t value, uint32_t length) {
    return makeSample(std::vector<int16_t>(length, value), loopForward, 0, length);
}

// A voice at a note start (gains 0, no ramp) or, steady, whose last ramp ended at its gains.
MixerVoice &voiceOn(int slot, Sample &sample, int32_t left, int32_t right, bool steady = true,
                    uint32_t stepInteger = 1, uint32_t stepFraction = 0) {
    MixerVoice &voice = voices[slot];
    voice.sample = &sample;
    voice.volumeLeft = left;
    voice.volumeRight = right;
    voice.direction = forwards;
    voice.speedInteger = stepInteger;
    voice.speedFraction = stepFraction;
    if (steady) {
        voice.rampTargetLeft = left;
        voice.rampTargetRight = right;
        voice.rampGainLeft = left << 8;
        voice.rampGainRight = right << 8;
    }
    return voice;
}

// The gains of a ramp's frames, in float: a pass starts from the stored 8.8 gain x 1/256 x
// 1/255, adds delta after every frame, and stores its gain x 255 x 256, rounded.
std::vector<float> rampGains(int32_t storedGain, int32_t difference,
                             const std::vector<int> &passes) {
    const float delta = static_cast<float>(difference) * inverse255 * (1.0f / 128);
    std::vector<float> gains;
    for (int length : passes) {
        float gain = static_cast<float>(storedGain) * inverse256 * inverse255;
        for (int k = 0; k < length; ++k, gain += delta)
            gains.push_back(gain);
        storedGain = static_cast<int32_t>(std::nearbyint(gain * 255.0f * 256.0f));
    }
    return gains;
}

// The left values of the first frames of a buffer, as multiples of the full gain.
void expectPlayed(const std::vector<float> &buffer, size_t first,
                  const std::vector<float> &played) {
    for (size_t k = 0; k < played.size(); ++k)
        EXPECT_EQ(buffer[2 * (first + k)], played[k] * fullGain) << "frame " << first + k;
}

class Mixer : public ::testing::Test {
  protected:
    void SetUp() override {
        resetVoices();
        setRampLength(44100);
    }
    void TearDown() override { resetVoices(); } // no voice keeps a finished test's sample
};

TEST_F(Mixer, NoteStartRampsUpOver128FramesAcrossAnyStretchBorders) {
    // A steady 10000 under gains 120 and 60: each output is 10000 x gain.
    OwnedSample owned = constantSample(10000, 512);
    for (const std::vector<int> &calls :
         {std::vector<int>{328}, {1, 50, 77, 200}, {3, 64, 45, 216}}) {
        resetVoices();
        MixerVoice &voice = voiceOn(0, owned.sample, 120, 60, false);
        std::vector<float> buffer(2 * 328, 0.0f);
        std::vector<int> passes; // the stretch borders cut the ramp into passes
        int done = 0;
        for (int frames : calls) {
            if (done < 128)
                passes.push_back(std::min(frames, 128 - done));
            mixVoices(buffer.data() + 2 * done, frames);
            done += frames;
        }
        const std::vector<float> left = rampGains(0, 120, passes), right = rampGains(0, 60, passes);
        for (int k = 0; k < 328; ++k) {
            ASSERT_EQ(buffer[2 * k], 10000.0f * (k < 128 ? left[k] : 120.0f * inverse255)) << k;
            ASSERT_EQ(buffer[2 * k + 1], 10000.0f * (k < 128 ? right[k] : 60.0f * inverse255)) << k;
        }
        // k/128 of the gains, up to the float rounding of 128 additions.
        EXPECT_NEAR(buffer[2 * 64], 10000.0 * 120 / 255 / 2, 0.01);
        EXPECT_EQ((std::vector<int64_t>{voice.rampRemaining, voice.rampGainLeft,
                                        voice.rampGainRight, voice.position}),
                  (std::vector<int64_t>{0, 120 << 8, 60 << 8, 328}));
    }
}

TEST_F(Mixer, GainChangeMidRampStartsAFullRampFromTheIntegerGain) {
    OwnedSample owned = constantSample(10000, 512);
    MixerVoice &voice = voiceOn(0, owned.sample, 120, 60, false);
    std::vector<float> first(2 * 50), buffer(2 * 200, 0.0f);
    // 50 frames of 240 and 120 (8.8) each: stored 12000 (46.875) and 6000 (23.4375).
    mixVoices(first.data(), 50);
    EXPECT_EQ((std::vector<int32_t>{voice.rampGainLeft, voice.rampGainRight, voice.rampRemaining}),
              (std::vector<int32_t>{12000, 6000, 78}));
    voice.volumeLeft = 200;
    voice.volumeRight = 10;
    // A new ramp of 128 frames, from (200 - 46) and (10 - 23), the stored gains its start.
    mixVoices(buffer.data(), 100);
    mixVoices(buffer.data() + 200, 100);
    const std::vector<float> left = rampGains(12000, 154, {100, 28}),
                             right = rampGains(6000, -13, {100, 28});
    for (int k = 0; k < 200; ++k) {
        ASSERT_EQ(buffer[2 * k], 10000.0f * (k < 128 ? left[k] : 200.0f * inverse255)) << k;
        ASSERT_EQ(buffer[2 * k + 1], 10000.0f * (k < 128 ? right[k] : 10.0f * inverse255)) << k;
    }
    // Frame 127: 46.875 + 127 x 154/128 on the left, 23.4375 - 127 x 13/128 on the right.
    EXPECT_NEAR(buffer[2 * 127], 10000.0 * 199.671875 / 255, 0.01);
    EXPECT_NEAR(buffer[2 * 127 + 1], 10000.0 * 10.5390625 / 255, 0.01);
}

TEST_F(Mixer, OddLastFrameOfConstantGainsUsesTheStoredRampGains) {
    // The stored left gain 120.5 holds the volume's integer part, so no ramp starts, but
    // the single-frame path shows the half; 60 << 8 gives back exactly 60/255.
    OwnedSample owned = constantSample(1000, 64);
    MixerVoice &voice = voiceOn(0, owned.sample, 120, 60);
    voice.rampGainLeft = (120 << 8) | 0x80;
    const float left = 1000.0f * (120.0f * inverse255), right = 1000.0f * (60.0f * inverse255);
    const float single = 1000.0f * (30848.0f * inverse256 * inverse255);
    std::vector<float> buffer(8, 0.0f);
    mixVoices(buffer.data(), 1);
    mixVoices(buffer.data() + 2, 3);
    EXPECT_EQ(buffer, (std::vector<float>{single, right, left, right, left, right, single, right}));
    EXPECT_EQ(voice.rampGainLeft, (120 << 8) | 0x80);
    EXPECT_EQ(voice.position, 4u);
}

TEST_F(Mixer, SampleEndsAndForwardLoops) {
    // 4 frames to the end at 1.5 a frame: 6, 7.5 (800 + 0.5 x 100) and 9, then the voice
    // stops and the rest of the buffer is left alone.
    OwnedSample oneShot = makeSample({100, 200, 300, 400, 500, 600, 700, 800, 900, 1000});
    MixerVoice &voice = voiceOn(0, oneShot.sample, 255, 255, true, 1, 0x80000000);
    voice.position = 6;
    std::vector<float> buffer(2 * 10, 0.25f);
    mixVoices(buffer.data(), 10);
    const float played[] = {700, 850, 1000};
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(buffer[2 * k + 1], 0.25f + played[k] * fullGain);
    EXPECT_EQ(std::vector<float>(buffer.begin() + 6, buffer.end()), std::vector<float>(14, 0.25f));
    EXPECT_EQ((std::vector<uint64_t>{voice.position, voice.positionFraction}),
              (std::vector<uint64_t>{0, 0}));
    EXPECT_EQ(voice.sample, nullptr);
    // Samples without data stop in their first pass without reading (a read would fault).
    Sample noLoop{};
    noLoop.loopType = loopNone;
    for (Sample *sample : {&emptySample, &noLoop}) {
        voiceOn(0, *sample, 255, 255, false);
        std::vector<float> untouched(2 * 16, 0.5f);
        mixVoices(untouched.data(), 16);
        EXPECT_EQ(untouched, std::vector<float>(2 * 16, 0.5f));
        EXPECT_EQ(voices[0].sample, nullptr);
    }
    // Loop 8..11 shorter than the step of 7.5 wraps by whole loop lengths: 0, 7.5 (70 +
    // 0.5 x 930), 15 - 3 - 3 = 9, 16.5 - 6 = 10.5 (4000 + 0.5 x (1000 - 4000), the guard) ...
    OwnedSample looped =
        makeSample({0, 10, 20, 30, 40, 50, 60, 70, 1000, 2000, 4000, 9999, 9999, 9999, 9999, 9999},
                   loopForward, 8, 3);
    MixerVoice &fast = voiceOn(0, looped.sample, 255, 255, true, 7, 0x80000000);
    std::vector<float> loopBuffer(2 * 6, 0.0f);
    mixVoices(loopBuffer.data(), 6);
    expectPlayed(loopBuffer, 0, {0, 535, 2000, 2500, 2000, 2500});
    EXPECT_EQ((std::vector<uint64_t>{fast.position, fast.positionFraction}),
              (std::vector<uint64_t>{9, 0}));
}

TEST_F(Mixer, PingPongLoopsMirrorAtBothEnds) {
    // Loop 2..6, guard s[6] = s[5]; a step of 1.25 from 4: 4 and 5.25; 6.5 mirrors to 12 -
    // 6.5 - 2^-32.
    OwnedSample owned = makeSample({0, 100, 200, 300, 400, 500}, loopPingPong, 2, 4);
    MixerVoice &voice = voiceOn(0, owned.sample, 255, 255, true, 1, 0x40000000);
    voice.position = 4;
    std::vector<float> buffer(2 * 8, 0.0f);
    const auto state = [&] {
        return std::vector<int64_t>{voice.position, voice.positionFraction, voice.direction};
    };
    mixVoices(buffer.data(), 2);
    EXPECT_EQ(state(), (std::vector<int64_t>{5, 0x7FFFFFFF, backwards}));
    // Backwards, the lowest fraction bit cleared before each step: 5.5 - 2^-32 (w rounds to
    // 0.5), 4.25 - 2^-31 (425), 3 - 2^-31 (w rounded to 1.0: 300); 1.75 - 2^-31 mirrors at
    // 2 to 2.25 + 2^-32.
    mixVoices(buffer.data() + 4, 3);
    EXPECT_EQ(state(), (std::vector<int64_t>{2, 0x40000001, forwards}));
    // 2.25, 3.5, 4.75, then 6 mirrors to 12 - 6 - 2^-32.
    mixVoices(buffer.data() + 10, 3);
    expectPlayed(buffer, 0, {400, 500, 500, 425, 300, 225, 350, 475});
    EXPECT_EQ(state(), (std::vector<int64_t>{5, 0xFFFFFFFF, backwards}));
    // From frame 3 backwards over a loop from 0 (exactly length + 8 values, so a stray read
    // shows): 3, 2, 1; on frame 0 it turns where it is: 0, 1, 2, 3; 4 mirrors to 4 - 2^-32,
    // read with w rounded to 1.0: 3.99 (the guard), 2.99 ...; -2^-31 mirrors at 0 to 2^-32.
    resetVoices();
    OwnedSample fromZero = makeSample({1000, 2000, 3000, 4000}, loopPingPong, 0, 4);
    MixerVoice &back = voiceOn(1, fromZero.sample, 255, 0);
    back.position = 3;
    back.direction = backwards;
    std::vector<float> zero(2 * 12, 0.0f);
    mixVoices(zero.data(), 12);
    expectPlayed(zero, 0, {4000, 3000, 2000, 1000, 2000, 3000, 4000, 4000, 4000, 3000, 2000, 1000});
    EXPECT_EQ((std::vector<int64_t>{back.position, back.positionFraction, back.direction}),
              (std::vector<int64_t>{1, 0, forwards}));
}

TEST_F(Mixer, InterpolatesAndStepsWithTheLowestFractionBitCleared) {
    // s[i] + w (s[i+1] - s[i]) at 0, 0.5 ... 4.5: 2.5 gives -1000 + 0.5 x 1003 = -498.5,
    // 4.5 gives -32768 + 0.5 x 65535 = -0.5.
    OwnedSample owned = makeSample({0, 1000, -1000, 3, -32768, 32767});
    MixerVoice &voice = voiceOn(0, owned.sample, 255, 255, true, 0, 0x80000000);
    std::vector<float> buffer(2 * 10, 0.0f);
    mixVoices(buffer.data(), 10);
    expectPlayed(buffer, 0, {0, 500, 1000, 0, -1000, -498.5f, 3, -16382.5f, -32768, -0.5f});
    EXPECT_EQ(buffer[19], -0.5f * fullGain);
    EXPECT_EQ(voice.position, 5u);
    // 1 + 2^-32: the extra 2^-32 never accumulates.
    OwnedSample zeros = constantSample(0, 64);
    MixerVoice &plain = voiceOn(1, zeros.sample, 255, 255, true, 1, 1);
    mixVoices(buffer.data(), 4);
    EXPECT_EQ((std::vector<uint64_t>{plain.position, plain.positionFraction}),
              (std::vector<uint64_t>{4, 1}));
}

TEST_F(Mixer, SilentVoicesMoveLikeAudibleOnes) {
    // A note's old voice after its ramp down adds nothing but moves on, loop turns too.
    OwnedSample owned = makeSample(std::vector<int16_t>(40, 1000), loopPingPong, 8, 20);
    for (uint32_t fraction : {0u, 1u, 0x9e3779b9u, 0xfffffffeu}) {
        MixerVoice &audible = voiceOn(0, owned.sample, 200, 100, true, 1, fraction);
        MixerVoice &silent = voiceOn(1, owned.sample, 0, 0, true, 1, fraction);
        audible.position = silent.position = 3;
        audible.positionFraction = silent.positionFraction = 0x12345679;
        std::vector<float> buffer(2 * 999, 0.0f);
        mixVoices(buffer.data(), 999);
        EXPECT_EQ(
            (std::vector<int64_t>{silent.position, silent.positionFraction, silent.direction}),
            (std::vector<int64_t>{audible.position, audible.positionFraction, audible.direction}));
    }
}

TEST_F(Mixer, MixesSlotsBelow64AndOnlyForFrames) {
    OwnedSample owned = constantSample(1000, 64);
    MixerVoice &started = voiceOn(63, owned.sample, 255, 255, false);
    std::vector<float> buffer(2 * 8, 0.0f);
    mixVoices(buffer.data(), 0);
    mixVoices(buffer.data(), -3);
    EXPECT_EQ(
        (std::vector<int64_t>{started.position, started.rampRemaining, started.rampTargetLeft}),
        (std::vector<int64_t>{0, 0, 0}));
    EXPECT_EQ(buffer, std::vector<float>(2 * 8, 0.0f));
    MixerVoice &idle = voices[5];
    idle.volumeLeft = 100;
    idle.rampRemaining = 3;
    voiceOn(63, owned.sample, 255, 0);
    for (int slot : {64, 100, 255})
        voiceOn(slot, owned.sample, 255, 255);
    mixVoices(buffer.data(), 8);
    // Only slot 63 sounds, on the left; the idle voice starts no ramp.
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ((std::vector<float>{buffer[2 * k], buffer[2 * k + 1]}),
                  (std::vector<float>{1000.0f * fullGain, 0.0f}));
    EXPECT_EQ((std::vector<int64_t>{voices[63].position, voices[64].position, voices[255].position,
                                    idle.rampRemaining, idle.rampTargetLeft}),
              (std::vector<int64_t>{8, 0, 0, 3, 0}));
}

TEST(ConvertToPcm16, SumsBeyond16BitsClipOnlyAtConversion) {
    resetVoices();
    OwnedSample high = constantSample(32767, 16), low = constantSample(-32768, 16);
    for (int v = 0; v < 4; ++v)
        voiceOn(v, v < 2 ? high.sample : low.sample, v < 2 ? 255 : 0, v < 2 ? 0 : 255);
    std::vector<float> buffer(2 * 4, 0.0f);
    mixVoices(buffer.data(), 4);
    resetVoices();
    EXPECT_EQ(buffer[6], 32767.0f * fullGain + 32767.0f * fullGain);
    EXPECT_EQ(buffer[7], -32768.0f * fullGain + -32768.0f * fullGain);
    // Rounding to nearest even, then limits: 32767.5 ties to 32768 and is lowered,
    // -32768.6 rounds to -32769 and is raised.
    buffer.insert(buffer.end(), {32767.4f, 40000.0f, 2.5f, 3.5f, -2.5f, 32767.5f, -32768.6f, -0.5f,
                                 -1.5f, 0.49f});
    std::vector<int16_t> pcm(buffer.size() + 2, 1234);
    convertToPcm16(pcm.data(), buffer.data(), static_cast<int32_t>(buffer.size() / 2));
    EXPECT_EQ(pcm, (std::vector<int16_t>{32767,  -32768, 32767, -32768, 32767, -32768, 32767,
                                         -32768, 32767,  32767, 2,      4,     -2,     32767,
                                         -32768, 0,      -2,    0,      1234,  1234}));
    // Nothing for no frames or a missing buffer.
    std::fill(pcm.begin(), pcm.end(), 1234);
    convertToPcm16(pcm.data(), buffer.data(), 0);
    convertToPcm16(pcm.data(), buffer.data(), -1);
    convertToPcm16(nullptr, buffer.data(), 1);
    convertToPcm16(pcm.data(), nullptr, 1);
    EXPECT_EQ(pcm, std::vector<int16_t>(pcm.size(), 1234));
}

} // namespace
