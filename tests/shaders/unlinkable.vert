// A vertex stage that compiles but cannot link: it has no main.
varying vec3 v;
varying vec3 EP;

vec4 unused()
{
    return gl_Vertex;
}
