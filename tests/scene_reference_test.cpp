// The CPU model of the scene against values worked out by hand, so that a
// mistake the model shared with the fragment stage would still show here.

#include "tests/scene_reference.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using reference::Ray;
using reference::Rgba;
using reference::Scene;
using reference::Surface;
using reference::Vec3;

const double degree = 3.14159265358979323846 / 180;

void expectColour(const Rgba &actual, float r, float g, float b, float a, float tolerance) {
    EXPECT_NEAR(actual.r, r, tolerance);
    EXPECT_NEAR(actual.g, g, tolerance);
    EXPECT_NEAR(actual.b, b, tolerance);
    EXPECT_NEAR(actual.a, a, tolerance);
}

void expectVec3(Vec3 actual, float x, float y, float z, float tolerance) {
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

Vec3 towards(Vec3 from, Vec3 to) {
    return reference::normalize(to - from);
}

Ray rayThrough(Vec3 from, Vec3 to) {
    return Ray{from, towards(from, to)};
}

const Vec3 down{0, -1, 0};
const Vec3 up{0, 1, 0};

// A light inside sphere 1: every shadow ray, from wherever, meets sphere 1 on
// its way, so every shading call gives its ambient term only.
const Vec3 insideSphere1{0, 0.2f, 0.3f};

// --- Intersections -------------------------------------------------------

TEST(RaySphere, GrazingRayMissesAndSlightlyInnerRayHits) {
    const Scene scene = reference::sceneWithLight(up);
    // Sphere 0 (centre (-1, 0, 0), r2 0.25) seen straight down along x = -0.5:
    // dst = (0.5, 5, 0), B = -5, C = 0.25 + 25 - 0.25 = 25, D = 25 - 25 = 0,
    // every step exact in floats.
    float t = -7;
    EXPECT_FALSE(reference::raySphere(Ray{Vec3{-0.5f, 5, 0}, down}, scene.spheres[0], t));
    EXPECT_EQ(t, -7) << "a miss leaves t unwritten";
    // At x = -0.6: D = 25 - (0.16 + 25 - 0.25) = 0.09, t = 5 - 0.3 = 4.7.
    EXPECT_TRUE(reference::raySphere(Ray{Vec3{-0.6f, 5, 0}, down}, scene.spheres[0], t));
    EXPECT_NEAR(t, 4.7f, 1e-5f);
}

TEST(RaySphere, StartOnSurfaceCountsAsHitAtZeroAndInsideHitsFarSide) {
    const Scene scene = reference::sceneWithLight(up);
    float t = -7;
    // From the top of sphere 0 going up: B = 0.5, C = 0, D = 0.25;
    // -B - 0.5 = -1 < 0, then -B + 0.5 = 0, which still counts.
    EXPECT_TRUE(reference::raySphere(Ray{Vec3{-1, 0.5f, 0}, up}, scene.spheres[0], t));
    EXPECT_EQ(t, 0);
    // From the centre: B = 0, C = -0.25, D = 0.25; -0.5 < 0, so +0.5.
    EXPECT_TRUE(reference::raySphere(Ray{Vec3{-1, 0, 0}, Vec3{1, 0, 0}}, scene.spheres[0], t));
    EXPECT_NEAR(t, 0.5f, 1e-6f);
    // From above the top going up: both roots negative.
    EXPECT_FALSE(reference::raySphere(Ray{Vec3{-1, 1, 0}, up}, scene.spheres[0], t));
}

TEST(RayPlane, RejectsNormalComponentFromOneHundredThousandthAndHitsBelowIt) {
    float t = -7;
    // From below the floor the plane lies ahead of any rising ray
    // (t = 0.5 / Vd > 0), so only the early rejection can refuse it.
    const Vec3 below{0, -1, 0};
    const float riseAtLimit = 0.00001f;
    const Vec3 atLimit{std::sqrt(1 - riseAtLimit * riseAtLimit), riseAtLimit, 0};
    EXPECT_FALSE(reference::rayPlane(Ray{below, atLimit}, t));
    EXPECT_EQ(t, -7);
    const Vec3 underLimit{1, 0.0000099f, 0};
    EXPECT_TRUE(reference::rayPlane(Ray{below, underLimit}, t));
    EXPECT_NEAR(t, 0.5 / 0.0000099, 1);
    // From y = 1.5 straight down: V0 = -(1.5 + 0.5) = -2, Vd = -1, t = 2.
    EXPECT_TRUE(reference::rayPlane(Ray{Vec3{0, 1.5f, 0}, down}, t));
    EXPECT_NEAR(t, 2, 1e-6f);
    // Level from above: V0 = -1 over Vd = 0 is not a positive distance.
    EXPECT_FALSE(reference::rayPlane(Ray{Vec3{0, 1.5f, 0}, Vec3{1, 0, 0}}, t));
}

TEST(FirstObject, MeasuresFromTheMovedOriginAndKeepsStartOnMiss) {
    const Scene scene = reference::sceneWithLight(up);
    float t = 0;
    // Down onto the top of sphere 0 (y = 0.5) from y = 2: the search starts at
    // y = 1.995, so the distance is 1.495, not 1.5.
    EXPECT_EQ(reference::firstObject(scene, Ray{Vec3{-1, 2, 0}, down}, t), 0);
    EXPECT_NEAR(t, 1.495f, 1e-5f);
    EXPECT_EQ(reference::firstObject(scene, Ray{Vec3{0, 2, 0}, up}, t), -1);
    EXPECT_EQ(t, 1e20f);
}

TEST(FirstObject, EqualDistancesGoToTheLowerIndexAndNearerWins) {
    Scene scene = reference::sceneWithLight(up);
    scene.spheres[1] = scene.spheres[0];
    scene.spheres[2] = scene.spheres[0];
    scene.spheres[2].colour = Vec3{1, 1, 1};
    float t = 0;
    EXPECT_EQ(reference::firstObject(scene, Ray{Vec3{-1, 2, 0}, down}, t), 0);
    // A nearer sphere wins whatever its index: sphere 2 raised by 0.1.
    scene.spheres[2].centre.y = 0.1f;
    EXPECT_EQ(reference::firstObject(scene, Ray{Vec3{-1, 2, 0}, down}, t), 2);
    EXPECT_NEAR(t, 1.395f, 1e-5f);
}

// --- The checker -------------------------------------------------------------

const Vec3 darkCell{0.2f, 0.1f, 0.1f};
const Vec3 lightCell{0.7f, 0.1f, 0.1f};

void expectChecker(float x, float z, Vec3 expected) {
    SCOPED_TRACE(testing::Message() << "x " << x << " z " << z);
    expectVec3(reference::checkerColour(Vec3{x, -0.5f, z}), expected.x, expected.y, expected.z, 0);
}

TEST(Checker, CentreCellIsTwoThirdsWideWithOneThirdCellsBeside) {
    // int() of anything in (-1, 1) is 0: both indices even, so dark.
    for (const float x : {0.0f, 0.32f, -0.32f})
        for (const float z : {0.0f, 0.32f, -0.32f})
            expectChecker(x, z, darkCell);
    // 1/3..2/3 on one axis: index 1 (or -1) is odd, the other 0 is even.
    for (const float side : {0.34f, 0.65f, -0.34f, -0.65f}) {
        expectChecker(side, 0, lightCell);
        expectChecker(0, side, lightCell);
    }
    // Both odd: dark again, like the centre.
    expectChecker(0.5f, 0.5f, darkCell);
    expectChecker(-0.5f, 0.5f, darkCell);
}

TEST(Checker, NegativeIndicesKeepTheirParityAndHeightIsIgnored) {
    // -0.8 * 3 = -2.4 truncates to -2 (even); -0.5 * 3 = -1.5 to -1 (odd).
    expectChecker(-0.8f, 0, darkCell);
    expectChecker(-0.8f, -0.5f, lightCell);
    expectChecker(-0.5f, -0.8f, lightCell);
    expectChecker(-0.8f, -0.8f, darkCell);
    expectVec3(reference::checkerColour(Vec3{0.5f, 7, 0}), lightCell.x, lightCell.y, lightCell.z,
               0);
}

// --- The floor ---------------------------------------------------------------

// A floor point in front of sphere 0 and on the line through its centre:
// from (-0.9, -0.5, -1.5) towards (-0.9, 0, 0) the ray passes 0.1 from the
// centre. Cell: int(-2.7) = -2 and int(-4.5) = -4, both even, so dark.
const Vec3 floorPoint{-0.9f, -0.5f, -1.5f};

TEST(FloorShading, ShadowFromASphereBeyondOrBeforeTheLightLeavesAmbient) {
    const Ray view{Vec3{-0.9f, 3, -1.5f}, down};
    // Light halfway to sphere 0, so the sphere lies beyond it; and light
    // behind sphere 0. Both: 0.15 * (0.2, 0.1, 0.1) = (0.03, 0.015, 0.015).
    for (const Vec3 light : {Vec3{-0.9f, -0.25f, -0.75f}, Vec3{-0.9f, 0.5f, 1.5f}}) {
        Rgba sum;
        const auto hit =
            reference::shadeFloor(reference::sceneWithLight(light), view, floorPoint, 1, sum);
        EXPECT_TRUE(hit.shadowed);
        expectColour(sum, 0.03f, 0.015f, 0.015f, 1, 1e-6f);
    }
}

TEST(FloorShading, ShadowedFloorPixelIsAmbientPlusGlowWithAlphaTwo) {
    // Straight down onto the floor point, light behind sphere 0. The light is
    // far off the view ray (cosine 2.5 / sqrt(15.25) = 0.64), so the glow is 0.
    const Scene scene = reference::sceneWithLight(Vec3{-0.9f, 0.5f, 1.5f});
    const auto pixel = reference::traceRay(scene, Ray{Vec3{-0.9f, 3, -1.5f}, down});
    EXPECT_EQ(pixel.path.primary.surface, Surface::floor);
    expectColour(pixel.colour, 0.03f, 0.015f, 0.015f, 2, 1e-6f);
}

TEST(FloorShading, LitPointHasOneHalfVectorExponent101AndNoAttenuation) {
    // Light 2 above the point: dp = 1 with no 5 / (2 + 5) factor. The view
    // comes down 10 degrees from vertical, so lv - d bisects it: 5 degrees,
    // cos(5 deg)^101 = 0.6804040. Colour (0.2, 0.1, 0.1) * 1.15 + that.
    const Scene scene = reference::sceneWithLight(floorPoint + Vec3{0, 2, 0});
    const Vec3 slanted{static_cast<float>(std::sin(10 * degree)),
                       -static_cast<float>(std::cos(10 * degree)), 0};
    Rgba sum;
    const auto hit = reference::shadeFloor(scene, Ray{Vec3{}, slanted}, floorPoint, 1, sum);
    EXPECT_FALSE(hit.shadowed);
    expectColour(sum, 0.9104040f, 0.7954040f, 0.7954040f, 1, 2e-5f);
}

// --- The spheres -------------------------------------------------------------

const Vec3 topOfSphere1{0, 0.3f, 0.3f};

TEST(SphereShading, TopOfSphere1UnderTheLightSeenFromAboveTheLight) {
    // Eye at (0, 3, 0.3) looking straight down through the light at
    // (0, 1.3, 0.3): glow 1. The hit point stops 0.005 short, at y = 0.305,
    // so ld = 0.995 and dp = 5 / 5.995 = 0.8340284. lv, -d and both half
    // vectors are all straight up: highlight 1. The reflection goes straight
    // up into nothing and never tests the floor.
    // 1 + colour * (0.8340284 + 0.15) + 1:
    //   0.9 -> 2.8856255, 0.7 -> 2.6888198, 0.2 -> 2.1968057; alpha 1 + 1.
    const Scene scene = reference::sceneWithLight(Vec3{0, 1.3f, 0.3f});
    const auto pixel = reference::traceRay(scene, Ray{Vec3{0, 3, 0.3f}, down});
    EXPECT_EQ(pixel.path.primary.sphere, 1);
    EXPECT_EQ(pixel.path.firstBounce.surface, Surface::none);
    // A float dot product of unit vectors may end one step below 1
    // (0.99999994), which the power 1400 turns into 0.99992.
    EXPECT_NEAR(pixel.glow, 1, 2e-4f);
    expectColour(pixel.colour, 2.8856255f, 2.6888198f, 2.1968057f, 2, 2e-4f);
}

TEST(SphereShading, HalfVectorTakenTwiceGivesExponent51AndDiffuseIsAttenuated) {
    // At the top, normal up, light 1 above: dp = 1 * 5 / 6. View 45 degrees
    // down: normalize(lv - d) lies 22.5 degrees from up, the second half
    // vector 11.25 degrees: cos(11.25 deg)^51 = 0.3717671.
    // colour * (0.8333333 + 0.15) + 0.3717671.
    const Scene scene = reference::sceneWithLight(topOfSphere1 + up);
    const Ray view{Vec3{}, reference::normalize(Vec3{1, -1, 0})};
    Rgba sum;
    const auto hit = reference::shadeSphere(scene, view, topOfSphere1, up, 1, 1, sum);
    EXPECT_FALSE(hit.shadowed);
    expectColour(sum, 1.2567671f, 1.0601004f, 0.5684337f, 1, 2e-5f);
}

TEST(SphereShading, PointFacingAwayButUnshadowedGetsAmbientOnly) {
    // 0.01 above the top of sphere 1, light 1 away and 0.2 below the tangent
    // plane (dp = -0.2). The shadow ray from 0.005 further on passes the
    // sphere: B = 0.41 * -0.2 + 0.005 = -0.077,
    // C = 0.41^2 + 2 * 0.005 * 0.41 * -0.2 + 0.005^2 - 0.16 = 0.007305,
    // D = 0.005929 - 0.007305 < 0. Ambient: 0.15 * (0.9, 0.7, 0.2).
    const Vec3 point{0, 0.31f, 0.3f};
    const Vec3 awayFromLight{0, -0.2f, -std::sqrt(0.96f)};
    const Scene scene = reference::sceneWithLight(point + awayFromLight);
    Rgba sum;
    const auto hit = reference::shadeSphere(scene, Ray{Vec3{}, down}, point, up, 1, 1, sum);
    EXPECT_FALSE(hit.shadowed);
    EXPECT_FALSE(hit.facesLight);
    expectColour(sum, 0.135f, 0.105f, 0.03f, 1, 1e-6f);
}

// --- Glow --------------------------------------------------------------------

TEST(Glow, RayIntoTheEmptySkyIsBlackPlusHalfGlowAtOnePointEightDegrees) {
    // From the eye towards the light at (0, 1, 1.5) is 5.19 degrees up; a ray
    // 1.8 degrees above that meets nothing. cos(1.8 deg)^1400 = 0.5010818.
    const Vec3 eye{0, 0.5f, -4};
    const Scene scene = reference::sceneWithLight(Vec3{0, 1, 1.5f});
    const double elevation = std::atan2(0.5, 5.5) + 1.8 * degree;
    const Vec3 direction{0, static_cast<float>(std::sin(elevation)),
                         static_cast<float>(std::cos(elevation))};
    const auto pixel = reference::traceRay(scene, Ray{eye, direction});
    EXPECT_EQ(pixel.path.primary.surface, Surface::none);
    expectColour(pixel.colour, 0.5010818f, 0.5010818f, 0.5010818f, 1, 1e-3f);
    const auto straightUp = reference::traceRay(scene, Ray{eye, up});
    expectColour(straightUp.colour, 0, 0, 0, 1, 0);
}

// --- Bounces, all in ambient light so only the weights matter ---------------

// Ambient colours 0.15 * colour:
//   sphere 0 (0.03, 0.135, 0.135), sphere 1 (0.135, 0.105, 0.03),
//   sphere 2 (0.015, 0.135, 0.03), dark cell (0.03, 0.015, 0.015),
//   light cell (0.105, 0.015, 0.015).
// In each case the light lies more than 8 degrees off the view ray, so the
// glow stays below 0.99^1400 = 8e-7.

TEST(Bounces, FloorSeenInAReflectionIsWeightedOne) {
    // Along +z at x = -0.9, y = -0.2: sphere 0 at z = -0.447 with normal
    // (0.2, -0.4, -0.894); the reflection (0.358, -0.716, -0.6) meets the floor
    // at (-0.75, -0.5, -0.708): int(-2.25) = -2, int(-2.12) = -2, dark.
    // Sphere 0 + floor at 1.0: (0.06, 0.15, 0.15), alpha 1 + 1 + 1.
    const Scene scene = reference::sceneWithLight(insideSphere1);
    const auto pixel = reference::traceRay(scene, Ray{Vec3{-0.9f, -0.2f, -5}, Vec3{0, 0, 1}});
    EXPECT_EQ(pixel.path.primary.sphere, 0);
    EXPECT_EQ(pixel.path.firstBounce.surface, Surface::floor);
    expectColour(pixel.colour, 0.06f, 0.15f, 0.15f, 3, 1e-5f);
}

TEST(Bounces, SphereSeenInAReflectionIsWeightedPointThree) {
    // Aimed at (0.6, 0.05, -0.3) on sphere 2 from (-0.24, 0.05, -3.18), just
    // above the equators: the reflection runs along -x to sphere 0 near
    // (-0.68, 0.26, -0.30) and the next one rises into the sky.
    // Sphere 2 + 0.3 * sphere 0: (0.024, 0.1755, 0.0705), alpha 2.3.
    const Scene scene = reference::sceneWithLight(insideSphere1);
    const auto pixel = reference::traceRay(
        scene, rayThrough(Vec3{-0.24f, 0.05f, -3.18f}, Vec3{0.6f, 0.05f, -0.3f}));
    EXPECT_EQ(pixel.path.primary.sphere, 2);
    EXPECT_EQ(pixel.path.firstBounce.sphere, 0);
    EXPECT_EQ(pixel.path.secondBounce.surface, Surface::none);
    expectColour(pixel.colour, 0.024f, 0.1755f, 0.0705f, 2.3f, 1e-5f);
}

TEST(Bounces, SecondBounceSphereIsWeightedPointZeroNine) {
    // From (-0.2, 0.8, -3) towards (0.29, -0.02, 0.01): sphere 1 near
    // (0.29, -0.03, 0.03), sphere 2 near (0.50, -0.04, 0.08), sphere 1 again
    // near (0.38, -0.07, 0.16). The light sits in sphere 1's left half.
    // (1 + 0.09) * sphere 1 + 0.3 * sphere 2 = (0.15165, 0.15495, 0.0417),
    // alpha 1 + 1 + 0.3 + 0.09.
    const Scene scene = reference::sceneWithLight(Vec3{-0.3f, -0.1f, 0.3f});
    const auto pixel =
        reference::traceRay(scene, rayThrough(Vec3{-0.2f, 0.8f, -3}, Vec3{0.29f, -0.02f, 0.01f}));
    EXPECT_EQ(pixel.path.primary.sphere, 1);
    EXPECT_EQ(pixel.path.firstBounce.sphere, 2);
    EXPECT_EQ(pixel.path.secondBounce.sphere, 1);
    expectColour(pixel.colour, 0.15165f, 0.15495f, 0.0417f, 2.39f, 1e-5f);
}

TEST(Bounces, FloorAfterTwoBouncesIsStillWeightedOne) {
    // From (0, 0.2, -3) towards (0.6, 0, -0.3): sphere 2, then sphere 0, then
    // the floor at (0.018, -0.5, -1.168): int(0.05) = 0 even, int(-3.5) = -3
    // odd, light cell. Sphere 2 + 0.3 * sphere 0 + light cell:
    // (0.015 + 0.009 + 0.105, 0.135 + 0.0405 + 0.015, 0.03 + 0.0405 + 0.015),
    // alpha 1 + 1 + 0.3 + 1.
    const Scene scene = reference::sceneWithLight(insideSphere1);
    const auto pixel =
        reference::traceRay(scene, rayThrough(Vec3{0, 0.2f, -3}, Vec3{0.6f, 0, -0.3f}));
    EXPECT_EQ(pixel.path.primary.sphere, 2);
    EXPECT_EQ(pixel.path.firstBounce.sphere, 0);
    EXPECT_EQ(pixel.path.secondBounce.surface, Surface::floor);
    expectColour(pixel.colour, 0.129f, 0.1905f, 0.0855f, 3.3f, 1e-5f);
}

// --- The camera --------------------------------------------------------------

FrameState stateWithViewAngle(float viewAngle) {
    FrameState state = initialFrameState();
    state.viewAngle = viewAngle;
    return state;
}

TEST(ViewRay, UnturnedTwoToOneWindowScalesTheImagePlaneBy2) {
    // 4x2 pixels: the top-left centre is at x = 2 * 0.5 / 4 - 1 = -0.75,
    // y = 1 - 2 * 0.5 / 2 = 0.5, so v = (2 * -0.75, 0.5 + 0.5, -2) and the eye
    // is (0, 0.5, -4): direction (-1.5, 0.5, 2) / sqrt(6.5).
    const Ray ray = reference::primaryRay(stateWithViewAngle(0), 4, 2, 0, 0);
    expectVec3(ray.origin, 0, 0.5f, -4, 1e-6f);
    expectVec3(ray.direction, -0.5883484f, 0.1961161f, 0.7844645f, 1e-6f);
}

TEST(ViewRay, TurnIsMinusOneTenthOfTheViewAngleInDegrees) {
    // viewAngle 900: a turn of -90 degrees about +y carries (x, y, z) to
    // (-z, y, x); the eye (0, 0.5, -4) goes to (4, 0.5, 0), looking along -x.
    const Ray quarter = reference::primaryRay(stateWithViewAngle(900), 1, 1, 0, 0);
    expectVec3(quarter.origin, 4, 0.5f, 0, 1e-5f);
    expectVec3(quarter.direction, -1, 0, 0, 1e-6f);
    // The first frame: -7.5 degrees, eye (-4 sin(-7.5), 0.5, -4 cos(-7.5)).
    const Ray first = reference::primaryRay(initialFrameState(), 1, 1, 0, 0);
    expectVec3(first.origin, 0.5221048f, 0.5f, -3.9657794f, 1e-5f);
}

} // namespace
