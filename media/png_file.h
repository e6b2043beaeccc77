#pragma once

// Reading and writing 8-bit RGB PNG pictures, rows top first.

#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // width * height * 3 bytes
};

// On failure the result is false and error names the file and the problem.
bool writePng(const std::string &path, const RgbImage &image, std::string &error);
bool readPng(const std::string &path, RgbImage &image, std::string &error);
