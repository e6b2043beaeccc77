#include "song_bytes.h"

#include "player/memory_file.h"

#include <cstdlib>
#include <cstring>

namespace {

const std::vector<uint8_t> *openedBytes = nullptr;

// memOpen's result, made from bytes in memory rather than from a file.
void *openBytes(const char *) {
    MemoryFile *file = static_cast<MemoryFile *>(std::calloc(1, sizeof(MemoryFile)));
    if (!file || !openedBytes || openedBytes->empty())
        return file;
    file->data = static_cast<uint8_t *>(std::malloc(openedBytes->size()));
    if (file->data) {
        std::memcpy(file->data, openedBytes->data(), openedBytes->size());
        file->length = static_cast<int32_t>(openedBytes->size());
    }
    return file;
}

} // namespace

Song *loadSongBytes(const std::vector<uint8_t> &bytes, SampleLoader sampleLoader) {
    openedBytes = &bytes;
    setFileCallbacks(openBytes, memClose, memRead, memSeek, memTell);
    Song *song = loadSong("memory", sampleLoader);
    openedBytes = nullptr;
    return song;
}
