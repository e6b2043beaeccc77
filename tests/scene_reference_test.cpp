// The CPU model of the scene against values worked out by hand, so that a
// mistake the model shared with the fragment stage would still show here.

#include "tests/scene_reference.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace reference;

const double degree = 3.14159265358979323846 / 180;
const Vec3 down{0, -1, 0}, up{0, 1, 0};

std::vector<float> valuesOf(const Rgba &c) {
    return {c.r, c.g, c.b, c.a};
}

void expectNear(const std::vector<float> &actual, const std::vector<float> &expected,
                float tolerance) {
    for (size_t k = 0; k < expected.size(); ++k)
        EXPECT_NEAR(actual[k], expected[k], tolerance) << "component " << k;
}

TEST(SceneReference, Intersections) {
    const Scene scene = sceneWithLight(up);
    const Sphere &left = scene.spheres[0]; // centre (-1, 0, 0), r2 0.25
    float t = -7;
    // Down along x = -0.5: D = 25 - (0.25 + 25 - 0.25) = 0, a miss that leaves t; at x = -0.6
    // D = 0.09, t = 5 - 0.3. From the top going up: the far root 0 still counts; from the
    // centre the far root 0.5; from above the top both roots are negative.
    EXPECT_FALSE(raySphere(Ray{Vec3{-0.5f, 5, 0}, down}, left, t));
    EXPECT_EQ(t, -7);
    EXPECT_TRUE(raySphere(Ray{Vec3{-0.6f, 5, 0}, down}, left, t));
    EXPECT_NEAR(t, 4.7f, 1e-5f);
    EXPECT_TRUE(raySphere(Ray{Vec3{-1, 0.5f, 0}, up}, left, t) && t == 0);
    EXPECT_TRUE(raySphere(Ray{Vec3{-1, 0, 0}, Vec3{1, 0, 0}}, left, t));
    EXPECT_NEAR(t, 0.5f, 1e-6f);
    EXPECT_FALSE(raySphere(Ray{Vec3{-1, 1, 0}, up}, left, t));
    // The floor refuses rays rising by 0.00001 or more (from below it lies ahead of any
    // rising ray); straight down from y = 1.5: t = 2; level from above: no positive t.
    const float rise = 0.00001f;
    EXPECT_FALSE(rayPlane(Ray{down, Vec3{std::sqrt(1 - rise * rise), rise, 0}}, t));
    EXPECT_TRUE(rayPlane(Ray{down, Vec3{1, 0.0000099f, 0}}, t));
    EXPECT_TRUE(rayPlane(Ray{Vec3{0, 1.5f, 0}, down}, t));
    EXPECT_NEAR(t, 2, 1e-6f);
    EXPECT_FALSE(rayPlane(Ray{Vec3{0, 1.5f, 0}, Vec3{1, 0, 0}}, t));
    // The search starts 0.005 along: from y = 2 down to the top at 0.5 is 1.495; a miss keeps
    // 1e20. Equal distances go to the lower index, a nearer sphere wins whatever its index.
    EXPECT_EQ(firstObject(scene, Ray{Vec3{-1, 2, 0}, down}, t), 0);
    EXPECT_NEAR(t, 1.495f, 1e-5f);
    EXPECT_EQ(firstObject(scene, Ray{Vec3{0, 2, 0}, up}, t), -1);
    EXPECT_EQ(t, 1e20f);
    Scene copies = scene;
    copies.spheres = {left, left, left};
    EXPECT_EQ(firstObject(copies, Ray{Vec3{-1, 2, 0}, down}, t), 0);
    copies.spheres[2].centre.y = 0.1f;
    EXPECT_EQ(firstObject(copies, Ray{Vec3{-1, 2, 0}, down}, t), 2);
}

TEST(SceneReference, Checker) {
    // Cells of a third: int(3x) and int(3z), truncated toward zero, of different parity are
    // light. The centre cell (-1/3..1/3 on both) is dark and two thirds wide.
    const float cells[][3] = {{0, 0, 0},      {0.32f, -0.32f, 0}, {0.34f, 0, 1},
                              {0, -0.65f, 1}, {0.5f, 0.5f, 0},    {-0.5f, 0.5f, 0},
                              {-0.8f, 0, 0},  {-0.8f, -0.5f, 1},  {-0.8f, -0.8f, 0}};
    for (const auto &[x, z, light] : cells)
        EXPECT_EQ(checkerColour(Vec3{x, 7, z}).x, light ? 0.7f : 0.2f) << x << " " << z;
}

