// veltrane-play: plays XM songs on the audio device, one after the other,
// with the position heard on a live line and keys to move about.

#include "cli/arguments.h"
#include "player/player.h"
#include "player/settings.h"
#include "player/song_render.h"
#include "tools/play/song_title.h"
#include "tools/play/terminal.h"

#include <SDL.h>
#include <chrono>
#include <csignal>
#include <optional>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *usage =
    "usage: veltrane-play [--loop] [--seconds S] SONG.xm [SONG.xm ...]\n"
    "\n"
    "Plays each song on the audio device, one after the other, with its title,\n"
    "its channels and the position heard: order, pattern, row and time.\n"
    "SDL_AUDIODRIVER chooses the driver (pulseaudio, pipewire, alsa; dummy plays\n"
    "silently; disk with SDL_DISKAUDIOFILE=FILE writes what the device plays).\n"
    "\n"
    "  --loop        play each song on where it loops, until q or n\n"
    "  --seconds S   end each song after S seconds (as 12 or 12.5, up to a day)\n"
    "  --help        this text\n"
    "\n"
    "A song ends where it loops, that is where play first returns to an order\n"
    "already played. Keys, on a terminal: space pauses and plays on; the left and\n"
    "right arrows go to the previous and next order; n and p to the next and\n"
    "previous song; q quits. Without a terminal it plays without keys and writes\n"
    "a line for each order it reaches.\n"
    "\n"
    "Exit status: 0 on success, 1 on a failure while working, 2 on a usage error.\n";

struct Options {
    std::vector<std::string> songs;
    bool loop = false;
    double seconds = -1; // until the song loops
};

// 0 to go on, -1 after --help, else the exit status.
int parseOptions(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(usage, stdout);
            return -1;
        }
        if (argument == "--loop") {
            options.loop = true;
        } else if (argument == "--seconds") {
            if (i + 1 >= argc || !parseSeconds(argv[++i], options.seconds)) {
                std::fprintf(stderr, "veltrane-play: --seconds needs a number of seconds%s%s%s\n",
                             i < argc ? " (not '" : "", i < argc ? argv[i] : "",
                             i < argc ? "')" : "");
                return 2;
            }
        } else if (argument.rfind("-", 0) == 0 && argument != "-") {
            std::fprintf(stderr, "veltrane-play: unknown option '%s'\n%s", argument.c_str(), usage);
            return 2;
        } else {
            options.songs.push_back(argument);
        }
    }
    if (options.songs.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }
    return 0;
}

enum class SongEnd { played, next, previous, quit, failed, noDevice };

std::string clock(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms / 10 % 100));
    return text;
}

// What the listener hears now, as the position queries report it.
struct Heard {
    int order;
    int row;
    int pattern;
    int rows;
    int timeMs;
};

Heard heardPosition(Song *song) {
    Heard heard{getOrder(song), getRow(song), 0, 0, getTime(song)};
    if (heard.order < song->songLength) {
        heard.pattern = song->orderTable[heard.order];
        if (heard.pattern < song->patternSlotCount)
            heard.rows = song->patterns[heard.pattern].rowCount;
    }
    return heard;
}

// The live line: rewritten in place on a terminal; elsewhere a line for each
// order reached.
class PositionLine {
  public:
    explicit PositionLine(bool live) : live(live) {}

    void show(Song *song, bool paused) {
        const Heard heard = heardPosition(song);
        if (live) {
            std::printf("\r  order %3d/%d  pattern %3d  row %3d/%d  %s%s\033[K", heard.order,
                        song->songLength, heard.pattern, heard.row, heard.rows,
                        clock(heard.timeMs).c_str(), paused ? "  (paused)" : "");
            std::fflush(stdout);
        } else if (heard.order != lastOrder) {
            std::printf("  order %d/%d  pattern %d  at %s\n", heard.order, song->songLength,
                        heard.pattern, clock(heard.timeMs).c_str());
            std::fflush(stdout);
        }
        lastOrder = heard.order;
    }

