#include "demo_song.h"

#include <cmath>
#include <cstdint>

namespace {

const double pi = 3.14159265358979323846;

XmSample kick() {
    XmSample sample;
    sample.name = "kick";
    double phase = 0;
    for (int k = 0; k < 3000; ++k) {
        const double frequency = 40 + 160 * std::exp(-k / 300.0);
        phase += 2 * pi * frequency / 8363;
        sample.values.push_back(static_cast<int>(120 * std::exp(-k / 1200.0) * std::sin(phase)));
    }
    return sample;
}

// One cycle of a saw, looped: 16-bit data.
XmSample bass() {
    XmSample sample;
    sample.name = "bass";
    sample.sixteenBit = true;
    for (int k = 0; k < 64; ++k)
        sample.values.push_back(-24000 + k * 750);
    sample.loop = xmForwardLoop;
    sample.loopLength = 64;
    sample.relativeNote = 12;
    return sample;
}

// Half a cycle of a square, played forwards and backwards.
XmSample lead() {
    XmSample sample;
    sample.name = "lead";
    for (int k = 0; k < 32; ++k)
        sample.values.push_back(k < 16 ? 60 : -60);
    sample.loop = xmPingPongLoop;
    sample.loopLength = 32;
    sample.volume = 40;
    sample.relativeNote = 24;
    return sample;
}

XmSample hat() {
    XmSample sample;
    sample.name = "hat";
    uint32_t noise = 12345;
    for (int k = 0; k < 800; ++k) {
        noise = noise * 1103515245u + 12345u;
        const double level = 50 * std::exp(-k / 150.0);
        sample.values.push_back(static_cast<int>(level * ((noise >> 16 & 0xff) / 127.5 - 1)));
    }
    sample.volume = 32;
    return sample;
}

XmInstrument leadInstrument() {
    XmInstrument instrument = instrumentWith(lead());
    instrument.volumeEnvelope = {{{0, 64}, {4, 48}, {16, 40}, {40, 0}}, 2, 0, 0, 3, {}};
    instrument.fadeout = 512;
    return instrument;
}

XmPattern groove(const int *bassNotes, const int *leadNotes) {
    XmPattern pattern;
    pattern.rows = 64;
    pattern.channels = 4;
    for (int row = 0; row < 64; ++row) {
        if (row % 8 == 0)
            pattern.at(row, 0) = {49, 1};
        if (row % 4 == 0)
            pattern.at(row, 1) = {static_cast<uint8_t>(bassNotes[row / 16]), 2};
        if (row % 2 == 1)
            pattern.at(row, 3) = {61, 4};
    }
    for (int step = 0; step < 8; ++step)
        pattern.at(step * 8 + 4, 2) = {static_cast<uint8_t>(leadNotes[step]), 3};
    return pattern;
}

} // namespace

XmSong demoSong() {
    XmSong song;
    song.name = "veltrane demo";
    song.channels = 4;
    song.orders = {0, 1, 0, 1};
    const int bassA[] = {25, 25, 32, 30};
    const int bassB[] = {28, 28, 23, 30};
    const int leadA[] = {61, 64, 68, 66, 64, 61, 59, 61};
    const int leadB[] = {64, 66, 68, 71, 68, 66, 64, 97};
    song.patterns = {groove(bassA, leadA), groove(bassB, leadB)};
    song.instruments = {instrumentWith(kick()), instrumentWith(bass()), leadInstrument(),
                        instrumentWith(hat())};
    return song;
}
