#pragma once

// The text overlays: credit pairs that fly in from both sides, hold and fly
// out, and the scroller whose lines rise out of the depth, settle flat and
// white, and recede again. Each draws with the current modelview matrix and
// leaves it changed.

#include <cstdint>
#include <cstring>

// A credit pair: the first line, a NUL, the second line, a NUL.
extern const char creditProduction[];
extern const char creditMusic[];
extern const char creditCode[];

// Entries ended by NUL (an empty entry is a blank line), then a 0x01 byte.
extern const char scrollText[];

// Text units to scene units: 2/11 in single precision.
const float textScale = 0.18181819f;

// t: milliseconds since the pair's start. Nothing is drawn from 5000 on;
// below that, the fly-in value is written to standard output every call.
void drawCreditPair(const char *pair, int32_t t);

// x: the scroll position in lines; the block rises one line per 1.0.
void drawScroller(float x);

// Calls visit(line, index) for every text entry of a scroll block, entry k
// at index -k; blank entries only take their place.
template <typename Visit> void forEachScrollLine(const char *block, Visit visit) {
    int index = 0;
    for (const char *cursor = block; *cursor != 0x01; --index) {
        if (*cursor != '\0')
            visit(cursor, index);
        cursor += std::strlen(cursor) + 1;
    }
}

// Where a scroller line stands: its height in text units and, in the depth
// zones, how far it is pushed back, how far it is turned and how grey it is.
struct ScrollPlacement {
    double y;
    bool receding;
    float depth; // scene units along -z, before the scaling
    float spin;  // degrees about the vertical axis
    float grey;
};

ScrollPlacement placeScrollLine(int index, float x);

// The horizontal offset of a pair's lines from the centre at time t, and the
// fly-in value printed then.
float creditOffset(int32_t t);
float creditFlyIn(int32_t t);
