// veltrane-capture: writes the intro as a video file, frame by frame, with the
// pictures a display at a fixed rate would show and the sound the audio
// device would play.

#include "player/settings.h"
#include "cli/arguments.h"
#include "cli/stop_signals.h"
#include "headless/display_loss.h"
#include "tools/capture/capture_timeline.h"
#include "media/encoder_thread.h"
#include "headless/offscreen.h"
#include "media/pending_file.h"
#include "cli/progress_bar.h"
#include "player/song_render.h"
#include "media/video_encoder.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

const char *usage =
    "usage: veltrane-capture OUT [--fps F] [--size WxH] [--seconds S] [--lossless] [--song FILE]\n"
    "\n"
    "Writes the intro into the video file OUT: frame i is the picture the intro\n"
    "draws as its frame number i on a display showing F frames a second (its clock\n"
    "at i * 1000 / F ms, the light on the row of the sound block heard then), and\n"
    "the sound is the song as the audio device plays it from the first frame on.\n"
    "Needs an X display (Xvfb will do; scripts/capture brings its own).\n"
    "\n"
    "  --fps F       frames a second, 1 to 240 (default 60)\n"
    "  --size WxH    picture size in pixels (default 1920x1080; even sides for MP4)\n"
    "  --seconds S   length, at most 30 minutes (default: until the song loops)\n"
    "  --lossless    FFV1 in RGB with FLAC, in Matroska: every pixel and sample exact;\n"
    "                OUT must end in .mkv (default: H.264 at CRF 18 in yuv420p with AAC,\n"
    "                in MP4, for sharing; OUT must end in .mp4)\n"
    "  --song FILE   the XM song (default: Rava64.xm in the working directory, as the\n"
    "                intro plays it)\n"
    "  --help        this text\n"
    "\n"
    "OUT is written under a temporary name beside it and renamed when complete.\n"
    "Ctrl-C ends the capture early: OUT then holds the frames done so far, playable,\n"
    "and the exit status is 130. A second Ctrl-C, SIGTERM or SIGHUP abandons it,\n"
    "leaving OUT as it was, as does any failure.\n"
    "Exit status: 0 on success, 1 on a failure while working, 2 on a usage error.\n";

const char *program = "veltrane-capture";
const int highestRate = 240;

struct Options {
    std::string output;
    std::string song = "Rava64.xm";
    int framesPerSecond = 60;
    int width = 1920;
    int height = 1080;
    double seconds = -1; // until the song loops
    bool lossless = false;
};

// The first Ctrl-C asks for a clean end and says so at once; a second one,
// SIGTERM and SIGHUP remove the temporary file and end the program.
void handleSignals(const Options &options) {
    const std::string finishing = std::string(isatty(STDERR_FILENO) ? "\n" : "") + program +
                                  ": finishing " + options.output +
                                  " with the frames done so far; Ctrl-C again abandons it\n";
    handleStopSignals(removePendingFileNow, finishing.c_str());
}

const std::atomic<bool> &interrupted = finishRequested();

// A value that is not one: a usage error.
int badValue(const std::string &option, const char *value, const char *why) {
    std::fprintf(stderr, "%s: bad %s '%s': %s\n", program, option.c_str(), value, why);
    return 2;
}

// The container follows from --lossless; the name must say the same.
bool hasExtension(const std::string &path, const char *extension) {
    const size_t length = std::strlen(extension);
    return path.size() > length && path[path.size() - length - 1] != '/' &&
           strcasecmp(path.c_str() + path.size() - length, extension) == 0;
}

bool takesValue(const std::string &option) {
    return option == "--fps" || option == "--size" || option == "--seconds" || option == "--song";
}

