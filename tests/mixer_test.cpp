// The software mixer on hand-built samples: gain ramps, the constant and
// single-frame paths, sample loops and ends, interpolation, voice selection,
// and the rounding and clipping into 16-bit PCM.

#include "player/mixer.h"
#include "player/player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// The mixer's single-precision constants.
const float inverse255 = 1.0f / 255;
const float inverse256 = 1.0f / 256;
const float rampStep = 1.0f / 128;
// Gain 255 as the constant pass applies it.
const float fullGain = 255.0f * inverse255;

// A sample as the loader leaves it: length + 8 values, the guard value at the
// loop end, zeros after the data.
struct OwnedSample {
    std::unique_ptr<int16_t[]> values;
    Sample sample{};
};

OwnedSample makeSample(const std::vector<int16_t> &values, uint8_t loopType, uint32_t loopStart,
                       uint32_t loopLength) {
    OwnedSample owned;
    const uint32_t length = static_cast<uint32_t>(values.size());
    owned.values.reset(new int16_t[length + 8]());
    std::copy(values.begin(), values.end(), owned.values.get());
    Sample &sample = owned.sample;
    sample.data = owned.values.get();
    sample.length = length;
    sample.loopType = loopType;
    sample.loopStart = loopType == loopNone ? 0 : loopStart;
    sample.loopLength = loopType == loopNone ? length : loopLength;
    const uint32_t loopEnd = sample.loopStart + sample.loopLength;
    if (loopType == loopForward)
        sample.data[loopEnd] = sample.data[sample.loopStart];
    else if (loopType == loopPingPong)
        sample.data[loopEnd] = sample.data[loopEnd - 1];
    return owned;
}

OwnedSample constantSample(int16_t value, uint32_t length) {
    return makeSample(std::vector<int16_t>(length, value), loopForward, 0, length);
}

// A voice at a note start: gains 0, no ramp running, step one frame.
MixerVoice &startedVoice(int slot, Sample &sample, int32_t left, int32_t right) {
    MixerVoice &voice = voices[slot];
    voice.sample = &sample;
    voice.volumeLeft = left;
    voice.volumeRight = right;
    voice.direction = forwards;
    return voice;
}

// A voice whose last ramp has ended at its gains.
MixerVoice &steadyVoice(int slot, Sample &sample, int32_t left, int32_t right) {
    MixerVoice &voice = startedVoice(slot, sample, left, right);
    voice.rampTargetLeft = left;
    voice.rampTargetRight = right;
    voice.rampGainLeft = left << 8;
    voice.rampGainRight = right << 8;
    return voice;
}

void setStep(MixerVoice &voice, uint32_t integer, uint32_t fraction) {
    voice.speedInteger = integer;
    voice.speedFraction = fraction;
}

// The gains of a ramp's frames, step by step in float: a pass starts from the
// stored 8.8 gain times 1/256 times 1/255, adds delta after every frame, and
// stores its gain times 255 times 256, rounded, for the next pass.
std::vector<float> rampGains(int32_t storedGain, float delta, const std::vector<int> &passes) {
    std::vector<float> gains;
    for (int length : passes) {
        float gain = static_cast<float>(storedGain) * inverse256 * inverse255;
        for (int k = 0; k < length; ++k) {
            gains.push_back(gain);
            gain += delta;
        }
        storedGain = static_cast<int32_t>(std::nearbyint(gain * 255.0f * 256.0f));
    }
    return gains;
}

float rampDelta(int32_t difference) {
    return static_cast<float>(difference) * inverse255 * rampStep;
}

class MixerFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        resetVoices();
        setRampLength(44100);
    }
    // No voice may keep pointing at a sample of a finished test.
    void TearDown() override { resetVoices(); }
};

class MixerRamp : public MixerFixture {};
class MixerLoop : public MixerFixture {};
class MixerInterpolation : public MixerFixture {};
class MixerVoiceSelection : public MixerFixture {};

