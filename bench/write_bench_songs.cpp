// veltrane-bench-songs: writes the songs the render benchmark and the render
// comparisons play: the busy song at 32 and 8 channels, variants of it from
// other seeds, the test suite's demo song and the fuzzer's seed songs (every
// effect with extreme parameters, extreme envelopes, sixteen samples, ...).

#include "bench/busy_song.h"
#include "demo_song.h"
#include "fuzz/seed_songs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *usage = "usage: veltrane-bench-songs FOLDER [--variants N]\n"
                    "\n"
                    "Writes into FOLDER (which must exist): busy-32.xm and busy-8.xm, the\n"
                    "render benchmark's songs; N variants of the busy song from other seeds,\n"
                    "with 1 to 32 channels, half of them with extremes (default 12);\n"
                    "demo.xm, the test suite's song, and seed-*.xm, the fuzzer's seeds.\n";

bool write(const std::string &folder, const std::string &name, const XmSong &song) {
    const std::string path = folder + "/" + name;
    if (writeXm(path, song))
        return true;
    std::fprintf(stderr, "veltrane-bench-songs: %s: cannot write the file\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char **argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    int variants = 12;
    if (argc == 4 && std::strcmp(argv[2], "--variants") == 0) {
        char *end = nullptr;
        variants = static_cast<int>(std::strtol(argv[3], &end, 10));
        if (*end != '\0' || variants < 0 || variants > 1000) {
            std::fprintf(stderr, "veltrane-bench-songs: bad number of variants '%s'\n", argv[3]);
            return 2;
        }
    } else if (argc != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const std::string folder = argv[1];
    bool written = write(folder, "busy-32.xm", busySong(32)) &&
                   write(folder, "busy-8.xm", busySong(8)) && write(folder, "demo.xm", demoSong());
    for (const SeedSong &seed : seedSongs())
        written = written && write(folder, "seed-" + seed.name, seed.song);
    static const int channelCounts[] = {1, 4, 12, 24, 32, 7};
    for (int v = 0; written && v < variants; ++v) {
        const int channels = channelCounts[v % 6];
        const uint32_t seed = static_cast<uint32_t>(v + 2);
        const bool extremes = v % 4 >= 2;
        written = write(folder,
                        "busy-" + std::to_string(channels) + "-seed" + std::to_string(seed) +
                            (extremes ? "-extremes.xm" : ".xm"),
                        busySong(channels, seed, extremes));
    }
    return written ? 0 : 1;
}
