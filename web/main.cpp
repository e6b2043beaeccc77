// The intro as a web page: the native intro's start-up, frame and player,
// with WebGL through Emscripten's GLUT and GL emulation and the music through
// Web Audio. The page (index.html) owns the gestures and the clock: its Start
// starts the intro here, each of its animation frames draws the timeline's
// frame for the intro's time, Esc, its End or leaving full screen ends it, and
// a song the visitor gives is loaded here in place of the intro's. A page has
// no threads, so the blocks the device has played are mixed again before
// every frame and from a timer.

#include "app/app.h"
#include "app/frame.h"
#include "app/graphics.h"
#include "app/scene.h"
#include "player/memory_file.h"
#include "player/player.h"
#include "player/song_render.h"
#include "media/wav_file.h"

#include <GL/glut.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <emscripten/emscripten.h>
#include <emscripten/eventloop.h>
#include <emscripten/html5.h>
#include <string>

// Mends the GL emulation's texture environment (web/gl_compat.js).
extern "C" void mendTextureEnvironment();

namespace {

const double mixPollMs = 20;
long mixTimer = 0;
bool running = false;

// The page turns the start-up's news into its messages: "ready", "still",
// "no-webgl" or "song-unloadable".
EM_JS(void, pageSays, (const char *state), { Module.onPageState(UTF8ToString(state)); });

// The GL emulation double-buffers its temporary vertex buffers frame by frame.
EM_JS(void, beginRenderingFrame, (), { GL.newRenderingFrameStarted(); });

void mixOnTimer(void *) {
    mixPendingBlocks();
}

} // namespace

extern "C" {

// Starts the intro from its first frame, the music and the clock together.
EMSCRIPTEN_KEEPALIVE void veltraneStart() {
    if (!loadedSong)
        return;
    playSong(loadedSong); // without Web Audio the intro runs on silently
    if (!mixTimer)
        mixTimer = emscripten_set_interval(mixOnTimer, mixPollMs, nullptr);
    running = true;
}

// Draws the running intro at introMs, the milliseconds since its first frame
// with the pauses left out; returns the timeline's frame number drawn.
EMSCRIPTEN_KEEPALIVE int veltraneFrame(double introMs) {
    if (!running)
        return -1;
    mixPendingBlocks();
    beginRenderingFrame();
    return displayFrameAt(introMs);
}

EMSCRIPTEN_KEEPALIVE void veltraneEnd() {
    running = false;
    if (mixTimer)
        emscripten_clear_interval(mixTimer);
    mixTimer = 0;
    stopSong(loadedSong);
}

EMSCRIPTEN_KEEPALIVE void veltraneResize(int width, int height) {
    windowWidth = width;
    windowHeight = height;
    applyViewport(width, height);
}

// Loads the song file at path in place of the one loaded, after stopping the
// music; a file the player cannot load leaves the loaded song as it was.
// Returns whether the song was replaced.
EMSCRIPTEN_KEEPALIVE int veltraneLoadSong(const char *path) {
    veltraneEnd();
    Song *song = loadSong(path, nullptr);
    if (!song)
        return 0;
    freeSong(loadedSong);
    loadedSong = song;
    return 1;
}

// Draws the intro's frame number frame (counted from 0) at this size, as the
// frame tool does, into the canvas, which takes that size.
EMSCRIPTEN_KEEPALIVE void veltraneDrawFrame(int frame, int elapsedMs, int row, int width,
                                            int height) {
    emscripten_set_canvas_element_size("#canvas", width, height);
    veltraneResize(width, height);
    drawFrame(frameStateAt(frame, elapsedMs, row, width, height));
    glFinish();
}

// Renders the song through the block fill into the WAV file at path, as
// xm2wav does for the same seconds. Ends the intro first if it plays.
EMSCRIPTEN_KEEPALIVE int veltraneRenderWav(double seconds, const char *path) {
    if (!loadedSong || !(seconds >= 0))
        return 0;
    veltraneEnd();
    std::string error;
    WavWriter wav;
    SongRender render;
    if (!wav.open(path, error) || !beginSongRender(loadedSong, seconds, render))
        return 0;
    bool written = true;
    RenderedBlock block;
    while (written && renderNextBlock(render, block))
        written = wav.write(block.pcm, static_cast<size_t>(block.frames));
    endSongRender(render);
    return wav.close(error) && written;
}

// Milliseconds per frame of the intro at this size, each frame finished
// before the next starts; for benchmarks.
EMSCRIPTEN_KEEPALIVE double veltraneBenchFrames(int count, int width, int height) {
    uint8_t pixel[4];
    const double start = emscripten_get_now();
    for (int frame = 0; frame < count; ++frame) {
        veltraneDrawFrame(frame, 0, frame % 8, width, height);
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    }
    return (emscripten_get_now() - start) / std::max(count, 1);
}

} // extern "C"

// With the argument --still the page only draws the frames it asks for:
// no song, no sound.
int main(int argc, char **argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0); // the status line reaches the page at once
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    if (!glutCreateWindow("Veltrane")) {
        pageSays("no-webgl");
        return 0;
    }
    mendTextureEnvironment();
    initGraphics();
    if (argc > 1 && std::strcmp(argv[1], "--still") == 0) {
        pageSays("still");
        return 0;
    }
    setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
    loadedSong = loadSong("Rava64.xm", nullptr);
    if (!loadedSong) {
        pageSays("song-unloadable");
        return 0;
    }
    pageSays("ready");
    return 0;
}
