#include "every_effect_song.h"

#include <cmath>
#include <cstdint>
#include <functional>

namespace {

const double pi = 3.14159265358979323846;
const int channelCount = 6; // drums, hats, bass, lead, low and high chords

XmSample sampleOf(const char *name, bool sixteenBit, int length,
                  const std::function<int(int)> &value, uint8_t loop = xmNoLoop,
                  uint32_t loopStart = 0, uint8_t volume = 64) {
    XmSample sample;
    sample.name = name;
    sample.sixteenBit = sixteenBit;
    for (int k = 0; k < length; ++k)
        sample.values.push_back(value(k));
    sample.loop = loop;
    sample.loopStart = loop ? loopStart : 0;
    sample.loopLength = loop ? static_cast<uint32_t>(length) - loopStart : 0;
    sample.volume = volume;
    return sample;
}

// Swells in, holds at the sustain point and, once released, keeps swelling between points 1
// and 3 while it fades out; the panning circles for ever (its sustain point is its loop end,
// so it never holds). A mellow wave looped forwards, with sine auto-vibrato sweeping in.
XmInstrument pad() {
    XmInstrument pad = instrumentWith(sampleOf(
        "pad", true, 64,
        [](int k) {
            const double x = 2 * pi * k / 64;
            return static_cast<int>(
                std::lround(7000 * std::sin(x) + 2500 * std::sin(2 * x) + 1200 * std::sin(3 * x)));
        },
        xmForwardLoop, 0, 40));
    pad.name = "pad";
    pad.volumeEnvelope = {{{0, 0}, {4, 64}, {12, 40}, {24, 56}}, 2, 1, 3, 7, {}};
    pad.panningEnvelope = {{{0, 32}, {16, 52}, {32, 12}, {48, 32}}, 3, 1, 3, 7, {}};
    pad.fadeout = 384;
    pad.vibratoSweep = 40;
    pad.vibratoDepth = 4;
    pad.vibratoRate = 10;
    return pad;
}

// An 8-bit triangle (a ramp played forwards and backwards) below C-3, a 16-bit saw from C-3
// up; a plucked envelope that holds until the key is released, then fades.
XmInstrument bass() {
    XmInstrument bass;
    bass.name = "bass";
    bass.samples = {
        sampleOf(
            "bass low", false, 32, [](int k) { return -80 + k * 160 / 31; }, xmPingPongLoop, 0, 56),
        sampleOf(
            "bass high", true, 64, [](int k) { return -11000 + k * 22000 / 63; }, xmForwardLoop, 0,
            48)};
    for (int k = 36; k < 96; ++k)
        bass.sampleMap[k] = 1;
    bass.volumeEnvelope = {{{0, 64}, {8, 48}, {32, 40}}, 1, 0, 0, 3, {}};
    bass.fadeout = 1024;
    return bass;
}

// A lead-in, then a ramp played forwards and backwards, retuned. The volume envelope loops
// without a sustain point; the panning drifts to a sustain point. Ramp auto-vibrato.
XmInstrument lead() {
    XmSample wave = sampleOf(
        "lead", true, 32, [](int k) { return k < 8 ? -k * 1100 : -8000 + (k - 8) * 16000 / 23; },
        xmPingPongLoop, 8, 44);
    wave.relativeNote = 12;
    wave.finetune = -8;
    XmInstrument lead = instrumentWith(wave);
    lead.name = "lead";
    lead.volumeEnvelope = {{{0, 40}, {6, 64}, {12, 48}, {18, 64}}, 0, 1, 3, 5, {}};
    lead.panningEnvelope = {{{0, 24}, {30, 40}}, 1, 0, 0, 3, {}};
    lead.fadeout = 256;
    lead.vibratoType = 2;
    lead.vibratoDepth = 3;
    lead.vibratoRate = 24;
    return lead;
}

// Cells per channel in the XM builder's notation, "row cell, ..."; the kick (instrument 3)
// every `beat` rows from `first`, and the hat (4) every 4 rows from `hats`.
XmPattern patternOf(int rows, int first, int beat, int hats,
                    const std::vector<const char *> &channels) {
    XmPattern pattern;
    pattern.rows = rows;
    pattern.channels = channelCount;
    pattern.at(rows - 1, channelCount - 1) = XmCell{};
    for (int row = first; row < rows; row += beat)
        pattern.at(row, 0) = xmCell("C-4 03");
    for (int row = hats; hats >= 0 && row < rows; row += 4)
        pattern.at(row, 1) = xmCell("C-5 04");
    for (int c = 0; c < channelCount; ++c)
        setCells(pattern, c, channels[c]);
    return pattern;
}

} // namespace

