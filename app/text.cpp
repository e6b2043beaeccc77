#include "app/text.h"

TextureFont font = {32,
                    27,
                    256,
                    256,
                    {
#include "app/data/glyph_table.inc"
                    },
                    0,
                    nullptr};

GLfloat savedModelview[16];

void createFontTexture(TextureFont &textureFont) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLuint name = 0;
    glGenTextures(1, &name);
    textureFont.texture = name;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 textureFont.pixels);
}

void beginText() {
    glPushAttrib(GL_CURRENT_BIT | GL_TRANSFORM_BIT | GL_ENABLE_BIT | GL_LIST_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glGetFloatv(GL_MODELVIEW_MATRIX, savedModelview);
    glMatrixMode(GL_MODELVIEW);
    // The binding is not among the saved attributes; it stays after the pop.
    glBindTexture(GL_TEXTURE_2D, font.texture);
}

void drawText(const char *text, float x, float y) {
    glTranslatef(x, y, 0);
    for (const unsigned char *code = reinterpret_cast<const unsigned char *>(text); *code; ++code)
        drawGlyph(*code);
    glLoadMatrixf(savedModelview);
}

bool hasGlyph(uint8_t code) {
    return font.glyphs[code].width >= 0;
}

// The pen is at the top of the line cell; the glyph hangs below it.
GlyphQuad glyphQuad(const Glyph &glyph) {
    const float textureWidth = static_cast<float>(font.textureWidth);
    const float textureHeight = static_cast<float>(font.textureHeight);
    const float lineHeight = static_cast<float>(font.lineHeight);
    GlyphQuad quad;
    quad.s0 = glyph.x / textureWidth;
    quad.t0 = glyph.y / textureHeight;
    quad.s1 = quad.s0 + glyph.width / textureWidth;
    quad.t1 = quad.t0 + glyph.height / textureHeight;
    quad.x0 = glyph.xOffset / lineHeight;
    quad.y0 = -(glyph.yOffset / lineHeight);
    quad.x1 = quad.x0 + glyph.width / lineHeight;
    quad.y1 = quad.y0 - glyph.height / lineHeight;
    quad.advance = glyph.advance / lineHeight;
    return quad;
}

void drawGlyph(uint8_t code) {
    if (!hasGlyph(code))
        return;
    const GlyphQuad quad = glyphQuad(font.glyphs[code]);
    glBegin(GL_QUADS);
    glTexCoord2f(quad.s0, quad.t0);
    glVertex3f(quad.x0, quad.y0, 0);
    glTexCoord2f(quad.s1, quad.t0);
    glVertex3f(quad.x1, quad.y0, 0);
    glTexCoord2f(quad.s1, quad.t1);
    glVertex3f(quad.x1, quad.y1, 0);
    glTexCoord2f(quad.s0, quad.t1);
    glVertex3f(quad.x0, quad.y1, 0);
    glEnd();
    glTranslatef(quad.advance, 0, 0);
}

float textWidth(const char *text) {
    float pixels = 0;
    for (const unsigned char *code = reinterpret_cast<const unsigned char *>(text); *code; ++code)
        if (hasGlyph(*code))
            pixels += font.glyphs[*code].advance;
    return pixels / static_cast<float>(font.lineHeight);
}