TEST(SceneReference, Shading) {
    // A floor point in front of sphere 0, on a dark cell (int(-2.7) = -2, int(-4.5) = -4):
    // shadowed from a light halfway to the sphere or behind it, ambient 0.15 x (0.2, 0.1,
    // 0.1); seen from above (the glow 0 at cosine 0.64) alpha 2.
    const Vec3 floorPoint{-0.9f, -0.5f, -1.5f};
    for (const Vec3 light : {Vec3{-0.9f, -0.25f, -0.75f}, Vec3{-0.9f, 0.5f, 1.5f}}) {
        Rgba sum;
        EXPECT_TRUE(
            shadeFloor(sceneWithLight(light), Ray{Vec3{-0.9f, 3, -1.5f}, down}, floorPoint, 1, sum)
                .shadowed);
        expectNear(valuesOf(sum), {0.03f, 0.015f, 0.015f, 1}, 1e-6f);
    }
    expectNear(
        valuesOf(traceRay(sceneWithLight(Vec3{-0.9f, 0.5f, 1.5f}), Ray{Vec3{-0.9f, 3, -1.5f}, down})
                     .colour),
        {0.03f, 0.015f, 0.015f, 2}, 1e-6f);
    // Lit from 2 above with no attenuation, seen 10 degrees from vertical: the half vector
    // lies 5 degrees off, cos(5 deg)^101 = 0.6804040 on top of the colour x 1.15.
    Rgba sum;
    const Vec3 slanted{static_cast<float>(std::sin(10 * degree)),
                       -static_cast<float>(std::cos(10 * degree)), 0};
    shadeFloor(sceneWithLight(floorPoint + Vec3{0, 2, 0}), Ray{Vec3{}, slanted}, floorPoint, 1,
               sum);
    expectNear(valuesOf(sum), {0.9104040f, 0.7954040f, 0.7954040f, 1}, 2e-5f);
    // The top of sphere 1, light 1 above: dp = 5 / 6; viewed 45 degrees down the half vector
    // taken twice lies 11.25 degrees off up: cos(11.25 deg)^51 = 0.3717671.
    const Vec3 top{0, 0.3f, 0.3f};
    sum = Rgba{};
    shadeSphere(sceneWithLight(top + up), Ray{Vec3{}, normalize(Vec3{1, -1, 0})}, top, up, 1, 1,
                sum);
    expectNear(valuesOf(sum), {1.2567671f, 1.0601004f, 0.5684337f, 1}, 2e-5f);
    // Facing away from a light 0.2 below its tangent plane but unshadowed: ambient only.
    sum = Rgba{};
    const Vec3 above{0, 0.31f, 0.3f};
    const SurfaceHit away = shadeSphere(sceneWithLight(above + Vec3{0, -0.2f, -std::sqrt(0.96f)}),
                                        Ray{Vec3{}, down}, above, up, 1, 1, sum);
    EXPECT_FALSE(away.shadowed || away.facesLight);
    expectNear(valuesOf(sum), {0.135f, 0.105f, 0.03f, 1}, 1e-6f);
    // Straight down through the light at (0, 1.3, 0.3) onto sphere 1: glow 1; the hit stops
    // 0.005 short, so dp = 5 / 5.995; highlight 1; the reflection rises into nothing:
    // 1 + colour x (0.8340284 + 0.15) + 1, alpha 2. (A float dot product of unit vectors may
    // end one step below 1, which the power 1400 turns into 0.99992.)
    const PixelResult lit =
        traceRay(sceneWithLight(Vec3{0, 1.3f, 0.3f}), Ray{Vec3{0, 3, 0.3f}, down});
    EXPECT_EQ(lit.path[1].surface, Surface::none);
    expectNear(valuesOf(lit.colour), {2.8856255f, 2.6888198f, 2.1968057f, 2}, 2e-4f);
    // 1.8 degrees above the light, into the empty sky: cos(1.8 deg)^1400 = 0.5010818.
    const double elevation = std::atan2(0.5, 5.5) + 1.8 * degree;
    const Ray sky{Vec3{0, 0.5f, -4}, Vec3{0, static_cast<float>(std::sin(elevation)),
                                          static_cast<float>(std::cos(elevation))}};
    expectNear(valuesOf(traceRay(sceneWithLight(Vec3{0, 1, 1.5f}), sky).colour),
               {0.5010818f, 0.5010818f, 0.5010818f, 1}, 1e-3f);
}

