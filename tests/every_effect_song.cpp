#include "every_effect_song.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace {

const double pi = 3.14159265358979323846;

// Effect numbers of the effect column.
enum Effect : uint8_t {
    arpeggio = 0x0,
    portaUp = 0x1,
    portaDown = 0x2,
    tonePorta = 0x3,
    vibrato = 0x4,
    tonePortaSlide = 0x5,
    vibratoSlide = 0x6,
    tremolo = 0x7,
    setPanning = 0x8,
    sampleOffset = 0x9,
    volumeSlide = 0xa,
    positionJump = 0xb,
    setVolume = 0xc,
    patternBreak = 0xd,
    extended = 0xe,
    speedOrTempo = 0xf,
    globalVolume = 16,
    globalVolumeSlide = 17,
    keyOff = 20,
    envelopePosition = 21,
    panningSlide = 25,
    multiRetrig = 27,
    tremor = 29,
    extraFinePorta = 33,
};

// Instruments, as the cells number them.
enum InstrumentNumber : uint8_t { pad = 1, bass = 2, kick = 3, hat = 4, lead = 5 };

const int channelCount = 6;
// Channel roles.
const int drums = 0, hats = 1, bassLine = 2, melody = 3, chordLow = 4, chordHigh = 5;

const uint8_t releaseNote = 97;

// "C-4" is note 49, the note that plays a sample at its own rate; "F#2" is 31.
uint8_t note(const char *name) {
    static const int semitones[] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    int semitone = semitones[name[0] - 'A'];
    if (name[1] == '#')
        semitone += 1;
    return static_cast<uint8_t>(12 * (name[2] - '0') + semitone + 1);
}

// Volume-column bytes.
uint8_t volumeOf(int volume) {
    return static_cast<uint8_t>(0x10 + volume);
}
uint8_t column(int kind, int y) {
    return static_cast<uint8_t>(kind << 4 | y);
}

XmCell play(const char *name, uint8_t instrument, uint8_t volume = 0, uint8_t effect = 0,
            uint8_t param = 0) {
    return XmCell{note(name), instrument, volume, effect, param};
}

XmCell command(uint8_t effect, uint8_t param, uint8_t volume = 0) {
    return XmCell{0, 0, volume, effect, param};
}

XmCell columnOnly(uint8_t volume) {
    return XmCell{0, 0, volume, 0, 0};
}

XmCell release() {
    return XmCell{releaseNote, 0, 0, 0, 0};
}

uint8_t ext(int x, int y) {
    return static_cast<uint8_t>(x << 4 | y);
}

XmPattern patternOf(int rows) {
    XmPattern pattern;
    pattern.rows = rows;
    pattern.channels = channelCount;
    pattern.at(rows - 1, channelCount - 1) = XmCell{};
    return pattern;
}

// Samples.

// A mellow wave of one cycle in 64 frames, looped forwards: 16-bit.
XmSample padWave() {
    XmSample sample;
    sample.name = "pad";
    sample.sixteenBit = true;
    for (int k = 0; k < 64; ++k) {
        const double x = 2 * pi * k / 64;
        sample.values.push_back(static_cast<int>(
            std::lround(7000 * std::sin(x) + 2500 * std::sin(2 * x) + 1200 * std::sin(3 * x))));
    }
    sample.loop = xmForwardLoop;
    sample.loopLength = 64;
    sample.volume = 40;
    return sample;
}

// A rising ramp played forwards and backwards: a triangle, 8-bit.
XmSample bassTriangle() {
    XmSample sample;
    sample.name = "bass low";
    for (int k = 0; k < 32; ++k)
        sample.values.push_back(-80 + k * 160 / 31);
    sample.loop = xmPingPongLoop;
    sample.loopLength = 32;
    sample.volume = 56;
    return sample;
}

// A saw of one cycle in 64 frames, looped forwards: 16-bit, for the upper
// bass notes.
XmSample bassSaw() {
    XmSample sample;
    sample.name = "bass high";
    sample.sixteenBit = true;
    for (int k = 0; k < 64; ++k)
        sample.values.push_back(-11000 + k * 22000 / 63);
    sample.loop = xmForwardLoop;
    sample.loopLength = 64;
    sample.volume = 48;
    return sample;
}

