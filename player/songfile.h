#pragma once

// The player's side of song-file access: the installed functions, and the
// record of one open file that the loader reads through.

#include "player/player.h"

#include <cstdint>

// True once setFileCallbacks has installed a complete set.
bool fileCallbacksInstalled();

// The installed set; every member is null while none is installed.
const SongFileCallbacks &installedFileCallbacks();

struct SongFile {
    void *handle; // what fileOpen returned
};

// Null, keeping nothing, when the file can't be opened or no functions are installed.
SongFile *openSongFile(const char *name);
// Closes the handle and releases the record; does nothing for null.
void closeSongFile(SongFile *file);

// Pass-through wrappers; for a null file they deliver nothing.
int readSongFile(SongFile *file, void *buffer, int count);
void seekSongFile(SongFile *file, int offset, int origin);
int tellSongFile(SongFile *file);

enum SeekOrigin : int {
    seekFromStart = 0,
    seekFromCurrent = 1,
    seekFromEnd = 2,
};
