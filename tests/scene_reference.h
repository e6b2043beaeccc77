#pragma once

// A CPU model of the ray-traced scene, for checking the fragment stage: the
// stage's rules repeated in single precision.

#include "app/scene.h"

#include <vector>

namespace reference {

struct Rgba { // sums as the fragment stage leaves them: nothing is clamped
    float r = 0, g = 0, b = 0, a = 0;
};

// What a path met: per step the surface (sphere 0..2, the floor or nothing), whether
// it was shadowed and faced the light, and the floor's checker cell. Pixels of one kind
// lie away from silhouettes, shadow borders and checker edges.
using Kind = std::vector<int>;

struct Pixel {
    Rgba colour;
    float glow; // the glow's part of the colour
    Kind kind;
};
struct ReferenceImage {
    std::vector<Pixel> pixels; // rows top first
};
// The scene as the frame with this state shows it, width x height pixels.
ReferenceImage renderReference(const FrameState &state, int width, int height);

} // namespace reference
