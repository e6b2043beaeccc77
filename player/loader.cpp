#include "player/loader.h"

#include "player/allocation.h"
#include "player/sequencer.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

const char moduleMagic[] = "Extended Module: ";
const int magicLength = 17;
const int moduleHeaderStart = 60;
const int moduleHeaderBytes = 20 + 256; // from offset 60: sizes, counts, flags, orders
const int patternHeaderBytes = 9;
const int instrumentHeadBytes = 29;  // up to and including the sample count
const int instrumentBodyBytes = 212; // from offset 29 to the end of the fadeout
const int sampleHeaderFields = 17;   // read; the reserved byte and the name are skipped
const int sampleHeaderSkip = 23;
const int emptyPatternRows = 64;

uint16_t u16At(const uint8_t *bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t u32At(const uint8_t *bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

// The open file with its size. Reads start from zero-filled buffers, so a
// file that ends early reads as zeros.
struct XmReader {
    SongFile *file;
    int64_t size;

    void read(void *buffer, int count) {
        std::memset(buffer, 0, static_cast<size_t>(count));
        readSongFile(file, buffer, count);
    }
    uint8_t byte() {
        uint8_t value;
        read(&value, 1);
        return value;
    }
    int64_t tell() { return tellSongFile(file); }
    // Seeks to a position from the start, which may lie beyond any int.
    void seekTo(int64_t position) {
        seekSongFile(file, static_cast<int>(std::clamp<int64_t>(position, 0, INT_MAX)),
                     seekFromStart);
    }
    void skip(int count) { seekSongFile(file, count, seekFromCurrent); }
    int64_t remaining() { return std::max<int64_t>(0, size - tell()); }
};

int64_t fileSize(SongFile *file) {
    seekSongFile(file, 0, seekFromEnd);
    const int64_t size = tellSongFile(file);
    seekSongFile(file, 0, seekFromStart);
    return size;
}

template <typename Record> Record *allocateRecords(size_t count) {
    return static_cast<Record *>(allocateZeroed(count, sizeof(Record)));
}

// Module header: the magic, the format version, then the fields from offset 60.
bool readModuleHeader(Song *song, XmReader &in, uint16_t &patternCount, int64_t &patternsStart) {
    char magic[magicLength];
    in.seekTo(0);
    in.read(magic, magicLength);
    if (std::memcmp(magic, moduleMagic, magicLength) != 0)
        return false;
    song->tickFunction = sequencerTick;
    song->initialGlobalVolume = 64;

    uint8_t version[2];
    in.seekTo(58);
    in.read(version, 2);
    uint8_t header[moduleHeaderBytes];
    in.seekTo(moduleHeaderStart);
    in.read(header, moduleHeaderBytes);
    const uint16_t songLength = u16At(header + 4);
    const uint16_t channelCount = u16At(header + 8);
    patternCount = u16At(header + 10);
    const uint16_t instrumentCount = u16At(header + 12);
    song->songLength = static_cast<int16_t>(songLength);
    song->restartPosition = static_cast<int16_t>(u16At(header + 6));
    song->channelCount = static_cast<int16_t>(channelCount);
    song->instrumentCount = static_cast<int16_t>(instrumentCount);
    song->flags = u16At(header + 14);
    song->defaultSpeed = static_cast<int16_t>(u16At(header + 16));
    song->defaultBpm = static_cast<int16_t>(u16At(header + 18));
    std::memcpy(song->orderTable, header + 20, sizeof(song->orderTable));
    patternsStart = moduleHeaderStart + int64_t{u32At(header)};

    return u16At(version) >= oldestFormatVersion && channelCount >= 1 &&
           channelCount <= maxChannels && songLength >= 1 && songLength <= maxSongLength &&
           patternCount <= maxPatterns && instrumentCount <= maxInstruments &&
           song->defaultBpm >= 1;
}

// A packed cell starts with a byte whose bits name the fields that follow;
// any other first byte is the note, followed by the other four fields.
void readCell(XmReader &in, PatternCell &cell) {
    uint8_t fields[5] = {};
    const uint8_t first = in.byte();
    if (first & 0x80) {
        for (int field = 0; field < 5; ++field)
            if (first & (1 << field))
                fields[field] = in.byte();
    } else {
        fields[0] = first;
        in.read(fields + 1, 4);
    }
    cell = PatternCell{fields[0], fields[1], fields[2], fields[3], fields[4]};
    if (cell.note == 97)
        cell.note = 255; // key off
    if (cell.instrument > 128)
        cell.instrument = 0;
}

bool allocateCells(Pattern &pattern, int rows, int channels) {
    pattern.rowCount = rows;
    pattern.cells = allocateRecords<PatternCell>(static_cast<size_t>(rows) * channels);
    return pattern.cells != nullptr;
}

bool readPattern(Song *song, XmReader &in, Pattern &pattern) {
    uint8_t header[patternHeaderBytes];
    in.read(header, patternHeaderBytes);
    const uint16_t rows = u16At(header + 5);
    const uint16_t packedSize = u16At(header + 7);
    if (rows < 1 || rows > maxRows || !allocateCells(pattern, rows, song->channelCount))
        return false;
    if (packedSize != 0)
        for (int cell = 0; cell < rows * song->channelCount; ++cell)
            readCell(in, pattern.cells[cell]);
    return true;
}

// Slots for every pattern the file holds and every one the order table names;
// named patterns the file lacks are 64 empty rows.
bool readPatterns(Song *song, XmReader &in, uint16_t patternCount) {
    const uint8_t *orders = song->orderTable;
    song->usedPatternCount = 1 + *std::max_element(orders, orders + song->songLength);
    song->patternSlotCount = std::max<int32_t>(patternCount, song->usedPatternCount);
    song->patterns = allocateRecords<Pattern>(static_cast<size_t>(song->patternSlotCount));
    if (!song->patterns)
        return false;
    for (int number = 0; number < patternCount; ++number)
        if (!readPattern(song, in, song->patterns[number]))
            return false;
    for (int number = patternCount; number < song->usedPatternCount; ++number)
        if (!allocateCells(song->patterns[number], emptyPatternRows, song->channelCount))
            return false;
    return true;
}

struct EnvelopeFields {
    EnvelopePoint *points;
    uint8_t &count;
    uint8_t &sustain;
    uint8_t &loopStart;
    uint8_t &loopEnd;
    uint8_t &type;
};

// Trackers leave odd values behind, also in envelopes that are off. Make every
// envelope safe to step: at most 12 points, values up to 64, strictly rising
// ticks, and sustain and loop points that exist.
void repairEnvelope(EnvelopeFields envelope) {
    envelope.count = std::min<uint8_t>(envelope.count, maxEnvelopePoints);
    for (int i = 0; i < envelope.count; ++i) {
        EnvelopePoint &point = envelope.points[i];
        point.value = std::min<uint16_t>(point.value, maxEnvelopeValue);
        if (i == 0 || point.tick > envelope.points[i - 1].tick)
            continue;
        if (envelope.points[i - 1].tick == UINT16_MAX) {
            envelope.count = static_cast<uint8_t>(i);
            break;
        }
        point.tick = static_cast<uint16_t>(envelope.points[i - 1].tick + 1);
    }
    if (envelope.sustain >= envelope.count)
        envelope.type &= static_cast<uint8_t>(~envelopeSustain);
    if (envelope.loopStart >= envelope.count || envelope.loopEnd >= envelope.count)
        envelope.type &= static_cast<uint8_t>(~envelopeLoop);
    if (envelope.count < 2)
        envelope.type = 0;
}

void readPoints(const uint8_t *bytes, EnvelopePoint *points) {
    for (int i = 0; i < maxEnvelopePoints; ++i)
        points[i] = EnvelopePoint{u16At(bytes + 4 * i), u16At(bytes + 4 * i + 2)};
}

// The instrument header from offset 29 on, for an instrument with samples.
void readInstrumentBody(XmReader &in, Instrument &instrument) {
    uint8_t body[instrumentBodyBytes];
    in.read(body, instrumentBodyBytes);
    std::memcpy(instrument.sampleMap, body + 4, sizeof(instrument.sampleMap));
    readPoints(body + 100, instrument.volumePoints);
    readPoints(body + 148, instrument.panningPoints);
    const uint8_t *fields = body + 196;
    instrument.volumePointCount = fields[0];
    instrument.panningPointCount = fields[1];
    instrument.volumeSustain = fields[2];
    instrument.volumeLoopStart = fields[3];
    instrument.volumeLoopEnd = fields[4];
    instrument.panningSustain = fields[5];
    instrument.panningLoopStart = fields[6];
    instrument.panningLoopEnd = fields[7];
    instrument.volumeType = fields[8];
    instrument.panningType = fields[9];
    instrument.vibratoType = fields[10];
    instrument.vibratoSweep = fields[11];
    instrument.vibratoDepth = fields[12];
    instrument.vibratoRate = fields[13];
    // Doubled, the largest steps would wrap to small ones (0x8000 to none at all).
    instrument.fadeout = static_cast<uint16_t>(std::min(u16At(fields + 14) * 2, 0xffff));
    repairEnvelope({instrument.volumePoints, instrument.volumePointCount, instrument.volumeSustain,
                    instrument.volumeLoopStart, instrument.volumeLoopEnd, instrument.volumeType});
    repairEnvelope({instrument.panningPoints, instrument.panningPointCount,
                    instrument.panningSustain, instrument.panningLoopStart,
                    instrument.panningLoopEnd, instrument.panningType});
}

// A sample header's fields, converted from bytes to frames and normalised.
void readSampleHeader(XmReader &in, Sample &sample) {
    uint8_t header[sampleHeaderFields];
    in.read(header, sampleHeaderFields);
    in.skip(sampleHeaderSkip);
    sample.length = u32At(header);
    sample.loopStart = u32At(header + 4);
    sample.loopLength = u32At(header + 8);
    sample.volume = header[12];
    sample.finetune = static_cast<int8_t>(header[13]);
    const uint8_t type = header[14];
    sample.panning = header[15];
    sample.relativeNote = static_cast<int8_t>(header[16]);

    sample.loopType = loopNone;
    sample.bitsPerSample = 8;
    if (type & 1)
        sample.loopType = loopForward;
    if (type & 2)
        sample.loopType = loopPingPong;
    if (type & 0x10)
        sample.bitsPerSample = 16;
    if (sample.loopType == loopNone) {
        sample.loopStart = 0;
        sample.loopLength = sample.length;
    }
    if (sample.bitsPerSample == 16) {
        sample.length >>= 1;
        sample.loopStart >>= 1;
        sample.loopLength >>= 1;
    }
    if (sample.loopLength == 0) {
        sample.loopStart = 0;
        sample.loopLength = sample.length;
        sample.loopType = loopNone;
    }
}

void makeNonLooping(Sample &sample) {
    sample.loopStart = 0;
    sample.loopLength = sample.length;
    sample.loopType = loopNone;
}

// The sample holds no more frames than the rest of the file can supply, and
// its loop lies inside it.
void fitSampleToFile(Sample &sample, int64_t bytesLeft) {
    const int64_t framesLeft = bytesLeft * 8 / sample.bitsPerSample;
    if (sample.length > framesLeft)
        sample.length = static_cast<uint32_t>(framesLeft);
    if (sample.loopType == loopNone || sample.loopStart >= sample.length)
        makeNonLooping(sample);
    else if (uint64_t{sample.loopStart} + sample.loopLength > sample.length)
        sample.loopLength = sample.length - sample.loopStart;
}

void decodeDeltas(int16_t *values, uint32_t count) {
    uint16_t sum = 0;
    for (uint32_t k = 0; k < count; ++k) {
        sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(values[k]));
        values[k] = static_cast<int16_t>(sum);
    }
}

// Lets the mixer's interpolation read one value past the loop's end.
void writeLoopGuard(Sample &sample) {
    const uint32_t loopEnd = sample.loopStart + sample.loopLength;
    if (sample.loopType == loopForward)
        sample.data[loopEnd] = sample.data[sample.loopStart];
    else if (sample.loopType == loopPingPong)
        sample.data[loopEnd] = sample.data[loopEnd - 1];
}

// Fills raw with byteCount bytes of the sample, from the file or the song's
// sample loader.
void readSampleBytes(Song *song, XmReader &in, uint8_t *raw, int byteCount, const Sample &sample,
                     int instrumentIndex, int sampleIndex) {
    if (song->sampleLoader) {
        song->sampleLoader(raw, byteCount, sample.bitsPerSample, instrumentIndex, sampleIndex);
        in.skip(byteCount);
    } else {
        in.read(raw, byteCount);
    }
}

bool readSampleData(Song *song, XmReader &in, Sample &sample, int instrumentIndex,
                    int sampleIndex) {
    fitSampleToFile(sample, in.remaining());
    if (sample.length == 0)
        return true;
    // length + 8 values: the guard value and zeros after the last frame.
    sample.data = static_cast<int16_t *>(allocateZeroed(sample.length + 8, sizeof(int16_t)));
    if (!sample.data)
        return false;
    const int byteCount = static_cast<int>(sample.bitsPerSample / 8 * sample.length);
    if (sample.bitsPerSample == 16) {
        uint8_t *bytes = reinterpret_cast<uint8_t *>(sample.data);
        readSampleBytes(song, in, bytes, byteCount, sample, instrumentIndex, sampleIndex);
        for (uint32_t k = 0; k < sample.length; ++k)
            sample.data[k] = static_cast<int16_t>(u16At(bytes + 2 * k));
    } else {
        uint8_t *raw = static_cast<uint8_t *>(allocateZeroed(sample.length, 1));
        if (!raw)
            return false;
        readSampleBytes(song, in, raw, byteCount, sample, instrumentIndex, sampleIndex);
        for (uint32_t k = 0; k < sample.length; ++k)
            sample.data[k] = static_cast<int16_t>(static_cast<int8_t>(raw[k]) * 256);
        releaseMemory(raw);
        sample.bitsPerSample = 16;
    }
    if (!song->sampleLoader)
        decodeDeltas(sample.data, sample.length);
    writeLoopGuard(sample);
    return true;
}

void pointSlotsAtEmptySample(Instrument &instrument, int firstSlot) {
    for (int slot = firstSlot; slot < maxSamplesPerInstrument; ++slot)
        instrument.samples[slot] = &emptySample;
}

bool readInstrument(Song *song, XmReader &in, int index) {
    Instrument &instrument = song->instruments[index];
    const int64_t start = in.tell();
    uint8_t head[instrumentHeadBytes];
    in.read(head, 4);
    in.skip(23); // name and type
    in.read(head + 27, 2);
    const int64_t headerEnd = start + u32At(head);
    const uint16_t sampleCount = u16At(head + 27);
    if (sampleCount > maxSamplesPerInstrument)
        return false;
    instrument.sampleCount = sampleCount;
    if (sampleCount == 0) {
        in.seekTo(headerEnd);
        pointSlotsAtEmptySample(instrument, 0);
        return true;
    }
    readInstrumentBody(in, instrument);
    in.seekTo(headerEnd);
    for (int slot = 0; slot < sampleCount; ++slot) {
        instrument.samples[slot] = allocateRecords<Sample>(1);
        if (!instrument.samples[slot])
            return false;
        readSampleHeader(in, *instrument.samples[slot]);
    }
    pointSlotsAtEmptySample(instrument, sampleCount);
    for (int slot = 0; slot < sampleCount; ++slot)
        if (!readSampleData(song, in, *instrument.samples[slot], index, slot))
            return false;
    return true;
}

bool readInstruments(Song *song, XmReader &in) {
    song->instruments = allocateRecords<Instrument>(static_cast<size_t>(song->instrumentCount));
    if (!song->instruments && song->instrumentCount > 0)
        return false;
    for (int index = 0; index < song->instrumentCount; ++index)
        if (!readInstrument(song, in, index))
            return false;
    return true;
}

void releaseInstrument(Instrument &instrument) {
    for (int32_t slot = 0; slot < instrument.sampleCount && slot < maxSamplesPerInstrument;
         ++slot) {
        Sample *sample = instrument.samples[slot];
        if (!sample || sample == &emptySample)
            continue;
        releaseMemory(sample->data);
        releaseMemory(sample);
    }
}

} // namespace

