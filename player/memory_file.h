#pragma once

// The application's song-file functions: the whole file is read into memory
// when it is opened. A file that can't be opened reads as an empty file.

#include <cstdint>

struct MemoryFile {
    int32_t length;
    int32_t position;
    uint8_t *data;
};

void *memOpen(const char *name);
void memClose(void *file);
int memRead(void *buffer, int count, void *file);
void memSeek(void *file, int offset, int origin);
int memTell(void *file);
