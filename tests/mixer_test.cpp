// The mixer on hand-built samples (the interpolation is measured through xm2wav).

#include "player/mixer.h"
#include "song_bytes.h"
#include "xm_builder/xm_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const float inverse255 = 1.0f / 255, inverse256 = 1.0f / 256;
const float fullGain = 255.0f * inverse255; // gain 255 as the constant pass applies it

// Samples as the loader leaves them (16-bit), freed after each test.
std::vector<Song *> songs;
Sample &loaded(std::vector<int> values, uint8_t loop = xmNoLoop, uint32_t start = 0,
               uint32_t length = 0) {
    XmSong xm = xmSong("."); // its sample is 16-bit
    XmSample &sample = xm.instruments[0].samples[0];
    sample.values = std::move(values);
    sample.loop = loop;
    sample.loopStart = start;
    sample.loopLength = length;
    songs.push_back(loadSongBytes(buildXm(xm)));
    return *songs.back()->instruments[0].samples[0];
}
Sample &constantSample(int value, uint32_t length) {
    return loaded(std::vector<int>(length, value), xmForwardLoop, 0, length);
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
    void TearDown() override {
        resetVoices();
        for (Song *song : songs)
            freeSong(song);
        songs.clear();
    }
};

TEST_F(Mixer, NoteStartRampsUpOver128FramesAcrossAnyStretchBorders) {
    // A steady 10000 under gains 120 and 60: each output is 10000 x gain.
    Sample &sample = constantSample(10000, 512);
    for (const std::vector<int> &calls :
         {std::vector<int>{328}, {1, 50, 77, 200}, {3, 64, 45, 216}, {127, 201}}) {
        resetVoices();
        MixerVoice &voice = voiceOn(0, sample, 120, 60, false);
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
        EXPECT_EQ(voice.rampDeltaLeft, 0.0f);
    }
    // A one-shot sample of 200 frames plays on after its ramp, to its end.
    resetVoices();
    MixerVoice &oneShot = voiceOn(0, loaded(std::vector<int>(200, 10000)), 120, 60, false);
    std::vector<float> buffer(2 * 328, 0.0f);
    mixVoices(buffer.data(), 328);
    EXPECT_EQ((std::vector<float>{buffer[2 * 199], buffer[2 * 200]}),
              (std::vector<float>{10000.0f * (120.0f * inverse255), 0.0f}));
    EXPECT_EQ(oneShot.sample, nullptr);
}

TEST_F(Mixer, AOneShotSampleEndingMidStretchStopsTheVoice) {
    // 4 frames to the end at 1.5 a frame: 6, 7.5 (800 + 0.5 x 100) and 9, then the voice
    // stops and the rest of the buffer is left alone.
    Sample &oneShot = loaded({100, 200, 300, 400, 500, 600, 700, 800, 900, 1000});
    MixerVoice &voice = voiceOn(0, oneShot, 255, 255, true, 1, 0x80000000);
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
}

TEST_F(Mixer, PingPongLoopsMirrorAtBothEnds) {
    // Loop 2..6, guard s[6] = s[5]; a step of 1.25 from 4: 4 and 5.25; 6.5 mirrors to 12 -
    // 6.5 - 2^-32.
    Sample &pingPong = loaded({0, 100, 200, 300, 400, 500}, xmPingPongLoop, 2, 4);
    MixerVoice &voice = voiceOn(0, pingPong, 255, 255, true, 1, 0x40000000);
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
    // A step of 6 back from 3 passes the whole loop: -3 mirrors at 2 to 7 - 2^-32, which
    // mirrors at 6 to 5.
    voice.position = 3;
    voice.positionFraction = 0;
    voice.speedInteger = 6;
    voice.speedFraction = 0;
    mixVoices(buffer.data(), 1);
    EXPECT_EQ(state(), (std::vector<int64_t>{5, 0, backwards}));
}

TEST_F(Mixer, MixesSlotsBelow64AndClipsOnlyAtConversion) {
    // No frames, or no buffer, mix nothing and start no ramp.
    Sample &high = constantSample(32767, 16), &low = constantSample(-32768, 16);
    MixerVoice &started = voiceOn(60, high, 255, 0, false);
    std::vector<float> buffer(2 * 4, 0.0f);
    mixVoices(buffer.data(), 0);
    mixVoices(buffer.data(), -3);
    mixVoices(nullptr, 4);
    EXPECT_EQ(
        (std::vector<int64_t>{started.position, started.rampRemaining, started.rampTargetLeft}),
        (std::vector<int64_t>{0, 0, 0}));
    // Two voices of 32767 hard left, two of -32768 hard right: sums beyond 16 bits. An idle
    // voice and the slots from 64 on are left alone; a silent one moves on through its loop's
    // end, from 14 to 2.
    for (int v = 60; v < 64; ++v)
        voiceOn(v, v < 62 ? high : low, v < 62 ? 255 : 0, v < 62 ? 0 : 255);
    for (int slot : {64, 255})
        voiceOn(slot, high, 255, 255);
    voices[5].rampRemaining = 3;
    voiceOn(7, high, 0, 0).position = 14;
    mixVoices(buffer.data(), 4);
    EXPECT_EQ((std::vector<float>{buffer[6], buffer[7]}),
              (std::vector<float>{32767.0f * fullGain + 32767.0f * fullGain,
                                  -32768.0f * fullGain + -32768.0f * fullGain}));
    EXPECT_EQ((std::vector<int64_t>{voices[63].position, voices[64].position, voices[255].position,
                                    voices[5].rampRemaining, voices[5].rampTargetLeft,
                                    voices[7].position}),
              (std::vector<int64_t>{4, 0, 0, 3, 0, 2}));
    // Rounding to nearest even, then the limits: 32767.5 ties to 32768 and is lowered,
    // -32768.6 rounds to -32769 and is raised. Nothing for no frames or a missing buffer.
    buffer.insert(buffer.end(), {32767.4f, 2.5f, 3.5f, -2.5f, 32767.5f, -32768.6f, -0.5f, -1.5f});
    std::vector<int16_t> pcm(buffer.size() + 2, 1234);
    convertToPcm16(pcm.data(), buffer.data(), static_cast<int32_t>(buffer.size() / 2));
    EXPECT_EQ(
        std::vector<int16_t>(pcm.begin() + 6, pcm.end()),
        (std::vector<int16_t>{32767, -32768, 32767, 2, 4, -2, 32767, -32768, 0, -2, 1234, 1234}));
    std::fill(pcm.begin(), pcm.end(), 1234);
    convertToPcm16(pcm.data(), buffer.data(), 0);
    convertToPcm16(nullptr, buffer.data(), 1);
    convertToPcm16(pcm.data(), nullptr, 1);
    EXPECT_EQ(pcm, std::vector<int16_t>(pcm.size(), 1234));
}

} // namespace