bool loadXm(Song *song, SongFile *file) {
    XmReader in{file, fileSize(file)};
    uint16_t patternCount = 0;
    int64_t patternsStart = 0;
    if (!readModuleHeader(song, in, patternCount, patternsStart))
        return false;
    in.seekTo(patternsStart);
    return readPatterns(song, in, patternCount) && readInstruments(song, in);
}

void releaseSong(Song *song) {
    if (!song)
        return;
    if (song->patterns) {
        for (int32_t i = 0; i < song->patternSlotCount; ++i)
            releaseMemory(song->patterns[i].cells);
        releaseMemory(song->patterns);
    }
    if (song->instruments) {
        for (int16_t i = 0; i < song->instrumentCount; ++i)
            releaseInstrument(song->instruments[i]);
        releaseMemory(song->instruments);
    }
    releaseMemory(song);
}

Song *loadSong(const char *name, SampleLoader sampleLoader) {
    SongFile *file = openSongFile(name);
    if (!file)
        return nullptr;
    Song *song = allocateRecords<Song>(1);
    bool loaded = false;
    if (song) {
        song->sampleLoader = sampleLoader;
        loaded = loadXm(song, file);
    }
    closeSongFile(file);
    if (!loaded) {
        releaseSong(song);
        return nullptr;
    }
    return song;
}
