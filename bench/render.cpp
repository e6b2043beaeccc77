// Offline rendering speed, as xm2wav renders: beginPlayback, then fillBlock
// block after block (sequencer ticks and mixing, no file output), on the
// soundtrack and on the busy song at 8 and 32 channels (bench/busy_song.h),
// each on every path of the mixer's frame loops, so one run compares the
// scalar reference and the vector paths on the same machine at the same
// moment. Reported as x_realtime: seconds of music per second of wall time.
// A note start leaves the channel's old voice playing on silently, so a song
// of n channels keeps up to 2n voices going.
// Run: build/bench/render

#include "bench/busy_song.h"
#include "player/blockfill.h"
#include "player/memory_file.h"
#include "player/mixer.h"
#include "player/player.h"
#include "player/settings.h"
#include "xm_builder/xm_builder.h"

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

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

enum SongChoice { soundtrack, busy8, busy32 };
const char *songNames[] = {"soundtrack", "busy 8 channels", "busy 32 channels"};
const char *pathNames[] = {"scalar", "sse2", "avx2"};

Song *loadFile(const std::string &path) {
    setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
    return loadSong(path.c_str(), nullptr);
}

// The busy songs are written to a file in a folder of their own and loaded
// from there, as xm2wav loads songs.
Song *loadBusySong(int channelTotal) {
    char folder[] = "/tmp/veltrane-render-XXXXXX";
    if (!mkdtemp(folder))
        return nullptr;
    const std::string path = std::string(folder) + "/busy.xm";
    Song *song = writeXm(path, busySong(channelTotal)) ? loadFile(path) : nullptr;
    std::remove(path.c_str());
    rmdir(folder);
    return song;
}

// Each song is loaded once.
Song *songFor(SongChoice choice) {
    static std::map<SongChoice, Song *> loaded;
    Song *&song = loaded[choice];
    if (!song)
        song = choice == soundtrack ? loadFile(SOUNDTRACK) : loadBusySong(choice == busy8 ? 8 : 32);
    return song;
}

void renderSong(benchmark::State &state) {
    Song *song = songFor(static_cast<SongChoice>(state.range(0)));
    if (!song || !beginPlayback(song)) {
        state.SkipWithError("the song could not be loaded or played");
        return;
    }
    if (!selectMixerPath(static_cast<MixerPath>(state.range(1)))) {
        state.SkipWithError("this path is missing on this processor");
        endPlayback();
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
    state.SetLabel(std::string(songNames[state.range(0)]) + ", " + pathNames[state.range(1)]);
    selectMixerPath(fastestMixerPath());
}

BENCHMARK(renderSong)
    ->ArgNames({"song", "path"})
    ->ArgsProduct({{soundtrack, busy8, busy32}, {0, 1, 2}})
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
