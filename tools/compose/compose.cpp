// veltrane-compose: composes the intro's soundtrack, Rava64.xm, in code.
// Every instrument is synthesised here and every note is placed here, so the
// song is rebuilt byte for byte from this file alone.
//
// The song is in A minor at 120 beats a minute: speed 6 at tempo 120 makes a
// row 5508 frames (0.1249 s), four rows a beat, sixteen rows a bar of almost
// exactly two seconds. Every eighth row falls on beat 1 or 3 of a bar, the
// strong beats the picture's light bobs to. The intro's timeline is counted
// in those bars: credits from bar 1 (2 s), the groove from bar 10 (20 s).

#include "xm_builder/xm_builder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const double pi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Synthesis

// A small xorshift generator: the same noise on every machine and every run.
class Noise {
  public:
    explicit Noise(uint32_t seed) : state(seed) {}
    // A value in [-1, 1).
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state / 2147483648.0 - 1;
    }

  private:
    uint32_t state;
};

// A two-pole filter of the usual cookbook kinds.
class Biquad {
  public:
    enum Kind { lowPass, highPass, bandPass };
    Biquad(Kind kind, double frequency, double q, double rate) {
        const double w = 2 * pi * frequency / rate;
        const double cosine = std::cos(w);
        const double alpha = std::sin(w) / (2 * q);
        double b[3] = {alpha, 0, -alpha};
        if (kind == lowPass) {
            b[0] = b[2] = (1 - cosine) / 2;
            b[1] = 1 - cosine;
        } else if (kind == highPass) {
            b[0] = b[2] = (1 + cosine) / 2;
            b[1] = -(1 + cosine);
        }
        const double a0 = 1 + alpha;
        b0 = b[0] / a0;
        b1 = b[1] / a0;
        b2 = b[2] / a0;
        a1 = -2 * cosine / a0;
        a2 = (1 - alpha) / a0;
    }
    double run(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

  private:
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

// Scales a wave so that its largest magnitude becomes peak, and rounds it.
std::vector<int> scaled(const std::vector<double> &wave, double peak) {
    double largest = 1e-9;
    for (double value : wave)
        largest = std::max(largest, std::abs(value));
    std::vector<int> values;
    values.reserve(wave.size());
    for (double value : wave)
        values.push_back(static_cast<int>(std::lround(value * peak / largest)));
    return values;
}

// 1 until the last `length` frames, then a straight fall to 0: one-shot
// samples end in silence instead of a step.
double tailFade(int frame, int frames, int length) {
    return frame < frames - length ? 1.0 : static_cast<double>(frames - frame) / length;
}

// The sample rate of cell note C-4 with the given relative note.
double rateOf(int relativeNote) {
    return 8363 * std::pow(2.0, relativeNote / 12.0);
}

// Relative note and finetune that make cell note A-4 sound at 440 Hz when
// one cycle of the wave spans cycleFrames frames.
void tuneCycle(XmSample &sample, double cycleFrames) {
    const double semitones = 12 * std::log2(440 * cycleFrames / 8363) - 9;
    const long whole = std::lround(semitones);
    sample.relativeNote = static_cast<int8_t>(whole);
    sample.finetune = static_cast<int8_t>(std::lround((semitones - whole) * 128));
}

// The body of an 808-style cymbal: six square waves at unrelated pitches.
double metal(double seconds) {
    static const double pitches[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    double sum = 0;
    for (double pitch : pitches)
        sum += std::sin(2 * pi * pitch * 2.2 * seconds) >= 0 ? 1 : -1;
    return sum / 6;
}

// A sine that falls from 176 to 46 Hz under a short noise click: 16-bit,
// played once.
XmSample kickSample() {
    XmSample sample;
    sample.name = "kick";
    sample.sixteenBit = true;
    sample.relativeNote = 12;
    const double rate = rateOf(12);
    const int frames = 7000;
    Noise noise(0x2545f491u);
    Biquad click(Biquad::lowPass, 2500, 0.7, rate);
    double phase = 0;
    std::vector<double> wave;
    for (int k = 0; k < frames; ++k) {
        const double t = k / rate;
        phase += 2 * pi * (46 + 130 * std::exp(-t / 0.035)) / rate;
        const double body = std::sin(phase) * std::exp(-t / 0.17);
        const double snap = click.run(noise.next()) * 0.45 * std::exp(-t / 0.004);
        wave.push_back((body + snap) * tailFade(k, frames, 900));
    }
    sample.values = scaled(wave, 32000);
    return sample;
}

// Two drum-head modes over bright noise: 8-bit, played once.
XmSample snareSample() {
    XmSample sample;
    sample.name = "snare";
    sample.relativeNote = 24;
    sample.volume = 56;
    const double rate = rateOf(24);
    const int frames = 8000;
    Noise noise(0x9e3779b9u);
    Biquad bright(Biquad::highPass, 1400, 0.7, rate);
    double phase = 0;
    std::vector<double> wave;
    for (int k = 0; k < frames; ++k) {
        const double t = k / rate;
        phase += 2 * pi * (162 + 30 * std::exp(-t / 0.02)) / rate;
        const double head = 0.8 * std::sin(phase) * std::exp(-t / 0.06) +
                            0.3 * std::sin(2 * pi * 334 * t) * std::exp(-t / 0.035);
        const double wires = bright.run(noise.next()) * std::exp(-t / 0.09);
        wave.push_back((head + wires) * tailFade(k, frames, 800));
    }
    sample.values = scaled(wave, 124);
    return sample;
}

// Metal and noise through high filters; `seconds` sets how long it rings.
std::vector<double> cymbalWave(int frames, double rate, double ring, uint32_t seed) {
    Noise noise(seed);
    Biquad tone(Biquad::bandPass, 8500, 0.9, rate);
    Biquad air(Biquad::highPass, 6000, 0.7, rate);
    std::vector<double> wave;
    for (int k = 0; k < frames; ++k) {
        const double t = k / rate;
        const double level = 0.55 * std::exp(-t / 0.015) + 0.45 * std::exp(-t / ring);
        const double body = tone.run(metal(t)) + 0.7 * air.run(noise.next());
        wave.push_back(body * level * tailFade(k, frames, frames / 8));
    }
    return wave;
}

// A short tick of metal and noise: 8-bit, played once.
XmSample closedHatSample() {
    XmSample sample;
    sample.name = "closed hat";
    sample.relativeNote = 24;
    sample.volume = 40;
    sample.panning = 150; // a little left
    sample.values = scaled(cymbalWave(2400, rateOf(24), 0.02, 0x1b873593u), 120);
    return sample;
}

// The same metal left to ring: the open hat when cut short, the crash when
// not. 8-bit, played once.
XmSample cymbalSample() {
    XmSample sample;
    sample.name = "cymbal";
    sample.relativeNote = 24;
    sample.volume = 36;
    sample.panning = 100; // a little right
    sample.values = scaled(cymbalWave(24000, rateOf(24), 0.24, 0xcc9e2d51u), 118);
    return sample;
}

// A saw through a resonant low-pass whose cutoff (in harmonics) closes
// cycle by cycle, then holds on the last, darkest cycle: the pluck of the
// filter is baked in, so a sample offset starts a note further into the
// decay and makes it softer. 16-bit, the last cycle looped forwards.
XmSample bassSample() {
    XmSample sample;
    sample.name = "bass";
    sample.sixteenBit = true;
    sample.volume = 52;
    const int cycle = 128, decayCycles = 28;
    std::vector<double> wave;
    for (int c = 0; c <= decayCycles; ++c) {
        const double cutoff = 3 + 21 * std::exp(-c / 6.0);
        for (int k = 0; k < cycle; ++k) {
            double sum = 0;
            for (int h = 1; h <= 40; ++h) {
                const double x = h / cutoff;
                const double response = 1 / std::sqrt((1 - x * x) * (1 - x * x) + x * x / 4.8);
                sum += response / h * std::sin(2 * pi * h * k / cycle);
            }
            wave.push_back(sum);
        }
    }
    sample.values = scaled(wave, 30000);
    sample.loop = xmForwardLoop;
    sample.loopStart = decayCycles * cycle;
    sample.loopLength = cycle;
    tuneCycle(sample, cycle);
    return sample;
}

// A plucked string made of harmonics that die away, the high ones first.
// 16-bit, played once.
XmSample pluckSample() {
    XmSample sample;
    sample.name = "pluck";
    sample.sixteenBit = true;
    sample.volume = 40;
    const int cycle = 64, frames = 12000;
    std::vector<double> wave;
    for (int k = 0; k < frames; ++k) {
        double sum = 0;
        for (int h = 1; h <= 18; ++h) {
            const double decay = 5000 / (1 + 0.45 * (h - 1));
            sum += std::pow(h, -1.15) * std::exp(-k / decay) * std::sin(2 * pi * h * k / cycle);
        }
        wave.push_back(sum * std::min(1.0, k / 12.0) * tailFade(k, frames, 2000));
    }
    sample.values = scaled(wave, 30000);
    tuneCycle(sample, cycle);
    return sample;
}

// Three saws a little out of tune with each other, each with a whole number
// of cycles in the loop so that it joins without a seam; their beating is
// the chorus. `brightness` is the harmonic where the tone rolls off.
std::vector<double> detunedSaws(int loopFrames, int cycles, int harmonics, double brightness,
                                uint32_t seed) {
    Noise noise(seed);
    std::vector<double> wave(loopFrames, 0.0);
    for (int spread : {-1, 0, 1}) {
        const int oscillatorCycles = cycles + spread;
        for (int h = 1; h <= harmonics; ++h) {
            const double x = h / brightness;
            const double level = 1.0 / h / std::sqrt(1 + x * x * x * x);
            const double start = pi * noise.next(); // random phases keep the peaks low
            for (int k = 0; k < loopFrames; ++k)
                wave[k] += level * std::sin(2 * pi * h * oscillatorCycles * k / loopFrames + start);
        }
    }
    return wave;
}

// The warm pad: 16-bit, looped forwards over the whole sample.
XmSample padSample() {
    XmSample sample;
    sample.name = "pad";
    sample.sixteenBit = true;
    sample.volume = 26;
    sample.values = scaled(detunedSaws(8192, 128, 24, 7, 0x85ebca6bu), 30000);
    sample.loop = xmForwardLoop;
    sample.loopLength = 8192;
    tuneCycle(sample, 64);
    return sample;
}

// The gated chords: brighter and wider detuned, 16-bit, looped forwards.
XmSample gateSample() {
    XmSample sample;
    sample.name = "gate";
    sample.sixteenBit = true;
    sample.volume = 36;
    sample.values = scaled(detunedSaws(4096, 64, 28, 14, 0xc2b2ae35u), 30000);
    sample.loop = xmForwardLoop;
    sample.loopLength = 4096;
    tuneCycle(sample, 64);
    return sample;
}

// One cycle of a square with a little saw in it, rolled off above
// `brightness`: 16-bit, looped forwards.
XmSample singleCycle(const char *name, int cycle, int harmonics, double evenLevel,
                     double brightness) {
    XmSample sample;
    sample.name = name;
    sample.sixteenBit = true;
    std::vector<double> wave;
    for (int k = 0; k < cycle; ++k) {
        double sum = 0;
        for (int h = 1; h <= harmonics; ++h) {
            const double x = h / brightness;
            const double level = (h % 2 ? 1.0 : evenLevel) / h / std::sqrt(1 + x * x * x * x);
            sum += level * std::sin(2 * pi * h * k / cycle);
        }
        wave.push_back(sum);
    }
    sample.values = scaled(wave, 28000);
    sample.loop = xmForwardLoop;
    sample.loopLength = static_cast<uint32_t>(cycle);
    tuneCycle(sample, cycle);
    return sample;
}

XmSample leadSample() {
    XmSample sample = singleCycle("lead", 128, 24, 0.35, 10);
    sample.volume = 46;
    return sample;
}

// The echo of the lead is darker, as a tape echo would be, and sits right.
XmSample echoSample() {
    XmSample sample = singleCycle("lead echo", 128, 16, 0.35, 4);
    sample.volume = 30;
    sample.panning = 88;
    return sample;
}

// A hollow square for the chip stabs.
XmSample chipSample() {
    XmSample sample = singleCycle("chip", 64, 15, 0.0, 40);
    sample.volume = 20;
    return sample;
}

// Band-passed noise: wind in the intro, the sweep of the risers. The loop
// runs forwards and backwards, so noise joins itself without a seam. 8-bit.
XmSample airSample() {
    XmSample sample;
    sample.name = "air";
    sample.relativeNote = 12;
    sample.volume = 32;
    const double rate = rateOf(12);
    Noise noise(0x27d4eb2fu);
    Biquad band(Biquad::bandPass, 900, 0.8, rate);
    Biquad soft(Biquad::lowPass, 3000, 0.7, rate);
    std::vector<double> wave;
    for (int k = 0; k < 8192; ++k)
        wave.push_back(soft.run(band.run(noise.next())));
    sample.values = scaled(wave, 110);
    sample.loop = xmPingPongLoop;
    sample.loopLength = 8192;
    return sample;
}

// ---------------------------------------------------------------------------
// Instruments

enum Instrument : uint8_t {
    kickDrum = 1,
    snareDrum,
    closedHat,
    cymbal,
    bassSynth,
    pluckSynth,
    warmPad,
    gatedPad,
    leadSynth,
    leadEcho,
    airNoise,
    chipStab,
};

const uint8_t envelopeOn = 1, envelopeSustain = 2, envelopeLoop = 4;

XmEnvelope envelope(std::vector<std::pair<uint16_t, uint16_t>> points, uint8_t type,
                    uint8_t sustain = 0, uint8_t loopStart = 0, uint8_t loopEnd = 0) {
    XmEnvelope result;
    result.points = std::move(points);
    result.type = type;
    result.sustain = sustain;
    result.loopStart = loopStart;
    result.loopEnd = loopEnd;
    return result;
}

XmInstrument named(XmInstrument instrument, const char *name) {
    instrument.name = name;
    return instrument;
}

// Plucked: a quick fall to a level that holds while the key is down, then a
// short fade, so the gaps between bass notes breathe without clicks.
XmInstrument bassInstrument() {
    XmInstrument instrument = named(instrumentWith(bassSample()), "bass");
    instrument.volumeEnvelope =
        envelope({{0, 64}, {8, 54}, {24, 46}}, envelopeOn | envelopeSustain, 2);
    instrument.fadeout = 2500;
    return instrument;
}

XmInstrument pluckInstrument() {
    XmInstrument instrument = named(instrumentWith(pluckSample()), "pluck");
    instrument.volumeEnvelope =
        envelope({{0, 64}, {16, 56}, {80, 40}}, envelopeOn | envelopeSustain, 2);
    instrument.fadeout = 1500;
    return instrument;
}

// Swells in over almost a second and holds; released, it fades over two
// seconds. The panning drifts slowly left and right for ever, and a faint
// slow vibrato that sweeps in keeps the long chords alive.
XmInstrument warmPadInstrument() {
    XmInstrument instrument = named(instrumentWith(padSample()), "warm pad");
    instrument.volumeEnvelope =
        envelope({{0, 0}, {20, 48}, {40, 64}, {90, 52}}, envelopeOn | envelopeSustain, 3);
    instrument.panningEnvelope =
        envelope({{0, 32}, {60, 44}, {120, 20}, {180, 32}}, envelopeOn | envelopeLoop, 0, 0, 3);
    instrument.fadeout = 320;
    instrument.vibratoType = 0;
    instrument.vibratoSweep = 48;
    instrument.vibratoDepth = 3;
    instrument.vibratoRate = 6;
    return instrument;
}

// A looped volume envelope of 12 ticks, that is two rows at speed 6: the
// chords pulse in eighth notes, in step with the rows because every note
// starts on a row. At speed 12 (the risers) the same loop pulses in
// sixteenths.
XmInstrument gatedPadInstrument() {
    XmInstrument instrument = named(instrumentWith(gateSample()), "gated pad");
    instrument.volumeEnvelope = envelope({{0, 64}, {3, 60}, {5, 16}, {11, 12}, {12, 64}},
                                         envelopeOn | envelopeLoop, 0, 0, 4);
    instrument.fadeout = 1024;
    return instrument;
}

// A soft attack of three ticks, a hold while the key is down and a short
// release; an auto-vibrato that sweeps in, so held notes bloom as a
// player's would.
XmInstrument leadInstrumentWith(XmSample sample, const char *name) {
    XmInstrument instrument = named(instrumentWith(std::move(sample)), name);
    instrument.volumeEnvelope =
        envelope({{0, 16}, {3, 64}, {14, 50}}, envelopeOn | envelopeSustain, 2);
    instrument.fadeout = 1200;
    instrument.vibratoType = 0;
    instrument.vibratoSweep = 40;
    instrument.vibratoDepth = 4;
    instrument.vibratoRate = 22;
    return instrument;
}

// A blip that dies within two rows.
XmInstrument chipInstrument() {
    XmInstrument instrument = named(instrumentWith(chipSample()), "chip");
    instrument.volumeEnvelope = envelope({{0, 64}, {4, 44}, {12, 0}}, envelopeOn);
    return instrument;
}

// Fades in over a second and sweeps across the stereo field.
XmInstrument airInstrument() {
    XmInstrument instrument = named(instrumentWith(airSample()), "air");
    instrument.volumeEnvelope = envelope({{0, 0}, {48, 64}}, envelopeOn | envelopeSustain, 1);
    instrument.panningEnvelope =
        envelope({{0, 32}, {80, 52}, {160, 12}, {240, 32}}, envelopeOn | envelopeLoop, 0, 0, 3);
    instrument.fadeout = 400;
    return instrument;
}

std::vector<XmInstrument> instruments() {
    return {named(instrumentWith(kickSample()), "kick"),
            named(instrumentWith(snareSample()), "snare"),
            named(instrumentWith(closedHatSample()), "closed hat"),
            named(instrumentWith(cymbalSample()), "cymbal"),
            bassInstrument(),
            pluckInstrument(),
            warmPadInstrument(),
            gatedPadInstrument(),
            leadInstrumentWith(leadSample(), "lead"),
            leadInstrumentWith(echoSample(), "lead echo"),
            airInstrument(),
            chipInstrument()};
}

// ---------------------------------------------------------------------------
// Notation

enum Channel : int {
    kickChannel,
    snareChannel,
    hatChannel,
    openHatChannel,
    bassChannel,
    pluckChannel,
    padLowChannel,
    padMidChannel,
    padHighChannel,
    leadChannel,
    echoChannel,
    airChannel,
    stabChannel,
    crashChannel,
    channelCount
};

const int padChannels[3] = {padLowChannel, padMidChannel, padHighChannel};
// Where the three chord voices sit, as panning values: left, centre, right.
const uint8_t padPans[3] = {0x50, 0x80, 0xb0};

const int barRows = 16;
const int patternRows = 64;
const uint8_t keyOff = 97;

enum Effect : uint8_t {
    arpeggio = 0x0,
    portaUp = 0x1,
    portaDown = 0x2,
    tonePorta = 0x3,
    vibrato = 0x4,
    tremolo = 0x7,
    setPanning = 0x8,
    sampleOffset = 0x9,
    volumeSlide = 0xa,
    setVolume = 0xc,
    patternBreak = 0xd,
    extended = 0xe,
    speedOrTempo = 0xf,
};

// Extended effects, as their high nibble.
const uint8_t retrigger = 0x90, noteCut = 0xc0, noteDelay = 0xd0;

// "C-4" is cell note 49; "G#3" is 45.
int note(const char *name) {
    static const int semitones[] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    const int semitone = semitones[name[0] - 'A'] + (name[1] == '#' ? 1 : 0);
    return 12 * (name[2] - '0') + semitone + 1;
}

uint8_t volume(int level) {
    return static_cast<uint8_t>(0x10 + std::clamp(level, 0, 64));
}

// Volume-column commands other than set volume.
uint8_t column(int kind, int y) {
    return static_cast<uint8_t>(kind << 4 | y);
}
const int slideDown = 0x6, fineSlideUp = 0x9, panColumn = 0xc, glideColumn = 0xf;

XmCell play(int noteNumber, uint8_t instrument, uint8_t volumeByte = 0, uint8_t effect = 0,
            uint8_t param = 0) {
    return XmCell{static_cast<uint8_t>(noteNumber), instrument, volumeByte, effect, param};
}

// Sets the effect of a cell, keeping what else it holds.
void addEffect(XmCell &cell, uint8_t effect, uint8_t param) {
    cell.effect = effect;
    cell.param = param;
}

// ---------------------------------------------------------------------------
// Harmony: A minor, mostly i - VI - III - VII, with iv and V around the
// risers and the breakdown.

struct Chord {
    const char *bass;                // the root in the bass register
    std::array<const char *, 3> pad; // close voicing, voice-led between chords
    std::array<const char *, 6> arp; // two octaves of chord tones for the pluck
    const char *stab;                // the chip stab's note and its intervals
    uint8_t stabIntervals;
};

const Chord aMinor{
    "A-2", {"A-3", "C-4", "E-4"}, {"A-3", "C-4", "E-4", "A-4", "C-5", "E-5"}, "A-4", 0x37};
const Chord fMajor{
    "F-2", {"A-3", "C-4", "F-4"}, {"F-3", "A-3", "C-4", "F-4", "A-4", "C-5"}, "F-4", 0x47};
const Chord cMajor{
    "C-3", {"G-3", "C-4", "E-4"}, {"G-3", "C-4", "E-4", "G-4", "C-5", "E-5"}, "C-5", 0x47};
const Chord gMajor{
    "G-2", {"G-3", "B-3", "D-4"}, {"G-3", "B-3", "D-4", "G-4", "B-4", "D-5"}, "G-4", 0x47};
const Chord dMinor{
    "D-3", {"A-3", "D-4", "F-4"}, {"A-3", "D-4", "F-4", "A-4", "D-5", "F-5"}, "D-5", 0x37};
const Chord eMajor{
    "E-2", {"G#3", "B-3", "E-4"}, {"G#3", "B-3", "E-4", "G#4", "B-4", "E-5"}, "E-4", 0x47};

// The chord of each bar of a pattern.
using Bars = std::array<const Chord *, 4>;
const Bars mainProgression = {&aMinor, &fMajor, &cMajor, &gMajor};
const Bars breakdownProgression = {&dMinor, &aMinor, &fMajor, &eMajor};

const Chord &chordAt(const Bars &bars, int row) {
    return *bars[static_cast<size_t>(row / barRows)];
}

// ---------------------------------------------------------------------------
// Drums

// Four on the floor; the strong beats (rows 0 and 8 of a bar) a little harder.
void fourOnTheFloor(XmPattern &p, int from, int to, int level) {
    for (int row = from; row < to; ++row)
        if (row % 4 == 0)
            p.at(row, kickChannel) =
                play(note("C-4"), kickDrum, volume(row % 8 ? level - 8 : level));
}

// Only the strong beats, soft: the heartbeat under the credits.
void heartbeat(XmPattern &p, int from, int to, int level) {
    for (int row = from; row < to; row += 8)
        p.at(row, kickChannel) = play(note("A-3"), kickDrum, volume(row % 16 ? level - 6 : level));
}

// Half time: kick on 1 and the "and" of 3, snare on 3.
void halfTimeKick(XmPattern &p, int from, int to) {
    for (int row = from; row < to; ++row)
        if (row % barRows == 0 || row % barRows == 10)
            p.at(row, kickChannel) = play(note("C-4"), kickDrum, volume(row % barRows ? 36 : 52));
}

void backbeat(XmPattern &p, int from, int to, int level) {
    for (int row = from; row < to; ++row)
        if (row % 8 == 4)
            p.at(row, snareChannel) = play(note("C-4"), snareDrum, volume(level));
}

// Ghost notes start 512 frames into the snare, past its crack: only the
// soft body of the drum is left.
XmCell ghostSnare(int level) {
    return play(note("C-4"), snareDrum, volume(level), sampleOffset, 0x02);
}

void halfTimeSnare(XmPattern &p, int from, int to) {
    for (int row = from; row < to; ++row) {
        if (row % barRows == 8)
            p.at(row, snareChannel) = play(note("C-4"), snareDrum, volume(44));
        if (row % barRows == 14 || row % barRows == 7)
            p.at(row, snareChannel) = ghostSnare(row % barRows == 7 ? 14 : 20);
    }
}

// Sixteenths: loud off-beat eighths, softer beats, softest in between.
void sixteenthHats(XmPattern &p, int from, int to, int level) {
    for (int row = from; row < to; ++row) {
        const int accent = row % 4 == 2 ? level : row % 2 == 0 ? level - 12 : level - 18;
        p.at(row, hatChannel) = play(note("C-4"), closedHat, volume(accent));
    }
}

void offbeatHats(XmPattern &p, int from, int to, int level) {
    for (int row = from; row < to; ++row)
        if (row % 4 == 2)
            p.at(row, hatChannel) = play(note("C-4"), closedHat, volume(level));
}

// The cymbal pitched up and cut after four ticks: a half-open hat on the
// off-beats, choked as a drummer's foot would.
void openHats(XmPattern &p, int from, int to, int level) {
    for (int row = from; row < to; ++row)
        if (row % 4 == 2)
            p.at(row, openHatChannel) =
                play(note("D-5"), cymbal, volume(level), extended, noteCut | 4);
}

void crash(XmPattern &p, int row, int level) {
    p.at(row, crashChannel) = play(note("A-3"), cymbal, volume(level));
}

// Snares every `step` rows over [from, to), each a little louder.
void risingSnares(XmPattern &p, int from, int to, int step, int level) {
    for (int row = from; row < to; row += step)
        p.at(row, snareChannel) = play(note("C-4"), snareDrum, volume(level + row - from));
}

// The roll of the risers, at speed 12: a snare on every row, retriggered
// once more within the row (tick 6), then three times more (ticks 3, 6,
// 9), growing louder: thirty-second notes, then sixty-fourths.
void snareRoll(XmPattern &p, int from, int to, int level) {
    for (int row = from; row < to; ++row) {
        const int interval = row < (from + to) / 2 ? 6 : 3;
        p.at(row, snareChannel) = play(note("C-4"), snareDrum, volume(level + 2 * (row - from)),
                                       extended, static_cast<uint8_t>(retrigger | interval));
    }
}

// Sixteenth-note hats doubled by retriggering at tick 3: a roll into the
// next bar.
void hatRoll(XmPattern &p, int from, int to, int level) {
    for (int row = from; row < to; ++row)
        p.at(row, hatChannel) =
            play(note("C-4"), closedHat, volume(level + 2 * (row - from)), extended, retrigger | 3);
}

// The kick pitched up is a tom. Falling toms swept from left to right.
void tomFill(XmPattern &p, int from, int to) {
    static const char *const toms[] = {"A-5", "G-5", "E-5", "D-5", "C-5", "A-4", "G-4", "E-4"};
    const int count = to - from;
    for (int i = 0; i < count; ++i) {
        const int pan = 0xe0 - i * 0xc0 / std::max(1, count - 1);
        p.at(from + i, crashChannel) = play(note(toms[i * 8 / count]), kickDrum, volume(32),
                                            setPanning, static_cast<uint8_t>(pan));
    }
}

// ---------------------------------------------------------------------------
// Bass

// Eighths on the root with an octave on every off-beat. The off-beat notes
// start a quarter way into the bass sample, where its filter has closed:
// they answer the downbeats more darkly.
void rollingBass(XmPattern &p, const Bars &bars, int from, int to, int level) {
    for (int row = from; row < to; row += 2) {
        const int root = note(chordAt(bars, row).bass);
        if (row % 4 == 0)
            p.at(row, bassChannel) = play(root, bassSynth, volume(level));
        else
            p.at(row, bassChannel) =
                play(root + 12, bassSynth, volume(level - 6), sampleOffset, 0x06);
    }
}

// A fast acid slide on the last sixteenth of a phrase, into the next root.
void bassSwoop(XmPattern &p, int row, const Chord &next) {
    p.at(row, bassChannel) = play(note(next.bass), 0, 0, tonePorta, 0x30);
}

// Long notes that glide into the next root when it lies near (a fourth at
// most), over the last four rows of the bar; further roots are struck anew.
void glidingBass(XmPattern &p, const Bars &bars, int from, int to, int level) {
    int previous = -1;
    for (int row = from; row < to; row += barRows) {
        const int root = note(chordAt(bars, row).bass);
        const int distance = std::abs(root - previous);
        if (previous < 0 || distance > 5) {
            p.at(row, bassChannel) = play(root, bassSynth, volume(level));
        } else if (distance > 0) {
            const uint8_t speed = static_cast<uint8_t>((distance * 64 + 79) / 80);
            p.at(row - 4, bassChannel) = play(root, 0, 0, tonePorta, speed);
            for (int glide = row - 3; glide < row; ++glide)
                p.at(glide, bassChannel) = XmCell{0, 0, 0, tonePorta, 0};
        }
        previous = root;
    }
}

// ---------------------------------------------------------------------------
// Chords

// A rolling pattern of chord tones in sixteenths (or slower with `step`),
// each note thrown to the other side of the stereo field, and the accented
// notes on the beats to either side in turn.
void pluckArpeggio(XmPattern &p, const Bars &bars, int from, int to, int step, int level) {
    static const int order[barRows] = {0, 2, 3, 4, 5, 4, 3, 2, 1, 2, 3, 4, 5, 4, 3, 1};
    for (int row = from; row < to; row += step) {
        const Chord &chord = chordAt(bars, row);
        const int tone = note(chord.arp[static_cast<size_t>(order[row % barRows])]);
        const uint8_t pan = ((row / step) ^ (row / 4)) % 2 ? 0xb4 : 0x4c;
        p.at(row, pluckChannel) =
            play(tone, pluckSynth, volume(row % 4 ? level - 6 : level), setPanning, pan);
    }
}

// The gated chord of every bar, its three voices spread left to right.
void gatedChords(XmPattern &p, const Bars &bars, int from, int to, int level) {
    for (int row = from; row < to; row += barRows)
        for (size_t v = 0; v < 3; ++v)
            p.at(row, padChannels[v]) = play(note(chordAt(bars, row).pad[v]), gatedPad,
                                             volume(level), setPanning, padPans[v]);
}

// Warm chords, legato: without a chord `before` the first is struck; at
// each later chord a voice whose note changes glides to it within a tick
// (volume-column tone portamento), so the pad never restarts. `levels`
// (null: none) sets the volume of all voices at each chord, with the
// set-volume effect because the volume column holds the glide.
void warmChords(XmPattern &p, const Bars &bars, int from, int to, const Chord *before,
                const int *levels = nullptr) {
    for (int row = from; row < to; row += barRows) {
        const Chord &chord = chordAt(bars, row);
        const Chord *previous = row == from ? before : &chordAt(bars, row - barRows);
        for (size_t v = 0; v < 3; ++v) {
            XmCell &cell = p.at(row, padChannels[v]);
            const int tone = note(chord.pad[v]);
            if (!previous)
                cell = play(tone, warmPad, column(panColumn, padPans[v] >> 4));
            else if (tone != note(previous->pad[v]))
                cell = play(tone, 0, column(glideColumn, 0xf));
            if (levels)
                addEffect(cell, setVolume, static_cast<uint8_t>(levels[(row - from) / barRows]));
        }
    }
}

// A shimmering tremolo on every row of the warm chords, at a different rate
// on each voice, so the three beat against each other like a rotating
// speaker. It runs on every row, since a tremolo that stops leaves its last
// offset in the volume; the next struck chord resets it.
void shimmer(XmPattern &p, int from, int to) {
    static const uint8_t rates[3] = {0x33, 0x43, 0x53};
    for (int row = from; row < to; ++row)
        for (size_t v = 0; v < 3; ++v)
            addEffect(p.at(row, padChannels[v]), tremolo, rates[v]);
}

void releaseChords(XmPattern &p, int row) {
    for (int channel : padChannels)
        p.at(row, channel) = XmCell{keyOff, 0, 0, 0, 0};
}

// Off-beat chip stabs: the chord as a fast arpeggio on one voice, thrown
// left and right in the volume column.
void chipStabs(XmPattern &p, const Bars &bars, int from, int to) {
    for (int row = from; row < to; ++row) {
        if (row % 4 != 2)
            continue;
        const Chord &chord = chordAt(bars, row);
        const int side = (row / 4) % 2 ? 0x4 : 0xb;
        p.at(row, stabChannel) = play(note(chord.stab), chipStab, column(panColumn, side), arpeggio,
                                      chord.stabIntervals);
        p.at(row + 1, stabChannel) = XmCell{0, 0, 0, arpeggio, chord.stabIntervals};
    }
}

// ---------------------------------------------------------------------------
// Melody

// One note of a line and how many rows it lasts; a rest has no note. A
// glide reaches the note by tone portamento instead of striking it.
struct Tone {
    std::string name;
    int rows;
    bool glide;
};
using Phrase = std::vector<Tone>;

// Stops the composer over a slip of the pen in a line of the score.
[[noreturn]] void badLine(const char *text, const char *what) {
    std::fprintf(stderr, "veltrane-compose: in the line \"%s\": %s\n", text, what);
    std::exit(3);
}

bool isNoteName(const std::string &name) {
    return name == "---" ||
           (name.size() == 3 && name[0] >= 'A' && name[0] <= 'G' &&
            (name[1] == '-' || name[1] == '#') && name[2] >= '0' && name[2] <= '9');
}

// Reads a line written as "E-5 6 D-5 2 ~A-5 8 --- 4 | ...": a note and the
// rows it lasts, "~" to glide into it, "---" to rest, "|" between bars,
// each of which must last 16 rows.
Phrase phrase(const char *text) {
    std::string spaced;
    for (const char *c = text; *c; ++c)
        spaced += *c == '|' ? std::string(" | ") : std::string(1, *c);
    std::istringstream in(spaced);
    Phrase tones;
    std::string name;
    int row = 0;
    while (in >> name) {
        if (name == "|") {
            if (row % barRows != 0)
                badLine(text, "a bar does not last 16 rows");
            continue;
        }
        Tone tone{name, 0, name[0] == '~'};
        if (tone.glide)
            tone.name.erase(0, 1);
        if (!isNoteName(tone.name) || !(in >> tone.rows) || tone.rows <= 0)
            badLine(text, "expected a note and its length in rows");
        row += tone.rows;
        tones.push_back(tone);
    }
    if (row % barRows != 0)
        badLine(text, "the last bar does not last 16 rows");
    return tones;
}

// Vibrato on a held note, from its fourth row on: a swing of 4.4 Hz and
// about a third of a semitone, as a singer would add.
void holdWithVibrato(XmPattern &p, int channel, int from, int to) {
    for (int row = from + 3; row < to; ++row)
        if (p.at(row, channel).effect == 0)
            p.at(row, channel) = XmCell{0, 0, 0, vibrato, 0x73};
}

void glideInto(XmPattern &p, int channel, int row, int tone, int rows) {
    p.at(row, channel) = play(tone, 0, 0, tonePorta, 0x10);
    for (int more = row + 1; more < row + std::min(rows, 3); ++more)
        p.at(more, channel) = XmCell{0, 0, 0, tonePorta, 0};
}

// Writes a phrase from row `from` on; a note on a bar's first row is
// played a little harder.
void melody(XmPattern &p, int channel, const Phrase &phrase, int from, uint8_t instrument,
            int level) {
    int row = from;
    bool sounding = false;
    for (const Tone &tone : phrase) {
        if (tone.name == "---") {
            if (sounding)
                p.at(row, channel) = XmCell{keyOff, 0, 0, 0, 0};
            sounding = false;
        } else if (tone.glide && sounding) {
            glideInto(p, channel, row, note(tone.name.c_str()), tone.rows);
        } else {
            const int accent = row % barRows == 0 ? 4 : 0;
            p.at(row, channel) = play(note(tone.name.c_str()), instrument, volume(level + accent));
            sounding = true;
        }
        if (sounding && tone.rows >= 6)
            holdWithVibrato(p, channel, row, row + tone.rows);
        row += tone.rows;
    }
}

// The lead's cells again on another channel, `delay` rows later, with the
// darker echo instrument at a lower level: a dotted-eighth echo when the
// delay is 3 rows. A delay of 0 with a note delay of `ticks` gives a
// slapback instead. A release that would fall past the pattern's end
// comes on its last row, so the echo never hangs on.
void echo(XmPattern &p, int delay, int level, int ticks = 0) {
    for (int row = patternRows - 1 - delay; row >= 0; --row) {
        XmCell cell = p.at(row, leadChannel);
        if (cell.instrument) {
            cell.instrument = leadEcho;
            cell.volume = volume(level);
            if (ticks && cell.effect == 0)
                addEffect(cell, extended, static_cast<uint8_t>(noteDelay | ticks));
        }
        p.at(row + delay, echoChannel) = cell;
    }
    for (int row = patternRows - delay; row < patternRows; ++row)
        if (p.at(row, leadChannel).note == keyOff)
            p.at(patternRows - 1, echoChannel) = XmCell{keyOff, 0, 0, 0, 0};
}

bool inChord(const Chord &chord, int tone) {
    for (const char *name : chord.pad)
        if ((note(name) - tone) % 12 == 0)
            return true;
    return false;
}

// A third below in A minor (the leading note G# falls to E). When the
// melody sits on a chord tone and the third below would not be one, the
// next chord tone down is taken instead, so held notes never rub against
// the chord; passing notes keep their parallel third.
int harmonyBelow(int tone, const Chord &chord) {
    static const int scale[] = {9, 11, 0, 2, 4, 5, 7};
    const int pitchClass = (tone - 1) % 12;
    int third = tone - 4;
    for (int degree = 0; degree < 7; ++degree)
        if (scale[degree] == pitchClass)
            third = tone - (pitchClass - scale[(degree + 5) % 7] + 12) % 12;
    if (!inChord(chord, tone) || inChord(chord, third))
        return third;
    int lower = tone - 3;
    while (!inChord(chord, lower))
        --lower;
    return lower;
}

// The lead's line in harmony below it on the echo channel, for the climax.
void harmony(XmPattern &p, const Bars &bars, int level) {
    for (int row = 0; row < patternRows; ++row) {
        XmCell cell = p.at(row, leadChannel);
        if (cell.note && cell.note != keyOff)
            cell.note = static_cast<uint8_t>(harmonyBelow(cell.note, chordAt(bars, row)));
        if (cell.instrument) {
            cell.instrument = leadEcho;
            cell.volume = volume(level);
        }
        p.at(row, echoChannel) = cell;
    }
}

// The lead's lines, four bars each, over Am F C G unless noted.
const Phrase themeQuestion = phrase("E-5 6  D-5 2  C-5 4  D-5 2  E-5 2 |"
                                    "C-5 8  A-4 4  C-5 4 |"
                                    "G-5 6  F-5 2  E-5 4  D-5 2  E-5 2 |"
                                    "D-5 12  --- 4");
const Phrase themeAnswer = phrase("E-5 6  D-5 2  C-5 4  D-5 2  E-5 2 |"
                                  "~A-5 8  G-5 4  F-5 4 |"
                                  "E-5 6  D-5 2  C-5 4  B-4 2  C-5 2 |"
                                  "B-4 6  C-5 2  D-5 8");
// Over Dm Am F E.
const Phrase breakdownFirst = phrase("F-5 8  E-5 4  D-5 4 |"
                                     "C-5 12  B-4 2  C-5 2 |"
                                     "A-4 8  ~C-5 8 |"
                                     "B-4 8  G#4 8");
const Phrase breakdownSecond = phrase("A-5 8  G-5 4  F-5 4 |"
                                      "E-5 12  D-5 2  C-5 2 |"
                                      "C-5 8  ~A-5 8 |"
                                      "G#5 12  --- 4");
const Phrase climaxFirst = phrase("E-5 4  A-5 4  G-5 2  E-5 2  C-5 2  E-5 2 |"
                                  "F-5 6  E-5 2  C-5 4  A-4 4 |"
                                  "G-5 6  F-5 2  E-5 2  D-5 2  C-5 4 |"
                                  "D-5 8  B-4 4  G-5 4");
const Phrase climaxSecond = phrase("A-5 8  E-5 4  C-5 4 |"
                                   "F-5 4  A-5 4  C-6 8 |"
                                   "G-5 4  E-5 4  G-5 4  C-6 4 |"
                                   "B-5 12  --- 4");
// Under the last credits, over C C G G: a hint of the theme.
const Phrase introHint = phrase("--- 32 |"
                                "D-5 12  B-4 4 |"
                                "A-4 8  B-4 6  --- 2");
// Over the closing riser's Dm E, leaning on the leading note.
const Phrase riserLine = phrase("A-5 12  F-5 4 |"
                                "E-5 8  G#5 7  --- 1");

// ---------------------------------------------------------------------------
// Air

void wind(XmPattern &p, int row, const char *pitch, int level) {
    p.at(row, airChannel) = play(note(pitch), airNoise, volume(level));
}

// The noise swept up by portamento over [from, to) while it grows a little
// louder each row, then cut on the last row: the breath before the drop.
void riserSweep(XmPattern &p, int from, int to, int level) {
    p.at(from, airChannel) = play(note("C-4"), airNoise, volume(level), portaUp, 0x01);
    for (int row = from + 1; row < to - 1; ++row)
        p.at(row, airChannel) = XmCell{0, 0, column(fineSlideUp, 1), portaUp, 0};
    p.at(to - 1, airChannel) = XmCell{0, 0, 0, extended, noteCut | 1};
}

// High noise falling by portamento and fading in the volume column after
// the drop.
void downSweep(XmPattern &p, int row) {
    p.at(row, airChannel) = play(note("C-6"), airNoise, volume(44), portaDown, 0x04);
    for (int more = row + 1; more < row + 8; ++more)
        p.at(more, airChannel) = XmCell{0, 0, column(slideDown, 1), portaDown, 0};
    p.at(row + 8, airChannel) = XmCell{keyOff, 0, 0, 0, 0};
}

// ---------------------------------------------------------------------------
// Patterns

// 0:00-0:08. Am and F: the warm pad swells in over the wind; the pluck
// starts a slow arpeggio when the first credits are up. The pads grow by
// set-volume steps at each chord.
XmPattern dawn() {
    XmPattern p = blankPattern(patternRows, channelCount);
    const Bars bars = {&aMinor, &aMinor, &fMajor, &fMajor};
    static const int levels[4] = {22, 22, 26, 26};
    warmChords(p, bars, 0, 64, nullptr, levels);
    wind(p, 0, "C-4", 20);
    pluckArpeggio(p, bars, 32, 64, 2, 16);
    return p;
}

// 0:08-0:16. C and G: a soft heartbeat on the strong beats, a sustained
// bass that glides down to G, hats half way, and a hint of the theme with
// its echo.
XmPattern stir() {
    XmPattern p = blankPattern(patternRows, channelCount);
    const Bars bars = {&cMajor, &cMajor, &gMajor, &gMajor};
    static const int levels[4] = {26, 26, 28, 28};
    warmChords(p, bars, 0, 64, &fMajor, levels);
    pluckArpeggio(p, bars, 0, 64, 2, 17);
    heartbeat(p, 0, 64, 34);
    p.at(0, bassChannel) = play(note("C-3"), bassSynth, volume(26));
    p.at(28, bassChannel) = play(note("G-2"), 0, 0, tonePorta, 0x08);
    for (int row = 29; row < 32; ++row)
        p.at(row, bassChannel) = XmCell{0, 0, 0, tonePorta, 0};
    offbeatHats(p, 32, 64, 18);
    melody(p, leadChannel, introHint, 0, leadSynth, 20);
    echo(p, 3, 14);
    return p;
}

// Rows 0-31 of the riser pattern: the gentle build of 0:16-0:20 out of the
// quiet intro, Dm then E. Speed 12 at tempo 240 keeps the row length of
// speed 6 at 120 but doubles the ticks, so the looped gate of the chords
// pulses in sixteenths and the retriggered snare rolls twice as fast.
void gentleBuild(XmPattern &p) {
    const Bars bars = {&dMinor, &eMajor, &dMinor, &eMajor};
    p.at(0, kickChannel) = play(note("C-4"), kickDrum, volume(34), speedOrTempo, 12);
    p.at(0, hatChannel) = XmCell{0, 0, 0, speedOrTempo, 240};
    for (int row : {8, 16, 24, 28})
        p.at(row, kickChannel) = play(note("C-4"), kickDrum, volume(34 + row / 2));
    for (int row = 16; row < 30; row += 2)
        p.at(row, hatChannel) = play(note("C-4"), closedHat, volume(14 + row / 2));
    releaseChords(p, 0);
    gatedChords(p, bars, 16, 32, 26);
    p.at(0, bassChannel) = play(note("D-3"), bassSynth, volume(34));
    rollingBass(p, bars, 16, 30, 38);
    pluckArpeggio(p, bars, 0, 31, 1, 22);
    riserSweep(p, 0, 32, 14);
    risingSnares(p, 4, 16, 4, 16);
    risingSnares(p, 16, 24, 2, 28);
    snareRoll(p, 24, 31, 36);
}

// Rows 32-63 of the riser pattern: the same climb after the climax,
// 1:40-1:44, fuller and louder, and the lead leaning on G# towards the A
// minor of the drop where the song loops.
void fullBuild(XmPattern &p) {
    const Bars bars = {&dMinor, &eMajor, &dMinor, &eMajor};
    p.at(32, kickChannel) = play(note("C-4"), kickDrum, volume(52), speedOrTempo, 12);
    p.at(32, hatChannel) = XmCell{0, 0, 0, speedOrTempo, 240};
    crash(p, 32, 40);
    fourOnTheFloor(p, 36, 48, 50);
    for (int row = 48; row < 62; row += 2)
        p.at(row, kickChannel) = play(note("C-4"), kickDrum, volume(44 + (row - 48) / 2));
    sixteenthHats(p, 33, 62, 30);
    gatedChords(p, bars, 32, 64, 34);
    rollingBass(p, bars, 32, 62, 46);
    pluckArpeggio(p, bars, 32, 62, 1, 26);
    riserSweep(p, 32, 64, 26);
    melody(p, leadChannel, riserLine, 32, leadSynth, 40);
    backbeat(p, 32, 48, 40);
    risingSnares(p, 48, 56, 2, 42);
    snareRoll(p, 56, 63, 50);
}

// Everything stops one row before the drop: the last row of each half cuts
// what still sounds (after a tick at speed 12), and the first half breaks
// out of the pattern there, into the drop.
void breath(XmPattern &p, int row) {
    for (int channel :
         {bassChannel, padLowChannel, padMidChannel, padHighChannel, snareChannel, pluckChannel})
        p.at(row, channel) = XmCell{0, 0, 0, extended, noteCut | 1};
    p.at(row, leadChannel) = XmCell{keyOff, 0, 0, 0, 0};
}

XmPattern riser() {
    XmPattern p = blankPattern(patternRows, channelCount);
    gentleBuild(p);
    breath(p, 31);
    p.at(31, kickChannel) = XmCell{0, 0, 0, patternBreak, 0x00};
    fullBuild(p);
    breath(p, 63);
    return p;
}

// Back to speed 6 at tempo 120 on the first row of the groove: after the
// riser, and again each time the song loops.
void grooveTempo(XmPattern &p) {
    addEffect(p.at(0, kickChannel), speedOrTempo, 6);
    addEffect(p.at(0, snareChannel), speedOrTempo, 120);
}

// The common ground of the groove patterns.
void groove(XmPattern &p, const Bars &bars, int bassLevel, int pluckLevel, int gateLevel) {
    fourOnTheFloor(p, 0, 64, 62);
    backbeat(p, 0, 64, 64);
    sixteenthHats(p, 0, 64, 38);
    rollingBass(p, bars, 0, 64, bassLevel);
    pluckArpeggio(p, bars, 0, 64, 1, pluckLevel);
    gatedChords(p, bars, 0, 64, gateLevel);
}

// 0:20-0:28. The drop: the full groove at once, a crash and a falling sweep.
XmPattern drop() {
    XmPattern p = blankPattern(patternRows, channelCount);
    groove(p, mainProgression, 50, 32, 38);
    grooveTempo(p);
    crash(p, 0, 44);
    downSweep(p, 0);
    hatRoll(p, 60, 64, 22);
    return p;
}

// 0:28-0:36. Off-beat open hats join, and a tom fill leads to the theme.
XmPattern lift() {
    XmPattern p = blankPattern(patternRows, channelCount);
    groove(p, mainProgression, 50, 32, 38);
    openHats(p, 0, 56, 32);
    tomFill(p, 56, 64);
    bassSwoop(p, 63, aMinor);
    return p;
}

// 0:36-0:52 and 1:08-1:24. The theme over the groove with its echo; the
// pluck and the chords step back to make room. The question opens the
// section with a crash, the answer closes it with a bass swoop. In the
// reprise the chip stabs join on the off-beats.
XmPattern theme(const Phrase &phrase, bool opening, bool stabs) {
    XmPattern p = blankPattern(patternRows, channelCount);
    groove(p, mainProgression, 48, 24, 28);
    openHats(p, 0, 64, 32);
    if (stabs)
        chipStabs(p, mainProgression, 0, 64);
    melody(p, leadChannel, phrase, 0, leadSynth, 44);
    echo(p, 3, 18);
    if (opening)
        crash(p, 0, 40);
    else
        bassSwoop(p, 63, aMinor);
    return p;
}

// 0:52-1:08. The breakdown: half-time drums with ghost notes, long gliding
// bass, the warm chords shimmering, the lead singing with vibrato over a
// slapback of itself, the wind back.
XmPattern breakdown(const Phrase &phrase, bool first) {
    XmPattern p = blankPattern(patternRows, channelCount);
    halfTimeKick(p, 0, first ? 64 : 48);
    halfTimeSnare(p, 0, first ? 64 : 48);
    offbeatHats(p, 0, first ? 64 : 48, 22);
    glidingBass(p, breakdownProgression, 0, 64, 34);
    warmChords(p, breakdownProgression, 0, 64, first ? nullptr : &eMajor);
    shimmer(p, 0, 64);
    pluckArpeggio(p, breakdownProgression, 0, 64, 2, 22);
    melody(p, leadChannel, phrase, 0, leadSynth, 38);
    echo(p, 0, 16, 3);
    if (first) {
        crash(p, 0, 30);
        wind(p, 0, "G-3", 22);
    }
    return p;
}

// The end of the breakdown: toms sweep across, the bass dives by
// portamento, the snare rolls and the pads fade by volume slides.
void breakdownExit(XmPattern &p) {
    tomFill(p, 48, 56);
    p.at(48, kickChannel) = play(note("C-4"), kickDrum, volume(52));
    for (int row = 56; row < 64; row += 2)
        p.at(row, kickChannel) = play(note("C-4"), kickDrum, volume(40 + row - 56));
    p.at(48, bassChannel) = play(note("E-3"), bassSynth, volume(46));
    for (int row = 56; row < 64; ++row)
        p.at(row, bassChannel) =
            XmCell{0, 0, 0, portaDown, static_cast<uint8_t>(row == 56 ? 6 : 0)};
    for (int row = 56; row < 64; ++row)
        p.at(row, snareChannel) =
            play(note("C-4"), snareDrum, volume(20 + 3 * (row - 56)), extended, retrigger | 3);
    for (int row = 56; row < 64; ++row)
        for (int channel : padChannels)
            addEffect(p.at(row, channel), volumeSlide, 0x01);
    p.at(63, airChannel) = XmCell{keyOff, 0, 0, 0, 0};
}

// 1:24-1:40. The climax: the theme's variation with a harmony a third
// below, the stabs, crashes every two bars.
XmPattern climax(const Phrase &phrase, bool last) {
    XmPattern p = blankPattern(patternRows, channelCount);
    groove(p, mainProgression, 50, 26, 30);
    openHats(p, 0, 64, 34);
    chipStabs(p, mainProgression, 0, 64);
    melody(p, leadChannel, phrase, 0, leadSynth, 46);
    harmony(p, mainProgression, 28);
    crash(p, 0, 40);
    crash(p, 32, 34);
    if (last)
        p.at(63, kickChannel) = XmCell{0, 0, 0, patternBreak, 0x32};
    return p;
}

// Orders: the quiet intro (0, 1), the first half of the riser (2), the
// groove (3..12) and the second half of the riser (13), from which the song
// loops to the drop (order 3).
XmSong composeSong() {
    XmSong song;
    song.name = "Rava64";
    song.channels = channelCount;
    song.speed = 6;
    song.bpm = 120;
    song.flags = 1; // linear frequency table
    song.restart = 3;
    song.instruments = instruments();
    XmPattern breakdownEnd = breakdown(breakdownSecond, false);
    breakdownExit(breakdownEnd);
    song.patterns = {dawn(),
                     stir(),
                     riser(),
                     drop(),
                     lift(),
                     theme(themeQuestion, true, false),
                     theme(themeAnswer, false, false),
                     breakdown(breakdownFirst, true),
                     breakdownEnd,
                     theme(themeQuestion, true, true),
                     theme(themeAnswer, false, true),
                     climax(climaxFirst, false),
                     climax(climaxSecond, true)};
    song.orders = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 2};
    return song;
}

// ---------------------------------------------------------------------------
// Command line

const char *usage =
    "usage: veltrane-compose [OUT.xm]\n"
    "\n"
    "Composes the intro's soundtrack and writes it to OUT.xm (default: Rava64.xm).\n"
    "The instruments are synthesised and the notes placed in code, so every run\n"
    "writes the same bytes.\n"
    "\n"
    "  --help  this text\n";

} // namespace

int main(int argc, char **argv) {
    std::string output = "Rava64.xm";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (argument.rfind("-", 0) == 0 || i > 1) {
            std::fprintf(stderr, "veltrane-compose: unexpected argument '%s'\n%s", argv[i], usage);
            return 2;
        }
        output = argument;
    }
    errno = 0;
    if (!writeXm(output, composeSong())) {
        std::fprintf(stderr, "veltrane-compose: %s: cannot write the song%s%s\n", output.c_str(),
                     errno ? ": " : "", errno ? std::strerror(errno) : "");
        return 1;
    }
    return 0;
}
