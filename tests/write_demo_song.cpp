// veltrane-demo-song: writes the test suite's demo song to a file.

#include "demo_song.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("usage: veltrane-demo-song OUT.xm\n\n"
                  "Writes the short four-channel demo song of the tests to OUT.xm.");
        return 0;
    }
    if (argc != 2) {
        std::fputs("usage: veltrane-demo-song OUT.xm\n", stderr);
        return 2;
    }
    if (!writeXm(argv[1], demoSong())) {
        std::fprintf(stderr, "veltrane-demo-song: %s: cannot write the file\n", argv[1]);
        return 1;
    }
    return 0;
}