TEST_F(MixerRamp, NoteStartRampsUpOver128FramesAcrossAnyStretchBorders) {
    // Constant 10000 on a forward loop of 512 frames: no loop boundary within
    // the 328 frames, and every value read is 10000, so each output is
    // 10000 x gain.
    OwnedSample owned = constantSample(10000, 512);
    const std::vector<std::vector<int>> splits = {{328}, {1, 50, 77, 200}, {3, 64, 45, 216}};
    for (const std::vector<int> &calls : splits) {
        SCOPED_TRACE(::testing::Message() << "first stretch " << calls[0] << " frames");
        resetVoices();
        MixerVoice &voice = startedVoice(0, owned.sample, 120, 60);
        std::vector<float> buffer(2 * 328, 0.0f);
        std::vector<int> rampPasses; // the stretch borders cut the ramp into passes
        int done = 0;
        for (int frames : calls) {
            if (done < 128)
                rampPasses.push_back(std::min(frames, 128 - done));
            mixVoices(buffer.data() + 2 * done, frames);
            done += frames;
        }
        // Per frame 120/255 x 1/128 on the left and 60/255 x 1/128 on the right.
        const std::vector<float> left = rampGains(0, rampDelta(120), rampPasses);
        const std::vector<float> right = rampGains(0, rampDelta(60), rampPasses);
        ASSERT_EQ(left.size(), 128u);
        EXPECT_EQ(buffer[0], 0.0f);
        EXPECT_EQ(buffer[1], 0.0f);
        for (int k = 0; k < 128; ++k) {
            ASSERT_EQ(buffer[2 * k], 10000.0f * left[k]) << "frame " << k;
            ASSERT_EQ(buffer[2 * k + 1], 10000.0f * right[k]) << "frame " << k;
            // k/128 of the gains, up to the float rounding of 128 additions.
            EXPECT_NEAR(buffer[2 * k], 10000.0 * 120 / 255 * k / 128, 0.01);
            EXPECT_NEAR(buffer[2 * k + 1], 10000.0 * 60 / 255 * k / 128, 0.01);
        }
        for (int k = 128; k < 328; ++k) {
            ASSERT_EQ(buffer[2 * k], 10000.0f * (120.0f * inverse255)) << "frame " << k;
            ASSERT_EQ(buffer[2 * k + 1], 10000.0f * (60.0f * inverse255)) << "frame " << k;
        }
        EXPECT_EQ(voice.rampRemaining, 0);
        EXPECT_EQ(voice.rampGainLeft, 120 << 8);
        EXPECT_EQ(voice.rampGainRight, 60 << 8);
        EXPECT_EQ(voice.rampDeltaLeft, 0.0f);
        EXPECT_EQ(voice.position, 328u);
    }
}

TEST_F(MixerRamp, GainChangeMidRampStartsAFullRampFromTheIntegerGain) {
    OwnedSample owned = constantSample(10000, 512);
    MixerVoice &voice = startedVoice(0, owned.sample, 120, 60);
    std::vector<float> first(2 * 50, 0.0f);
    mixVoices(first.data(), 50);
    // 50 frames of 120 x 256 / 128 = 240 and 60 x 256 / 128 = 120 each:
    // stored gains 12000 (46.875) and 6000 (23.4375), 78 frames to go.
    EXPECT_EQ(voice.rampGainLeft, 12000);
    EXPECT_EQ(voice.rampGainRight, 6000);
    EXPECT_EQ(voice.rampRemaining, 78);

    voice.volumeLeft = 200;
    voice.volumeRight = 10;
    std::vector<float> second(2 * 200, 0.0f);
    mixVoices(second.data(), 100);
    // A new ramp of 128 frames: deltas from the integer parts, (200 - 46) / 128
    // and (10 - 23) / 128 per frame, starting from the stored gains.
    EXPECT_EQ(voice.rampRemaining, 28);
    EXPECT_EQ(voice.rampTargetLeft, 200);
    EXPECT_EQ(voice.rampTargetRight, 10);
    EXPECT_EQ(voice.rampDeltaLeft, rampDelta(154));
    EXPECT_EQ(voice.rampDeltaRight, rampDelta(-13));
    mixVoices(second.data() + 2 * 100, 100);

    const std::vector<float> left = rampGains(12000, rampDelta(154), {100, 28});
    const std::vector<float> right = rampGains(6000, rampDelta(-13), {100, 28});
    for (int k = 0; k < 128; ++k) {
        ASSERT_EQ(second[2 * k], 10000.0f * left[k]) << "frame " << k;
        ASSERT_EQ(second[2 * k + 1], 10000.0f * right[k]) << "frame " << k;
    }
    // Frame 127: 46.875 + 127 x 154/128 = 199.672 on the left, while the
    // right has come down to 23.4375 - 127 x 13/128 = 10.539.
    EXPECT_NEAR(second[2 * 127], 10000.0 * 199.671875 / 255, 0.01);
    EXPECT_NEAR(second[2 * 127 + 1], 10000.0 * 10.5390625 / 255, 0.01);
    // The ramp is over after 128 frames: the targets exactly.
    for (int k = 128; k < 200; ++k) {
        ASSERT_EQ(second[2 * k], 10000.0f * (200.0f * inverse255)) << "frame " << k;
        ASSERT_EQ(second[2 * k + 1], 10000.0f * (10.0f * inverse255)) << "frame " << k;
    }
    EXPECT_EQ(voice.rampGainLeft, 200 << 8);
    EXPECT_EQ(voice.rampGainRight, 10 << 8);
}

