// Song files into the song tree: the layout as read, the conversions, and what
// the loader rejects or repairs in untrusted files.

#include "player/allocation.h"
#include "player/player.h"
#include "song_bytes.h"
#include "tools/xm_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Values = std::vector<int64_t>;

struct SongDeleter {
    void operator()(Song *song) const { freeSong(song); }
};
using SongPointer = std::unique_ptr<Song, SongDeleter>;

SongPointer load(const XmSong &xm) {
    return SongPointer(loadSongBytes(buildXm(xm)));
}

// Two channels, one pattern of four rows without cell data unless cells are given.
XmSong songWith(std::vector<XmInstrument> instruments = {}, XmPattern pattern = XmPattern{}) {
    XmSong song;
    song.channels = 2;
    pattern.rows = pattern.cells.empty() ? 4 : pattern.rows;
    song.patterns = {pattern};
    song.instruments = std::move(instruments);
    return song;
}

XmSample sampleOf(std::vector<int> values, bool sixteenBit = false) {
    XmSample sample;
    sample.values = std::move(values);
    sample.sixteenBit = sixteenBit;
    return sample;
}

const PatternCell &cellOf(const Song &song, int pattern, int row, int channel) {
    return song.patterns[pattern].cells[row * song.channelCount + channel];
}

Values fieldsOf(const PatternCell &c) {
    return {c.note, c.instrument, c.volumeColumn, c.effect, c.effectParam};
}

TEST(Loader, ReadsTheModuleHeader) {
    XmSong xm = songWith();
    xm.orders = {0, 0, 0};
    xm.restart = 1;
    xm.flags = 0;
    xm.speed = 3;
    xm.bpm = 150;
    xm.headerSize = 300; // 24 bytes of padding the loader must skip to reach the patterns
    xm.patterns[0] = blankPattern(4, 2);
    xm.patterns[0].at(0, 0) = xmCell("C-4 01 v40 F06");
    SongPointer song = load(xm);
    ASSERT_TRUE(song);
    EXPECT_EQ((Values{song->songLength, song->restartPosition, song->channelCount, song->flags,
                      song->defaultSpeed, song->defaultBpm, song->initialGlobalVolume}),
              (Values{3, 1, 2, 0, 3, 150, 64}));
    EXPECT_EQ(fieldsOf(cellOf(*song, 0, 0, 0)), (Values{49, 1, 0x40, 15, 6}));
    EXPECT_NE(song->tickFunction, nullptr);
    EXPECT_EQ(song->sampleLoader, nullptr);
}

TEST(Loader, RejectsWhatItCannotRepresent) {
    std::vector<uint8_t> bytes = buildXm(songWith());
    EXPECT_TRUE(SongPointer(loadSongBytes(bytes)));
    EXPECT_FALSE(loadSongBytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16)));
    EXPECT_FALSE(loadSongBytes({}));
    bytes[16] = '!'; // "Extended Module!"
    EXPECT_FALSE(loadSongBytes(bytes));
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(loadSong("memory", nullptr), nullptr);
    // Each change, and whether the song still loads.
    const std::pair<void (*)(XmSong &), bool> changes[] = {
        {[](XmSong &xm) { xm.version = 0x0103; }, false},
        {[](XmSong &xm) { xm.version = 0x0105; }, true},
        {[](XmSong &xm) { xm.channels = 0; }, false},
        {[](XmSong &xm) { xm.channels = 33; }, false},
        {[](XmSong &xm) { xm.channels = 32; }, true},
        {[](XmSong &xm) { xm.songLength = 0; }, false},
        {[](XmSong &xm) { xm.songLength = 257; }, false},
        {[](XmSong &xm) { xm.songLength = 256; }, true},
        {[](XmSong &xm) { xm.bpm = 0; }, false},
        {[](XmSong &xm) { xm.bpm = 0x8000; }, false}, // negative as int16
        {[](XmSong &xm) { xm.bpm = 1; }, true},
        {[](XmSong &xm) { xm.patternCount = 257; }, false},
        {[](XmSong &xm) { xm.instrumentCount = 129; }, false},
        {[](XmSong &xm) { xm.patterns[0].rows = 0; }, false},
        {[](XmSong &xm) { xm.patterns[0].rows = 257; }, false},
        {[](XmSong &xm) {
             xm.instruments = {XmInstrument{}};
             xm.instruments[0].samples.assign(17, sampleOf({1}));
         },
         false},
        {[](XmSong &xm) {
             xm.instruments = {XmInstrument{}};
             xm.instruments[0].samples.assign(16, sampleOf({1}));
         },
         true},
    };
    for (size_t k = 0; k < std::size(changes); ++k) {
        XmSong xm = songWith();
        changes[k].first(xm);
        EXPECT_EQ(static_cast<bool>(load(xm)), changes[k].second) << "change " << k;
    }
}

