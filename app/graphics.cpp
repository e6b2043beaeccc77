#include "app/graphics.h"

#include "app/app.h"
#include "app/text.h"
#include "shaders/shaders.h"

#include <cstdio>
#include <cstdlib>

GLuint shaderProgram = 0;
GLint lightLocation = -1;

namespace {

// The log buffer holds one byte more than OpenGL may write, so the text is
// always terminated.
const GLsizei logCapacity = 65536;

GLuint compileShader(GLenum stage, const char *const &source) {
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

[[noreturn]] void failWithLog(const char *what, const char *failure, GLuint object,
                              void (*readLog)(GLuint, GLsizei, GLsizei *, GLchar *)) {
    std::fputs(what, stdout);
    std::fputs(failure, stdout);
    char *log = static_cast<char *>(std::calloc(logCapacity + 1, 1));
    if (log) {
        GLsizei length = 0;
        readLog(object, logCapacity, &length, log);
        std::fputs(log, stdout);
    }
    std::exit(1);
}

void readShaderLog(GLuint shader, GLsizei capacity, GLsizei *length, GLchar *log) {
    glGetShaderInfoLog(shader, capacity, length, log);
}

void readProgramLog(GLuint program, GLsizei capacity, GLsizei *length, GLchar *log) {
    glGetProgramInfoLog(program, capacity, length, log);
}

} // namespace

void checkShaderCompiled(GLuint shader, const char *name) {
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status != 0)
        return;
    failWithLog(name, " compiling failed\n", shader, readShaderLog);
}

void checkProgramLinked() {
    GLint status = 0;
    glGetProgramiv(shaderProgram, GL_LINK_STATUS, &status);
    if (status != 0)
        return;
    failWithLog("Shader program", " linking failed\n", shaderProgram, readProgramLog);
}

void initGraphics() {
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_FLAT);
    // Both stages compile before either status is asked, vertex stage first.
    GLuint vertexShader = compileShader(GL_VERTEX_SHADER, vertexShaderSource);
    GLuint fragmentShader = compileShader(GL_FRAGMENT_SHADER, fragmentShaderSource);
    checkShaderCompiled(vertexShader, "Vertex shader");
    checkShaderCompiled(fragmentShader, "Pixel shader");
    shaderProgram = glCreateProgram();
    glAttachShader(shaderProgram, vertexShader);
    glAttachShader(shaderProgram, fragmentShader);
    glLinkProgram(shaderProgram);
    checkProgramLinked();
    glUseProgram(shaderProgram);
    lightLocation = glGetUniformLocation(shaderProgram, "light.p");
    font.pixels = fontImage + 4; // past the atlas's 4-byte prefix
    createFontTexture(font);
}
