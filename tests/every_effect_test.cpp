// xm2wav on the song that uses every command: rendered once until it loops
// and once for a fixed time past the loop point, the renders must have the
// lengths its form gives, must sound, and must agree with each other. The
// lengths are worked out in the comments from the song's rows, speeds and
// tempos (see every_effect_song.h).

#include <gtest/gtest.h>

#include "child_process.h"
#include "every_effect_song.h"
#include "tools/wav_file.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using std::chrono::milliseconds;

// A tick lasts floor(44100 * 2.5 / bpm) frames: 882 at 125 BPM, 735 at 150.
const int64_t framesPerTickAt125 = 882;
const int64_t framesPerTickAt150 = 735;

// Order 0: 16 rows of 6 ticks at 125 BPM: 96 * 882 = 84672 frames.
const int64_t order0Frames = 16 * 6 * framesPerTickAt125;
// Order 1 at 150 BPM: 32 rows, rows 8..11 played twice (36 rows), 6 ticks
// each, and row 15 6 ticks longer: (36 * 6 + 6) * 735 = 222 * 735 = 163170.
const int64_t order1Frames = (36 * 6 + 6) * framesPerTickAt150;
// Order 2 at 150 BPM, speed 5, rows 0..23: 120 * 735 = 88200.
const int64_t order2Frames = 24 * 5 * framesPerTickAt150;
// Order 4 at 125 BPM, speed 6, rows 8..31: 144 * 882 = 127008.
const int64_t order4Frames = 24 * 6 * framesPerTickAt125;
// Order 5: 16 rows of 6 ticks at 125 BPM: 84672.
const int64_t order5Frames = 16 * 6 * framesPerTickAt125;

// The song first returns to an order already played when order 5 ends and
// play goes on at the restart position, order 1: after 84672 + 163170 +
// 88200 + 127008 + 84672 = 547722 frames (12.42 s).
const int64_t loopFrames = order0Frames + order1Frames + order2Frames + order4Frames + order5Frames;

// The fixed-time render: the loop and 5 s more, 17.5 s = 771750 frames.
const char *const fixedSeconds = "17.5";
const int64_t fixedFrames = 771750;

// Blocks of the block fill: 884 frames.
const int64_t blockFrames = 884;

struct Render {
    ChildProcess process;
    std::optional<int> status;
    WavSound sound;
    std::string error;

    explicit Render(const std::vector<std::string> &extraArguments) {
        if (!writeXm(path("song.xm"), everyEffectSong())) {
            error = "cannot write the song";
            return;
        }
        std::vector<std::string> arguments = {"song.xm", "song.wav"};
        arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
        process.start(XM2WAV, arguments);
        // Generous: the sanitizer build renders much more slowly.
        status = process.waitForExit(milliseconds(300000));
        if (status == std::optional<int>(0))
            readWav(path("song.wav"), sound, error);
    }
    std::string path(const std::string &name) const { return process.directory() + "/" + name; }
    int64_t frames() const { return static_cast<int64_t>(sound.values.size() / 2); }
};

class EveryEffectSong : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        untilLoop = new Render({});
        fixedTime = new Render({"--seconds", fixedSeconds, "--positions", "positions.txt"});
    }
    static void TearDownTestSuite() {
        delete untilLoop;
        delete fixedTime;
        untilLoop = fixedTime = nullptr;
    }
    static void expectRendered(const Render &render) {
        ASSERT_EQ(render.status, std::optional<int>(0)) << render.process.errors();
        ASSERT_TRUE(render.error.empty()) << render.error;
        EXPECT_EQ(render.sound.rate, 44100);
        EXPECT_EQ(render.sound.channels, 2);
    }

    static Render *untilLoop;
    static Render *fixedTime;
};

Render *EveryEffectSong::untilLoop = nullptr;
Render *EveryEffectSong::fixedTime = nullptr;

