#include "seed_songs.h"

#include "../demo_song.h"
#include "../song_bytes.h"
#include "player/blockfill.h"
#include "player/mixer.h"
#include "player/sequencer.h"

namespace {

const uint8_t effectB = 11, effectD = 13, effectE = 14, effectL = 21;
const uint8_t loopKinds[] = {xmNoLoop, xmForwardLoop, xmPingPongLoop};

XmSample sampleOf(uint8_t loop, bool sixteenBit, int frames = 8) {
    XmSample sample;
    sample.sixteenBit = sixteenBit;
    for (int k = 0; k < frames; ++k)
        sample.values.push_back((k * 37 % 64 - 32) * (sixteenBit ? 1000 : 4));
    sample.loop = loop;
    sample.loopStart = static_cast<uint32_t>(frames / 4);
    sample.loopLength = loop ? static_cast<uint32_t>(frames / 2) : 0;
    return sample;
}

XmSong songOf(int channels, std::vector<XmPattern> patterns,
              std::vector<XmInstrument> instruments) {
    XmSong song;
    song.channels = static_cast<uint16_t>(channels);
    song.patterns = std::move(patterns);
    song.instruments = std::move(instruments);
    return song;
}

XmSong tinySong() {
    XmPattern pattern = blankPattern(4, 2);
    pattern.at(0, 0) = {49, 1, 0x40, 0x0f, 0x06};
    pattern.at(1, 1) = {97, 0, 0, 0x0a, 0x01};
    return songOf(2, {pattern}, {});
}

XmSong everyLoop() {
    XmSong song = tinySong();
    XmInstrument instrument;
    for (uint8_t loop : loopKinds)
        for (bool sixteenBit : {false, true})
            instrument.samples.push_back(sampleOf(loop, sixteenBit));
    instrument.volumeEnvelope = {{{0, 64}, {4, 32}, {8, 0}}, 1, 0, 2, 7, {}};
    instrument.panningEnvelope = {{{0, 32}, {4, 64}}, 0, 0, 1, 5, {}};
    instrument.vibratoDepth = 4;
    instrument.vibratoRate = 8;
    instrument.fadeout = 256;
    song.instruments = {instrument, XmInstrument{}};
    return song;
}

// Envelopes at extreme ticks and values, each played by a note with Lxx
// before, inside and past its points, then released and reset.
XmSong extremeEnvelopes() {
    XmEnvelope twelve{{}, 11, 3, 11, 7, {}};
    for (uint16_t k = 0; k < 12; ++k)
        twelve.points.push_back({k, k % 2 ? 0 : 64});
    const std::vector<XmEnvelope> envelopes = {
        {{{21060, 64}, {21076, 0}}, 0, 0, 0, 1, {}},
        {{{65534, 0}, {65535, 64}}, 0, 0, 0, 7, {}},
        {{{0, 0xffff}, {1, 64}, {1, 0}, {0, 64}}, 1, 1, 0, 7, {}},
        twelve,
        {{{0, 64}, {65535, 0}}, 0, 0, 0, 1, uint8_t{255}},
        {{{5, 64}, {6, 0}}, 200, 200, 200, 7, {}},
    };
    const uint8_t positions[] = {0, 1, 0x80, 0xff};
    XmPattern pattern = blankPattern(4 * static_cast<int>(envelopes.size()), 4);
    std::vector<XmInstrument> instruments;
    for (size_t i = 0; i < envelopes.size(); ++i) {
        XmInstrument instrument = instrumentWith(sampleOf(xmForwardLoop, true));
        instrument.volumeEnvelope = envelopes[i];
        instrument.panningEnvelope = envelopes[(i + 1) % envelopes.size()];
        instrument.fadeout = i % 2 ? 0xffff : 0x8000;
        instruments.push_back(instrument);
        const int row = 4 * static_cast<int>(i), channel = static_cast<int>(i % 4);
        const auto number = static_cast<uint8_t>(i + 1);
        pattern.at(row, channel) = {49, number, 0, effectL, positions[i % 4]};
        pattern.at(row + 1, channel) = {0, 0, 0, effectL, positions[(i + 1) % 4]};
        pattern.at(row + 2, channel) = {97};
        pattern.at(row + 3, channel) = {0, number, 0, effectL, 0};
    }
    XmSong song = songOf(4, {pattern}, instruments);
    song.speed = 3;
    return song;
}

// Every effect and volume-column byte with extreme parameters on a long
// pattern; the position effects come last, as they leave the pattern.
XmSong everyEffectExtremes(uint16_t flags) {
    const uint8_t params[] = {0x00, 0x01, 0x0f, 0x10, 0x80, 0xf0, 0xff, 0x7f};
    XmPattern pattern = blankPattern(256, 8);
    for (int row = 0; row < 256; ++row)
        for (int c = 0; c < 8; ++c) {
            const auto effect = static_cast<uint8_t>(row < 248 ? row % 36
                                                     : row % 2 ? effectB
                                                               : effectD);
            const uint8_t param =
                effect == effectE
                    ? static_cast<uint8_t>((row / 36 * 8 + c) % 16 << 4 | (c % 2 ? 0x0f : 0x01))
                    : params[(c + row / 36) % 8];
            pattern.at(row, c) = {static_cast<uint8_t>(row % 8 == c ? 1 + (row * 7 + c) % 96 : 0),
                                  static_cast<uint8_t>(c % 3), static_cast<uint8_t>(row * 8 + c),
                                  effect, param};
        }
    XmSong song = songOf(8, {pattern},
                         {instrumentWith(sampleOf(xmPingPongLoop, false, 64)),
                          instrumentWith(sampleOf(xmForwardLoop, true, 300))});
    song.flags = flags;
    song.speed = 4;
    return song;
}

// Sixteen samples of every loop kind, width, pitch and level, some empty or
// with loops longer than themselves, and a map that also names missing ones.
XmSong sixteenSamples() {
    XmInstrument instrument;
    for (int s = 0; s < 16; ++s) {
        XmSample sample = sampleOf(loopKinds[s % 3], s % 2, s == 5 ? 0 : 4 + 5 * s);
        sample.relativeNote = static_cast<int8_t>(16 * s - 128);
        sample.finetune = static_cast<int8_t>(17 * s - 128);
        sample.volume = static_cast<uint8_t>(17 * s);
        sample.panning = static_cast<uint8_t>(17 * s);
        if (s == 7)
            sample.loopLength = 1000;
        instrument.samples.push_back(sample);
    }
    for (int n = 0; n < 96; ++n)
        instrument.sampleMap[n] = static_cast<uint8_t>(n % 20);
    instrument.vibratoType = 3;
    instrument.vibratoSweep = 255;
    instrument.vibratoDepth = 255;
    instrument.vibratoRate = 255;
    XmPattern pattern = blankPattern(96, 2);
    for (int row = 0; row < 96; ++row)
        pattern.at(row, row % 2) = {static_cast<uint8_t>(row + 1), 1, 0, 0x09, 0x01};
    return songOf(2, {pattern}, {instrument});
}

// Long, one-row and empty patterns, an order naming a missing pattern, plain
// cells, and a restart position past the end.
XmSong patternShapes() {
    XmSong song = everyLoop();
    song.patterns[0].packed = false;
    XmPattern oneRow = blankPattern(1, 2);
    oneRow.at(0, 0) = {49, 1, 0, effectD, 0x3f};
    XmPattern empty;
    empty.rows = 7;
    song.patterns.push_back(blankPattern(256, 2));
    song.patterns.push_back(oneRow);
    song.patterns.push_back(empty);
    song.orders = {0, 1, 2, 3, 2, 9, 0};
    song.restart = 200;
    return song;
}

// A falling first envelope segment far past tick 0, and Lxx 0 before it.
XmSong envelopePositionBeforeFirstPoint() {
    XmSong song = everyLoop();
    song.instruments[0].volumeEnvelope = {{{21060, 64}, {21076, 0}}, 0, 0, 0, 1, {}};
    song.patterns[0].at(0, 0) = {49, 1, 0, effectL, 0};
    return song;
}

XmSong tempo(uint16_t speed, uint16_t bpm) {
    XmSong song = everyLoop();
    song.speed = speed;
    song.bpm = bpm;
    return song;
}

const int ticksPlayed = 300;
const int framesPerTick = 64; // enough to run every voice through its passes

} // namespace

std::vector<SeedSong> seedSongs() {
    return {{"tiny.xm", tinySong()},
            {"every-loop.xm", everyLoop()},
            {"demo.xm", demoSong()},
            {"extreme-envelopes.xm", extremeEnvelopes()},
            {"every-effect-linear.xm", everyEffectExtremes(1)},
            {"every-effect-amiga.xm", everyEffectExtremes(0)},
            {"sixteen-samples.xm", sixteenSamples()},
            {"pattern-shapes.xm", patternShapes()},
            {"envelope-position-before-first-point.xm", envelopePositionBeforeFirstPoint()},
            {"fastest.xm", tempo(0, 0x7fff)},
            {"slowest.xm", tempo(31, 1)}};
}

void playFuzzInput(const std::vector<uint8_t> &bytes) {
    Song *song = loadSongBytes(bytes);
    if (song && beginPlayback(song)) {
        static float mix[2 * framesPerTick];
        static int16_t pcm[2 * framesPerTick];
        for (int tick = 0; tick < ticksPlayed; ++tick) {
            sequencerTick(song);
            mixVoices(mix, framesPerTick);
            convertToPcm16(pcm, mix, framesPerTick);
        }
        fillBlock(); // and once through the block fill itself
    }
    freeSong(song);
}
