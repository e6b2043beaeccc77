#pragma once

// Writes XM song files from a compact description, so that every player test
// states exactly what it plays. Sample values are given as absolute values;
// the builder stores them delta-coded, as the format does.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct XmCell {
    uint8_t note = 0; // 1..96, 97 = key off
    uint8_t instrument = 0;
    uint8_t volume = 0; // the volume-column byte
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct XmPattern {
    int rows = 64;
    int channels = 0;                            // 0: the song's channel count; set it to use at()
    std::vector<XmCell> cells;                   // row after row; empty: no cell data at all
    bool packed = true;                          // false: every cell as five plain bytes
    std::optional<std::vector<uint8_t>> rawData; // written as the cell data, verbatim

    // The cell of a row and channel; the pattern grows to hold it.
    XmCell &at(int row, int channel);
};

// A pattern of empty cells, written out as cell data.
XmPattern blankPattern(int rows, int channels);

// A cell in a tracker's notation, so that songs can be written as text. Its
// parts, each optional, in any order, separated by spaces:
//   note        "C-4" (note 49, the sample's own pitch), "C#4", "B-7" (96),
//               "off" (97, key off)
//   instrument  two decimal digits: "01"
//   volume      "v" and the volume column's byte in hex: "v40" (volume 48)
//   effect      the effect's number as one base-36 digit (0..9, then A is 10,
//               G 16, K 20, X 33) and its parameter in hex: "F96", "E61"
// For example "C-4 01 v40 F96", "A0F" or "off"; "." stands for nothing.
// Text that is no cell ends the program with a message naming it.
XmCell xmCell(const std::string &text);

// Sets cells of one channel from "row cell, row cell, ...", for example
// "0 C-4 03 G20, 4 C-4 03 H20"; the pattern grows to hold them.
void setCells(XmPattern &pattern, int channel, const std::string &events);

struct XmSong;
// A song of one instrument, a looped 16-bit sample of 64 frames at volume 64 and
// centre panning, written as settings and rows: "speed=3 amiga: C-4 01 047; 000; . | B05".
// Rows are separated by ";", channels by "|", patterns by "/"; cells as xmCell reads
// them. Settings: speed, bpm, amiga (the Amiga table), rows (of each pattern, "rows=2,3":
// at least those written, 16 by default), orders ("orders=0,1,0"), restart, and the
// sample's ft (finetune), rel (relative note) and vol. An unknown setting ends the program.
XmSong xmSong(const std::string &text);

// The parts of text between separators, as the notation splits rows and lists.
std::vector<std::string> splitText(const std::string &text, char separator);

struct XmEnvelope {
    std::vector<std::pair<uint16_t, uint16_t>> points; // (tick, value)
    uint8_t sustain = 0;
    uint8_t loopStart = 0;
    uint8_t loopEnd = 0;
    uint8_t type = 0;                  // bit 0 on, bit 1 sustain, bit 2 loop
    std::optional<uint8_t> pointCount; // written in place of points.size()
};

enum XmLoop : uint8_t { xmNoLoop = 0, xmForwardLoop = 1, xmPingPongLoop = 2 };

struct XmSample {
    std::vector<int> values; // -128..127 for 8-bit data, -32768..32767 for 16-bit
    bool sixteenBit = false;
    uint8_t loop = xmNoLoop;
    uint32_t loopStart = 0;  // frames
    uint32_t loopLength = 0; // frames
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    std::optional<uint32_t> lengthBytes; // written in place of the data's size
    std::string name;
};

struct XmInstrument {
    std::vector<XmSample> samples;
    std::array<uint8_t, 96> sampleMap{};
    XmEnvelope volumeEnvelope;
    XmEnvelope panningEnvelope;
    uint8_t vibratoType = 0;
    uint8_t vibratoSweep = 0;
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
    uint16_t fadeout = 0; // as stored; the player doubles it
    std::string name;
    std::optional<uint32_t> headerSize;  // default 263, or 29 without samples
    std::optional<uint16_t> sampleCount; // written in place of samples.size()
};

struct XmSong {
    std::string name = "test song";
    uint16_t version = 0x0104;
    uint16_t channels = 4;
    uint16_t restart = 0;
    uint16_t flags = 1; // linear frequency table
    uint16_t speed = 6;
    uint16_t bpm = 125;
    std::vector<uint8_t> orders = {0};
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
    uint32_t headerSize = 276;
    std::optional<uint16_t> songLength; // written in place of orders.size()
    std::optional<uint16_t> patternCount;
    std::optional<uint16_t> instrumentCount;
};

std::vector<uint8_t> buildXm(const XmSong &song);

// False when the file can't be written.
bool writeXm(const std::string &path, const XmSong &song);

// An instrument that plays one sample on every note.
XmInstrument instrumentWith(XmSample sample);

// Byte positions in a built file with the default header size.
const size_t xmVersionOffset = 58;
const size_t xmHeaderOffset = 60;
const size_t xmPatternsOffset = 60 + 276;
