#pragma once

// 16-bit stereo PCM WAV files at 44100 Hz: written as a stream whose sizes are
// filled in at the end, and read back whole.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The most frames a WAV file holds: its sizes are 32-bit, so the 44-byte
// header and the data together stay within 4 GiB - 1 bytes.
const int64_t largestWavFrames = (int64_t{0xffffffff} - 44) / 4;

class WavWriter {
  public:
    ~WavWriter();
    // False with a message naming the file when it can't be created.
    bool open(const std::string &path, std::string &error);
    // False (errno EFBIG) rather than pass largestWavFrames.
    bool write(const int16_t *frames, size_t frameCount);
    // Fills in the sizes and closes the file.
    bool close(std::string &error);
    size_t framesWritten() const { return frames; }

  private:
    std::FILE *file = nullptr;
    std::vector<char> buffer; // the file's, while it is open
    std::string path;
    size_t frames = 0;
};

struct WavSound {
    int32_t rate = 0;
    int channels = 0;
    std::vector<int16_t> values; // interleaved
};

// Reads a 16-bit PCM WAV file; false with a message on anything else.
bool readWav(const std::string &path, WavSound &sound, std::string &error);