TEST_F(MixerRamp, OddLastFrameOfConstantGainsUsesTheStoredRampGains) {
    OwnedSample owned = constantSample(1000, 64);
    // The stored left gain is 120.5 in 8.8: its integer part equals the
    // volume, so no ramp starts, but the single-frame path shows the half.
    MixerVoice &voice = steadyVoice(0, owned.sample, 120, 60);
    voice.rampGainLeft = (120 << 8) | 0x80;
    const float pairLeft = 1000.0f * (120.0f * inverse255);
    const float pairRight = 1000.0f * (60.0f * inverse255);
    const float singleLeft = 1000.0f * (30848.0f * inverse256 * inverse255);

    std::vector<float> one(2, 0.0f);
    mixVoices(one.data(), 1);
    EXPECT_EQ(one[0], singleLeft);
    EXPECT_EQ(one[1], pairRight); // 60 << 8 gives back exactly 60/255
    EXPECT_NE(singleLeft, pairLeft);

    std::vector<float> three(6, 0.0f);
    mixVoices(three.data(), 3);
    EXPECT_EQ(three, (std::vector<float>{pairLeft, pairRight, pairLeft, pairRight, singleLeft,
                                         pairRight}));
    EXPECT_EQ(voice.rampGainLeft, (120 << 8) | 0x80); // no ramp pass: left as it was
    EXPECT_EQ(voice.rampRemaining, 0);
    EXPECT_EQ(voice.position, 4u);
}

TEST_F(MixerLoop, OneShotSampleEndingMidStretchStopsTheVoice) {
    OwnedSample owned =
        makeSample({100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}, loopNone, 0, 0);
    MixerVoice &voice = steadyVoice(0, owned.sample, 255, 255);
    voice.position = 6;
    setStep(voice, 1, 0x80000000); // 1.5 frames
    std::vector<float> buffer(2 * 10, 0.25f);
    mixVoices(buffer.data(), 10);
    // 4 frames to the end at 1.5 per frame: 3 frames, at 6, 7.5 and 9;
    // 7.5 reads 800 + 0.5 x (900 - 800) = 850.
    const float played[] = {700.0f, 850.0f, 1000.0f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(buffer[2 * k], 0.25f + played[k] * fullGain) << "frame " << k;
        EXPECT_EQ(buffer[2 * k + 1], 0.25f + played[k] * fullGain) << "frame " << k;
    }
    for (int k = 6; k < 20; ++k)
        EXPECT_EQ(buffer[k], 0.25f) << "value " << k;
    EXPECT_EQ(voice.sample, nullptr);
    EXPECT_EQ(voice.position, 0u);
    EXPECT_EQ(voice.positionFraction, 0u);
}

TEST_F(MixerLoop, EmptySampleStopsInItsFirstPassWithoutReadingData) {
    // Both have no data at all: a read would fault.
    Sample noLoop{};
    noLoop.loopType = loopNone;
    for (Sample *sample : {&emptySample, &noLoop}) {
        resetVoices();
        MixerVoice &voice = startedVoice(0, *sample, 255, 255);
        std::vector<float> buffer(2 * 16, 0.5f);
        mixVoices(buffer.data(), 16);
        EXPECT_EQ(buffer, std::vector<float>(2 * 16, 0.5f));
        EXPECT_EQ(voice.sample, nullptr);
        EXPECT_EQ(voice.position, 0u);
    }
}

