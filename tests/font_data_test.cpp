// The committed texture font: the atlas bytes and the glyph table checked
// against the rules the text drawing relies on, and, where the generator is
// built and its font is installed, the generator making both files again
// byte for byte.

#include <gtest/gtest.h>

#include "app/font.h"
#include "child_process.h"

#include <cstdint>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

const Glyph glyphs[256] = {
#include "app/data/glyph_table.inc"
};

const int atlasSize = 256;
const int usableRows = 227;
const int cellHeight = 32;

const std::string dataDirectory = FONT_DATA_DIR;
const std::string atlasName = "font_atlas.rgba";
const std::string tableName = "glyph_table.inc";

std::string readFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

const std::string &atlas() {
    static const std::string bytes = readFile(dataDirectory + "/" + atlasName);
    return bytes;
}

// The alpha of an atlas pixel, past the 4 leading bytes.
int alphaAt(int x, int y) {
    return static_cast<uint8_t>(atlas()[4 + (static_cast<size_t>(y) * atlasSize + x) * 4 + 3]);
}

// The printable positions of Windows code page 1250.
bool hasGlyph(int code) {
    if (code < 32 || code == 127)
        return false;
    return code != 129 && code != 131 && code != 136 && code != 144 && code != 152;
}

const Glyph &glyphOf(char c) {
    return glyphs[static_cast<uint8_t>(c)];
}

bool isEmpty(const Glyph &g) {
    return g.x == -1 && g.y == -1 && g.width == -1 && g.height == -1 && g.xOffset == -1 &&
           g.yOffset == -1 && g.advance == -1;
}

std::string describe(const Glyph &g) {
    std::ostringstream text;
    text << "{" << g.x << ", " << g.y << ", " << g.width << ", " << g.height << ", " << g.xOffset
         << ", " << g.yOffset << ", " << g.advance << "}";
    return text.str();
}

void expectRow(int code, const Glyph &expected) {
    EXPECT_EQ(describe(glyphs[code]), describe(expected)) << "code " << code;
}

int advanceSum(const char *text) {
    int sum = 0;
    for (const char *c = text; *c; ++c)
        sum += glyphOf(*c).advance;
    return sum;
}

TEST(FontAtlas, HoldsFourZeroBytesAndTheRgbaPixels) {
    ASSERT_EQ(atlas().size(), static_cast<size_t>(fontImageBytes));
    ASSERT_EQ(fontImageBytes, 262148);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(atlas()[i], '\0') << "byte " << i;
}

TEST(FontAtlas, IsWhiteWhereverAlphaIsAboveZero) {
    ASSERT_EQ(atlas().size(), static_cast<size_t>(fontImageBytes));
    int coloured = 0;
    for (int y = 0; y < atlasSize; ++y)
        for (int x = 0; x < atlasSize; ++x) {
            if (alphaAt(x, y) == 0)
                continue;
            const size_t at = 4 + (static_cast<size_t>(y) * atlasSize + x) * 4;
            for (int channel = 0; channel < 3; ++channel)
                if (static_cast<uint8_t>(atlas()[at + channel]) != 255)
                    ++coloured;
        }
    EXPECT_EQ(coloured, 0);
}

TEST(FontAtlas, AlphaTakesOnlyTheSixtyFiveLevels) {
    ASSERT_EQ(atlas().size(), static_cast<size_t>(fontImageBytes));
    bool seen[256] = {};
    for (int y = 0; y < atlasSize; ++y)
        for (int x = 0; x < atlasSize; ++x)
            seen[alphaAt(x, y)] = true;
    for (int alpha = 0; alpha < 256; ++alpha)
        if (seen[alpha]) {
            EXPECT_TRUE(alpha == 0 || alpha % 4 == 3) << "alpha " << alpha;
        }
    // Anti-aliased edges use the levels between the extremes.
    EXPECT_TRUE(seen[0]);
    EXPECT_TRUE(seen[255]);
    int levels = 0;
    for (int alpha = 3; alpha < 255; alpha += 4)
        levels += seen[alpha];
    EXPECT_GT(levels, 40);
}

