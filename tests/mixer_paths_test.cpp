// The mixer's vector paths against its scalar reference, on random voices (steps, loops of
// every kind, directions, gains, ramps) and values: the same bits, mixed and converted.

#include "player/mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace {

std::mt19937 engine(13);

int32_t dice(uint32_t bound) {
    return static_cast<int32_t>(engine() % bound);
}

// Laid out as the loader leaves it: the guard value at the loop end, 8 zeros after the data.
void makeSample(Sample &sample, std::vector<int16_t> &values) {
    const uint32_t length = 1 + dice(dice(2) ? 40 : 3000);
    values.assign(length + 8, 0);
    for (uint32_t k = 0; k < length; ++k)
        values[k] = static_cast<int16_t>(dice(65536) - 32768);
    sample.data = values.data();
    sample.length = length;
    sample.loopType = std::vector<uint8_t>{loopNone, loopForward, loopPingPong}[dice(3)];
    const bool looped = sample.loopType != loopNone;
    sample.loopStart = looped ? dice(length) : 0;
    sample.loopLength = looped ? 1 + dice(length - sample.loopStart) : length;
    const uint32_t end = sample.loopStart + sample.loopLength;
    if (looped)
        values[end] = values[sample.loopType == loopForward ? sample.loopStart : end - 1];
}

// A voice somewhere inside its sample, moving backwards only inside a ping-pong loop.
void makeVoice(MixerVoice &voice, Sample &sample) {
    const bool reversed = sample.loopType == loopPingPong && dice(2);
    const uint32_t from = reversed ? sample.loopStart : 0;
    voice.sample = &sample;
    voice.position = from + dice(sample.loopStart + sample.loopLength - from);
    voice.positionFraction = static_cast<uint32_t>(engine());
    voice.direction = reversed ? backwards : forwards;
    voice.speedInteger = dice(4) == 0 ? dice(40) : dice(3);
    voice.speedFraction = static_cast<uint32_t>(engine());
    voice.volumeLeft = dice(4) == 0 ? 0 : dice(256);
    voice.volumeRight = dice(4) == 0 ? 0 : dice(256);
    voice.rampGainLeft = dice(3) == 0 ? voice.volumeLeft << 8 : dice(65536);
    voice.rampGainRight = dice(3) == 0 ? voice.volumeRight << 8 : dice(65536);
    voice.rampRemaining = dice(2) ? 1 + dice(128) : 0; // a ramp going on, or none
    voice.rampTargetLeft = voice.rampRemaining ? voice.volumeLeft : dice(256);
    voice.rampTargetRight = voice.volumeRight;
    voice.rampDeltaLeft = static_cast<float>(dice(511) - 255) / 32640;
    voice.rampDeltaRight = static_cast<float>(dice(511) - 255) / 32640;
}

// True when the job gives the scalar path's result on every vector path this processor has.
template <class Job> bool sameOnEveryPath(Job job) {
    selectMixerPath(MixerPath::scalar);
    const auto reference = job();
    const bool same = (!selectMixerPath(MixerPath::sse2) || job() == reference) &&
                      (!selectMixerPath(MixerPath::avx2) || job() == reference);
    selectMixerPath(fastestMixerPath());
    return same;
}

TEST(MixerPaths, VectorPathsMixTheSameBitsAsTheScalarPath) {
    std::vector<int16_t> values[mixedVoiceCount];
    Sample samples[mixedVoiceCount] = {};
    for (int trial = 0; trial < 300; ++trial) {
        resetVoices();
        for (int i = 0, active = 1 + dice(trial % 10 ? 4 : mixedVoiceCount); i < active; ++i) {
            makeSample(samples[i], values[i]);
            makeVoice(voices[i], samples[i]);
        }
        const int32_t frames[] = {dice(1000), dice(20)};
        std::vector<float> start(2 * 1020);
        std::generate(start.begin(), start.end(), [] { return dice(2001) - 1000.5f; });
        const std::vector<MixerVoice> before(voices, voices + mixedVoiceCount);
        EXPECT_TRUE(sameOnEveryPath([&] {
            std::copy(before.begin(), before.end(), voices);
            std::vector<float> mixed = start;
            mixVoices(mixed.data(), frames[0]);
            mixVoices(mixed.data() + 2 * frames[0], frames[1]);
            std::string bits(reinterpret_cast<const char *>(mixed.data()), mixed.size() * 4);
            for (const MixerVoice &voice : voices) // what the mixer writes: sample, volumeLeft on
                bits.append(reinterpret_cast<const char *>(&voice) + offsetof(MixerVoice, sample),
                            sizeof(MixerVoice) - offsetof(MixerVoice, sample));
            return bits;
        })) << trial;
    }
}

TEST(MixerPaths, VectorPathsConvertLikeTheScalarPath) {
    std::vector<float> values = {2.5f,   0.5f, -0.5f, -2.5f,    32767.5f,  -32768.5f, -0.0f,
                                 1e-40f, 3e9f, -3e9f, INFINITY, -INFINITY, NAN};
    while (values.size() < 2 * 301)
        values.push_back(static_cast<float>(dice(160001) - 80000) / 2);
    for (int32_t frames = 1; frames <= 301; frames += 3)
        EXPECT_TRUE(sameOnEveryPath([&] {
            std::vector<int16_t> converted(2 * frames);
            convertToPcm16(converted.data(), values.data(), frames);
            return converted;
        })) << frames;
}

} // namespace
