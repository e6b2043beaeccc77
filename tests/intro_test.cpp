// The real intro on a private Xvfb screen without a window manager, and the
// frame tool.

#include <gtest/gtest.h>

#include "child_process.h"
#include "device_sound.h"
#include "demo_song.h"
#include "media/wav_file.h"
#include "headless/xwindow.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string startMessage = "Opengl 2.0 found, zsiir.\n";

std::string programPath(const char *name) {
    return std::string(INTRO_DIR) + "/" + name;
}

// A song the intro plays when it is named: eight rows of one note at 140 BPM.
XmSong otherSong() {
    return xmSong("bpm=140 rows=8: E-5 01; ; ; ; C-5 01");
}

// A running intro playing the demo song, silent in real time unless the test chooses
// another audio driver, with its window found.
struct RunningIntro {
    ChildProcess process;
    Display *display = XOpenDisplay(nullptr);
    Window window = 0;

    explicit RunningIntro(const std::vector<std::string> &environment = {"SDL_AUDIODRIVER=dummy"},
                          const std::vector<std::string> &arguments = {}) {
        writeXm(process.directory() + "/Rava64.xm", demoSong());
        writeXm(process.directory() + "/other.xm", otherSong());
        process.start(programPath("veltrane"), arguments, environment);
        for (const auto deadline = Clock::now() + milliseconds(10000);
             !(window = findMappedWindow(display, "Veltrane")) && Clock::now() < deadline;)
            std::this_thread::sleep_for(milliseconds(20));
        EXPECT_NE(window, 0u) << "no window titled \"Veltrane\" appeared";
    }
    ~RunningIntro() { XCloseDisplay(display); }

    // Full screen is asked for before the main loop starts; wait for it to land.
    bool coversScreen() {
        for (const auto deadline = Clock::now() + milliseconds(5000); Clock::now() < deadline;
             std::this_thread::sleep_for(milliseconds(20))) {
            const WindowGeometry w = windowGeometry(display, window), s = screenGeometry(display);
            if (w.x <= 0 && w.y <= 0 && w.x + w.width >= s.width && w.y + w.height >= s.height)
                return true;
        }
        return false;
    }
};

TEST(Intro, RunsFullScreenWithItsSceneAndStatusLinesUntilEscape) {
    RunningIntro intro;
    ASSERT_NE(intro.window, 0u);
    EXPECT_TRUE(intro.coversScreen());
    for (const char *key : {"a", "q", "space", "Return", "F1"}) // other keys do nothing
        sendKey(intro.display, intro.window, key);
    std::this_thread::sleep_for(milliseconds(3500));
    ASSERT_FALSE(intro.process.waitForExit(milliseconds(0))) << "the intro ended by itself";
    // The sky above the horizon is black; the checkered floor below is red and dark red,
    // right to the screen's edges.
    RgbImage shot;
    ASSERT_TRUE(grabScreen(intro.display, shot));
    const auto pixel = [&](int x, int y) {
        return &shot.rgb[(static_cast<size_t>(y) * shot.width + x) * 3];
    };
    EXPECT_LT(pixel(0, 0)[0] + pixel(0, 0)[1] + pixel(0, 0)[2], 30);
    int red = 0, bottom = 0;
    for (int y = shot.height * 7 / 8; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x, ++bottom)
            red += pixel(x, y)[0] > 2 * pixel(x, y)[1] + 10 &&
                   pixel(x, y)[0] > 2 * pixel(x, y)[2] + 10;
    EXPECT_GT(red, bottom / 3);
    EXPECT_GT(pixel(shot.width - 1, shot.height - 1)[0], 0)
        << "the bottom-right corner is not covered";
    const auto pressed = Clock::now();
    sendKey(intro.display, intro.window, "Escape");
    ASSERT_EQ(intro.process.waitForExit(milliseconds(2000)), std::optional<int>(0));
    EXPECT_LT(Clock::now() - pressed, milliseconds(2000));
    // One status line per frame ending in a carriage return, never a newline; from 2 s on
    // each is followed by the credit pair's fly-in value, within 0.25..20.25.
    const std::string output = intro.process.output();
    ASSERT_EQ(output.rfind(startMessage, 0), 0u) << output.substr(0, 200);
    const std::string lines = output.substr(startMessage.size());
    const std::regex line(
        "ord +\\d+ row +(\\d+) seconds +(\\d+\\.\\d\\d) (TICK|    )      \r([0-9.]*)");
    size_t covered = 0;
    double lastSeconds = 0, flyIns = 0;
    for (std::sregex_iterator match(lines.begin(), lines.end(), line), end; match != end; ++match) {
        EXPECT_EQ((*match)[3] == "TICK", std::stoi((*match)[1]) % 8 == 0) << match->str();
        EXPECT_GE(std::stod((*match)[2]), lastSeconds);
        lastSeconds = std::stod((*match)[2]);
        flyIns += (*match)[4].length() > 0 && std::stod((*match)[4]) >= 0.25 &&
                  std::stod((*match)[4]) <= 20.25;
        covered += match->length();
    }
    EXPECT_EQ(covered, lines.size()) << "stray console text";
    EXPECT_GT(lastSeconds, 0.5) << "the music's position does not move";
    EXPECT_GE(flyIns, 1) << "no credit value after 3.5 s";
}

