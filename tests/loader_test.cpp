// Song files into the song tree: the layout as read, the conversions, and what
// the loader rejects or repairs in untrusted files.

#include "player/allocation.h"
#include "player/player.h"
#include "song_bytes.h"
#include "tools/xm_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct SongDeleter {
    void operator()(Song *song) const { freeSong(song); }
};
using SongPointer = std::unique_ptr<Song, SongDeleter>;

SongPointer load(const XmSong &xm) {
    return SongPointer(loadSongBytes(buildXm(xm)));
}
SongPointer load(const std::vector<uint8_t> &bytes) {
    return SongPointer(loadSongBytes(bytes));
}

// A pattern with no cell data at all: its packed size is 0.
XmPattern patternOf(int rows, int channels) {
    XmPattern pattern = blankPattern(rows, channels);
    pattern.cells.clear();
    return pattern;
}

// A song of two channels and one pattern of four rows.
XmSong smallSong() {
    XmSong song;
    song.channels = 2;
    XmPattern pattern = patternOf(4, 2);
    pattern.at(0, 0) = {49, 1, 0x40, 0x0f, 0x06};
    song.patterns.push_back(pattern);
    return song;
}

XmSample sample8(std::vector<int> values) {
    XmSample sample;
    sample.values = std::move(values);
    return sample;
}

XmSample sample16(std::vector<int> values) {
    XmSample sample = sample8(std::move(values));
    sample.sixteenBit = true;
    return sample;
}

const PatternCell &cellOf(const Song &song, int pattern, int row, int channel) {
    return song.patterns[pattern].cells[row * song.channelCount + channel];
}

TEST(ModuleHeader, FillsTheSongFields) {
    XmSong xm = smallSong();
    xm.orders = {0, 0, 0};
    xm.restart = 1;
    xm.flags = 0;
    xm.speed = 3;
    xm.bpm = 150;
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->songLength, 3);
    EXPECT_EQ(song->restartPosition, 1);
    EXPECT_EQ(song->channelCount, 2);
    EXPECT_EQ(song->flags, 0);
    EXPECT_EQ(song->defaultSpeed, 3);
    EXPECT_EQ(song->defaultBpm, 150);
    EXPECT_EQ(song->initialGlobalVolume, 64);
    EXPECT_NE(song->tickFunction, nullptr);
    EXPECT_EQ(song->sampleLoader, nullptr);
}

TEST(ModuleHeader, PatternsStartAfterTheStatedHeaderSize) {
    XmSong xm = smallSong();
    xm.headerSize = 300; // 24 bytes of padding the loader must skip
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ(cellOf(*song, 0, 0, 0).note, 49);
}

TEST(ModuleHeader, RejectsForeignAndMissingFiles) {
    std::vector<uint8_t> bytes = buildXm(smallSong());
    bytes[16] = '!'; // "Extended Module!"
    EXPECT_FALSE(load(bytes));
    EXPECT_FALSE(load(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16)));
    EXPECT_FALSE(load(std::vector<uint8_t>{}));
}

TEST(ModuleHeader, RejectsOlderFormatVersions) {
    XmSong xm = smallSong();
    xm.version = 0x0103;
    EXPECT_FALSE(load(xm));
    xm.version = 0x0104;
    EXPECT_TRUE(load(xm));
    xm.version = 0x0105;
    EXPECT_TRUE(load(xm));
}

TEST(ModuleHeader, RejectsWhatThePlayerCannotRepresent) {
    auto loadsWith = [](void (*change)(XmSong &)) {
        XmSong xm = smallSong();
        change(xm);
        return static_cast<bool>(load(xm));
    };
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.channels = 0; }));
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.channels = 33; }));
    EXPECT_TRUE(loadsWith([](XmSong &xm) { xm.channels = 32; }));
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.songLength = 0; }));
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.songLength = 257; }));
    EXPECT_TRUE(loadsWith([](XmSong &xm) { xm.songLength = 256; }));
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.bpm = 0; }));
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.bpm = 0x8000; })); // negative as int16
    EXPECT_TRUE(loadsWith([](XmSong &xm) { xm.bpm = 1; }));
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.patternCount = 257; }));
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.instrumentCount = 129; }));
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.patterns[0].rows = 0; }));
    EXPECT_FALSE(loadsWith([](XmSong &xm) { xm.patterns[0].rows = 257; }));
}