// A falling sine that dies away, not looped: 8-bit.
XmSample kickDrum() {
    XmSample sample;
    sample.name = "kick";
    double phase = 0;
    for (int k = 0; k < 2400; ++k) {
        const double frequency = 45 + 170 * std::exp(-k / 280.0);
        phase += 2 * pi * frequency / 8363;
        sample.values.push_back(static_cast<int>(100 * std::exp(-k / 900.0) * std::sin(phase)));
    }
    return sample;
}

// A short burst of noise, not looped: 16-bit.
XmSample hiHat() {
    XmSample sample;
    sample.name = "hat";
    sample.sixteenBit = true;
    uint32_t noise = 2463534242u;
    for (int k = 0; k < 700; ++k) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        const double level = 9000 * std::exp(-k / 160.0);
        sample.values.push_back(static_cast<int>(level * ((noise >> 8 & 0xffff) / 32767.5 - 1)));
    }
    sample.volume = 40;
    sample.panning = 168;
    return sample;
}

// A short lead-in, then a ramp looped forwards and backwards: 16-bit.
XmSample leadWave() {
    XmSample sample;
    sample.name = "lead";
    sample.sixteenBit = true;
    for (int k = 0; k < 8; ++k)
        sample.values.push_back(-k * 1100);
    for (int k = 0; k < 24; ++k)
        sample.values.push_back(-8000 + k * 16000 / 23);
    sample.loop = xmPingPongLoop;
    sample.loopStart = 8;
    sample.loopLength = 24;
    sample.volume = 44;
    sample.relativeNote = 12;
    sample.finetune = -8;
    return sample;
}

// Instruments.

// Swells in, holds at the sustain point and, once released, keeps swelling
// between points 1 and 3 while it fades out; the panning circles for ever
// (its sustain point is its loop end, so it never holds). Sine auto-vibrato
// that sweeps in.
XmInstrument padInstrument() {
    XmInstrument instrument = instrumentWith(padWave());
    instrument.name = "pad";
    instrument.volumeEnvelope = {{{0, 0}, {4, 64}, {12, 40}, {24, 56}}, 2, 1, 3, 7, {}};
    instrument.panningEnvelope = {{{0, 32}, {16, 52}, {32, 12}, {48, 32}}, 3, 1, 3, 7, {}};
    instrument.fadeout = 384;
    instrument.vibratoType = 0;
    instrument.vibratoSweep = 40;
    instrument.vibratoDepth = 4;
    instrument.vibratoRate = 10;
    return instrument;
}

// Two samples: the triangle below C-3, the saw from C-3 up. A plucked
// envelope that holds until the key is released, then fades.
XmInstrument bassInstrument() {
    XmInstrument instrument;
    instrument.name = "bass";
    instrument.samples = {bassTriangle(), bassSaw()};
    for (int k = 0; k < 96; ++k)
        instrument.sampleMap[k] = k < 36 ? 0 : 1;
    instrument.volumeEnvelope = {{{0, 64}, {8, 48}, {32, 40}}, 1, 0, 0, 3, {}};
    instrument.fadeout = 1024;
    return instrument;
}

// Its volume envelope loops without a sustain point; its panning drifts to
// a sustain point. A ramp auto-vibrato without a sweep.
XmInstrument leadInstrument() {
    XmInstrument instrument = instrumentWith(leadWave());
    instrument.name = "lead";
    instrument.volumeEnvelope = {{{0, 40}, {6, 64}, {12, 48}, {18, 64}}, 0, 1, 3, 5, {}};
    instrument.panningEnvelope = {{{0, 24}, {30, 40}}, 1, 0, 0, 3, {}};
    instrument.fadeout = 256;
    instrument.vibratoType = 2;
    instrument.vibratoDepth = 3;
    instrument.vibratoRate = 24;
    return instrument;
}

// Drums on channel 0 every `step` rows from `first`, hats on channel 1.
void beat(XmPattern &pattern, int first, int step) {
    for (int row = first; row < pattern.rows; row += step)
        pattern.at(row, drums) = play("C-4", kick);
}
void offbeatHats(XmPattern &pattern, int first) {
    for (int row = first; row < pattern.rows; row += 4)
        pattern.at(row, hats) = play("C-5", hat);
}

