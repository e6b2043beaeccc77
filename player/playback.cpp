// Playing a song on the audio device: playSong pre-mixes the whole ring,
// starts the device and an output thread that mixes each block again as soon
// as the device has left it; stopSong undoes it all. The position queries
// report the stamp of the block the device is playing. A web page has no
// threads: it mixes the blocks left behind from its main loop and a timer.

#include "player/blockfill.h"
#include "player/loop_watch.h"
#include "player/output.h"
#include "player/settings.h"
#include "player/songfile.h"

#include <atomic>
#include <chrono>
#include <thread>
#ifndef __EMSCRIPTEN__
#include <pthread.h>
#endif

namespace {

// The whole handshake between the caller's thread and the output thread.
std::atomic<uint8_t> stopRequested{0};
std::atomic<uint8_t> mixingBlock{0};
std::atomic<uint8_t> threadFinished{1};
std::thread outputThread;
bool deviceOpen = false;
// The device playSong started; set before the output thread starts and
// cleared after it has ended.
const AudioOutput *playingOutput = nullptr;
// A test's output in place of the platform's device.
const AudioOutput *installedOutput = nullptr;
// Frames heard before the device last started: a jump starts it again.
uint64_t framesHeardBefore = 0;

const auto stopCheckInterval = std::chrono::milliseconds(10);

int32_t blockBeingPlayed(const AudioOutput &output) {
    const PlaybackSizes &sizes = playbackSizes();
    const uint64_t frames = output.framesPlayed();
    return static_cast<int32_t>(frames % static_cast<uint64_t>(sizes.ringFrames) /
                                static_cast<uint64_t>(sizes.blockFrames));
}

#ifdef __EMSCRIPTEN__

const AudioOutput &platformOutput() {
    return webAudioOutput();
}

void startOutputThread() {}

#else

const AudioOutput &platformOutput() {
    return sdlAudioOutput();
}

const auto pollInterval = std::chrono::milliseconds(5);

void outputThreadMain() {
    while (!stopRequested.load(std::memory_order_acquire)) {
        mixPendingBlocks();
        std::this_thread::sleep_for(pollInterval);
    }
    threadFinished.store(1, std::memory_order_release);
}

// The mixing thread runs at the highest real-time priority the system allows;
// where it allows none, at the normal one.
void raisePriority(std::thread &thread) {
    sched_param parameters = {};
    parameters.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &parameters);
    pthread_setname_np(thread.native_handle(), "veltrane-mix");
}

void startOutputThread() {
    stopRequested.store(0, std::memory_order_release);
    threadFinished.store(0, std::memory_order_release);
    outputThread = std::thread(outputThreadMain);
    raisePriority(outputThread);
}

#endif

void preMixRing() {
    for (int32_t block = 0; block < playbackSizes().blockCount; ++block)
        fillBlock();
}

// Requests the end, waits for the block in progress and for the thread.
void stopOutputThread() {
    stopRequested.store(1, std::memory_order_release);
    while (mixingBlock.load(std::memory_order_acquire))
        std::this_thread::yield();
    if (outputThread.joinable()) {
        while (!threadFinished.load(std::memory_order_acquire))
            std::this_thread::sleep_for(stopCheckInterval);
        outputThread.join();
    }
}

// The ring, mixed from its first block, plays from the device's start.
void startRing(const AudioOutput &output) {
    preMixRing();
    output.start(ringBlock(0), playbackSizes().ringFrames);
    playingOutput = &output;
    startOutputThread();
}

bool playing(const Song *song) {
    return song && playingOutput && song == playingSong();
}

} // namespace

const AudioOutput &currentAudioOutput() {
    return installedOutput ? *installedOutput : platformOutput();
}

void useAudioOutput(const AudioOutput *output) {
    installedOutput = output;
}

// Allocates nothing.
void mixPendingBlocks() {
    if (!playingOutput)
        return;
    const int32_t playBlock = blockBeingPlayed(*playingOutput);
    while (nextBlockToFill() != playBlock) {
        mixingBlock.store(1, std::memory_order_release);
        advanceAudibleStamp();
        fillBlock();
        playingOutput->ringWritten();
        mixingBlock.store(0, std::memory_order_release);
    }
}

bool playSong(Song *song) {
    if (!song)
        return false;
    stopSong(song);
    if (!fileCallbacksInstalled())
        return false;
    if (!beginPlayback(song))
        return false;
    const AudioOutput &output = currentAudioOutput();
    if (!output.open(mixRate))
        return false;
    deviceOpen = true;
    framesHeardBefore = 0;
    startRing(output);
    return true;
}

bool stopSong(Song *song) {
    if (!song)
        return false;
    stopOutputThread();
    playingOutput = nullptr;
    const AudioOutput &output = currentAudioOutput();
    if (deviceOpen)
        output.stop(); // the device lets go of the ring before it is released
    endPlayback();
    if (deviceOpen)
        output.close();
    deviceOpen = false;
    return true;
}

bool pauseSong(Song *song, bool paused) {
    if (!playing(song))
        return false;
    playingOutput->hold(paused);
    return true;
}

bool jumpToOrder(Song *song, int order) {
    if (!playing(song) || order < 0 || order >= song->songLength)
        return false;
    const AudioOutput &output = *playingOutput;
    stopOutputThread();
    const uint64_t heard = framesHeardBefore + output.framesPlayed();
    const int32_t heardMs = audibleStamp()->timeMs;
    output.stop();
    framesHeardBefore = heard;
    restartPlaybackAt(order, heardMs, static_cast<int64_t>(heard));
    startRing(output);
    return true;
}

int64_t getFramesHeard(Song *song) {
    return playing(song) ? static_cast<int64_t>(framesHeardBefore + playingOutput->framesPlayed())
                         : 0;
}

bool hasLooped(Song *song) {
    return playing(song) && loopFrame() >= 0 && getFramesHeard(song) >= loopFrame();
}

namespace {
const PositionStamp *stampFor(const Song *song) {
    return song ? audibleStamp() : nullptr;
}
} // namespace

int getOrder(Song *song) {
    const PositionStamp *stamp = stampFor(song);
    return stamp ? stamp->order : 0;
}

int getRow(Song *song) {
    const PositionStamp *stamp = stampFor(song);
    return stamp ? stamp->row : 0;
}

int getTime(Song *song) {
    const PositionStamp *stamp = stampFor(song);
    return stamp ? stamp->timeMs : 0;
}
