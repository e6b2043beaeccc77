#include "cli/arguments.h"

#include <cstdint>
#include <cstdlib>

namespace {

const int64_t largestInt = 0x7fffffff;

// The digits from text up to the first other character, as a number; false
// when there are none or the number passes limit.
bool readDigits(const char *&text, int64_t limit, int64_t &number) {
    const char *start = text;
    number = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        number = number * 10 + (*text - '0');
        if (number > limit)
            return false;
    }
    return text != start;
}

} // namespace

bool parseInt(const char *text, int lowest, int &value) {
    int64_t number = 0;
    if (!readDigits(text, largestInt, number) || *text != '\0' || number < lowest)
        return false;
    value = static_cast<int>(number);
    return true;
}

bool parseSize(const char *text, int &width, int &height) {
    int64_t sides[2] = {};
    for (int side = 0; side < 2; ++side)
        if (!readDigits(text, largestInt, sides[side]) || sides[side] < 1 ||
            *text++ != (side == 0 ? 'x' : '\0'))
            return false;
    width = static_cast<int>(sides[0]);
    height = static_cast<int>(sides[1]);
    return true;
}

bool parseSeconds(const char *text, double &seconds) {
    const int64_t day = 24 * 3600;
    const char *at = text;
    int64_t whole = 0;
    if (!readDigits(at, day, whole))
        return false;
    if (*at == '.') {
        const char *fraction = ++at;
        while (*at >= '0' && *at <= '9')
            ++at;
        if (at == fraction)
            return false;
    }
    if (*at != '\0')
        return false;
    // The text is plain decimal now, which strtod rounds to the nearest double.
    const double parsed = std::strtod(text, nullptr);
    if (parsed > day)
        return false;
    seconds = parsed;
    return true;
}
