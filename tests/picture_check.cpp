// veltrane-picture-check: the share of a picture's pixels within 6/255 of the
// CPU reference of the scene, or of another picture, in every channel. The
// web page's tests compare the browser's frames with it.

#include "tests/scene_reference.h"
#include "headless/offscreen.h"
#include "media/png_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char *usage = "usage: veltrane-picture-check model FRAME ROW PICTURE.png\n"
                    "       veltrane-picture-check compare PICTURE.png OTHER.png\n"
                    "Prints the share of pixels within 6/255 of the scene's CPU reference at\n"
                    "the frame number and row (elapsed 0, the picture's size), or of OTHER.png.\n";

uint8_t storedChannel(float value) {
    return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255));
}

bool withinSixSteps(const uint8_t *a, const uint8_t *b) {
    for (int channel = 0; channel < 3; ++channel)
        if (std::abs(a[channel] - b[channel]) > 6)
            return false;
    return true;
}

// The model as an 8-bit window would store it.
RgbImage modelPicture(int frame, int row, int width, int height) {
    const reference::ReferenceImage model =
        reference::renderReference(frameStateAt(frame, 0, row, width, height), width, height);
    RgbImage picture{width, height, std::vector<uint8_t>(model.pixels.size() * 3)};
    for (size_t i = 0; i < model.pixels.size(); ++i) {
        const reference::Rgba &c = model.pixels[i].colour;
        picture.rgb[i * 3] = storedChannel(c.r);
        picture.rgb[i * 3 + 1] = storedChannel(c.g);
        picture.rgb[i * 3 + 2] = storedChannel(c.b);
    }
    return picture;
}

bool read(const char *path, RgbImage &picture) {
    std::string error;
    if (readPng(path, picture, error))
        return true;
    std::fprintf(stderr, "veltrane-picture-check: %s\n", error.c_str());
    return false;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--help" || argc != (mode == "model" ? 5 : 4) ||
        (mode != "model" && mode != "compare")) {
        std::fputs(usage, mode == "--help" ? stdout : stderr);
        return mode == "--help" ? 0 : 2;
    }
    RgbImage picture, other;
    if (!read(argv[argc - 1], picture) || (mode == "compare" && !read(argv[2], other)))
        return 1;
    if (mode == "model")
        other = modelPicture(std::atoi(argv[2]), std::atoi(argv[3]), picture.width, picture.height);
    if (other.width != picture.width || other.height != picture.height) {
        std::fprintf(stderr, "veltrane-picture-check: the pictures differ in size\n");
        return 1;
    }
    size_t close = 0;
    const size_t count = picture.rgb.size() / 3;
    for (size_t i = 0; i < count; ++i)
        close += withinSixSteps(&picture.rgb[i * 3], &other.rgb[i * 3]) ? 1 : 0;
    std::printf("%.6f\n", static_cast<double>(close) / count);
    return 0;
}
