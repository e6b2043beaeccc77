#pragma once

// Writing pictures and 16-bit stereo sound at 44100 Hz into a video file
// through FFmpeg's libraries: H.264 and AAC in MP4 for sharing, or FFV1 in
// RGB and FLAC in Matroska, which keep every pixel and every sample.

#include <cstddef>
#include <cstdint>
#include <string>

struct VideoSettings {
    std::string path; // the file to write; its name does not choose the format
    bool lossless = false;
    int width = 0;
    int height = 0;
    int framesPerSecond = 0;
};

struct VideoEncoder;

// False, with error naming what is missing, when this libavcodec lacks an
// encoder the format needs.
bool checkEncoders(bool lossless, std::string &error);

// Creates the file and writes its header; null with a message on failure.
VideoEncoder *openVideoEncoder(const VideoSettings &settings, std::string &error);

// One picture, width x height RGBA pixels with the top row first, or the
// bottom row first (as OpenGL reads them) when bottomFirst.
bool encodePicture(VideoEncoder *encoder, const uint8_t *rgba, bool bottomFirst,
                   std::string &error);

// Sound to play from where the last call ended: count interleaved stereo frames.
bool encodeSound(VideoEncoder *encoder, const int16_t *frames, size_t count, std::string &error);

// Drains the encoders and completes the file, which is then playable.
bool finishVideo(VideoEncoder *encoder, std::string &error);

// Releases the encoder, finished or not, and closes its file.
void closeVideoEncoder(VideoEncoder *encoder);

const char *videoFormatName(bool lossless);
