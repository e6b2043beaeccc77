// veltrane-play end to end: what the device gets, the songs it cannot play,
// and its keys on a pseudo-terminal.

#include <gtest/gtest.h>

#include "child_process.h"
#include "demo_song.h"
#include "device_sound.h"

#include <csignal>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(PlayTool, PlaysWhatXm2wavRendersAndNamesWhatItCannotPlay) {
    ChildProcess play;
    writeXm(play.directory() + "/song.xm", demoSong());
    std::vector<uint8_t> foreign = buildXm(demoSong());
    foreign[9] = 'm'; // "Extended module: "
    std::ofstream(play.directory() + "/foreign.xm", std::ios::binary)
        .write(reinterpret_cast<const char *>(foreign.data()), static_cast<long>(foreign.size()));
    play.start(PLAY_TOOL, {"missing.xm", "--seconds", "2", "song.xm", "foreign.xm"},
               {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=sound.raw"});
    ASSERT_EQ(play.waitForExit(milliseconds(30000)), std::optional<int>(1)) << play.errors();
    for (const char *error : {"veltrane-play: missing.xm: No such file or directory\n",
                              "veltrane-play: foreign.xm: not a song this player can load"})
        EXPECT_NE(play.errors().find(error), std::string::npos) << play.errors();
    EXPECT_NE(play.output().find("\"" + demoSong().name + "\", 4 channels"), std::string::npos)
        << play.output();
    ChildProcess render;
    writeXm(render.directory() + "/song.xm", demoSong());
    render.start(XM2WAV, {"song.xm", "song.wav", "--seconds", "3"});
    ASSERT_EQ(render.waitForExit(milliseconds(30000)), std::optional<int>(0));
    EXPECT_EQ(compareDeviceSound(play.directory() + "/sound.raw", render.directory() + "/song.wav",
                                 2 * 44100),
              "");
}

// veltrane-play on a pseudo-terminal: what it shows, and keys typed into it.
struct TerminalPlay {
    int terminal = -1;
    pid_t pid = -1;
    std::string shown;

    explicit TerminalPlay(const std::string &song) {
        pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (pid == 0) {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            execl(PLAY_TOOL, PLAY_TOOL, song.c_str(), nullptr);
            _exit(127);
        }
    }
    ~TerminalPlay() {
        if (pid > 0)
            kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        close(terminal);
    }
    void type(const std::string &keys) {
        EXPECT_EQ(write(terminal, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    void readFor(milliseconds time) {
        for (const auto end = Clock::now() + time; Clock::now() < end;) {
            char bytes[4096];
            pollfd input = {terminal, POLLIN, 0};
            if (poll(&input, 1, 10) > 0) {
                const ssize_t count = read(terminal, bytes, sizeof bytes);
                if (count > 0)
                    shown.append(bytes, static_cast<size_t>(count));
            }
        }
    }
    // The newest live line's order, row, time and whether it says paused.
    std::tuple<int, int, std::string, bool> line() const {
        static const std::regex live("order +(\\d+)/\\d+ +pattern +\\d+ +row +(\\d+)/\\d+ +"
                                     "(\\d+:\\d\\d\\.\\d\\d)( +\\(paused\\))?");
        std::smatch match;
        const std::string last = shown.substr(shown.rfind("order"));
        if (!std::regex_search(last, match, live))
            return {-1, -1, "", false};
        return {std::stoi(match[1]), std::stoi(match[2]), match[3], match[4].matched};
    }
};

// Four orders of 16 rows at speed 6 and 32 BPM: a row lasts 6 x 3445 frames, 0.47 s.
TEST(PlayTool, KeysPauseJumpAndQuitAndTheTerminalIsGivenBack) {
    ChildProcess folder;
    writeXm(folder.directory() + "/song.xm",
            xmSong("speed=6 bpm=32 orders=0,0,0,0: C-4 01; ; F-4 01 | .; ; . | G-4 01"));
    TerminalPlay play(folder.directory() + "/song.xm");
    termios before = {}, after = {};
    ASSERT_EQ(tcgetattr(play.terminal, &before), 0);
    play.readFor(milliseconds(800));
    EXPECT_EQ(std::get<0>(play.line()), 0) << play.shown;
    play.type(" ");
    play.readFor(milliseconds(300));
    const auto paused = play.line();
    play.readFor(milliseconds(600));
    EXPECT_TRUE(std::get<3>(paused)) << play.shown;
    EXPECT_EQ(play.line(), paused) << "the position moved while paused";
    play.type(" \x1b[C");
    play.readFor(milliseconds(100));
    EXPECT_EQ(std::make_pair(std::get<0>(play.line()), std::get<1>(play.line())),
              std::make_pair(1, 0));
    play.type("q");
    play.readFor(milliseconds(500));
    int status = -1;
    ASSERT_EQ(waitpid(play.pid, &status, 0), play.pid);
    play.pid = -1;
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    ASSERT_EQ(tcgetattr(play.terminal, &after), 0);
    EXPECT_EQ(std::make_tuple(after.c_lflag, after.c_iflag, after.c_cc[VMIN]),
              std::make_tuple(before.c_lflag, before.c_iflag, before.c_cc[VMIN]));
}

} // namespace
