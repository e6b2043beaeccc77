// Vertex stage of the ray tracer. The rectangle's corners are already clip
// coordinates, so they pass through unchanged; the modelview matrix only
// carries the camera: v is the image-plane point a pixel shows, EP the eye.

varying vec3 v;
varying vec3 EP;

void main()
{
    gl_Position = gl_Vertex;
    v = (gl_ModelViewMatrix * gl_Vertex).xyz;
    EP = (gl_ModelViewMatrix * vec4(0.0, 0.0, -2.0, 1.0)).xyz;
}
