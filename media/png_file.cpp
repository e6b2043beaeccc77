#include "media/png_file.h"

#include <png.h>

namespace {

std::string describe(const std::string &path, const png_image &png) {
    return path + ": " + png.message;
}

} // namespace

bool writePng(const std::string &path, const RgbImage &image, std::string &error) {
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr)) {
        error = describe(path, png);
        return false;
    }
    return true;
}

bool readPng(const std::string &path, RgbImage &image, std::string &error) {
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = describe(path, png);
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgb.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) {
        error = describe(path, png);
        png_image_free(&png);
        return false;
    }
    return true;
}
