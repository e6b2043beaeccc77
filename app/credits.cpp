#include "app/credits.h"

#include "app/text.h"

#include <GL/glew.h>
#include <cmath>
#include <cstring>
#include <iostream>

namespace {

const int32_t pairShownMs = 5000;
const int32_t flyInEndMs = 1000;
const int32_t flyOutStartMs = 4000;
const float heldOffset = 0.25f;
const float depthExponent = 1.7f; // 1.70000005
const float spinExponent = 3.3f;  // 3.29999995

double flyPhase(int32_t t) {
    return std::sin(t * 1.5707963267948966 / 1000);
}

void drawLine(const char *line, float x, float y) {
    glPushMatrix();
    beginText();
    drawText(line, x, y);
    glPopAttrib();
    glPopMatrix();
}

float depthOf(float distance) {
    return static_cast<float>(std::pow(static_cast<double>(distance), double{depthExponent}));
}

ScrollPlacement receding(double y, float distance) {
    const double spin = std::pow(static_cast<double>(distance * 2.5f), double{spinExponent});
    return ScrollPlacement{y, true, depthOf(distance) / 7, static_cast<float>(spin),
                           static_cast<float>(1.0 / depthOf(distance) + 0.15)};
}

void drawScrollLine(const char *line, int index, float x) {
    const ScrollPlacement place = placeScrollLine(index, x);
    glPushMatrix();
    if (place.receding) {
        glTranslatef(0, 0, -place.depth);
        glRotatef(place.spin, 0, 1, 0);
    }
    glColor3f(place.grey, place.grey, place.grey);
    const float width = textWidth(line);
    beginText();
    drawText(line, -width * 0.5f, static_cast<float>(place.y));
    glPopAttrib();
    glPopMatrix();
}

} // namespace

float creditFlyIn(int32_t t) {
    return static_cast<float>((1 - flyPhase(t)) * 10 + 0.25);
}

float creditOffset(int32_t t) {
    if (t < flyInEndMs)
        return creditFlyIn(t);
    if (t < flyOutStartMs)
        return heldOffset;
    return static_cast<float>(flyPhase(t) * 10 + 0.25);
}

void drawCreditPair(const char *pair, int32_t t) {
    if (t >= pairShownMs)
        return;
    glTranslatef(0, 1, 0);
    glScalef(textScale, textScale, textScale);
    // The standard streams stay synchronised, so the value follows the status line.
    std::cout << creditFlyIn(t);
    const float offset = creditOffset(t);
    const char *first = pair;
    const char *second = pair + std::strlen(pair) + 1;
    drawLine(first, -textWidth(first) - offset, -1);
    drawLine(second, offset, -1);
}

// Upper zone -2 < y < 4 and lower zone -13 < y < -7, both bounds strict:
// there a line recedes, spins and darkens; between them it is flat and white.
ScrollPlacement placeScrollLine(int index, float x) {
    const double y = index + static_cast<double>(x);
    const double upper = y + 2;
    if (upper > 0 && upper < 6)
        return receding(y, static_cast<float>(upper));
    const double lower = y + 13;
    if (lower > 0 && lower < 6)
        return receding(y, static_cast<float>(6 - lower));
    return ScrollPlacement{y, false, 0, 0, 1};
}

void drawScroller(float x) {
    glTranslatef(0, 1, 0);
    glScalef(textScale, textScale, textScale);
    forEachScrollLine(scrollText,
                      [x](const char *line, int index) { drawScrollLine(line, index, x); });
}