TEST_F(MixerLoop, ForwardLoopShorterThanTheStepWrapsByWholeLoopLengths) {
    // Loop 8..11 (3 frames), guard s[11] = s[8] = 1000 over the data there.
    OwnedSample owned =
        makeSample({0, 10, 20, 30, 40, 50, 60, 70, 1000, 2000, 4000, 9999, 9999, 9999, 9999, 9999},
                   loopForward, 8, 3);
    MixerVoice &voice = steadyVoice(0, owned.sample, 255, 255);
    setStep(voice, 7, 0x80000000); // 7.5 frames
    std::vector<float> buffer(2 * 6, 0.0f);
    mixVoices(buffer.data(), 6);
    // 0 and 7.5 (70 + 0.5 x 930 = 535), then 15 - 3 - 3 = 9; 9 + 7.5 = 16.5
    // - 3 - 3 = 10.5 (4000 + 0.5 x (1000 - 4000) = 2500, the guard); 18 - 3 x 3
    // = 9; and so on.
    const float played[] = {0.0f, 535.0f, 2000.0f, 2500.0f, 2000.0f, 2500.0f};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(buffer[2 * k], played[k] * fullGain) << "frame " << k;
    EXPECT_EQ(voice.position, 9u);
    EXPECT_EQ(voice.positionFraction, 0u); // the fraction goes through unchanged
    EXPECT_EQ(voice.sample, &owned.sample);
}

TEST_F(MixerLoop, PingPongMirrorsAtBothEnds) {
    // Loop 2..6, guard s[6] = s[5] = 500.
    OwnedSample owned = makeSample({0, 100, 200, 300, 400, 500}, loopPingPong, 2, 4);
    MixerVoice &voice = steadyVoice(0, owned.sample, 255, 255);
    voice.position = 4;
    setStep(voice, 1, 0x40000000); // 1.25 frames
    std::vector<float> buffer(2 * 8, 0.0f);
    const auto expectPlayed = [&](int first, std::vector<float> played) {
        for (size_t k = 0; k < played.size(); ++k)
            EXPECT_EQ(buffer[2 * (first + k)], played[k] * fullGain) << "frame " << first + k;
    };

    // 4 and 5.25 (500 + 0.25 x (500 - 500)); 6.5 mirrors to 12 - 6.5 - 2^-32.
    mixVoices(buffer.data(), 2);
    expectPlayed(0, {400.0f, 500.0f});
    EXPECT_EQ(voice.position, 5u);
    EXPECT_EQ(voice.positionFraction, 0x7FFFFFFFu);
    EXPECT_EQ(voice.direction, backwards);

    // Backwards, the lowest fraction bit cleared before each step: 5.5 - 2^-32
    // (w = 0x3FFFFFFF x 2^-31 rounds to 0.5), 4.25 - 2^-31 (w rounds to 0.25:
    // 425), 3 - 2^-31 (s[2] and s[3] with w rounded to 1.0: 300); then
    // 1.75 - 2^-31 mirrors at 2 to 4 - 1.75 + 2^-31 - 2^-32 = 2.25 + 2^-32.
    mixVoices(buffer.data() + 2 * 2, 3);
    expectPlayed(2, {500.0f, 425.0f, 300.0f});
    EXPECT_EQ(voice.position, 2u);
    EXPECT_EQ(voice.positionFraction, 0x40000001u);
    EXPECT_EQ(voice.direction, forwards);

    // 2.25, 3.5, 4.75, then 6 mirrors to 12 - 6 - 2^-32.
    mixVoices(buffer.data() + 2 * 5, 3);
    expectPlayed(5, {225.0f, 350.0f, 475.0f});
    EXPECT_EQ(voice.position, 5u);
    EXPECT_EQ(voice.positionFraction, 0xFFFFFFFFu);
    EXPECT_EQ(voice.direction, backwards);
}

