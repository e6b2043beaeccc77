#include "bench/busy_song.h"

#include <algorithm>
#include <cmath>

namespace {

const double pi = 3.14159265358979323846;

// xorshift: the same numbers on every machine.
class Dice {
  public:
    explicit Dice(uint32_t seed) : state(seed ? seed : 1) {}
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int bound) { return static_cast<int>(next() % static_cast<uint32_t>(bound)); }
    bool chance(int percent) { return below(100) < percent; }

  private:
    uint32_t state;
};

XmSample tone(int frames, bool sixteenBit, double cycle, double decay, Dice &dice) {
    XmSample sample;
    sample.sixteenBit = sixteenBit;
    const double amplitude = sixteenBit ? 26000 : 110;
    for (int k = 0; k < frames; ++k) {
        const double envelope = decay > 0 ? std::exp(-k / decay) : 1;
        const double noise = (dice.below(2001) - 1000) / 1000.0;
        const double value = std::sin(2 * pi * k / cycle) * 0.8 +
                             std::sin(2 * pi * k / (cycle * 0.37)) * 0.15 + noise * 0.05;
        sample.values.push_back(static_cast<int>(amplitude * envelope * value));
    }
    return sample;
}

XmSample looped(XmSample sample, uint8_t loop, uint32_t start, uint32_t length) {
    sample.loop = loop;
    sample.loopStart = start;
    sample.loopLength = length;
    return sample;
}

XmInstrument enveloped(XmSample sample) {
    XmInstrument instrument = instrumentWith(std::move(sample));
    instrument.volumeEnvelope = {{{0, 64}, {3, 40}, {8, 56}, {14, 20}, {30, 0}}, 2, 1, 3, 7, {}};
    instrument.panningEnvelope = {{{0, 0}, {6, 64}, {12, 32}}, 0, 0, 2, 5, {}};
    instrument.fadeout = 1200;
    instrument.vibratoType = 1;
    instrument.vibratoSweep = 8;
    instrument.vibratoDepth = 6;
    instrument.vibratoRate = 20;
    return instrument;
}

std::vector<XmInstrument> instruments(Dice &dice, bool extremes) {
    XmSample chip = extremes ? looped(tone(40, true, 6, 0, dice), xmPingPongLoop, 20, 3)
                             : looped(tone(48, true, 32, 0, dice), xmPingPongLoop, 32, 16);
    chip.relativeNote = extremes ? 24 : 0;
    return {
        instrumentWith(looped(tone(8000, true, 40, 0, dice), xmForwardLoop, 4000, 4000)),
        instrumentWith(looped(tone(512, false, 16, 0, dice), xmForwardLoop, 0, 512)),
        instrumentWith(looped(tone(1500, true, 25, 0, dice), xmPingPongLoop, 500, 1000)),
        instrumentWith(looped(tone(64, false, 32, 0, dice), xmPingPongLoop, 0, 64)),
        instrumentWith(tone(3000, true, 90, 700, dice)),
        instrumentWith(tone(1200, false, 3, 300, dice)),
        instrumentWith(chip),
        enveloped(looped(tone(2000, true, 50, 0, dice), xmForwardLoop, 1000, 1000)),
    };
}

uint8_t volumeColumn(Dice &dice) {
    const int roll = dice.below(100);
    if (roll < 30)
        return static_cast<uint8_t>(0x10 + dice.below(65)); // set volume
    if (roll < 45)
        return static_cast<uint8_t>((dice.chance(60) ? 0x60 : 0x70) + 1 + dice.below(6)); // slide
    if (roll < 50)
        return static_cast<uint8_t>(0xc0 + dice.below(16)); // set panning
    return 0;
}

// Effect column: vibrato, portamentos, volume slides, panning and set-volume,
// or nothing.
void effectColumn(XmCell &cell, Dice &dice) {
    static const uint8_t effects[] = {0x4, 0x1, 0x2, 0x3, 0xa, 0x8, 0xc};
    static const int percents[] = {10, 4, 4, 4, 8, 3, 3};
    int roll = dice.below(100);
    for (int e = 0; e < 7; ++e) {
        if (roll < percents[e]) {
            cell.effect = effects[e];
            cell.param =
                static_cast<uint8_t>(effects[e] == 0xc ? dice.below(65) : 1 + dice.below(255));
            return;
        }
        roll -= percents[e];
    }
}

XmCell busyCell(Dice &dice, bool extremes) {
    XmCell cell;
    if (dice.chance(70)) {
        cell.instrument = static_cast<uint8_t>(1 + dice.below(8));
        const int note = extremes ? 1 + dice.below(96) : 25 + dice.below(60);
        cell.note = static_cast<uint8_t>(dice.chance(3) ? 97 : note);
    }
    cell.volume = volumeColumn(dice);
    // Sample offsets only where they fall inside the long sample: an offset
    // past a sample's end rewinds the voice instead of starting the note.
    if (cell.instrument == 1 && cell.note != 97 && dice.chance(20)) {
        cell.effect = 0x9;
        cell.param = static_cast<uint8_t>(1 + dice.below(30));
    } else {
        effectColumn(cell, dice);
    }
    return cell;
}

} // namespace

XmSong busySong(int channels, uint32_t seed, bool extremes) {
    Dice dice(seed);
    XmSong song;
    song.name = "busy";
    song.channels = static_cast<uint16_t>(channels);
    song.speed = 6;
    song.bpm = 125;
    song.orders = {0, 1, 2, 3};
    song.instruments = instruments(dice, extremes);
    for (int p = 0; p < 4; ++p) {
        XmPattern pattern;
        pattern.rows = 64;
        pattern.channels = channels;
        for (int row = 0; row < 64; ++row)
            for (int c = 0; c < channels; ++c)
                pattern.at(row, c) = busyCell(dice, extremes);
        song.patterns.push_back(pattern);
    }
    // The more channels, the lower the global volume (Gxx), so that the mix
    // seldom clips; with extremes it clips often.
    XmCell &first = song.patterns[0].at(0, 0);
    first.effect = 16;
    first.param = static_cast<uint8_t>(extremes ? 64 : std::max(8, std::min(64, 320 / channels)));
    return song;
}
