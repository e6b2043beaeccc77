// xm2wav end to end: songs made by the XM builder are rendered by the tool in
// a folder of their own, and the WAV it writes is measured for pitch, level,
// timing and length. Every expected number is worked out by hand in the
// comments beside it.

#include <gtest/gtest.h>

#include "child_process.h"
#include "tools/wav_file.h"
#include "tools/xm_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using std::chrono::milliseconds;

// 125 BPM: a tick is floor(44100 * 2.5 / 125) = 882 frames; speed 6: a row
// is 6 * 882 = 5292 frames.
const int64_t framesPerTick = 882;
const int64_t framesPerRow = 6 * framesPerTick;
// Blocks are 20 ms rounded up to whole groups of 4 frames: (882 + 3) & ~3.
const int64_t blockFrames = 884;

const double pi = 3.14159265358979323846;
const int sineLength = 64;
const int sineAmplitude = 16000;

struct ToolRun {
    ChildProcess process;
    std::optional<int> status;

    void start(const std::vector<std::string> &arguments) {
        process.start(XM2WAV, arguments);
        status = process.waitForExit(milliseconds(60000));
    }
    std::string path(const std::string &name) const { return process.directory() + "/" + name; }
};

// One cycle of a sine over 64 frames, the values rounded to whole numbers.
std::vector<int> sineCycle() {
    std::vector<int> values(sineLength);
    for (int i = 0; i < sineLength; ++i)
        values[i] =
            static_cast<int>(std::lround(sineAmplitude * std::sin(2 * pi * i / sineLength)));
    return values;
}

XmInstrument loopedSine() {
    XmSample sample;
    sample.values = sineCycle();
    sample.sixteenBit = true;
    sample.loop = xmForwardLoop;
    sample.loopStart = 0;
    sample.loopLength = sineLength;
    sample.volume = 64;
    sample.panning = 128;
    return instrumentWith(sample);
}

// One channel at 125 BPM, speed 6, linear table, playing the looped sine.
XmSong sineSong(int rows) {
    XmSong song;
    song.channels = 1;
    song.speed = 6;
    song.bpm = 125;
    song.flags = 1;
    song.orders = {0};
    XmPattern pattern;
    pattern.rows = rows;
    pattern.channels = 1;
    pattern.at(0, 0) = {49, 1, 0, 0, 0}; // note index 48, period 4608: 8363 Hz
    song.patterns = {pattern};
    song.instruments = {loopedSine()};
    return song;
}

// Two orders of four rows each, with a note so there is something to hear.
XmSong twoOrderSong(uint16_t restart) {
    XmSong song;
    song.channels = 1;
    song.restart = restart;
    song.orders = {0, 1};
    for (int i = 0; i < 2; ++i) {
        XmPattern pattern;
        pattern.rows = 4;
        pattern.channels = 1;
        pattern.at(0, 0) = {49, 1, 0, 0, 0};
        song.patterns.push_back(pattern);
    }
    song.instruments = {loopedSine()};
    return song;
}

struct Stereo {
    std::vector<int> left, right;
};

Stereo readStereo(const std::string &path) {
    WavSound sound;
    std::string error;
    EXPECT_TRUE(readWav(path, sound, error)) << error;
    Stereo stereo;
    for (size_t k = 0; k + 1 < sound.values.size(); k += 2) {
        stereo.left.push_back(sound.values[k]);
        stereo.right.push_back(sound.values[k + 1]);
    }
    return stereo;
}