TEST(GlyphTable, FileHasOneLinePerCodeWithItsCodeNamed) {
    const std::string text = readFile(dataDirectory + "/" + tableName);
    std::istringstream lines(text);
    const std::regex form(
        R"(\{(-?\d+), (-?\d+), (-?\d+), (-?\d+), (-?\d+), (-?\d+), (-?\d+)\}, // (\d+) .+)");
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, form)) << "line " << count + 1 << ": " << line;
        EXPECT_EQ(std::stoi(match[8]), count) << line;
        ++count;
    }
    EXPECT_EQ(count, 256);
    EXPECT_EQ(text.back(), '\n');
}

TEST(GlyphTable, TheThirtyEightCodesWithoutAGlyphHoldMinusOne) {
    int empty = 0;
    for (int code = 0; code < 256; ++code) {
        if (hasGlyph(code)) {
            EXPECT_FALSE(isEmpty(glyphs[code])) << "code " << code;
        } else {
            EXPECT_TRUE(isEmpty(glyphs[code])) << "code " << code << " " << describe(glyphs[code]);
        }
        empty += isEmpty(glyphs[code]);
    }
    EXPECT_EQ(empty, 38);
}

TEST(GlyphTable, KeepsTheFixedRowsExactly) {
    expectRow(' ', {251, 74, 1, 1, 0, 27, 8});
    expectRow('A', {138, 124, 16, 19, 0, 8, 16});
    expectRow('M', {155, 124, 16, 19, 2, 8, 20});
    expectRow('g', {140, 164, 11, 19, 1, 13, 14});
    expectRow('j', {197, 54, 7, 24, -2, 8, 7});
    expectRow(',', {196, 198, 5, 8, 1, 23, 8});
    expectRow('_', {177, 209, 14, 2, 0, 29, 14});
    expectRow(137, {0, 126, 34, 19, 1, 8, 36});
}

TEST(GlyphTable, DigitsShareOneAdvanceAndStandAtCapitalHeight) {
    for (int code = '0'; code <= '9'; ++code) {
        const Glyph &digit = glyphs[code];
        EXPECT_GE(digit.width, 9) << "digit " << static_cast<char>(code);
        EXPECT_LE(digit.width, 13) << "digit " << static_cast<char>(code);
        EXPECT_EQ(digit.height, 19) << "digit " << static_cast<char>(code);
        EXPECT_GE(digit.xOffset, 1) << "digit " << static_cast<char>(code);
        EXPECT_LE(digit.xOffset, 3) << "digit " << static_cast<char>(code);
        EXPECT_EQ(digit.yOffset, 8) << "digit " << static_cast<char>(code);
        EXPECT_EQ(digit.advance, 14) << "digit " << static_cast<char>(code);
    }
}

TEST(GlyphTable, MusicColonIsSeventyFourPixelsWide) {
    EXPECT_EQ(glyphOf('u').advance, 15);
    EXPECT_EQ(glyphOf('s').advance, 12);
    EXPECT_EQ(glyphOf('i').advance, 6);
    EXPECT_EQ(glyphOf('c').advance, 12);
    EXPECT_EQ(glyphOf(':').advance, 9);
    EXPECT_EQ(advanceSum("Music:"), 74);
    EXPECT_FLOAT_EQ(static_cast<float>(advanceSum("Music:")) / 32.0f, 2.3125f);
}

TEST(GlyphTable, LettersSitOnTheBaselineAndTheirLines) {
    // Capitals 19 high from row 8; J and Q reach below the baseline.
    for (int code = 'A'; code <= 'Z'; ++code) {
        EXPECT_EQ(glyphs[code].yOffset, 8) << static_cast<char>(code);
        if (code != 'J' && code != 'Q') {
            EXPECT_EQ(glyphs[code].height, 19) << static_cast<char>(code);
        }
    }
    for (const char *c = "acemnorsuvwxz"; *c; ++c) {
        EXPECT_EQ(glyphOf(*c).yOffset, 13) << *c;
        EXPECT_EQ(glyphOf(*c).height, 14) << *c;
    }
    for (const char *c = "bdhkl"; *c; ++c) {
        EXPECT_EQ(glyphOf(*c).yOffset, 8) << *c;
        EXPECT_EQ(glyphOf(*c).height, 19) << *c;
    }
    for (const char *c = "gjpqy"; *c; ++c) {
        const Glyph &g = glyphOf(*c);
        EXPECT_EQ(g.yOffset + g.height, 32) << *c;
    }
}

