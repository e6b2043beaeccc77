// Start-up, the two small window callbacks and shutdown.

#include "app/app.h"
#include "app/frame.h"
#include "app/fullscreen.h"
#include "app/graphics.h"
#include "app/scene.h"
#include "player/memory_file.h"
#include "player/player.h"
#include "player/song_render.h"

#include <GL/freeglut.h>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const unsigned char escapeKey = 27;

const char *usage = "usage: veltrane [SONG.xm] [X options]\n"
                    "\n"
                    "The intro, full screen until Esc: it plays SONG.xm, or Rava64.xm from the\n"
                    "working directory when no song is named. X options such as -display go to\n"
                    "the window system.\n";

bool asksForHelp(int argc, char **argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

// The song the intro plays: Rava64.xm from the working directory, exactly as
// always, or the song named on the command line, whose failure says why.
Song *loadIntroSong(const char *named) {
    if (!named) {
        setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
        return loadSong("Rava64.xm", nullptr);
    }
    std::string error;
    Song *song = loadSongFile(named, error);
    if (!song)
        std::fprintf(stderr, "veltrane: %s\n", error.c_str());
    return song;
}

} // namespace

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
    if (asksForHelp(argc, argv)) {
        std::fputs(usage, stdout);
        return 0;
    }
    glutInit(&argc, argv); // takes the X options out of argv
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "veltrane: unexpected '%s'\n%s", argv[argc - 1], usage);
        return 2;
    }
    const char *namedSong = argc == 2 ? argv[1] : nullptr;
    // A song named on the command line is loaded before any window opens.
    if (namedSong && !(loadedSong = loadIntroSong(namedSong))) {
        std::printf("Error loading song\n");
        return 1;
    }
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
    if (!namedSong)
        loadedSong = loadIntroSong(nullptr);
    if (!loadedSong) {
        std::printf("Error loading song\n");
        return 0;
    }
    playSong(loadedSong); // without a device the intro runs on silently
    glutMainLoop();
    freeSong(loadedSong);
    return 0;
}
