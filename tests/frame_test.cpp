// The frame's pure parts: the console line, the clock, the light and the camera.

#include "app/frame.h"
#include "app/scene.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

std::string statusLine(int32_t order, int32_t row, float seconds) {
    testing::internal::CaptureStdout();
    printStatusLine(order, row, seconds);
    return testing::internal::GetCapturedStdout();
}

TEST(StatusLine, RightAlignsItsFieldsAndEndsInSixSpacesAndACarriageReturn) {
    EXPECT_EQ(statusLine(3, 12, 5.5f), "ord  3 row 12 seconds  5.50           \r");
    EXPECT_EQ(statusLine(12, 63, 123.456f), "ord 12 row 63 seconds 123.46           \r");
}

TEST(StatusLine, MarksEveryEighthRowWithTick) {
    for (int32_t row : {0, 8, 16, 56})
        EXPECT_EQ(statusLine(0, row, 0), "ord  0 row " + std::string(row < 10 ? " " : "") +
                                             std::to_string(row) + " seconds  0.00 TICK      \r");
    for (int32_t row : {1, 7, 9, 15})
        EXPECT_NE(statusLine(0, row, 0).find("     \r"), std::string::npos);
    EXPECT_EQ(statusLine(0, 7, 0), "ord  0 row  7 seconds  0.00           \r");
    // The remainder is signed: -8 is a beat row, -1 is not.
    EXPECT_NE(statusLine(0, -8, 0).find("TICK"), std::string::npos);
    EXPECT_EQ(statusLine(0, -1, 0).find("TICK"), std::string::npos);
}

TEST(StatusLine, ReportsPositionZeroWhileNothingPlays) {
    testing::internal::CaptureStdout();
    printMusicPosition();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ord  0 row  0 seconds  0.00 TICK      \r");
}

TEST(FrameClock, MeasuresFromTheFirstReadingAcrossThe32BitWrap) {
    EXPECT_EQ(elapsedSince(1000, 1000), 0);
    EXPECT_EQ(elapsedSince(1000, 21000), 20000);
    EXPECT_EQ(elapsedSince(0xfffffff0u, 0x10u), 32);
    EXPECT_EQ(elapsedSince(0xffffffffu, 1999u), 2000);
}

TEST(FrameClock, IsMonotonic) {
    const uint32_t first = tickCountMs();
    const uint32_t second = tickCountMs();
    EXPECT_GE(elapsedSince(first, second), 0);
}

TEST(Light, RisesBySixteenthsAndFallsBackOnEveryEighthRow) {
    EXPECT_FLOAT_EQ(lightPositionFor(0, 0).xyz[1], 1.0f);
    EXPECT_FLOAT_EQ(lightPositionFor(0, 1).xyz[1], 1.0625f);
    EXPECT_FLOAT_EQ(lightPositionFor(0, 7).xyz[1], 1.4375f);
    EXPECT_FLOAT_EQ(lightPositionFor(0, 8).xyz[1], 1.0f);
    EXPECT_FLOAT_EQ(lightPositionFor(0, 63).xyz[1], 1.4375f);
}

TEST(Light, CirclesTheVerticalAxisAtRadiusOneAndAHalf) {
    // lightAngle 0: straight behind the spheres, at z = 1.5.
    EXPECT_FLOAT_EQ(lightPositionFor(0, 0).xyz[0], 0.0f);
    EXPECT_FLOAT_EQ(lightPositionFor(0, 0).xyz[2], 1.5f);
    // 450 units are pi/2: x = -1.5 sin(pi/2), z = 1.5 cos(pi/2).
    EXPECT_FLOAT_EQ(lightPositionFor(450, 0).xyz[0], -1.5f);
    EXPECT_NEAR(lightPositionFor(450, 0).xyz[2], 0.0f, 1e-6f);
    // 900 units are pi: the far side.
    EXPECT_NEAR(lightPositionFor(900, 0).xyz[0], 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(lightPositionFor(900, 0).xyz[2], -1.5f);
}

TEST(Camera, ScalesHorizontallyByTheRealAspectRatio) {
    EXPECT_FLOAT_EQ(horizontalScale(1866, 933), 2.0f);
    EXPECT_FLOAT_EQ(horizontalScale(933, 700), 933.0f / 700.0f);
    EXPECT_FLOAT_EQ(horizontalScale(1920, 1080), 16.0f / 9.0f);
    EXPECT_FLOAT_EQ(horizontalScale(700, 933), 700.0f / 933.0f);
}

TEST(Camera, KeepsAFiniteScaleForAWindowWithoutHeight) {
    EXPECT_EQ(horizontalScale(0, 0), 1.0f);
    EXPECT_EQ(horizontalScale(933, 0), 1.0f);
}

TEST(Animation, StartsAtTheInitialTurnAndAdvancesTwicePerFrame) {
    FrameState state = initialFrameState();
    EXPECT_EQ(state.lightAngle, 0.0f);
    EXPECT_EQ(state.viewAngle, 75.0f);
    advanceAnimation(state);
    advanceAnimation(state);
    EXPECT_EQ(state.lightAngle, 4.0f);
    EXPECT_EQ(state.viewAngle, (75.0f + 3.14f) + 3.14f);
}

TEST(Animation, NeverWrapsItsAccumulators) {
    FrameState state = initialFrameState();
    for (int half = 0; half < 2 * 100000; ++half)
        advanceAnimation(state);
    // 100000 frames of 4 units each; every sum is exact in a float up to 2^24.
    EXPECT_EQ(state.lightAngle, 400000.0f);
    EXPECT_GT(state.viewAngle, 600000.0f);
    EXPECT_LT(state.viewAngle, std::numeric_limits<float>::max());
}

} // namespace
