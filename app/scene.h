#pragma once

// Drawing one frame from an explicit state. Nothing here reads a clock or
// the player, so the intro and the frame tool draw the very same pictures.

#include <cstdint>

struct FrameState {
    float lightAngle;  // the light's accumulator, before this frame's advance
    float viewAngle;   // the camera's accumulator, before this frame's advance
    int32_t elapsedMs; // wall time since the first frame
    int32_t musicRow;  // the audible pattern row
    int32_t windowWidth;
    int32_t windowHeight;
};

struct LightPosition {
    float xyz[3];
};

// The accumulators at start-up.
FrameState initialFrameState();

// The light circles the vertical axis with lightAngle and rises by 1/16 on
// every row, falling back on each multiple of 8.
LightPosition lightPositionFor(float lightAngle, int32_t musicRow);

// The camera's horizontal scale: the window's width over its height. A window
// without height (minimised, or not yet reshaped) keeps the scale at 1.
float horizontalScale(int32_t width, int32_t height);

// Half of one frame's animation step; every frame advances twice.
void advanceAnimation(FrameState &state);

// The state of the intro's frame number frame (counted from 0): the
// accumulators advanced exactly as the intro advances them.
FrameState frameStateAt(int frame, int32_t elapsedMs, int32_t musicRow, int width, int height);

// The accumulators at the start of one frame, kept by a caller that asks for
// frames in increasing order, such as the capture or a page drawing by its
// clock: each frame then costs the frames since the last one, not all the
// frames from the start.
struct CarriedFrame {
    int frame = 0;
    FrameState state = initialFrameState();
};

// The same state as frameStateAt without carried, reached by advancing carried
// from its frame, or from frame 0 when frame comes before it; carried then
// holds frame's accumulators.
FrameState frameStateAt(int frame, int32_t elapsedMs, int32_t musicRow, int width, int height,
                        CarriedFrame &carried);

// Viewport and the 60-degree perspective the text overlays use.
void applyViewport(int32_t width, int32_t height);

// Clears, draws the ray-traced scene and the overlays the schedule calls for.
// The caller swaps the buffers.
void drawFrame(const FrameState &state);
