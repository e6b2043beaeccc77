#pragma once

// The ray tracer's two GLSL stages, compiled into the program as constant,
// NUL-terminated texts from shaders/raytrace.vert and shaders/raytrace.frag.
extern const char *const vertexShaderSource;
extern const char *const fragmentShaderSource;
