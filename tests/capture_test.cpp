// veltrane-capture's files, decoded with libavcodec, against the frame tool's
// pictures and xm2wav's samples.

#include <gtest/gtest.h>

#include "child_process.h"
#include "media/png_file.h"
#include "media/wav_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <thread>

namespace {

struct ToolRun {
    ChildProcess process;
    std::optional<int> status;

    ToolRun(const char *program, const std::vector<std::string> &arguments) {
        process.start(program, arguments);
        status = process.waitForExit(std::chrono::milliseconds(120000));
    }
    std::string path(const std::string &name) const { return process.directory() + "/" + name; }
};

struct Decoded {
    std::vector<std::string> codecs;            // one per stream
    std::vector<std::vector<uint8_t>> pictures; // RGB, top row first
    std::vector<int16_t> sound;                 // interleaved stereo, when 16-bit
    int64_t soundFrames = 0;
    double seconds = 0;
};

void keep(const AVFrame *frame, Decoded &decoded) {
    decoded.soundFrames += frame->nb_samples;
    const int16_t *values = reinterpret_cast<const int16_t *>(frame->data[0]);
    if (frame->format == AV_SAMPLE_FMT_S16) // FLAC's, interleaved
        decoded.sound.insert(decoded.sound.end(), values, values + 2 * frame->nb_samples);
    if (frame->nb_samples > 0)
        return;
    SwsContext *scaler = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format),
                                        frame->width, frame->height, AV_PIX_FMT_RGB24,
                                        SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    sws_setColorspaceDetails(scaler, sws_getCoefficients(frame->colorspace), 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    std::vector<uint8_t> rgb(static_cast<size_t>(frame->width) * frame->height * 3);
    uint8_t *const planes[] = {rgb.data()};
    const int strides[] = {3 * frame->width};
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    sws_freeContext(scaler);
    decoded.pictures.push_back(std::move(rgb));
}

Decoded decode(const std::string &path) {
    Decoded decoded;
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return decoded;
    decoded.seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    std::vector<AVCodecContext *> codecs;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters *parameters = format->streams[i]->codecpar;
        decoded.codecs.push_back(avcodec_get_name(parameters->codec_id));
        codecs.push_back(avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id)));
        avcodec_parameters_to_context(codecs[i], parameters);
        EXPECT_EQ(avcodec_open2(codecs[i], nullptr, nullptr), 0);
    }
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    for (bool more = true; more; av_packet_unref(packet)) {
        more = av_read_frame(format, packet) >= 0;
        for (unsigned i = 0; i < codecs.size(); ++i)
            if (!more || static_cast<int>(i) == packet->stream_index) {
                avcodec_send_packet(codecs[i], more ? packet : nullptr);
                while (avcodec_receive_frame(codecs[i], frame) == 0)
                    keep(frame, decoded);
            }
    }
    for (AVCodecContext *codec : codecs)
        avcodec_free_context(&codec);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return decoded;
}

// xm2wav renders the soundtrack's first two seconds and lists each block's row.
struct Soundtrack {
    ToolRun run{TOOLS "/xm2wav",
                {SOUNDTRACK, "sound.wav", "--seconds", "2", "--positions", "rows.txt"}};
    WavSound sound;
    std::vector<int> rows;

    Soundtrack() {
        std::string error;
        EXPECT_TRUE(readWav(run.path("sound.wav"), sound, error)) << error;
        std::ifstream lines(run.path("rows.txt"));
        for (int block, order, row, ms; lines >> block >> order >> row >> ms;)
            rows.push_back(row);
    }
    // The frame tool's frame i at 30 fps: its clock, and the row heard then.
    std::vector<uint8_t> picture(int frame, const std::string &size) const {
        const int elapsedMs = frame * 1000 / 30;
        const int row = rows.at(static_cast<size_t>(elapsedMs * 44100 / 1000 / 884));
        ToolRun tool(TOOLS "/veltrane-frame",
                     {"--frame", std::to_string(frame), "--elapsed", std::to_string(elapsedMs),
                      "--row", std::to_string(row), "--size", size, "f.png"});
        RgbImage image;
        std::string error;
        EXPECT_TRUE(readPng(tool.path("f.png"), image, error)) << error;
        return image.rgb;
    }
};

