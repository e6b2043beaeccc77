#include "tests/scene_reference.h"

#include <cmath>
#include <limits>

namespace reference {

Vec3 operator+(Vec3 a, Vec3 b) {
    return Vec3{a.x + b.x, a.y + b.y, a.z + b.z};
}

Vec3 operator-(Vec3 a, Vec3 b) {
    return Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 operator*(float s, Vec3 a) {
    return Vec3{s * a.x, s * a.y, s * a.z};
}

float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

float length(Vec3 a) {
    return std::sqrt(dot(a, a));
}

Vec3 normalize(Vec3 a) {
    return (1.0f / length(a)) * a;
}

namespace {

const Vec3 floorNormal{0, 1, 0};
const float floorDistance = 0.5f; // the floor is dot(floorNormal, X) + 0.5 = 0
const float surfaceOffset = 0.005f;
const float noHit = 1e20f;
const double pi = 3.14159265358979323846;

// Moves the origin along the ray so that a ray leaving a surface does not
// meet that surface again at distance 0.
Ray movedOrigin(const Ray &ray) {
    return Ray{ray.origin + surfaceOffset * ray.direction, ray.direction};
}

void addShading(Rgba &sum, float weight, Vec3 colour) {
    sum.r += weight * colour.x;
    sum.g += weight * colour.y;
    sum.b += weight * colour.z;
    sum.a += weight;
}

// The highlight term: the cosine times its power, so the exponent is one
// more than the power; a negative cosine gives none.
float highlightTerm(float cosine, float power) {
    if (cosine < 0)
        return 0;
    return cosine * std::pow(cosine, power);
}

Vec3 litColour(Vec3 colour, float diffuse, float highlight) {
    const Vec3 shaded = (diffuse + ambient) * colour;
    return shaded + Vec3{highlight, highlight, highlight};
}

// int() truncates toward zero. A value outside the int range (the floor near
// the horizon) converts to the most negative int, as x86 does, which is even.
int cellIndex(float coordinate) {
    const float scaled = coordinate * 3.0f;
    if (!(std::fabs(scaled) < 2147483648.0f))
        return std::numeric_limits<int>::min();
    return static_cast<int>(scaled);
}

SurfaceHit floorHit(Vec3 point) {
    SurfaceHit hit;
    hit.surface = Surface::floor;
    hit.point = point;
    hit.cellX = cellIndex(point.x);
    hit.cellZ = cellIndex(point.z);
    return hit;
}

Ray reflected(const Ray &ray, Vec3 point, Vec3 normal) {
    const Vec3 mirrored = (2.0f * dot(normal, -1.0f * ray.direction)) * normal;
    return Ray{point, mirrored + ray.direction};
}

float glowAlong(const Scene &scene, const Ray &ray) {
    const float facing = dot(normalize(scene.light - ray.origin), ray.direction);
    if (facing < 0)
        return 0;
    return std::pow(facing, 1400.0f);
}

// A sphere hit by ray: the point 0.005 short of the surface and its normal.
SurfaceHit shadeSphereAlong(const Scene &scene, const Ray &ray, int sphere, float t, float weight,
                            Rgba &sum, Ray &bounce) {
    const Vec3 point = ray.origin + t * ray.direction;
    const Vec3 normal = normalize(point - scene.spheres[sphere].centre);
    bounce = reflected(ray, point, normal);
    return shadeSphere(scene, ray, point, normal, sphere, weight, sum);
}

// The floor ends a path whichever bounce reaches it, always at weight 1.
SurfaceHit shadeFloorAlong(const Scene &scene, const Ray &ray, Rgba &sum) {
    float t = 0;
    if (!rayPlane(ray, t))
        return SurfaceHit{};
    return shadeFloor(scene, ray, ray.origin + t * ray.direction, 1.0f, sum);
}

// Follows a ray that has hit a sphere: its reflection, and the reflection of
// that, with the sphere weights 0.3 and 0.09.
void traceBounces(const Scene &scene, const Ray &firstRay, Path &path, Rgba &sum) {
    float t = 0;
    int sphere = firstObject(scene, firstRay, t);
    if (sphere == -1) {
        path.firstBounce = shadeFloorAlong(scene, firstRay, sum);
        return;
    }
    Ray secondRay;
    path.firstBounce = shadeSphereAlong(scene, firstRay, sphere, t, 0.3f, sum, secondRay);
    sphere = firstObject(scene, secondRay, t);
    if (sphere == -1) {
        path.secondBounce = shadeFloorAlong(scene, secondRay, sum);
        return;
    }
    Ray unused;
    path.secondBounce = shadeSphereAlong(scene, secondRay, sphere, t, 0.3f * 0.3f, sum, unused);
}

struct Matrix4 {
    float m[16]; // column major, as OpenGL keeps it
};

Matrix4 identity() {
    return Matrix4{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

Matrix4 multiply(const Matrix4 &a, const Matrix4 &b) {
    Matrix4 product{};
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k)
                product.m[column * 4 + row] += a.m[k * 4 + row] * b.m[column * 4 + k];
    return product;
}

// The rotation about +y that glRotatef(degrees, 0, 1, 0) multiplies in.
Matrix4 rotationY(float degrees) {
    const float radians = static_cast<float>(degrees * pi / 180.0);
    const float c = std::cos(radians);
    const float s = std::sin(radians);
    Matrix4 rotation = identity();
    rotation.m[0] = c;
    rotation.m[2] = -s;
    rotation.m[8] = s;
    rotation.m[10] = c;
    return rotation;
}

Matrix4 translation(float x, float y, float z) {
    Matrix4 moved = identity();
    moved.m[12] = x;
    moved.m[13] = y;
    moved.m[14] = z;
    return moved;
}

Matrix4 scaleX(float sx) {
    Matrix4 scaled = identity();
    scaled.m[0] = sx;
    return scaled;
}

Vec3 transformPoint(const Matrix4 &matrix, float x, float y, float z) {
    const float *m = matrix.m;
    return Vec3{m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
                m[2] * x + m[6] * y + m[10] * z + m[14]};
}

// The modelview matrix the frame loads before drawing the scene.
Matrix4 cameraMatrix(const FrameState &state, int width, int height) {
    const Matrix4 turned = multiply(identity(), rotationY(-state.viewAngle / 10));
    const Matrix4 moved = multiply(turned, translation(0, 0.5f, -2));
    return multiply(moved, scaleX(horizontalScale(width, height)));
}

Vec3 lightFor(const FrameState &state) {
    const LightPosition light = lightPositionFor(state.lightAngle, state.musicRow);
    return Vec3{light.xyz[0], light.xyz[1], light.xyz[2]};
}

} // namespace

Scene sceneWithLight(Vec3 light) {
    Scene scene;
    scene.spheres[0] = Sphere{Vec3{-1, 0, 0}, 0.5f * 0.5f, Vec3{0.2f, 0.9f, 0.9f}};
    scene.spheres[1] = Sphere{Vec3{0, -0.1f, 0.3f}, 0.4f * 0.4f, Vec3{0.9f, 0.7f, 0.2f}};
    scene.spheres[2] = Sphere{Vec3{1, 0, 0}, 0.5f * 0.5f, Vec3{0.1f, 0.9f, 0.2f}};
    scene.light = light;
    return scene;
}

bool raySphere(const Ray &ray, const Sphere &sphere, float &t) {
    const Vec3 dst = ray.origin - sphere.centre;
    const float b = dot(dst, ray.direction);
    const float c = dot(dst, dst) - sphere.radiusSquared;
    const float d = b * b - c;
    if (!(d > 0))
        return false;
    t = -b - std::sqrt(d);
    if (t < 0) {
        t = -b + std::sqrt(d);
        if (t < 0)
            return false;
    }
    return true;
}

bool rayPlane(const Ray &ray, float &t) {
    const float vd = dot(floorNormal, ray.direction);
    if (vd >= 0.00001f)
        return false;
    const float v0 = -(dot(floorNormal, ray.origin) + floorDistance);
    t = v0 / vd;
    return t > 0;
}

int firstObject(const Scene &scene, const Ray &ray, float &t) {
    const Ray moved = movedOrigin(ray);
    t = noHit;
    int nearest = -1;
    for (int i = 0; i < static_cast<int>(scene.spheres.size()); ++i) {
        float distance = 0;
        if (raySphere(moved, scene.spheres[i], distance) && distance < t) {
            t = distance;
            nearest = i;
        }
    }
    return nearest;
}

bool anyObject(const Scene &scene, const Ray &ray) {
    const Ray moved = movedOrigin(ray);
    for (const Sphere &sphere : scene.spheres) {
        float distance = 0;
        if (raySphere(moved, sphere, distance))
            return true;
    }
    return false;
}

Vec3 checkerColour(Vec3 point) {
    const bool evenX = (cellIndex(point.x) & 1) == 0;
    const bool evenZ = (cellIndex(point.z) & 1) == 0;
    return evenX != evenZ ? Vec3{0.7f, 0.1f, 0.1f} : Vec3{0.2f, 0.1f, 0.1f};
}

bool sameKind(const SurfaceHit &a, const SurfaceHit &b) {
    return a.surface == b.surface && a.sphere == b.sphere && a.shadowed == b.shadowed &&
           a.facesLight == b.facesLight && a.cellX == b.cellX && a.cellZ == b.cellZ;
}

bool sameKind(const Path &a, const Path &b) {
    return sameKind(a.primary, b.primary) && sameKind(a.firstBounce, b.firstBounce) &&
           sameKind(a.secondBounce, b.secondBounce);
}

SurfaceHit shadeSphere(const Scene &scene, const Ray &ray, Vec3 point, Vec3 normal, int sphere,
                       float weight, Rgba &sum) {
    SurfaceHit hit;
    hit.surface = Surface::sphere;
    hit.sphere = sphere;
    hit.point = point;
    const Vec3 colour = scene.spheres[sphere].colour;
    const Vec3 towardsLight = scene.light - point;
    const float lightDistance = length(towardsLight);
    const Vec3 lv = normalize(towardsLight);
    hit.shadowed = anyObject(scene, Ray{point, lv});
    const float dp = dot(normal, lv);
    hit.facesLight = dp > 0;
    if (hit.shadowed || !hit.facesLight) {
        addShading(sum, weight, ambient * colour);
        return hit;
    }
    // The half vector is taken twice: between the light and the view, then
    // between the light and that.
    const Vec3 halfway = normalize(lv + normalize(lv - ray.direction));
    hit.highlight = highlightTerm(dot(normal, halfway), 50.0f);
    hit.diffuse = dp * (5.0f / (lightDistance + 5.0f));
    addShading(sum, weight, litColour(colour, hit.diffuse, hit.highlight));
    return hit;
}

SurfaceHit shadeFloor(const Scene &scene, const Ray &ray, Vec3 point, float weight, Rgba &sum) {
    SurfaceHit hit = floorHit(point);
    const Vec3 colour = checkerColour(point);
    const Vec3 lv = normalize(scene.light - point);
    hit.shadowed = anyObject(scene, Ray{point, lv});
    const float dp = dot(floorNormal, lv);
    hit.facesLight = dp > 0;
    if (hit.shadowed || !hit.facesLight) {
        addShading(sum, weight, ambient * colour);
        return hit;
    }
    // One half vector and a sharper highlight than the spheres'; no attenuation.
    const Vec3 halfway = normalize(lv - ray.direction);
    hit.highlight = highlightTerm(dot(floorNormal, halfway), 100.0f);
    hit.diffuse = dp;
    addShading(sum, weight, litColour(colour, hit.diffuse, hit.highlight));
    return hit;
}

PixelResult traceRay(const Scene &scene, const Ray &ray) {
    PixelResult result;
    result.glow = glowAlong(scene, ray);
    result.colour = Rgba{result.glow, result.glow, result.glow, 1.0f};
    float t = 0;
    const int sphere = firstObject(scene, ray, t);
    if (sphere == -1) {
        // The floor is tested against the view ray only when no sphere is in the way.
        result.path.primary = shadeFloorAlong(scene, ray, result.colour);
        return result;
    }
    Ray bounce;
    result.path.primary = shadeSphereAlong(scene, ray, sphere, t, 1.0f, result.colour, bounce);
    traceBounces(scene, bounce, result.path, result.colour);
    return result;
}

Ray primaryRay(const FrameState &state, int width, int height, int px, int py) {
    const Matrix4 camera = cameraMatrix(state, width, height);
    // The fragment's centre in normalised device coordinates; row 0 is the top.
    const float x = 2.0f * (static_cast<float>(px) + 0.5f) / static_cast<float>(width) - 1.0f;
    const float y = 1.0f - 2.0f * (static_cast<float>(py) + 0.5f) / static_cast<float>(height);
    const Vec3 imagePoint = transformPoint(camera, x, y, 0);
    const Vec3 eye = transformPoint(camera, 0, 0, -2);
    return Ray{eye, normalize(imagePoint - eye)};
}

ReferenceImage renderReference(const FrameState &state, int width, int height) {
    const Scene scene = sceneWithLight(lightFor(state));
    ReferenceImage image;
    image.width = width;
    image.height = height;
    image.pixels.reserve(static_cast<size_t>(width) * height);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px)
            image.pixels.push_back(traceRay(scene, primaryRay(state, width, height, px, py)));
    return image;
}

} // namespace reference
