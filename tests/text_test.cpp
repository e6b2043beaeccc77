// The texture font's measures and quads, the credit pairs' timing and the
// scroller's placement of its lines.

#include "app/credits.h"
#include "app/text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(TextWidth, AddsTheAdvancesOnly) {
    EXPECT_EQ(textWidth(""), 0.0f);
    EXPECT_EQ(textWidth(" "), 0.25f);        // advance 8 of 32
    EXPECT_EQ(textWidth("j"), 7 / 32.0f);    // its offset of -2 takes no room
    EXPECT_EQ(textWidth("Music:"), 2.3125f); // 20 + 15 + 12 + 6 + 12 + 9 = 74 pixels
    EXPECT_EQ(textWidth("0123456789"), 10 * 14 / 32.0f);
}

TEST(TextWidth, CodesWithoutAGlyphTakeNoRoom) {
    for (int code : {1, 31, 127, 129, 131, 136, 144, 152}) {
        EXPECT_FALSE(hasGlyph(static_cast<uint8_t>(code))) << code;
        const char text[] = {'A', static_cast<char>(code), 'A', '\0'};
        EXPECT_EQ(textWidth(text), 2 * 16 / 32.0f) << code;
    }
    EXPECT_TRUE(hasGlyph(32));
    EXPECT_TRUE(hasGlyph(137));
}

TEST(GlyphQuad, MapsTheBoxToTextureAndTextUnits) {
    // A (65): x 138, y 124, 16 x 19 pixels, offsets (0, 8), advance 16.
    const GlyphQuad a = glyphQuad(font.glyphs[65]);
    EXPECT_EQ(a.s0, 138 / 256.0f);
    EXPECT_EQ(a.t0, 124 / 256.0f);
    EXPECT_EQ(a.s1, 138 / 256.0f + 16 / 256.0f);
    EXPECT_EQ(a.t1, 124 / 256.0f + 19 / 256.0f);
    EXPECT_EQ(a.x0, 0.0f);
    EXPECT_EQ(a.y0, -0.25f); // 8 pixels below the top of the cell
    EXPECT_EQ(a.x1, 0.5f);
    EXPECT_EQ(a.y1, -0.25f - 19 / 32.0f); // its foot on the baseline, 27/32 down
    EXPECT_EQ(a.advance, 0.5f);
    // j (106) hangs left of the pen: offset -2.
    const GlyphQuad j = glyphQuad(font.glyphs[106]);
    EXPECT_EQ(j.x0, -2 / 32.0f);
    EXPECT_EQ(j.x1, -2 / 32.0f + 7 / 32.0f);
    // The space is a 1 x 1 box on the baseline that moves the pen a quarter.
    const GlyphQuad space = glyphQuad(font.glyphs[32]);
    EXPECT_EQ(space.y0, -27 / 32.0f);
    EXPECT_EQ(space.advance, 0.25f);
}

