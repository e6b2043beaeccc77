#include "cli/arguments.h"

#include <cstdlib>
#include <cstring>
#include <string>

bool parseInt(const char *text, int lowest, int &value) {
    char *end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < lowest || parsed > 0x7fffffff)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool parseSize(const char *text, int &width, int &height) {
    const char *x = std::strchr(text, 'x');
    if (!x)
        return false;
    const std::string widthText(text, x);
    return parseInt(widthText.c_str(), 1, width) && parseInt(x + 1, 1, height);
}

bool parseSeconds(const char *text, double &seconds) {
    char *end = nullptr;
    seconds = std::strtod(text, &end);
    return end != text && *end == '\0' && seconds >= 0 && seconds <= 24 * 3600;
}