TEST(GlyphTable, BoxesLieInsideTheirCells) {
    for (int code = 0; code < 256; ++code)
        if (hasGlyph(code)) {
            EXPECT_GE(glyphs[code].yOffset, 0) << "code " << code;
            EXPECT_LE(glyphs[code].yOffset + glyphs[code].height, cellHeight) << "code " << code;
        }
}

TEST(GlyphTable, BoxesStayInAtlasRowsZeroTo226) {
    for (int code = 0; code < 256; ++code)
        if (hasGlyph(code)) {
            const Glyph &g = glyphs[code];
            EXPECT_GE(g.x, 0) << "code " << code;
            EXPECT_GE(g.y, 0) << "code " << code;
            EXPECT_LE(g.x + g.width, atlasSize) << "code " << code;
            EXPECT_LE(g.y + g.height, usableRows) << "code " << code;
        }
}

TEST(GlyphTable, BoxesDoNotOverlap) {
    for (int a = 0; a < 256; ++a)
        for (int b = a + 1; b < 256; ++b) {
            if (!hasGlyph(a) || !hasGlyph(b))
                continue;
            const Glyph &p = glyphs[a];
            const Glyph &q = glyphs[b];
            const bool overlap = p.x < q.x + q.width && q.x < p.x + p.width &&
                                 p.y < q.y + q.height && q.y < p.y + p.height;
            EXPECT_FALSE(overlap) << "codes " << a << " and " << b;
        }
}

TEST(GlyphTable, ValuesStayInTheirRanges) {
    for (int code = 0; code < 256; ++code) {
        if (!hasGlyph(code))
            continue;
        const Glyph &g = glyphs[code];
        EXPECT_TRUE(g.width >= 1 && g.width <= 34) << "code " << code << " " << describe(g);
        EXPECT_TRUE(g.height >= 1 && g.height <= 27) << "code " << code << " " << describe(g);
        EXPECT_TRUE(g.xOffset >= -2 && g.xOffset <= 6) << "code " << code << " " << describe(g);
        EXPECT_TRUE(g.yOffset >= 0 && g.yOffset <= 29) << "code " << code << " " << describe(g);
        EXPECT_TRUE(g.advance >= 5 && g.advance <= 36) << "code " << code << " " << describe(g);
    }
}

TEST(FontAtlas, SpaceBoxIsCoverageFree) {
    ASSERT_EQ(atlas().size(), static_cast<size_t>(fontImageBytes));
    for (int code : {32, 160}) {
        const Glyph &g = glyphs[code];
        EXPECT_EQ(g.width, 1) << "code " << code;
        EXPECT_EQ(g.height, 1) << "code " << code;
        EXPECT_EQ(alphaAt(g.x, g.y), 0) << "code " << code;
    }
}

TEST(FontAtlas, EveryOtherGlyphHasCoverage) {
    ASSERT_EQ(atlas().size(), static_cast<size_t>(fontImageBytes));
    for (int code = 0; code < 256; ++code) {
        if (!hasGlyph(code) || code == 32 || code == 160)
            continue;
        const Glyph &g = glyphs[code];
        int covered = 0;
        for (int y = g.y; y < g.y + g.height; ++y)
            for (int x = g.x; x < g.x + g.width; ++x)
                covered += alphaAt(x, y) > 0;
        EXPECT_GT(covered, 0) << "code " << code;
    }
}

TEST(FontAtlas, NoCoverageOutsideTheBoxes) {
    ASSERT_EQ(atlas().size(), static_cast<size_t>(fontImageBytes));
    std::vector<bool> inBox(atlasSize * atlasSize, false);
    for (int code = 0; code < 256; ++code)
        if (hasGlyph(code))
            for (int y = glyphs[code].y; y < glyphs[code].y + glyphs[code].height; ++y)
                for (int x = glyphs[code].x; x < glyphs[code].x + glyphs[code].width; ++x)
                    inBox[y * atlasSize + x] = true;
    int stray = 0;
    for (int y = 0; y < atlasSize; ++y)
        for (int x = 0; x < atlasSize; ++x)
            if (!inBox[y * atlasSize + x] && alphaAt(x, y) > 0)
                ++stray;
    EXPECT_EQ(stray, 0);
}

