// The real drawing code and fragment stage on Mesa: the scene against the CPU
// model, in a float target so that sums above 1 and alpha arrive unclamped;
// pixels are checked by kind where their whole 3x3 neighbourhood is of that
// kind (away from silhouettes, shadow borders and checker edges), then whole
// pictures statistically. Then the text overlays against the same frame
// without text, and a window without height.

#include "tests/scene_reference.h"
#include "tools/offscreen.h"
#include "tools/png_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <unistd.h>

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
    ReferenceImage model;
    std::vector<float> drawn; // rows top first, RGBA
    Rgba drawnAt(int x, int y) const {
        const float *p = &drawn[(static_cast<size_t>(y) * model.width + x) * 4];
        return Rgba{p[0], p[1], p[2], p[3]};
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
            drawn.push_back({c.name, renderReference(state, c.width, c.height),
                             drawFloat(state, c.width, c.height)});
        }
    return drawn;
}

class ShaderTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(contextOpen) << contextError;
        for (const Comparison &c : comparisons())
            ASSERT_EQ(c.drawn.size(), c.model.pixels.size() * 4) << c.name;
    }
};

float largestDifference(const Rgba &a, const Rgba &b) {
    return std::max(
        {std::fabs(a.r - b.r), std::fabs(a.g - b.g), std::fabs(a.b - b.b), std::fabs(a.a - b.a)});
}

// Calls check(comparison, x, y) for the pixels of a kind away from its edges; the count.
int forPixelsOfKind(const std::function<bool(const PixelResult &)> &kind,
                    const std::function<void(const Comparison &, int, int)> &check) {
    int count = 0;
    for (const Comparison &c : comparisons())
        for (int y = 1; y + 1 < c.model.height; ++y)
            for (int x = 1; x + 1 < c.model.width; ++x) {
                bool uniform = kind(c.model.at(x, y));
                for (int d = 0; uniform && d < 9; ++d)
                    uniform = c.model.at(x + d % 3 - 1, y + d / 3 - 1).sameKind(c.model.at(x, y));
                if (uniform) {
                    check(c, x, y);
                    ++count;
                }
            }
    return count;
}

Surface surface(const PixelResult &p, int step) {
    return p.path[step].surface;
}

TEST_F(ShaderTest, PixelsOfEachKindMatchTheModel) {
    // A sphere lit head-on with nothing in its reflection shows its own colour (cyan,
    // orange, green); the lit floor; the floor in a sphere at full weight; spheres in
    // reflections at 0.3, then nothing, a sphere at 0.09 or the floor. Alpha: 1 for the glow
    // plus each shading weight.
    const auto ownColour = [](int s) {
        return [s](const PixelResult &p) {
            const SurfaceHit &hit = p.path[0];
            return hit.sphere == s && !hit.shadowed && hit.facesLight && hit.highlight < 0.01f &&
                   p.glow < 0.01f && surface(p, 1) == Surface::none;
        };
    };
    const auto bounces = [](Surface last) {
        return [last](const PixelResult &p) {
            return surface(p, 0) == Surface::sphere && surface(p, 1) == Surface::sphere &&
                   surface(p, 2) == last;
        };
    };
    const struct {
        std::function<bool(const PixelResult &)> kind;
        float alpha;
        int least;
    } kinds[] = {
        {ownColour(0), 2, 20},
        {ownColour(1), 2, 20},
        {ownColour(2), 2, 20},
        {[](const PixelResult &p) {
             return surface(p, 0) == Surface::floor && !p.path[0].shadowed && p.path[0].facesLight;
         },
         2, 0},
        {[](const PixelResult &p) {
             return surface(p, 0) == Surface::sphere && surface(p, 1) == Surface::floor;
         },
         3, 50},
        {bounces(Surface::none), 2.3f, 20},
        {bounces(Surface::sphere), 2.39f, 20},
        {bounces(Surface::floor), 3.3f, 20},
    };
    int lightCells = 0, darkCells = 0;
    for (size_t k = 0; k < std::size(kinds); ++k) {
        int misses = 0;
        const int count = forPixelsOfKind(kinds[k].kind, [&](const Comparison &c, int x, int y) {
            const Rgba drawn = c.drawnAt(x, y);
            const PixelResult &model = c.model.at(x, y);
            if ((largestDifference(drawn, model.colour) > 0.01f ||
                 std::fabs(drawn.a - kinds[k].alpha) > 1e-3f) &&
                ++misses <= 3)
                ADD_FAILURE() << "kind " << k << ", " << c.name << " pixel " << x << "," << y
                              << ": drawn " << drawn.r << " " << drawn.g << " " << drawn.b << " "
                              << drawn.a << ", model " << model.colour.r << " " << model.colour.g
                              << " " << model.colour.b << " " << model.colour.a;
            const float r = drawn.r, g = drawn.g, b = drawn.b;
            const bool hue = k == 0   ? g > 2 * r && b > 2 * r
                             : k == 1 ? r > g && g > 2 * b
                             : k == 2 ? g > 2 * r && g > 2 * b
                                      : true;
            EXPECT_TRUE(hue) << "sphere " << k << ", " << c.name << " pixel " << x << "," << y;
            if (k == 3)
                (checkerColour(model.path[0].point).x > 0.5f ? lightCells : darkCells) += 1;
        });
        EXPECT_EQ(misses, 0) << "kind " << k;
        EXPECT_GT(count, kinds[k].least) << "kind " << k;
    }
    EXPECT_GT(lightCells, 100);
    EXPECT_GT(darkCells, 100);
}

