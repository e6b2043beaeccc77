#pragma once

// Loading songs from bytes in memory through the application's memory-file
// functions, as the intro loads its file.

#include "player/player.h"

#include <cstdint>
#include <vector>

// Installs the memory-file functions over these bytes and loads them.
Song *loadSongBytes(const std::vector<uint8_t> &bytes, SampleLoader sampleLoader = nullptr);
