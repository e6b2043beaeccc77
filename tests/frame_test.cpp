// The frame's and the text's pure parts.

#include "app/app.h"
#include "app/credits.h"
#include "app/frame.h"
#include "app/scene.h"
#include "app/text.h"
#include "player/blockfill.h"
#include "tick_player.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

std::string statusLine(int32_t order, int32_t row, float seconds) {
    testing::internal::CaptureStdout();
    printStatusLine(order, row, seconds);
    return testing::internal::GetCapturedStdout();
}

TEST(Frame, StatusLineClockLightAndCamera) {
    // Right-aligned fields, TICK on rows that are multiples of 8 (the signed remainder), six
    // spaces and a carriage return; position 0 while nothing plays.
    EXPECT_EQ(statusLine(3, 12, 5.5f), "ord  3 row 12 seconds  5.50           \r");
    EXPECT_EQ(statusLine(12, 56, 123.456f), "ord 12 row 56 seconds 123.46 TICK      \r");
    EXPECT_EQ(statusLine(0, 7, 0), "ord  0 row  7 seconds  0.00           \r");
    EXPECT_NE(statusLine(0, -8, 0).find("TICK"), std::string::npos);
    EXPECT_EQ(statusLine(0, -1, 0).find("TICK"), std::string::npos);
    testing::internal::CaptureStdout();
    printMusicPosition();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ord  0 row  0 seconds  0.00 TICK      \r");
    // Playing, it shows the block being heard: at speed 1 block 2 ends in order 1, row 1,
    // 57 ms in (19 ms a block: runs of 882 + 2, 880 + 4 and 878 + 6 frames).
    TickPlayer play(xmSong("speed=1 rows=2,2,2 orders=0,1,2: . / . / ."));
    for (int block = 0; block < 3; ++block)
        fillBlock();
    advanceAudibleStamp();
    advanceAudibleStamp();
    loadedSong = &play.song();
    testing::internal::CaptureStdout();
    printMusicPosition();
    loadedSong = nullptr;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ord  1 row  1 seconds  0.06           \r");
    // The clock measures from the first reading across the 32-bit wrap.
    EXPECT_EQ(elapsedSince(1000, 21000), 20000);
    EXPECT_EQ(elapsedSince(0xfffffff0u, 0x10u), 32);
    const uint32_t first = tickCountMs();
    EXPECT_GE(elapsedSince(first, tickCountMs()), 0);
    // The light rises by sixteenths and falls back on every eighth row, on a circle of
    // radius 1.5: lightAngle 0 behind the spheres, 450 units are pi/2, 900 are pi.
    const float heights[][2] = {{0, 1}, {1, 1.0625f}, {7, 1.4375f}, {8, 1}, {63, 1.4375f}};
    for (const auto &[row, height] : heights)
        EXPECT_FLOAT_EQ(lightPositionFor(0, static_cast<int32_t>(row)).xyz[1], height);
    EXPECT_FLOAT_EQ(lightPositionFor(0, 0).xyz[2], 1.5f);
    EXPECT_FLOAT_EQ(lightPositionFor(450, 0).xyz[0], -1.5f);
    EXPECT_NEAR(lightPositionFor(900, 0).xyz[0], 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(lightPositionFor(900, 0).xyz[2], -1.5f);
    // The camera scales by the real aspect ratio, 1 for a window without height.
    EXPECT_FLOAT_EQ(horizontalScale(1866, 933), 2.0f);
    EXPECT_FLOAT_EQ(horizontalScale(700, 933), 700.0f / 933.0f);
    EXPECT_EQ(horizontalScale(933, 0), 1.0f);
    EXPECT_EQ(horizontalScale(0, 0), 1.0f);
    // The accumulators start at 0 and 75, advance twice a frame and never wrap.
    FrameState state = initialFrameState();
    EXPECT_EQ((std::vector<float>{state.lightAngle, state.viewAngle}), (std::vector<float>{0, 75}));
    advanceAnimation(state);
    advanceAnimation(state);
    EXPECT_EQ(state.viewAngle, (75.0f + 3.14f) + 3.14f);
    for (int half = 2; half < 2 * 100000; ++half)
        advanceAnimation(state);
    EXPECT_EQ(state.lightAngle, 400000.0f); // every sum is exact in a float up to 2^24
    EXPECT_EQ(frameStateAt(3, 0, 0, 1, 1).lightAngle, 12.0f);
    // Carried from the frame before, after a skip and after a step back, the accumulators are
    // those of the same frame reached from frame 0: the same sums in the same order.
    CarriedFrame carried;
    for (int frame : {0, 1, 2, 5000, 5001, 90000, 3, 4}) {
        const FrameState a = frameStateAt(frame, 5, 6, 7, 8, carried),
                         b = frameStateAt(frame, 5, 6, 7, 8);
        EXPECT_TRUE(a.lightAngle == b.lightAngle && a.viewAngle == b.viewAngle) << frame;
        EXPECT_TRUE(a.elapsedMs == 5 && a.musicRow == 6 && a.windowWidth == 7 &&
                    a.windowHeight == 8);
    }
}

TEST(Text, WidthsAndQuads) {
    // Only the advances count: a space is 8 of 32 pixels, j's offset of -2 takes no room,
    // "Music:" is 20 + 15 + 12 + 6 + 12 + 9 = 74; codes without a glyph take none.
    EXPECT_EQ(textWidth(""), 0.0f);
    EXPECT_EQ(textWidth(" "), 0.25f);
    EXPECT_EQ(textWidth("j"), 7 / 32.0f);
    EXPECT_EQ(textWidth("Music:"), 2.3125f);
    for (int code : {1, 31, 127, 129, 131, 136, 144, 152}) {
        const char text[] = {'A', static_cast<char>(code), 'A', '\0'};
        EXPECT_EQ(textWidth(text), 1.0f) << code;
        EXPECT_FALSE(hasGlyph(static_cast<uint8_t>(code))) << code;
    }
    EXPECT_TRUE(hasGlyph(32) && hasGlyph(137));
    // A: x 138, y 124, 16 x 19 pixels, offsets (0, 8), advance 16; its foot on the
    // baseline, 27/32 down. j hangs left of the pen; the space is a 1 x 1 box on the baseline.
    const GlyphQuad a = glyphQuad(font.glyphs[65]), j = glyphQuad(font.glyphs[106]),
                    space = glyphQuad(font.glyphs[32]);
    EXPECT_EQ((std::vector<float>{a.s0, a.t0, a.s1, a.t1, a.x0, a.y0, a.x1, a.y1, a.advance}),
              (std::vector<float>{138 / 256.0f, 124 / 256.0f, 138 / 256.0f + 16 / 256.0f,
                                  124 / 256.0f + 19 / 256.0f, 0, -0.25f, 0.5f, -0.25f - 19 / 32.0f,
                                  0.5f}));
    EXPECT_EQ((std::vector<float>{j.x0, j.x1, space.y0, space.advance}),
              (std::vector<float>{-2 / 32.0f, 5 / 32.0f, -27 / 32.0f, 0.25f}));
}

std::string printed(float value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

TEST(Text, CreditPairsAndScroller) {
    // Offsets: (1 - sin(t pi / 2000)) x 10 + 0.25 flying in, 0.25 from 1000 to 3999, then
    // sin x 10 + 0.25 flying out; the printed value follows the fly-in formula throughout.
    EXPECT_EQ(creditOffset(0), 10.25f);
    EXPECT_NEAR(creditOffset(999), 0.2500123f, 1e-6f); // sin(999 pi / 2000) = 0.99999877
    EXPECT_EQ(creditOffset(1000) + creditOffset(3999), 0.5f);
    EXPECT_NEAR(creditOffset(4000), 0.25f, 1e-6f);
    EXPECT_NEAR(creditOffset(4999), 10.249988f, 1e-5f);
    const std::pair<int32_t, const char *> flyIn[] = {
        {0, "10.25"}, {999, "0.250012"}, {2000, "10.25"}, {3000, "20.25"}, {4000, "10.25"}};
    for (const auto &[t, text] : flyIn)
        EXPECT_EQ(printed(creditFlyIn(t)), text) << t;
    EXPECT_EQ(std::string(creditMusic) + "/" + (creditMusic + 7), "Music:/Quillabor");
    EXPECT_EQ(std::string(creditProduction) + "/" + (creditProduction + 11),
              "A Dazerava/production");
    EXPECT_EQ(std::string(creditCode) + "/" + (creditCode + 6), "Code:/dazerava");
    // The zones' bounds are strict: y = -2, 4, -13 and -7 stand flat and white.
    for (float y : {-2.0f, 4.0f, -13.0f, -7.0f, -4.5f, 10.0f}) {
        const ScrollPlacement place = placeScrollLine(0, y);
        EXPECT_TRUE(!place.receding && place.grey == 1.0f) << y;
    }
    // y = -1, one unit into the upper zone: depth 1^1.7 / 7, spin 2.5^3.3 degrees, grey
    // 1 + 0.15. y = -10, three units from the lower zone's far end: depth 3^1.7 / 7 =
    // 6.473008 / 7, spin 7.5^3.3 = 772.1508, grey 1 / 6.473008 + 0.15.
    const ScrollPlacement upper = placeScrollLine(-6, 5.0f), lower = placeScrollLine(-10, 0.0f);
    EXPECT_TRUE(upper.receding && lower.receding);
    EXPECT_EQ(upper.y, -1.0);
    EXPECT_FLOAT_EQ(upper.depth, 1.0f / 7);
    EXPECT_NEAR(upper.spin, 20.56847f, 1e-4f);
    EXPECT_FLOAT_EQ(upper.grey, 1.15f);
    EXPECT_NEAR(lower.depth, 0.9247155f, 1e-6f);
    EXPECT_NEAR(lower.spin, 772.1508f, 1e-2f);
    EXPECT_NEAR(lower.grey, 0.3044877f, 1e-6f);
    // Blank entries take a line's place: the scroll text's 18 lines are entries 15, 17..21,
    // 23..25 and 27..35; 0x01 follows entry 35.
    std::vector<int> indices;
    forEachScrollLine(scrollText, [&](const char *, int index) { indices.push_back(-index); });
    EXPECT_EQ(indices, (std::vector<int>{15, 17, 18, 19, 20, 21, 23, 24, 25, 27, 28, 29, 30, 31, 32,
                                         33, 34, 35}));
    const char *cursor = scrollText;
    for (int entry = 0; entry < 36; ++entry)
        cursor += std::strlen(cursor) + 1;
    EXPECT_EQ(*cursor, '\x01');
}

} // namespace
