// Loads arbitrary bytes as a song through the memory-file functions, plays
// what loads for a few hundred ticks, and frees it: no input may crash the
// player, leak, or trip a sanitizer.

#include "seed_songs.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    playFuzzInput(std::vector<uint8_t>(data, data + size));
    return 0;
}
