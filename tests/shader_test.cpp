// The real fragment stage on Mesa against the CPU model of the scene. Frames
// go into a float target, so sums above 1 and the alpha channel arrive
// unclamped. Pixels are checked by kind (sphere, shadowed or lit floor,
// reflections, the glow), each taken where its whole 3x3 neighbourhood is of
// the same kind, so that no comparison sits on a silhouette, a shadow border
// or a checker edge; the whole pictures are then compared statistically.

#include "tests/scene_reference.h"
#include "tools/offscreen.h"
#include "tools/png_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using reference::PixelResult;
using reference::Rgba;
using reference::Surface;

bool contextOpen = false;
std::string contextError;

// One hidden window and its context serve every test.
class GlContext : public testing::Environment {
  public:
    void SetUp() override { contextOpen = openOffscreenContext("gl_tests", contextError); }
};

[[maybe_unused]] testing::Environment *const glContext =
    testing::AddGlobalTestEnvironment(new GlContext);

// A frame drawn by the shader and by the model at the same size.
struct Comparison {
    std::string name;
    reference::ReferenceImage expected;
    std::vector<float> drawn; // rows top first, RGBA

    Rgba drawnAt(int x, int y) const {
        const float *p = &drawn[(static_cast<size_t>(y) * expected.width + x) * 4];
        return Rgba{p[0], p[1], p[2], p[3]};
    }
};

struct FrameCase {
    const char *name;
    int frame;
    int row;
    int width;
    int height;
};

// The first frame; the camera a quarter turn on, looking at the light across
// the scene at row 5's height; a 2:1 window, whose horizontal scale is 2,
// seen from behind with the light at its highest; and a larger picture from
// an angle where the spheres reflect each other, so that paths of two
// bounces cover whole 3x3 neighbourhoods.
const FrameCase frameCases[] = {
    {"frame 0, 320x240", 0, 0, 320, 240},
    {"frame 120 row 5, 320x240", 120, 5, 320, 240},
    {"frame 300 row 7, 400x200", 300, 7, 400, 200},
    {"frame 540 row 3, 640x480", 540, 3, 640, 480},
};

Comparison draw(const FrameCase &frameCase) {
    Comparison comparison;
    comparison.name = frameCase.name;
    const FrameState state =
        frameStateAt(frameCase.frame, 0, frameCase.row, frameCase.width, frameCase.height);
    comparison.expected = reference::renderReference(state, frameCase.width, frameCase.height);
    OffscreenTarget target;
    std::string error;
    if (!createOffscreenTarget(frameCase.width, frameCase.height, OffscreenFormat::rgbaFloat,
                               target, error)) {
        ADD_FAILURE() << error;
        return comparison;
    }
    renderOffscreen(target, state);
    comparison.drawn = readRgbaFloat(target);
    return comparison;
}

// Each frame is drawn once, on first use.
const std::vector<Comparison> &comparisons() {
    static std::vector<Comparison> drawn;
    if (drawn.empty())
        for (const FrameCase &frameCase : frameCases)
            drawn.push_back(draw(frameCase));
    return drawn;
}

class ShaderTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(contextOpen) << contextError;
        for (const Comparison &comparison : comparisons())
            ASSERT_FALSE(comparison.drawn.empty()) << comparison.name;
    }
};

struct PixelPosition {
    int x;
    int y;
};

bool uniformNeighbourhood(const reference::ReferenceImage &image, int x, int y) {
    const reference::Path &centre = image.at(x, y).path;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (!reference::sameKind(image.at(x + dx, y + dy).path, centre))
                return false;
    return true;
}

// The pixels away from any edge of their kind for which wanted holds.
std::vector<PixelPosition> pixelsOfKind(const Comparison &comparison,
                                        const std::function<bool(const PixelResult &)> &wanted) {
    const reference::ReferenceImage &image = comparison.expected;
    std::vector<PixelPosition> found;
    for (int y = 1; y + 1 < image.height; ++y)
        for (int x = 1; x + 1 < image.width; ++x)
            if (wanted(image.at(x, y)) && uniformNeighbourhood(image, x, y))
                found.push_back(PixelPosition{x, y});
    return found;
}

