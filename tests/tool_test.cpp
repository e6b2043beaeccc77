// xm2wav end to end on builder songs and the soundtrack, and the composer. A tick
// lasts floor(44100 x 2.5 / bpm) frames, 882 at 125 BPM; a block 884.

#include <gtest/gtest.h>

#include "child_process.h"
#include "xm_builder/xm_builder.h"
#include "media/wav_file.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using std::chrono::milliseconds;
const double pi = 3.14159265358979323846;

struct Position {
    int block, order, row, ms;
};

// xm2wav run on a song file, or on a song written into its folder first.
struct Render {
    ChildProcess process;
    std::optional<int> status;
    std::vector<int> left, right;
    std::vector<Position> positions;

    Render(const std::string &song, std::vector<std::string> arguments,
           const XmSong *xm = nullptr) {
        if (xm)
            writeXm(process.directory() + "/" + song, *xm);
        arguments.insert(arguments.begin(), {song, "out.wav"});
        process.start(XM2WAV, arguments);
        status = process.waitForExit(milliseconds(300000)); // a sanitizer build is slow
        WavSound sound;
        std::string error;
        if (status == std::optional<int>(0) &&
            readWav(process.directory() + "/out.wav", sound, error))
            for (size_t k = 0; k + 1 < sound.values.size(); k += 2) {
                left.push_back(sound.values[k]);
                right.push_back(sound.values[k + 1]);
            }
        std::ifstream file(process.directory() + "/positions.txt");
        Position p;
        while (file >> p.block >> p.order >> p.row >> p.ms)
            positions.push_back(p);
    }
    size_t frames() const { return left.size(); }
};

// One cycle of a sine over 64 frames, looped, played by C-4 on row 0 at 8363 Hz.
std::vector<int> sineCycle() {
    std::vector<int> values;
    for (int i = 0; i < 64; ++i)
        values.push_back(static_cast<int>(std::lround(16000 * std::sin(2 * pi * i / 64))));
    return values;
}

XmSong sineSong(int rows = 64, int patterns = 1) {
    XmSong song;
    song.channels = 1;
    XmSample sample;
    sample.values = sineCycle();
    sample.sixteenBit = true;
    sample.loop = xmForwardLoop;
    sample.loopLength = 64;
    song.instruments = {instrumentWith(sample)};
    song.orders.clear();
    for (int p = 0; p < patterns; ++p) {
        song.orders.push_back(static_cast<uint8_t>(p));
        song.patterns.push_back(blankPattern(rows, 1));
        song.patterns.back().at(0, 0) = xmCell("C-4 01");
    }
    return song;
}

// A note started at frame 0 on its frame k, before the first loop turn: k steps of
// floor(8363 x 2^32 / 44100) (the lowest fraction bit cleared before each), the sample
// interpolated linearly, the gain rising from 0 to 63/255 over 128 frames.
double noteFrame(int k) {
    static const std::vector<int> sine = sineCycle();
    const uint64_t step = (uint64_t{8363} << 32) / 44100;
    uint64_t position = 0;
    for (int i = 0; i < k; ++i)
        position = (position & ~uint64_t{1}) + step;
    const size_t index = static_cast<size_t>(position >> 32);
    const double weight = static_cast<double>(static_cast<uint32_t>(position) >> 1) / 2147483648.0;
    return (sine[index] + weight * (sine[index + 1] - sine[index])) * 63.0 / 255 *
           std::min(k / 128.0, 1.0);
}