TEST_F(MixerLoop, PingPongFromFrameZeroNeverReadsBeforeTheData) {
    // Exactly length + 8 values on the heap, so a stray read is caught.
    OwnedSample owned = makeSample({1000, 2000, 3000, 4000}, loopPingPong, 0, 4);
    MixerVoice &voice = steadyVoice(0, owned.sample, 255, 255);
    voice.position = 3;
    voice.direction = backwards;
    std::vector<float> buffer(2 * 12, 0.0f);
    mixVoices(buffer.data(), 12);
    // 3, 2, 1; exactly on frame 0 the voice turns forwards where it is: 0, 1,
    // 2, 3; 4 mirrors to 4 - 2^-32, played backwards with w rounded to 1.0:
    // 3.99 (guard 4000), 2.99, 1.99, 0.99; then -2^-31 mirrors at 0 to 2^-32.
    const float played[] = {4000, 3000, 2000, 1000, 2000, 3000, 4000, 4000, 4000, 3000, 2000, 1000};
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(buffer[2 * k], played[k] * fullGain) << "frame " << k;
    // 2^-32, its lowest bit cleared, plus one frame.
    EXPECT_EQ(voice.position, 1u);
    EXPECT_EQ(voice.positionFraction, 0u);
    EXPECT_EQ(voice.direction, forwards);
}

TEST_F(MixerInterpolation, FractionalPositionsBlendNeighbouringValues) {
    OwnedSample owned = makeSample({0, 1000, -1000, 3, -32768, 32767}, loopNone, 0, 0);
    MixerVoice &voice = steadyVoice(0, owned.sample, 255, 255);
    setStep(voice, 0, 0x80000000); // half a frame
    std::vector<float> buffer(2 * 10, 0.0f);
    mixVoices(buffer.data(), 10);
    // s[i] + w x (s[i+1] - s[i]) at 0, 0.5, 1, ... 4.5: e.g. 2.5 gives
    // -1000 + 0.5 x 1003 = -498.5 and 4.5 gives -32768 + 0.5 x 65535 = -0.5.
    const float played[] = {0, 500, 1000, 0, -1000, -498.5f, 3, -16382.5f, -32768, -0.5f};
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(buffer[2 * k], played[k] * fullGain) << "frame " << k;
        EXPECT_EQ(buffer[2 * k + 1], played[k] * fullGain) << "frame " << k;
    }
    EXPECT_EQ(voice.position, 5u);
    EXPECT_EQ(voice.positionFraction, 0u);
}

TEST_F(MixerInterpolation, AdvanceClearsTheLowestFractionBitBeforeStepping) {
    OwnedSample owned = constantSample(0, 64);
    MixerVoice &voice = steadyVoice(0, owned.sample, 255, 255);
    setStep(voice, 1, 1); // 1 + 2^-32: the extra 2^-32 never accumulates
    std::vector<float> buffer(2 * 4, 0.0f);
    mixVoices(buffer.data(), 4);
    EXPECT_EQ(voice.position, 4u);
    EXPECT_EQ(voice.positionFraction, 1u);
}

// A silent voice (a note's old voice after its ramp down) adds nothing, but
// moves exactly as an audible one does, through its loop turns too.
TEST_F(MixerInterpolation, SilentVoicesMoveLikeAudibleOnes) {
    OwnedSample owned = makeSample(std::vector<int16_t>(40, 1000), loopPingPong, 8, 20);
    for (uint32_t fraction : {0u, 1u, 0x9e3779b9u, 0xfffffffeu}) {
        MixerVoice &audible = steadyVoice(0, owned.sample, 200, 100);
        MixerVoice &silent = steadyVoice(1, owned.sample, 0, 0);
        for (MixerVoice *voice : {&audible, &silent}) {
            setStep(*voice, 1, fraction);
            voice->position = 3;
            voice->positionFraction = 0x12345679;
        }
        std::vector<float> buffer(2 * 999, 0.0f);
        mixVoices(buffer.data(), 999);
        EXPECT_EQ(silent.position, audible.position) << fraction;
        EXPECT_EQ(silent.positionFraction, audible.positionFraction) << fraction;
        EXPECT_EQ(silent.direction, audible.direction) << fraction;
    }
}

TEST_F(MixerVoiceSelection, NothingHappensForEmptyStretches) {
    OwnedSample owned = constantSample(1000, 64);
    MixerVoice &voice = startedVoice(0, owned.sample, 255, 255);
    std::vector<float> buffer(4, 0.5f);
    mixVoices(buffer.data(), 0);
    mixVoices(buffer.data(), -3);
    EXPECT_EQ(buffer, std::vector<float>(4, 0.5f));
    EXPECT_EQ(voice.position, 0u);
    EXPECT_EQ(voice.rampRemaining, 0); // no ramp was started
    EXPECT_EQ(voice.rampTargetLeft, 0);
}

