// The mixer's throughput in voice-frames per second: mixVoices over one tick
// of 882 frames (125 BPM) with 1, 8 and 32 active voices, each stepping 0.73
// frame per output frame at constant gains (the start ramp is over before the
// measured stretch begins). Looped voices play a forward loop over their whole
// sample and turn at its end; one-shot voices play long samples and are sent
// back to their start before they would reach the end, so every voice stays
// active on every measured frame.
// Every case runs on each path of the mixer's frame loops, the scalar
// reference and the vector paths, so one run compares them on the same
// machine at the same moment; a path this processor lacks is skipped.
// Run: build/bench/mixer

#include "player/mixer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const int32_t framesPerCall = 882;
const int32_t sampleFrames = 4096;
// 0.73 frame in 32.32 fixed point.
const uint32_t stepFraction = static_cast<uint32_t>(0.73 * 4294967296.0);

// One sample's data: the values, then the guard value at the loop end (a copy
// of the value at the loop start) and 8 zeros, as the loader lays them out.
struct OwnedSample {
    std::vector<int16_t> values;
    Sample sample{};
};

void makeSample(OwnedSample &owned, int seed, bool looped) {
    owned.values.assign(sampleFrames + 1 + 8, 0);
    for (int32_t i = 0; i < sampleFrames; ++i)
        owned.values[i] = static_cast<int16_t>(12000 * std::sin(0.05 * (seed + 1) * i) +
                                               3000 * std::sin(0.31 * i + seed));
    owned.values[sampleFrames] = looped ? owned.values[0] : 0;
    Sample &sample = owned.sample;
    sample.data = owned.values.data();
    sample.length = sampleFrames;
    sample.loopStart = 0;
    sample.loopLength = sampleFrames;
    sample.volume = 64;
    sample.panning = 128;
    sample.bitsPerSample = 16;
    sample.loopType = looped ? loopForward : loopNone;
}

const char *pathNames[] = {"scalar", "sse2", "avx2"};

// Selects the path of the benchmark's last argument; false, with the
// benchmark skipped, when this processor lacks it.
bool selectPath(benchmark::State &state, int argument) {
    const auto path = static_cast<MixerPath>(state.range(argument));
    if (selectMixerPath(path))
        return true;
    state.SkipWithError("this path is missing on this processor");
    return false;
}

void mixActiveVoices(benchmark::State &state) {
    const int voiceTotal = static_cast<int>(state.range(0));
    const bool looped = state.range(1) != 0;
    if (!selectPath(state, 2))
        return;
    std::vector<OwnedSample> samples(voiceTotal);
    resetVoices();
    setRampLength(44100);
    for (int i = 0; i < voiceTotal; ++i) {
        makeSample(samples[i], i, looped);
        MixerVoice &voice = voices[i];
        voice.sample = &samples[i].sample;
        voice.speedInteger = 0;
        voice.speedFraction = stepFraction;
        voice.direction = forwards;
        voice.volume = 100;
        voice.pan = 150;
        voice.volumeLeft = 100 * 150 / 255;
        voice.volumeRight = (255 - 150) * 100 / 255;
        // Spread the voices over their samples.
        voice.position = static_cast<uint32_t>(i * 97 % 1024);
    }
    std::vector<float> buffer(2 * framesPerCall);
    // Past the 128-frame start ramp: the gains are constant from here on.
    mixVoices(buffer.data(), 256);
    // A one-shot voice goes back to its start before one more call could take
    // it to its end: 882 * 0.73 = 644 frames a call, with room to spare.
    const uint32_t rearmAt = sampleFrames - 2 * 644;
    for (auto _ : state) {
        if (!looped)
            for (int i = 0; i < voiceTotal; ++i)
                if (voices[i].position >= rearmAt)
                    voices[i].position = 0;
        mixVoices(buffer.data(), framesPerCall);
        benchmark::ClobberMemory();
    }
    for (int i = 0; i < voiceTotal; ++i)
        if (!voices[i].sample || voices[i].rampRemaining != 0) {
            state.SkipWithError("a voice stopped or ramped during the measured stretch");
            break;
        }
    benchmark::DoNotOptimize(buffer.data());
    const int64_t voiceFrames = int64_t{framesPerCall} * voiceTotal;
    state.SetItemsProcessed(state.iterations() * voiceFrames);
    // The inverted rate: seconds per voice-frame, shown as for example "1.3ns".
    state.counters["time_per_voice_frame"] = benchmark::Counter(
        static_cast<double>(voiceFrames),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel(std::string(looped ? "looped " : "one-shot ") + pathNames[state.range(2)]);
    resetVoices();
    selectMixerPath(fastestMixerPath());
}

BENCHMARK(mixActiveVoices)
    ->ArgNames({"voices", "looped", "path"})
    ->ArgsProduct({{1, 8, 32}, {1, 0}, {0, 1, 2}})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// convertToPcm16 on one block of 884 frames of a loud mix, a quarter of it
// beyond 16 bits: the scalar path calls the C library per value, as the
// converter did before it had vector loops.
void convertBlock(benchmark::State &state) {
    if (!selectPath(state, 0))
        return;
    const int32_t blockFrames = 884;
    std::vector<float> mix(2 * blockFrames);
    for (size_t k = 0; k < mix.size(); ++k)
        mix[k] = static_cast<float>(36000 * std::sin(0.0123 * static_cast<double>(k)) + 0.5);
    std::vector<int16_t> pcm(mix.size());
    for (auto _ : state) {
        convertToPcm16(pcm.data(), mix.data(), blockFrames);
        benchmark::ClobberMemory();
    }
    state.counters["time_per_value"] = benchmark::Counter(
        static_cast<double>(mix.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel(pathNames[state.range(0)]);
    selectMixerPath(fastestMixerPath());
}

BENCHMARK(convertBlock)
    ->ArgName("path")
    ->DenseRange(0, 2)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
