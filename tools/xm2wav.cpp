// xm2wav: renders an XM song to a WAV file through the same block fill that
// feeds the audio device, so the file holds exactly what the device would play.

#include "player/mixer.h"
#include "player/settings.h"
#include "cli/arguments.h"
#include "player/song_render.h"
#include "media/wav_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const char *usage =
    "usage: xm2wav SONG.xm OUT.wav [--seconds S] [--positions FILE] [--mixer PATH]\n"
    "\n"
    "Renders SONG.xm as 44100 Hz 16-bit stereo PCM into OUT.wav, block 0 first:\n"
    "the samples the audio device would play.\n"
    "\n"
    "  --seconds S       render S seconds (default: until the song loops, that is until\n"
    "                    play first returns to an order already played; at most 30 minutes)\n"
    "  --positions FILE  write one line per block: block, order, row, milliseconds\n"
    "  --mixer PATH      mix with the scalar, sse2 or avx2 loops (default: the fastest\n"
    "                    this processor has); every path writes the same file\n"
    "  --help            this text\n";

struct Options {
    std::string song;
    std::string output;
    std::string positions;
    double seconds = -1; // until the song loops
    MixerPath mixer = fastestMixerPath();
    std::string mixerName; // as given
};

bool parseMixerPath(const std::string &name, MixerPath &path) {
    const std::pair<const char *, MixerPath> paths[] = {
        {"scalar", MixerPath::scalar}, {"sse2", MixerPath::sse2}, {"avx2", MixerPath::avx2}};
    for (const auto &[pathName, value] : paths)
        if (name == pathName) {
            path = value;
            return true;
        }
    return false;
}

// 0 to go on, else the exit status.
int parseOptions(int argc, char **argv, Options &options) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(usage, stdout);
            return -1;
        }
        if ((argument == "--seconds" || argument == "--positions" || argument == "--mixer") &&
            i + 1 >= argc) {
            std::fprintf(stderr, "xm2wav: %s needs a value\n", argument.c_str());
            return 2;
        }
        if (argument == "--seconds") {
            if (!parseSeconds(argv[++i], options.seconds)) {
                std::fprintf(stderr, "xm2wav: bad number of seconds '%s'\n", argv[i]);
                return 2;
            }
        } else if (argument == "--positions") {
            options.positions = argv[++i];
        } else if (argument == "--mixer") {
            options.mixerName = argv[++i];
            if (!parseMixerPath(options.mixerName, options.mixer)) {
                std::fprintf(stderr, "xm2wav: unknown mixer path '%s' (scalar, sse2 or avx2)\n",
                             argv[i]);
                return 2;
            }
        } else if (argument.rfind("--", 0) == 0) {
            std::fprintf(stderr, "xm2wav: unknown option '%s'\n%s", argument.c_str(), usage);
            return 2;
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    options.song = files[0];
    options.output = files[1];
    return 0;
}

class Progress {
  public:
    explicit Progress(double totalSeconds) : total(totalSeconds), shown(isatty(STDERR_FILENO)) {}
    void update(double seconds, const Song &song) {
        if (!shown || seconds - last < 0.5)
            return;
        last = seconds;
        if (total > 0) {
            const int filled = static_cast<int>(30 * seconds / total);
            std::fprintf(stderr, "\r[%-30.*s] %3d%%  %s", filled, "##############################",
                         static_cast<int>(100 * seconds / total), clock(seconds).c_str());
        } else {
            std::fprintf(stderr, "\rrendered %s, order %d row %d   ", clock(seconds).c_str(),
                         song.order, song.row);
        }
    }
    void finish() {
        if (shown)
            std::fputs("\r\033[K", stderr);
    }

  private:
    static std::string clock(double seconds) {
        char text[32];
        std::snprintf(text, sizeof text, "%d:%05.2f", static_cast<int>(seconds) / 60,
                      std::fmod(seconds, 60));
        return text;
    }
    double total;
    bool shown;
    double last = -1;
};

Song *loadNamedSong(const std::string &path) {
    std::string error;
    Song *song = loadSongFile(path, error);
    if (!song)
        std::fprintf(stderr, "xm2wav: %s\n", error.c_str());
    return song;
}

int render(Song *song, const Options &options) {
    std::string error;
    WavWriter wav;
    if (!wav.open(options.output, error)) {
        std::fprintf(stderr, "xm2wav: %s\n", error.c_str());
        return 1;
    }
    std::FILE *positions = nullptr;
    if (!options.positions.empty() && !(positions = std::fopen(options.positions.c_str(), "w"))) {
        std::fprintf(stderr, "xm2wav: %s: %s\n", options.positions.c_str(), std::strerror(errno));
        return 1;
    }
    SongRender songRender;
    if (!beginSongRender(song, options.seconds, songRender)) {
        std::fprintf(stderr, "xm2wav: not enough memory to play %s\n", options.song.c_str());
        return 1;
    }
    Progress progress(songRender.untilLoop ? 0 : options.seconds);
    RenderedBlock block;
    for (int64_t index = 0; renderNextBlock(songRender, block); ++index) {
        if (!wav.write(block.pcm, static_cast<size_t>(block.frames))) {
            std::fprintf(stderr, "xm2wav: %s: %s\n", options.output.c_str(), std::strerror(errno));
            return 1;
        }
        if (positions)
            std::fprintf(positions, "%lld %d %d %d\n", static_cast<long long>(index),
                         block.stamp.order, block.stamp.row, block.stamp.timeMs);
        progress.update(static_cast<double>(songRender.rendered) / mixRate, *song);
    }
    progress.finish();
    endSongRender(songRender);
    if (positions && std::fclose(positions) != 0) {
        std::fprintf(stderr, "xm2wav: %s: %s\n", options.positions.c_str(), std::strerror(errno));
        return 1;
    }
    if (!wav.close(error)) {
        std::fprintf(stderr, "xm2wav: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %.3f seconds%s\n", options.output.c_str(),
                static_cast<double>(songRender.rendered) / mixRate,
                songRender.untilLoop
                    ? (songRender.looped ? ", up to where the song loops"
                                         : ", the song did not loop within 30 minutes")
                    : "");
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;
    if (!selectMixerPath(options.mixer)) {
        std::fprintf(stderr, "xm2wav: the %s mixer path is missing on this processor\n",
                     options.mixerName.c_str());
        return 2;
    }
    Song *song = loadNamedSong(options.song);
    if (!song)
        return 1;
    const int status = render(song, options);
    freeSong(song);
    return status;
}
