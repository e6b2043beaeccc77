// The soundtrack's instruments: every sample synthesised here, from noise,
// sines, saws and squares through filters, and shaped into instruments by
// envelopes, fades and auto-vibrato.

#include "tools/compose/instruments.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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

} // namespace

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