TEST(Loader, ReadsPatterns) {
    // The order table names patterns 0, 5 and 2 of a file of three: 3..5 are empty 64-row
    // patterns. A pattern without cell data consumes only its header.
    XmSong xm = songWith();
    xm.channels = 4;
    xm.orders = {0, 5, 2};
    XmPattern raw;
    raw.rows = 2;
    // An empty cell; C-4 with instrument 2; a plain cell; volume and effect only; key off
    // and instrument 128; instruments above 128 are dropped.
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
        EXPECT_EQ(fieldsOf(cellOf(*song, 1, k / 4, k % 4)), cells[k]) << "cell " << k;
    EXPECT_EQ(fieldsOf(cellOf(*song, 2, 0, 3)), (Values{61, 1, 0x40, 15, 6}));
    // Only pattern 0 is named, yet the slots cover every pattern of the file.
    xm.orders = {0};
    SongPointer named = load(xm);
    ASSERT_TRUE(named);
    EXPECT_EQ((Values{named->usedPatternCount, named->patternSlotCount}), (Values{1, 3}));
    // A file that ends early reads as zeros: the header and the first cell's first bytes.
    xm = songWith({}, blankPattern(4, 2));
    xm.patterns[0].at(0, 0) = xmCell("C-4 01 v40 F06");
    std::vector<uint8_t> bytes = buildXm(xm);
    bytes.resize(xmPatternsOffset + 9 + 3);
    song.reset(loadSongBytes(bytes));
    ASSERT_TRUE(song);
    EXPECT_EQ(fieldsOf(cellOf(*song, 0, 0, 0)), (Values{49, 1, 0x40, 0, 0}));
    EXPECT_EQ(cellOf(*song, 0, 3, 1).note, 0);
}

