// Loads arbitrary bytes as a song through the memory-file functions, plays
// what loads for a few hundred ticks, and frees it: no input may crash the
// player, leak, or trip a sanitizer.

#include "../song_bytes.h"
#include "player/blockfill.h"
#include "player/mixer.h"
#include "player/sequencer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

const int ticksPlayed = 300;
const int framesPerTick = 64; // enough to run every voice through its passes

void play(Song *song) {
    if (!beginPlayback(song))
        return;
    static float mix[2 * framesPerTick];
    static int16_t pcm[2 * framesPerTick];
    for (int tick = 0; tick < ticksPlayed; ++tick) {
        sequencerTick(song);
        mixVoices(mix, framesPerTick);
        convertToPcm16(pcm, mix, framesPerTick);
    }
    fillBlock(); // and once through the block fill itself
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    Song *song = loadSongBytes(bytes);
    if (song)
        play(song);
    freeSong(song);
    return 0;
}
