// veltrane-fuzz-corpus: writes seed songs for the song fuzzer, made with the
// XM builder so they reach every part of the loader and the player.

#include "../demo_song.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

XmSample shortSample(uint8_t loop, bool sixteenBit) {
    XmSample sample;
    sample.values = {0, 20, 40, 20, 0, -20, -40, -20};
    sample.sixteenBit = sixteenBit;
    sample.loop = loop;
    sample.loopStart = 2;
    sample.loopLength = loop ? 4 : 0;
    return sample;
}

XmSong tinySong() {
    XmSong song;
    song.channels = 2;
    XmPattern pattern;
    pattern.rows = 4;
    pattern.channels = 2;
    pattern.at(0, 0) = {49, 1, 0x40, 0x0f, 0x06};
    pattern.at(1, 1) = {97, 0, 0, 0x0a, 0x01};
    song.patterns.push_back(pattern);
    return song;
}

XmSong everyLoop() {
    XmSong song = tinySong();
    XmInstrument instrument;
    for (uint8_t loop : {xmNoLoop, xmForwardLoop, xmPingPongLoop})
        for (bool sixteenBit : {false, true})
            instrument.samples.push_back(shortSample(loop, sixteenBit));
    instrument.volumeEnvelope = {{{0, 64}, {4, 32}, {8, 0}}, 1, 0, 2, 7, {}};
    instrument.panningEnvelope = {{{0, 32}, {4, 64}}, 0, 0, 1, 5, {}};
    instrument.vibratoDepth = 4;
    instrument.vibratoRate = 8;
    instrument.fadeout = 256;
    song.instruments = {instrument, XmInstrument{}};
    return song;
}

XmSong plainAndMissingPatterns() {
    XmSong song = tinySong();
    song.patterns[0].packed = false;
    XmPattern empty;
    empty.rows = 16;
    song.patterns.push_back(empty);
    song.orders = {0, 1, 3, 0};
    song.restart = 2;
    song.instruments = {instrumentWith(shortSample(xmForwardLoop, false))};
    return song;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fputs("usage: veltrane-fuzz-corpus DIR\n\n"
                   "Writes seed songs for the song fuzzer into the existing folder DIR.\n",
                   argc == 2 ? stdout : stderr);
        return argc == 2 ? 0 : 2;
    }
    const std::string folder = argv[1];
    const struct {
        const char *name;
        XmSong song;
    } seeds[] = {{"tiny.xm", tinySong()},
                 {"every-loop.xm", everyLoop()},
                 {"plain-and-missing.xm", plainAndMissingPatterns()},
                 {"demo.xm", demoSong()}};
    for (const auto &seed : seeds)
        if (!writeXm(folder + "/" + seed.name, seed.song)) {
            std::fprintf(stderr, "veltrane-fuzz-corpus: %s/%s: cannot write the file\n",
                         folder.c_str(), seed.name);
            return 1;
        }
    return 0;
}
