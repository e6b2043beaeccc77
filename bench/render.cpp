// Offline rendering speed, as xm2wav renders: beginPlayback, then fillBlock
// block after block (sequencer ticks and mixing, no file output), on songs
// made by the XM builder where every channel plays looped samples with a new
// note on every other row at the default volume. Reported as x_realtime:
// seconds of music per second of wall time. Since a note start leaves the old
// voice of the channel playing on silently, a song of n channels keeps 2n
// voices busy once every channel has played two notes.
// Run: build/bench/render

#include "player/blockfill.h"
#include "player/memory_file.h"
#include "player/mixer.h"
#include "player/player.h"
#include "player/settings.h"
#include "tools/xm_builder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>

namespace {

XmSample loopedSample(int frames, bool sixteenBit, uint8_t loop, int loopStart, double cycle) {
    XmSample sample;
    sample.sixteenBit = sixteenBit;
    const double amplitude = sixteenBit ? 20000 : 100;
    for (int i = 0; i < frames; ++i)
        sample.values.push_back(
            static_cast<int>(amplitude * std::sin(i / cycle) + amplitude / 4 * std::sin(i * 0.37)));
    sample.loop = loop;
    sample.loopStart = static_cast<uint32_t>(loopStart);
    sample.loopLength = static_cast<uint32_t>(frames - loopStart);
    return sample;
}

// Four patterns of 64 rows. Channel c plays instrument c mod 4 on the rows of
// its parity, with pitches between cell notes 37 and 72.
XmSong busySong(int channelTotal) {
    XmSong song;
    song.channels = static_cast<uint16_t>(channelTotal);
    song.speed = 6;
    song.bpm = 125;
    song.orders = {0, 1, 2, 3};
    for (int p = 0; p < 4; ++p) {
        XmPattern pattern;
        pattern.rows = 64;
        pattern.channels = channelTotal;
        for (int row = 0; row < 64; ++row)
            for (int c = 0; c < channelTotal; ++c)
                if ((row + c) % 2 == 0)
                    pattern.at(row, c) = {static_cast<uint8_t>(37 + (row * 7 + c * 5 + p) % 36),
                                          static_cast<uint8_t>(c % 4 + 1), 0, 0, 0};
        song.patterns.push_back(pattern);
    }
    song.instruments = {instrumentWith(loopedSample(2000, true, xmForwardLoop, 0, 8.0)),
                        instrumentWith(loopedSample(512, false, xmForwardLoop, 0, 3.0)),
                        instrumentWith(loopedSample(1500, true, xmPingPongLoop, 500, 12.0)),
                        instrumentWith(loopedSample(8000, true, xmForwardLoop, 4000, 5.0))};
    return song;
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Loaded once per channel count from a file in a folder of its own.
Song *songWith(int channelTotal) {
    static std::map<int, Song *> loaded;
    Song *&song = loaded[channelTotal];
    if (song)
        return song;
    char folder[] = "/tmp/veltrane-render-XXXXXX";
    if (!mkdtemp(folder))
        return nullptr;
    const std::string path = std::string(folder) + "/busy.xm";
    if (writeXm(path, busySong(channelTotal))) {
        setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
        song = loadSong(path.c_str(), nullptr);
    }
    std::remove(path.c_str());
    rmdir(folder);
    return song;
}

void renderSong(benchmark::State &state) {
    Song *song = songWith(static_cast<int>(state.range(0)));
    if (!song || !beginPlayback(song)) {
        state.SkipWithError("the song could not be loaded or played");
        return;
    }
    const int32_t blockFrames = playbackSizes().blockFrames;
    // Two seconds in, every channel has both of its voices going.
    for (int block = 0; block < 100; ++block)
        fillBlock();
    int activeVoices = 0;
    for (int i = 0; i < mixedVoiceCount; ++i)
        activeVoices += voices[i].sample != nullptr;
    const double cpuStart = threadSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        fillBlock();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    const double cpu = threadSeconds() - cpuStart;
    endPlayback();
    state.SetItemsProcessed(state.iterations() * blockFrames);
    const double musicSeconds = static_cast<double>(state.iterations()) * blockFrames / mixRate;
    state.counters["x_realtime"] = musicSeconds / wall.count();
    // The same on this thread's processor time, which other programs on a
    // busy machine don't stretch.
    state.counters["x_realtime_cpu"] = musicSeconds / cpu;
    state.counters["active_voices"] = activeVoices;
}

BENCHMARK(renderSong)
    ->ArgName("channels")
    ->Arg(8)
    ->Arg(32)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