TEST_F(ShaderTest, ShadowedFloorCheckerAndGlowFollowTheRules) {
    // Shadowed floor: glow + 0.15 x the checker colour from the cell's parity, alpha 2.
    const int shadowed = forPixelsOfKind(
        [](const PixelResult &p) { return surface(p, 0) == Surface::floor && p.path[0].shadowed; },
        [](const Comparison &c, int x, int y) {
            const PixelResult &model = c.model.at(x, y);
            const bool light = ((model.path[0].cellX & 1) == 0) != ((model.path[0].cellZ & 1) == 0);
            const float g = model.glow;
            ASSERT_LT(largestDifference(c.drawnAt(x, y), Rgba{g + 0.15f * (light ? 0.7f : 0.2f),
                                                              g + 0.015f, g + 0.015f, 2}),
                      1e-4f)
                << c.name << " pixel " << x << "," << y;
        });
    EXPECT_GT(shadowed, 100);
    // The centre cell: red minus green over (diffuse + ambient) is the checker's red minus
    // 0.1 (0.1 dark, 0.6 light beside it); the dark strip reaches past x = 0 both ways.
    float leftmost = 1, rightmost = -1;
    forPixelsOfKind(
        [](const PixelResult &p) {
            return surface(p, 0) == Surface::floor && p.path[0].cellZ == 0 &&
                   std::abs(p.path[0].cellX) <= 1;
        },
        [&](const Comparison &c, int x, int y) {
            const SurfaceHit &hit = c.model.at(x, y).path[0];
            const Rgba drawn = c.drawnAt(x, y);
            EXPECT_NEAR((drawn.r - drawn.g) / ((hit.shadowed ? 0 : hit.diffuse) + 0.15f),
                        hit.cellX == 0 ? 0.1f : 0.6f, 1e-3f);
            if (hit.cellX == 0) {
                leftmost = std::min(leftmost, hit.point.x);
                rightmost = std::max(rightmost, hit.point.x);
            }
        });
    EXPECT_LT(leftmost, -0.2f);
    EXPECT_GT(rightmost, 0.2f);
    // Looking into the light the glow adds about 1 on top of the rest of the scene.
    int framesWithLight = 0;
    for (const Comparison &c : comparisons()) {
        const auto brightest = std::max_element(
            c.model.pixels.begin(), c.model.pixels.end(),
            [](const PixelResult &a, const PixelResult &b) { return a.glow < b.glow; });
        if (brightest->glow < 0.9f)
            continue;
        ++framesWithLight;
        const int index = static_cast<int>(brightest - c.model.pixels.begin());
        const Rgba drawn = c.drawnAt(index % c.model.width, index / c.model.width);
        EXPECT_GT(drawn.g - (brightest->colour.g - brightest->glow), 0.9f) << c.name;
        EXPECT_LT(largestDifference(drawn, brightest->colour), 0.02f) << c.name;
    }
    EXPECT_GE(framesWithLight, 1);
}

