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
Vec3 normalize(Vec3 a) {
    return (1.0f / std::sqrt(dot(a, a))) * a;
}

namespace {

const Vec3 up{0, 1, 0};
const float ambient = 0.15f;

// A ray leaving a surface starts 0.005 along, so that it does not meet that surface at 0.
Ray movedOrigin(const Ray &ray) {
    return Ray{ray.origin + 0.005f * ray.direction, ray.direction};
}

bool anyObject(const Scene &scene, const Ray &ray) {
    float t = 0;
    for (const Sphere &sphere : scene.spheres)
        if (raySphere(movedOrigin(ray), sphere, t))
            return true;
    return false;
}

// The colour lit by diffuse + ambient, plus the white highlight: the cosine times its
// power (so the exponent is one more than the power), none for a negative cosine.
void addLit(Rgba &sum, float weight, Vec3 colour, SurfaceHit &hit, float cosine, float power) {
    hit.highlight = cosine < 0 ? 0 : cosine * std::pow(cosine, power);
    const Vec3 lit =
        (hit.diffuse + ambient) * colour + Vec3{hit.highlight, hit.highlight, hit.highlight};
    sum = Rgba{sum.r + weight * lit.x, sum.g + weight * lit.y, sum.b + weight * lit.z,
               sum.a + weight};
}

void addAmbient(Rgba &sum, float weight, Vec3 colour) {
    const Vec3 dim = ambient * colour;
    sum = Rgba{sum.r + weight * dim.x, sum.g + weight * dim.y, sum.b + weight * dim.z,
               sum.a + weight};
}

// int() truncates toward zero; outside the int range (the floor near the horizon) it gives
// the most negative int, as x86 does, which is even.
int cellIndex(float coordinate) {
    const float scaled = coordinate * 3.0f;
    return std::fabs(scaled) < 2147483648.0f ? static_cast<int>(scaled)
                                             : std::numeric_limits<int>::min();
}

// The sphere hit by ray at t: the shading point, and the reflected ray in bounce.
SurfaceHit shadeSphereAt(const Scene &scene, const Ray &ray, int sphere, float t, float weight,
                         Rgba &sum, Ray &bounce) {
    const Vec3 point = ray.origin + t * ray.direction;
    const Vec3 normal = normalize(point - scene.spheres[sphere].centre);
    bounce = Ray{point, (2.0f * dot(normal, -1.0f * ray.direction)) * normal + ray.direction};
    return shadeSphere(scene, ray, point, normal, sphere, weight, sum);
}

// The floor ends a path whichever bounce reaches it, always at weight 1.
SurfaceHit shadeFloorAlong(const Scene &scene, const Ray &ray, Rgba &sum) {
    float t = 0;
    return rayPlane(ray, t) ? shadeFloor(scene, ray, ray.origin + t * ray.direction, 1.0f, sum)
                            : SurfaceHit{};
}

struct Matrix4 {
    float m[16]; // column major, as OpenGL keeps it
};

Matrix4 multiply(const Matrix4 &a, const Matrix4 &b) {
    Matrix4 product{};
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k)
                product.m[column * 4 + row] += a.m[k * 4 + row] * b.m[column * 4 + k];
    return product;
}

Vec3 transformPoint(const Matrix4 &matrix, float x, float y, float z) {
    const float *m = matrix.m;
    return Vec3{m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
                m[2] * x + m[6] * y + m[10] * z + m[14]};
}

// The modelview matrix the frame loads: glRotatef(-viewAngle / 10, 0, 1, 0), then
// glTranslatef(0, 0.5, -2), then glScalef(width / height, 1, 1).
Matrix4 cameraMatrix(const FrameState &state, int width, int height) {
    const float radians =
        static_cast<float>(-state.viewAngle / 10 * 3.14159265358979323846 / 180.0);
    const float c = std::cos(radians), s = std::sin(radians);
    const Matrix4 turn{{c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1}};
    const Matrix4 move{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.5f, -2, 1}};
    const Matrix4 scale{
        {horizontalScale(width, height), 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    return multiply(multiply(turn, move), scale);
}

} // namespace

Scene sceneWithLight(Vec3 light) {
    return Scene{{Sphere{Vec3{-1, 0, 0}, 0.5f * 0.5f, Vec3{0.2f, 0.9f, 0.9f}},
                  Sphere{Vec3{0, -0.1f, 0.3f}, 0.4f * 0.4f, Vec3{0.9f, 0.7f, 0.2f}},
                  Sphere{Vec3{1, 0, 0}, 0.5f * 0.5f, Vec3{0.1f, 0.9f, 0.2f}}},
                 light};
}

bool raySphere(const Ray &ray, const Sphere &sphere, float &t) {
    const Vec3 dst = ray.origin - sphere.centre;
    const float b = dot(dst, ray.direction);
    const float d = b * b - (dot(dst, dst) - sphere.radiusSquared);
    if (!(d > 0))
        return false;
    const float near = -b - std::sqrt(d), far = -b + std::sqrt(d);
    if (near < 0 && far < 0)
        return false;
    t = near < 0 ? far : near;
    return true;
}

bool rayPlane(const Ray &ray, float &t) {
    const float vd = dot(up, ray.direction);
    if (vd >= 0.00001f)
        return false;
    t = -(dot(up, ray.origin) + 0.5f) / vd;
    return t > 0;
}