TEST(Xm2Wav, PlaysTheReferenceNoteAtItsPitchAndLevel) {
    const XmSong song = sineSong();
    Render render("sine.xm", {"--seconds", "5"}, &song);
    ASSERT_EQ(render.status, std::optional<int>(0)) << render.process.errors();
    ASSERT_EQ(render.frames(), 5u * 44100);
    // 8363 Hz over a 64-frame cycle repeats at 130.671875 Hz, measured between falling zero
    // crossings from second 1 to 4: each placed within 0.007 frame over 130000 frames, while
    // 8362 Hz would be 0.016 Hz lower.
    for (const std::vector<int> *side : {&render.left, &render.right}) {
        std::vector<double> crossings;
        for (size_t n = 44100; n < 4 * 44100; ++n)
            if ((*side)[n] > 0 && (*side)[n + 1] <= 0)
                crossings.push_back(n + static_cast<double>((*side)[n]) /
                                            ((*side)[n] - (*side)[n + 1]));
        ASSERT_GE(crossings.size(), 391u);
        EXPECT_NEAR((crossings.size() - 1) / (crossings.back() - crossings.front()) * 44100,
                    8363.0 / 64, 0.002);
    }
    // Volume trunc(127.5) = 127 centred: gains 16256 / 255 and 16129 / 255, both 63, so the
    // sides are equal; the peaks 16000 x 63 / 255 = 3952.9 (the play position passes close
    // to frames 16 and 48 of the sample).
    EXPECT_EQ(render.left, render.right);
    const auto [lowest, highest] =
        std::minmax_element(render.left.begin() + 44100, render.left.end());
    EXPECT_NEAR(*highest, 3953, 1);
    EXPECT_NEAR(*lowest, -3953, 1);
}

TEST(Xm2Wav, StartsNotesOnTheirRowsWithARampAndStopsWhereTheSongLoops) {
    // Row 2 (frame 2 x 6 x 882 = 10584) releases the note (no envelope: silent after the
    // 128-frame ramp down); order 1 (21168) starts it again. After two orders of four rows,
    // 42336 frames, play returns to an order already played: 47 blocks and one of 788 frames.
    XmSong song = sineSong(4, 2);
    song.patterns[0].at(2, 0) = xmCell("off");
    Render render("notes.xm", {"--positions", "positions.txt"}, &song);
    ASSERT_EQ(render.frames(), 42336u) << render.process.errors();
    EXPECT_NE(render.process.output().find("loops"), std::string::npos) << render.process.output();
    for (int start : {0, 21168})
        for (int k = 0; k < 300; ++k)
            ASSERT_NEAR(render.left[start + k], noteFrame(k), 0.51) << k << " of " << start;
    EXPECT_NE(render.left[10584], 0);
    EXPECT_TRUE(std::all_of(render.left.begin() + 10584 + 128, render.left.begin() + 21169,
                            [](int v) { return v == 0; }));
    // Block 0: 882 frames (trunc of a hair under 20 ms: 19), a tick, 2 frames; block 1: 880
    // and 4 frames, 38. Block 5 (frames 4420..5303) holds row 1's first tick at 5292; block
    // 46 (40664..41547) tick 47 at 41454, the last of row 7: order 1, row 3.
    ASSERT_EQ(render.positions.size(), 48u);
    std::vector<int> lines;
    for (int k : {0, 1, 5, 46}) {
        const Position &p = render.positions[k];
        lines.insert(lines.end(), {p.block, p.order, p.row, k < 2 ? p.ms : 0});
    }
    EXPECT_EQ(lines, (std::vector<int>{0, 0, 0, 19, 1, 0, 0, 38, 5, 0, 1, 0, 46, 1, 3, 0}));
}

