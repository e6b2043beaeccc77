// A vertex stage with a syntax error: the missing semicolon.
varying vec3 v;
varying vec3 EP;

void main()
{
    gl_Position = gl_Vertex
    v = gl_Vertex.xyz;
    EP = vec3(0.0);
}