// Returns 0 to go on, -1 after --help, or the exit status to end with.
int parseOption(int argc, char **argv, int &i, Options &options) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
        std::fputs(usage, stdout);
        return -1;
    }
    if (takesValue(option) && i + 1 >= argc) {
        std::fprintf(stderr, "%s: %s needs a value\n", program, option.c_str());
        return 2;
    }
    if (option == "--fps") {
        const char *value = argv[++i];
        int rate = 0;
        if (!parseInt(value, 1, rate) || rate > highestRate)
            return badValue(option, value, "a whole number of frames a second from 1 to 240");
        options.framesPerSecond = rate;
    } else if (option == "--size") {
        const char *value = argv[++i];
        if (!parseSize(value, options.width, options.height))
            return badValue(option, value, "width x height in pixels, as 1920x1080");
    } else if (option == "--seconds") {
        const char *value = argv[++i];
        double seconds = 0;
        if (!parseSeconds(value, seconds) || seconds > longestLoopSeconds)
            return badValue(option, value, "a number of seconds up to 1800, as 12 or 12.5");
        options.seconds = seconds;
    } else if (option == "--song") {
        options.song = argv[++i];
    } else if (option == "--lossless") {
        options.lossless = true;
    } else if (option.rfind("-", 0) == 0 || !options.output.empty()) {
        std::fprintf(stderr, "%s: unexpected argument '%s'\n%s", program, option.c_str(), usage);
        return 2;
    } else {
        options.output = option;
    }
    return 0;
}

int parseOptions(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i)
        if (const int status = parseOption(argc, argv, i, options))
            return status;
    if (options.output.empty()) {
        std::fprintf(stderr, "%s: no output file given\n%s", program, usage);
        return 2;
    }
    const char *extension = options.lossless ? ".mkv" : ".mp4";
    if (!hasExtension(options.output, extension)) {
        std::fprintf(stderr, "%s: %s: the name must end in %s for %s%s\n", program,
                     options.output.c_str(), extension, videoFormatName(options.lossless),
                     options.lossless ? "" : " (or add --lossless for a .mkv)");
        return 2;
    }
    // yuv420p halves the colour resolution both ways.
    if (!options.lossless && (options.width % 2 || options.height % 2)) {
        std::fprintf(stderr, "%s: bad --size '%dx%d': MP4 needs even sides (or use --lossless)\n",
                     program, options.width, options.height);
        return 2;
    }
    return 0;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct CaptureTimes {
    int64_t frames = 0;
    double drawing = 0;  // drawing and reading back the pictures
    double encoding = 0; // converting, encoding and writing, on its own thread
    double total = 0;
};

// Draws and hands over frames until all are done, Ctrl-C comes or encoding
// has failed.
void captureFrames(const Options &options, const Soundtrack &soundtrack, int64_t frameCount,
                   const OffscreenTarget &target, EncoderThread &encoder, CaptureTimes &times) {
    const int rate = options.framesPerSecond;
    const int64_t soundCount = soundFrames(soundtrack);
    ProgressBar progress(frameCount, "frames");
    CarriedFrame carried;
    CapturedFrame captured;
    for (int64_t frame = 0; frame < frameCount && !interrupted; ++frame) {
        checkDisplay(); // drawing offscreen would not notice a lost display
        const auto start = std::chrono::steady_clock::now();
        const int32_t elapsedMs = elapsedMsAt(frame, rate);
        renderOffscreen(target, frameStateAt(static_cast<int>(frame), elapsedMs,
                                             audibleRowAt(soundtrack, elapsedMs), target.width,
                                             target.height, carried));
        readRgba8BottomFirst(target, captured.rgba);
        times.drawing += secondsSince(start);
        const int64_t from = soundStartOf(frame, rate, soundCount);
        const int64_t to = soundStartOf(frame + 1, rate, soundCount);
        captured.sound.assign(soundtrack.pcm.begin() + 2 * from, soundtrack.pcm.begin() + 2 * to);
        if (!encoder.push(captured))
            break;
        times.frames = frame + 1;
        progress.update(times.frames);
    }
    progress.finish();
}

// The soundtrack and the GL target; false after printing why not.
bool prepare(const Options &options, Soundtrack &soundtrack, OffscreenTarget &target) {
    std::string error;
    Song *song = loadSongFile(options.song, error);
    bool ready = song != nullptr;
    ready = ready && checkEncoders(options.lossless, error);
    // The sound first: all of it is held, and it takes a second at most.
    if (ready && !renderSoundtrack(song, options.seconds, soundtrack)) {
        error = "not enough memory for the sound of " + options.song;
        ready = false;
    }
    if (ready && soundFrames(soundtrack) == 0) {
        error = "nothing to capture: the sound is 0 seconds long";
        ready = false;
    }
    ready = ready && openOffscreenContext(program, error);
    if (ready)
        endOnLostDisplay(program, removePendingFileNow);
    ready = ready && createOffscreenTarget(options.width, options.height, OffscreenFormat::rgba8,
                                           target, error);
    if (song)
        freeSong(song);
    if (!ready)
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    return ready;
}