XmSong everyEffectSong() {
    XmSong song;
    song.name = "every effect";
    song.channels = channelCount;
    song.orders = {0, 1, 2, 0, 3, 4};
    song.restart = 1;
    // A falling sine that dies away, 8-bit; a short burst of noise, 16-bit.
    const auto kick = [phase = 0.0](int k) mutable {
        phase += 2 * pi * (45 + 170 * std::exp(-k / 280.0)) / 8363;
        return static_cast<int>(100 * std::exp(-k / 900.0) * std::sin(phase));
    };
    const auto hat = [noise = uint32_t{2463534242u}](int k) mutable {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return static_cast<int>(9000 * std::exp(-k / 160.0) *
                                ((noise >> 8 & 0xffff) / 32767.5 - 1));
    };
    song.instruments = {pad(), bass(), instrumentWith(sampleOf("kick", false, 2400, kick)),
                        instrumentWith(sampleOf("hat", true, 700, hat, xmNoLoop, 0, 40)), lead()};
    song.instruments[3].samples[0].panning = 168;
    song.patterns = {
        // Order 0, the intro: the global volume rises from 32, the pad comes in at its peak
        // (L04 skips the swell), the second pad swells up in the volume column, and a
        // delayed lead note leads into order 1.
        patternOf(16, 0, 4, -1,
                  {"0 C-4 03 G20, 4 C-4 03 H20, 8 C-4 03 H00, 12 C-4 03 H00",
                   "2 C-5 04 v30, 6 C-5 04 v84, 10 C-5 04 v92, 14 C-5 04 C18",
                   "0 A-2 02, 6 A-2 02 v38, 8 F-2 02, 12 G-2 02", "12 E-4 05 v38 ED3",
                   "0 A-3 01 vC4 L04, 12 K00",
                   "0 C-4 01 v20, 1 v72, 2 v72, 3 v72, 8 E-4 01, 12 off"}),
        // Order 1, the theme at 150 BPM: bends and slides in the bass; the lead glides,
        // trembles and arpeggiates; the hats play a fill twice (E60..E61) and roll at the end;
        // one beat lasts twice as long (EE1). E31 (glissando control) is ignored.
        patternOf(
            32, 0, 4, 2,
            {"0 C-4 03 F96, 15 EE1",
             "0 G40, 8 C-5 04 E60, 9 C-5 04 v24, 11 C-5 04 v2C E61, 30 C-5 04 R13, 31 R00",
             "0 A-2 02, 6 102, 7 100, 8 F-2 02, 14 204, 16 C-3 02, 24 G-2 02",
             "0 E31, 2 E44, 4 E-4 05 v40, 8 G-4 05 310, 9 300, 10 446, 11 400, 12 A-4 05 502, "
             "13 601, 16 C-5 05 047, 17 047, 20 B-4 05 vA4, 21 vB3, 22 vB3, 24 off",
             "0 A-3 01 860, 8 F-3 01, 16 C-4 01 E8C, 24 G-3 01 vD4, 25 vD4, 26 vE2",
             "0 C-4 01 v38, 8 A-3 01, 15 E71, 16 E-4 01 744, 17 700, 18 700, 24 B-3 01"}),
        // Order 2, the bridge at speed 5: fine bends, clipped and offset hats, a delayed lead
        // note, a panning sweep and fine swells. The last row jumps to row 8 of order 4.
        patternOf(24, 0, 4, 2,
                  {"0 C-4 03 F05, 23 B04",
                   "4 C-5 04 902, 10 C-5 04 EC2, 12 910, 18 C-5 04 EC2, 22 C-5 04 EC2, 23 D08",
                   "0 A-2 02, 4 E12, 5 E10, 6 E22, 7 E20, 8 F-2 02, 16 C-3 02, 20 G-2 02",
                   "0 A-4 05 v38, 8 E-5 05 ED2, 16 D-5 05, 20 C-5 05",
                   "0 A-3 01 vC8 P04, 1 P00, 2 P00, 8 F-3 01 P40, 9 P00, 16 C-4 01, 20 K00",
                   "0 C-4 01 v40 A04, 1 A00, 8 A-3 01 v28 EA4, 9 EA0, 10 EB0, 12 v62, 13 v62, "
                   "16 E-4 01 C30, 17 v83, 20 G-3 01 A10"}),
        // Order 4, the return, entered at row 8: speed 6 at 125 BPM; extra fine bends and a
        // column glide in the bass; a retuned lead with column vibrato; a gated pad (tremor).
        patternOf(32, 8, 4, 10,
                  {"8 C-4 03 F7D", "8 F06, 28 C-5 04 E93",
                   "8 A-2 02, 12 X12, 13 X10, 14 X24, 16 C-3 02, 20 G-2 vF2, 21 vF0, 24 A-2 02, "
                   "28 off",
                   "8 E-4 05 E54, 12 vA6, 13 vB4, 14 vB4, 16 G-4 05, 20 A-4 05, 24 B-4 05, "
                   "28 A-4 05, 31 off",
                   "8 A-3 01 L08, 16 F-3 01 vC6, 24 G-3 01, 30 K00",
                   "8 C-4 01 T31, 9 T00, 10 T00, 11 T00, 16 A-3 01, 24 B-3 01"}),
        // Order 5, the turnaround: the lead bends down, everything is released and the global
        // volume fades before the song returns to order 1.
        patternOf(16, 0, 4, 2,
                  {"12 C-4 03 H02, 13 H00, 14 H00, 15 H00", "", "0 A-2 02, 8 E-2 02, 15 off",
                   "0 E-5 05, 4 201, 5 200, 8 off", "0 A-3 01, 8 G-3 01, 14 K00",
                   "0 C-4 01 v40, 8 B-3 01, 12 v93, 14 off"}),
    };
    return song;
}