// Every tool: usage errors (an unknown option, a missing or malformed value, a name that
// does not fit the format, more than a WAV file holds) end with 2 before any work, failures
// while working with 1, leaving nothing behind. Numbers are the whole text in plain
// decimal: integers as digits, seconds as digits with at most one point between digits.
TEST(Tools, ExitStatusesAndStrictNumbers) {
    const std::string helpLine = "0 on success, 1 on a failure while working, 2 on a usage error";
    const std::string longest = std::string(251, 'n') + ".wav"; // NAME_MAX, 255 bytes
    const std::vector<std::tuple<const char *, std::vector<std::string>, int, std::string>> cases =
        {
            {"xm2wav", {"--help"}, 0, helpLine},
            {"veltrane-frame", {"--help"}, 0, helpLine},
            {"veltrane-capture", {"--help"}, 0, helpLine},
            {"veltrane-xprobe", {"--help"}, 0, helpLine},
            {"veltrane-compose", {"--help"}, 0, helpLine},
            {"veltrane-font", {"--help"}, 0, helpLine},
            {"veltrane-play", {"--help"}, 0, helpLine},
            {"xm2wav", {"song.xm", "out.wav", "--bogus"}, 2, "--bogus"},
            {"veltrane-frame", {"--bogus", "f.png"}, 2, "--bogus"},
            {"veltrane-capture", {"v.mp4", "--bogus"}, 2, "--bogus"},
            {"veltrane-xprobe", {"bogus"}, 2, "bogus"},
            {"veltrane-compose", {"--bogus"}, 2, "--bogus"},
            {"veltrane-font", {"--bogus"}, 2, "--bogus"},
            {"veltrane-play", {"--bogus", "song.xm"}, 2, "--bogus"},
            {"veltrane-play", {}, 2, "usage: veltrane-play"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds"}, 2, "--seconds"},
            {"veltrane-capture", {"v.mp4", "--fps"}, 2, "--fps"},
            {"veltrane-font", {"--output"}, 2, "--output"},
            {"veltrane-play", {"song.xm", "--seconds"}, 2, "--seconds"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", " 3"}, 2, "' 3'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "3 "}, 2, "'3 '"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "+3"}, 2, "'+3'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "-1"}, 2, "'-1'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "0x10"}, 2, "'0x10'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "0x1p4"}, 2, "'0x1p4'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "1e1"}, 2, "'1e1'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "inf"}, 2, "'inf'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "nan"}, 2, "'nan'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", ".5"}, 2, "'.5'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "5."}, 2, "'5.'"},
            {"xm2wav", {"song.xm", "out.wav", "--seconds", ""}, 2, "''"},
            {"veltrane-play", {"--seconds", "1e1", "song.xm"}, 2, "'1e1'"},
            {"veltrane-capture", {"v.mp4", "--seconds", "1,5"}, 2, "'1,5'"},
            {"veltrane-capture", {"v.mp4", "--fps", "+30"}, 2, "'+30'"},
            {"veltrane-capture", {"v.mp4", "--fps", "0"}, 2, "'0'"},
            {"veltrane-capture", {"v.mp4", "--fps", "241"}, 2, "'241'"},
            {"veltrane-capture", {"v.mp4", "--size", " 16x 16"}, 2, "' 16x 16'"},
            {"veltrane-capture", {"v.mp4", "--size", "0x240"}, 2, "'0x240'"},
            {"veltrane-capture", {"v.mp4", "--size", "16x16x"}, 2, "'16x16x'"},
            {"veltrane-frame", {"--frame", "-1", "f.png"}, 2, "'-1'"},
            {"veltrane-frame", {"--elapsed", "1.5", "f.png"}, 2, "'1.5'"},
            {"veltrane-frame", {"--row", "2147483648", "f.png"}, 2, "'2147483648'"},
            {"veltrane-frame", {"--size", "16X16", "f.png"}, 2, "'16X16'"},
            {"veltrane-xprobe", {"find", "Veltrane", "0x5"}, 2, "'0x5'"},
            {"veltrane-xprobe", {"key", "0x10", "Escape"}, 2, "'0x10'"},
            {"veltrane-xprobe", {"close", " 16"}, 2, "' 16'"},
            // The container follows --lossless: Matroska in .mkv, else MP4 in .mp4, whose
            // yuv420p pictures need even sides.
            {"veltrane-capture", {"v.mp4", "--lossless"}, 2, ".mkv"},
            {"veltrane-capture", {"v.mkv"}, 2, ".mp4"},
            {"veltrane-capture", {"v.mp4", "--size", "321x240"}, 2, "even"},
            // 32-bit sizes: 44 header bytes and 4-byte frames within 2^32 - 1 bytes leave
            // 1073741812 frames, 24347.886 s at 44100 Hz.
            {"xm2wav", {"song.xm", "out.wav", "--seconds", "24348"}, 2, "24347.886"},
            {"xm2wav", {"missing.xm", "out.wav"}, 1, "missing.xm"},
            {"xm2wav", {"song.xm", "no/such/folder/out.wav"}, 1, "no/such/folder/out.wav"},
            {"veltrane-frame", {"f.png"}, 1, "no X display"},
            {"veltrane-capture", {"v.mp4", "--song", "song.xm"}, 1, "no X display"},
            {"veltrane-xprobe", {"ping"}, 1, "cannot open display"},
            {"veltrane-compose", {"no/such/folder/song.xm"}, 1, "no/such/folder/song.xm"},
            {"veltrane-font", {"--font", "missing.ttf"}, 1, "missing.ttf"},
            {"veltrane-play", {"missing.xm"}, 1, "missing.xm"},
            // The temporary name beside the longest file name still fits.
            {"xm2wav", {"song.xm", longest, "--seconds", "0.25"}, 0, longest + ": 0.250 seconds"},
        };
    for (const auto &[tool, arguments, status, message] : cases) {
        ChildProcess run;
        writeXm(run.directory() + "/song.xm", sineSong(4));
        run.start(std::string(TOOLS "/") + tool, arguments, {"DISPLAY=", "SDL_AUDIODRIVER=dummy"});
        const std::string row = std::string(tool) + " " + (arguments.empty() ? "" : arguments[0]);
        EXPECT_EQ(run.waitForExit(milliseconds(60000)), std::optional<int>(status)) << row;
        EXPECT_NE((status ? run.errors() : run.output()).find(message), std::string::npos)
            << row << ": " << run.errors();
        for (const auto &entry : std::filesystem::directory_iterator(run.directory()))
            EXPECT_TRUE(status == 0 || entry.path().filename() == "song.xm" ||
                        entry.path().filename().string().rfind("std", 0) == 0)
                << row << " left " << entry.path();
    }
}

