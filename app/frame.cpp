#include "app/frame.h"

#include "app/app.h"
#include "app/scene.h"
#include "player/player.h"

#include <GL/glut.h>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

const uint64_t unsetTick = ~uint64_t{0};

FrameState animation = initialFrameState();
// The page's frames come in order, now and then skipping some.
CarriedFrame timeline;
uint64_t startTick = unsetTick;
int32_t elapsedMs = 0;
int32_t musicOrder = 0;
int32_t musicRow = 0;
float musicSeconds = 0;

void advanceClock() {
    if (startTick == unsetTick)
        startTick = tickCountMs();
    elapsedMs = elapsedSince(startTick, tickCountMs());
}

} // namespace

uint32_t tickCountMs() {
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    return static_cast<uint32_t>(ms);
}

int32_t elapsedSince(uint64_t startTick, uint32_t now) {
    return static_cast<int32_t>(now - static_cast<uint32_t>(startTick));
}

void printStatusLine(int32_t order, int32_t row, float seconds) {
    const char *marker = row % 8 == 0 ? "TICK" : "    ";
    std::printf("ord %2d row %2d seconds %5.02f %s      \r", order, row,
                static_cast<double>(seconds), marker);
}

void printMusicPosition() {
    musicOrder = getOrder(loadedSong);
    musicRow = getRow(loadedSong);
    const uint32_t ms = static_cast<uint32_t>(getTime(loadedSong));
    musicSeconds = static_cast<float>(ms / 1000.0);
    printStatusLine(musicOrder, musicRow, musicSeconds);
}

void displayFrame() {
    printMusicPosition();
    advanceClock();
    animation.elapsedMs = elapsedMs;
    animation.musicRow = musicRow;
    animation.windowWidth = windowWidth;
    animation.windowHeight = windowHeight;
    drawFrame(animation);
    // The frame drew with the accumulators as they were; they advance twice
    // per frame, once before and once after the buffer swap.
    advanceAnimation(animation);
    glutSwapBuffers();
    glDisable(GL_TEXTURE_2D);
    advanceAnimation(animation);
}

int timelineFrameAt(double introMs) {
    return static_cast<int>(std::floor(introMs * timelineFramesPerSecond / 1000));
}

int displayFrameAt(double introMs) {
    printMusicPosition();
    const int frame = timelineFrameAt(introMs);
    drawFrame(frameStateAt(frame, static_cast<int32_t>(introMs), musicRow, windowWidth,
                           windowHeight, timeline));
    glutSwapBuffers();
    glDisable(GL_TEXTURE_2D);
    return frame;
}
