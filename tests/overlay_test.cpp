// The credits and the scroller drawn over the scene by the real drawing
// code, compared with the same frame drawn without text (elapsed 0).

#include "tools/offscreen.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// 4:3, the window's initial shape, at which a pair starts outside the view.
const int width = 400;
const int height = 300;

std::vector<uint8_t> drawAt(int32_t elapsedMs) {
    OffscreenTarget target;
    std::string error;
    EXPECT_TRUE(createOffscreenTarget(width, height, OffscreenFormat::rgba8, target, error))
        << error;
    renderOffscreen(target, frameStateAt(0, elapsedMs, 0, width, height));
    return readRgba8(target);
}

// Where a picture differs from the scene alone, and how bright it is there.
struct TextPixels {
    std::vector<bool> changed;
    std::vector<int> brightness; // the smallest of the three channels

    bool at(int x, int y) const { return changed[static_cast<size_t>(y) * width + x]; }
    int countIn(int left, int top, int right, int bottom) const {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                count += at(x, y);
        return count;
    }
    // The share of the changed pixels that are white.
    double whiteShareIn(int top, int bottom) const {
        int changedCount = 0, white = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < width; ++x)
                if (at(x, y)) {
                    ++changedCount;
                    white += brightness[static_cast<size_t>(y) * width + x] >= 240;
                }
        return changedCount ? static_cast<double>(white) / changedCount : 0;
    }
    int brightestIn(int top, int bottom) const {
        int brightest = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < width; ++x)
                if (at(x, y))
                    brightest = std::max(brightest, brightness[static_cast<size_t>(y) * width + x]);
        return brightest;
    }
};

TextPixels textPixels(int32_t elapsedMs) {
    static const std::vector<uint8_t> scene = drawAt(0);
    const std::vector<uint8_t> picture = drawAt(elapsedMs);
    TextPixels text;
    for (size_t pixel = 0; pixel < static_cast<size_t>(width) * height; ++pixel) {
        const uint8_t *p = &picture[pixel * 4];
        const uint8_t *s = &scene[pixel * 4];
        text.changed.push_back(p[0] != s[0] || p[1] != s[1] || p[2] != s[2]);
        text.brightness.push_back(std::min({p[0], p[1], p[2]}));
    }
    return text;
}

// A pair's lines have their cells from scene height 1 - 2/11 down to 1 - 4/11;
// under the 60 degree view from z = 2 that is rows 43.7 to 67.3 of 300.
const int pairTop = 40;
const int pairBottom = 71;

TEST(Overlays, ShowNothingBeforeTheFirstPairAndAtItsStart) {
    EXPECT_EQ(textPixels(1999).countIn(0, 0, width, height), 0);
    // At 2000 ms the lines stand 10.25 units, 1.86 scene units, from the
    // centre: outside a 4:3 view, whose half width is 1.54 there.
    EXPECT_EQ(textPixels(2000).countIn(0, 0, width, height), 0);
}

TEST(Overlays, FlyTheFirstPairInOnBothSides) {
    // At 600 ms into the pair the lines stand 2.16 units from the centre.
    const TextPixels text = textPixels(2600);
    EXPECT_GT(text.countIn(0, pairTop, width / 2, pairBottom), 50);
    EXPECT_GT(text.countIn(width / 2, pairTop, width, pairBottom), 50);
    EXPECT_EQ(text.countIn(0, 0, width, pairTop) + text.countIn(0, pairBottom, width, height), 0);
    // 2.16 units are 0.39 scene units, 51 pixels: the middle stays clear.
    EXPECT_EQ(text.countIn(width / 2 - 40, 0, width / 2 + 40, height), 0);
}

TEST(Overlays, HoldThePairHalfAUnitApart) {
    const TextPixels text = textPixels(3500);
    EXPECT_GT(text.countIn(0, pairTop, width / 2, pairBottom), 100);
    EXPECT_GT(text.countIn(width / 2, pairTop, width, pairBottom), 100);
    EXPECT_EQ(text.countIn(0, 0, width, pairTop) + text.countIn(0, pairBottom, width, height), 0);
    // Each line ends or starts 0.25 units, 6 pixels, from the centre.
    EXPECT_EQ(text.countIn(width / 2 - 4, 0, width / 2 + 4, height), 0);
    EXPECT_GE(text.brightestIn(pairTop, pairBottom), 240) << "the text is white";
}

TEST(Overlays, ScrollLinesUpFromTheBottom) {
    // At 30 s the greeting stands 10 lines below the anchor, in the lower
    // depth zone; nothing has reached the upper half yet.
    const TextPixels text = textPixels(30000);
    EXPECT_GT(text.countIn(0, height / 2, width, height), 50);
    EXPECT_EQ(text.countIn(0, 0, width, height / 2), 0);
}

TEST(Overlays, ScrollFlatAndWhiteInTheMiddleAndDarkAtTheEnds) {
    // At 60 s (20 lines on) entries 23 to 25 stand flat at heights -3 to -5,
    // rows 91 to 160; entries 17 to 21 recede in the upper zone and 28 to 32
    // in the lower one.
    const TextPixels text = textPixels(60000);
    EXPECT_GE(text.brightestIn(95, 160), 240);
    EXPECT_GT(text.countIn(0, 0, width, 90), 50);
    EXPECT_GT(text.countIn(0, 170, width, height), 50);
    EXPECT_GT(text.whiteShareIn(95, 160), 0.2);
    EXPECT_LT(text.whiteShareIn(0, 20), 0.05) << "lines near the top are grey";
    EXPECT_LT(text.whiteShareIn(height - 40, height), 0.05) << "lines near the bottom are grey";
}

} // namespace
