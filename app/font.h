#pragma once

// The texture font: one 256 x 256 RGBA atlas carried as constant data, and a
// glyph table indexed by byte value. Sizes are in text units: one unit is one
// line, 32 atlas pixels.

#include <GL/glew.h>
#include <cstdint>

// A glyph's box in the atlas and its placement, in atlas pixels. Codes
// without a glyph hold -1 in every field.
struct Glyph {
    int16_t x;
    int16_t y; // top edge, in stored rows from the first
    int16_t width;
    int16_t height;
    int16_t xOffset; // from the pen to the box's left edge
    int16_t yOffset; // from the top of the line cell to the box's top edge
    int16_t advance;
};

struct TextureFont {
    int32_t lineHeight;
    int32_t baseline;
    int32_t textureWidth;
    int32_t textureHeight;
    Glyph glyphs[256];
    GLuint texture;
    const uint8_t *pixels;
};

const int fontImageBytes = 4 + 256 * 256 * 4;

// 4 zero bytes, then the atlas's RGBA pixels, rows top first.
extern const uint8_t fontImage[fontImageBytes];

extern TextureFont font;