// Two seconds at 30 fps, decoded; Matroska is the lossless one.
Decoded captureTwoSeconds(const std::string &output, const char *size) {
    std::vector<std::string> arguments = {output,      "--size", size,     "--fps",   "30",
                                          "--seconds", "2",      "--song", SOUNDTRACK};
    if (output.find(".mkv") != std::string::npos)
        arguments.push_back("--lossless");
    ToolRun run(TOOLS "/veltrane-capture", arguments);
    EXPECT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    return decode(run.path(output));
}

TEST(Capture, LosslessHoldsTheFrameToolsPicturesAndXm2wavsSamples) {
    const Decoded video = captureTwoSeconds("intro.mkv", "320x240");
    EXPECT_EQ(video.codecs, (std::vector<std::string>{"ffv1", "flac"}));
    ASSERT_EQ(video.pictures.size(), 60u);
    const Soundtrack soundtrack;
    for (int frame : {0, 1, 29, 59})
        EXPECT_TRUE(soundtrack.picture(frame, "320x240") == video.pictures[frame]) << frame;
    EXPECT_TRUE(video.sound == soundtrack.sound.values);
}

// At the default size: at 320x240 yuv420p's halved colour alone stays below 35 dB.
TEST(Capture, SharesH264AndAacInMp4StartingTogether) {
    const Decoded video = captureTwoSeconds("intro.mp4", "1920x1080");
    EXPECT_EQ(video.codecs, (std::vector<std::string>{"h264", "aac"}));
    ASSERT_EQ(video.pictures.size(), 60u);
    EXPECT_NEAR(video.seconds, 2.0, 1.0 / 30);
    const std::vector<uint8_t> expected = Soundtrack().picture(30, "1920x1080");
    double squares = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        squares += std::pow(expected[i] - video.pictures[30][i], 2);
    EXPECT_GE(10 * std::log10(255.0 * 255 * static_cast<double>(expected.size()) / squares), 35);
    // The file's timing cuts the AAC priming; the last 1024-frame packet decodes whole.
    EXPECT_GE(video.soundFrames, 88200);
    EXPECT_LT(video.soundFrames, 88200 + 1024);
}

// OUT as it was ("old" in v.mp4 and v.mkv), and nothing else left in the folder.
void expectNothingLeft(const ChildProcess &capture, const std::string &row) {
    for (const auto &entry : std::filesystem::directory_iterator(capture.directory())) {
        const std::string name = entry.path().filename();
        if (name == "stdout" || name == "stderr" || name == "song.xm") // song.xm may be a pipe
            continue;
        std::ifstream file(entry.path());
        EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(file), {}) == "old")
            << row << ": " << name;
    }
}

void startWithOldFiles(ChildProcess &capture, const std::string &program,
                       const std::vector<std::string> &arguments) {
    for (const char *name : {"/v.mp4", "/v.mkv"})
        std::ofstream(capture.directory() + name) << "old";
    capture.start(program, arguments);
}

TEST(Capture, RefusesWhatItCannotDoLeavingNothingBehind) {
    const std::string capture = TOOLS "/veltrane-capture";
    // The encoders refuse pictures of 2^28 pixels that OpenGL accepts.
    const std::vector<std::pair<std::vector<std::string>, const char *>> cases = {
        {{capture, "no/such/folder/v.mp4", "--song", SOUNDTRACK}, "no/such/folder/v.mp4"},
        {{capture, "v.mp4", "--song", "missing.xm"}, "missing.xm"},
        {{capture, "v.mp4", "--song", "/dev/null"}, "/dev/null: not a song"},
        {{capture, "v.mkv", "--lossless", "--size", "16384x16384", "--seconds", "0.02", "--song",
          SOUNDTRACK},
         "ffv1 encoder refuses 16384x16384"},
        {{capture, "v.mp4", "--size", "16384x16384", "--seconds", "0.02", "--song", SOUNDTRACK},
         "libx264 encoder refuses 16384x16384"},
#ifndef SANITIZED
        // 30 minutes of sound take 317 MB, more than a 400 MB address space has left.
        {{"/bin/sh", "-c", "ulimit -v 400000; exec \"$0\" \"$@\"", capture, "v.mkv", "--lossless",
          "--seconds", "1800", "--song", SOUNDTRACK},
         "not enough memory for the sound"},
#endif
    };
    for (const auto &[arguments, named] : cases) {
        ChildProcess run;
        startWithOldFiles(run, arguments[0], {arguments.begin() + 1, arguments.end()});
        EXPECT_EQ(run.waitForExit(std::chrono::milliseconds(120000)), std::optional<int>(1));
        EXPECT_NE(run.errors().find(named), std::string::npos) << named << ": " << run.errors();
        expectNothingLeft(run, named);
    }
}

