#pragma once

// The player's side of song-file access: the installed functions.

#include "player/player.h"

// True once setFileCallbacks has installed a complete set.
bool fileCallbacksInstalled();

// The installed set; every member is null while none is installed.
const SongFileCallbacks &installedFileCallbacks();
