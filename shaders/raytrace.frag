#version 120
#extension GL_EXT_gpu_shader4 : enable

// Fragment stage: three mirrored spheres on a checkered floor, one point light.
// Every ray direction built here has unit length; raySphere relies on it.

varying vec3 v;
varying vec3 EP;

struct Sphere {
    vec3 p;
    float r;
    float r2;
    vec3 color;
};

struct Plane {
    vec3 nv;
    float d;
    vec3 color;
};

struct Ray {
    vec3 p;
    vec3 d;
};

struct Light {
    vec3 p;
    vec3 color;
};

// The same text builds the WebGL variant (GLSL ES 1.00), which initialises
// no array where it is declared and indexes one only by constants and loop
// indices: main fills the array, and sphereAt picks a sphere by number.
const int sphereCount = 3;
Sphere spheres[sphereCount];

// The floor y = -0.5; its colour is overwritten by the checker before each use.
Plane plane = Plane(vec3(0.0, 1.0, 0.0), 0.5, vec3(0.7, 0.06, 0.03));

uniform Light light;

const float ambient = 0.15;

void setUpSpheres()
{
    spheres[0] = Sphere(vec3(-1.0, 0.0, 0.0), 0.5, 0.5 * 0.5, vec3(0.2, 0.9, 0.9));
    spheres[1] = Sphere(vec3(0.0, -0.1, 0.3), 0.4, 0.4 * 0.4, vec3(0.9, 0.7, 0.2));
    spheres[2] = Sphere(vec3(1.0, 0.0, 0.0), 0.5, 0.5 * 0.5, vec3(0.1, 0.9, 0.2));
}

Sphere sphereAt(int index)
{
    if (index == 0)
        return spheres[0];
    if (index == 1)
        return spheres[1];
    return spheres[2];
}

// A ray that only touches the sphere (D == 0) misses; a ray starting inside
// hits the far side.
bool raySphere(Ray tray, Sphere sphere, out float t)
{
    vec3 dst = tray.p - sphere.p;
    float B = dot(dst, tray.d);
    float C = dot(dst, dst) - sphere.r2;
    float D = B * B - C;
    if (D > 0.0) {
        t = -B - sqrt(D);
        if (t < 0.0) {
            t = -B + sqrt(D);
            if (t < 0.0)
                return false;
        }
        return true;
    }
    return false;
}

bool rayPlane(Ray ray, out float t)
{
    float Vd = dot(plane.nv, ray.d);
    if (Vd >= 0.00001)
        return false;
    float V0 = -(dot(plane.nv, ray.p) + plane.d);
    t = V0 / Vd;
    return t > 0.0;
}

// Nearest sphere along the ray, or -1. The origin moves 0.005 along the ray so
// a ray leaving a surface does not hit that surface again.
int firstobj(Ray tray, out float ttt)
{
    Ray moved = Ray(tray.p + 0.005 * tray.d, tray.d);
    ttt = 100000000000000000000.0;
    int spi = -1;
    for (int i = 0; i < sphereCount; i++) {
        float tt;
        if (raySphere(moved, spheres[i], tt) && tt < ttt) {
            ttt = tt;
            spi = i;
        }
    }
    return spi;
}

// Shadow test: any sphere hit at any distance, even beyond the light.
bool anyobj(Ray thisray)
{
    Ray moved = Ray(thisray.p + 0.005 * thisray.d, thisray.d);
    float t;
    for (int i = 0; i < sphereCount; i++) {
        if (raySphere(moved, spheres[i], t))
            return true;
    }
    return false;
}

void locallight(Ray tray, vec3 cp, vec3 nv, int spi, float m)
{
    vec3 lv = light.p - cp;
    float ld = length(lv);
    lv = normalize(lv);
    if (anyobj(Ray(cp, lv))) {
        gl_FragColor += m * vec4(ambient * sphereAt(spi).color, 1.0);
        return;
    }
    float dp = dot(nv, lv);
    vec3 vv = normalize(lv - tray.d);
    vec3 hv = normalize(lv + vv);
    float dp_phong = dot(nv, hv);
    if (dp_phong < 0.0)
        dp_phong = 0.0;
    else
        dp_phong *= pow(dp_phong, 50.0);
    if (dp <= 0.0) {
        gl_FragColor += m * vec4(ambient * sphereAt(spi).color, 1.0);
        return;
    }
    dp *= 5.0 / (ld + 5.0);
    gl_FragColor += m * vec4(sphereAt(spi).color * (dp + ambient) + vec3(dp_phong), 1.0);
}

