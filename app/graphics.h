#pragma once

// Builds the ray-tracing program once at start-up. A stage that fails to
// compile, or a program that fails to link, ends the process with status 1
// after printing the driver's log.

#include <GL/glew.h>

void initGraphics();
void checkShaderCompiled(GLuint shader, const char *name);
void checkProgramLinked();
