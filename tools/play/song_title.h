#pragma once

// A song's title as its file names it: the 20 characters after the XM
// file's identifying text.

#include <string>

// Printable characters only, trailing blanks removed; empty when the file
// has none or cannot be read.
std::string songTitle(const std::string &path);
