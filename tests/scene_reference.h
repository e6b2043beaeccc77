#pragma once

// A CPU model of the ray-traced scene, for checking the fragment stage. It
// repeats the stage's rules in single precision and also reports what each
// pixel's path met, so that tests can pick pixels of a given kind away from
// silhouettes, shadow borders and checker edges.

#include "app/scene.h"

#include <array>
#include <vector>

namespace reference {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(float s, Vec3 a);
float dot(Vec3 a, Vec3 b);
Vec3 normalize(Vec3 a);

struct Rgba { // sums as the fragment stage leaves them: nothing is clamped
    float r = 0, g = 0, b = 0, a = 0;
};

struct Ray { // the direction has unit length
    Vec3 origin, direction;
};

struct Sphere {
    Vec3 centre;
    float radiusSquared;
    Vec3 colour;
};

struct Scene { // the spheres in the order they are tested, and the light
    std::array<Sphere, 3> spheres;
    Vec3 light;
};

Scene sceneWithLight(Vec3 light);
bool raySphere(const Ray &ray, const Sphere &sphere, float &t); // t written only on a hit
bool rayPlane(const Ray &ray, float &t);                        // the floor y = -0.5
int firstObject(const Scene &scene, const Ray &ray, float &t);  // -1: none, t stays 1e20
Vec3 checkerColour(Vec3 point);

enum class Surface { none, floor, sphere };

// What one step of a path met and how it was lit.
struct SurfaceHit {
    Surface surface = Surface::none;
    int sphere = -1;
    bool shadowed = false;    // a sphere lies on the way to the light
    bool facesLight = false;  // the diffuse term is positive
    int cellX = 0, cellZ = 0; // checker cells, for the floor
    Vec3 point;               // the shading point, 0.005 short of a sphere's surface
    float diffuse = 0;        // after the distance attenuation, for spheres
    float highlight = 0;
};

struct PixelResult {
    Rgba colour;
    float glow = 0;                 // the part of each colour channel that is the glow
    std::array<SurfaceHit, 3> path; // what the view ray met, then its two bounces
    bool sameKind(const PixelResult &other) const; // same surfaces, spheres, shadows, cells
};

// Shading calls: each adds weight times its colour, and weight to alpha.
SurfaceHit shadeSphere(const Scene &scene, const Ray &ray, Vec3 point, Vec3 normal, int sphere,
                       float weight, Rgba &sum);
SurfaceHit shadeFloor(const Scene &scene, const Ray &ray, Vec3 point, float weight, Rgba &sum);
PixelResult traceRay(const Scene &scene, const Ray &ray);

// The view ray of pixel (px, py) of a width x height target, rows top first.
Ray primaryRay(const FrameState &state, int width, int height, int px, int py);

struct ReferenceImage {
    int width = 0, height = 0;
    std::vector<PixelResult> pixels; // rows top first
    const PixelResult &at(int x, int y) const { return pixels[y * width + x]; }
};
ReferenceImage renderReference(const FrameState &state, int width, int height);

} // namespace reference
