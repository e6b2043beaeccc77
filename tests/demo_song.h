#pragma once

// A short four-channel loop made with the XM builder: the song the intro
// plays in tests, and in the run folder until the soundtrack is composed.

#include "xm_builder/xm_builder.h"

XmSong demoSong();
