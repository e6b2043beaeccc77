// The application's song-file functions and the player's pass-through record.

#include "player/memory_file.h"
#include "player/songfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct TemporaryFile {
    std::string path = testing::TempDir() + "memory_file_test.bin";
    explicit TemporaryFile(const std::string &content) {
        std::FILE *file = std::fopen(path.c_str(), "wb");
        std::fwrite(content.data(), 1, content.size(), file);
        std::fclose(file);
    }
    ~TemporaryFile() { std::remove(path.c_str()); }
};

TEST(MemoryFile, ReadsTheWholeFileAtOpen) {
    TemporaryFile file("0123456789");
    void *handle = memOpen(file.path.c_str());
    ASSERT_NE(handle, nullptr);
    const MemoryFile *memory = static_cast<const MemoryFile *>(handle);
    EXPECT_EQ(memory->length, 10);
    EXPECT_EQ(memory->position, 0);
    char buffer[8] = {};
    EXPECT_EQ(memRead(buffer, 4, handle), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(memTell(handle), 4);
    // Past the end the count is cut and the rest of the buffer is untouched.
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(memRead(buffer, 8, handle), 6);
    EXPECT_EQ(std::string(buffer, 8), "456789xx");
    EXPECT_EQ(memRead(buffer, 8, handle), 0);
    memClose(handle);
}

TEST(MemoryFile, OpensAMissingFileAsAnEmptyOne) {
    void *handle = memOpen("/no/such/veltrane/song.xm");
    ASSERT_NE(handle, nullptr);
    const MemoryFile *memory = static_cast<const MemoryFile *>(handle);
    EXPECT_EQ(memory->length, 0);
    EXPECT_EQ(memory->data, nullptr);
    char byte = 'x';
    EXPECT_EQ(memRead(&byte, 1, handle), 0);
    EXPECT_EQ(byte, 'x');
    memClose(handle);
}

TEST(MemoryFile, SeeksFromEachOriginWithinTheFile) {
    TemporaryFile file("0123456789");
    void *handle = memOpen(file.path.c_str());
    memSeek(handle, 3, 0);
    EXPECT_EQ(memTell(handle), 3);
    memSeek(handle, 4, 1);
    EXPECT_EQ(memTell(handle), 7);
    memSeek(handle, -2, 2);
    EXPECT_EQ(memTell(handle), 8);
    memSeek(handle, 1, 3); // not an origin: the position stays
    EXPECT_EQ(memTell(handle), 8);
    memSeek(handle, 5, 256); // the origin is taken as a byte: 256 is 0
    EXPECT_EQ(memTell(handle), 5);
    memSeek(handle, 100, 0);
    EXPECT_EQ(memTell(handle), 10);
    memSeek(handle, -100, 1);
    EXPECT_EQ(memTell(handle), 0);
    memSeek(handle, -20, 2);
    EXPECT_EQ(memTell(handle), 0);
    memSeek(handle, 0x7fffffff, 0);
    memSeek(handle, 0x7fffffff, 1);
    EXPECT_EQ(memTell(handle), 10);
    memClose(handle);
}

TEST(SongFile, IsNullWhenNothingCanBeOpened) {
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(openSongFile("anything"), nullptr);
    char byte = 0;
    EXPECT_EQ(readSongFile(nullptr, &byte, 1), 0);
    seekSongFile(nullptr, 1, 0);
    EXPECT_EQ(tellSongFile(nullptr), 0);
    closeSongFile(nullptr);
}

TEST(SongFile, PassesThroughToTheInstalledFunctions) {
    TemporaryFile file("XM");
    setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
    SongFile *songFile = openSongFile(file.path.c_str());
    ASSERT_NE(songFile, nullptr);
    seekSongFile(songFile, 1, 0);
    char byte = 0;
    EXPECT_EQ(readSongFile(songFile, &byte, 1), 1);
    EXPECT_EQ(byte, 'M');
    EXPECT_EQ(tellSongFile(songFile), 2);
    closeSongFile(songFile);
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
}

} // namespace