// The largest absolute value of each whole second of a render (the last,
// shorter one included).
std::vector<int> peaksPerSecond(const WavSound &sound) {
    std::vector<int> peaks;
    const size_t second = 2 * 44100;
    for (size_t start = 0; start < sound.values.size(); start += second) {
        const size_t end = std::min(start + second, sound.values.size());
        int peak = 0;
        for (size_t k = start; k < end; ++k)
            peak = std::max(peak, std::abs(int{sound.values[k]}));
        peaks.push_back(peak);
    }
    return peaks;
}

TEST_F(EveryEffectSong, RendersUntilItLoops) {
    expectRendered(*untilLoop);
    EXPECT_EQ(loopFrames, 547722);
    EXPECT_EQ(untilLoop->frames(), loopFrames);
    EXPECT_NE(untilLoop->process.output().find("loops"), std::string::npos)
        << untilLoop->process.output();
}

TEST_F(EveryEffectSong, RendersTheFixedTimePastTheLoop) {
    expectRendered(*fixedTime);
    EXPECT_EQ(fixedFrames, static_cast<int64_t>(17.5 * 44100));
    EXPECT_EQ(fixedTime->frames(), fixedFrames);
    EXPECT_GT(fixedTime->frames(), loopFrames);
}

TEST_F(EveryEffectSong, SoundsInEverySecond) {
    // Something plays throughout: the drums every 4 rows at the least, at
    // global volume 24 or more. A floor of 1000 of 32767 tells that apart
    // from silence and from a faint leak.
    for (const Render *render : {untilLoop, fixedTime}) {
        expectRendered(*render);
        const std::vector<int> peaks = peaksPerSecond(render->sound);
        ASSERT_FALSE(peaks.empty());
        for (size_t s = 0; s < peaks.size(); ++s)
            EXPECT_GE(peaks[s], 1000) << "second " << s << " of " << render->frames() << " frames";
    }
}

TEST_F(EveryEffectSong, TheLoopRenderIsTheStartOfTheLongerOne) {
    expectRendered(*untilLoop);
    expectRendered(*fixedTime);
    ASSERT_EQ(untilLoop->frames(), loopFrames);
    ASSERT_GE(fixedTime->frames(), loopFrames);
    const auto &shorter = untilLoop->sound.values;
    const auto mismatch =
        std::mismatch(shorter.begin(), shorter.end(), fixedTime->sound.values.begin());
    EXPECT_EQ(mismatch.first, shorter.end())
        << "first difference at frame " << (mismatch.first - shorter.begin()) / 2;
}

TEST_F(EveryEffectSong, PlaysTheOrdersInTheirOrderAndReturnsToTheRestartPosition) {
    expectRendered(*fixedTime);
    // One line per block: block, order, row, milliseconds; the position is
    // the one at the block's end. A new order starts in block
    // floor(frame / 884) and lasts longer than a block, so that block is the
    // first to show it:
    //   order 1 at 84672:             block 95  (95 * 884 = 83980)
    //   order 2 at 84672 + 163170 = 247842:   block 280 (247520)
    //   order 4 at 247842 + 88200 = 336042:   block 380 (335920), row 8:
    //     the first row, 6 * 882 frames long, still plays at 336804
    //   order 5 at 336042 + 127008 = 463050: block 523 (462332)
    //   order 1 at 547722 (the loop):        block 619 (547196)
    //   order 2 at 547722 + 163170 = 710892: block 804 (710736)
    // 771750 frames are 873 whole blocks and 18 frames: 874 lines.
    struct Entry {
        int block, order, row;
    };
    const std::vector<Entry> expected = {{0, 0, 0},   {95, 1, 0},  {280, 2, 0}, {380, 4, 8},
                                         {523, 5, 0}, {619, 1, 0}, {804, 2, 0}};
    EXPECT_EQ(order0Frames / blockFrames, 95);
    EXPECT_EQ((loopFrames - order5Frames - order4Frames) / blockFrames, 380);
    EXPECT_EQ(loopFrames / blockFrames, 619);
    EXPECT_EQ((loopFrames + order1Frames) / blockFrames, 804);

    std::ifstream file(fixedTime->path("positions.txt"));
    std::vector<Entry> changes;
    int lines = 0;
    int lastOrder = -1;
    std::set<int> played;
    int firstReturn = -1;
    for (std::string line; std::getline(file, line); ++lines) {
        std::istringstream fields(line);
        Entry entry{};
        int ms = 0;
        ASSERT_TRUE(fields >> entry.block >> entry.order >> entry.row >> ms) << line;
        if (entry.order == lastOrder)
            continue;
        if (firstReturn < 0 && played.count(entry.order))
            firstReturn = entry.block;
        played.insert(entry.order);
        lastOrder = entry.order;
        changes.push_back(entry);
    }
    EXPECT_EQ(lines, 874);
    ASSERT_EQ(changes.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(changes[k].block, expected[k].block) << "change " << k;
        EXPECT_EQ(changes[k].order, expected[k].order) << "change " << k;
        EXPECT_EQ(changes[k].row, expected[k].row) << "change " << k;
    }
    // The render until the loop ends inside the block where play first
    // returns to an order already played.
    EXPECT_EQ(firstReturn, 619);
    EXPECT_GT(loopFrames, firstReturn * blockFrames);
    EXPECT_LE(loopFrames, (firstReturn + 1) * blockFrames);
}

