// The committed texture font against the rules the text drawing relies on,
// and, where the generator is built and its font installed, the generator
// making both files again byte for byte.

#include <gtest/gtest.h>

#include "app/font.h"
#include "child_process.h"

#include <fstream>
#include <sstream>

namespace {

const Glyph glyphs[256] = {
#include "app/data/glyph_table.inc"
};

std::string readFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

const std::string atlas = readFile(FONT_DATA_DIR "/font_atlas.rgba");

int alphaAt(int x, int y) { // past the 4 leading zero bytes
    return static_cast<uint8_t>(atlas[4 + (y * 256 + x) * 4 + 3]);
}

TEST(Font, AtlasAndTableKeepTheRulesOfTheTextDrawing) {
    ASSERT_EQ(atlas.size(), static_cast<size_t>(fontImageBytes));
    EXPECT_EQ(atlas.substr(0, 4), std::string(4, '\0'));
    // The rows the drawing's numbers rest on: space, A, M, g, j, the comma, _ and 137.
    const std::pair<int, std::vector<int>> rows[] = {
        {' ', {251, 74, 1, 1, 0, 27, 8}},    {'A', {138, 124, 16, 19, 0, 8, 16}},
        {'M', {155, 124, 16, 19, 2, 8, 20}}, {'g', {140, 164, 11, 19, 1, 13, 14}},
        {'j', {197, 54, 7, 24, -2, 8, 7}},   {',', {196, 198, 5, 8, 1, 23, 8}},
        {'_', {177, 209, 14, 2, 0, 29, 14}}, {137, {0, 126, 34, 19, 1, 8, 36}}};
    for (const auto &[code, row] : rows) {
        const Glyph &g = glyphs[code];
        EXPECT_EQ((std::vector<int>{g.x, g.y, g.width, g.height, g.xOffset, g.yOffset, g.advance}),
                  row)
            << code;
    }
    // The printable positions of code page 1250 have glyphs inside their 32-pixel cells and
    // atlas rows 0..226, without overlaps; the other 38 codes hold -1. Coverage is white,
    // lies inside the boxes and reaches every box but the spaces'.
    std::vector<int> owner(256 * 256, -1);
    int empty = 0;
    for (int code = 0; code < 256; ++code) {
        const Glyph &g = glyphs[code];
        const bool printable = code >= 32 && code != 127 && code != 129 && code != 131 &&
                               code != 136 && code != 144 && code != 152;
        if (!printable) {
            EXPECT_TRUE(g.x == -1 && g.width == -1 && g.advance == -1 && g.yOffset == -1) << code;
            ++empty;
            continue;
        }
        EXPECT_TRUE(g.yOffset >= 0 && g.yOffset + g.height <= 32 && g.x >= 0 && g.y >= 0 &&
                    g.x + g.width <= 256 && g.y + g.height <= 227 && g.advance > 0)
            << code;
        int covered = 0;
        for (int y = g.y; y < g.y + g.height; ++y)
            for (int x = g.x; x < g.x + g.width; ++x) {
                EXPECT_EQ(owner[y * 256 + x], -1) << code << " overlaps " << owner[y * 256 + x];
                owner[y * 256 + x] = code;
                covered += alphaAt(x, y) > 0;
            }
        EXPECT_EQ(covered > 0, code != 32 && code != 160) << code;
    }
    EXPECT_EQ(empty, 38);
    for (int pixel = 0; pixel < 256 * 256; ++pixel)
        if (alphaAt(pixel % 256, pixel / 256) > 0) {
            EXPECT_NE(owner[pixel], -1) << "stray coverage at " << pixel;
            EXPECT_EQ(atlas.substr(4 + pixel * 4, 3), "\xff\xff\xff") << pixel;
        }
}

#ifdef FONT_GENERATOR
TEST(Font, TheGeneratorMakesTheCommittedFilesAgain) {
    const int fontMissing = 3; // the generator's status when its font is not installed
    ChildProcess generator;
    generator.start(FONT_GENERATOR, {"--output", generator.directory()});
    const std::optional<int> status = generator.waitForExit(std::chrono::milliseconds(60000));
    if (status == std::optional<int>(fontMissing))
        GTEST_SKIP() << "the generator's font is not installed: " << generator.errors();
    ASSERT_EQ(status, std::optional<int>(0)) << generator.errors();
    EXPECT_TRUE(readFile(generator.directory() + "/font_atlas.rgba") == atlas)
        << "regenerate app/data with veltrane-font";
    EXPECT_EQ(readFile(generator.directory() + "/glyph_table.inc"),
              readFile(FONT_DATA_DIR "/glyph_table.inc"));
    // What it says when it can't: arguments, status and the start of the message.
    const std::string missing = generator.directory() + "/missing.ttf",
                      text = generator.directory() + "/not-a-font.ttf";
    std::ofstream(text) << "no outlines here\n";
    const std::tuple<std::vector<std::string>, int, std::string> failures[] = {
        {{"--font", missing}, fontMissing, missing},
        {{"--font", text}, 1, text + ": not a font file"},
        {{"--output", generator.directory() + "/none"},
         1,
         generator.directory() + "/none/font_atlas.rgba: cannot create"},
        {{"--size", "12"}, 2, "'--size'"}};
    for (const auto &[arguments, failure, message] : failures) {
        ChildProcess run;
        run.start(FONT_GENERATOR, arguments);
        EXPECT_EQ(run.waitForExit(std::chrono::milliseconds(60000)), std::optional<int>(failure));
        EXPECT_NE(run.errors().find(message), std::string::npos) << run.errors();
    }
}
#endif

} // namespace
