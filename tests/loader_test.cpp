// Song files into the song tree, and what the loader rejects or repairs.

#include "player/allocation.h"
#include "player/player.h"
#include "song_bytes.h"
#include "xm_builder/xm_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Values = std::vector<int64_t>;
using SongPointer = std::unique_ptr<Song, bool (*)(Song *)>;

SongPointer load(const XmSong &xm) {
    return SongPointer(loadSongBytes(buildXm(xm)), freeSong);
}

// Two channels, one pattern of four rows without cell data, these instruments.
XmSong songWith(std::vector<XmInstrument> instruments = {}) {
    XmSong song;
    song.channels = 2;
    song.patterns = {XmPattern{}};
    song.patterns[0].rows = 4;
    song.instruments = std::move(instruments);
    return song;
}

XmSample sampleOf(std::vector<int> values, bool sixteenBit = false, uint8_t loop = xmNoLoop,
                  uint32_t loopStart = 0, uint32_t loopLength = 0) {
    XmSample sample;
    sample.values = std::move(values);
    sample.sixteenBit = sixteenBit;
    sample.loop = loop;
    sample.loopStart = loopStart;
    sample.loopLength = loopLength;
    return sample;
}

Values fieldsOf(const Song &song, int pattern, int row, int channel) {
    const PatternCell &c = song.patterns[pattern].cells[row * song.channelCount + channel];
    return {c.note, c.instrument, c.volumeColumn, c.effect, c.effectParam};
}

TEST(Loader, ReadsTheHeaderAndRejectsWhatItCannotRepresent) {
    XmSong xm = songWith();
    xm.orders = {0, 0, 0};
    xm.restart = 1;
    xm.flags = 0;
    xm.speed = 3;
    xm.bpm = 150;
    xm.headerSize = 300; // 24 bytes the loader must skip to reach the patterns
    xm.patterns[0] = blankPattern(4, 2);
    xm.patterns[0].at(0, 0) = xmCell("C-4 01 v40 F06");
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ((Values{song->songLength, song->restartPosition, song->channelCount, song->flags,
                      song->defaultSpeed, song->defaultBpm, song->initialGlobalVolume}),
              (Values{3, 1, 2, 0, 3, 150, 64}));
    EXPECT_EQ(fieldsOf(*song, 0, 0, 0), (Values{49, 1, 0x40, 15, 6}));
    std::vector<uint8_t> bytes = buildXm(songWith());
    EXPECT_FALSE(loadSongBytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16)));
    bytes[16] = '!'; // "Extended Module!"
    EXPECT_FALSE(loadSongBytes(bytes));
    // A 16-bit field set to a value, and whether the song still loads: the version, song
    // length, channels, patterns, instruments, tempo; a pattern's rows; an instrument's samples.
    const size_t rows = xmPatternsOffset + 5, samples = xmPatternsOffset + 9 + 27;
    const std::tuple<size_t, int, bool> changes[] = {
        {58, 0x0103, false}, {58, 0x0105, true}, {64, 0, false},       {64, 257, false},
        {64, 256, true},     {68, 0, false},     {68, 33, false},      {68, 32, true},
        {70, 257, false},    {72, 129, false},   {78, 0, false},       {78, 0x8000, false},
        {rows, 0, false},    {rows, 257, false}, {samples, 17, false}, {samples, 16, true}};
    const std::vector<uint8_t> plain = buildXm(songWith({instrumentWith(sampleOf({1}))}));
    for (const auto &[offset, value, loads] : changes) {
        std::vector<uint8_t> changed = plain;
        changed[offset] = static_cast<uint8_t>(value);
        changed[offset + 1] = static_cast<uint8_t>(value >> 8);
        EXPECT_EQ(SongPointer(loadSongBytes(changed), freeSong) != nullptr, loads) << offset;
    }
}

