#include "media/pending_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

bool createPendingFile(const std::string &path, PendingFile &file, std::string &error) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        error = path + ": is a folder";
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "." + name + ".partial-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int descriptor = mkstemp(buffer.data());
    if (descriptor < 0) {
        error = path + ": cannot write there: " + std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; the video gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    close(descriptor);
    file.path = path;
    file.temporary = buffer.data();
    return true;
}

bool commitPendingFile(PendingFile &file, std::string &error) {
    if (std::rename(file.temporary.c_str(), file.path.c_str()) != 0) {
        error = file.path + ": " + std::strerror(errno);
        discardPendingFile(file);
        return false;
    }
    file.temporary.clear();
    return true;
}

void discardPendingFile(PendingFile &file) {
    if (!file.temporary.empty())
        std::remove(file.temporary.c_str());
    file.temporary.clear();
}
