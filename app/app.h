#pragma once

// The application's globals shared between its modules. There is one window,
// one shader program and one song.

#include <GL/glew.h>
#include <cstdint>

struct Song;

// The song that main loads, or null.
extern Song *loadedSong;

// The last size the window was reshaped to; 0 until the first reshape.
extern int32_t windowWidth;
extern int32_t windowHeight;

// The linked ray-tracing program and the location of its "light.p" uniform.
extern GLuint shaderProgram;
extern GLint lightLocation;