// The device opens before the ring is mixed and plays silence until it starts; from the
// first sound on, it gets the renderer's frames exactly, of Rava64.xm or of the song named.
// Closing the window ends the intro.
TEST(Intro, HandsTheAudioDeviceWhatTheRendererRendersAndEndsWhenClosed) {
    for (const auto &[arguments, song] :
         {std::make_pair(std::vector<std::string>{}, demoSong()),
          std::make_pair(std::vector<std::string>{"other.xm"}, otherSong())}) {
        RunningIntro intro({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=sound.raw"}, arguments);
        ASSERT_NE(intro.window, 0u);
        std::this_thread::sleep_for(milliseconds(3000));
        requestClose(intro.display, intro.window);
        ASSERT_EQ(intro.process.waitForExit(milliseconds(3000)), std::optional<int>(0));
        ChildProcess renderer;
        writeXm(renderer.directory() + "/song.xm", song);
        renderer.start(XM2WAV, {"song.xm", "song.wav", "--seconds", "10"});
        ASSERT_EQ(renderer.waitForExit(milliseconds(30000)), std::optional<int>(0));
        EXPECT_EQ(compareDeviceSound(intro.process.directory() + "/sound.raw",
                                     renderer.directory() + "/song.wav", 44100),
                  "")
            << (arguments.empty() ? "Rava64.xm" : "other.xm");
    }
}

TEST(IntroStartUp, EndsEarlyWithItsMessageAndStatus) {
    std::vector<uint8_t> foreign = buildXm(demoSong());
    foreign[9] = 'm'; // "Extended module: "
    // Program, environment, song bytes; status and output (or its first line, for a shader
    // report followed by the driver's log, which is never empty).
    const std::tuple<const char *, std::string, std::vector<uint8_t>, int, std::string> cases[] = {
        {"veltrane", "", {}, 0, startMessage + "Error loading song\n"},
        {"veltrane", "", foreign, 0, startMessage + "Error loading song\n"},
        {"veltrane", "MESA_GL_VERSION_OVERRIDE=1.5", {}, 0, "OpenGL 2.0 required.\n"},
        {"tests/veltrane-broken-fragment", "", {}, 1, "Pixel shader compiling failed\n"},
        {"tests/veltrane-broken-both", "", {}, 1, "Vertex shader compiling failed\n"},
        {"tests/veltrane-broken-link", "", {}, 1, "Shader program linking failed\n"}};
    for (const auto &[program, environment, song, status, message] : cases) {
        ChildProcess intro;
        if (!song.empty())
            std::ofstream(intro.directory() + "/Rava64.xm", std::ios::binary)
                .write(reinterpret_cast<const char *>(song.data()), static_cast<long>(song.size()));
        intro.start(programPath(program), {},
                    environment.empty() ? std::vector<std::string>{}
                                        : std::vector<std::string>{environment});
        EXPECT_EQ(intro.waitForExit(milliseconds(10000)), std::optional<int>(status)) << program;
        const std::string output = intro.output();
        EXPECT_TRUE(status ? output.rfind(message, 0) == 0 && output.size() > message.size()
                           : output == message)
            << output;
        if (std::strstr(program, "both")) {
            EXPECT_EQ(output.find("Pixel shader"), std::string::npos) << "only the vertex stage";
        }
        if (std::strstr(program, "link")) {
            EXPECT_NE(output.find("main"), std::string::npos) << "not the linker's log";
        }
    }
    // A named song that does not load ends the intro before any window opens, naming the
    // file; more than one song is a usage error.
    const std::tuple<std::vector<std::string>, int, std::string, std::string> named[] = {
        {{"missing.xm"}, 1, "Error loading song\n", "veltrane: missing.xm: No such file"},
        {{"a.xm", "b.xm"}, 2, "", "veltrane: unexpected 'b.xm'"}};
    for (const auto &[arguments, status, output, error] : named) {
        ChildProcess intro;
        intro.start(programPath("veltrane"), arguments);
        EXPECT_EQ(intro.waitForExit(milliseconds(10000)), std::optional<int>(status));
        EXPECT_EQ(intro.output(), output);
        EXPECT_EQ(intro.errors().rfind(error, 0), 0u) << intro.errors();
    }
}

TEST(FrameTool, WritesAPictureOrSaysWhyNot) {
    ChildProcess run;
    run.start(FRAME_TOOL,
              {"--frame", "10", "--elapsed", "2500", "--row", "3", "--size", "64x48", "frame.png"});
    ASSERT_EQ(run.waitForExit(milliseconds(30000)), std::optional<int>(0)) << run.errors();
    RgbImage image;
    std::string error;
    ASSERT_TRUE(readPng(run.directory() + "/frame.png", image, error)) << error;
    EXPECT_EQ(image.width * 100 + image.height, 64 * 100 + 48);
    // Arguments, environment, status, and what the error holds.
    const std::tuple<std::vector<std::string>, std::string, int, std::string> cases[] = {
        {{"--size", "933", "f.png"}, "", 2, "veltrane-frame:"},
        {{"--frame", "3"}, "", 2, "no output file"},
        {{"--size", "8x8", "no/such/folder/f.png"}, "", 1, "no/such/folder/f.png"},
        {{"f.png"}, "DISPLAY=", 1, "no X display"}};
    for (const auto &[arguments, environment, status, message] : cases) {
        ChildProcess failing;
        failing.start(FRAME_TOOL, arguments,
                      environment.empty() ? std::vector<std::string>{}
                                          : std::vector<std::string>{environment});
        EXPECT_EQ(failing.waitForExit(milliseconds(30000)), std::optional<int>(status))
            << arguments[0];
        EXPECT_NE(failing.errors().find(message), std::string::npos) << failing.errors();
    }
}

} // namespace