float largestDifference(const Rgba &a, const Rgba &b) {
    return std::max(
        {std::fabs(a.r - b.r), std::fabs(a.g - b.g), std::fabs(a.b - b.b), std::fabs(a.a - b.a)});
}

std::string describe(const Rgba &c) {
    char text[96];
    std::snprintf(text, sizeof text, "(%.5f, %.5f, %.5f, %.5f)", c.r, c.g, c.b, c.a);
    return text;
}

// Compares every listed pixel with the model; reports the first few misses.
void expectMatchesModel(const Comparison &comparison, const std::vector<PixelPosition> &pixels,
                        float tolerance) {
    int misses = 0;
    for (const PixelPosition &p : pixels) {
        const Rgba drawn = comparison.drawnAt(p.x, p.y);
        const Rgba expected = comparison.expected.at(p.x, p.y).colour;
        if (largestDifference(drawn, expected) > tolerance && ++misses <= 3)
            ADD_FAILURE() << comparison.name << " pixel " << p.x << "," << p.y << ": drawn "
                          << describe(drawn) << ", model " << describe(expected);
    }
    EXPECT_EQ(misses, 0) << comparison.name << ": of " << pixels.size() << " pixels";
}

bool isPrimarySphere(const PixelResult &pixel, int sphere) {
    return pixel.path.primary.surface == Surface::sphere && pixel.path.primary.sphere == sphere;
}

// A sphere lit head-on with nothing in its reflection: its own colour shows.
bool showsOwnColour(const PixelResult &pixel, int sphere) {
    const reference::SurfaceHit &hit = pixel.path.primary;
    return isPrimarySphere(pixel, sphere) && !hit.shadowed && hit.facesLight &&
           hit.highlight < 0.01f && pixel.glow < 0.01f &&
           pixel.path.firstBounce.surface == Surface::none;
}

// Cyan, orange and green, told apart by their channels.
bool hasSphereHue(int sphere, const Rgba &c) {
    switch (sphere) {
    case 0:
        return c.g > 2 * c.r && c.b > 2 * c.r;
    case 1:
        return c.r > c.g && c.g > 2 * c.b;
    default:
        return c.g > 2 * c.r && c.g > 2 * c.b;
    }
}

TEST_F(ShaderTest, EachSphereShowsItsOwnColour) {
    for (int sphere = 0; sphere < 3; ++sphere) {
        int checked = 0;
        for (const Comparison &comparison : comparisons()) {
            const auto pixels = pixelsOfKind(comparison, [sphere](const PixelResult &pixel) {
                return showsOwnColour(pixel, sphere);
            });
            expectMatchesModel(comparison, pixels, 0.01f);
            for (const PixelPosition &p : pixels) {
                const Rgba drawn = comparison.drawnAt(p.x, p.y);
                // Glow 1 plus the sphere, lit directly.
                EXPECT_NEAR(drawn.a, 2, 1e-3f);
                EXPECT_TRUE(hasSphereHue(sphere, drawn))
                    << comparison.name << " sphere " << sphere << ": " << describe(drawn);
            }
            checked += static_cast<int>(pixels.size());
        }
        EXPECT_GT(checked, 20) << "sphere " << sphere;
    }
}

// The floor's checker colour times the ambient term, recomputed from the
// cell's parity: an even and an odd index give the light colour.
Rgba shadowedFloorColour(const reference::SurfaceHit &hit, float glow) {
    const bool lightCell = ((hit.cellX & 1) == 0) != ((hit.cellZ & 1) == 0);
    const float red = lightCell ? 0.7f : 0.2f;
    return Rgba{glow + 0.15f * red, glow + 0.015f, glow + 0.015f, 2};
}

