// The audio output of a web page: a Web Audio context at the mix rate plays
// the ring as a device would, and the frames played come from the context's
// clock. The context itself lives in web/audio_output.js; this side hands it
// the ring and tells it of every block written into it.

#include "player/blockfill.h"
#include "player/output.h"

#include <cstdint>

extern "C" {
int webAudioOpen(int32_t rate);
void webAudioStart(const int16_t *ring, int32_t ringFrames);
double webAudioFramesPlayed();
void webAudioRingWritten(int32_t frames);
void webAudioStop();
void webAudioHold(int held);
void webAudioClose();
}

namespace {

bool openDevice(int32_t rate) {
    return webAudioOpen(rate) != 0;
}

uint64_t devicePosition() {
    return static_cast<uint64_t>(webAudioFramesPlayed());
}

// The device queues each block for playing as soon as it holds new music, so
// that a page whose main loop stalls for a while still plays on.
void noteRingWritten() {
    webAudioRingWritten(playbackSizes().blockFrames);
}

void holdDevice(bool held) {
    webAudioHold(held ? 1 : 0);
}

const AudioOutput webOutput = {openDevice,   webAudioStart, devicePosition, noteRingWritten,
                               webAudioStop, holdDevice,    webAudioClose};

} // namespace

const AudioOutput &webAudioOutput() {
    return webOutput;
}
