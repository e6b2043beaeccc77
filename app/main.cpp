// Start-up, the two small window callbacks and shutdown.

#include "app/app.h"
#include "app/frame.h"
#include "app/fullscreen.h"
#include "app/graphics.h"
#include "app/scene.h"
#include "player/memory_file.h"
#include "player/player.h"

#include <GL/freeglut.h>
#include <cstdio>

namespace {
const unsigned char escapeKey = 27;
}

void onKeyboard(unsigned char key, int, int) {
    if (key == escapeKey)
        glutLeaveMainLoop();
}

void onReshape(int width, int height) {
    windowWidth = width;
    windowHeight = height;
    applyViewport(width, height);
}

int main(int argc, char **argv) {
    glutInit(&argc, argv);
    // Closing the window returns from the main loop instead of ending the process.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(933, 700);
    glutInitWindowPosition(20, 50);
    glutCreateWindow("Veltrane");
    glutDisplayFunc(displayFrame);
    glutIdleFunc(displayFrame);
    glutReshapeFunc(onReshape);
    glutKeyboardFunc(onKeyboard);
    glewInit(); // the version test below decides
    if (!glewIsSupported("GL_VERSION_2_0")) {
        std::printf("OpenGL 2.0 required.\n");
        return 0;
    }
    initGraphics();
    enterFullScreen();
    glutSetCursor(GLUT_CURSOR_NONE);
    std::printf("Opengl 2.0 found, zsiir.\n");
    setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
    loadedSong = loadSong("Rava64.xm", nullptr);
    if (!loadedSong) {
        std::printf("Error loading song\n");
        return 0;
    }
    playSong(loadedSong); // without a device the intro runs on silently
    glutMainLoop();
    freeSong(loadedSong);
    return 0;
}