TEST_F(ShaderTest, ShadowedFloorIsGlowPlusAmbientCheckerWithAlphaTwo) {
    int checked = 0;
    for (const Comparison &comparison : comparisons()) {
        const auto pixels = pixelsOfKind(comparison, [](const PixelResult &pixel) {
            return pixel.path.primary.surface == Surface::floor && pixel.path.primary.shadowed;
        });
        for (const PixelPosition &p : pixels) {
            const PixelResult &model = comparison.expected.at(p.x, p.y);
            const Rgba expected = shadowedFloorColour(model.path.primary, model.glow);
            const Rgba drawn = comparison.drawnAt(p.x, p.y);
            ASSERT_LT(largestDifference(drawn, expected), 1e-4f)
                << comparison.name << " pixel " << p.x << "," << p.y << ": drawn "
                << describe(drawn) << ", expected " << describe(expected);
        }
        checked += static_cast<int>(pixels.size());
    }
    EXPECT_GT(checked, 100);
}

bool isLitFloor(const PixelResult &pixel) {
    const reference::SurfaceHit &hit = pixel.path.primary;
    return hit.surface == Surface::floor && !hit.shadowed && hit.facesLight;
}

TEST_F(ShaderTest, LitFloorCellsMatchTheModel) {
    int lightCells = 0;
    int darkCells = 0;
    for (const Comparison &comparison : comparisons()) {
        const auto pixels = pixelsOfKind(comparison, isLitFloor);
        expectMatchesModel(comparison, pixels, 0.01f);
        for (const PixelPosition &p : pixels) {
            const reference::Vec3 checker =
                reference::checkerColour(comparison.expected.at(p.x, p.y).path.primary.point);
            (checker.x > 0.5f ? lightCells : darkCells) += 1;
            EXPECT_NEAR(comparison.drawnAt(p.x, p.y).a, 2, 1e-3f);
        }
    }
    EXPECT_GT(lightCells, 100);
    EXPECT_GT(darkCells, 100);
}

// Red minus green over (diffuse + ambient) is the checker colour's red minus
// 0.1: the glow and the white highlight add to both channels alike.
float checkerRedExcess(const Rgba &drawn, const reference::SurfaceHit &hit) {
    const float diffuse = hit.shadowed ? 0 : hit.diffuse;
    return (drawn.r - drawn.g) / (diffuse + 0.15f);
}

TEST_F(ShaderTest, CentreCellIsDarkAndTwoThirdsWideWithLightCellsBeside) {
    float leftmost = 1;
    float rightmost = -1;
    int beside = 0;
    for (const Comparison &comparison : comparisons()) {
        const auto pixels = pixelsOfKind(comparison, [](const PixelResult &pixel) {
            const reference::SurfaceHit &hit = pixel.path.primary;
            return hit.surface == Surface::floor && hit.cellZ == 0 && hit.cellX >= -1 &&
                   hit.cellX <= 1;
        });
        for (const PixelPosition &p : pixels) {
            const reference::SurfaceHit &hit = comparison.expected.at(p.x, p.y).path.primary;
            const float excess = checkerRedExcess(comparison.drawnAt(p.x, p.y), hit);
            // (0.2, 0.1, 0.1) in the centre cell, (0.7, 0.1, 0.1) beside it.
            EXPECT_NEAR(excess, hit.cellX == 0 ? 0.1f : 0.6f, 1e-3f)
                << comparison.name << " pixel " << p.x << "," << p.y;
            if (hit.cellX == 0) {
                leftmost = std::min(leftmost, hit.point.x);
                rightmost = std::max(rightmost, hit.point.x);
            } else {
                ++beside;
            }
        }
    }
    // The dark strip reaches well past x = 0 on both sides.
    EXPECT_LT(leftmost, -0.2f);
    EXPECT_GT(rightmost, 0.2f);
    EXPECT_GT(beside, 20);
}

