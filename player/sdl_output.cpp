// The audio output on SDL: the device's callback copies from the ring at a
// play cursor that wraps around it; the cursor, as a 64-bit count of frames,
// is what the device has played.

#include "player/output.h"

#include <SDL.h>
#include <atomic>
#include <cstring>

namespace {

SDL_AudioDeviceID device = 0;
const int16_t *ring = nullptr;
int32_t ringFrames = 0;
std::atomic<uint64_t> cursor{0};
// Bumped by the mixing thread after each block; the callback reads it first,
// so the ring's writes are ordered before the callback's reads.
std::atomic<uint64_t> ringGeneration{0};
bool held = false;

void copyFromRing(void *, Uint8 *stream, int length) {
    ringGeneration.load(std::memory_order_acquire);
    int16_t *out = reinterpret_cast<int16_t *>(stream);
    int32_t frames = length / 4;
    uint64_t played = cursor.load(std::memory_order_relaxed);
    while (frames > 0) {
        const int32_t at = static_cast<int32_t>(played % static_cast<uint64_t>(ringFrames));
        const int32_t run = frames < ringFrames - at ? frames : ringFrames - at;
        std::memcpy(out, ring + 2 * at, static_cast<size_t>(run) * 4);
        out += 2 * run;
        frames -= run;
        played += static_cast<uint64_t>(run);
    }
    cursor.store(played, std::memory_order_release);
}

bool openDevice(int32_t rate) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SDL_AudioSpec wanted = {};
    wanted.freq = rate;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 2;
    wanted.samples = 1024;
    wanted.callback = copyFromRing;
    SDL_AudioSpec obtained = {};
    // No changes allowed: SDL converts to whatever the hardware takes.
    device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

void startDevice(const int16_t *frames, int32_t count) {
    SDL_LockAudioDevice(device);
    ring = frames;
    ringFrames = count;
    cursor.store(0, std::memory_order_relaxed);
    SDL_UnlockAudioDevice(device);
    SDL_PauseAudioDevice(device, held ? 1 : 0);
}

uint64_t devicePosition() {
    return cursor.load(std::memory_order_acquire);
}

void noteRingWritten() {
    ringGeneration.fetch_add(1, std::memory_order_release);
}

// Pausing takes the device's lock, so no callback runs once it returns.
void stopDevice() {
    if (device != 0)
        SDL_PauseAudioDevice(device, 1);
}

void holdDevice(bool hold) {
    held = hold;
    if (device != 0)
        SDL_PauseAudioDevice(device, held ? 1 : 0);
}

void closeDevice() {
    held = false;
    if (device == 0)
        return;
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device = 0;
    ring = nullptr;
}

const AudioOutput sdlOutput = {openDevice, startDevice, devicePosition, noteRingWritten,
                               stopDevice, holdDevice,  closeDevice};

} // namespace

const AudioOutput &sdlAudioOutput() {
    return sdlOutput;
}