TEST(Patterns, OrderTableNamesPatternsTheFileLacks) {
    XmSong xm;
    xm.channels = 3;
    xm.orders = {0, 5, 2};
    for (int i = 0; i < 3; ++i)
        xm.patterns.push_back(patternOf(8, 3));
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->usedPatternCount, 6);
    EXPECT_EQ(song->patternSlotCount, 6);
    for (int number = 3; number < 6; ++number) {
        EXPECT_EQ(song->patterns[number].rowCount, 64);
        for (int cell = 0; cell < 64 * 3; ++cell)
            EXPECT_EQ(song->patterns[number].cells[cell].note, 0);
    }
}

TEST(Patterns, SlotsCoverEveryPatternOfTheFile) {
    XmSong xm = smallSong();
    xm.patterns.push_back(patternOf(16, 2));
    xm.patterns.push_back(patternOf(32, 2));
    SongPointer song = load(xm); // the order table names only pattern 0
    ASSERT_TRUE(song);
    EXPECT_EQ(song->usedPatternCount, 1);
    EXPECT_EQ(song->patternSlotCount, 3);
    EXPECT_EQ(song->patterns[2].rowCount, 32);
}

TEST(Patterns, DecodePackedAndPlainCells) {
    XmSong xm;
    xm.channels = 2;
    XmPattern pattern = patternOf(2, 2);
    // Empty cell; note 49 with instrument 2; a plain cell; volume and effect only.
    pattern.rawData = std::vector<uint8_t>{0x80, 0x83, 0x31, 0x02, 0x30, 0x03,
                                           0x20, 0x0a, 0x01, 0x8c, 0x0f, 0x1f};
    xm.patterns.push_back(pattern);
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    const PatternCell empty = cellOf(*song, 0, 0, 0);
    EXPECT_EQ(empty.note | empty.instrument | empty.volumeColumn | empty.effect, 0);
    EXPECT_EQ(cellOf(*song, 0, 0, 1).note, 49);
    EXPECT_EQ(cellOf(*song, 0, 0, 1).instrument, 2);
    EXPECT_EQ(cellOf(*song, 0, 0, 1).volumeColumn, 0);
    const PatternCell plain = cellOf(*song, 0, 1, 0);
    EXPECT_EQ(plain.note, 0x30);
    EXPECT_EQ(plain.instrument, 0x03);
    EXPECT_EQ(plain.volumeColumn, 0x20);
    EXPECT_EQ(plain.effect, 0x0a);
    EXPECT_EQ(plain.effectParam, 0x01);
    const PatternCell partial = cellOf(*song, 0, 1, 1);
    EXPECT_EQ(partial.note, 0);
    EXPECT_EQ(partial.volumeColumn, 0x0f);
    EXPECT_EQ(partial.effect, 0x1f);
    EXPECT_EQ(partial.effectParam, 0);
}

TEST(Patterns, StoreKeyOffAs255AndDropInstrumentsAbove128) {
    XmSong xm;
    xm.channels = 4;
    XmPattern pattern = patternOf(1, 4);
    pattern.at(0, 0) = {97, 128};
    pattern.at(0, 1) = {96, 129};
    pattern.at(0, 2) = {98, 200};
    pattern.at(0, 3) = {1, 255};
    xm.patterns.push_back(pattern);
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ(cellOf(*song, 0, 0, 0).note, 255);
    EXPECT_EQ(cellOf(*song, 0, 0, 0).instrument, 128);
    EXPECT_EQ(cellOf(*song, 0, 0, 1).note, 96);
    EXPECT_EQ(cellOf(*song, 0, 0, 1).instrument, 0);
    EXPECT_EQ(cellOf(*song, 0, 0, 2).note, 98);
    EXPECT_EQ(cellOf(*song, 0, 0, 2).instrument, 0);
    EXPECT_EQ(cellOf(*song, 0, 0, 3).instrument, 0);
}

