#pragma once

// A CPU model of the ray-traced scene, for checking the fragment stage: the
// stage's rules repeated in single precision.

#include "app/scene.h"

#include <vector>

namespace reference {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(float s, Vec3 a);
Vec3 normalize(Vec3 a);

struct Rgba { // sums as the fragment stage leaves them: nothing is clamped
    float r = 0, g = 0, b = 0, a = 0;
};

struct Ray { // the direction has unit length
    Vec3 origin, direction;
};

// What a path met: per step the surface (sphere 0..2, the floor or nothing), whether
// it was shadowed and faced the light, and the floor's checker cell. Pixels of one kind
// lie away from silhouettes, shadow borders and checker edges.
using Kind = std::vector<int>;

// The colour of a view ray with the light at this position; the glow's part of it, and
// the kind of the path.
Rgba traceRay(Vec3 light, const Ray &ray, float *glow = nullptr, Kind *kind = nullptr);
// The shading of a floor or sphere point (sphere 0..2, or -1 for the floor), weight 1.
Rgba shadePoint(Vec3 light, const Ray &ray, Vec3 point, Vec3 normal, int sphere,
                Kind *kind = nullptr);

struct Pixel {
    Rgba colour;
    float glow;
    Kind kind;
};
// The scene as the frame with this state shows it, width x height pixels, rows top first.
std::vector<Pixel> renderReference(const FrameState &state, int width, int height);

} // namespace reference
