#pragma once

// Drawing text with the texture font: each character is one textured quad
// in the current modelview space, one text unit high per line.

#include "app/font.h"

// The modelview matrix that beginText saved and drawText restores.
extern GLfloat savedModelview[16];

void createFontTexture(TextureFont &textureFont);

// Blending on, depth test off, the font's texture bound; the caller ends the
// text with glPopAttrib().
void beginText();

// Draws text from (x, y) in text units, the pen at the top of the line cell,
// then restores the saved matrix.
void drawText(const char *text, float x, float y);

void drawGlyph(uint8_t code);

// A glyph's quad: texture coordinates, corners in text units with the pen at
// the top of the line cell, and the pen's advance.
struct GlyphQuad {
    float s0, t0, s1, t1;
    float x0, y0, x1, y1;
    float advance;
};

GlyphQuad glyphQuad(const Glyph &glyph);

// The sum of the characters' advances, in text units.
float textWidth(const char *text);

// True for codes that have a glyph; the others draw nothing and take no room.
bool hasGlyph(uint8_t code);
