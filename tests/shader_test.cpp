// The real drawing code on Mesa: the scene against the CPU model at a few frames
// (float targets: sums above 1 arrive unclamped), and the text overlays.

#include "app/font.h"
#include "app/frame.h"
#include "headless/offscreen.h"
#include "tests/scene_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using namespace reference;

bool contextOpen = false;
std::string contextError;

// One hidden window and its context serve every test.
class GlContext : public testing::Environment {
  public:
    void SetUp() override { contextOpen = openOffscreenContext("gl_tests", contextError); }
};
[[maybe_unused]] testing::Environment *const glContext =
    testing::AddGlobalTestEnvironment(new GlContext);

std::vector<float> drawFloat(const FrameState &state, int width, int height) {
    OffscreenTarget target;
    std::string error;
    EXPECT_TRUE(createOffscreenTarget(width, height, OffscreenFormat::rgbaFloat, target, error))
        << error;
    renderOffscreen(target, state);
    return readRgbaFloat(target);
}

// A frame drawn by the shader and by the model at the same size.
struct Comparison {
    std::string name;
    int width;
    std::vector<Pixel> model;
    std::vector<float> drawn; // rows top first, RGBA
    Rgba drawnAt(int i) const {
        return Rgba{drawn[4 * i], drawn[4 * i + 1], drawn[4 * i + 2], drawn[4 * i + 3]};
    }
};

// The first frame; a quarter turn on, looking at the light across the scene at row 5's
// height; a 2:1 window (scale 2) seen from behind with the light at its highest; and a
// larger picture where the spheres reflect each other over whole 3x3 neighbourhoods.
const std::vector<Comparison> &comparisons() {
    static std::vector<Comparison> drawn;
    const struct {
        const char *name;
        int frame, row, width, height;
    } cases[] = {{"frame 0", 0, 0, 320, 240},
                 {"frame 120 row 5", 120, 5, 320, 240},
                 {"frame 300 row 7, 2:1", 300, 7, 400, 200},
                 {"frame 540 row 3", 540, 3, 640, 480}};
    for (const auto &c : cases)
        if (drawn.size() < std::size(cases)) { // drawn once, on first use
            const FrameState state = frameStateAt(c.frame, 0, c.row, c.width, c.height);
            drawn.push_back({c.name, c.width, renderReference(state, c.width, c.height).pixels,
                             drawFloat(state, c.width, c.height)});
        }
    return drawn;
}

class ShaderTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(contextOpen) << contextError;
        for (const Comparison &c : comparisons())
            ASSERT_EQ(c.drawn.size(), c.model.size() * 4) << c.name;
    }
};

float largestDifference(const Rgba &a, const Rgba &b) {
    return std::max(
        {std::fabs(a.r - b.r), std::fabs(a.g - b.g), std::fabs(a.b - b.b), std::fabs(a.a - b.a)});
}

TEST_F(ShaderTest, PicturesMatchTheModel) {
    int framesWithLight = 0;
    for (const Comparison &c : comparisons()) {
        // Away from edges (the whole 3x3 neighbourhood of one kind) the two agree to float
        // rounding, which the glow's power of 1400 magnifies most: 99.9% within 0.001. Whole
        // pictures, edges included: 99% within 0.01, mean largest difference below 0.005.
        const int width = c.width, height = static_cast<int>(c.model.size()) / width;
        int away = 0, closeAway = 0, close = 0;
        double sum = 0;
        for (int i = 0; i < width * height; ++i) {
            const float d = largestDifference(c.drawnAt(i), c.model[i].colour);
            close += d <= 0.01f;
            sum += d;
            const int x = i % width, y = i / width;
            bool uniform = x > 0 && y > 0 && x + 1 < width && y + 1 < height;
            for (int k = 0; uniform && k < 9; ++k)
                uniform = c.model[i + (k / 3 - 1) * width + k % 3 - 1].kind == c.model[i].kind;
            away += uniform;
            closeAway += uniform && d <= 1e-3f;
        }
        EXPECT_GE(static_cast<double>(closeAway) / away, 0.999) << c.name;
        EXPECT_GE(static_cast<double>(close) / c.model.size(), 0.99) << c.name;
        EXPECT_LT(sum / c.model.size(), 0.005) << c.name;
        // Looking into the light the glow adds about 1 on top of the rest of the scene.
        const auto brightest =
            std::max_element(c.model.begin(), c.model.end(),
                             [](const Pixel &a, const Pixel &b) { return a.glow < b.glow; });
        if (brightest->glow >= 0.9f) {
            ++framesWithLight;
            const Rgba drawn = c.drawnAt(static_cast<int>(brightest - c.model.begin()));
            EXPECT_GT(drawn.g - (brightest->colour.g - brightest->glow), 0.9f) << c.name;
            EXPECT_LT(largestDifference(drawn, brightest->colour), 0.02f) << c.name;
        }
    }
    EXPECT_GE(framesWithLight, 1);
}

