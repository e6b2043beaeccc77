#include "player/memory_file.h"

#include "player/allocation.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The file's size, or -1 when it can't be told or would not fit the record.
long sizeOf(std::FILE *file) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long size = std::ftell(file);
    if (size < 0 || size > INT32_MAX || std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

void readWholeFile(std::FILE *file, MemoryFile &memory) {
    const long size = sizeOf(file);
    if (size <= 0)
        return;
    memory.data = static_cast<uint8_t *>(allocateZeroed(static_cast<size_t>(size), 1));
    if (!memory.data)
        return;
    // A file that shrinks while it is read holds only what was read.
    memory.length = static_cast<int32_t>(std::fread(memory.data, 1, size, file));
}

} // namespace

void *memOpen(const char *name) {
    MemoryFile *memory = static_cast<MemoryFile *>(allocateZeroed(1, sizeof(MemoryFile)));
    if (!memory)
        return nullptr;
    std::FILE *file = name ? std::fopen(name, "rb") : nullptr;
    if (file) {
        readWholeFile(file, *memory);
        std::fclose(file);
    }
    return memory;
}

void memClose(void *file) {
    MemoryFile *memory = static_cast<MemoryFile *>(file);
    if (!memory)
        return;
    releaseMemory(memory->data);
    releaseMemory(memory);
}

int memRead(void *buffer, int count, void *file) {
    MemoryFile *memory = static_cast<MemoryFile *>(file);
    if (!memory || count <= 0 || memory->position >= memory->length)
        return 0;
    if (count > memory->length - memory->position)
        count = memory->length - memory->position;
    std::memcpy(buffer, memory->data + memory->position, static_cast<size_t>(count));
    memory->position += count;
    return count;
}

void memSeek(void *file, int offset, int origin) {
    MemoryFile *memory = static_cast<MemoryFile *>(file);
    if (!memory)
        return;
    int64_t position = memory->position;
    switch (static_cast<uint8_t>(origin)) {
    case 0:
        position = offset;
        break;
    case 1:
        position += offset;
        break;
    case 2:
        position = int64_t{memory->length} + offset;
        break;
    default:
        return;
    }
    // Positions outside the file are clamped to its ends.
    if (position > memory->length)
        position = memory->length;
    if (position < 0)
        position = 0;
    memory->position = static_cast<int32_t>(position);
}

int memTell(void *file) {
    const MemoryFile *memory = static_cast<const MemoryFile *>(file);
    return memory ? memory->position : 0;
}
