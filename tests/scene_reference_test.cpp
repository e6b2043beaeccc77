// The CPU model of the scene against values worked out by hand, so that a
// mistake the model shared with the fragment stage would still show.

#include "tests/scene_reference.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace reference;

void expectColour(const Rgba &c, std::vector<float> expected, float tolerance) {
    const float actual[] = {c.r, c.g, c.b, c.a};
    for (size_t k = 0; k < expected.size(); ++k)
        EXPECT_NEAR(actual[k], expected[k], tolerance) << "component " << k;
}

TEST(SceneReference, ShadingGlowAndBounces) {
    const Vec3 up{0, 1, 0};
    const double degree = 3.14159265358979323846 / 180;
    // A dark floor cell lit from 2 above, seen 10 degrees from vertical: no attenuation,
    // one half vector 5 degrees off: 1.15 x (0.2, 0.1, 0.1) + cos(5 deg)^101 = 0.6804040.
    const Vec3 floorPoint{-0.9f, -0.5f, -1.5f};
    const Vec3 slanted{static_cast<float>(std::sin(10 * degree)),
                       -static_cast<float>(std::cos(10 * degree)), 0};
    expectColour(shadePoint(floorPoint + 2 * up, Ray{Vec3{}, slanted}, floorPoint, up, -1),
                 {0.9104040f, 0.7954040f, 0.7954040f, 1}, 2e-5f);
    // The top of sphere 1 with the light 1 above: dp attenuated to 5 / 6; viewed 45 degrees
    // down, the half vector taken twice lies 11.25 degrees off up: cos(11.25 deg)^51 = 0.3717671.
    const Vec3 top{0, 0.3f, 0.3f};
    expectColour(shadePoint(top + up, Ray{Vec3{}, normalize(Vec3{1, -1, 0})}, top, up, 1),
                 {1.2567671f, 1.0601004f, 0.5684337f, 1}, 2e-5f);
    // 1.8 degrees above the light into the empty sky: cos(1.8 deg)^1400 = 0.5010818.
    const double elevation = std::atan2(0.5, 5.5) + 1.8 * degree;
    const Ray sky{Vec3{0, 0.5f, -4}, Vec3{0, static_cast<float>(std::sin(elevation)),
                                          static_cast<float>(std::cos(elevation))}};
    expectColour(traceRay(Vec3{0, 1, 1.5f}, sky), {0.5010818f, 0.5010818f, 0.5010818f, 1}, 1e-3f);
    // With the light inside sphere 1 all shading is ambient, 0.15 x colour: sphere 0 (0.03,
    // 0.135, 0.135), 1 (0.135, 0.105, 0.03), 2 (0.015, 0.135, 0.03), dark cell (0.03, 0.015,
    // 0.015), light cell (0.105, 0.015, 0.015); reflections weigh 0.3, then 0.09, the floor
    // always 1. The spheres met (-1: the floor), then the colour.
    const struct {
        Vec3 from, towards, light;
        std::vector<int> met;
        std::vector<float> colour;
    } cases[] = {
        {{-0.9f, -0.2f, -5}, {-0.9f, -0.2f, 0}, {0, 0.2f, 0.3f}, {0, -1}, {0.06f, 0.15f, 0.15f, 3}},
        {{-0.24f, 0.05f, -3.18f},
         {0.6f, 0.05f, -0.3f},
         {0, 0.2f, 0.3f},
         {2, 0},
         {0.024f, 0.1755f, 0.0705f, 2.3f}},
        {{-0.2f, 0.8f, -3},
         {0.29f, -0.02f, 0.01f},
         {-0.3f, -0.1f, 0.3f},
         {1, 2, 1},
         {0.15165f, 0.15495f, 0.0417f, 2.39f}},
        {{0, 0.2f, -3},
         {0.6f, 0, -0.3f},
         {0, 0.2f, 0.3f},
         {2, 0, -1},
         {0.129f, 0.1905f, 0.0855f, 3.3f}},
    };
    for (const auto &c : cases) {
        Kind kind;
        expectColour(traceRay(c.light, Ray{c.from, normalize(c.towards - c.from)}, nullptr, &kind),
                     c.colour, 1e-5f);
        std::vector<int> met;
        for (size_t k = 0; k < kind.size(); k += 5)
            met.push_back(kind[k]);
        EXPECT_EQ(met, c.met);
    }
}

} // namespace
