#pragma once

// Drawing the intro's frames without showing them: a hidden window provides
// the GL context, and frames go into a framebuffer object of any size.

#include "app/scene.h"

#include <GL/glew.h>
#include <string>
#include <vector>

struct OffscreenTarget {
    GLuint framebuffer = 0;
    GLuint colour = 0;
    GLuint depth = 0;
    int width = 0;
    int height = 0;
};

enum class OffscreenFormat {
    rgba8,     // what a window stores: colours clamped to 0..1
    rgbaFloat, // the shader's sums unclamped, for tests
};

// Opens the context and builds the ray-tracing program exactly as the intro
// does. Returns false with a message when there is no display or no OpenGL 2.0.
bool openOffscreenContext(const char *programName, std::string &error);

bool createOffscreenTarget(int width, int height, OffscreenFormat format, OffscreenTarget &target,
                           std::string &error);

// Draws the frame the intro draws for this state, sized to the target.
void renderOffscreen(const OffscreenTarget &target, FrameState state);

// The target's pixels, rows top first, 4 channels each.
std::vector<uint8_t> readRgba8(const OffscreenTarget &target);
// The same pixels with the rows as OpenGL keeps them, bottom first, into
// pixels: a caller reading every frame keeps its storage and saves the flip.
void readRgba8BottomFirst(const OffscreenTarget &target, std::vector<uint8_t> &pixels);
std::vector<float> readRgbaFloat(const OffscreenTarget &target);