TEST(Patterns, AnEmptyPatternConsumesOnlyItsHeader) {
    XmSong xm;
    xm.channels = 2;
    xm.patterns.push_back(patternOf(12, 2)); // no cells: packed size 0
    XmPattern second = patternOf(1, 2);
    second.at(0, 1) = {60, 1};
    xm.patterns.push_back(second);
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->patterns[0].rowCount, 12);
    EXPECT_EQ(cellOf(*song, 0, 11, 1).note, 0);
    EXPECT_EQ(cellOf(*song, 1, 0, 1).note, 60);
}

TEST(Patterns, PlainPatternsReadLikePackedOnes) {
    XmSong xm = smallSong();
    xm.patterns[0].packed = false;
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    const PatternCell cell = cellOf(*song, 0, 0, 0);
    EXPECT_EQ(cell.note, 49);
    EXPECT_EQ(cell.volumeColumn, 0x40);
    EXPECT_EQ(cell.effectParam, 0x06);
}

TEST(Patterns, AFileThatEndsEarlyReadsAsZeros) {
    std::vector<uint8_t> bytes = buildXm(smallSong());
    bytes.resize(xmPatternsOffset + 9 + 3); // the header and the first cell's first bytes
    SongPointer song = load(bytes);
    ASSERT_TRUE(song);
    EXPECT_EQ(cellOf(*song, 0, 0, 0).note, 49);
    EXPECT_EQ(cellOf(*song, 0, 0, 0).instrument, 1);
    EXPECT_EQ(cellOf(*song, 0, 0, 0).effect, 0);
    EXPECT_EQ(cellOf(*song, 0, 3, 1).note, 0);
}

TEST(Instruments, WithoutSamplesConsumeTheirHeaderSize) {
    XmSong xm = smallSong();
    XmInstrument silent;
    silent.headerSize = 29;
    XmInstrument padded;
    padded.headerSize = 263;
    xm.instruments = {silent, padded, instrumentWith(sample8({5}))};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    ASSERT_EQ(song->instrumentCount, 3);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(song->instruments[i].sampleCount, 0);
        for (Sample *slot : song->instruments[i].samples)
            EXPECT_EQ(slot, &emptySample);
    }
    ASSERT_EQ(song->instruments[2].sampleCount, 1);
    EXPECT_EQ(song->instruments[2].samples[0]->data[0], 5 * 256);
}

TEST(Instruments, ReadEnvelopesVibratoAndFadeout) {
    XmInstrument instrument = instrumentWith(sample8({0}));
    instrument.sampleMap[0] = 0;
    instrument.sampleMap[95] = 3;
    instrument.volumeEnvelope = {{{0, 64}, {10, 32}, {20, 0}}, 1, 0, 2, 7, {}};
    instrument.panningEnvelope = {{{0, 32}, {5, 64}}, 0, 0, 1, 5, {}};
    instrument.vibratoType = 2;
    instrument.vibratoSweep = 3;
    instrument.vibratoDepth = 4;
    instrument.vibratoRate = 5;
    instrument.fadeout = 0x123;
    XmSong xm = smallSong();
    xm.instruments = {instrument};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    const Instrument &loaded = song->instruments[0];
    EXPECT_EQ(loaded.sampleMap[95], 3);
    EXPECT_EQ(loaded.volumePointCount, 3);
    EXPECT_EQ(loaded.volumePoints[1].tick, 10);
    EXPECT_EQ(loaded.volumePoints[1].value, 32);
    EXPECT_EQ(loaded.volumeSustain, 1);
    EXPECT_EQ(loaded.volumeLoopEnd, 2);
    EXPECT_EQ(loaded.volumeType, 7);
    EXPECT_EQ(loaded.panningPointCount, 2);
    EXPECT_EQ(loaded.panningPoints[1].value, 64);
    EXPECT_EQ(loaded.panningLoopEnd, 1);
    EXPECT_EQ(loaded.panningType, 5);
    EXPECT_EQ(loaded.vibratoType, 2);
    EXPECT_EQ(loaded.vibratoSweep, 3);
    EXPECT_EQ(loaded.vibratoDepth, 4);
    EXPECT_EQ(loaded.vibratoRate, 5);
    EXPECT_EQ(loaded.fadeout, 0x246);
}

