#include "demo_song.h"

#include <cmath>
#include <cstdint>
#include <functional>

namespace {

const double pi = 3.14159265358979323846;

XmSample sampleOf(const char *name, int length, const std::function<int(int)> &value) {
    XmSample sample;
    sample.name = name;
    for (int k = 0; k < length; ++k)
        sample.values.push_back(value(k));
    return sample;
}

// Rows of the bass (every 4th) and lead (every 8th from row 4) notes; the kick on every 8th
// row, the hat on every odd one.
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
    // A kick: a falling sine that dies away; a bass: one cycle of a saw, looped, 16-bit; a
    // lead: half a cycle of a square played forwards and backwards; a hat: noise.
    XmSample kick = sampleOf("kick", 3000, [phase = 0.0](int k) mutable {
        phase += 2 * pi * (40 + 160 * std::exp(-k / 300.0)) / 8363;
        return static_cast<int>(120 * std::exp(-k / 1200.0) * std::sin(phase));
    });
    XmSample bass = sampleOf("bass", 64, [](int k) { return -24000 + k * 750; });
    bass.sixteenBit = true;
    bass.loop = xmForwardLoop;
    bass.loopLength = 64;
    bass.relativeNote = 12;
    XmSample lead = sampleOf("lead", 32, [](int k) { return k < 16 ? 60 : -60; });
    lead.loop = xmPingPongLoop;
    lead.loopLength = 32;
    lead.volume = 40;
    lead.relativeNote = 24;
    XmSample hat = sampleOf("hat", 800, [noise = uint32_t{12345}](int k) mutable {
        noise = noise * 1103515245u + 12345u;
        return static_cast<int>(50 * std::exp(-k / 150.0) * ((noise >> 16 & 0xff) / 127.5 - 1));
    });
    hat.volume = 32;
    XmInstrument leadInstrument = instrumentWith(lead);
    leadInstrument.volumeEnvelope = {{{0, 64}, {4, 48}, {16, 40}, {40, 0}}, 2, 0, 0, 3, {}};
    leadInstrument.fadeout = 512;
    XmSong song;
    song.name = "veltrane demo";
    song.orders = {0, 1, 0, 1};
    const int bassA[] = {25, 25, 32, 30}, bassB[] = {28, 28, 23, 30};
    const int leadA[] = {61, 64, 68, 66, 64, 61, 59, 61},
              leadB[] = {64, 66, 68, 71, 68, 66, 64, 97};
    song.patterns = {groove(bassA, leadA), groove(bassB, leadB)};
    song.instruments = {instrumentWith(kick), instrumentWith(bass), leadInstrument,
                        instrumentWith(hat)};
    return song;
}