TEST_F(ShaderTest, WholePicturesAgreeWithTheModel) {
    // Away from edges to float rounding (the glow's power magnifies it most): 99.9% within
    // 0.001; whole pictures, edges included: 99% within 0.01, mean largest difference 0.005.
    for (const Comparison &c : comparisons()) {
        int away = 0, closeAway = 0;
        forPixelsOfKind([](const PixelResult &) { return true; },
                        [&](const Comparison &other, int x, int y) {
                            if (&other == &c) {
                                ++away;
                                closeAway += largestDifference(c.drawnAt(x, y),
                                                               c.model.at(x, y).colour) <= 1e-3f;
                            }
                        });
        size_t close = 0;
        double sum = 0;
        for (size_t i = 0; i < c.model.pixels.size(); ++i) {
            const float d = largestDifference(
                c.drawnAt(static_cast<int>(i) % c.model.width, static_cast<int>(i) / c.model.width),
                c.model.pixels[i].colour);
            close += d <= 0.01f;
            sum += d;
        }
        EXPECT_GE(static_cast<double>(closeAway) / away, 0.999) << c.name;
        EXPECT_GE(static_cast<double>(close) / c.model.pixels.size(), 0.99) << c.name;
        EXPECT_LT(sum / c.model.pixels.size(), 0.005) << c.name;
    }
}

TEST_F(ShaderTest, FrameToolPictureMatchesTheModel) {
    // The model as an 8-bit window stores it, within 6/255 on 99% of the pixels.
    const std::string output = std::filesystem::temp_directory_path() /
                               ("veltrane-gl-" + std::to_string(getpid()) + ".png");
    const std::string command = std::string("'") + FRAME_TOOL +
                                "' --frame 0 --elapsed 0 --row 0 --size 933x700 '" + output + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    RgbImage picture;
    std::string error;
    const bool read = readPng(output, picture, error);
    std::filesystem::remove(output);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(picture.width * picture.height, 933 * 700);
    const ReferenceImage model = renderReference(frameStateAt(0, 0, 0, 933, 700), 933, 700);
    size_t close = 0;
    for (size_t i = 0; i < model.pixels.size(); ++i) {
        const Rgba &m = model.pixels[i].colour;
        const float channels[3] = {m.r, m.g, m.b};
        bool near = true;
        for (int k = 0; k < 3; ++k)
            near = near && std::abs(picture.rgb[i * 3 + k] -
                                    std::lround(std::clamp(channels[k], 0.0f, 1.0f) * 255)) <= 6;
        close += near;
    }
    EXPECT_GE(static_cast<double>(close) / model.pixels.size(), 0.99);
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
}

TEST_F(ShaderTest, WindowWithoutHeightStaysFinite) {
    // Minimised or before the first reshape: a finite projection, and the frame drawn
    // unstretched, exactly as for a square window.
    for (const auto &[width, height] : {std::pair{933, 0}, std::pair{0, 0}}) {
        applyViewport(width, height);
        GLfloat matrix[16];
        glGetFloatv(GL_PROJECTION_MATRIX, matrix);
        EXPECT_TRUE(std::all_of(matrix, matrix + 16, [](GLfloat v) { return std::isfinite(v); }));
    }
    OffscreenTarget target;
    std::string error;
    ASSERT_TRUE(createOffscreenTarget(48, 48, OffscreenFormat::rgbaFloat, target, error)) << error;
    const auto drawn = [&](int32_t width, int32_t height) {
        glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
        applyViewport(48, 48);
        FrameState state = initialFrameState();
        state.windowWidth = width;
        state.windowHeight = height;
        drawFrame(state);
        glFinish();
        return readRgbaFloat(target);
    };
    const std::vector<float> square = drawn(48, 48);
    EXPECT_TRUE(
        std::all_of(square.begin(), square.end(), [](float v) { return std::isfinite(v); }));
    EXPECT_EQ(drawn(0, 0), square);
    EXPECT_EQ(drawn(933, 0), square);
}

} // namespace
