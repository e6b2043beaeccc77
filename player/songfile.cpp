#include "player/songfile.h"

#include "player/allocation.h"

namespace {
SongFileCallbacks fileCallbacks = {};
}

void setFileCallbacks(FileOpenFunction fileOpen, FileCloseFunction fileClose,
                      FileReadFunction fileRead, FileSeekFunction fileSeek,
                      FileTellFunction fileTell) {
    const bool complete = fileOpen && fileClose && fileRead && fileSeek && fileTell;
    if (complete)
        fileCallbacks = {fileOpen, fileClose, fileRead, fileSeek, fileTell};
    else
        fileCallbacks = {};
}

bool fileCallbacksInstalled() {
    return fileCallbacks.fileOpen != nullptr;
}

const SongFileCallbacks &installedFileCallbacks() {
    return fileCallbacks;
}

SongFile *openSongFile(const char *name) {
    if (!fileCallbacksInstalled() || !name)
        return nullptr;
    void *handle = fileCallbacks.fileOpen(name);
    if (!handle)
        return nullptr;
    SongFile *file = static_cast<SongFile *>(allocateZeroed(1, sizeof(SongFile)));
    if (!file) {
        fileCallbacks.fileClose(handle);
        return nullptr;
    }
    file->handle = handle;
    return file;
}

void closeSongFile(SongFile *file) {
    if (!file)
        return;
    fileCallbacks.fileClose(file->handle);
    releaseMemory(file);
}

int readSongFile(SongFile *file, void *buffer, int count) {
    return file ? fileCallbacks.fileRead(buffer, count, file->handle) : 0;
}

void seekSongFile(SongFile *file, int offset, int origin) {
    if (file)
        fileCallbacks.fileSeek(file->handle, offset, origin);
}

int tellSongFile(SongFile *file) {
    return file ? fileCallbacks.fileTell(file->handle) : 0;
}
