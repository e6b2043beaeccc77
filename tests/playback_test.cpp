// Playback: sizes, block stamps, the reset, the output thread behind a test
// device and the position queries; and the song-file functions.

#include "player/allocation.h"
#include "player/blockfill.h"
#include "player/memory_file.h"
#include "player/song_render.h"
#include "player/songfile.h"
#include "song_bytes.h"
#include "player/output.h"
#include "tick_player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

using Values = std::vector<int64_t>;

TEST(Blocks, SizesAndTickLength) {
    // blockFrames = (rate x 20 / 1000 + 3) & ~3; ringFrames = (ms / 20) x block x 2.
    const int32_t sizes[][5] = {{44100, 1000, 884, 88400, 100},
                                {48000, 1000, 960, 96000, 100},
                                {22050, 1000, 444, 44400, 100},
                                {44100, 500, 884, 44200, 50}};
    for (const auto &s : sizes) {
        const PlaybackSizes derived = derivedSizes(s[0], s[1]);
        EXPECT_EQ((Values{derived.blockFrames, derived.ringFrames, derived.blockCount}),
                  (Values{s[2], s[3], s[4]}));
    }
    EXPECT_EQ(derivedSizes(44100, 1000).secondsPerFrame, 1.0f / 44100.0f);
    EXPECT_LT(derivedSizes(44100, 1000).secondsPerFrame, 1.0 / 44100.0);
    // A tick lasts 2.5 / bpm seconds, rounded down to whole frames.
    Song song{};
    for (int bpm = 1; bpm <= 255; ++bpm) {
        setBpm(&song, bpm);
        EXPECT_EQ((Values{song.bpm, song.samplesPerTick}), (Values{bpm, 44100 * 5 / (2 * bpm)}));
    }
}

TEST(Blocks, StampsHoldTheTimeAndPositionAtTheBlocksEnd) {
    // A run of n frames adds trunc(n x secondsPerFrame x 1000) ms, which is ceil(10n / 441) - 1
    // since secondsPerFrame is a hair below 1/44100: 882 -> 19, 2 -> 0. Tick and block edges
    // meet every lcm(882, 884) = 389844 frames, 441 blocks, which count 19 + 19 x 440 +
    // floor(20 x 441 / 441) - 1 = 8398; 2000 blocks = 4 x 441 + 236, and 236 blocks count
    // 19 + 19 x 235 + floor(20 x 236 / 441) = 4494: 38086.
    // At speed 1 block k ends in tick (884 (k + 1) - 1) / 882, which plays order (m / 2) mod 3,
    // row m mod 2. Order and row are stamped modulo 256.
    TickPlayer play(xmSong("speed=1 rows=2,2,2 orders=0,1,2: . / . / ."));
    Values stamps, times{0};
    for (int block = 0; block < 2000; ++block) {
        fillBlock();
        const PositionStamp &stamp = blockStamp(block % 100);
        if (block < 4)
            stamps.insert(stamps.end(), {stamp.order, stamp.row});
        ASSERT_TRUE(stamp.timeMs - times.back() == 19 || stamp.timeMs - times.back() == 20);
        times.push_back(stamp.timeMs);
    }
    EXPECT_EQ(times.back(), 38086);
    play.song().tickFunction = [](Song *song) { song->order = 257, song->row = 300; };
    fillBlock();
    EXPECT_EQ(stamps, (Values{0, 1, 1, 0, 1, 1, 2, 0}));
    EXPECT_EQ((Values{blockStamp(0).order, blockStamp(0).row}), (Values{1, 44}));
}

TEST(Blocks, ARenderEndsWhereTheSongLoopsAndLeavesTheSongItsTickFunction) {
    // At tempo 249 a tick lasts floor(110250 / 249) = 442 frames: two rows at speed 1 loop
    // exactly where the second block starts, which the render learns only when it mixes it.
    TickPlayer play(xmSong("bpm=249 speed=1 rows=2: ."));
    SongRender render;
    RenderedBlock block;
    ASSERT_TRUE(beginSongRender(&play.song(), -1, render));
    EXPECT_TRUE(renderNextBlock(render, block));
    EXPECT_FALSE(renderNextBlock(render, block));
    endSongRender(render);
    EXPECT_EQ((Values{block.frames, render.rendered, render.looped}), (Values{884, 884, 1}));
    EXPECT_EQ(play.song().tickFunction, sequencerTick);
}

