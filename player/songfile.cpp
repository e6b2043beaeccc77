#include "player/songfile.h"

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
