#include "media/wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const int32_t rate = 44100;
const int channels = 2;
const int bytesPerFrame = 4;
const long headerBytes = 44;
const size_t writeBufferBytes = size_t{1} << 20;

void putU32(uint8_t *at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void putU16(uint8_t *at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

uint32_t u32At(const uint8_t *at) {
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

uint16_t u16At(const uint8_t *at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

void fillHeader(uint8_t *header, uint32_t dataBytes) {
    std::memcpy(header, "RIFF", 4);
    putU32(header + 4, 36 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    putU32(header + 16, 16);
    putU16(header + 20, 1); // PCM
    putU16(header + 22, channels);
    putU32(header + 24, rate);
    putU32(header + 28, rate * bytesPerFrame);
    putU16(header + 32, bytesPerFrame);
    putU16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    putU32(header + 40, dataBytes);
}

std::string systemError(const std::string &path) {
    return path + ": " + std::strerror(errno);
}

} // namespace

WavWriter::~WavWriter() {
    if (file)
        std::fclose(file);
}

bool WavWriter::open(const std::string &target, std::string &error) {
    path = target;
    file = std::fopen(path.c_str(), "wb");
    // Blocks of 3.5 KB come one by one: a large buffer saves a write call for each.
    buffer.resize(writeBufferBytes);
    if (file)
        std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    uint8_t header[headerBytes];
    fillHeader(header, 0);
    if (!file || std::fwrite(header, 1, headerBytes, file) != headerBytes) {
        error = systemError(path);
        return false;
    }
    return true;
}

bool WavWriter::write(const int16_t *values, size_t frameCount) {
    // Past the limit the header's sizes would wrap around.
    if (frameCount > static_cast<size_t>(largestWavFrames) - frames) {
        errno = EFBIG;
        return false;
    }
    // The values are stored little-endian, as this machine holds them.
    if (std::fwrite(values, bytesPerFrame, frameCount, file) != frameCount)
        return false;
    frames += frameCount;
    return true;
}

bool WavWriter::close(std::string &error) {
    static_assert(headerBytes + largestWavFrames * bytesPerFrame <= 0xffffffff);
    uint8_t header[headerBytes];
    fillHeader(header, static_cast<uint32_t>(frames * bytesPerFrame));
    const bool written = std::fseek(file, 0, SEEK_SET) == 0 &&
                         std::fwrite(header, 1, headerBytes, file) == headerBytes;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (!written || !closed) {
        error = systemError(path);
        return false;
    }
    return true;
}

bool readWav(const std::string &path, WavSound &sound, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = systemError(path);
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);
    if (bytes.size() < headerBytes || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVEfmt ", 8) != 0 || u16At(bytes.data() + 20) != 1 ||
        u16At(bytes.data() + 34) != 16 || std::memcmp(bytes.data() + 36, "data", 4) != 0) {
        error = path + ": not a 16-bit PCM WAV file";
        return false;
    }
    sound.channels = u16At(bytes.data() + 22);
    sound.rate = static_cast<int32_t>(u32At(bytes.data() + 24));
    const size_t dataBytes = std::min<size_t>(u32At(bytes.data() + 40), bytes.size() - headerBytes);
    sound.values.resize(dataBytes / 2);
    for (size_t k = 0; k < sound.values.size(); ++k)
        sound.values[k] = static_cast<int16_t>(u16At(bytes.data() + headerBytes + 2 * k));
    return true;
}
