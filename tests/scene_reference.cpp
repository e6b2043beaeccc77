#include "tests/scene_reference.h"

#include <cmath>
#include <limits>

namespace reference {
namespace {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
struct Ray { // the direction has unit length
    Vec3 origin, direction;
};

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

const Vec3 up{0, 1, 0};
const float ambient = 0.15f;
// The spheres in the order they are tested: centre, squared radius, colour.
const struct {
    Vec3 centre;
    float radiusSquared;
    Vec3 colour;
} spheres[3] = {{{-1, 0, 0}, 0.5f * 0.5f, {0.2f, 0.9f, 0.9f}},
                {{0, -0.1f, 0.3f}, 0.4f * 0.4f, {0.9f, 0.7f, 0.2f}},
                {{1, 0, 0}, 0.5f * 0.5f, {0.1f, 0.9f, 0.2f}}};

// A ray against a sphere, from 0.005 along the ray so that a ray leaving a surface does not
// meet it again at 0: the nearer root, or the farther one when the nearer lies behind.
bool raySphere(const Ray &ray, int sphere, float &t) {
    const Vec3 dst = (ray.origin + 0.005f * ray.direction) - spheres[sphere].centre;
    const float b = dot(dst, ray.direction);
    const float d = b * b - (dot(dst, dst) - spheres[sphere].radiusSquared);
    if (!(d > 0))
        return false;
    const float near = -b - std::sqrt(d), far = -b + std::sqrt(d);
    t = near < 0 ? far : near;
    return t >= 0;
}

// int() truncates toward zero; outside the int range (the floor near the horizon) it gives
// the most negative int, as x86 does, which is even. Cells of different parity are light.
int cellOf(float coordinate) {
    const float scaled = coordinate * 3.0f;
    return std::fabs(scaled) < 2147483648.0f ? static_cast<int>(scaled)
                                             : std::numeric_limits<int>::min();
}

Vec3 checkerColour(Vec3 point) {
    const bool evenX = (cellOf(point.x) & 1) == 0, evenZ = (cellOf(point.z) & 1) == 0;
    return evenX != evenZ ? Vec3{0.7f, 0.1f, 0.1f} : Vec3{0.2f, 0.1f, 0.1f};
}

// Lit: (diffuse + ambient) x colour plus a white highlight, the cosine times its power (so
// the exponent is one more), none for a negative cosine. A sphere takes the half vector
// twice, between the light and the view and then between the light and that, and its
// diffuse light falls off as 5 / (distance + 5); the floor takes it once, sharper.
Rgba shadePoint(Vec3 light, const Ray &ray, Vec3 point, Vec3 normal, int sphere, Kind *kind) {
    const Vec3 colour = sphere < 0 ? checkerColour(point) : spheres[sphere].colour;
    const Vec3 towardsLight = light - point, lv = normalize(towardsLight);
    bool shadowed = false;
    float t = 0;
    for (int s = 0; s < 3; ++s)
        shadowed = shadowed || raySphere(Ray{point, lv}, s, t);
    const float dp = dot(normal, lv);
    if (kind)
        kind->insert(kind->end(), {sphere, shadowed, dp > 0, sphere < 0 ? cellOf(point.x) : 0,
                                   sphere < 0 ? cellOf(point.z) : 0});
    Vec3 lit = ambient * colour;
    if (!shadowed && dp > 0) {
        const float diffuse =
            sphere < 0 ? dp : dp * (5.0f / (std::sqrt(dot(towardsLight, towardsLight)) + 5.0f));
        const Vec3 halfway = sphere < 0 ? normalize(lv - ray.direction)
                                        : normalize(lv + normalize(lv - ray.direction));
        const float cosine = dot(normal, halfway);
        const float highlight =
            cosine < 0 ? 0 : cosine * std::pow(cosine, sphere < 0 ? 100.0f : 50.0f);
        lit = (diffuse + ambient) * colour + Vec3{highlight, highlight, highlight};
    }
    return Rgba{lit.x, lit.y, lit.z, 1};
}

// The glow where the ray looks into the light, then the nearest sphere and two mirror
// bounces (weights 0.3 and 0.09), or the floor y = -0.5 at weight 1, which ends the path
// (the view ray tests it only when no sphere is in the way; rays rising by 0.00001 or more
// never meet it).
Rgba traceRay(Vec3 light, const Ray &ray, float *glow, Kind *kind) {
    const float facing = dot(normalize(light - ray.origin), ray.direction);
    const float glowPart = facing < 0 ? 0 : std::pow(facing, 1400.0f);
    if (glow)
        *glow = glowPart;
    Rgba sum{glowPart, glowPart, glowPart, 1};
    Ray current = ray;
    const float weights[] = {1.0f, 0.3f, 0.3f * 0.3f};
    for (int step = 0; step < 3; ++step) {
        float nearest = 1e20f, t = 0;
        int sphere = -1;
        for (int s = 0; s < 3; ++s)
            if (raySphere(current, s, t) && t < nearest) {
                nearest = t;
                sphere = s;
            }
        Vec3 point, normal = up;
        float weight = weights[step];
        if (sphere >= 0) {
            point = current.origin + nearest * current.direction;
            normal = normalize(point - spheres[sphere].centre);
        } else {
            const float vd = dot(up, current.direction);
            t = vd >= 0.00001f ? -1 : -(dot(up, current.origin) + 0.5f) / vd;
            if (!(t > 0))
                break;
            point = current.origin + t * current.direction;
            weight = 1;
        }
        const Rgba shaded = shadePoint(light, current, point, normal, sphere, kind);
        sum = Rgba{sum.r + weight * shaded.r, sum.g + weight * shaded.g, sum.b + weight * shaded.b,
                   sum.a + weight};
        if (sphere < 0)
            break;
        current = Ray{point,
                      (2.0f * dot(normal, -1.0f * current.direction)) * normal + current.direction};
    }
    return sum;
}

} // namespace

ReferenceImage renderReference(const FrameState &state, int width, int height) {
    // The modelview matrix the frame loads, column major: glRotatef(-viewAngle / 10, 0, 1, 0),
    // glTranslatef(0, 0.5, -2), glScalef(width / height, 1, 1); the eye is at (0, 0, -2) in
    // front of the image plane.
    const float radians =
        static_cast<float>(-state.viewAngle / 10 * 3.14159265358979323846 / 180.0);
    const float c = std::cos(radians), s = std::sin(radians),
                scale = horizontalScale(width, height);
    const float turn[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
    const float move[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.5f, -2, 1};
    const float stretch[16] = {scale, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const auto multiply = [](const float *a, const float *b, float *product) {
        for (int i = 0; i < 16; ++i) {
            product[i] = 0;
            for (int k = 0; k < 4; ++k)
                product[i] += a[k * 4 + i % 4] * b[i / 4 * 4 + k];
        }
    };
    float moved[16], m[16];
    multiply(turn, move, moved);
    multiply(moved, stretch, m);
    const auto transform = [&](float x, float y, float z) {
        return Vec3{m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
                    m[2] * x + m[6] * y + m[10] * z + m[14]};
    };
    const LightPosition light = lightPositionFor(state.lightAngle, state.musicRow);
    const Vec3 eye = transform(0, 0, -2);
    ReferenceImage image{std::vector<Pixel>(static_cast<size_t>(width) * height)};
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px) {
            // The fragment's centre in normalised device coordinates; row 0 is the top.
            const float x =
                2.0f * (static_cast<float>(px) + 0.5f) / static_cast<float>(width) - 1.0f;
            const float y =
                1.0f - 2.0f * (static_cast<float>(py) + 0.5f) / static_cast<float>(height);
            Pixel &pixel = image.pixels[static_cast<size_t>(py) * width + px];
            pixel.colour =
                traceRay(Vec3{light.xyz[0], light.xyz[1], light.xyz[2]},
                         Ray{eye, normalize(transform(x, y, 0) - eye)}, &pixel.glow, &pixel.kind);
        }
    return image;
}

} // namespace reference