void report(const Options &options, const Soundtrack &soundtrack, const CaptureTimes &times) {
    const double seconds = static_cast<double>(times.frames) / options.framesPerSecond;
    std::printf("%s: %lld frames at %d fps (%.3f s), %dx%d, %s%s\n", options.output.c_str(),
                static_cast<long long>(times.frames), options.framesPerSecond, seconds,
                options.width, options.height, videoFormatName(options.lossless),
                options.seconds >= 0 || interrupted ? ""
                : soundtrack.looped                 ? ", up to where the song loops"
                                                    : ", the song did not loop within 30 minutes");
    const double perFrame = times.frames > 0 ? 1000.0 / times.frames : 0;
    std::printf("drawing %.1f s (%.1f ms a frame), encoding %.1f s (%.1f ms a frame), "
                "%.1f s in all\n",
                times.drawing, times.drawing * perFrame, times.encoding, times.encoding * perFrame,
                times.total);
}

int capture(const Options &options, const Soundtrack &soundtrack, const OffscreenTarget &target,
            PendingFile &file) {
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    VideoSettings settings{file.temporary, options.lossless, options.width, options.height,
                           options.framesPerSecond};
    VideoEncoder *encoder = openVideoEncoder(settings, error);
    CaptureTimes times;
    bool done = encoder != nullptr;
    if (done) {
        EncoderThread thread(encoder);
        std::string drawingError;
        try {
            captureFrames(options, soundtrack,
                          framesToCover(soundFrames(soundtrack), options.framesPerSecond), target,
                          thread, times);
        } catch (const std::bad_alloc &) {
            drawingError = "not enough memory for " + std::to_string(options.width) + "x" +
                           std::to_string(options.height) + " pictures";
        }
        done = thread.finish(error);
        if (!drawingError.empty()) {
            error = drawingError;
            done = false;
        }
        const auto finishing = std::chrono::steady_clock::now();
        done = done && finishVideo(encoder, error);
        times.encoding = thread.encodingSeconds() + secondsSince(finishing);
    }
    closeVideoEncoder(encoder);
    if (done && times.frames == 0) {
        error = "interrupted before the first frame; nothing written";
        done = false;
    }
    // The file is complete only with the display still there to the end.
    checkDisplay();
    if (!done || !commitPendingFile(file, error)) {
        nameFinalFile(file, error);
        discardPendingFile(file);
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return interrupted ? 130 : 1;
    }
    times.total = secondsSince(start);
    report(options, soundtrack, times);
    if (interrupted) {
        std::fprintf(stderr,
                     "%s: interrupted: %s holds the first %lld frames (%.3f s) and is playable\n",
                     program, options.output.c_str(), static_cast<long long>(times.frames),
                     static_cast<double>(times.frames) / options.framesPerSecond);
        return 130;
    }
    return 0;
}

int run(const Options &options, PendingFile &file) {
    // Whether OUT can be written is known before the long preparations.
    std::string error;
    if (!createPendingFile(options.output, file, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    Soundtrack soundtrack;
    OffscreenTarget target;
    if (!prepare(options, soundtrack, target)) {
        discardPendingFile(file);
        return 1;
    }
    return capture(options, soundtrack, target, file);
}

} // namespace

int main(int argc, char **argv) {
    // The credits write their fly-in values to the intro's console; here
    // standard output carries the report alone.
    std::cout.setstate(std::ios_base::badbit);
    Options options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;
    handleSignals(options);
    PendingFile file;
    try {
        return run(options, file);
    } catch (const std::bad_alloc &) {
        discardPendingFile(file);
        std::fprintf(stderr, "%s: not enough memory\n", program);
        return 1;
    }
}