TEST(Blocks, BeginPlaybackResetsTheSongVoicesAndChannels) {
    TickPlayer play(xmSong("speed=3: C-4 01; ;;;; . | C-5 01"));
    Song &song = play.song();
    for (int block = 0; block < 30; ++block)
        fillBlock();
    song.globalVolume = 10; // as effects would have left them
    song.speed = 9;
    song.patternDelayTicks = 2;
    setBpm(&song, 60);
    ASSERT_NE(voices[1].sample, nullptr);
    ASSERT_TRUE(beginPlayback(&song));
    EXPECT_EQ((Values{song.order, song.row, song.tick, song.timeMs, song.samplesUntilTick,
                      song.nextRow, song.nextOrder, song.patternDelayTicks, song.speed, song.bpm,
                      song.samplesPerTick, song.globalVolume, nextBlockToFill()}),
              (Values{0, 0, 0, 0, 0, -1, -1, 0, 3, 125, 882, 64, 0}));
    for (int v = 0; v < voiceCount; ++v)
        ASSERT_EQ((Values{voices[v].index, voices[v].sample != nullptr, voices[v].speedInteger}),
                  (Values{v, 0, 1}));
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ((Values{channels[c].voice == &voices[c], channels[c].period,
                          channels[c].fadeoutVolume}),
                  (Values{1, 0, 0}));
    fillBlock(); // and the song starts over
    EXPECT_EQ((Values{blockStamp(0).order, blockStamp(0).row, blockStamp(0).timeMs}),
              (Values{0, 0, 19}));
}

// An audio output for tests: nothing is heard, the test moves the play position by hand,
// and it counts what playback asked of it. At its stop it reads the whole ring: had
// playback released it already, the address sanitizer would report it.
struct TestDevice {
    int opens = 0, starts = 0, written = 0, stops = 0, closes = 0;
    bool openFails = false, ringReadableAtStop = false, held = false;
    const int16_t *ring = nullptr;
    int32_t ringFrames = 0;
} testDevice;
std::atomic<uint64_t> playPosition{0};

const AudioOutput testOutput = {
    [](int32_t) { return ++testDevice.opens, !testDevice.openFails; },
    [](const int16_t *ring, int32_t frames) {
        ++testDevice.starts;
        testDevice.ring = ring;
        testDevice.ringFrames = frames;
        playPosition = 0;
    },
    [] { return playPosition.load(); },
    [] { ++testDevice.written; },
    [] {
        int sum = 0;
        for (int32_t k = 0; testDevice.ring && k < 2 * testDevice.ringFrames; ++k)
            sum += testDevice.ring[k] != 0;
        testDevice.ringReadableAtStop = testDevice.ring != nullptr && sum >= 0;
        testDevice.ring = nullptr;
        ++testDevice.stops;
    },
    [](bool held) { testDevice.held = held; },
    [] { ++testDevice.closes; }};

// Four orders of 16 rows at speed 3: the row changes every few blocks.
const char *playbackSong = "speed=3 orders=0,0,0,0: C-4 01; ; F-4 01 | .; ; . | G-4 01";

int threadCount() {
    auto entries = std::filesystem::directory_iterator("/proc/self/task");
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}

class Playback : public testing::Test {
  protected:
    void SetUp() override {
        testDevice = TestDevice{};
        useAudioOutput(&testOutput);
        song = loadSongBytes(buildXm(xmSong(playbackSong)));
        ASSERT_NE(song, nullptr);
    }
    void TearDown() override {
        freeSong(song);
        useAudioOutput(nullptr);
    }

    // Moves the device into a block and waits until the thread has mixed up to it.
    bool playInto(int64_t block) {
        playPosition = (static_cast<uint64_t>(block) * 884 + 17);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (nextBlockToFill() != block % 100)
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }

    Song *song = nullptr;
};