TEST(FontAtlas, GlyphsFillTheirBoxesToTheEdges) {
    // The outlines are stretched to their boxes, so every box with coverage
    // has some in its first and last row and column.
    ASSERT_EQ(atlas().size(), static_cast<size_t>(fontImageBytes));
    const int boxFilling[] = {'A', 'M', 'g', 'j', ',', '_', '0', '8', 137};
    for (int code : boxFilling) {
        const Glyph &g = glyphs[code];
        int top = 0, bottom = 0, left = 0, right = 0;
        for (int x = g.x; x < g.x + g.width; ++x) {
            top += alphaAt(x, g.y) > 0;
            bottom += alphaAt(x, g.y + g.height - 1) > 0;
        }
        for (int y = g.y; y < g.y + g.height; ++y) {
            left += alphaAt(g.x, y) > 0;
            right += alphaAt(g.x + g.width - 1, y) > 0;
        }
        EXPECT_TRUE(top && bottom && left && right) << "code " << code;
    }
}

#ifdef FONT_GENERATOR

using std::chrono::milliseconds;

// Status of the generator when its font file is not installed.
const int fontMissing = 3;

TEST(FontGenerator, ReproducesTheCommittedFilesByteForByte) {
    ChildProcess generator;
    generator.start(FONT_GENERATOR, {"--output", generator.directory()});
    const std::optional<int> status = generator.waitForExit(milliseconds(60000));
    ASSERT_TRUE(status.has_value());
    if (*status == fontMissing)
        GTEST_SKIP() << "the generator's font is not installed: " << generator.errors();
    ASSERT_EQ(*status, 0) << generator.errors();
    const std::string atlasMade = readFile(generator.directory() + "/" + atlasName);
    const std::string tableMade = readFile(generator.directory() + "/" + tableName);
    EXPECT_EQ(atlasMade.size(), static_cast<size_t>(fontImageBytes));
    EXPECT_TRUE(atlasMade == atlas()) << "regenerate app/data with veltrane-font";
    EXPECT_EQ(tableMade, readFile(dataDirectory + "/" + tableName));
}

TEST(FontGenerator, PrintsItsUsage) {
    ChildProcess generator;
    generator.start(FONT_GENERATOR, {"--help"});
    EXPECT_EQ(generator.waitForExit(milliseconds(10000)), 0);
    EXPECT_NE(generator.output().find("--font FILE"), std::string::npos) << generator.output();
    EXPECT_NE(generator.output().find("--output DIR"), std::string::npos) << generator.output();
}

TEST(FontGenerator, NamesAFontFileThatIsMissing) {
    ChildProcess generator;
    const std::string font = generator.directory() + "/missing.ttf";
    generator.start(FONT_GENERATOR, {"--font", font, "--output", generator.directory()});
    EXPECT_EQ(generator.waitForExit(milliseconds(10000)), fontMissing);
    EXPECT_NE(generator.errors().find(font), std::string::npos) << generator.errors();
}

TEST(FontGenerator, NamesAFontFileItCannotRead) {
    ChildProcess generator;
    const std::string font = generator.directory() + "/not-a-font.ttf";
    std::ofstream(font) << "no outlines here\n";
    generator.start(FONT_GENERATOR, {"--font", font, "--output", generator.directory()});
    EXPECT_EQ(generator.waitForExit(milliseconds(10000)), 1);
    EXPECT_NE(generator.errors().find(font + ": not a font file"), std::string::npos)
        << generator.errors();
}

TEST(FontGenerator, NamesAnOutputFileItCannotWrite) {
    ChildProcess generator;
    const std::string output = generator.directory() + "/no-such-directory";
    generator.start(FONT_GENERATOR, {"--output", output});
    const std::optional<int> status = generator.waitForExit(milliseconds(60000));
    ASSERT_TRUE(status.has_value());
    if (*status == fontMissing)
        GTEST_SKIP() << "the generator's font is not installed";
    EXPECT_EQ(*status, 1);
    EXPECT_NE(generator.errors().find(output + "/" + atlasName + ": cannot create"),
              std::string::npos)
        << generator.errors();
}

TEST(FontGenerator, RejectsAnUnknownOption) {
    ChildProcess generator;
    generator.start(FONT_GENERATOR, {"--size", "12"});
    EXPECT_EQ(generator.waitForExit(milliseconds(10000)), 2);
    EXPECT_NE(generator.errors().find("'--size'"), std::string::npos) << generator.errors();
}

#else

TEST(FontGenerator, ReproducesTheCommittedFilesByteForByte) {
    GTEST_SKIP() << "the font generator is not built (FreeType was not found)";
}

#endif

} // namespace