TEST(Instruments, SwitchOffEnvelopesOfFewerThanTwoPoints) {
    XmInstrument instrument = instrumentWith(sample8({0}));
    instrument.volumeEnvelope = {{{0, 64}}, 0, 0, 0, 1, {}};
    instrument.panningEnvelope = {{}, 0, 0, 0, 7, {}};
    XmSong xm = smallSong();
    xm.instruments = {instrument};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->instruments[0].volumeType, 0);
    EXPECT_EQ(song->instruments[0].panningType, 0);
}

TEST(Instruments, RejectMoreThanSixteenSamples) {
    XmInstrument crowded;
    for (int i = 0; i < 17; ++i)
        crowded.samples.push_back(sample8({1}));
    XmSong xm = smallSong();
    xm.instruments = {crowded};
    EXPECT_FALSE(load(xm));
    crowded.samples.pop_back();
    xm.instruments = {crowded};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->instruments[0].sampleCount, 16);
    EXPECT_NE(song->instruments[0].samples[15], &emptySample);
}

TEST(Instruments, PointUnusedSampleSlotsAtTheSharedEmptySample) {
    XmInstrument instrument;
    instrument.samples = {sample8({1}), sample8({2}), sample8({3})};
    XmSong xm = smallSong();
    xm.instruments = {instrument};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    for (int slot = 0; slot < 16; ++slot)
        EXPECT_EQ(song->instruments[0].samples[slot] == &emptySample, slot >= 3) << slot;
}

// Envelopes trackers leave behind are made safe to step, also when off.
TEST(Instruments, RepairEnvelopesThatCouldNotBeStepped) {
    XmInstrument instrument = instrumentWith(sample8({0}));
    XmEnvelope &volume = instrument.volumeEnvelope;
    volume.points = {{0, 80}, {0, 10}, {4, 70}, {3, 20}, {65535, 0}, {9, 1}};
    volume.pointCount = 13;
    volume.sustain = 12;
    volume.loopStart = 1;
    volume.loopEnd = 12;
    volume.type = 7;
    instrument.panningEnvelope = {{{0, 32}, {8, 40}, {16, 32}}, 1, 0, 2, 6, {}}; // off
    instrument.panningEnvelope.pointCount = 200;
    XmSong xm = smallSong();
    xm.instruments = {instrument};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    const Instrument &loaded = song->instruments[0];
    // Ticks 0, 0, 4, 3, 65535 become 0, 1, 4, 5, 65535; the point after 65535
    // cannot rise above it, so the envelope ends there.
    EXPECT_EQ(loaded.volumePointCount, 5);
    const uint16_t ticks[] = {0, 1, 4, 5, 65535};
    const uint16_t values[] = {64, 10, 64, 20, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(loaded.volumePoints[i].tick, ticks[i]) << i;
        EXPECT_EQ(loaded.volumePoints[i].value, values[i]) << i;
    }
    // Sustain 12 and loop end 12 name no point: both are switched off.
    EXPECT_EQ(loaded.volumeType, envelopeOn);
    EXPECT_EQ(loaded.panningPointCount, 12);
    EXPECT_EQ(loaded.panningType, envelopeSustain | envelopeLoop);
}

TEST(Samples, ConvertHeadersToFrames) {
    XmSample looped = sample16(std::vector<int>(100, 7));
    looped.loop = xmForwardLoop;
    looped.loopStart = 10;
    looped.loopLength = 50;
    looped.volume = 48;
    looped.finetune = -16;
    looped.panning = 200;
    looped.relativeNote = -12;
    XmInstrument instrument = instrumentWith(looped);
    XmSong xm = smallSong();
    xm.instruments = {instrument};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    const Sample &sample = *song->instruments[0].samples[0];
    EXPECT_EQ(sample.length, 100u);
    EXPECT_EQ(sample.loopStart, 10u);
    EXPECT_EQ(sample.loopLength, 50u);
    EXPECT_EQ(sample.loopType, loopForward);
    EXPECT_EQ(sample.bitsPerSample, 16);
    EXPECT_EQ(sample.volume, 48);
    EXPECT_EQ(sample.finetune, -16);
    EXPECT_EQ(sample.panning, 200);
    EXPECT_EQ(sample.relativeNote, -12);
}

