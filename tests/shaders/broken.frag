#version 120
// A fragment stage with a syntax error: an undeclared name.
varying vec3 v;
varying vec3 EP;

void main()
{
    gl_FragColor = vec4(undeclaredColour, 1.0);
}