std::vector<uint8_t> readBytes(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> readLines(const std::string &path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

uint32_t u32At(const std::vector<uint8_t> &bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

uint16_t u16At(const std::vector<uint8_t> &bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// What a note of the looped sine started at frame 0 sounds like on its frame
// k, for k before the first loop turn (64 / (8363 / 44100) = 337.5 frames):
// the position is k steps of 8363 / 44100 frame (step in 32.32 fixed point:
// floor(8363 * 2^32 / 44100) = 814485521, the lowest fraction bit cleared
// before each add), the value is interpolated linearly between the two
// neighbouring sample values, and the gain rises linearly from 0 on frame 0
// to 63/255 on frame 128 and stays there.
double noteFrame(int k) {
    static const std::vector<int> sine = sineCycle();
    const uint64_t step = (uint64_t{8363} << 32) / 44100;
    uint64_t position = 0;
    for (int i = 0; i < k; ++i)
        position = (position & ~uint64_t{1}) + step;
    const size_t index = static_cast<size_t>(position >> 32);
    const double weight = static_cast<double>(static_cast<uint32_t>(position) >> 1) / 2147483648.0;
    const double value = sine[index] + weight * (sine[index + 1] - sine[index]);
    const double gain = 63.0 / 255 * (k < 128 ? k / 128.0 : 1.0);
    return value * gain;
}

// The times of the falling zero crossings of frames [from, to), each placed
// between its two frames by linear interpolation.
std::vector<double> fallingCrossings(const std::vector<int> &values, size_t from, size_t to) {
    std::vector<double> times;
    for (size_t n = from; n + 1 < to && n + 1 < values.size(); ++n)
        if (values[n] > 0 && values[n + 1] <= 0)
            times.push_back(static_cast<double>(n) +
                            static_cast<double>(values[n]) / (values[n] - values[n + 1]));
    return times;
}

TEST(Xm2Wav, PlaysTheReferenceNoteAtItsPitch) {
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("sine.xm"), sineSong(64)));
    run.start({"sine.xm", "sine.wav", "--seconds", "5"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    const Stereo sound = readStereo(run.path("sine.wav"));
    ASSERT_EQ(sound.left.size(), 5u * 44100);

    // Cell note 49 is note index 48: linear period 7680 - 64 * 48 = 4608, and
    // trunc(8363 * 2^((4608 - 4608) / 768)) = 8363 Hz. One cycle of the sample
    // is 64 frames, so the sound repeats at 8363 / 64 = 130.671875 Hz.
    //
    // Measured from seconds 1 to 4 (well past the start ramp) as the number of
    // cycles between the first and the last falling zero crossing over the
    // time between them. The falling crossing sits in the middle of the
    // sample (value 0 at frame 32), away from the loop turn. Each crossing is
    // placed to within a few hundredths of a frame (the wave falls by about
    // 2 pi * 3953 / 337.5 = 74 per frame near zero, so rounding to whole
    // values moves it by at most 0.5 / 74 = 0.007 frame), over a span of some
    // 130000 frames: an error below 1e-6 of the pitch, 0.0002 Hz. A tolerance
    // of 0.002 Hz keeps a tenfold margin and still tells 8363 Hz from
    // 8362 Hz (130.65625 Hz, 0.016 Hz lower).
    const double expectedHz = 8363.0 / 64;
    for (const std::vector<int> *side : {&sound.left, &sound.right}) {
        const std::vector<double> crossings = fallingCrossings(*side, 44100, 4 * 44100);
        // 3 s * 130.67 Hz = 392 cycles, give or take one at either end.
        ASSERT_GE(crossings.size(), 391u);
        ASSERT_LE(crossings.size(), 393u);
        const double cycles = static_cast<double>(crossings.size() - 1);
        const double measuredHz = cycles / (crossings.back() - crossings.front()) * 44100;
        EXPECT_NEAR(measuredHz, expectedHz, 0.002);
    }
}

TEST(Xm2Wav, PlaysTheReferenceNoteAtItsLevelInTheCentre) {
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("sine.xm"), sineSong(64)));
    run.start({"sine.xm", "sine.wav", "--seconds", "4"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    const Stereo sound = readStereo(run.path("sine.wav"));
    ASSERT_EQ(sound.left.size(), 4u * 44100);

    // Final volume: trunc(64 * 64 * 65536 * 64 * 255 / 2^35) = trunc(127.5)
    // = 127. Centre panning 128: left 127 * 128 / 255 = 16256 / 255 = 63,
    // right (255 - 128) * 127 / 255 = 16129 / 255 = 63. Both gains are
    // 63/255, so the two sides are the same value on every frame.
    for (size_t k = 0; k < sound.left.size(); ++k)
        ASSERT_EQ(sound.left[k], sound.right[k]) << "frame " << k;

    // The peaks: +-16000 * 63 / 255 = +-3952.94. Between seconds 1 and 4 the
    // play position passes within a small fraction of a frame of frames 16
    // and 48 of the sample (the step of 8363/44100 frame never repeats a
    // phase), where the interpolated value is within about 1 of +-16000.
    int highest = -32768, lowest = 32767;
    for (size_t k = 44100; k < sound.left.size(); ++k) {
        highest = std::max(highest, sound.left[k]);
        lowest = std::min(lowest, sound.left[k]);
    }
    EXPECT_NEAR(highest, 3953, 1);
    EXPECT_NEAR(lowest, -3953, 1);
}

TEST(Xm2Wav, StartsNotesOnTheirRowsWithARamp) {
    // Row 0 starts the note, row 2 releases it (a key off on an instrument
    // without a volume envelope silences it), and row 4 starts it again.
    XmSong song = sineSong(64);
    song.patterns[0].at(2, 0) = {97, 0, 0, 0, 0};
    song.patterns[0].at(4, 0) = {49, 1, 0, 0, 0};
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("notes.xm"), song));
    run.start({"notes.xm", "notes.wav", "--seconds", "1"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    const Stereo sound = readStereo(run.path("notes.wav"));
    ASSERT_EQ(sound.left.size(), 44100u);

    // The first tick runs before the first frame, so the first note starts on
    // frame 0; the second starts on row 4, frame 4 * 6 * 882 = 21168.
    const int64_t secondStart = 4 * framesPerRow;
    ASSERT_EQ(secondStart, 21168);

    // Each note ramps in from gain 0 over 128 frames. Every frame of the first
    // 300 of each note follows noteFrame: the mixer's float arithmetic is
    // within a hundredth of the exact value, and rounding adds at most 0.5.
    for (int64_t start : {int64_t{0}, secondStart})
        for (int k = 0; k < 300; ++k)
            ASSERT_NEAR(sound.left[start + k], noteFrame(k), 0.51)
                << "frame " << k << " of the note starting at frame " << start;

    // By hand, frame 64 of a note: position 64 * 0.18963719 = 12.13678,
    // between sample values 14782 (frame 12) and 15311 (frame 13):
    // 14782 + 0.13678 * 529 = 14854.36, at gain 64/128 * 63/255 = 0.123529:
    // 1834.95, stored as 1835.
    EXPECT_EQ(sound.left[64], 1835);
    EXPECT_EQ(sound.left[secondStart + 64], 1835);

    // Frame 0 of a note plays at gain 0, and the key off on row 2
    // (frame 2 * 5292 = 10584) ramps down to silence within 128 frames, so
    // from frame 10712 up to and including frame 21168 nothing sounds.
    for (int64_t k = 2 * framesPerRow + 128; k <= secondStart; ++k)
        ASSERT_EQ(sound.left[k], 0) << "frame " << k;
    EXPECT_NE(sound.left[2 * framesPerRow], 0);
}

TEST(Xm2Wav, StopsWhereTheSongLoops) {
    // Two orders of four rows at speed 6: 2 * 4 * 6 * 882 = 42336 frames,
    // after which play returns to order 0.
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("two.xm"), twoOrderSong(0)));
    run.start({"two.xm", "two.wav"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    EXPECT_EQ(readStereo(run.path("two.wav")).left.size(), 42336u);
    EXPECT_NE(run.process.output().find("loops"), std::string::npos) << run.process.output();
}

TEST(Xm2Wav, StopsAtTheRestartPositionToo) {
    // With restart position 1 play goes on at order 1 after order 1: an order
    // already played, so the render ends at the same 42336 frames.
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("two.xm"), twoOrderSong(1)));
    run.start({"two.xm", "two.wav"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    EXPECT_EQ(readStereo(run.path("two.wav")).left.size(), 42336u);
}

TEST(Xm2Wav, RendersTheSecondsAskedFor) {
    // 1.5 * 44100 = 66150 frames, past the loop at 42336.
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("two.xm"), twoOrderSong(0)));
    run.start({"two.xm", "two.wav", "--seconds", "1.5"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    EXPECT_EQ(readStereo(run.path("two.wav")).left.size(), 66150u);
}

TEST(Xm2Wav, WritesAPositionLinePerBlock) {
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("two.xm"), twoOrderSong(0)));
    run.start({"two.xm", "two.wav", "--positions", "positions.txt"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    const std::vector<std::string> lines = readLines(run.path("positions.txt"));
    // 42336 frames in blocks of 884: 47 whole blocks and one of 788 frames.
    ASSERT_EQ(42336 - 47 * blockFrames, 788);
    ASSERT_EQ(lines.size(), 48u);
    // Block 0: a tick, 882 frames (trunc(882 * 1000 / 44100, a little less)
    // = 19 ms), a tick, 2 frames (0 ms), still on row 0 of order 0.
    EXPECT_EQ(lines[0], "0 0 0 19");
    // Block 1: 880 frames (19 ms) and 4 frames (0 ms): 38 ms.
    EXPECT_EQ(lines[1], "1 0 0 38");
    // Block 5 holds frames 4420..5303 and with them the first tick of row 1
    // at frame 5292.
    EXPECT_EQ(lines[5].rfind("5 0 1 ", 0), 0u) << lines[5];
    // Block 46 holds frames 40664..41547; its only tick is tick 47 at frame
    // 47 * 882 = 41454, the last of row 47 / 6 = 7 of the song: order 1, row 3.
    EXPECT_EQ(lines[46].rfind("46 1 3 ", 0), 0u) << lines[46];
}

TEST(Xm2Wav, WritesNoPositionLineForABlockPastTheLoop) {
    // Two orders of 13 rows at speed 17: 26 * 17 * 882 = 389844 frames, which
    // is exactly 441 blocks of 884 frames. The file holds blocks 0..440, so
    // the positions hold 441 lines.
    ASSERT_EQ(26 * 17 * framesPerTick, 441 * blockFrames);
    XmSong song = twoOrderSong(0);
    song.speed = 17;
    for (XmPattern &pattern : song.patterns)
        pattern.rows = 13;
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("even.xm"), song));
    run.start({"even.xm", "even.wav", "--positions", "positions.txt"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    EXPECT_EQ(readStereo(run.path("even.wav")).left.size(), 389844u);
    EXPECT_EQ(readLines(run.path("positions.txt")).size(), 441u);
}

TEST(Xm2Wav, WritesA44100HzStereo16BitHeader) {
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("two.xm"), twoOrderSong(0)));
    run.start({"two.xm", "two.wav", "--seconds", "0.5"});
    ASSERT_EQ(run.status, std::optional<int>(0)) << run.process.errors();
    const std::vector<uint8_t> bytes = readBytes(run.path("two.wav"));
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u16At(bytes, 20), 1);          // PCM
    EXPECT_EQ(u16At(bytes, 22), 2);          // channels
    EXPECT_EQ(u32At(bytes, 24), 44100u);     // frames per second
    EXPECT_EQ(u32At(bytes, 28), 44100u * 4); // bytes per second
    EXPECT_EQ(u16At(bytes, 32), 4);          // bytes per frame
    EXPECT_EQ(u16At(bytes, 34), 16);         // bits per value
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    // 0.5 s: 22050 frames of 4 bytes.
    EXPECT_EQ(u32At(bytes, 40), 22050u * 4);
    EXPECT_EQ(bytes.size(), 44u + 22050 * 4);
    EXPECT_EQ(u32At(bytes, 4), 36u + 22050 * 4);
}

TEST(Xm2Wav, ExplainsItselfOnHelp) {
    ToolRun run;
    run.start({"--help"});
    EXPECT_EQ(run.status, std::optional<int>(0));
    EXPECT_NE(run.process.output().find("usage: xm2wav"), std::string::npos);
}

TEST(Xm2Wav, NamesAMissingSong) {
    ToolRun run;
    run.start({"missing.xm", "out.wav"});
    EXPECT_EQ(run.status, std::optional<int>(1));
    EXPECT_NE(run.process.errors().find("missing.xm"), std::string::npos);
}

TEST(Xm2Wav, NamesAFileThatIsNoSong) {
    ToolRun run;
    {
        std::ofstream file(run.path("letter.txt"));
        file << "Dear reader, this is plain text and no song at all.\n";
    }
    run.start({"letter.txt", "out.wav"});
    EXPECT_EQ(run.status, std::optional<int>(1));
    EXPECT_NE(run.process.errors().find("letter.txt"), std::string::npos);
}

TEST(Xm2Wav, NamesAnOutputItCannotWrite) {
    ToolRun run;
    ASSERT_TRUE(writeXm(run.path("two.xm"), twoOrderSong(0)));
    run.start({"two.xm", "no/such/folder/out.wav"});
    EXPECT_EQ(run.status, std::optional<int>(1));
    EXPECT_NE(run.process.errors().find("no/such/folder/out.wav"), std::string::npos);
}

TEST(Xm2Wav, RefusesBadArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"song.xm"},
        {"song.xm", "out.wav", "third.wav"},
        {"song.xm", "out.wav", "--seconds"},
        {"song.xm", "out.wav", "--seconds", "soon"},
        {"song.xm", "out.wav", "--seconds", "-1"},
        {"song.xm", "out.wav", "--positions"},
        {"song.xm", "out.wav", "--loud"},
    };
    for (const auto &arguments : cases) {
        ToolRun run;
        ASSERT_TRUE(writeXm(run.path("song.xm"), twoOrderSong(0)));
        run.start(arguments);
        std::ostringstream shown;
        for (const std::string &argument : arguments)
            shown << argument << ' ';
        EXPECT_EQ(run.status, std::optional<int>(2)) << shown.str();
        EXPECT_FALSE(run.process.errors().empty()) << shown.str();
    }
}

} // namespace
