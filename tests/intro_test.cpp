// The real intro, started as a process on a private Xvfb screen without a
// window manager: its console, its window and its exit status.

#include <gtest/gtest.h>

#include "child_process.h"
#include "demo_song.h"
#include "tools/wav_file.h"
#include "tools/xwindow.h"

#include <chrono>
#include <cstring>
#include <iterator>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The intro's program file and its variants with broken shader sources.
std::string programPath(const char *name) {
    return std::string(INTRO_DIR) + "/" + name;
}

class XServer {
  public:
    XServer() : display(XOpenDisplay(nullptr)) {}
    ~XServer() {
        if (display)
            XCloseDisplay(display);
    }

    Window waitForWindow(const std::string &title, milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        Window window = 0;
        while (!(window = findMappedWindow(display, title)) && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(20));
        return window;
    }

    // Full screen is asked for before the main loop starts; wait for it to land.
    bool waitToCoverScreen(Window window, milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            if (covers(windowGeometry(display, window), screenGeometry(display)))
                return true;
            std::this_thread::sleep_for(milliseconds(20));
        }
        return false;
    }

    static bool covers(const WindowGeometry &window, const WindowGeometry &screen) {
        return window.x <= 0 && window.y <= 0 && window.x + window.width >= screen.width &&
               window.y + window.height >= screen.height;
    }

    Display *display;
};

const char *startMessage = "Opengl 2.0 found, zsiir.\n";

// A running intro with its window found.
struct RunningIntro {
    ChildProcess process;
    XServer screen;
    Window window = 0;

    // Silent in real time unless the test chooses another audio driver.
    explicit RunningIntro(const std::vector<std::string> &environment = {"SDL_AUDIODRIVER=dummy"}) {
        writeXm(process.directory() + "/Rava64.xm", demoSong());
        process.start(programPath("veltrane"), {}, environment);
        window = screen.waitForWindow("Veltrane", milliseconds(10000));
        EXPECT_NE(window, 0u) << "no window titled \"Veltrane\" appeared";
    }
};

TEST(Intro, OpensAFullScreenWindowAndEndsOnEscape) {
    RunningIntro intro;
    ASSERT_NE(intro.window, 0u);
    EXPECT_TRUE(intro.screen.waitToCoverScreen(intro.window, milliseconds(5000)));
    std::this_thread::sleep_for(milliseconds(1500));
    ASSERT_FALSE(intro.process.waitForExit(milliseconds(0))) << "the intro ended by itself";

    ASSERT_TRUE(sendKey(intro.screen.display, intro.window, "Escape"));
    const auto pressed = Clock::now();
    const std::optional<int> status = intro.process.waitForExit(milliseconds(2000));
    ASSERT_TRUE(status) << "still running 2 s after Esc";
    EXPECT_EQ(*status, 0);
    EXPECT_LT(Clock::now() - pressed, milliseconds(2000));
}

TEST(Intro, OtherKeysDoNothing) {
    RunningIntro intro;
    ASSERT_NE(intro.window, 0u);
    for (const char *key : {"a", "q", "space", "Return", "F1"})
        sendKey(intro.screen.display, intro.window, key);
    EXPECT_FALSE(intro.process.waitForExit(milliseconds(1000)));
    sendKey(intro.screen.display, intro.window, "Escape");
    EXPECT_EQ(intro.process.waitForExit(milliseconds(2000)), std::optional<int>(0));
}

TEST(Intro, EndsWhenItsWindowIsClosed) {
    RunningIntro intro;
    ASSERT_NE(intro.window, 0u);
    std::this_thread::sleep_for(milliseconds(500));
    requestClose(intro.screen.display, intro.window);
    EXPECT_EQ(intro.process.waitForExit(milliseconds(2000)), std::optional<int>(0));
    EXPECT_EQ(intro.process.output().rfind(startMessage, 0), 0u);
}