TEST(Loader, ReadsAndRepairsInstruments) {
    // Instruments without samples consume their header size (29 or 263) and point every
    // slot at the shared empty sample; so do the slots beyond an instrument's samples.
    XmInstrument silent, padded, full = instrumentWith(sampleOf({5}));
    silent.headerSize = 29;
    padded.headerSize = 263;
    full.samples.push_back(sampleOf({6}));
    full.sampleMap[95] = 1;
    full.volumeEnvelope = {{{0, 64}, {10, 32}, {20, 0}}, 1, 0, 2, 7, {}};
    full.panningEnvelope = {{{0, 32}, {5, 64}}, 0, 0, 1, 5, {}};
    full.vibratoType = 2;
    full.vibratoSweep = 3;
    full.vibratoDepth = 4;
    full.vibratoRate = 5;
    full.fadeout = 0x123;
    // Fewer than two points switch an envelope off.
    XmInstrument sparse = instrumentWith(sampleOf({0}));
    sparse.volumeEnvelope = {{{0, 64}}, 0, 0, 0, 1, {}};
    sparse.panningEnvelope = {{}, 0, 0, 0, 7, {}};
    // Ticks 0, 0, 4, 3, 65535 become 0, 1, 4, 5, 65535 and values above 64 become 64; the
    // point after 65535 cannot rise above it, so the envelope ends there. Sustain and loop end
    // 12 name no point and are switched off. An envelope that is off is repaired too.
    XmInstrument broken = instrumentWith(sampleOf({0}));
    broken.volumeEnvelope = {
        {{0, 80}, {0, 10}, {4, 70}, {3, 20}, {65535, 0}, {9, 1}}, 12, 1, 12, 7, 13};
    broken.panningEnvelope = {{{0, 32}, {8, 40}, {16, 32}}, 1, 0, 2, 6, 200};
    SongPointer song = load(songWith({silent, padded, full, sparse, broken}));
    ASSERT_TRUE(song);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(song->instruments[i].sampleCount, 0);
        for (Sample *slot : song->instruments[i].samples)
            EXPECT_EQ(slot, &emptySample);
    }
    const Instrument &loaded = song->instruments[2];
    EXPECT_EQ(loaded.samples[0]->data[0], 5 * 256);
    for (int slot = 0; slot < 16; ++slot)
        EXPECT_EQ(loaded.samples[slot] == &emptySample, slot >= 2) << slot;
    EXPECT_EQ(
        (Values{loaded.sampleMap[95], loaded.volumePointCount, loaded.volumePoints[1].tick,
                loaded.volumePoints[1].value, loaded.volumeSustain, loaded.volumeLoopEnd,
                loaded.volumeType, loaded.panningPointCount, loaded.panningPoints[1].value,
                loaded.panningLoopEnd, loaded.panningType, loaded.vibratoType, loaded.vibratoSweep,
                loaded.vibratoDepth, loaded.vibratoRate, loaded.fadeout}),
        (Values{1, 3, 10, 32, 1, 2, 7, 2, 64, 1, 5, 2, 3, 4, 5, 0x246}));
    EXPECT_EQ((Values{song->instruments[3].volumeType, song->instruments[3].panningType}),
              (Values{0, 0}));
    const Instrument &repaired = song->instruments[4];
    Values points;
    for (int i = 0; i < repaired.volumePointCount; ++i)
        points.insert(points.end(),
                      {repaired.volumePoints[i].tick, repaired.volumePoints[i].value});
    EXPECT_EQ(points, (Values{0, 64, 1, 10, 4, 64, 5, 20, 65535, 0}));
    EXPECT_EQ((Values{repaired.volumeType, repaired.panningPointCount, repaired.panningType}),
              (Values{envelopeOn, 12, envelopeSustain | envelopeLoop}));
}

Sample sampleLoadedFrom(XmSample sample) {
    SongPointer song = load(songWith({instrumentWith(sample)}));
    Sample copy = song ? *song->instruments[0].samples[0] : Sample{};
    copy.data = nullptr;
    return copy;
}

TEST(Loader, ConvertsSampleHeadersAndLoops) {
    XmSample looped = sampleOf(std::vector<int>(100, 7), true);
    looped.loop = xmForwardLoop;
    looped.loopStart = 10;
    looped.loopLength = 50;
    looped.volume = 48;
    looped.finetune = -16;
    looped.panning = 200;
    looped.relativeNote = -12;
    const Sample s = sampleLoadedFrom(looped);
    EXPECT_EQ((Values{s.length, s.loopStart, s.loopLength, s.loopType, s.bitsPerSample, s.volume,
                      s.finetune, s.panning, s.relativeNote}),
              (Values{100, 10, 50, loopForward, 16, 48, -16, 200, -12}));
    // Type, loop start and length in frames of a 40-frame sample; then the type, start and
    // length loaded: no loop plays the whole sample, type 3 is ping-pong, an empty loop is
    // none, and loops running past the end are cut there.
    const uint32_t loops[][6] = {{xmNoLoop, 5, 10, loopNone, 0, 40},
                                 {xmForwardLoop, 5, 10, loopForward, 5, 10},
                                 {xmPingPongLoop, 5, 10, loopPingPong, 5, 10},
                                 {3, 5, 10, loopPingPong, 5, 10},
                                 {xmForwardLoop, 5, 0, loopNone, 0, 40},
                                 {xmForwardLoop, 30, 20, loopForward, 30, 10},
                                 {xmPingPongLoop, 40, 5, loopNone, 0, 40},
                                 {xmForwardLoop, 8, 0xfffffff8u, loopForward, 8, 32}};
    for (const auto &l : loops) {
        XmSample sample = sampleOf(std::vector<int>(40, 1));
        sample.loop = static_cast<uint8_t>(l[0]);
        sample.loopStart = l[1];
        sample.loopLength = l[2];
        const Sample loaded = sampleLoadedFrom(sample);
        EXPECT_EQ((Values{loaded.loopType, loaded.loopStart, loaded.loopLength}),
                  (Values{l[3], l[4], l[5]}))
            << l[0] << " " << l[1] << " " << l[2];
    }
}