TEST(Samples, NormaliseLoopTypes) {
    auto loaded = [](uint8_t type, uint32_t loopStart, uint32_t loopLength) {
        XmSample sample = sample8(std::vector<int>(40, 1));
        sample.loop = type;
        sample.loopStart = loopStart;
        sample.loopLength = loopLength;
        XmSong xm = smallSong();
        xm.instruments = {instrumentWith(sample)};
        SongPointer song = load(xm);
        Sample copy = *song->instruments[0].samples[0];
        copy.data = nullptr;
        return copy;
    };
    const Sample none = loaded(xmNoLoop, 5, 10);
    EXPECT_EQ(none.loopType, loopNone);
    EXPECT_EQ(none.loopStart, 0u);
    EXPECT_EQ(none.loopLength, 40u);
    EXPECT_EQ(loaded(xmForwardLoop, 5, 10).loopType, loopForward);
    EXPECT_EQ(loaded(xmPingPongLoop, 5, 10).loopType, loopPingPong);
    EXPECT_EQ(loaded(3, 5, 10).loopType, loopPingPong);
    const Sample emptyLoop = loaded(xmForwardLoop, 5, 0);
    EXPECT_EQ(emptyLoop.loopType, loopNone);
    EXPECT_EQ(emptyLoop.loopStart, 0u);
    EXPECT_EQ(emptyLoop.loopLength, 40u);
    // Loops that run past the end are cut at the end.
    const Sample overlong = loaded(xmForwardLoop, 30, 20);
    EXPECT_EQ(overlong.loopStart, 30u);
    EXPECT_EQ(overlong.loopLength, 10u);
    const Sample outside = loaded(xmPingPongLoop, 40, 5);
    EXPECT_EQ(outside.loopType, loopNone);
    EXPECT_EQ(outside.loopLength, 40u);
    const Sample wrapping = loaded(xmForwardLoop, 8, 0xfffffff8u);
    EXPECT_EQ(wrapping.loopStart, 8u);
    EXPECT_EQ(wrapping.loopLength, 32u);
}

TEST(Samples, DecodeDeltasAndWidenEightBitData) {
    XmSong xm = smallSong();
    // Absolute 1, 2, 1 are stored as the deltas 1, 1, 255; 1, 2, 0 as 1, 1, 254.
    xm.instruments = {instrumentWith(sample8({1, 2, 1})), instrumentWith(sample8({1, 2, 0}))};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    const int16_t *first = song->instruments[0].samples[0]->data;
    EXPECT_EQ(first[0], 256);
    EXPECT_EQ(first[1], 512);
    EXPECT_EQ(first[2], 256);
    const int16_t *second = song->instruments[1].samples[0]->data;
    EXPECT_EQ(second[2], 0);
    EXPECT_EQ(song->instruments[0].samples[0]->bitsPerSample, 16);
}

TEST(Samples, DecodeSixteenBitDeltasModulo65536) {
    XmSong xm = smallSong();
    xm.instruments = {instrumentWith(sample16({32767, -32768, -1, 0, 1000}))};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    const int16_t *data = song->instruments[0].samples[0]->data;
    const int16_t expected[] = {32767, -32768, -1, 0, 1000};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(data[k], expected[k]);
}

TEST(Samples, HalveOddSixteenBitLengths) {
    XmSample odd = sample16(std::vector<int>(500, 3));
    odd.lengthBytes = 1001; // 500 frames; 1000 bytes of data follow
    XmInstrument instrument;
    instrument.samples = {odd, sample8({9})};
    XmSong xm = smallSong();
    xm.instruments = {instrument};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->instruments[0].samples[0]->length, 500u);
    EXPECT_EQ(song->instruments[0].samples[0]->data[499], 3);
    EXPECT_EQ(song->instruments[0].samples[1]->data[0], 9 * 256);
}

TEST(Samples, KeepAGuardValueAndZerosAfterTheData) {
    XmSample forward = sample8({1, 2, 3, 4, 5, 6});
    forward.loop = xmForwardLoop;
    forward.loopStart = 2;
    forward.loopLength = 3; // frames 2..4; the guard at 5 copies frame 2
    XmSample pingPong = forward;
    pingPong.loop = xmPingPongLoop; // the guard at 5 copies frame 4
    XmInstrument instrument;
    instrument.samples = {forward, pingPong, sample8({1, 2, 3})};
    XmSong xm = smallSong();
    xm.instruments = {instrument};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    const int16_t *forwardData = song->instruments[0].samples[0]->data;
    EXPECT_EQ(forwardData[5], 3 * 256);
    const int16_t *pingPongData = song->instruments[0].samples[1]->data;
    EXPECT_EQ(pingPongData[5], 5 * 256);
    const int16_t *plain = song->instruments[0].samples[2]->data;
    for (int k = 3; k < 3 + 8; ++k)
        EXPECT_EQ(plain[k], 0) << k;
}