int firstObject(const Scene &scene, const Ray &ray, float &t) {
    t = 1e20f;
    int nearest = -1;
    for (int i = 0; i < 3; ++i) {
        float distance = 0;
        if (raySphere(movedOrigin(ray), scene.spheres[i], distance) && distance < t) {
            t = distance;
            nearest = i;
        }
    }
    return nearest;
}

Vec3 checkerColour(Vec3 point) {
    const bool evenX = (cellIndex(point.x) & 1) == 0, evenZ = (cellIndex(point.z) & 1) == 0;
    return evenX != evenZ ? Vec3{0.7f, 0.1f, 0.1f} : Vec3{0.2f, 0.1f, 0.1f};
}

bool PixelResult::sameKind(const PixelResult &other) const {
    for (int k = 0; k < 3; ++k) {
        const SurfaceHit &a = path[k], &b = other.path[k];
        if (a.surface != b.surface || a.sphere != b.sphere || a.shadowed != b.shadowed ||
            a.facesLight != b.facesLight || a.cellX != b.cellX || a.cellZ != b.cellZ)
            return false;
    }
    return true;
}

// The sphere's half vector is taken twice: between the light and the view, then between
// the light and that. Diffuse light falls off as 5 / (distance + 5).
SurfaceHit shadeSphere(const Scene &scene, const Ray &ray, Vec3 point, Vec3 normal, int sphere,
                       float weight, Rgba &sum) {
    SurfaceHit hit;
    hit.surface = Surface::sphere;
    hit.sphere = sphere;
    hit.point = point;
    const Vec3 towardsLight = scene.light - point, lv = normalize(towardsLight);
    hit.shadowed = anyObject(scene, Ray{point, lv});
    const float dp = dot(normal, lv);
    hit.facesLight = dp > 0;
    if (hit.shadowed || !hit.facesLight) {
        addAmbient(sum, weight, scene.spheres[sphere].colour);
        return hit;
    }
    hit.diffuse = dp * (5.0f / (std::sqrt(dot(towardsLight, towardsLight)) + 5.0f));
    const Vec3 halfway = normalize(lv + normalize(lv - ray.direction));
    addLit(sum, weight, scene.spheres[sphere].colour, hit, dot(normal, halfway), 50.0f);
    return hit;
}

// The floor: one half vector, a sharper highlight and no attenuation.
SurfaceHit shadeFloor(const Scene &scene, const Ray &ray, Vec3 point, float weight, Rgba &sum) {
    SurfaceHit hit;
    hit.surface = Surface::floor;
    hit.point = point;
    hit.cellX = cellIndex(point.x);
    hit.cellZ = cellIndex(point.z);
    const Vec3 lv = normalize(scene.light - point);
    hit.shadowed = anyObject(scene, Ray{point, lv});
    hit.facesLight = lv.y > 0;
    if (hit.shadowed || !hit.facesLight) {
        addAmbient(sum, weight, checkerColour(point));
        return hit;
    }
    hit.diffuse = dot(up, lv);
    addLit(sum, weight, checkerColour(point), hit, dot(up, normalize(lv - ray.direction)), 100.0f);
    return hit;
}

// The glow, then the nearest sphere with two bounces (weights 0.3 and 0.09), or the floor.
PixelResult traceRay(const Scene &scene, const Ray &ray) {
    PixelResult result;
    const float facing = dot(normalize(scene.light - ray.origin), ray.direction);
    result.glow = facing < 0 ? 0 : std::pow(facing, 1400.0f);
    result.colour = Rgba{result.glow, result.glow, result.glow, 1.0f};
    Ray current = ray;
    const float weights[] = {1.0f, 0.3f, 0.3f * 0.3f};
    for (int step = 0; step < 3; ++step) {
        float t = 0;
        const int sphere = firstObject(scene, current, t);
        if (sphere == -1) {
            // The view ray tests the floor only when no sphere is in the way.
            result.path[step] = shadeFloorAlong(scene, current, result.colour);
            break;
        }
        Ray bounce;
        result.path[step] =
            shadeSphereAt(scene, current, sphere, t, weights[step], result.colour, bounce);
        current = bounce;
    }
    return result;
}

Ray primaryRay(const FrameState &state, int width, int height, int px, int py) {
    const Matrix4 camera = cameraMatrix(state, width, height);
    // The fragment's centre in normalised device coordinates; row 0 is the top.
    const float x = 2.0f * (static_cast<float>(px) + 0.5f) / static_cast<float>(width) - 1.0f;
    const float y = 1.0f - 2.0f * (static_cast<float>(py) + 0.5f) / static_cast<float>(height);
    const Vec3 eye = transformPoint(camera, 0, 0, -2);
    return Ray{eye, normalize(transformPoint(camera, x, y, 0) - eye)};
}

ReferenceImage renderReference(const FrameState &state, int width, int height) {
    const LightPosition light = lightPositionFor(state.lightAngle, state.musicRow);
    const Scene scene = sceneWithLight(Vec3{light.xyz[0], light.xyz[1], light.xyz[2]});
    ReferenceImage image{width, height, {}};
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px)
            image.pixels.push_back(traceRay(scene, primaryRay(state, width, height, px, py)));
    return image;
}

} // namespace reference