TEST(Soundtrack, TheComposerWritesItAgainAndItKeepsTheEightRowBeat) {
    ChildProcess composer;
    composer.start(COMPOSER, {"Rava64.xm"});
    ASSERT_EQ(composer.waitForExit(milliseconds(60000)), std::optional<int>(0))
        << composer.errors();
    std::ifstream built(composer.directory() + "/Rava64.xm", std::ios::binary),
        committed(SOUNDTRACK, std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(built), {},
                           std::istreambuf_iterator<char>(committed), {}))
        << "run veltrane-compose music/Rava64.xm to update the song";
    // Until it loops it outlasts the scroller's 98 s.
    Render render(SOUNDTRACK, {"--positions", "positions.txt"});
    ASSERT_EQ(render.status, std::optional<int>(0)) << render.process.errors();
    EXPECT_GE(render.frames(), 100u * 44100);
    // Each change of row steps the row by one modulo 8, across pattern ends and the loop:
    // rows 0, 8, 16 ... stay the strong beats; the groove (order 3) starts with the scroller.
    int changes = 0;
    for (size_t k = 1; k < render.positions.size(); ++k) {
        const Position &before = render.positions[k - 1], &after = render.positions[k];
        if (before.order != after.order || before.row != after.row) {
            ++changes;
            EXPECT_EQ(after.row % 8, (before.row + 1) % 8) << "block " << after.block;
        }
    }
    EXPECT_GT(changes, 800);
    const auto groove = std::find_if(render.positions.begin(), render.positions.end(),
                                     [](const Position &p) { return p.order == 3; });
    ASSERT_NE(groove, render.positions.end());
    EXPECT_EQ(groove->row, 0);
    EXPECT_NEAR(groove->block * 884 / 44100.0, 20, 0.1);
}

} // namespace
