// xm2wav: renders an XM song to a WAV file through the same block fill that
// feeds the audio device, so the file holds exactly what the device would play.

#include "player/mixer.h"
#include "player/settings.h"
#include "cli/arguments.h"
#include "cli/stop_signals.h"
#include "player/song_render.h"
#include "media/pending_file.h"
#include "media/wav_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
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
    "  --seconds S       render S seconds, as 12 or 12.5, at most 24347.886 (what a\n"
    "                    WAV file holds); by default until the song loops, that is\n"
    "                    until play first returns to an order already played (at most\n"
    "                    30 minutes)\n"
    "  --positions FILE  write one line per block: block, order, row, milliseconds\n"
    "  --mixer PATH      mix with the scalar, sse2 or avx2 loops (default: the fastest\n"
    "                    this processor has); every path writes the same file\n"
    "  --help            this text\n"
    "\n"
    "OUT.wav is written under a temporary name beside it and renamed when complete.\n"
    "Exit status: 0 on success, 1 on a failure while working, 2 on a usage error.\n";

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
                std::fprintf(stderr,
                             "xm2wav: bad number of seconds '%s' (plain decimal, as 12.5)\n",
                             argv[i]);
                return 2;
            }
            if (std::llround(options.seconds * mixRate) > largestWavFrames) {
                std::fprintf(stderr,
                             "xm2wav: --seconds %s is more than a WAV file holds (4 GiB): at most "
                             "%.3f seconds\n",
                             argv[i], std::floor(largestWavFrames * 1000.0 / mixRate) / 1000);
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

// Renders the song into the WAV file at path; false with error.
bool render(Song *song, const Options &options, const std::string &path, SongRender &songRender,
            std::string &error) {
    WavWriter wav;
    if (!wav.open(path, error))
        return false;
    std::FILE *positions = nullptr;
    if (!options.positions.empty() && !(positions = std::fopen(options.positions.c_str(), "w"))) {
        error = options.positions + ": " + std::strerror(errno);
        return false;
    }
    if (!beginSongRender(song, options.seconds, songRender)) {
        error = "not enough memory to play " + options.song;
        if (positions)
            std::fclose(positions);
        return false;
    }
    Progress progress(songRender.untilLoop ? 0 : options.seconds);
    RenderedBlock block;
    bool written = true;
    for (int64_t index = 0; written && renderNextBlock(songRender, block); ++index) {
        written = wav.write(block.pcm, static_cast<size_t>(block.frames));
        if (!written)
            error = path + ": " + std::strerror(errno);
        else if (positions)
            std::fprintf(positions, "%lld %d %d %d\n", static_cast<long long>(index),
                         block.stamp.order, block.stamp.row, block.stamp.timeMs);
        progress.update(static_cast<double>(songRender.rendered) / mixRate, *song);
    }
    progress.finish();
    endSongRender(songRender);
    if (positions && std::fclose(positions) != 0 && written) {
        error = options.positions + ": " + std::strerror(errno);
        written = false;
    }
    return written && wav.close(error);
}

// Renders into a temporary file renamed OUT.wav when complete; the exit status.
int renderFile(Song *song, const Options &options) {
    std::string error;
    PendingFile file;
    if (!createPendingFile(options.output, file, error)) {
        std::fprintf(stderr, "xm2wav: %s\n", error.c_str());
        return 1;
    }
    SongRender songRender;
    bool done = false;
    try {
        done = render(song, options, file.temporary, songRender, error);
    } catch (const std::bad_alloc &) {
        error = "not enough memory to render " + options.song;
    }
    if (!done || !commitPendingFile(file, error)) {
        nameFinalFile(file, error);
        discardPendingFile(file);
        if (!options.positions.empty())
            std::remove(options.positions.c_str());
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
    // Ended by a signal, it leaves no temporary file behind.
    handleStopSignals(removePendingFileNow);
    try {
        Song *song = loadNamedSong(options.song);
        if (!song)
            return 1;
        const int status = renderFile(song, options);
        freeSong(song);
        return status;
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "xm2wav: not enough memory to load %s\n", options.song.c_str());
        return 1;
    }
}