// Order 0: the intro. The global volume rises from 32 in steps, the pad
// comes in at its peak (L04 skips the swell), the second pad swells up in
// the volume column, and a delayed lead note leads into order 1.
XmPattern intro() {
    XmPattern p = patternOf(16);
    beat(p, 0, 4);
    p.at(0, drums) = play("C-4", kick, 0, globalVolume, 0x20);
    p.at(4, drums) = play("C-4", kick, 0, globalVolumeSlide, 0x20);
    p.at(8, drums) = play("C-4", kick, 0, globalVolumeSlide, 0x00);
    p.at(12, drums) = play("C-4", kick, 0, globalVolumeSlide, 0x00);

    p.at(2, hats) = play("C-5", hat, volumeOf(32));
    p.at(6, hats) = play("C-5", hat, column(0x8, 4));  // fine volume down
    p.at(10, hats) = play("C-5", hat, column(0x9, 2)); // fine volume up
    p.at(14, hats) = play("C-5", hat, 0, setVolume, 24);

    p.at(0, bassLine) = play("A-2", bass);
    p.at(6, bassLine) = play("A-2", bass, volumeOf(40));
    p.at(8, bassLine) = play("F-2", bass);
    p.at(12, bassLine) = play("G-2", bass);

    p.at(12, melody) = play("E-4", lead, volumeOf(40), extended, ext(0xd, 3));

    p.at(0, chordLow) = play("A-3", pad, column(0xc, 4), envelopePosition, 0x04);
    p.at(12, chordLow) = command(keyOff, 0);

    p.at(0, chordHigh) = play("C-4", pad, volumeOf(16));
    for (int row = 1; row <= 3; ++row)
        p.at(row, chordHigh) = columnOnly(column(0x7, 2)); // volume slide up
    p.at(8, chordHigh) = play("E-4", pad);
    p.at(12, chordHigh) = release();
    return p;
}

// Order 1: the theme, faster. Bends and slides in the bass; the lead glides,
// trembles and arpeggiates; the hats play a fill twice (E60..E61) and roll at
// the end; one beat lasts twice as long (EE1).
XmPattern theme() {
    XmPattern p = patternOf(32);
    beat(p, 0, 4);
    p.at(0, drums) = play("C-4", kick, 0, speedOrTempo, 150);
    p.at(15, drums) = command(extended, ext(0xe, 1));

    offbeatHats(p, 2);
    p.at(0, hats) = command(globalVolume, 0x40);
    p.at(8, hats) = play("C-5", hat, 0, extended, ext(0x6, 0));
    p.at(9, hats) = play("C-5", hat, volumeOf(20));
    p.at(10, hats) = play("C-5", hat);
    p.at(11, hats) = play("C-5", hat, volumeOf(28), extended, ext(0x6, 1));
    p.at(30, hats) = play("C-5", hat, 0, multiRetrig, 0x13);
    p.at(31, hats) = command(multiRetrig, 0x00);

    p.at(0, bassLine) = play("A-2", bass);
    p.at(6, bassLine) = command(portaUp, 0x02);
    p.at(7, bassLine) = command(portaUp, 0x00);
    p.at(8, bassLine) = play("F-2", bass);
    p.at(14, bassLine) = command(portaDown, 0x04);
    p.at(16, bassLine) = play("C-3", bass);
    p.at(24, bassLine) = play("G-2", bass);

    p.at(0, melody) = command(extended, ext(0x3, 1)); // glissando control: ignored
    p.at(2, melody) = command(extended, ext(0x4, 4)); // sine vibrato, phase kept
    p.at(4, melody) = play("E-4", lead, volumeOf(48));
    p.at(8, melody) = play("G-4", lead, 0, tonePorta, 0x10);
    p.at(9, melody) = command(tonePorta, 0x00);
    p.at(10, melody) = command(vibrato, 0x46);
    p.at(11, melody) = command(vibrato, 0x00);
    p.at(12, melody) = play("A-4", lead, 0, tonePortaSlide, 0x02);
    p.at(13, melody) = command(vibratoSlide, 0x01);
    p.at(16, melody) = play("C-5", lead, 0, arpeggio, 0x47);
    p.at(17, melody) = command(arpeggio, 0x47);
    p.at(20, melody) = play("B-4", lead, column(0xa, 4)); // vibrato speed
    p.at(21, melody) = columnOnly(column(0xb, 3));        // vibrato depth
    p.at(22, melody) = columnOnly(column(0xb, 3));
    p.at(24, melody) = release();

    p.at(0, chordLow) = play("A-3", pad, 0, setPanning, 0x60);
    p.at(8, chordLow) = play("F-3", pad);
    p.at(16, chordLow) = play("C-4", pad, 0, extended, ext(0x8, 0xc));
    p.at(24, chordLow) = play("G-3", pad, column(0xd, 4)); // panning slide left
    p.at(25, chordLow) = columnOnly(column(0xd, 4));
    p.at(26, chordLow) = columnOnly(column(0xe, 2)); // panning slide right

    p.at(0, chordHigh) = play("C-4", pad, volumeOf(40));
    p.at(8, chordHigh) = play("A-3", pad);
    p.at(15, chordHigh) = command(extended, ext(0x7, 1)); // ramp tremolo
    p.at(16, chordHigh) = play("E-4", pad, 0, tremolo, 0x44);
    p.at(17, chordHigh) = command(tremolo, 0x00);
    p.at(18, chordHigh) = command(tremolo, 0x00);
    p.at(24, chordHigh) = play("B-3", pad);
    return p;
}

