// xm2wav: renders an XM song to a WAV file through the same block fill that
// feeds the audio device, so the file holds exactly what the device would play.

#include "player/blockfill.h"
#include "player/memory_file.h"
#include "player/mixer.h"
#include "player/sequencer.h"
#include "player/settings.h"
#include "tools/wav_file.h"

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

const double longestSeconds = 30 * 60;

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

bool parseSeconds(const char *text, double &seconds) {
    char *end = nullptr;
    seconds = std::strtod(text, &end);
    return end != text && *end == '\0' && seconds >= 0 && seconds <= 24 * 3600;
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

// Watches the ticks for the first return to an order already played and
// notes the frame at which that tick falls.
struct LoopWatch {
    bool played[256] = {};
    int64_t tickFrame = 0; // the frame the next tick falls on
    int64_t loopFrame = -1;
};
LoopWatch loopWatch;

void watchedTick(Song *song) {
    if (song->tick == 0) {
        if (song->nextOrder >= 0 && loopWatch.played[song->nextOrder] && loopWatch.loopFrame < 0)
            loopWatch.loopFrame = loopWatch.tickFrame;
        loopWatch.played[song->nextOrder >= 0 ? song->nextOrder : song->order] = true;
    }
    sequencerTick(song);
    loopWatch.tickFrame += song->samplesPerTick;
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
    if (std::FILE *file = std::fopen(path.c_str(), "rb"))
        std::fclose(file);
    else {
        std::fprintf(stderr, "xm2wav: %s: %s\n", path.c_str(), std::strerror(errno));
        return nullptr;
    }
    setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
    Song *song = loadSong(path.c_str(), nullptr);
    if (!song)
        std::fprintf(stderr,
                     "xm2wav: %s: not a song this player can load (not an XM file, an older "
                     "XM format, or damaged)\n",
                     path.c_str());
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
    if (!beginPlayback(song)) {
        std::fprintf(stderr, "xm2wav: not enough memory to play %s\n", options.song.c_str());
        return 1;
    }
    song->tickFunction = watchedTick;
    const bool untilLoop = options.seconds < 0;
    const int64_t limit = static_cast<int64_t>(
        std::llround((untilLoop ? longestSeconds : options.seconds) * mixRate));
    const int32_t blockFrames = playbackSizes().blockFrames;
    Progress progress(untilLoop ? 0 : options.seconds);
    int64_t rendered = 0;
    for (int64_t block = 0; rendered < limit; ++block) {
        if (untilLoop && loopWatch.loopFrame >= 0 && loopWatch.loopFrame <= rendered)
            break;
        const int32_t filled = nextBlockToFill();
        fillBlock();
        int64_t end = std::min<int64_t>(rendered + blockFrames, limit);
        if (untilLoop && loopWatch.loopFrame >= 0)
            end = std::min(end, loopWatch.loopFrame);
        if (end <= rendered)
            break; // the song looped on this block's first frame: none of it belongs
        if (!wav.write(ringBlock(filled), static_cast<size_t>(end - rendered))) {
            std::fprintf(stderr, "xm2wav: %s: %s\n", options.output.c_str(), std::strerror(errno));
            return 1;
        }
        if (positions) {
            const PositionStamp &stamp = blockStamp(filled);
            std::fprintf(positions, "%lld %d %d %d\n", static_cast<long long>(block), stamp.order,
                         stamp.row, stamp.timeMs);
        }
        rendered = end;
        progress.update(static_cast<double>(rendered) / mixRate, *song);
    }
    progress.finish();
    endPlayback();
    if (positions && std::fclose(positions) != 0) {
        std::fprintf(stderr, "xm2wav: %s: %s\n", options.positions.c_str(), std::strerror(errno));
        return 1;
    }
    if (!wav.close(error)) {
        std::fprintf(stderr, "xm2wav: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %.3f seconds%s\n", options.output.c_str(),
                static_cast<double>(rendered) / mixRate,
                untilLoop ? (loopWatch.loopFrame >= 0 ? ", up to where the song loops"
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