// The song's claims about itself: every command and every kind of
// instrument and sample it promises appears at least once.
TEST(EveryEffectSongContent, UsesEveryCommand) {
    const XmSong song = everyEffectSong();
    std::set<int> effects, extendedCommands, volumeCommands;
    for (const XmPattern &pattern : song.patterns)
        for (const XmCell &cell : pattern.cells) {
            if (cell.effect != 0 || cell.param != 0)
                effects.insert(cell.effect);
            if (cell.effect == 14)
                extendedCommands.insert(cell.param >> 4);
            if (cell.volume >= 0x10)
                volumeCommands.insert(cell.volume <= 0x50 ? 1 : cell.volume >> 4);
        }
    const std::set<int> allEffects = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                      12, 13, 14, 15, 16, 17, 20, 21, 25, 27, 29, 33};
    EXPECT_EQ(effects, allEffects);
    for (int x = 1; x <= 14; ++x)
        EXPECT_TRUE(extendedCommands.count(x)) << "E" << std::hex << x;
    // 1 stands for the set-volume range 0x10..0x50.
    for (int kind : {1, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
        EXPECT_TRUE(volumeCommands.count(kind)) << "volume column " << std::hex << kind;

    bool volumeSustainAndLoop = false, panningSustainAndLoop = false, fadeout = false,
         autoVibrato = false;
    std::set<std::pair<bool, int>> sampleKinds; // (16-bit, loop type)
    for (const XmInstrument &instrument : song.instruments) {
        volumeSustainAndLoop |= instrument.volumeEnvelope.type == 7;
        panningSustainAndLoop |= instrument.panningEnvelope.type == 7;
        fadeout |= instrument.fadeout != 0;
        autoVibrato |= instrument.vibratoDepth != 0 && instrument.vibratoRate != 0;
        for (const XmSample &sample : instrument.samples)
            sampleKinds.insert({sample.sixteenBit, sample.loop});
    }
    EXPECT_TRUE(volumeSustainAndLoop);
    EXPECT_TRUE(panningSustainAndLoop);
    EXPECT_TRUE(fadeout);
    EXPECT_TRUE(autoVibrato);
    std::set<bool> widths;
    std::set<int> loops;
    for (const auto &[sixteenBit, loop] : sampleKinds) {
        widths.insert(sixteenBit);
        loops.insert(loop);
    }
    EXPECT_EQ(widths, (std::set<bool>{false, true}));
    EXPECT_EQ(loops, (std::set<int>{xmNoLoop, xmForwardLoop, xmPingPongLoop}));
    EXPECT_GT(song.orders.size(), 1u);
    EXPECT_NE(song.restart, 0);
}

} // namespace
