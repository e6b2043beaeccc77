// A window without height (minimised, or before its first reshape) must
// leave the projection and the frame finite.

#include <gtest/gtest.h>

#include "tools/offscreen.h"

#include <cmath>

namespace {

bool projectionIsFinite() {
    GLfloat matrix[16];
    glGetFloatv(GL_PROJECTION_MATRIX, matrix);
    for (GLfloat value : matrix)
        if (!std::isfinite(value))
            return false;
    return true;
}

TEST(Viewport, StaysFiniteWithoutHeight) {
    applyViewport(933, 0);
    EXPECT_TRUE(projectionIsFinite());
    applyViewport(0, 0);
    EXPECT_TRUE(projectionIsFinite());
    applyViewport(933, 700);
    EXPECT_TRUE(projectionIsFinite());
}

std::vector<float> drawWithWindowSize(const OffscreenTarget &target, int32_t width,
                                      int32_t height) {
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    applyViewport(target.width, target.height);
    FrameState state = initialFrameState();
    state.windowWidth = width;
    state.windowHeight = height;
    drawFrame(state);
    glFinish();
    return readRgbaFloat(target);
}

// Before the first reshape both sizes are 0: the frame is drawn unstretched,
// exactly as for a square window.
TEST(Viewport, DrawsAFrameWithoutWindowSizeAsForASquareWindow) {
    OffscreenTarget target;
    std::string error;
    ASSERT_TRUE(createOffscreenTarget(48, 48, OffscreenFormat::rgbaFloat, target, error)) << error;
    const std::vector<float> unsized = drawWithWindowSize(target, 0, 0);
    const std::vector<float> square = drawWithWindowSize(target, 48, 48);
    for (float value : unsized)
        ASSERT_TRUE(std::isfinite(value));
    EXPECT_EQ(unsized, square);
    EXPECT_EQ(drawWithWindowSize(target, 933, 0), square);
}

} // namespace
