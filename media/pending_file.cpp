#include "media/pending_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The temporary name is ".NAME" and this, for mkstemp to fill in.
const char temporarySuffix[] = ".partial-XXXXXX";
// What the temporary name adds to the final name's length.
const size_t addedLength = 1 + sizeof temporarySuffix - 1;

// The temporary name for a signal handler to unlink: written while not armed.
char keptName[PATH_MAX];
std::atomic<bool> keptArmed{false};

void keepName(const std::string &name) {
    keptArmed = false;
    if (name.size() >= sizeof keptName)
        return;
    std::memcpy(keptName, name.c_str(), name.size() + 1);
    keptArmed = true;
}

// The final name's part in the temporary one, cut to fit the longest name a
// folder takes; a cut backs off to the start of a UTF-8 character.
std::string shortened(const std::string &name) {
    const size_t room = NAME_MAX - addedLength;
    if (name.size() <= room)
        return name;
    size_t end = room;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xc0) == 0x80)
        --end;
    return name.substr(0, end);
}

} // namespace

bool createPendingFile(const std::string &path, PendingFile &file, std::string &error) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        error = path + ": is a folder";
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "." + shortened(name) + temporarySuffix;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int descriptor = mkstemp(buffer.data());
    if (descriptor < 0) {
        error = path + ": cannot write there: " + std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; the result gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    close(descriptor);
    file.path = path;
    file.temporary = buffer.data();
    keepName(file.temporary);
    return true;
}

bool commitPendingFile(PendingFile &file, std::string &error) {
    if (std::rename(file.temporary.c_str(), file.path.c_str()) != 0) {
        error = file.path + ": " + std::strerror(errno);
        discardPendingFile(file);
        return false;
    }
    // Forgotten only once renamed: a signal in between unlinks a name that is gone.
    keptArmed = false;
    file.temporary.clear();
    return true;
}

void discardPendingFile(PendingFile &file) {
    if (!file.temporary.empty())
        std::remove(file.temporary.c_str());
    keptArmed = false;
    file.temporary.clear();
}

void nameFinalFile(const PendingFile &file, std::string &message) {
    const size_t at = file.temporary.empty() ? std::string::npos : message.find(file.temporary);
    if (at != std::string::npos)
        message.replace(at, file.temporary.size(), file.path);
}

void removePendingFileNow() {
    if (keptArmed.exchange(false))
        unlink(keptName);
}
