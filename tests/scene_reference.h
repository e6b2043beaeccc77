#pragma once

// A CPU model of the ray-traced scene, for checking the fragment stage. It
// repeats the stage's rules in single precision, one function per rule, and
// also reports what each pixel's path met, so that tests can pick pixels of a
// given kind away from silhouettes, shadow borders and checker edges.

#include "app/scene.h"

#include <array>
#include <cstddef>
#include <vector>

namespace reference {

struct Vec3 {
    float x = 0;
    float y = 0;
    float z = 0;
};

Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(float s, Vec3 a);
float dot(Vec3 a, Vec3 b);
float length(Vec3 a);
Vec3 normalize(Vec3 a);

// Sums as the fragment stage leaves them: nothing is clamped.
struct Rgba {
    float r = 0;
    float g = 0;
    float b = 0;
    float a = 0;
};

struct Sphere {
    Vec3 centre;
    float radiusSquared;
    Vec3 colour;
};

// The direction always has unit length; raySphere relies on it.
struct Ray {
    Vec3 origin;
    Vec3 direction;
};

// The three spheres in the order they are tested, and the light.
struct Scene {
    std::array<Sphere, 3> spheres;
    Vec3 light;
};

const float ambient = 0.15f;

Scene sceneWithLight(Vec3 light);

// Ray against one sphere; t is written only on a hit.
bool raySphere(const Ray &ray, const Sphere &sphere, float &t);
// Ray against the floor y = -0.5; t is written unless the ray is rejected at once.
bool rayPlane(const Ray &ray, float &t);
// Index of the nearest sphere, or -1 (t then stays 1e20).
int firstObject(const Scene &scene, const Ray &ray, float &t);
// The shadow test: any sphere at any distance.
bool anyObject(const Scene &scene, const Ray &ray);
// The floor's colour at a point.
Vec3 checkerColour(Vec3 point);

enum class Surface { none, floor, sphere };

// What one step of a path met and how it was lit.
struct SurfaceHit {
    Surface surface = Surface::none;
    int sphere = -1;         // index, for a sphere
    bool shadowed = false;   // a sphere lies on the way to the light
    bool facesLight = false; // the diffuse term is positive
    int cellX = 0;           // checker cell indices, for the floor
    int cellZ = 0;
    Vec3 point;          // the shading point, 0.005 short of a sphere's surface
    float diffuse = 0;   // after the distance attenuation, for spheres
    float highlight = 0; // the white highlight added
};

// The kinds of two hits agree: same surface, sphere, shadow, side and cell.
bool sameKind(const SurfaceHit &a, const SurfaceHit &b);

struct Path {
    SurfaceHit primary;
    SurfaceHit firstBounce;
    SurfaceHit secondBounce;
};

bool sameKind(const Path &a, const Path &b);

struct PixelResult {
    Rgba colour;
    float glow = 0; // the part of each colour channel that comes from the glow
    Path path;
};

// Shading calls: each adds weight times its colour, and weight to alpha.
SurfaceHit shadeSphere(const Scene &scene, const Ray &ray, Vec3 point, Vec3 normal, int sphere,
                       float weight, Rgba &sum);
SurfaceHit shadeFloor(const Scene &scene, const Ray &ray, Vec3 point, float weight, Rgba &sum);

// The whole fragment for one view ray.
PixelResult traceRay(const Scene &scene, const Ray &ray);

// The view ray of pixel (px, py) of a width x height target, rows top first,
// through the camera the frame state sets up.
Ray primaryRay(const FrameState &state, int width, int height, int px, int py);

struct ReferenceImage {
    int width = 0;
    int height = 0;
    std::vector<PixelResult> pixels; // rows top first

    const PixelResult &at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The scene as a frame with this state shows it at this size.
ReferenceImage renderReference(const FrameState &state, int width, int height);

} // namespace reference
