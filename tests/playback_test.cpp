// Playing on a device: the output thread keeps the ring mixed behind the
// device's play position, and the position queries name the block heard.

#include "player/blockfill.h"
#include "player/player.h"
#include "player/songfile.h"
#include "song_bytes.h"
#include "test_output.h"
#include "tick_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

using std::chrono::milliseconds;

const int32_t blockFrames = 884;
const int32_t blockCount = 100;

// Four orders of 16 rows at speed 3: the row changes every few blocks.
XmSong playbackSong() {
    XmSong xm = tickTestSong(2, 16);
    xm.speed = 3;
    xm.orders = {0, 0, 0, 0};
    for (int row = 0; row < 16; row += 2)
        xm.patterns[0].at(row, row % 4 / 2) = {static_cast<uint8_t>(40 + row), 1};
    return xm;
}

int threadCount() {
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

class Playback : public testing::Test {
  protected:
    void SetUp() override {
        testOutputLog = TestOutputLog{};
        useAudioOutput(&testAudioOutput());
        song = loadSongBytes(buildXm(playbackSong()));
        ASSERT_NE(song, nullptr);
    }
    void TearDown() override {
        freeSong(song);
        useAudioOutput(nullptr);
    }

    // The stamps of the first blocks, mixed offline the same way.
    std::vector<PositionStamp> offlineStamps(int blocks) {
        std::vector<PositionStamp> stamps;
        EXPECT_TRUE(beginPlayback(song));
        for (int block = 0; block < blocks; ++block) {
            const int32_t index = nextBlockToFill();
            fillBlock();
            stamps.push_back(blockStamp(index));
        }
        endPlayback();
        return stamps;
    }

    // Moves the device into a block and waits until the thread has mixed up to it.
    bool playInto(int64_t block) {
        setTestPlayPosition(static_cast<uint64_t>(block) * blockFrames + 17);
        const auto deadline = std::chrono::steady_clock::now() + milliseconds(3000);
        while (nextBlockToFill() != block % blockCount)
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            else
                std::this_thread::sleep_for(milliseconds(1));
        return true;
    }

    Song *song = nullptr;
};

TEST_F(Playback, ReportsNothingBeforeItStartsAndAfterItStops) {
    EXPECT_EQ(getTime(song), 0);
    ASSERT_TRUE(playSong(song));
    EXPECT_EQ(getTime(song), 19); // block 0: one run of 882 frames and one of 2
    EXPECT_EQ(getTime(nullptr), 0);
    EXPECT_TRUE(stopSong(song));
    EXPECT_EQ(getOrder(song), 0);
    EXPECT_EQ(getRow(song), 0);
    EXPECT_EQ(getTime(song), 0);
    EXPECT_TRUE(stopSong(song)) << "a second stop finds nothing to do";
    EXPECT_EQ(testOutputLog.closes, 1);
}

TEST_F(Playback, PreMixesTheWholeRingBeforeTheDeviceStarts) {
    ASSERT_TRUE(playSong(song));
    EXPECT_EQ(testOutputLog.opens, 1);
    EXPECT_EQ(testOutputLog.starts, 1);
    EXPECT_EQ(testOutputLog.ringFrames, blockCount * blockFrames);
    EXPECT_EQ(nextBlockToFill(), 0) << "the pre-mix went once around the ring";
    stopSong(song);
}

TEST_F(Playback, NamesTheBlockTheDeviceIsPlaying) {
    const std::vector<PositionStamp> expected = offlineStamps(260);
    ASSERT_TRUE(playSong(song));
    for (int64_t block : {1, 7, 60, 99, 100, 101, 180, 250}) {
        ASSERT_TRUE(playInto(block)) << "block " << block;
        // The device plays block (block mod 100) of the ring, whose stamp was
        // written when absolute block `block` was mixed, a ring earlier.
        EXPECT_EQ(getTime(song), expected[block].timeMs) << "block " << block;
        EXPECT_EQ(getRow(song), expected[block].row) << "block " << block;
        EXPECT_EQ(getOrder(song), expected[block].order) << "block " << block;
        EXPECT_EQ(audibleStamp() - &blockStamp(0), nextBlockToFill());
    }
    stopSong(song);
}

TEST_F(Playback, RestartsFromTheBeginningWithoutASecondThread) {
    ASSERT_TRUE(playSong(song));
    const int playing = threadCount();
    ASSERT_TRUE(playInto(30));
    EXPECT_GT(getTime(song), 19);
    ASSERT_TRUE(playSong(song));
    EXPECT_EQ(getTime(song), 19);
    EXPECT_EQ(threadCount(), playing);
    stopSong(song);
    EXPECT_EQ(threadCount(), playing - 1);
    EXPECT_EQ(testOutputLog.opens, 2);
    EXPECT_EQ(testOutputLog.closes, 2);
}

TEST_F(Playback, FailsWithoutADeviceAndPlaysNothing) {
    testOutputLog.openFails = true;
    const int before = threadCount();
    EXPECT_FALSE(playSong(song));
    EXPECT_EQ(threadCount(), before);
    EXPECT_EQ(getTime(song), 0);
    EXPECT_EQ(testOutputLog.starts, 0);
    EXPECT_TRUE(stopSong(song)); // releases what the failed start allocated
    EXPECT_EQ(testOutputLog.closes, 0);
}

TEST_F(Playback, NeedsTheSongFileFunctions) {
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(playSong(song));
    EXPECT_EQ(testOutputLog.opens, 0);
    EXPECT_FALSE(playSong(nullptr));
}

// The device stops reading the ring before any of it is released.
TEST(PlaybackShutdown, FreeingAPlayingSongSilencesTheOutputFirst) {
    testOutputLog = TestOutputLog{};
    useAudioOutput(&testAudioOutput());
    Song *song = loadSongBytes(buildXm(playbackSong()));
    ASSERT_TRUE(playSong(song));
    setTestPlayPosition(5 * blockFrames);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_TRUE(freeSong(song));
    EXPECT_EQ(testOutputLog.stops, 1);
    EXPECT_TRUE(testOutputLog.ringReadableAtStop);
    EXPECT_EQ(testOutputLog.closes, 1);
    EXPECT_EQ(playingSong(), nullptr);
    useAudioOutput(nullptr);
}

} // namespace
