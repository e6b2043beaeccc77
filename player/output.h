#pragma once

// The audio output that playback drives: one ring of 16-bit stereo frames
// that the device plays from its start, over and over, reporting how many
// frames it has played. Playback never calls a sound library directly.

#include <cstdint>

struct AudioOutput {
    // Opens the default device for 16-bit stereo at this rate; false on failure.
    bool (*open)(int32_t rate);
    // Starts playing the ring from its first frame, wrapping to it without end.
    void (*start)(const int16_t *ring, int32_t ringFrames);
    // Frames played since start, counting across wraps of the ring.
    uint64_t (*framesPlayed)();
    // Called on the mixing thread after each block it writes into the ring.
    void (*ringWritten)();
    // Stops playing; the device no longer reads the ring afterwards.
    void (*stop)();
    // Holds the device where it is, or lets it play on from there. A held
    // device stays held when it is started again, until it is let go.
    void (*hold)(bool held);
    void (*close)();
};

// The device through SDL's audio subsystem; SDL_AUDIODRIVER chooses the driver.
const AudioOutput &sdlAudioOutput();

// A web page's device through Web Audio (only in the page's build).
const AudioOutput &webAudioOutput();

// The output playSong uses: the platform's device (SDL's, or Web Audio in a
// page) unless a test has installed another.
const AudioOutput &currentAudioOutput();
// For tests: null goes back to the platform's device.
void useAudioOutput(const AudioOutput *output);