TEST_F(Playback, PreMixesTheRingAndReportsTheBlockTheDevicePlays) {
    // The stamps of the first blocks, mixed offline the same way.
    ASSERT_TRUE(beginPlayback(song));
    std::vector<PositionStamp> expected;
    for (int block = 0; block < 260; ++block) {
        const int32_t index = nextBlockToFill();
        fillBlock();
        expected.push_back(blockStamp(index));
    }
    endPlayback();
    EXPECT_EQ((Values{getOrder(song), getRow(song), getTime(song)}), (Values{0, 0, 0}));
    ASSERT_TRUE(playSong(song));
    EXPECT_EQ((Values{testDevice.opens, testDevice.starts, testDevice.ringFrames, nextBlockToFill(),
                      getTime(song), getTime(nullptr)}),
              (Values{1, 1, 88400, 0, 19, 0}));
    // The device plays block (block mod 100) of the ring, whose stamp was written when
    // absolute block `block` was mixed, a ring earlier.
    for (int64_t block : {1, 7, 60, 99, 100, 101, 180, 250}) {
        ASSERT_TRUE(playInto(block)) << "block " << block;
        EXPECT_EQ((Values{getTime(song), getRow(song), getOrder(song)}),
                  (Values{expected[block].timeMs, expected[block].row, expected[block].order}))
            << block;
        EXPECT_EQ(audibleStamp() - &blockStamp(0), nextBlockToFill());
    }
    EXPECT_TRUE(stopSong(song));
    EXPECT_EQ((Values{getOrder(song), getRow(song), getTime(song)}), (Values{0, 0, 0}));
    EXPECT_TRUE(stopSong(song)) << "a second stop finds nothing to do";
    // Each block the device finished was mixed again, and the device told of it.
    EXPECT_EQ((Values{testDevice.closes, testDevice.written}), (Values{1, 250}));
}

TEST_F(Playback, RestartsWithoutASecondThreadAndNeedsADeviceAndTheFileFunctions) {
    ASSERT_TRUE(playSong(song));
    const int playing = threadCount();
    ASSERT_TRUE(playInto(30));
    EXPECT_GT(getTime(song), 19);
    ASSERT_TRUE(playSong(song));
    EXPECT_EQ((Values{getTime(song), threadCount()}), (Values{19, playing}));
    stopSong(song);
    EXPECT_EQ((Values{threadCount(), testDevice.opens, testDevice.closes}),
              (Values{playing - 1, 2, 2}));
    testDevice.openFails = true;
    EXPECT_FALSE(playSong(song));
    EXPECT_EQ((Values{threadCount(), getTime(song), testDevice.starts}),
              (Values{playing - 1, 0, 2}));
    EXPECT_TRUE(stopSong(song)); // releases what the failed start allocated
    EXPECT_EQ(testDevice.closes, 2);
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(playSong(song));
    EXPECT_FALSE(playSong(nullptr));
    EXPECT_EQ(testDevice.opens, 3);
}

// An order lasts 16 rows x 3 ticks x 882 frames = 42336. A jump mixes the ring again from
// the order's first row, at once, and the time goes on from the block heard (plus block 0's
// 19 ms); the frames heard run on across it, a hold stays across the device's new start, and
// the loop watch starts again: from order 2, play goes 2, 3, 0, 1 and loops at 2.
TEST_F(Playback, PausesJumpsToAnOrderAndHearsWhereTheSongLoops) {
    ASSERT_TRUE(playSong(song));
    ASSERT_TRUE(playInto(30));
    const int heardMs = getTime(song);
    EXPECT_TRUE(pauseSong(song, true) && testDevice.held);
    EXPECT_FALSE(jumpToOrder(song, 4) || jumpToOrder(song, -1) || jumpToOrder(nullptr, 0));
    ASSERT_TRUE(jumpToOrder(song, 2));
    const int64_t jumpFrame = 30 * 884 + 17;
    EXPECT_EQ((Values{getOrder(song), getRow(song), getTime(song), getFramesHeard(song),
                      testDevice.starts, testDevice.held, nextBlockToFill()}),
              (Values{2, 0, heardMs + 19, jumpFrame, 2, 1, 0}));
    EXPECT_TRUE(pauseSong(song, false) && !testDevice.held);
    ASSERT_TRUE(playInto(60) && playInto(120) && playInto(190));
    EXPECT_EQ((Values{getOrder(song), getFramesHeard(song) - jumpFrame, hasLooped(song)}),
              (Values{1, 190 * 884 + 17, 0}));
    ASSERT_TRUE(playInto(192));
    EXPECT_EQ((Values{getOrder(song), hasLooped(song)}), (Values{2, 1}));
    stopSong(song);
    EXPECT_FALSE(pauseSong(song, true) || hasLooped(song) || getFramesHeard(song));
}

