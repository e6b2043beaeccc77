#include "media/encoder_thread.h"

#include <chrono>

EncoderThread::EncoderThread(VideoEncoder *target)
    : encoder(target), worker(&EncoderThread::run, this) {}

EncoderThread::~EncoderThread() {
    std::string ignored;
    finish(ignored);
}

bool EncoderThread::push(CapturedFrame &frame) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !waiting || failed; });
    if (failed)
        return false;
    waiting = std::move(frame);
    frame = CapturedFrame{};
    if (!encoded.empty()) {
        frame = std::move(encoded.back());
        encoded.pop_back();
    }
    changed.notify_all();
    return true;
}

bool EncoderThread::finish(std::string &error) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        closing = true;
        changed.notify_all();
    }
    if (worker.joinable())
        worker.join();
    error = failure;
    return !failed;
}

void EncoderThread::run() {
    for (CapturedFrame frame;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (!frame.rgba.empty())
                encoded.push_back(std::move(frame));
            changed.wait(lock, [this] { return waiting || closing; });
            if (!waiting)
                return;
            frame = std::move(*waiting);
            waiting.reset();
            changed.notify_all();
        }
        const auto start = std::chrono::steady_clock::now();
        std::string error;
        const bool done = encodePicture(encoder, frame.rgba.data(), true, error) &&
                          encodeSound(encoder, frame.sound.data(), frame.sound.size() / 2, error);
        busySeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!done) {
            std::lock_guard<std::mutex> lock(mutex);
            failed = true;
            failure = error;
            changed.notify_all();
            return;
        }
    }
}