// Where the frame at a time differs from the frame without text (elapsed 0) at 400 x 300,
// the window's initial 4:3 shape, and how bright it is there.
struct TextPixels {
    std::vector<bool> changed;
    std::vector<int> brightness; // the smallest of the three channels
    int count(int left, int top, int right, int bottom) const {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                n += changed[y * 400 + x];
        return n;
    }
    double whiteShare(int top, int bottom) const {
        int all = 0, white = 0;
        for (int i = top * 400; i < bottom * 400; ++i)
            if (changed[i]) {
                ++all;
                white += brightness[i] >= 240;
            }
        return all ? static_cast<double>(white) / all : 0;
    }
};

std::vector<uint8_t> drawAt(int32_t elapsedMs) {
    OffscreenTarget target;
    std::string error;
    EXPECT_TRUE(createOffscreenTarget(400, 300, OffscreenFormat::rgba8, target, error)) << error;
    renderOffscreen(target, frameStateAt(0, elapsedMs, 0, 400, 300));
    return readRgba8(target);
}

TextPixels textAt(int32_t elapsedMs) {
    static const std::vector<uint8_t> scene = drawAt(0);
    const std::vector<uint8_t> picture = drawAt(elapsedMs);
    TextPixels text;
    for (size_t i = 0; i < 400 * 300; ++i) {
        const uint8_t *p = &picture[i * 4], *s = &scene[i * 4];
        text.changed.push_back(p[0] != s[0] || p[1] != s[1] || p[2] != s[2]);
        text.brightness.push_back(std::min({p[0], p[1], p[2]}));
    }
    return text;
}

TEST_F(ShaderTest, OverlaysFlyInHoldAndScroll) {
    // A pair's cells span scene heights 1 - 2/11 to 1 - 4/11: rows 43.7 to 67.3 of 300.
    // At 1999 ms nothing; at 2000 the lines stand 10.25 units (1.86 scene units) from the
    // centre, outside a 4:3 view (half width 1.54 there).
    EXPECT_EQ(textAt(1999).count(0, 0, 400, 300) + textAt(2000).count(0, 0, 400, 300), 0);
    // 600 ms in, 2.16 units (51 pixels) from the centre; held, 0.25 units (6 pixels), white.
    for (const auto &[ms, each, clear] : {std::tuple{2600, 50, 40}, std::tuple{3500, 100, 4}}) {
        const TextPixels text = textAt(ms);
        EXPECT_GT(text.count(0, 40, 200, 71), each) << ms;
        EXPECT_GT(text.count(200, 40, 400, 71), each) << ms;
        EXPECT_EQ(text.count(0, 0, 400, 40) + text.count(0, 71, 400, 300), 0) << ms;
        EXPECT_EQ(text.count(200 - clear, 0, 200 + clear, 300), 0) << ms;
    }
    EXPECT_GT(textAt(3500).whiteShare(40, 71), 0);
    // At 30 s the greeting stands 10 lines below the anchor, in the lower depth zone.
    const TextPixels rising = textAt(30000);
    EXPECT_GT(rising.count(0, 150, 400, 300), 50);
    EXPECT_EQ(rising.count(0, 0, 400, 150), 0);
    // At 60 s entries 23 to 25 stand flat and white (rows 91 to 160); the others recede
    // and darken in both zones.
    const TextPixels scrolling = textAt(60000);
    EXPECT_GT(scrolling.whiteShare(95, 160), 0.2);
    EXPECT_GT(scrolling.count(0, 0, 400, 90), 50);
    EXPECT_GT(scrolling.count(0, 170, 400, 300), 50);
    EXPECT_LT(scrolling.whiteShare(0, 20), 0.05);
    EXPECT_LT(scrolling.whiteShare(260, 300), 0.05);
    // The text leaves no state behind, nor an error: the scene drawn after it is the scene
    // drawn before.
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_TRUE(drawFloat(frameStateAt(0, 0, 0, 320, 240), 320, 240) == comparisons()[0].drawn);
}

TEST_F(ShaderTest, TheIntrosSecondFrameIsFrameOne) {
    // The intro's frame draws, then moves the accumulators on twice; no other test draws
    // it, so its first call draws frame 0. Square, its scale is 1 as in a window not yet
    // reshaped; the clock stays far below the first credits.
    OffscreenTarget target;
    std::string error;
    ASSERT_TRUE(createOffscreenTarget(96, 96, OffscreenFormat::rgba8, target, error)) << error;
    renderOffscreen(target, frameStateAt(1, 0, 0, 96, 96));
    const std::vector<uint8_t> frameOne = readRgba8(target);
    displayFrame();
    displayFrame();
    EXPECT_TRUE(readRgba8(target) == frameOne);
}

TEST_F(ShaderTest, TheFontTextureHoldsTheAtlasPixelsAfterTheirPrefix) {
    std::vector<uint8_t> texture(256 * 256 * 4);
    glBindTexture(GL_TEXTURE_2D, font.texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texture.data());
    EXPECT_TRUE(std::equal(texture.begin(), texture.end(), fontImage + 4));
}

TEST_F(ShaderTest, WindowWithoutHeightKeepsAFiniteProjection) {
    for (const auto &[width, height] : {std::pair{933, 0}, std::pair{0, 0}}) {
        applyViewport(width, height);
        GLfloat matrix[16];
        glGetFloatv(GL_PROJECTION_MATRIX, matrix);
        EXPECT_TRUE(std::all_of(matrix, matrix + 16, [](GLfloat v) { return std::isfinite(v); }));
    }
}

} // namespace
