#include "app/scene.h"

#include "app/app.h"
#include "app/credits.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <cmath>

namespace {
const float lightAngleStep = 2.0f;
const float viewAngleStep = 3.14f;
} // namespace

FrameState initialFrameState() {
    return FrameState{0.0f, 75.0f, 0, 0, 0, 0};
}

LightPosition lightPositionFor(float lightAngle, int32_t musicRow) {
    const double a = lightAngle * 0.6283185307179586 / 180; // pi / 900 per unit
    return LightPosition{{static_cast<float>(-1.5 * std::sin(a)),
                          static_cast<float>(1 + (musicRow % 8) * 0.0625),
                          static_cast<float>(1.5 * std::cos(a))}};
}

float horizontalScale(int32_t width, int32_t height) {
    if (height <= 0)
        return 1.0f;
    return static_cast<float>(static_cast<double>(width) / height);
}

void advanceAnimation(FrameState &state) {
    state.lightAngle += lightAngleStep;
    state.viewAngle += viewAngleStep;
}

void applyViewport(int32_t width, int32_t height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double aspect = height > 0 ? static_cast<double>(width) / height : 1.0;
    gluPerspective(60.0, aspect, 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
}

namespace {

void drawScene(const FrameState &state) {
    glUseProgram(shaderProgram);
    const LightPosition light = lightPositionFor(state.lightAngle, state.musicRow);
    glUniform3fv(lightLocation, 1, light.xyz);
    // The shader reads the camera from the modelview matrix.
    glRotatef(-state.viewAngle / 10, 0, 1, 0);
    glTranslatef(0, 0.5f, -2);
    glScalef(horizontalScale(state.windowWidth, state.windowHeight), 1, 1);
    glColor3f(1, 1, 1);
    glRectf(-1, -1, 1, 1);
    glFlush();
    glUseProgram(0);
}

// Each overlay starts from the same view: the eye at z = 2 looking at the
// origin, y up, and opaque white.
void beginOverlay() {
    glLoadIdentity();
    gluLookAt(0, 0, 2, 0, 0, 0, 0, 1, 0);
    glColor4f(1, 1, 1, 1);
}

// Three credit pairs of five seconds each from 2 s on, the scroller from 20 s.
void drawOverlays(int32_t elapsedMs) {
    const struct {
        const char *pair;
        int32_t startMs;
    } credits[] = {{creditProduction, 2000}, {creditMusic, 7000}, {creditCode, 13000}};
    for (const auto &credit : credits)
        if (elapsedMs >= credit.startMs) {
            beginOverlay();
            drawCreditPair(credit.pair, elapsedMs - credit.startMs);
        }
    if (elapsedMs >= 20000) {
        beginOverlay();
        drawScroller(static_cast<float>((elapsedMs - 20000) / 2000.0));
    }
}

} // namespace

void drawFrame(const FrameState &state) {
    glClearDepth(1.0);
    glClearColor(0.2f, 0.2f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glLoadIdentity();
    drawScene(state);
    drawOverlays(state.elapsedMs);
}

FrameState frameStateAt(int frame, int32_t elapsedMs, int32_t musicRow, int width, int height) {
    CarriedFrame fromStart;
    return frameStateAt(frame, elapsedMs, musicRow, width, height, fromStart);
}

FrameState frameStateAt(int frame, int32_t elapsedMs, int32_t musicRow, int width, int height,
                        CarriedFrame &carried) {
    // The float sums round at every step, so only the same additions in the
    // same order give the same values: going back starts again from frame 0.
    if (frame < carried.frame)
        carried = CarriedFrame{};
    for (; carried.frame < frame; ++carried.frame) {
        advanceAnimation(carried.state);
        advanceAnimation(carried.state);
    }
    FrameState state = carried.state;
    state.elapsedMs = elapsedMs;
    state.musicRow = musicRow;
    state.windowWidth = width;
    state.windowHeight = height;
    return state;
}