std::string printed(float value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

TEST(CreditPair, FliesInHoldsAndFliesOut) {
    EXPECT_EQ(creditOffset(0), 10.25f);                // (1 - sin 0) x 10 + 0.25
    EXPECT_NEAR(creditOffset(999), 0.2500123f, 1e-6f); // sin(999 pi / 2000) = 0.99999877
    for (int32_t t : {1000, 2000, 3999})
        EXPECT_EQ(creditOffset(t), 0.25f) << t;
    EXPECT_NEAR(creditOffset(4000), 0.25f, 1e-6f); // sin 2pi x 10 + 0.25
    EXPECT_NEAR(creditOffset(4999), 10.249988f, 1e-5f);
}

TEST(CreditPair, PrintsTheFlyInValueWithDefaultFormatting) {
    EXPECT_EQ(printed(creditFlyIn(0)), "10.25");
    EXPECT_EQ(printed(creditFlyIn(1000)), "0.25");
    EXPECT_EQ(printed(creditFlyIn(2000)), "10.25");
    EXPECT_EQ(printed(creditFlyIn(3000)), "20.25");
    EXPECT_EQ(printed(creditFlyIn(4000)), "10.25");
    EXPECT_EQ(printed(creditFlyIn(999)), "0.250012"); // six significant digits
}

TEST(CreditPair, TextsHoldTwoLinesEach) {
    EXPECT_STREQ(creditProduction, "A Dazerava");
    EXPECT_STREQ(creditProduction + 11, "production");
    EXPECT_STREQ(creditMusic, "Music:");
    EXPECT_STREQ(creditMusic + 7, "Quillabor");
    EXPECT_STREQ(creditCode, "Code:");
    EXPECT_STREQ(creditCode + 6, "dazerava");
}

TEST(Scroller, ZonesHaveStrictBounds) {
    // Heights -2 and 4 lie outside the upper zone, -13 and -7 outside the lower.
    for (float y : {-2.0f, 4.0f, -13.0f, -7.0f, -4.5f, 10.0f, -20.0f}) {
        const ScrollPlacement place = placeScrollLine(0, y);
        EXPECT_FALSE(place.receding) << y;
        EXPECT_EQ(place.grey, 1.0f) << y;
    }
    // y = -1: one unit into the upper zone: depth 1^1.7 / 7, spin 2.5^3.3
    // degrees, grey 1/1 + 0.15 (above 1, so white).
    const ScrollPlacement upper = placeScrollLine(-6, 5.0f);
    EXPECT_EQ(upper.y, -1.0);
    EXPECT_TRUE(upper.receding);
    EXPECT_FLOAT_EQ(upper.depth, 1.0f / 7);
    EXPECT_NEAR(upper.spin, 20.56847f, 1e-4f);
    EXPECT_FLOAT_EQ(upper.grey, 1.15f);
    // y = -10: three units above the lower zone's far end: depth 3^1.7 / 7 =
    // 6.473008 / 7, spin 7.5^3.3 = 772.1508, grey 1 / 6.473008 + 0.15.
    const ScrollPlacement lower = placeScrollLine(-10, 0.0f);
    EXPECT_TRUE(lower.receding);
    EXPECT_NEAR(lower.depth, 0.9247155f, 1e-6f);
    EXPECT_NEAR(lower.spin, 772.1508f, 1e-2f);
    EXPECT_NEAR(lower.grey, 0.3044877f, 1e-6f);
}

std::vector<std::pair<int, std::string>> linesOf(const char *block) {
    std::vector<std::pair<int, std::string>> lines;
    forEachScrollLine(block, [&](const char *line, int index) { lines.push_back({index, line}); });
    return lines;
}

TEST(Scroller, BlankEntriesTakeALinesPlace) {
    EXPECT_TRUE(linesOf("\x01").empty());
    const auto lines = linesOf("one\0\0\0two\0three\0\x01");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], (std::pair<int, std::string>{0, "one"}));
    EXPECT_EQ(lines[1], (std::pair<int, std::string>{-3, "two"}));
    EXPECT_EQ(lines[2], (std::pair<int, std::string>{-4, "three"}));
}

TEST(Scroller, TextHas36EntriesAnd18LinesThatFitTheView) {
    const auto lines = linesOf(scrollText);
    ASSERT_EQ(lines.size(), 18u);
    const int expectedIndices[] = {-15, -17, -18, -19, -20, -21, -23, -24, -25,
                                   -27, -28, -29, -30, -31, -32, -33, -34, -35};
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i].second;
        EXPECT_EQ(lines[i].first, expectedIndices[i]) << line;
        EXPECT_LE(line.size(), 43u) << line;
        EXPECT_LE(textWidth(line.c_str()), 15.7f) << line;
        for (char c : line)
            EXPECT_TRUE(c >= 32 && c <= 126) << line;
    }
    // The end byte follows entry 35.
    const char *cursor = scrollText;
    for (int entry = 0; entry < 36; ++entry)
        cursor += std::strlen(cursor) + 1;
    EXPECT_EQ(*cursor, '\x01');
}

} // namespace
