#include "headless/offscreen.h"

#include "app/graphics.h"

#include <GL/freeglut.h>
#include <cstdlib>

bool openOffscreenContext(const char *programName, std::string &error) {
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display) {
        error = "no X display: set DISPLAY, or run under Xvfb";
        return false;
    }
    int argc = 1;
    char *argv[] = {const_cast<char *>(programName), nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(64, 64);
    glutCreateWindow(programName);
    glutHideWindow();
    glewInit();
    if (!glewIsSupported("GL_VERSION_2_0")) {
        error = "OpenGL 2.0 is not available on display " + std::string(display);
        return false;
    }
    if (!GLEW_ARB_framebuffer_object) {
        error = "framebuffer objects are not available on display " + std::string(display);
        return false;
    }
    initGraphics();
    return true;
}

bool createOffscreenTarget(int width, int height, OffscreenFormat format, OffscreenTarget &target,
                           std::string &error) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    if (width < 1 || height < 1 || width > largest || height > largest) {
        error = "size " + std::to_string(width) + "x" + std::to_string(height) + " is outside 1.." +
                std::to_string(largest);
        return false;
    }
    target.width = width;
    target.height = height;
    const GLenum colourFormat = format == OffscreenFormat::rgba8 ? GL_RGBA8 : GL_RGBA32F;
    glGenRenderbuffers(1, &target.colour);
    glBindRenderbuffer(GL_RENDERBUFFER, target.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, colourFormat, width, height);
    glGenRenderbuffers(1, &target.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, target.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glGenFramebuffers(1, &target.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, target.colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, target.depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error = "the offscreen framebuffer is incomplete";
        return false;
    }
    if (format == OffscreenFormat::rgbaFloat)
        glClampColor(GL_CLAMP_FRAGMENT_COLOR, GL_FALSE);
    return true;
}

void renderOffscreen(const OffscreenTarget &target, FrameState state) {
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    applyViewport(target.width, target.height);
    state.windowWidth = target.width;
    state.windowHeight = target.height;
    drawFrame(state);
    glFinish();
}

namespace {

template <typename Value>
void readBottomFirst(const OffscreenTarget &target, GLenum type, std::vector<Value> &pixels) {
    pixels.resize(static_cast<size_t>(target.width) * 4 * target.height);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, target.width, target.height, GL_RGBA, type, pixels.data());
}

// OpenGL returns rows bottom first; pictures are stored top first.
template <typename Value>
std::vector<Value> readPixels(const OffscreenTarget &target, GLenum type) {
    const size_t rowValues = static_cast<size_t>(target.width) * 4;
    std::vector<Value> bottomFirst;
    readBottomFirst(target, type, bottomFirst);
    std::vector<Value> topFirst(bottomFirst.size());
    for (int y = 0; y < target.height; ++y) {
        const Value *source = &bottomFirst[rowValues * (target.height - 1 - y)];
        std::copy(source, source + rowValues, &topFirst[rowValues * y]);
    }
    return topFirst;
}

} // namespace

std::vector<uint8_t> readRgba8(const OffscreenTarget &target) {
    return readPixels<uint8_t>(target, GL_UNSIGNED_BYTE);
}

void readRgba8BottomFirst(const OffscreenTarget &target, std::vector<uint8_t> &pixels) {
    readBottomFirst(target, GL_UNSIGNED_BYTE, pixels);
}

std::vector<float> readRgbaFloat(const OffscreenTarget &target) {
    return readPixels<float>(target, GL_FLOAT);
}
