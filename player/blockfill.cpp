#include "player/blockfill.h"

#include "player/allocation.h"
#include "player/loop_watch.h"
#include "player/mixer.h"
#include "player/sequencer.h"
#include "player/settings.h"

#include <atomic>
#include <cstring>

namespace {

PlaybackSizes sizes = derivedSizes(mixRate, bufferLengthMs);
Song *currentSong = nullptr;
PositionStamp *positionStamps = nullptr;
// Written by the mixing thread, read by the position queries on another.
std::atomic<int32_t> stampIndex{0};
// Only the mixing thread moves it; others may watch it.
std::atomic<int32_t> writeBlock{0};
// Frames of music mixed since the song started, counted on from the
// frame heard when play moved elsewhere.
int64_t framesMixed = 0;
int16_t *outputRing = nullptr;
void *mixAllocation = nullptr;
float *mixBuffer = nullptr; // 16-byte aligned inside mixAllocation

// The position at the first tick of an order's first row.
void resetSongPosition(Song &song, int32_t order, int32_t timeMs) {
    song.nextOrder = -1;
    song.nextRow = -1;
    song.row = 0;
    song.order = order;
    song.samplesUntilTick = 0;
    song.tick = 0;
    song.patternDelayTicks = 0;
    song.timeMs = timeMs;
}

void resetSongPlayback(Song &song) {
    song.globalVolume = song.initialGlobalVolume;
    song.speed = song.defaultSpeed;
    resetSongPosition(song, 0, 0);
    setBpm(&song, song.defaultBpm);
}

void rewindRing(int64_t frame) {
    writeBlock.store(0, std::memory_order_release);
    stampIndex.store(0, std::memory_order_release);
    framesMixed = frame;
    resetLoopWatch();
}

bool allocateBuffers() {
    positionStamps =
        static_cast<PositionStamp *>(allocateZeroed(sizes.blockCount, sizeof(PositionStamp)));
    outputRing = static_cast<int16_t *>(allocateZeroed(sizes.ringFrames, 4));
    mixAllocation = allocateZeroed(static_cast<size_t>(sizes.ringFrames) * 8 + 256, 1);
    if (!positionStamps || !outputRing || !mixAllocation)
        return false;
    const uintptr_t address = reinterpret_cast<uintptr_t>(mixAllocation);
    mixBuffer = reinterpret_cast<float *>((address + 15) & ~uintptr_t{15});
    return true;
}

// Milliseconds of a run of frames, truncated: a run of 882 frames counts 19.
int32_t runMilliseconds(int32_t frames) {
    return static_cast<int32_t>(static_cast<long double>(frames) * sizes.secondsPerFrame * 1000.0f);
}

} // namespace

PlaybackSizes derivedSizes(int32_t rate, int32_t bufferMs) {
    PlaybackSizes derived{};
    derived.blockFrames = (rate * 20 / 1000 + 3) & ~3;
    derived.ringFrames = bufferMs / 20 * derived.blockFrames * 2;
    derived.blockCount = derived.ringFrames / derived.blockFrames;
    derived.secondsPerFrame = 1.0f / static_cast<float>(rate);
    return derived;
}

void setBpm(Song *song, int32_t bpm) {
    song->bpm = bpm;
    const long double frames = 1000.0L / (bpm * static_cast<long double>(0.4f)) * mixRate *
                               static_cast<long double>(0.001f);
    // A tick has at least one frame, so the block fill always moves on.
    song->samplesPerTick = frames >= 1 ? static_cast<int32_t>(frames) : 1;
}

bool beginPlayback(Song *song) {
    endPlayback();
    sizes = derivedSizes(mixRate, bufferLengthMs);
    resetVoices();
    setRampLength(mixRate);
    resetSongPlayback(*song);
    resetChannels(*song);
    rewindRing(0);
    currentSong = song;
    if (!allocateBuffers()) {
        endPlayback();
        return false;
    }
    return true;
}

void endPlayback() {
    currentSong = nullptr;
    releaseMemory(positionStamps);
    releaseMemory(outputRing);
    releaseMemory(mixAllocation);
    positionStamps = nullptr;
    outputRing = nullptr;
    mixAllocation = nullptr;
    mixBuffer = nullptr;
    writeBlock.store(0, std::memory_order_release);
    stampIndex.store(0, std::memory_order_release);
}

void fillBlock() {
    Song &song = *currentSong;
    const int32_t block = writeBlock.load(std::memory_order_relaxed);
    const int32_t blockFrames = sizes.blockFrames;
    float *slice = mixBuffer + 2 * static_cast<size_t>(block) * blockFrames;
    std::memset(slice, 0, 2 * static_cast<size_t>(blockFrames) * sizeof(float));
    int32_t remaining = song.samplesUntilTick;
    int32_t done = 0;
    while (done < blockFrames) {
        if (remaining == 0) {
            watchTick(song, framesMixed + done);
            if (song.tickFunction)
                song.tickFunction(&song);
            remaining = song.samplesPerTick; // the tick may have changed the tempo
        }
        const int32_t run = remaining < blockFrames - done ? remaining : blockFrames - done;
        mixVoices(slice + 2 * done, run);
        done += run;
        remaining -= run;
        // Wraps after 24 days rather than overflowing.
        song.timeMs = static_cast<int32_t>(static_cast<uint32_t>(song.timeMs) +
                                           static_cast<uint32_t>(runMilliseconds(run)));
    }
    positionStamps[block] = PositionStamp{static_cast<uint8_t>(song.order & 0xff),
                                          static_cast<uint8_t>(song.row & 0xff), song.timeMs};
    song.samplesUntilTick = remaining;
    framesMixed += blockFrames;
    convertToPcm16(outputRing + 2 * static_cast<size_t>(block) * blockFrames, slice,
                   blockFrames & 0x3fffffff);
    writeBlock.store(block + 1 == sizes.blockCount ? 0 : block + 1, std::memory_order_release);
}

void restartPlaybackAt(int32_t order, int32_t timeMs, int64_t frame) {
    resetVoices();
    resetChannels(*currentSong);
    resetSongPosition(*currentSong, order, timeMs);
    rewindRing(frame);
}

const PlaybackSizes &playbackSizes() {
    return sizes;
}

Song *playingSong() {
    return currentSong;
}

int32_t nextBlockToFill() {
    return writeBlock;
}

const int16_t *ringBlock(int32_t block) {
    return outputRing + 2 * static_cast<size_t>(block) * sizes.blockFrames;
}

const PositionStamp &blockStamp(int32_t block) {
    return positionStamps[block];
}

const PositionStamp *audibleStamp() {
    return currentSong && positionStamps ? &positionStamps[stampIndex] : nullptr;
}

void advanceAudibleStamp() {
    stampIndex = stampIndex + 1 == sizes.blockCount ? 0 : stampIndex + 1;
}
