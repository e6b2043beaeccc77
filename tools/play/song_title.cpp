#include "tools/play/song_title.h"

#include <fstream>

namespace {

const std::streamoff titleOffset = 17;
const int titleLength = 20;

} // namespace

std::string songTitle(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    char bytes[titleLength] = {};
    if (!file.seekg(titleOffset) || !file.read(bytes, titleLength))
        return "";
    std::string title;
    for (char byte : bytes)
        title += byte >= ' ' && byte <= '~' ? byte : ' ';
    return title.erase(title.find_last_not_of(' ') + 1);
}