TEST(Loader, ReadsPatterns) {
    // Orders name patterns 0, 5 and 2 of a file of three: 3..5 are empty 64-row patterns,
    // and the slots cover every pattern of the file. Pattern 0 has no cell data. Pattern 1:
    // an empty packed cell, C-4 with instrument 2, a plain cell, volume and effect only; key
    // off is stored as 255; instruments above 128 are dropped.
    XmSong xm = songWith();
    xm.channels = 4;
    xm.orders = {0, 5, 2};
    XmPattern raw;
    raw.rows = 2;
    raw.rawData = {0x80, 0x83, 49,  2,    0x30, 0x03, 0x20, 0x0a, 0x01, 0x8c, 0x0f, 0x1f,
                   0x83, 97,   128, 0x83, 96,   129,  0x83, 98,   200,  0x83, 1,    255};
    XmPattern plain = blankPattern(1, 4);
    plain.packed = false;
    plain.at(0, 3) = xmCell("C-5 01 v40 F06");
    xm.patterns = {XmPattern{}, raw, plain};
    xm.patterns[0].rows = 12;
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ((Values{song->usedPatternCount, song->patternSlotCount, song->patterns[0].rowCount,
                      song->patterns[5].rowCount, song->patterns[5].cells[255].note}),
              (Values{6, 6, 12, 64, 0}));
    const Values cells[] = {{0, 0, 0, 0, 0},       {49, 2, 0, 0, 0},    {0x30, 3, 0x20, 10, 1},
                            {0, 0, 0x0f, 0x1f, 0}, {255, 128, 0, 0, 0}, {96, 0, 0, 0, 0},
                            {98, 0, 0, 0, 0},      {1, 0, 0, 0, 0}};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(fieldsOf(*song, 1, k / 4, k % 4), cells[k]) << "cell " << k;
    EXPECT_EQ(fieldsOf(*song, 2, 0, 3), (Values{61, 1, 0x40, 15, 6}));
    // A file that ends early reads as zeros: the header and a plain cell's first three bytes.
    xm = songWith();
    xm.patterns[0] = blankPattern(4, 2);
    xm.patterns[0].at(0, 0) = xmCell("C-4 01 v40 F06");
    std::vector<uint8_t> bytes = buildXm(xm);
    bytes.resize(xmPatternsOffset + 9 + 3);
    song.reset(loadSongBytes(bytes));
    ASSERT_TRUE(song);
    EXPECT_EQ(fieldsOf(*song, 0, 0, 0), (Values{49, 1, 0x40, 0, 0}));
    EXPECT_EQ(fieldsOf(*song, 0, 3, 1), (Values{0, 0, 0, 0, 0}));
}

TEST(Loader, ReadsAndRepairsInstruments) {
    // Instruments without samples consume their header size (29 or 263) and point every
    // slot at the shared empty sample, as do the slots beyond an instrument's samples.
    XmInstrument silent, padded, full = instrumentWith(sampleOf({5}));
    silent.headerSize = 29;
    padded.headerSize = 263;
    full.samples.push_back(sampleOf({6}));
    full.sampleMap[95] = 1;
    full.volumeEnvelope = {{{0, 64}, {10, 32}, {20, 0}}, 1, 0, 2, 7, {}};
    full.panningEnvelope = {{{0, 32}, {5, 64}}, 0, 1, 1, 5, {}};
    full.vibratoType = 2;
    full.vibratoSweep = 3;
    full.vibratoDepth = 4;
    full.vibratoRate = 5;
    full.fadeout = 0x123;
    // Ticks 0, 0, 4, 3, 65535 become 0, 1, 4, 5, 65535 and values above 64 become 64; the
    // point after 65535 cannot rise above it, so the envelope ends there. Sustain and loop end
    // 12 name no point and are switched off; an envelope that is off is repaired too, and
    // one of fewer than two points is switched off.
    XmInstrument broken = instrumentWith(sampleOf({0}));
    broken.volumeEnvelope = {
        {{0, 80}, {0, 10}, {4, 70}, {3, 20}, {65535, 0}, {9, 1}}, 12, 1, 12, 7, 13};
    broken.panningEnvelope = {{{0, 32}, {8, 40}, {16, 32}}, 1, 0, 2, 6, 200};
    XmInstrument sparse = instrumentWith(sampleOf({0}));
    sparse.volumeEnvelope = {{{0, 64}}, 0, 0, 0, 1, {}};
    SongPointer song = load(songWith({silent, padded, full, broken, sparse}));
    ASSERT_TRUE(song);
    for (int i = 0; i < 3; ++i)
        for (int slot = 0; slot < 16; ++slot)
            EXPECT_EQ(song->instruments[i].samples[slot] == &emptySample, slot >= (i == 2 ? 2 : 0))
                << i;
    const Instrument &loaded = song->instruments[2];
    EXPECT_EQ(
        (Values{loaded.samples[0]->data[0], loaded.sampleMap[95], loaded.volumePointCount,
                loaded.volumePoints[1].tick, loaded.volumePoints[1].value, loaded.volumeSustain,
                loaded.volumeLoopEnd, loaded.volumeType, loaded.panningPointCount,
                loaded.panningPoints[1].value, loaded.panningLoopStart, loaded.panningLoopEnd,
                loaded.panningType, loaded.vibratoType, loaded.vibratoSweep, loaded.vibratoDepth,
                loaded.vibratoRate, loaded.fadeout}),
        (Values{5 * 256, 1, 3, 10, 32, 1, 2, 7, 2, 64, 1, 1, 5, 2, 3, 4, 5, 0x246}));
    const Instrument &repaired = song->instruments[3];
    Values points;
    for (int i = 0; i < repaired.volumePointCount; ++i)
        points.insert(points.end(),
                      {repaired.volumePoints[i].tick, repaired.volumePoints[i].value});
    EXPECT_EQ(points, (Values{0, 64, 1, 10, 4, 64, 5, 20, 65535, 0}));
    EXPECT_EQ((Values{repaired.volumeType, repaired.panningPointCount, repaired.panningType,
                      song->instruments[4].volumeType}),
              (Values{envelopeOn, 12, envelopeSustain | envelopeLoop, 0}));
}

