// Milliseconds per frame of the ray-traced scene on this machine's OpenGL,
// at the window's initial size and at full HD. Each repetition draws one
// frame and waits for it; the median over the repetitions is the figure.
// Run under an X server, e.g. scripts/with-xvfb 320x240 build/bench/frames

#include "headless/offscreen.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

void drawFrames(benchmark::State &state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    OffscreenTarget target;
    std::string error;
    if (!createOffscreenTarget(width, height, OffscreenFormat::rgba8, target, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    static int frame = 0;
    for (auto _ : state)
        renderOffscreen(target, frameStateAt(frame++, 0, 0, width, height));
    state.counters["megapixels"] = width * height / 1e6;
    state.counters["ns_per_pixel"] = benchmark::Counter(
        static_cast<double>(width) * height,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(drawFrames)
    ->Args({933, 700})
    ->Args({1920, 1080})
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(21)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    std::string error;
    if (!openOffscreenContext("frames", error)) {
        std::fprintf(stderr, "frames: %s\n", error.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