// The device stops reading the ring before any of it is released.
TEST_F(Playback, FreeingAPlayingSongSilencesTheOutputFirst) {
    ASSERT_TRUE(playSong(song));
    playPosition = (5 * 884);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(freeSong(song));
    song = nullptr;
    EXPECT_EQ((Values{testDevice.stops, testDevice.ringReadableAtStop, testDevice.closes}),
              (Values{1, 1, 1}));
    EXPECT_EQ(playingSong(), nullptr);
    EXPECT_FALSE(freeSong(nullptr));
    EXPECT_FALSE(stopSong(nullptr));
}

void *openNothing(const char *) {
    return nullptr;
}

TEST(SongFiles, MemoryFilesAndTheInstalledFunctions) {
    // Any missing function clears all five.
    setFileCallbacks(openNothing, memClose, memRead, memSeek, memTell);
    EXPECT_EQ(installedFileCallbacks().fileTell, memTell);
    setFileCallbacks(openNothing, memClose, memRead, memSeek, nullptr);
    EXPECT_FALSE(fileCallbacksInstalled() || installedFileCallbacks().fileOpen);
    EXPECT_EQ(openSongFile("anything"), nullptr);
    char bytes[16];
    std::fill(bytes, bytes + 16, 'x');
    EXPECT_EQ(readSongFile(nullptr, bytes, 1) + tellSongFile(nullptr), 0);
    // The memory file reads the whole file at open; a missing file reads as empty.
    const std::string path = testing::TempDir() + "veltrane-memory-file.bin";
    std::FILE *file = std::fopen(path.c_str(), "wb");
    std::fputs("0123456789", file);
    std::fclose(file);
    setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
    SongFile *songFile = openSongFile(path.c_str());
    failAllocationsAfter(1); // a file whose bytes find no memory reads as empty
    void *unread = memOpen(path.c_str());
    failAllocationsAfter(-1);
    std::remove(path.c_str());
    EXPECT_EQ(static_cast<MemoryFile *>(unread)->length, 0);
    memClose(unread);
    ASSERT_NE(songFile, nullptr);
    EXPECT_EQ(static_cast<MemoryFile *>(songFile->handle)->length, 10);
    // Past the end the count is cut and the rest of the buffer left alone.
    EXPECT_EQ(readSongFile(songFile, bytes, 4), 4);
    EXPECT_EQ(readSongFile(songFile, bytes + 4, 8), 6);
    EXPECT_EQ(std::string(bytes, 12), "0123456789xx");
    EXPECT_EQ(readSongFile(songFile, bytes, 8), 0);
    // Seeks from each origin within the file; an unknown origin leaves the position, and
    // the origin is taken as a byte (256 is 0).
    const int seeks[][3] = {{3, 0, 3},           {4, 1, 7},          {-2, 2, 8},   {1, 3, 8},
                            {5, 256, 5},         {100, 0, 10},       {-100, 1, 0}, {-20, 2, 0},
                            {0x7fffffff, 0, 10}, {0x7fffffff, 1, 10}};
    for (const auto &[offset, origin, position] : seeks) {
        seekSongFile(songFile, offset, origin);
        EXPECT_EQ(tellSongFile(songFile), position) << offset << " from " << origin;
    }
    closeSongFile(songFile);
    void *missing = memOpen("/no/such/veltrane/song.xm");
    EXPECT_EQ((Values{static_cast<MemoryFile *>(missing)->length, memRead(bytes, 1, missing)}),
              (Values{0, 0}));
    memClose(missing);
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
}

} // namespace
