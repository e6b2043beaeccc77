#pragma once

// The player's fixed settings.

#include <cstdint>

const int32_t mixRate = 44100;       // output frames per second
const int32_t bufferLengthMs = 1000; // the output ring holds twice this
