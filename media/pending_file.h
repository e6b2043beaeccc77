#pragma once

// A file written under a temporary name next to its final one and renamed
// into place when complete, so the final name never holds half a file.

#include <string>

struct PendingFile {
    std::string path;      // the final name
    std::string temporary; // where it is written meanwhile
};

// Creates the temporary file; false with error naming path when the folder
// can't take it or path is a folder.
bool createPendingFile(const std::string &path, PendingFile &file, std::string &error);

// Renames the complete file into place.
bool commitPendingFile(PendingFile &file, std::string &error);

// Removes the temporary file.
void discardPendingFile(PendingFile &file);
