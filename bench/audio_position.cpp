// How far the reported position is from the sound: plays a song on the real
// audio device (SDL_AUDIODRIVER=dummy plays silently in real time) and, every
// millisecond, compares the end of the block whose stamp the queries report
// with the device's play cursor. Also reports the output thread's CPU time
// per second of music.
//   usage: audio_position SONG.xm [SECONDS]

#include "player/blockfill.h"
#include "player/memory_file.h"
#include "player/output.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

namespace {

// CPU seconds the named thread of this process has used.
double threadCpuSeconds(const char *name) {
    for (int tid = 1; tid < 1 << 22; ++tid) {
        std::ifstream comm("/proc/self/task/" + std::to_string(tid) + "/comm");
        std::string text;
        if (!(comm >> text) || text != name)
            continue;
        std::ifstream schedstat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
        double nanoseconds = 0;
        schedstat >> nanoseconds;
        return nanoseconds / 1e9;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fputs("usage: audio_position SONG.xm [SECONDS]\n", stderr);
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10;
    setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
    Song *song = loadSong(argv[1], nullptr);
    if (!song) {
        std::fprintf(stderr, "audio_position: %s: cannot load the song\n", argv[1]);
        return 1;
    }
    if (!playSong(song)) {
        std::fprintf(stderr, "audio_position: no audio device\n");
        return 1;
    }
    const PlaybackSizes &sizes = playbackSizes();
    const auto start = std::chrono::steady_clock::now();
    const double cpuAtStart = threadCpuSeconds("veltrane-mix");
    int64_t largest = 0, smallest = sizes.ringFrames;
    while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
        const int64_t index = audibleStamp() - &blockStamp(0);
        const uint64_t cursor = sdlAudioOutput().framesPlayed();
        const int64_t blockEnd = (index + 1) * sizes.blockFrames;
        int64_t ahead =
            (blockEnd - static_cast<int64_t>(cursor % sizes.ringFrames) + sizes.ringFrames) %
            sizes.ringFrames;
        if (ahead > sizes.ringFrames / 2)
            ahead -= sizes.ringFrames; // the cursor has passed the block's end

        largest = ahead > largest ? ahead : largest;
        smallest = ahead < smallest ? ahead : smallest;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double cpu = threadCpuSeconds("veltrane-mix") - cpuAtStart;
    freeSong(song);
    std::printf("the reported block ends from %.1f to %.1f ms after the device's cursor "
                "(%lld to %lld frames; negative: the cursor is past it)\n",
                smallest * 1000.0 / 44100, largest * 1000.0 / 44100,
                static_cast<long long>(smallest), static_cast<long long>(largest));
    std::printf("output thread: %.2f ms of CPU per second of music (%.3f%% of a core)\n",
                cpu * 1000 / seconds, cpu * 100 / seconds);
    return 0;
}