TEST_F(MixerVoiceSelection, IdleVoicesAndSlotsFrom64OnAreLeftAlone) {
    OwnedSample owned = constantSample(1000, 64);
    MixerVoice &idle = voices[5];
    idle.volumeLeft = 100;
    idle.position = 7;
    idle.rampRemaining = 3;
    steadyVoice(63, owned.sample, 255, 0);
    for (int slot : {64, 100, 255})
        steadyVoice(slot, owned.sample, 255, 255);
    std::vector<float> buffer(2 * 8, 0.0f);
    mixVoices(buffer.data(), 8);
    // Only slot 63 sounds, on the left.
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(buffer[2 * k], 1000.0f * fullGain) << "frame " << k;
        EXPECT_EQ(buffer[2 * k + 1], 0.0f) << "frame " << k;
    }
    EXPECT_EQ(voices[63].position, 8u);
    for (int slot : {64, 100, 255})
        EXPECT_EQ(voices[slot].position, 0u) << "slot " << slot;
    EXPECT_EQ(idle.position, 7u);
    EXPECT_EQ(idle.rampRemaining, 3);
    EXPECT_EQ(idle.rampTargetLeft, 0);
}

TEST_F(MixerVoiceSelection, FullScaleVoicesSumBeyond16BitsAndClipOnlyAtConversion) {
    OwnedSample high = constantSample(32767, 16);
    OwnedSample low = constantSample(-32768, 16);
    steadyVoice(0, high.sample, 255, 0);
    steadyVoice(1, high.sample, 255, 0);
    steadyVoice(2, low.sample, 0, 255);
    steadyVoice(3, low.sample, 0, 255);
    std::vector<float> buffer(2 * 4, 0.0f);
    mixVoices(buffer.data(), 4);
    const float high2 = 32767.0f * fullGain + 32767.0f * fullGain;  // about 65534
    const float low2 = -32768.0f * fullGain + -32768.0f * fullGain; // about -65536
    std::vector<int16_t> pcm(2 * 4, 0);
    convertToPcm16(pcm.data(), buffer.data(), 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(buffer[2 * k], high2);
        EXPECT_EQ(buffer[2 * k + 1], low2);
        EXPECT_GT(buffer[2 * k], 65000.0f);
        EXPECT_LT(buffer[2 * k + 1], -65000.0f);
        EXPECT_EQ(pcm[2 * k], 32767);
        EXPECT_EQ(pcm[2 * k + 1], -32768);
    }
}

TEST(ConvertToPcm16, RoundsToNearestEvenAndClips) {
    const std::vector<float> source = {32767.4f, 40000.0f,  -40000.0f, 2.5f,  3.5f,  -2.5f,
                                       32767.5f, -32768.6f, -0.5f,     -1.5f, 0.49f, 7.0f};
    std::vector<int16_t> pcm(source.size(), 0);
    convertToPcm16(pcm.data(), source.data(), static_cast<int32_t>(source.size() / 2));
    // 32767.5 ties to 32768 and is lowered; -32768.6 rounds to -32769 and is raised.
    EXPECT_EQ(pcm,
              (std::vector<int16_t>{32767, 32767, -32768, 2, 4, -2, 32767, -32768, 0, -2, 0, 7}));
}

TEST(ConvertToPcm16, ConvertsTwoValuesPerFrameAndNothingForBadArguments) {
    const float source[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    int16_t pcm[4] = {1234, 1234, 1234, 1234};
    convertToPcm16(pcm, source, 0);
    convertToPcm16(pcm, source, -1);
    convertToPcm16(nullptr, source, 1);
    convertToPcm16(pcm, nullptr, 1);
    EXPECT_EQ(std::vector<int16_t>(pcm, pcm + 4), (std::vector<int16_t>(4, 1234)));
    convertToPcm16(pcm, source, 1);
    EXPECT_EQ(std::vector<int16_t>(pcm, pcm + 4), (std::vector<int16_t>{1, 2, 1234, 1234}));
}

} // namespace