TEST(SceneReference, BouncesAreWeightedOnePointThreeAndPointZeroNine) {
    // With the light inside sphere 1 every shading is ambient, 0.15 x colour: sphere 0
    // (0.03, 0.135, 0.135), 1 (0.135, 0.105, 0.03), 2 (0.015, 0.135, 0.03), dark cell (0.03,
    // 0.015, 0.015), light cell (0.105, 0.015, 0.015); the glow stays below 8e-7.
    // What the path meets: a sphere's index, -2 the floor, -1 nothing.
    const struct {
        Vec3 from, towards, light;
        std::vector<int> path;
        std::vector<float> colour;
    } cases[] = {
        // Sphere 0, then the floor at (-0.75, -0.5, -0.708), a dark cell.
        {{-0.9f, -0.2f, -5},
         {-0.9f, -0.2f, 0},
         {0, 0.2f, 0.3f},
         {0, -2, -1},
         {0.06f, 0.15f, 0.15f, 3}},
        // Sphere 2, then sphere 0 at 0.3, then the sky.
        {{-0.24f, 0.05f, -3.18f},
         {0.6f, 0.05f, -0.3f},
         {0, 0.2f, 0.3f},
         {2, 0, -1},
         {0.024f, 0.1755f, 0.0705f, 2.3f}},
        // Sphere 1, sphere 2, sphere 1 again at 0.09 (the light in sphere 1's left half).
        {{-0.2f, 0.8f, -3},
         {0.29f, -0.02f, 0.01f},
         {-0.3f, -0.1f, 0.3f},
         {1, 2, 1},
         {0.15165f, 0.15495f, 0.0417f, 2.39f}},
        // Sphere 2, sphere 0, then the floor at (0.018, -0.5, -1.168), a light cell, at 1.
        {{0, 0.2f, -3},
         {0.6f, 0, -0.3f},
         {0, 0.2f, 0.3f},
         {2, 0, -2},
         {0.129f, 0.1905f, 0.0855f, 3.3f}},
    };
    for (const auto &c : cases) {
        const PixelResult pixel =
            traceRay(sceneWithLight(c.light), Ray{c.from, normalize(c.towards - c.from)});
        std::vector<int> path;
        for (const SurfaceHit &hit : pixel.path)
            path.push_back(hit.surface == Surface::floor ? -2 : hit.sphere);
        EXPECT_EQ(path, c.path);
        expectNear(valuesOf(pixel.colour), c.colour, 1e-5f);
    }
}

TEST(SceneReference, ViewRays) {
    // 4 x 2 pixels, unturned: the top-left centre is at (-0.75, 0.5), scaled by 2 in x:
    // (-1.5, 1, -2) from the eye at (0, 0.5, -4): (-1.5, 0.5, 2) / sqrt(6.5).
    FrameState state = initialFrameState();
    state.viewAngle = 0;
    const Ray flat = primaryRay(state, 4, 2, 0, 0);
    expectNear({flat.origin.x, flat.origin.y, flat.origin.z, flat.direction.x, flat.direction.y,
                flat.direction.z},
               {0, 0.5f, -4, -0.5883484f, 0.1961161f, 0.7844645f}, 1e-6f);
    // viewAngle 900 turns by -90 degrees: the eye at (4, 0.5, 0) looks along -x. The first
    // frame is turned by -7.5 degrees: the eye at (-4 sin(-7.5), 0.5, -4 cos(-7.5)).
    state.viewAngle = 900;
    const Ray quarter = primaryRay(state, 1, 1, 0, 0),
              first = primaryRay(initialFrameState(), 1, 1, 0, 0);
    expectNear({quarter.origin.x, quarter.origin.y, quarter.origin.z, quarter.direction.x},
               {4, 0.5f, 0, -1}, 1e-5f);
    expectNear({first.origin.x, first.origin.y, first.origin.z}, {0.5221048f, 0.5f, -3.9657794f},
               1e-5f);
}

} // namespace