// One status line per frame, rewritten in place; while a credit pair is on
// screen (from 2 s on) each line is followed by the pair's fly-in value.
TEST(Intro, PrintsOneStatusLinePerFrameEndingInCarriageReturn) {
    RunningIntro intro;
    ASSERT_NE(intro.window, 0u);
    std::this_thread::sleep_for(milliseconds(3500));
    sendKey(intro.screen.display, intro.window, "Escape");
    ASSERT_EQ(intro.process.waitForExit(milliseconds(2000)), std::optional<int>(0));

    const std::string output = intro.process.output();
    ASSERT_EQ(output.rfind(startMessage, 0), 0u) << output.substr(0, 200);
    const std::string statusLines = output.substr(std::string(startMessage).size());
    EXPECT_EQ(statusLines.find('\n'), std::string::npos) << "a status line ends in a newline";
    ASSERT_FALSE(statusLines.empty());
    const std::regex line("ord +(\\d+) row +(\\d+) seconds +(\\d+\\.\\d\\d) (TICK|    )      \r"
                          "([0-9.e+-]*)");
    size_t covered = 0;
    int lines = 0, flyInValues = 0;
    double lastSeconds = 0;
    for (std::sregex_iterator match(statusLines.begin(), statusLines.end(), line), end;
         match != end; ++match, ++lines) {
        const int row = std::stoi((*match)[2]);
        const double seconds = std::stod((*match)[3]);
        EXPECT_EQ((*match)[4] == "TICK", row % 8 == 0) << match->str();
        EXPECT_GE(seconds, lastSeconds);
        lastSeconds = seconds;
        if ((*match)[5].length() > 0) {
            ++flyInValues;
            const double flyIn = std::stod((*match)[5]);
            EXPECT_GE(flyIn, 0.25);
            EXPECT_LE(flyIn, 20.25);
        }
        covered += match->length();
    }
    EXPECT_GE(lines, 2);
    EXPECT_EQ(covered, statusLines.size()) << "stray console text";
    EXPECT_GT(lastSeconds, 0.5) << "the music's position does not move";
    EXPECT_GE(flyInValues, 1) << "no credit value after 3.5 s";
    EXPECT_LT(flyInValues, lines) << "credit values before 2 s";
}

TEST(Intro, ShowsTheSceneOverTheWholeScreen) {
    RunningIntro intro;
    ASSERT_NE(intro.window, 0u);
    ASSERT_TRUE(intro.screen.waitToCoverScreen(intro.window, milliseconds(5000)));
    std::this_thread::sleep_for(milliseconds(1500));
    RgbImage shot;
    ASSERT_TRUE(grabScreen(intro.screen.display, shot));
    sendKey(intro.screen.display, intro.window, "Escape");
    EXPECT_EQ(intro.process.waitForExit(milliseconds(2000)), std::optional<int>(0));

    // Sky above the horizon is black; the checkered floor below is red and
    // dark red, right to the screen's edges.
    auto pixel = [&](int x, int y) {
        return &shot.rgb[(static_cast<size_t>(y) * shot.width + x) * 3];
    };
    const uint8_t *corner = pixel(0, 0);
    EXPECT_LT(corner[0] + corner[1] + corner[2], 30);
    int redPixels = 0, bottomPixels = 0;
    for (int y = shot.height * 7 / 8; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x, ++bottomPixels) {
            const uint8_t *p = pixel(x, y);
            redPixels += p[0] > 2 * p[1] + 10 && p[0] > 2 * p[2] + 10;
        }
    EXPECT_GT(redPixels, bottomPixels / 3);
    const uint8_t *bottomRight = pixel(shot.width - 1, shot.height - 1);
    EXPECT_GT(bottomRight[0], 0) << "the screen's bottom-right corner is not covered";
}

std::vector<int16_t> readRaw(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::vector<int16_t> values(bytes.size() / 2);
    std::memcpy(values.data(), bytes.data(), values.size() * 2);
    return values;
}

// Drops the silent frames before the first sound.
std::vector<int16_t> fromFirstSound(const std::vector<int16_t> &values) {
    size_t first = 0;
    while (first + 1 < values.size() && values[first] == 0 && values[first + 1] == 0)
        first += 2;
    return std::vector<int16_t>(values.begin() + static_cast<long>(first), values.end());
}

