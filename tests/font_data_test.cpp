// The committed texture font, and the generator making it again where it can.

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

TEST(Font, AtlasAndTableKeepTheRulesOfTheTextDrawing) {
    // 4 zero bytes and the RGBA pixels; the printable positions of code page 1250 have glyphs
    // inside their 32-pixel cells and atlas rows 0..226, the other 38 codes hold -1.
    ASSERT_EQ(atlas.size(), static_cast<size_t>(fontImageBytes));
    EXPECT_EQ(atlas.substr(0, 4), std::string(4, '\0'));
    int empty = 0;
    for (int code = 0; code < 256; ++code) {
        const Glyph &g = glyphs[code];
        if (code < 32 || code == 127 || code == 129 || code == 131 || code == 136 || code == 144 ||
            code == 152) {
            EXPECT_TRUE(g.x == -1 && g.width == -1 && g.advance == -1) << code;
            ++empty;
        } else {
            EXPECT_TRUE(g.yOffset >= 0 && g.yOffset + g.height <= 32 && g.x >= 0 && g.y >= 0 &&
                        g.x + g.width <= 256 && g.y + g.height <= 227 && g.advance > 0)
                << code;
        }
    }
    EXPECT_EQ(empty, 38);
}

#ifdef FONT_GENERATOR
TEST(Font, TheGeneratorMakesTheCommittedFilesAgain) {
    ChildProcess generator;
    generator.start(FONT_GENERATOR, {"--output", generator.directory()});
    const std::optional<int> status = generator.waitForExit(std::chrono::milliseconds(60000));
    if (generator.errors().find("no such font file") != std::string::npos)
        GTEST_SKIP() << "the generator's font is not installed: " << generator.errors();
    ASSERT_EQ(status, std::optional<int>(0)) << generator.errors();
    EXPECT_TRUE(readFile(generator.directory() + "/font_atlas.rgba") == atlas)
        << "regenerate app/data with veltrane-font";
    EXPECT_EQ(readFile(generator.directory() + "/glyph_table.inc"),
              readFile(FONT_DATA_DIR "/glyph_table.inc"));
}
#endif

} // namespace