// The floor: a sharper highlight from a single half vector, no attenuation.
void locallight_plane(Ray tray, vec3 cp, float m)
{
    vec3 lv = light.p - cp;
    lv = normalize(lv);
    if (anyobj(Ray(cp, lv))) {
        gl_FragColor += m * vec4(ambient * plane.color, 1.0);
        return;
    }
    float dp = dot(plane.nv, lv);
    vec3 hv = normalize(lv - tray.d);
    float dp_phong = dot(plane.nv, hv);
    if (dp_phong < 0.0)
        dp_phong = 0.0;
    else
        dp_phong *= pow(dp_phong, 100.0);
    if (dp <= 0.0) {
        gl_FragColor += m * vec4(ambient * plane.color, 1.0);
        return;
    }
    gl_FragColor += m * vec4(plane.color * (dp + ambient) + vec3(dp_phong), 1.0);
}

#ifdef GL_ES
// GLSL ES 1.00 has no integer AND: the parity from the remainder of the
// index's float, which floors, so -1 is odd and -2 even as with the AND.
bool isEven(int index)
{
    return mod(float(index), 2.0) == 0.0;
}
#else
bool isEven(int index)
{
    return (index & 1) == 0;
}
#endif

// Truncation toward zero makes the strips around x = 0 and z = 0 twice as
// wide, so the pattern mirrors there.
void checker(vec3 cp)
{
    bool xi = isEven(int(cp.x * 3.0));
    bool yi = isEven(int(cp.z * 3.0));
    plane.color = (xi ^^ yi) ? vec3(0.7, 0.1, 0.1) : vec3(0.2, 0.1, 0.1);
}

Ray reflected(Ray tray, vec3 cp, vec3 nv)
{
    return Ray(cp, 2.0 * nv * dot(nv, -tray.d) + tray.d);
}

void main()
{
    setUpSpheres();
    Ray ray;
    ray.d = normalize(v - EP);
    ray.p = EP;

    float lighteff = dot(normalize(light.p - ray.p), ray.d);
    if (lighteff < 0.0)
        lighteff = 0.0;
    else
        lighteff = pow(lighteff, 1400.0);
    gl_FragColor = vec4(lighteff, lighteff, lighteff, 1.0);

    float t = 0.0;
    int spi = firstobj(ray, t);
    if (spi != -1) {
        vec3 cp = ray.p + t * ray.d;
        vec3 nv = normalize(cp - sphereAt(spi).p);
        locallight(ray, cp, nv, spi, 1.0);

        Ray rray1 = reflected(ray, cp, nv);
        spi = firstobj(rray1, t);
        if (spi != -1) {
            cp = rray1.p + t * rray1.d;
            nv = normalize(cp - sphereAt(spi).p);
            locallight(rray1, cp, nv, spi, 0.3);

            Ray rray2 = reflected(rray1, cp, nv);
            spi = firstobj(rray2, t);
            if (spi != -1) {
                cp = rray2.p + t * rray2.d;
                nv = normalize(cp - sphereAt(spi).p);
                locallight(rray2, cp, nv, spi, 0.3 * 0.3);
            } else if (rayPlane(rray2, t)) {
                cp = rray2.p + t * rray2.d;
                checker(cp);
                locallight_plane(rray2, cp, 1.0);
            }
        } else if (rayPlane(rray1, t)) {
            cp = rray1.p + t * rray1.d;
            checker(cp);
            locallight_plane(rray1, cp, 1.0);
        }
        return;
    }
    if (rayPlane(ray, t)) {
        vec3 cp = ray.p + t * ray.d;
        checker(cp);
        locallight_plane(ray, cp, 1.0);
    }
}
