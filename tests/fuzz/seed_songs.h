#pragma once

// The song fuzzer's seeds, made with the XM builder so that they reach every
// part of the loader and the player, and the play that the fuzzer and the
// seed replay test give every input.

#include "xm_builder/xm_builder.h"

#include <cstdint>
#include <string>
#include <vector>

struct SeedSong {
    std::string name;
    XmSong song;
};

std::vector<SeedSong> seedSongs();

// Loads the bytes as a song, plays what loads for a few hundred ticks through
// the sequencer, the mixer and the block fill, and frees it.
void playFuzzInput(const std::vector<uint8_t> &bytes);