TEST_F(ShaderTest, GlowAddsAboutOneLookingIntoTheLight) {
    int framesWithLight = 0;
    for (const Comparison &comparison : comparisons()) {
        const auto &pixels = comparison.expected.pixels;
        const auto brightest =
            std::max_element(pixels.begin(), pixels.end(),
                             [](const auto &a, const auto &b) { return a.glow < b.glow; });
        if (brightest->glow < 0.9f)
            continue;
        ++framesWithLight;
        const size_t index = static_cast<size_t>(brightest - pixels.begin());
        const int x = static_cast<int>(index % comparison.expected.width);
        const int y = static_cast<int>(index / comparison.expected.width);
        const Rgba drawn = comparison.drawnAt(x, y);
        const Rgba scene = brightest->colour;
        // What the glow added on top of the rest of the scene at that pixel.
        for (const float added :
             {drawn.r - (scene.r - brightest->glow), drawn.g - (scene.g - brightest->glow),
              drawn.b - (scene.b - brightest->glow)})
            EXPECT_GT(added, 0.9f) << comparison.name << " pixel " << x << "," << y;
        EXPECT_LT(largestDifference(drawn, scene), 0.02f) << comparison.name;
    }
    EXPECT_GE(framesWithLight, 1);
}

TEST_F(ShaderTest, FloorInASphereIsAddedAtFullWeight) {
    int checked = 0;
    for (const Comparison &comparison : comparisons()) {
        const auto pixels = pixelsOfKind(comparison, [](const PixelResult &pixel) {
            return pixel.path.primary.surface == Surface::sphere &&
                   pixel.path.firstBounce.surface == Surface::floor;
        });
        expectMatchesModel(comparison, pixels, 0.01f);
        for (const PixelPosition &p : pixels)
            // Glow 1, sphere 1.0, floor 1.0.
            EXPECT_NEAR(comparison.drawnAt(p.x, p.y).a, 3, 1e-3f);
        checked += static_cast<int>(pixels.size());
    }
    EXPECT_GT(checked, 50);
}

bool bouncesBetweenSpheres(const PixelResult &pixel, Surface secondBounce) {
    return pixel.path.primary.surface == Surface::sphere &&
           pixel.path.firstBounce.surface == Surface::sphere &&
           pixel.path.secondBounce.surface == secondBounce;
}

TEST_F(ShaderTest, SpheresInReflectionsAreWeightedPointThreeThenPointZeroNine) {
    // Glow 1 and the sphere seen directly 1, then a sphere at 0.3 and what
    // that one reflects: nothing, a sphere at 0.09, or the floor at 1.0.
    const struct {
        Surface secondBounce;
        float alpha;
    } cases[] = {{Surface::none, 2.3f}, {Surface::sphere, 2.39f}, {Surface::floor, 3.3f}};
    for (const auto &bounce : cases) {
        int checked = 0;
        for (const Comparison &comparison : comparisons()) {
            const auto pixels = pixelsOfKind(comparison, [&bounce](const PixelResult &pixel) {
                return bouncesBetweenSpheres(pixel, bounce.secondBounce);
            });
            expectMatchesModel(comparison, pixels, 0.01f);
            for (const PixelPosition &p : pixels)
                EXPECT_NEAR(comparison.drawnAt(p.x, p.y).a, bounce.alpha, 1e-3f)
                    << comparison.name << " pixel " << p.x << "," << p.y;
            checked += static_cast<int>(pixels.size());
        }
        EXPECT_GT(checked, 20) << "alpha " << bounce.alpha;
    }
}

float weightOf(const reference::SurfaceHit &hit, float sphereWeight) {
    switch (hit.surface) {
    case Surface::sphere:
        return sphereWeight;
    case Surface::floor:
        return 1;
    default:
        return 0;
    }
}

TEST_F(ShaderTest, AlphaCountsOneForTheGlowAndEachShadingWeight) {
    for (const Comparison &comparison : comparisons()) {
        const auto pixels = pixelsOfKind(comparison, [](const PixelResult &) { return true; });
        int misses = 0;
        for (const PixelPosition &p : pixels) {
            const reference::Path &path = comparison.expected.at(p.x, p.y).path;
            const float expected = 1 + weightOf(path.primary, 1) +
                                   weightOf(path.firstBounce, 0.3f) +
                                   weightOf(path.secondBounce, 0.09f);
            const float drawn = comparison.drawnAt(p.x, p.y).a;
            if (std::fabs(drawn - expected) > 1e-3f && ++misses <= 3)
                ADD_FAILURE() << comparison.name << " pixel " << p.x << "," << p.y << ": alpha "
                              << drawn << ", expected " << expected;
        }
        EXPECT_EQ(misses, 0) << comparison.name << ": of " << pixels.size() << " pixels";
    }
}

