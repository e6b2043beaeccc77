#pragma once

// What SDL's disk driver wrote for a program under test, against xm2wav's
// render of the same song: the device plays silence until the music starts,
// and from the first sound on it must have got the render's values exactly.

#include <cstddef>
#include <string>

// Empty when the raw file, from its first sound, holds at least minimumFrames
// frames and is a prefix of the WAV file's sound from its first sound;
// otherwise what differs.
std::string compareDeviceSound(const std::string &rawPath, const std::string &wavPath,
                               size_t minimumFrames);