TEST(Loader, ConvertsSamples) {
    // Deltas: 8-bit 1, 2, 1 are stored 1, 1, 255 and widen to 256, 512, 256; 16-bit deltas
    // wrap. A forward loop's guard copies its first frame, a ping-pong loop's its last, and
    // zeros follow. An odd 16-bit byte length is halved; a length beyond the file holds what
    // the file still has. No loop plays the whole sample; an empty loop is none; loops past
    // the end are cut there; type 3 is ping-pong.
    XmSample odd = sampleOf(std::vector<int>(500, 3), true), huge = sampleOf({1, 2, 3, 4});
    odd.lengthBytes = 1001;
    huge.lengthBytes = 0xfffffff0u;
    XmInstrument first, second;
    first.samples = {sampleOf({1, 2, 1}),
                     sampleOf({32767, -32768, -1}, true),
                     sampleOf({1, 2, 3, 4, 5, 6}, false, xmForwardLoop, 2, 3),
                     sampleOf({1, 2, 3, 4, 5, 6}, false, xmPingPongLoop, 2, 3),
                     odd,
                     sampleOf(std::vector<int>(40, 1), false, xmNoLoop, 5, 10),
                     sampleOf(std::vector<int>(40, 1), false, xmForwardLoop, 5, 0),
                     sampleOf(std::vector<int>(40, 1), false, 3, 30, 20)};
    second.samples = {huge};
    SongPointer song = load(songWith({first, second}));
    ASSERT_TRUE(song);
    Sample *const *s = song->instruments[0].samples;
    EXPECT_EQ(Values(s[0]->data, s[0]->data + 11), (Values{256, 512, 256, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Values(s[1]->data, s[1]->data + 3), (Values{32767, -32768, -1}));
    EXPECT_EQ((Values{s[2]->data[5], s[3]->data[5], s[4]->length, s[4]->data[499], s[5]->data[0]}),
              (Values{3 * 256, 5 * 256, 500, 3, 256}));
    EXPECT_EQ((Values{s[2]->loopType, s[3]->loopType, s[2]->bitsPerSample, s[1]->bitsPerSample}),
              (Values{loopForward, loopPingPong, 16, 16}));
    for (int k = 5; k < 8; ++k)
        EXPECT_EQ((Values{s[k]->loopType, s[k]->loopStart, s[k]->loopLength}),
                  (k == 5 || k == 6 ? Values{loopNone, 0, 40} : Values{loopPingPong, 30, 10}))
            << k;
    const Sample &cut = *song->instruments[1].samples[0];
    EXPECT_EQ((Values{cut.length, cut.data[3]}), (Values{4, 4 * 256}));
}

TEST(Loader, LeavesNothingBehindWhenAnAllocationFails) {
    XmInstrument instrument;
    instrument.samples = {sampleOf({0, 0, 0}), sampleOf({0, 0}, true)};
    const std::vector<uint8_t> bytes = buildXm(songWith({instrument, XmInstrument{}}));
    // Fail the first allocation, then the second, and so on until the load needs no more;
    // the leak checker watches every attempt.
    long successes = 0;
    for (; successes < 100; ++successes) {
        failAllocationsAfter(successes);
        Song *loadedSong = loadSongBytes(bytes);
        failAllocationsAfter(-1);
        if (loadedSong && freeSong(loadedSong))
            break;
    }
    EXPECT_TRUE(successes > 5 && successes < 100) << successes;
}

} // namespace
