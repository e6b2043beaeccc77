#include "xm_builder/xm_builder.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

XmCell &XmPattern::at(int row, int channel) {
    assert(channels > 0 && "set the pattern's channels before addressing its cells");
    const size_t index = static_cast<size_t>(row) * channels + channel;
    if (cells.size() <= index)
        cells.resize(std::max<size_t>(index + 1, static_cast<size_t>(rows) * channels));
    return cells[index];
}

XmPattern blankPattern(int rows, int channels) {
    XmPattern pattern;
    pattern.rows = rows;
    pattern.channels = channels;
    pattern.cells.resize(static_cast<size_t>(rows) * channels);
    return pattern;
}

namespace {

[[noreturn]] void notACell(const std::string &text) {
    std::fprintf(stderr, "xm builder: \"%s\" is not a cell\n", text.c_str());
    std::abort();
}

int digitValue(char c, int base) {
    const std::string digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const size_t value = digits.find(c);
    return value < static_cast<size_t>(base) ? static_cast<int>(value) : -1;
}

// "C-4" is 49: twelve notes an octave, C first, from note 1 at C-0.
int noteNumber(const std::string &name) {
    static const int semitones[] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    if (name.size() != 3 || name[0] < 'A' || name[0] > 'G' || (name[1] != '-' && name[1] != '#') ||
        name[2] < '0' || name[2] > '9')
        return -1;
    const int note = 12 * (name[2] - '0') + semitones[name[0] - 'A'] + (name[1] == '#') + 1;
    return note <= 96 ? note : -1;
}

int hexByte(const std::string &text, size_t at) {
    const int high = digitValue(text[at], 16), low = digitValue(text[at + 1], 16);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

} // namespace

XmCell xmCell(const std::string &text) {
    XmCell cell;
    std::istringstream parts(text);
    for (std::string part; parts >> part;) {
        const bool digits = part.find_first_not_of("0123456789") == std::string::npos;
        if (part.find_first_not_of('.') == std::string::npos)
            continue;
        if (part == "off")
            cell.note = 97;
        else if (noteNumber(part) > 0)
            cell.note = static_cast<uint8_t>(noteNumber(part));
        else if (part.size() == 2 && digits)
            cell.instrument = static_cast<uint8_t>(std::stoi(part));
        else if (part.size() == 3 && part[0] == 'v' && hexByte(part, 1) >= 0)
            cell.volume = static_cast<uint8_t>(hexByte(part, 1));
        else if (part.size() == 3 && digitValue(part[0], 36) >= 0 && hexByte(part, 1) >= 0) {
            cell.effect = static_cast<uint8_t>(digitValue(part[0], 36));
            cell.param = static_cast<uint8_t>(hexByte(part, 1));
        } else
            notACell(text);
    }
    return cell;
}

void setCells(XmPattern &pattern, int channel, const std::string &events) {
    std::istringstream list(events);
    for (std::string event; std::getline(list, event, ',');) {
        std::istringstream fields(event);
        int row = -1;
        std::string cell;
        if (!(fields >> row) || row < 0 || !std::getline(fields, cell))
            notACell(event);
        pattern.at(row, channel) = xmCell(cell);
    }
}

std::vector<std::string> splitText(const std::string &text, char separator) {
    std::vector<std::string> parts;
    std::istringstream list(text);
    for (std::string part; std::getline(list, part, separator);)
        parts.push_back(part);
    return parts;
}

namespace {

void applySetting(XmSong &xm, const std::string &name, const std::string &value) {
    const int number = value.empty() ? 0 : std::stoi(value);
    XmSample &sample = xm.instruments[0].samples[0];
    if (name == "speed")
        xm.speed = static_cast<uint16_t>(number);
    else if (name == "bpm")
        xm.bpm = static_cast<uint16_t>(number);
    else if (name == "restart")
        xm.restart = static_cast<uint16_t>(number);
    else if (name == "amiga")
        xm.flags = 0;
    else if (name == "ft")
        sample.finetune = static_cast<int8_t>(number);
    else if (name == "rel")
        sample.relativeNote = static_cast<int8_t>(number);
    else if (name == "vol")
        sample.volume = static_cast<uint8_t>(number);
    else if (name == "orders") {
        xm.orders.clear();
        for (const std::string &order : splitText(value, ','))
            xm.orders.push_back(static_cast<uint8_t>(std::stoi(order)));
    } else if (name != "rows") {
        std::fprintf(stderr, "xm builder: no song setting \"%s\"\n", name.c_str());
        std::abort();
    }
}

} // namespace

XmSong xmSong(const std::string &text) {
    const size_t colon = text.find(':');
    std::map<std::string, std::string> settings;
    std::istringstream words(colon == std::string::npos ? "" : text.substr(0, colon));
    for (std::string word; words >> word;)
        settings[word.substr(0, word.find('='))] =
            word.find('=') == std::string::npos ? "" : word.substr(word.find('=') + 1);
    std::vector<std::vector<std::vector<std::string>>> patterns; // rows of cells
    XmSong xm;
    xm.channels = 1;
    for (const std::string &pattern : splitText(text.substr(colon + 1), '/')) {
        patterns.emplace_back();
        for (const std::string &row : splitText(pattern, ';')) {
            patterns.back().push_back(splitText(row, '|'));
            xm.channels =
                std::max(xm.channels, static_cast<uint16_t>(patterns.back().back().size()));
        }
    }
    const std::vector<std::string> rowCounts = splitText(settings["rows"], ',');
    for (size_t p = 0; p < patterns.size(); ++p) {
        const int written = static_cast<int>(patterns[p].size());
        const int rows = p < rowCounts.size() ? std::stoi(rowCounts[p]) : 16;
        xm.patterns.push_back(blankPattern(std::max(rows, written), xm.channels));
        for (int r = 0; r < written; ++r)
            for (size_t c = 0; c < patterns[p][r].size(); ++c)
                xm.patterns[p].at(r, static_cast<int>(c)) = xmCell(patterns[p][r][c]);
    }
    XmSample sample;
    sample.sixteenBit = true;
    for (int k = 0; k < 64; ++k)
        sample.values.push_back(k % 2 ? 8000 : -8000);
    sample.loop = xmForwardLoop;
    sample.loopLength = 64;
    xm.instruments.push_back(instrumentWith(sample));
    for (const auto &[name, value] : settings)
        applySetting(xm, name, value);
    return xm;
}

namespace {

class ByteWriter {
  public:
    void u8(uint32_t value) { bytes.push_back(static_cast<uint8_t>(value)); }
    void u16(uint32_t value) {
        u8(value);
        u8(value >> 8);
    }
    void u32(uint32_t value) {
        u16(value);
        u16(value >> 16);
    }
    void text(const std::string &value, size_t width) {
        for (size_t i = 0; i < width; ++i)
            u8(i < value.size() ? static_cast<uint8_t>(value[i]) : 0);
    }
    void zeros(size_t count) { bytes.insert(bytes.end(), count, 0); }
    void append(const std::vector<uint8_t> &more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    size_t size() const { return bytes.size(); }

    std::vector<uint8_t> bytes;
};

void writeModuleHeader(ByteWriter &out, const XmSong &song) {
    out.text("Extended Module: ", 17);
    out.text(song.name, 20);
    out.u8(0x1a);
    out.text("veltrane tests", 20);
    out.u16(song.version);
    out.u32(song.headerSize);
    out.u16(song.songLength.value_or(static_cast<uint16_t>(song.orders.size())));
    out.u16(song.restart);
    out.u16(song.channels);
    out.u16(song.patternCount.value_or(static_cast<uint16_t>(song.patterns.size())));
    out.u16(song.instrumentCount.value_or(static_cast<uint16_t>(song.instruments.size())));
    out.u16(song.flags);
    out.u16(song.speed);
    out.u16(song.bpm);
    for (size_t i = 0; i < 256; ++i)
        out.u8(i < song.orders.size() ? song.orders[i] : 0);
    // A larger header size leaves room that the loader must skip.
    if (song.headerSize > 276)
        out.zeros(song.headerSize - 276);
}

// Empty fields are left out of a packed cell; a cell with all five uses the
// plain form, which is one byte shorter.
void writeCell(ByteWriter &out, const XmCell &cell, bool packed) {
    const uint8_t fields[5] = {cell.note, cell.instrument, cell.volume, cell.effect, cell.param};
    uint8_t present = 0;
    for (int i = 0; i < 5; ++i)
        present |= fields[i] ? 1 << i : 0;
    if (!packed || present == 0x1f) {
        for (uint8_t field : fields)
            out.u8(field);
        return;
    }
    out.u8(0x80 | present);
    for (int i = 0; i < 5; ++i)
        if (fields[i])
            out.u8(fields[i]);
}

void writePattern(ByteWriter &out, const XmPattern &pattern, int channels) {
    ByteWriter data;
    if (pattern.rawData)
        data.append(*pattern.rawData);
    else if (!pattern.cells.empty())
        for (int cell = 0; cell < pattern.rows * channels; ++cell)
            writeCell(data,
                      cell < static_cast<int>(pattern.cells.size()) ? pattern.cells[cell]
                                                                    : XmCell{},
                      pattern.packed);
    out.u32(9);
    out.u8(0);
    out.u16(static_cast<uint32_t>(pattern.rows));
    out.u16(static_cast<uint32_t>(data.size()));
    out.append(data.bytes);
}

void writeEnvelopePoints(ByteWriter &out, const XmEnvelope &envelope) {
    for (size_t i = 0; i < 12; ++i) {
        const bool used = i < envelope.points.size();
        out.u16(used ? envelope.points[i].first : 0);
        out.u16(used ? envelope.points[i].second : 0);
    }
}

uint8_t pointCount(const XmEnvelope &envelope) {
    return envelope.pointCount.value_or(static_cast<uint8_t>(envelope.points.size()));
}

uint32_t bytesPerFrame(const XmSample &sample) {
    return sample.sixteenBit ? 2 : 1;
}

void writeSampleHeader(ByteWriter &out, const XmSample &sample) {
    const uint32_t frameBytes = bytesPerFrame(sample);
    out.u32(sample.lengthBytes.value_or(static_cast<uint32_t>(sample.values.size()) * frameBytes));
    out.u32(sample.loopStart * frameBytes);
    out.u32(sample.loopLength * frameBytes);
    out.u8(sample.volume);
    out.u8(static_cast<uint8_t>(sample.finetune));
    out.u8(sample.loop | (sample.sixteenBit ? 0x10 : 0));
    out.u8(sample.panning);
    out.u8(static_cast<uint8_t>(sample.relativeNote));
    out.u8(0);
    out.text(sample.name, 22);
}

void writeSampleData(ByteWriter &out, const XmSample &sample) {
    int previous = 0;
    for (int value : sample.values) {
        const int delta = value - previous;
        previous = value;
        if (sample.sixteenBit)
            out.u16(static_cast<uint32_t>(delta));
        else
            out.u8(static_cast<uint32_t>(delta));
    }
}

void writeInstrument(ByteWriter &out, const XmInstrument &instrument) {
    const bool hasSamples = !instrument.samples.empty();
    const uint32_t headerSize = instrument.headerSize.value_or(hasSamples ? 263 : 29);
    const size_t start = out.size();
    out.u32(headerSize);
    out.text(instrument.name, 22);
    out.u8(0);
    out.u16(instrument.sampleCount.value_or(static_cast<uint16_t>(instrument.samples.size())));
    if (hasSamples) {
        out.u32(40);
        for (uint8_t slot : instrument.sampleMap)
            out.u8(slot);
        writeEnvelopePoints(out, instrument.volumeEnvelope);
        writeEnvelopePoints(out, instrument.panningEnvelope);
        const XmEnvelope &volume = instrument.volumeEnvelope;
        const XmEnvelope &panning = instrument.panningEnvelope;
        for (uint8_t field :
             {pointCount(volume), pointCount(panning), volume.sustain, volume.loopStart,
              volume.loopEnd, panning.sustain, panning.loopStart, panning.loopEnd, volume.type,
              panning.type, instrument.vibratoType, instrument.vibratoSweep,
              instrument.vibratoDepth, instrument.vibratoRate})
            out.u8(field);
        out.u16(instrument.fadeout);
    }
    const size_t written = out.size() - start;
    if (headerSize > written)
        out.zeros(headerSize - written);
    for (const XmSample &sample : instrument.samples)
        writeSampleHeader(out, sample);
    for (const XmSample &sample : instrument.samples)
        writeSampleData(out, sample);
}

} // namespace

std::vector<uint8_t> buildXm(const XmSong &song) {
    ByteWriter out;
    writeModuleHeader(out, song);
    for (const XmPattern &pattern : song.patterns)
        writePattern(out, pattern, pattern.channels > 0 ? pattern.channels : song.channels);
    for (const XmInstrument &instrument : song.instruments)
        writeInstrument(out, instrument);
    return out.bytes;
}

bool writeXm(const std::string &path, const XmSong &song) {
    const std::vector<uint8_t> bytes = buildXm(song);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

XmInstrument instrumentWith(XmSample sample) {
    XmInstrument instrument;
    instrument.samples.push_back(std::move(sample));
    return instrument;
}