// Order 2: the bridge at speed 5. Fine bends in the bass, clipped and offset
// hats, a delayed lead note, a panning sweep and fine swells on the pads. The
// last row jumps ahead to row 8 of order 4, past the intro's repeat.
XmPattern bridge() {
    XmPattern p = patternOf(24);
    beat(p, 0, 4);
    p.at(0, drums) = play("C-4", kick, 0, speedOrTempo, 0x05);
    p.at(23, drums) = command(positionJump, 0x04);

    offbeatHats(p, 2);
    p.at(4, hats) = play("C-5", hat, 0, sampleOffset, 0x02);
    p.at(12, hats) = command(sampleOffset, 0x10); // past the end: the hat restarts
    for (int row : {10, 18, 22})
        p.at(row, hats) = play("C-5", hat, 0, extended, ext(0xc, 2));
    p.at(23, hats) = command(patternBreak, 0x08);

    p.at(0, bassLine) = play("A-2", bass);
    p.at(4, bassLine) = command(extended, ext(0x1, 2));
    p.at(5, bassLine) = command(extended, ext(0x1, 0));
    p.at(6, bassLine) = command(extended, ext(0x2, 2));
    p.at(7, bassLine) = command(extended, ext(0x2, 0));
    p.at(8, bassLine) = play("F-2", bass);
    p.at(16, bassLine) = play("C-3", bass);
    p.at(20, bassLine) = play("G-2", bass);

    p.at(0, melody) = play("A-4", lead, volumeOf(40));
    p.at(8, melody) = play("E-5", lead, 0, extended, ext(0xd, 2));
    p.at(16, melody) = play("D-5", lead);
    p.at(20, melody) = play("C-5", lead);

    p.at(0, chordLow) = play("A-3", pad, column(0xc, 8), panningSlide, 0x04);
    p.at(1, chordLow) = command(panningSlide, 0x00);
    p.at(2, chordLow) = command(panningSlide, 0x00);
    p.at(8, chordLow) = play("F-3", pad, 0, panningSlide, 0x40);
    p.at(9, chordLow) = command(panningSlide, 0x00);
    p.at(16, chordLow) = play("C-4", pad);
    p.at(20, chordLow) = command(keyOff, 0);

    p.at(0, chordHigh) = play("C-4", pad, volumeOf(48), volumeSlide, 0x04);
    p.at(1, chordHigh) = command(volumeSlide, 0x00);
    p.at(8, chordHigh) = play("A-3", pad, volumeOf(24), extended, ext(0xa, 4));
    p.at(9, chordHigh) = command(extended, ext(0xa, 0));
    p.at(10, chordHigh) = command(extended, ext(0xb, 0));
    p.at(12, chordHigh) = columnOnly(column(0x6, 2)); // volume slide down
    p.at(13, chordHigh) = columnOnly(column(0x6, 2));
    p.at(16, chordHigh) = play("E-4", pad, 0, setVolume, 48);
    p.at(17, chordHigh) = columnOnly(column(0x8, 3));
    p.at(20, chordHigh) = play("G-3", pad, 0, volumeSlide, 0x10);
    return p;
}