TEST(Loader, DecodesSampleData) {
    // Deltas: 8-bit 1, 2, 1 are stored 1, 1, 255 and widen to 256, 512, 256; 16-bit deltas
    // wrap modulo 65536. An odd 16-bit byte length is halved (the data follow as for 500
    // frames); a forward loop's guard copies its first frame, a ping-pong loop's its last,
    // and 8 zeros follow the data; a sample of no frames has no data; a length beyond the
    // file holds what the file still has.
    XmSample odd = sampleOf(std::vector<int>(500, 3), true);
    odd.lengthBytes = 1001;
    XmSample forward = sampleOf({1, 2, 3, 4, 5, 6});
    forward.loop = xmForwardLoop;
    forward.loopStart = 2;
    forward.loopLength = 3;
    XmSample pingPong = forward;
    pingPong.loop = xmPingPongLoop;
    XmSample huge = sampleOf({1, 2, 3, 4});
    huge.lengthBytes = 0xfffffff0u;
    XmInstrument first, second;
    first.samples = {sampleOf({1, 2, 1}),
                     sampleOf({32767, -32768, -1, 0, 1000}, true),
                     odd,
                     sampleOf({9}),
                     forward,
                     pingPong,
                     sampleOf({})};
    second.samples = {huge};
    SongPointer song = load(songWith({first, second}));
    ASSERT_TRUE(song);
    Sample *const *s = song->instruments[0].samples;
    const auto data = [](const Sample *sample, int from, int to) {
        return Values(sample->data + from, sample->data + to);
    };
    EXPECT_EQ(data(s[0], 0, 3 + 8), (Values{256, 512, 256, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(data(s[1], 0, 5), (Values{32767, -32768, -1, 0, 1000}));
    EXPECT_EQ((Values{s[2]->length, s[2]->data[499], s[3]->data[0]}), (Values{500, 3, 9 * 256}));
    EXPECT_EQ((Values{s[4]->data[5], s[5]->data[5]}), (Values{3 * 256, 5 * 256}));
    EXPECT_EQ((Values{s[6]->length, s[6]->data == nullptr}), (Values{0, 1}));
    const Sample &cut = *song->instruments[1].samples[0];
    EXPECT_EQ((Values{cut.length, cut.data[3]}), (Values{4, 4 * 256}));
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

TEST(Loader, TakesAbsoluteValuesFromTheSampleLoader) {
    XmInstrument second;
    second.samples = {sampleOf({0, 0, 0}), sampleOf({0, 0}, true)};
    loaderCalls.clear();
    SongPointer song(loadSongBytes(buildXm(songWith({instrumentWith(sampleOf({0, 0})), second})),
                                   fillWithCountUp));
    ASSERT_TRUE(song);
    Values calls;
    for (const LoaderCall &c : loaderCalls)
        calls.insert(calls.end(), {c.byteCount, c.bitsPerSample, c.instrumentIndex, c.sampleIndex});
    EXPECT_EQ(calls, (Values{2, 8, 0, 0, 3, 8, 1, 0, 4, 16, 1, 1}));
    // Not delta-decoded: 8-bit 1, 2, 3 widen to 256, 512, 768; 16-bit bytes 1, 2, 3, 4 are
    // 0x0201 and 0x0403.
    EXPECT_EQ(
        (Values{song->instruments[1].samples[0]->data[2], song->instruments[1].samples[1]->data[0],
                song->instruments[1].samples[1]->data[1]}),
        (Values{768, 0x0201, 0x0403}));
    EXPECT_EQ(song->sampleLoader, fillWithCountUp);
}

TEST(Loader, LeavesNothingBehindWhenAnAllocationFails) {
    XmInstrument instrument;
    instrument.samples = {sampleOf({1, 2}), sampleOf({3}, true)};
    XmSong xm = songWith({instrument, XmInstrument{}});
    xm.orders = {0, 1};
    const std::vector<uint8_t> bytes = buildXm(xm);
    // Fail the first allocation, then the second, and so on until the load needs no more;
    // the leak checker watches every attempt.
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
