// veltrane-fuzz-corpus: writes the seed songs for the song fuzzer.

#include "seed_songs.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fputs("usage: veltrane-fuzz-corpus DIR\n\n"
                   "Writes seed songs for the song fuzzer into the existing folder DIR.\n",
                   argc == 2 ? stdout : stderr);
        return argc == 2 ? 0 : 2;
    }
    const std::string folder = argv[1];
    for (const SeedSong &seed : seedSongs())
        if (!writeXm(folder + "/" + seed.name, seed.song)) {
            std::fprintf(stderr, "veltrane-fuzz-corpus: %s/%s: cannot write the file\n",
                         folder.c_str(), seed.name.c_str());
            return 1;
        }
    return 0;
}
