// veltrane-frame: draws one frame of the intro into a PNG file.

#include "cli/arguments.h"
#include "headless/display_loss.h"
#include "headless/offscreen.h"
#include "media/png_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

const char *usage =
    "usage: veltrane-frame [--frame N] [--elapsed MS] [--row R] [--size WxH] OUT.png\n"
    "\n"
    "Draws the picture the intro shows as its frame number N (counted from 0)\n"
    "into OUT.png, offscreen. Needs an X display (Xvfb will do).\n"
    "\n"
    "  --frame N     frame number; the light and the camera advance per frame (default 0)\n"
    "  --elapsed MS  milliseconds since the first frame, for the text overlays (default 0)\n"
    "  --row R       the audible pattern row, which sets the light's height (default 0)\n"
    "  --size WxH    picture size in pixels (default 933x700)\n"
    "  --help        this text\n"
    "\n"
    "Numbers are plain decimal digits.\n"
    "Exit status: 0 on success, 1 on a failure while working, 2 on a usage error.\n";

struct Options {
    int frame = 0;
    int elapsedMs = 0;
    int row = 0;
    int width = 933;
    int height = 700;
    std::string output;
};

// Returns 0 to go on, or the exit status to end with.
int parseOptions(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(usage, stdout);
            return -1;
        }
        const bool takesValue =
            option == "--frame" || option == "--elapsed" || option == "--row" || option == "--size";
        if (takesValue && i + 1 >= argc) {
            std::fprintf(stderr, "veltrane-frame: %s needs a value\n", option.c_str());
            return 2;
        }
        bool valid = true;
        if (option == "--frame")
            valid = parseInt(argv[++i], 0, options.frame);
        else if (option == "--elapsed")
            valid = parseInt(argv[++i], 0, options.elapsedMs);
        else if (option == "--row")
            valid = parseInt(argv[++i], 0, options.row);
        else if (option == "--size")
            valid = parseSize(argv[++i], options.width, options.height);
        else if (option.rfind("-", 0) == 0 || !options.output.empty())
            valid = false;
        else
            options.output = option;
        if (!valid) {
            std::fprintf(stderr, "veltrane-frame: %s%s '%s'\n%s",
                         takesValue ? "bad " : "unexpected argument",
                         takesValue ? option.c_str() : "", argv[i], usage);
            return 2;
        }
    }
    if (options.output.empty()) {
        std::fprintf(stderr, "veltrane-frame: no output file given\n%s", usage);
        return 2;
    }
    return 0;
}

RgbImage dropAlpha(const std::vector<uint8_t> &rgba, int width, int height) {
    RgbImage image;
    image.width = width;
    image.height = height;
    image.rgb.resize(static_cast<size_t>(width) * height * 3);
    for (size_t pixel = 0; pixel < static_cast<size_t>(width) * height; ++pixel)
        for (int channel = 0; channel < 3; ++channel)
            image.rgb[pixel * 3 + channel] = rgba[pixel * 4 + channel];
    return image;
}

} // namespace

// Draws the frame and writes it; false with error.
bool drawFrameFile(const Options &options, std::string &error) {
    OffscreenTarget target;
    if (!openOffscreenContext("veltrane-frame", error))
        return false;
    endOnLostDisplay("veltrane-frame", nullptr);
    if (!createOffscreenTarget(options.width, options.height, OffscreenFormat::rgba8, target,
                               error))
        return false;
    renderOffscreen(target, frameStateAt(options.frame, options.elapsedMs, options.row,
                                         options.width, options.height));
    RgbImage image;
    try {
        image = dropAlpha(readRgba8(target), options.width, options.height);
    } catch (const std::bad_alloc &) {
        error = "not enough memory for a " + std::to_string(options.width) + "x" +
                std::to_string(options.height) + " picture";
        return false;
    }
    // Drawn offscreen, the picture needed no display: is it still there?
    checkDisplay();
    return writePng(options.output, image, error);
}

int main(int argc, char **argv) {
    Options options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;
    std::string error;
    if (!drawFrameFile(options, error)) {
        std::fprintf(stderr, "veltrane-frame: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