// The song is a pipe nobody writes to: the capture waits there, its temporary file made,
// in a known state for each signal. The first Ctrl-C only asks it to finish.
TEST(Capture, TermHangUpAndASecondCtrlCEndItByTheSignalLeavingNothing) {
    for (const std::vector<int> &signals :
         std::vector<std::vector<int>>{{SIGTERM}, {SIGHUP}, {SIGINT, SIGINT}}) {
        ChildProcess capture;
        mkfifo((capture.directory() + "/song.xm").c_str(), 0600);
        startWithOldFiles(capture, TOOLS "/veltrane-capture",
                          {"v.mkv", "--lossless", "--song", "song.xm"});
        const auto waitFor = [&](const std::function<bool()> &condition) {
            for (int tries = 0; tries < 1000 && !condition(); ++tries)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        };
        waitFor([&] {
            for (const auto &entry : std::filesystem::directory_iterator(capture.directory()))
                if (entry.path().filename().string().rfind(".v.mkv.partial-", 0) == 0)
                    return true;
            return false;
        });
        for (size_t k = 0; k < signals.size(); ++k) {
            if (k > 0) // once the first Ctrl-C has been taken
                waitFor([&] { return capture.errors().find("Ctrl-C again") != std::string::npos; });
            capture.signal(signals[k]);
        }
        EXPECT_TRUE(capture.waitForExit(std::chrono::milliseconds(10000)));
        EXPECT_EQ(capture.endSignal(), signals.back()) << capture.errors();
        expectNothingLeft(capture, strsignal(signals.back()));
    }
}

TEST(Capture, CtrlCEndsWithAPlayableFileOfTheFramesDone) {
    ToolRun shell("/bin/sh", {"-c",
                              "\"$0\" v.mkv --lossless --size 64x48 --fps 30 --seconds 600 "
                              "--song \"$1\" & sleep 3; kill -INT $!; wait $!",
                              TOOLS "/veltrane-capture", SOUNDTRACK});
    EXPECT_EQ(shell.status, std::optional<int>(130));
    // Said at once, and the finished file reported after it.
    const std::string errors = shell.process.errors();
    EXPECT_LT(errors.find("finishing v.mkv"), errors.find("interrupted: v.mkv holds"));
    EXPECT_NE(errors.find("Ctrl-C again abandons it"), std::string::npos) << errors;
    const Decoded video = decode(shell.path("v.mkv"));
    EXPECT_GT(video.pictures.size(), 0u);
    EXPECT_EQ(video.soundFrames, video.pictures.size() * 44100 / 30); // to the last frame's end
}

// A private X server that ends mid-capture: the capture fails cleanly.
TEST(Capture, ALostDisplayFailsLeavingNothing) {
    ChildProcess shell;
    startWithOldFiles(shell, "/bin/sh",
                      {"-c",
                       "Xvfb -displayfd 3 -screen 0 320x240x24 -nolisten tcp 3>n 2>/dev/null & "
                       "x=$!; while [ ! -s n ]; do sleep 0.05; done; d=$(head -n 1 n); rm n; "
                       "DISPLAY=:$d \"$0\" v.mkv --lossless --size 64x48 --seconds 600 "
                       "--song \"$1\" & c=$!; sleep 2; kill $x; wait $c",
                       TOOLS "/veltrane-capture", SOUNDTRACK});
    EXPECT_EQ(shell.waitForExit(std::chrono::milliseconds(60000)), std::optional<int>(1));
    EXPECT_NE(shell.errors().find("lost the X display"), std::string::npos) << shell.errors();
    expectNothingLeft(shell, "lost display");
}

} // namespace
