#pragma once

// A file written under a temporary name next to its final one and renamed
// into place when complete, so the final name never holds half a file.

#include <string>

struct PendingFile {
    std::string path;      // the final name
    std::string temporary; // where it is written meanwhile
};

// Creates the temporary file; false with error naming path when the folder
// can't take it or path is a folder. The temporary name is also kept where
// removePendingFileNow finds it.
bool createPendingFile(const std::string &path, PendingFile &file, std::string &error);

// Renames the complete file into place.
bool commitPendingFile(PendingFile &file, std::string &error);

// Removes the temporary file.
void discardPendingFile(PendingFile &file);

// A message about the file that names the temporary file names the final
// one instead: the user knows that.
void nameFinalFile(const PendingFile &file, std::string &message);

// Removes the temporary file of the pending file created last, if it is still
// pending. Safe in a signal handler: it only unlinks a name kept in a static
// buffer.
void removePendingFileNow();