TEST(Samples, WithoutFramesHaveNoData) {
    XmSong xm = smallSong();
    xm.instruments = {instrumentWith(sample8({}))};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->instruments[0].samples[0]->length, 0u);
    EXPECT_EQ(song->instruments[0].samples[0]->data, nullptr);
}

TEST(Samples, HoldNoMoreThanTheRestOfTheFile) {
    XmSample huge = sample8({1, 2, 3, 4});
    huge.lengthBytes = 0xfffffff0u;
    XmSong xm = smallSong();
    xm.instruments = {instrumentWith(huge)};
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    const Sample &sample = *song->instruments[0].samples[0];
    EXPECT_EQ(sample.length, 4u); // the four data bytes the file still holds
    EXPECT_EQ(sample.data[3], 4 * 256);
}

struct LoaderCall {
    int byteCount, bitsPerSample, instrumentIndex, sampleIndex;
};
std::vector<LoaderCall> loaderCalls;

void fillWithCountUp(uint8_t *buffer, int byteCount, int bitsPerSample, int instrumentIndex,
                     int sampleIndex) {
    loaderCalls.push_back({byteCount, bitsPerSample, instrumentIndex, sampleIndex});
    for (int i = 0; i < byteCount; ++i)
        buffer[i] = static_cast<uint8_t>(i + 1);
}

TEST(Samples, ComeFromTheSampleLoaderAsAbsoluteValues) {
    XmInstrument second;
    second.samples = {sample8({0, 0, 0}), sample16({0, 0})};
    XmSong xm = smallSong();
    xm.instruments = {instrumentWith(sample8({0, 0})), second};
    loaderCalls.clear();
    SongPointer song(loadSongBytes(buildXm(xm), fillWithCountUp));
    ASSERT_TRUE(song);
    ASSERT_EQ(loaderCalls.size(), 3u);
    EXPECT_EQ(loaderCalls[0].byteCount, 2);
    EXPECT_EQ(loaderCalls[1].instrumentIndex, 1);
    EXPECT_EQ(loaderCalls[1].sampleIndex, 0);
    EXPECT_EQ(loaderCalls[2].byteCount, 4);
    EXPECT_EQ(loaderCalls[2].bitsPerSample, 16);
    EXPECT_EQ(loaderCalls[2].sampleIndex, 1);
    // Not delta-decoded: 8-bit 1, 2, 3 widen to 256, 512, 768; 16-bit bytes
    // 1, 2, 3, 4 are 0x0201 and 0x0403.
    const int16_t *eight = song->instruments[1].samples[0]->data;
    EXPECT_EQ(eight[2], 768);
    const int16_t *sixteen = song->instruments[1].samples[1]->data;
    EXPECT_EQ(sixteen[0], 0x0201);
    EXPECT_EQ(sixteen[1], 0x0403);
    EXPECT_EQ(song->sampleLoader, fillWithCountUp);
}

TEST(LoadSong, NeedsTheFileFunctions) {
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(loadSong("memory", nullptr), nullptr);
}

TEST(LoadSong, LeavesNothingBehindWhenAnAllocationFails) {
    XmSong xm = smallSong();
    XmInstrument instrument;
    instrument.samples = {sample8({1, 2}), sample16({3})};
    xm.instruments = {instrument, XmInstrument{}};
    xm.orders = {0, 1};
    const std::vector<uint8_t> bytes = buildXm(xm);
    // Fail the first allocation, then the second, and so on until the load
    // needs no more; the leak checker watches every attempt.
    long successes = 0;
    for (; successes < 100; ++successes) {
        failAllocationsAfter(successes);
        Song *song = loadSongBytes(bytes);
        failAllocationsAfter(-1);
        if (song) {
            freeSong(song);
            break;
        }
    }
    EXPECT_GT(successes, 5);
    EXPECT_LT(successes, 100);
}

} // namespace
