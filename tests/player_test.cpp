// What the player promises before any song can play.

#include "player/player.h"
#include "player/songfile.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

void *openNothing(const char *) {
    return nullptr;
}
void closeNothing(void *) {}
int readNothing(void *, int, void *) {
    return 0;
}
void seekNowhere(void *, int, int) {}
int tellZero(void *) {
    return 0;
}

class FileCallbacks : public testing::Test {
  protected:
    void TearDown() override { setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr); }
};

TEST_F(FileCallbacks, AreInstalledAsACompleteSet) {
    setFileCallbacks(openNothing, closeNothing, readNothing, seekNowhere, tellZero);
    EXPECT_TRUE(fileCallbacksInstalled());
    const SongFileCallbacks &installed = installedFileCallbacks();
    EXPECT_EQ(installed.fileOpen, openNothing);
    EXPECT_EQ(installed.fileClose, closeNothing);
    EXPECT_EQ(installed.fileRead, readNothing);
    EXPECT_EQ(installed.fileSeek, seekNowhere);
    EXPECT_EQ(installed.fileTell, tellZero);
}

TEST_F(FileCallbacks, AnyMissingFunctionClearsAllFive) {
    for (int missing = 0; missing < 5; ++missing) {
        setFileCallbacks(openNothing, closeNothing, readNothing, seekNowhere, tellZero);
        setFileCallbacks(missing == 0 ? nullptr : openNothing,
                         missing == 1 ? nullptr : closeNothing,
                         missing == 2 ? nullptr : readNothing, missing == 3 ? nullptr : seekNowhere,
                         missing == 4 ? nullptr : tellZero);
        EXPECT_FALSE(fileCallbacksInstalled()) << "missing function " << missing;
        const SongFileCallbacks &installed = installedFileCallbacks();
        EXPECT_FALSE(installed.fileOpen || installed.fileClose || installed.fileRead ||
                     installed.fileSeek || installed.fileTell);
    }
}

// A song tree as the loader allocates it: zero-filled records from calloc.
Song *allocateSong() {
    Song *song = static_cast<Song *>(std::calloc(1, sizeof(Song)));
    song->channelCount = 2;
    song->patternSlotCount = 2;
    song->patterns = static_cast<Pattern *>(std::calloc(2, sizeof(Pattern)));
    song->patterns[0].rowCount = 4;
    song->patterns[0].cells = static_cast<PatternCell *>(std::calloc(8, sizeof(PatternCell)));
    song->instrumentCount = 2;
    song->instruments = static_cast<Instrument *>(std::calloc(2, sizeof(Instrument)));
    Instrument &instrument = song->instruments[0];
    instrument.sampleCount = 3;
    for (int slot = 0; slot < 16; ++slot)
        instrument.samples[slot] = &emptySample;
    for (int slot = 0; slot < 3; ++slot) {
        Sample *sample = static_cast<Sample *>(std::calloc(1, sizeof(Sample)));
        sample->length = slot == 2 ? 0 : 100;
        if (sample->length)
            sample->data = static_cast<int16_t *>(std::calloc(sample->length + 8, 2));
        instrument.samples[slot] = sample;
    }
    for (int slot = 0; slot < 16; ++slot)
        song->instruments[1].samples[slot] = &emptySample;
    return song;
}

TEST(Songs, NullArgumentsAreRefused) {
    EXPECT_FALSE(freeSong(nullptr));
    EXPECT_FALSE(stopSong(nullptr));
}

TEST(Songs, PositionIsZeroForANullSongAndWhileNothingPlays) {
    EXPECT_EQ(getOrder(nullptr), 0);
    EXPECT_EQ(getRow(nullptr), 0);
    EXPECT_EQ(getTime(nullptr), 0);
    Song *song = allocateSong();
    EXPECT_EQ(getOrder(song), 0);
    EXPECT_EQ(getRow(song), 0);
    EXPECT_EQ(getTime(song), 0);
    EXPECT_TRUE(stopSong(song));
    EXPECT_TRUE(stopSong(song)) << "stopping twice is harmless";
    EXPECT_EQ(getTime(song), 0);
    EXPECT_TRUE(freeSong(song));
}

// Under the address sanitizer a double free of the shared empty sample, or a
// leaked owned sample, fails this test.
TEST(Songs, FreeingReleasesOwnedRecordsAndLeavesTheSharedEmptyOnes) {
    EXPECT_TRUE(freeSong(allocateSong()));
    EXPECT_EQ(emptySample.data, nullptr);
    EXPECT_EQ(emptySample.length, 0u);
    EXPECT_EQ(emptyInstrument.sampleCount, 0);
}

TEST(Songs, RecordsHaveTheirStoredLayout) {
    EXPECT_EQ(sizeof(PatternCell), 5u);
    EXPECT_EQ(sizeof(EnvelopePoint), 4u);
    PatternCell cell = {1, 2, 3, 4, 5};
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&cell);
    EXPECT_EQ(bytes[0], 1); // note
    EXPECT_EQ(bytes[1], 2); // instrument
    EXPECT_EQ(bytes[2], 3); // volume column
    EXPECT_EQ(bytes[3], 4); // effect
    EXPECT_EQ(bytes[4], 5); // effect parameter
}

} // namespace