TEST_F(ShaderTest, WholePicturesAgreeWithTheModel) {
    for (const Comparison &comparison : comparisons()) {
        const size_t count = comparison.expected.pixels.size();
        size_t close = 0;
        double differenceSum = 0;
        for (size_t i = 0; i < count; ++i) {
            const int x = static_cast<int>(i % comparison.expected.width);
            const int y = static_cast<int>(i / comparison.expected.width);
            const float difference =
                largestDifference(comparison.drawnAt(x, y), comparison.expected.pixels[i].colour);
            close += difference <= 0.01f ? 1 : 0;
            differenceSum += difference;
        }
        const double fraction = static_cast<double>(close) / count;
        const double mean = differenceSum / count;
        std::printf("%s: %.4f%% of pixels within 0.01, mean largest difference %.6f\n",
                    comparison.name.c_str(), 100 * fraction, mean);
        EXPECT_GE(fraction, 0.99) << comparison.name;
        EXPECT_LT(mean, 0.005) << comparison.name;
    }
}

// Away from edges the two agree to float rounding; the glow's power of 1400
// magnifies that rounding most, to a few ten-thousandths.
TEST_F(ShaderTest, RegionsAwayFromEdgesAgreeWithinOneThousandth) {
    for (const Comparison &comparison : comparisons()) {
        const auto pixels = pixelsOfKind(comparison, [](const PixelResult &) { return true; });
        size_t close = 0;
        for (const PixelPosition &p : pixels)
            close += largestDifference(comparison.drawnAt(p.x, p.y),
                                       comparison.expected.at(p.x, p.y).colour) <= 1e-3f
                         ? 1
                         : 0;
        const double fraction = static_cast<double>(close) / pixels.size();
        std::printf("%s: %.4f%% of %zu pixels away from edges within 0.001\n",
                    comparison.name.c_str(), 100 * fraction, pixels.size());
        EXPECT_GE(fraction, 0.999) << comparison.name;
    }
}

// The model's colour as an 8-bit window would store it.
uint8_t storedChannel(float value) {
    return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255));
}

bool withinSixSteps(const uint8_t *rgb, const Rgba &model) {
    const uint8_t expected[3] = {storedChannel(model.r), storedChannel(model.g),
                                 storedChannel(model.b)};
    for (int channel = 0; channel < 3; ++channel)
        if (std::abs(rgb[channel] - expected[channel]) > 6)
            return false;
    return true;
}

TEST_F(ShaderTest, FrameToolPictureMatchesTheModel) {
    const std::filesystem::path output = std::filesystem::temp_directory_path() /
                                         ("veltrane-gl-test-" + std::to_string(getpid()) + ".png");
    const std::string command = std::string("'") + FRAME_TOOL +
                                "' --frame 0 --elapsed 0 --row 0 --size 933x700 '" +
                                output.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    RgbImage picture;
    std::string error;
    const bool read = readPng(output.string(), picture, error);
    std::filesystem::remove(output);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(picture.width, 933);
    ASSERT_EQ(picture.height, 700);
    const reference::ReferenceImage model =
        reference::renderReference(frameStateAt(0, 0, 0, 933, 700), 933, 700);
    size_t close = 0;
    for (size_t i = 0; i < model.pixels.size(); ++i)
        close += withinSixSteps(&picture.rgb[i * 3], model.pixels[i].colour) ? 1 : 0;
    const double fraction = static_cast<double>(close) / model.pixels.size();
    std::printf("frame tool, frame 0, 933x700: %.4f%% of pixels within 6/255\n", 100 * fraction);
    EXPECT_GE(fraction, 0.99);
}

} // namespace
