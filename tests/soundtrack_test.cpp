// The intro's soundtrack, Rava64.xm: the composer rebuilds the committed file
// byte for byte; rendered by xm2wav until it loops, the song outlasts the
// scroller, sits in a finished mix's level range, hardly clips and never
// falls silent; its rows keep the eight-row beat that the console marker and
// the light follow; and it plays the sample kinds, envelopes and effects the
// player offers.

#include <gtest/gtest.h>

#include "child_process.h"
#include "player/memory_file.h"
#include "player/player.h"
#include "tools/wav_file.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using std::chrono::milliseconds;

const double rate = 44100;
// The groove starts when the scroller does, 20 s in; the scroller's last
// line leaves at 98 s, so the song must not loop before 100 s.
const double grooveSeconds = 20;
const double shortestSeconds = 100;
const size_t largestFileBytes = 256 * 1024;

std::vector<uint8_t> readBytes(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// One line of xm2wav's positions file.
struct Position {
    long block = 0;
    int order = 0;
    int row = 0;
};

std::vector<Position> readPositions(const std::string &path) {
    std::ifstream file(path);
    std::vector<Position> positions;
    Position position;
    int milliseconds = 0;
    while (file >> position.block >> position.order >> position.row >> milliseconds)
        positions.push_back(position);
    return positions;
}

// The song rendered once, until it loops, with its positions.
struct Render {
    ChildProcess process;
    std::optional<int> status;
    WavSound sound;
    std::string error;
    std::vector<Position> positions;

    Render() {
        process.start(XM2WAV, {SOUNDTRACK, "song.wav", "--positions", "positions.txt"});
        // Generous: a sanitizer build renders much more slowly.
        status = process.waitForExit(milliseconds(300000));
        if (status != std::optional<int>(0))
            return;
        readWav(process.directory() + "/song.wav", sound, error);
        positions = readPositions(process.directory() + "/positions.txt");
    }
    size_t frames() const { return sound.values.size() / 2; }
};

class Soundtrack : public testing::Test {
  protected:
    static void SetUpTestSuite() { render = new Render(); }
    static void TearDownTestSuite() {
        delete render;
        render = nullptr;
    }
    static void expectRendered() {
        ASSERT_EQ(render->status, std::optional<int>(0)) << render->process.errors();
        ASSERT_TRUE(render->error.empty()) << render->error;
        ASSERT_EQ(render->sound.rate, 44100);
        ASSERT_EQ(render->sound.channels, 2);
    }
    static Render *render;
};

Render *Soundtrack::render = nullptr;

// Measurements on interleaved stereo values, frames [from, to).

double rmsDbfs(const std::vector<int16_t> &values, size_t from, size_t to) {
    double sum = 0;
    for (size_t k = 2 * from; k < 2 * to; ++k)
        sum += static_cast<double>(values[k]) * values[k];
    const double rms = std::sqrt(sum / std::max<size_t>(1, 2 * (to - from)));
    return 20 * std::log10(std::max(rms, 1e-3) / 32768);
}

double clippedFraction(const std::vector<int16_t> &values) {
    const auto clipped = std::count_if(values.begin(), values.end(), [](int16_t value) {
        return value >= 32767 || value <= -32768;
    });
    return static_cast<double>(clipped) / static_cast<double>(values.size());
}

// The longest run of 50 ms windows whose RMS is below -60 dBFS, from frame
// `from` on, in seconds.
double longestSilence(const std::vector<int16_t> &values, size_t from) {
    const size_t window = 2205;
    const size_t frames = values.size() / 2;
    double longest = 0, run = 0;
    for (size_t start = from; start + window <= frames; start += window) {
        run = rmsDbfs(values, start, start + window) < -60 ? run + window / rate : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

TEST(SoundtrackComposer, RebuildsTheCommittedSongByteForByte) {
    ChildProcess composer;
    composer.start(COMPOSER, {"Rava64.xm"});
    ASSERT_EQ(composer.waitForExit(milliseconds(60000)), std::optional<int>(0))
        << composer.errors();
    const std::vector<uint8_t> built = readBytes(composer.directory() + "/Rava64.xm");
    const std::vector<uint8_t> committed = readBytes(SOUNDTRACK);
    ASSERT_FALSE(committed.empty()) << SOUNDTRACK;
    EXPECT_EQ(built.size(), committed.size());
    EXPECT_TRUE(built == committed) << "run veltrane-compose music/Rava64.xm to update the song";
}

TEST(SoundtrackComposer, ExplainsItselfAndNamesAFileItCannotWrite) {
    ChildProcess help;
    help.start(COMPOSER, {"--help"});
    ASSERT_EQ(help.waitForExit(milliseconds(60000)), std::optional<int>(0));
    EXPECT_NE(help.output().find("usage: veltrane-compose"), std::string::npos) << help.output();

    ChildProcess failing;
    failing.start(COMPOSER, {"no-such-folder/song.xm"});
    ASSERT_EQ(failing.waitForExit(milliseconds(60000)), std::optional<int>(1));
    EXPECT_NE(failing.errors().find("no-such-folder/song.xm"), std::string::npos)
        << failing.errors();
}

TEST(SoundtrackFile, IsSmallEnoughToShipWithTheIntro) {
    EXPECT_LE(std::filesystem::file_size(SOUNDTRACK), largestFileBytes);
}

TEST_F(Soundtrack, PlaysAtLeastHundredSecondsBeforeItLoops) {
    ASSERT_NO_FATAL_FAILURE(expectRendered());
    EXPECT_NE(render->process.output().find("up to where the song loops"), std::string::npos)
        << render->process.output();
    EXPECT_GE(static_cast<double>(render->frames()) / rate, shortestSeconds);
}

TEST_F(Soundtrack, GrooveLevelIsThatOfAFinishedMix) {
    ASSERT_NO_FATAL_FAILURE(expectRendered());
    const double level =
        rmsDbfs(render->sound.values, static_cast<size_t>(grooveSeconds * rate), render->frames());
    EXPECT_GE(level, -20.0);
    EXPECT_LE(level, -10.0);
}

TEST_F(Soundtrack, HardlyEverClips) {
    ASSERT_NO_FATAL_FAILURE(expectRendered());
    EXPECT_LT(clippedFraction(render->sound.values), 0.0001);
}

TEST_F(Soundtrack, NeverFallsSilentForTwoSeconds) {
    ASSERT_NO_FATAL_FAILURE(expectRendered());
    EXPECT_LE(longestSilence(render->sound.values, static_cast<size_t>(rate)), 2.0);
}

// Every change of row steps the row number by one modulo 8, also across
// pattern ends, breaks and the loop: rows 0, 8, 16 ... stay the strong beats.
// Past the loop point the song goes on from its restart position, with no gap.
TEST_F(Soundtrack, PlaysThroughItsLoopPointAndBack) {
    expectRendered();
    const double loopSeconds = static_cast<double>(render->frames()) / rate;
    ChildProcess longer;
    const std::string seconds = std::to_string(loopSeconds + 12);
    longer.start(XM2WAV, {SOUNDTRACK, "longer.wav", "--seconds", seconds});
    ASSERT_EQ(longer.waitForExit(milliseconds(300000)), std::optional<int>(0)) << longer.errors();
    WavSound sound;
    std::string error;
    ASSERT_TRUE(readWav(longer.directory() + "/longer.wav", sound, error)) << error;
    ASSERT_EQ(sound.values.size() / 2,
              static_cast<size_t>(std::llround((loopSeconds + 12) * rate)));
    // The first pass is rendered exactly as before.
    EXPECT_TRUE(
        std::equal(render->sound.values.begin(), render->sound.values.end(), sound.values.begin()));
    EXPECT_LT(longestSilence(sound.values, render->frames() - 2 * static_cast<size_t>(rate)), 2.0);
    EXPECT_GT(rmsDbfs(sound.values, render->frames(), sound.values.size() / 2), -25.0);
}

TEST_F(Soundtrack, RowsKeepTheEightRowBeat) {
    ASSERT_NO_FATAL_FAILURE(expectRendered());
    const std::vector<Position> &positions = render->positions;
    ASSERT_GT(positions.size(), 1000u);
    int changes = 0;
    for (size_t k = 1; k < positions.size(); ++k) {
        const Position &before = positions[k - 1], &after = positions[k];
        if (before.order == after.order && before.row == after.row)
            continue;
        ++changes;
        EXPECT_EQ(after.row % 8, (before.row + 1) % 8)
            << "block " << after.block << ": order " << before.order << " row " << before.row
            << " to order " << after.order << " row " << after.row;
    }
    // 832 rows of 5508 frames in 103.9 s: one change a row.
    EXPECT_GT(changes, 800);
}

// The quiet intro lasts whole patterns, and the groove (order 3) begins
// when the scroller starts.
TEST_F(Soundtrack, GrooveStartsWithTheScroller) {
    ASSERT_NO_FATAL_FAILURE(expectRendered());
    const std::vector<Position> &positions = render->positions;
    const auto groove = std::find_if(positions.begin(), positions.end(),
                                     [](const Position &p) { return p.order == 3; });
    ASSERT_NE(groove, positions.end());
    EXPECT_EQ(groove->row, 0);
    const double seconds = static_cast<double>(groove->block) * 884 / rate;
    EXPECT_NEAR(seconds, grooveSeconds, 0.1);
}

// What the loaded song holds, summed over its instruments and played cells.
struct SongUse {
    std::set<int> loopTypes;
    bool volumeSustain = false, volumeLoop = false, panningEnvelope = false;
    bool fadeout = false, autoVibrato = false;
    std::set<int> effects;     // effect numbers; arpeggio only with a parameter
    std::set<int> extended;    // high nibbles of effect E
    std::set<int> columnKinds; // high nibbles of the volume column, 1..5 as 1
    bool speed = false, tempo = false;
    std::vector<int> rowCounts; // of the patterns the orders play
};

void noteInstruments(const Song &song, SongUse &use) {
    for (int i = 0; i < song.instrumentCount; ++i) {
        const Instrument &instrument = song.instruments[i];
        for (int s = 0; s < instrument.sampleCount; ++s)
            use.loopTypes.insert(instrument.samples[s]->loopType);
        use.volumeSustain |= (instrument.volumeType & (envelopeOn | envelopeSustain)) ==
                             (envelopeOn | envelopeSustain);
        use.volumeLoop |=
            (instrument.volumeType & (envelopeOn | envelopeLoop)) == (envelopeOn | envelopeLoop);
        use.panningEnvelope |= (instrument.panningType & envelopeOn) != 0;
        use.fadeout |= instrument.fadeout > 0;
        use.autoVibrato |= instrument.vibratoDepth > 0 && instrument.vibratoRate > 0;
    }
}

void noteCell(const PatternCell &cell, SongUse &use) {
    if (cell.effect != 0 || cell.effectParam != 0)
        use.effects.insert(cell.effect);
    if (cell.effect == 0xe)
        use.extended.insert(cell.effectParam >> 4);
    if (cell.effect == 0xf)
        (cell.effectParam < 32 ? use.speed : use.tempo) = true;
    if (cell.volumeColumn >= 0x10)
        use.columnKinds.insert(cell.volumeColumn <= 0x50 ? 1 : cell.volumeColumn >> 4);
}

SongUse useOf(const Song &song) {
    SongUse use;
    noteInstruments(song, use);
    for (int order = 0; order < song.songLength; ++order) {
        const Pattern &pattern = song.patterns[song.orderTable[order]];
        use.rowCounts.push_back(pattern.rowCount);
        for (int cell = 0; cell < pattern.rowCount * song.channelCount; ++cell)
            noteCell(pattern.cells[cell], use);
    }
    return use;
}

class SoundtrackSong : public testing::Test {
  protected:
    void SetUp() override {
        setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
        song = loadSong(SOUNDTRACK, nullptr);
        ASSERT_NE(song, nullptr);
        use = useOf(*song);
    }
    void TearDown() override { freeSong(song); }
    Song *song = nullptr;
    SongUse use;
};

TEST_F(SoundtrackSong, UsesTheLinearTableAndLoopsBackPastTheIntro) {
    EXPECT_EQ(song->flags & linearFrequencyTable, linearFrequencyTable);
    EXPECT_GT(song->restartPosition, 0);
    EXPECT_LT(song->restartPosition, song->songLength);
}

TEST_F(SoundtrackSong, PatternsHoldWholeEightRowBeats) {
    for (int rows : use.rowCounts)
        EXPECT_EQ(rows % 8, 0) << rows << " rows";
}

// The loader widens 8-bit data to 16 bits, but tells a sample loader the
// width the file stores.
std::set<int> storedSampleBits;
void noteSampleBits(uint8_t *buffer, int byteCount, int bitsPerSample, int, int) {
    storedSampleBits.insert(bitsPerSample);
    std::fill(buffer, buffer + byteCount, 0);
}

TEST_F(SoundtrackSong, UsesEverySampleKind) {
    EXPECT_EQ(use.loopTypes, (std::set<int>{loopNone, loopForward, loopPingPong}));
    storedSampleBits.clear();
    Song *widths = loadSong(SOUNDTRACK, noteSampleBits);
    ASSERT_NE(widths, nullptr);
    freeSong(widths);
    EXPECT_EQ(storedSampleBits, (std::set<int>{8, 16}));
}

TEST_F(SoundtrackSong, UsesEnvelopesFadeoutAndAutoVibrato) {
    EXPECT_TRUE(use.volumeSustain);
    EXPECT_TRUE(use.volumeLoop);
    EXPECT_TRUE(use.panningEnvelope);
    EXPECT_TRUE(use.fadeout);
    EXPECT_TRUE(use.autoVibrato);
}

TEST_F(SoundtrackSong, UsesTheEffects) {
    const int arpeggio = 0x0, portaUp = 0x1, portaDown = 0x2, tonePorta = 0x3, vibrato = 0x4,
              tremolo = 0x7, panning = 0x8, sampleOffset = 0x9, volumeSlide = 0xa, setVolume = 0xc,
              patternBreak = 0xd, speedOrTempo = 0xf;
    for (int effect : {arpeggio, portaUp, portaDown, tonePorta, vibrato, tremolo, panning,
                       sampleOffset, volumeSlide, setVolume, patternBreak, speedOrTempo})
        EXPECT_EQ(use.effects.count(effect), 1u) << "effect " << effect;
    const int retrigger = 0x9, noteCut = 0xc, noteDelay = 0xd;
    for (int extended : {retrigger, noteCut, noteDelay})
        EXPECT_EQ(use.extended.count(extended), 1u) << "effect E" << extended;
    EXPECT_TRUE(use.speed);
    EXPECT_TRUE(use.tempo);
}

TEST_F(SoundtrackSong, UsesTheVolumeColumn) {
    const int setVolume = 0x1, slideDown = 0x6, fineSlideUp = 0x9, panning = 0xc, tonePorta = 0xf;
    for (int kind : {setVolume, slideDown, fineSlideUp, panning, tonePorta})
        EXPECT_EQ(use.columnKinds.count(kind), 1u) << "volume column " << kind;
}

} // namespace