// The device opens before the ring is mixed and plays silence until it
// starts; from the first sound on, it gets the renderer's frames exactly.
TEST(Intro, HandsTheAudioDeviceWhatTheRendererRenders) {
    RunningIntro intro({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=sound.raw"});
    ASSERT_NE(intro.window, 0u);
    std::this_thread::sleep_for(milliseconds(3000));
    sendKey(intro.screen.display, intro.window, "Escape");
    ASSERT_EQ(intro.process.waitForExit(milliseconds(3000)), std::optional<int>(0));

    ChildProcess renderer;
    writeXm(renderer.directory() + "/song.xm", demoSong());
    renderer.start(XM2WAV, {"song.xm", "song.wav", "--seconds", "10"});
    ASSERT_EQ(renderer.waitForExit(milliseconds(30000)), std::optional<int>(0));
    WavSound rendered;
    std::string error;
    ASSERT_TRUE(readWav(renderer.directory() + "/song.wav", rendered, error)) << error;

    const std::vector<int16_t> heard =
        fromFirstSound(readRaw(intro.process.directory() + "/sound.raw"));
    const std::vector<int16_t> expected = fromFirstSound(rendered.values);
    ASSERT_GT(heard.size(), 2u * 44100) << "less than a second reached the device";
    ASSERT_LE(heard.size(), expected.size());
    size_t firstDifference = 0;
    while (firstDifference < heard.size() && heard[firstDifference] == expected[firstDifference])
        ++firstDifference;
    EXPECT_EQ(firstDifference, heard.size()) << "frames differ from frame " << firstDifference / 2;
}

TEST(IntroStartUp, EndsWithStatus0WhenTheSongIsMissing) {
    ChildProcess intro;
    intro.start(programPath("veltrane"));
    EXPECT_EQ(intro.waitForExit(milliseconds(10000)), std::optional<int>(0));
    EXPECT_EQ(intro.output(), std::string(startMessage) + "Error loading song\n");
}

TEST(IntroStartUp, EndsWithStatus0WhenTheSongIsNotAnXmFile) {
    ChildProcess intro;
    std::vector<uint8_t> bytes = buildXm(demoSong());
    bytes[9] = 'm'; // "Extended module: "
    std::ofstream(intro.directory() + "/Rava64.xm", std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<long>(bytes.size()));
    intro.start(programPath("veltrane"));
    EXPECT_EQ(intro.waitForExit(milliseconds(10000)), std::optional<int>(0));
    EXPECT_EQ(intro.output(), std::string(startMessage) + "Error loading song\n");
}

TEST(IntroStartUp, ReportsAMissingOpenGl20AndEndsWithStatus0) {
    ChildProcess intro;
    intro.start(programPath("veltrane"), {}, {"MESA_GL_VERSION_OVERRIDE=1.5"});
    EXPECT_EQ(intro.waitForExit(milliseconds(10000)), std::optional<int>(0));
    EXPECT_EQ(intro.output(), "OpenGL 2.0 required.\n");
}

// The report's first line, then the driver's log, which is never empty.
void expectShaderFailure(const char *variant, const std::string &firstLine) {
    ChildProcess intro;
    intro.start(programPath(variant));
    EXPECT_EQ(intro.waitForExit(milliseconds(10000)), std::optional<int>(1));
    const std::string output = intro.output();
    EXPECT_EQ(output.rfind(firstLine, 0), 0u) << output;
    EXPECT_GT(output.size(), firstLine.size()) << "no log after the report";
}

TEST(IntroStartUp, ReportsAFragmentStageThatFailsToCompile) {
    expectShaderFailure("tests/veltrane-broken-fragment", "Pixel shader compiling failed\n");
}

TEST(IntroStartUp, ReportsOnlyTheVertexStageWhenBothFail) {
    expectShaderFailure("tests/veltrane-broken-both", "Vertex shader compiling failed\n");
    ChildProcess intro;
    intro.start(programPath("tests/veltrane-broken-both"));
    intro.waitForExit(milliseconds(10000));
    EXPECT_EQ(intro.output().find("Pixel shader"), std::string::npos);
}

TEST(IntroStartUp, ReportsAProgramThatFailsToLinkWithTheProgramLog) {
    expectShaderFailure("tests/veltrane-broken-link", "Shader program linking failed\n");
    ChildProcess intro;
    intro.start(programPath("tests/veltrane-broken-link"));
    intro.waitForExit(milliseconds(10000));
    EXPECT_NE(intro.output().find("main"), std::string::npos) << "not the linker's log";
}

} // namespace