// Order 4: the return, entered at row 8 by the break of order 2 (rows 0..7
// are never played and stay empty). Back to speed 6 at 125 BPM; extra fine bends
// and a volume-column glide in the bass; retuned lead with column vibrato; a
// gated pad (tremor).
XmPattern reprise() {
    XmPattern p = patternOf(32);
    beat(p, 8, 4);
    p.at(8, drums) = play("C-4", kick, 0, speedOrTempo, 125);

    offbeatHats(p, 10);
    p.at(8, hats) = command(speedOrTempo, 0x06);
    p.at(28, hats) = play("C-5", hat, 0, extended, ext(0x9, 3));

    p.at(8, bassLine) = play("A-2", bass);
    p.at(12, bassLine) = command(extraFinePorta, 0x12);
    p.at(13, bassLine) = command(extraFinePorta, 0x10);
    p.at(14, bassLine) = command(extraFinePorta, 0x24);
    p.at(16, bassLine) = play("C-3", bass);
    p.at(20, bassLine) = XmCell{note("G-2"), 0, column(0xf, 2), 0, 0}; // glide down
    p.at(21, bassLine) = columnOnly(column(0xf, 0));
    p.at(24, bassLine) = play("A-2", bass);
    p.at(28, bassLine) = release();

    p.at(8, melody) = play("E-4", lead, 0, extended, ext(0x5, 4)); // retune the sample
    p.at(12, melody) = columnOnly(column(0xa, 6));
    p.at(13, melody) = columnOnly(column(0xb, 4));
    p.at(14, melody) = columnOnly(column(0xb, 4));
    p.at(16, melody) = play("G-4", lead);
    p.at(20, melody) = play("A-4", lead);
    p.at(24, melody) = play("B-4", lead);
    p.at(28, melody) = play("A-4", lead);
    p.at(31, melody) = release();

    p.at(8, chordLow) = play("A-3", pad, 0, envelopePosition, 0x08);
    p.at(16, chordLow) = play("F-3", pad, column(0xc, 6));
    p.at(24, chordLow) = play("G-3", pad);
    p.at(30, chordLow) = command(keyOff, 0);

    p.at(8, chordHigh) = play("C-4", pad, 0, tremor, 0x31);
    for (int row = 9; row <= 11; ++row)
        p.at(row, chordHigh) = command(tremor, 0x00);
    p.at(16, chordHigh) = play("A-3", pad);
    p.at(24, chordHigh) = play("B-3", pad);
    return p;
}

// Order 5: the turnaround. The lead bends down, everything is released and
// the global volume fades before the song returns to order 1.
XmPattern turnaround() {
    XmPattern p = patternOf(16);
    beat(p, 0, 4);
    p.at(12, drums) = play("C-4", kick, 0, globalVolumeSlide, 0x02);
    for (int row = 13; row <= 15; ++row)
        p.at(row, drums) = command(globalVolumeSlide, 0x00);

    offbeatHats(p, 2);

    p.at(0, bassLine) = play("A-2", bass);
    p.at(8, bassLine) = play("E-2", bass);
    p.at(15, bassLine) = release();

    p.at(0, melody) = play("E-5", lead);
    p.at(4, melody) = command(portaDown, 0x01);
    p.at(5, melody) = command(portaDown, 0x00);
    p.at(8, melody) = release();

    p.at(0, chordLow) = play("A-3", pad);
    p.at(8, chordLow) = play("G-3", pad);
    p.at(14, chordLow) = command(keyOff, 0);

    p.at(0, chordHigh) = play("C-4", pad, volumeOf(48));
    p.at(8, chordHigh) = play("B-3", pad);
    p.at(12, chordHigh) = columnOnly(column(0x9, 3)); // fine volume up
    p.at(14, chordHigh) = release();
    return p;
}

} // namespace

XmSong everyEffectSong() {
    XmSong song;
    song.name = "every effect";
    song.channels = channelCount;
    song.flags = 1; // linear frequency table
    song.speed = 6;
    song.bpm = 125;
    song.orders = {0, 1, 2, 0, 3, 4};
    song.restart = 1;
    song.patterns = {intro(), theme(), bridge(), reprise(), turnaround()};
    song.instruments = {padInstrument(), bassInstrument(), instrumentWith(kickDrum()),
                        instrumentWith(hiHat()), leadInstrument()};
    return song;
}
