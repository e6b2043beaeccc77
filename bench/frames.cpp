// Milliseconds per frame of the ray-traced scene on this machine's OpenGL,
// at the window's initial size and at full HD, or at the size --size names.
// Each repetition draws one frame and waits for it; the median over the
// repetitions is the figure. Run under an X server, e.g.
// scripts/with-xvfb 320x240 build/bench/frames [--size WxH]

#include "cli/arguments.h"
#include "headless/offscreen.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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

// Each size drawn 21 times, one frame a repetition.
void registerSizes(const std::vector<std::pair<int, int>> &sizes) {
    benchmark::internal::Benchmark *frames = benchmark::RegisterBenchmark("drawFrames", drawFrames);
    for (const auto &[width, height] : sizes)
        frames->Args({width, height});
    frames->UseRealTime()->Iterations(1)->Repetitions(21)->ReportAggregatesOnly(true)->Unit(
        benchmark::kMillisecond);
}

} // namespace

int main(int argc, char **argv) {
    // --size WxH, before Google Benchmark's own options, draws that size alone.
    std::vector<std::pair<int, int>> sizes = {{933, 700}, {1920, 1080}};
    if (argc >= 2 && std::string(argv[1]) == "--size") {
        int width = 0, height = 0;
        if (argc < 3 || !parseSize(argv[2], width, height)) {
            std::fprintf(stderr, "frames: --size needs WxH, as 1920x1080\n");
            return 2;
        }
        sizes = {{width, height}};
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }
    std::string error;
    if (!openOffscreenContext("frames", error)) {
        std::fprintf(stderr, "frames: %s\n", error.c_str());
        return 1;
    }
    registerSizes(sizes);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
