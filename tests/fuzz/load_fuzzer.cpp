// Loads arbitrary bytes as a song through the memory-file functions and
// frees it: no input may crash the loader, leak, or trip a sanitizer.

#include "../song_bytes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    freeSong(loadSongBytes(bytes));
    return 0;
}
