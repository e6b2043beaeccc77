#pragma once

// Encoding on a thread of its own, so the next picture draws while the last
// one encodes. One picture may wait while another encodes; a third waits
// with its drawer.

#include "media/video_encoder.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct CapturedFrame {
    std::vector<uint8_t> rgba;  // the picture, bottom row first as OpenGL reads it
    std::vector<int16_t> sound; // the stereo frames that play from its start on
};

class EncoderThread {
  public:
    explicit EncoderThread(VideoEncoder *encoder);
    ~EncoderThread();
    EncoderThread(const EncoderThread &) = delete;
    EncoderThread &operator=(const EncoderThread &) = delete;

    // Hands frame over, waiting while another one waits, and puts in its
    // place one already encoded (or an empty one), whose storage the caller
    // fills again: a picture is megabytes, and fresh memory for every frame
    // costs more than copying it. False once encoding has failed.
    bool push(CapturedFrame &frame);
    // Encodes what was handed over and ends the thread; false with the
    // first failure's message.
    bool finish(std::string &error);
    double encodingSeconds() const { return busySeconds; }

  private:
    void run();

    VideoEncoder *encoder;
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<CapturedFrame> waiting;
    std::vector<CapturedFrame> encoded; // for push to hand back
    bool closing = false;
    bool failed = false;
    std::string failure;
    double busySeconds = 0; // read after the thread has ended
    std::thread worker;
};
