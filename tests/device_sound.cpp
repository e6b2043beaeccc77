#include "device_sound.h"

#include "media/wav_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<int16_t> fromFirstSound(const std::vector<int16_t> &values) {
    size_t first = 0;
    while (first + 1 < values.size() && values[first] == 0 && values[first + 1] == 0)
        first += 2;
    return std::vector<int16_t>(values.begin() + static_cast<long>(first), values.end());
}

} // namespace

std::string compareDeviceSound(const std::string &rawPath, const std::string &wavPath,
                               size_t minimumFrames) {
    WavSound rendered;
    std::string error;
    if (!readWav(wavPath, rendered, error))
        return error;
    std::ifstream file(rawPath, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    std::vector<int16_t> heard(bytes.size() / 2);
    std::memcpy(heard.data(), bytes.data(), heard.size() * 2);
    heard = fromFirstSound(heard);
    const std::vector<int16_t> expected = fromFirstSound(rendered.values);
    if (heard.size() < 2 * minimumFrames)
        return "only " + std::to_string(heard.size() / 2) + " frames of sound reached the device";
    if (heard.size() > expected.size())
        return "the device got more than the render holds";
    const auto differ = std::mismatch(heard.begin(), heard.end(), expected.begin());
    if (differ.first != heard.end())
        return "the device's frame " + std::to_string((differ.first - heard.begin()) / 2) +
               " differs from the render's";
    return "";
}