    // The live line stays, with the reason under it.
    void end(const char *why) {
        std::printf("%s  %s\n", live ? "\n" : "", why);
        std::fflush(stdout);
    }

  private:
    bool live;
    int lastOrder = -1;
};

SongEnd endForKey(Key key, Song *song, bool &paused) {
    switch (key) {
    case Key::pause:
        paused = !paused;
        pauseSong(song, paused);
        break;
    case Key::nextOrder:
    case Key::previousOrder: {
        const int order = getOrder(song) + (key == Key::nextOrder ? 1 : -1);
        jumpToOrder(song, order < 0 ? 0 : order);
        break;
    }
    case Key::nextSong:
        return SongEnd::next;
    case Key::previousSong:
        return SongEnd::previous;
    case Key::quit:
        return SongEnd::quit;
    default:
        break;
    }
    return SongEnd::played;
}

const auto lookInterval = std::chrono::milliseconds(20);

// Plays until the song ends, a key moves on or a signal ends the player.
SongEnd playUntilItEnds(Song *song, const Options &options, bool keys) {
    const int64_t limit =
        options.seconds < 0 ? -1 : static_cast<int64_t>(options.seconds * mixRate);
    PositionLine line(keys);
    bool paused = false;
    while (!endingSignal()) {
        const Key key = keys ? readKey(lookInterval.count()) : Key::none;
        if (!keys)
            std::this_thread::sleep_for(lookInterval);
        const SongEnd end = endForKey(key, song, paused);
        if (end != SongEnd::played) {
            line.end(end == SongEnd::quit ? "quit" : "skipped");
            return end;
        }
        line.show(song, paused);
        if (limit >= 0 && getFramesHeard(song) >= limit) {
            line.end("played for the seconds asked for");
            return SongEnd::played;
        }
        if (limit < 0 && !options.loop && hasLooped(song)) {
            line.end("ended where the song loops");
            return SongEnd::played;
        }
    }
    line.end("stopped");
    return SongEnd::quit;
}

SongEnd playOne(const std::string &path, int index, const Options &options, bool keys) {
    std::printf("[%d/%zu] %s\n", index + 1, options.songs.size(), path.c_str());
    std::string error;
    Song *song = loadSongFile(path, error);
    if (!song) {
        std::fflush(stdout);
        std::fprintf(stderr, "veltrane-play: %s\n", error.c_str());
        return SongEnd::failed;
    }
    const std::string title = songTitle(path);
    std::printf("  \"%s\", %d channels, %d orders\n", title.c_str(), song->channelCount,
                song->songLength);
    std::fflush(stdout);
    SongEnd end = SongEnd::noDevice;
    if (playSong(song))
        end = playUntilItEnds(song, options, keys);
    freeSong(song); // stops the music first
    return end;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;
    catchEndingSignals();
    const bool keys = onTerminal();
    int status = 0;
    {
        std::optional<KeyboardMode> keyboard;
        if (keys) {
            keyboard.emplace();
            std::printf("keys: space pause, left/right order, n/p song, q quit\n");
        }
        // A song that fails is passed over in the direction the listener goes.
        int step = 1;
        for (int index = 0; index < static_cast<int>(options.songs.size());) {
            const SongEnd end = playOne(options.songs[index], index, options, keys);
            if (end == SongEnd::failed)
                status = 1;
            if (end == SongEnd::noDevice) {
                std::fprintf(stderr, "veltrane-play: the audio device could not be opened: %s\n",
                             SDL_GetError());
                status = 1;
                break;
            }
            if (end == SongEnd::quit)
                break;
            if (end != SongEnd::failed)
                step = end == SongEnd::previous ? -1 : 1;
            index += step;
            if (index < 0)
                index = 0, step = 1;
        }
    }
    if (const int signal = endingSignal()) {
        std::signal(signal, SIG_DFL);
        raise(signal);
    }
    return status;
}
