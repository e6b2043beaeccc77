// veltrane-frame's command line: what it writes, and what it says when it can't.

#include <gtest/gtest.h>

#include "child_process.h"
#include "tools/png_file.h"

#include <string>

namespace {

using std::chrono::milliseconds;

struct FrameToolRun {
    ChildProcess process;
    std::optional<int> status;

    FrameToolRun(const std::vector<std::string> &arguments,
                 const std::vector<std::string> &environment = {}) {
        process.start(FRAME_TOOL, arguments, environment);
        status = process.waitForExit(milliseconds(30000));
    }
};

TEST(FrameTool, WritesAPictureOfTheRequestedSize) {
    FrameToolRun run(
        {"--frame", "10", "--elapsed", "2500", "--row", "3", "--size", "64x48", "frame.png"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    RgbImage image;
    std::string error;
    ASSERT_TRUE(readPng(run.process.directory() + "/frame.png", image, error)) << error;
    EXPECT_EQ(image.width, 64);
    EXPECT_EQ(image.height, 48);
}

TEST(FrameTool, ExplainsItselfOnHelp) {
    FrameToolRun run({"--help"});
    EXPECT_EQ(run.status, std::optional<int>(0));
    EXPECT_NE(run.process.output().find("usage: veltrane-frame"), std::string::npos);
}

TEST(FrameTool, RefusesBadArgumentsNamingThem) {
    const std::vector<std::vector<std::string>> cases = {
        {"--size", "0x5", "f.png"},
        {"--size", "933", "f.png"},
        {"--frame", "-1", "f.png"},
        {"--row", "seven", "f.png"},
        {"--frame"},
        {"--colour", "red", "f.png"},
        {"a.png", "b.png"},
    };
    for (const auto &arguments : cases) {
        FrameToolRun run(arguments);
        EXPECT_EQ(run.status, std::optional<int>(2)) << arguments[0];
        EXPECT_NE(run.process.errors().find("veltrane-frame:"), std::string::npos);
    }
    FrameToolRun noOutput({"--frame", "3"});
    EXPECT_EQ(noOutput.status, std::optional<int>(2));
    EXPECT_NE(noOutput.process.errors().find("no output file"), std::string::npos);
}

TEST(FrameTool, NamesAFileItCannotWrite) {
    FrameToolRun run({"--size", "8x8", "no/such/folder/f.png"});
    EXPECT_EQ(run.status, std::optional<int>(1));
    EXPECT_NE(run.process.errors().find("no/such/folder/f.png"), std::string::npos);
}

TEST(FrameTool, SaysSoWithoutADisplay) {
    FrameToolRun run({"f.png"}, {"DISPLAY="});
    EXPECT_EQ(run.status, std::optional<int>(1));
    EXPECT_NE(run.process.errors().find("no X display"), std::string::npos);
}

} // namespace
