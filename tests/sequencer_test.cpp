// The sequencer tick by tick (see effects_test.cpp for the song and its numbers).

#include "player/sequencer.h"
#include "tick_player.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

using Values = std::vector<int64_t>;

TEST(Sequencer, ClockAndPositions) {
    expectTraces({
        // A row lasts speed ticks; speed 0 makes every tick a row's first.
        {"speed=3: .", "row tick", 0, "0 0 0 1 1 1 2 2 2 / 1 2 0 1 2 0 1 2 0"},
        {"speed=0: .", "row tick", 0, "0..8 / 9*0"},
        // The next position is chosen on a row's first tick (-1 before) and entered on the
        // next row.
        {"speed=3 rows=2,2 orders=0,1: . / .", "order row norder nrow", 0,
         "6*0 1 / 0 0 0 1 1 1 0 / 3*-1 3*1 -1 / 1 1 1 0 0 0 1"},
        // After the last order play goes on at the restart position, or at order 0 when
        // that lies outside the song; each order has its pattern's row count.
        {"speed=1 rows=2,3 orders=0,1,0 restart=1: . / .", "order row", 0,
         "0 0 1 1 1 2 2 1 1 1 2 / 0 1 0 1 2 0 1 0 1 2 0"},
        {"speed=1 rows=1 orders=0,0 restart=2: .", "order", 0, "0 1 0 1"},
        // A row past the pattern's end (as a break to row 2 leaves it) plays nothing, and
        // the next order (C-5: 7680 - 64 x 60) follows.
        {"speed=1 rows=2,2 orders=0,1: .; C-4 01 / C-5 01", "period order row nrow norder playing",
         1, "0 3840 / 0 1 / 2 / 0 / 1 / 0", nullptr, [](TickPlayer &p) { p.song().nextRow = 2; }},
    });
}

TEST(Sequencer, Pitch) {
    expectTraces({
        // Period 7680 - 64 x pitch note - finetune / 2 (toward zero); the pitch note adds
        // the relative note, modulo 256. Frequency trunc(8363 x 2^((4608 - period) / 768)),
        // step (f << 32) / 44100 as frames and fraction.
        {"C-5 01", "period np pn freq step frac", 0, "3840 / 3840 / 60 / 16726 / 0 / 1628971042"},
        {"ft=-17: C-4 01", "period np pn freq", 0, "4616 / 4616 / 48 / 8302"},
        {"ft=127: C-4 01", "period np pn", 0, "4545 / 4545 / 48"},
        {"rel=12: C-4 01", "period np pn", 0, "3840 / 3840 / 60"},
        {"rel=-1: C-0 01", "period np pn", 0, "-8640 / -8640 / 255"},
        // 8363 x 2^3 = 66904 is more than a frame a step: 1 and (22804 << 32) / 44100.
        {"C-7 01", "period np pn freq step frac", 0, "2304 / 2304 / 84 / 66904 / 1 / 2220916875"},
        // Amiga: 14317056 / 1712 = 8362.57, and with finetune 64 14317056 / 1664 = 8604.
        {"C-4 01", "period freq step frac", 0, "4608 / 8363 / 0 / 814485521"},
        {"amiga: C-4 01", "period freq step frac", 0, "1712 / 8362 / 0 / 814388129"},
        {"amiga ft=64: C-4 01", "period freq step frac", 0, "1664 / 8604 / 0 / 837956884"},
    });
    // Amiga finetune moves toward the next note by that distance x f / 128: base(47) =
    // 1813, base(48) = 1712, base(49) = 1615; 1712 + (101 x 64 / 128 = 50.5 -> 50).
    EXPECT_EQ(amigaPeriod(48, -64), 1762);
    EXPECT_EQ(amigaPeriod(48, 64), 1664); // 1712 - (97 x 64 / 128 = 48.5 -> 48)
}

// A channel at full level and centred on voice 0 of fresh voices, pushed into the voice.
const MixerVoice &pushed(MusicChannel channel, uint8_t flags, uint16_t songFlags = 1,
                         int32_t globalVolume = 64) {
    resetVoices();
    Song song{};
    song.flags = songFlags;
    song.globalVolume = globalVolume;
    channel.voice = &voices[0];
    channel.updateFlags = flags;
    updateVoice(channel, emptySample, song);
    return voices[0];
}

MusicChannel fullChannel() {
    MusicChannel channel{};
    channel.channelVolume = channel.volEnvValue = 64;
    channel.fadeoutVolume = 65536;
    channel.channelPan = 128;
    channel.panEnvValue = 32;
    return channel;
}

TEST(Sequencer, FinalPanning) {
    // P = cp + ((128 - |cp - 128|) / 32) x (env - 32), limited to 0..255; left = 127 x P /
    // 255, right = (255 - P) x 127 / 255.
    const std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t> pans[] = {
        {128, 64, 255, 127, 0}, {100, 0, 4, 1, 125},
        {0, 64, 0, 0, 127},     {200, 0, 168, 83, 43}, // 56 / 32 = 1
        {31, 64, 31, 15, 111},                         // 97 / 32 = 0 before the product
        {32, 64, 64, 31, 95}};
    for (const auto &[channelPan, envelope, pan, left, right] : pans) {
        MusicChannel channel = fullChannel();
        channel.channelPan = channelPan;
        channel.panEnvValue = envelope;
        const MixerVoice &v = pushed(channel, updateVolume | updatePanning);
        EXPECT_EQ((Values{v.pan, v.panCopy, v.volumeLeft, v.volumeRight}),
                  (Values{pan, pan, left, right}))
            << channelPan << " " << envelope;
    }
}

XmEnvelope envelopeOf(std::vector<std::pair<uint16_t, uint16_t>> points, uint8_t type,
                      uint8_t sustain = 0, uint8_t loopStart = 0, uint8_t loopEnd = 0) {
    return XmEnvelope{std::move(points), sustain, loopStart, loopEnd, type, std::nullopt};
}

// Instrument 1: 0 -> 64 -> 0, 16 a tick, sustained at point 1. 2..4: 0 -> 32 -> 64 (-> 0);
// 2 loops from point 2 back to 1; 3 also sustains on the loop end; 4 only sustains there.
void fourEnvelopes(XmSong &xm) {
    xm.instruments.assign(4, xm.instruments[0]);
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 0}, {4, 64}, {8, 0}}, 3, 1);
    xm.instruments[1].volumeEnvelope = envelopeOf({{0, 0}, {2, 32}, {4, 64}}, 5, 0, 1, 2);
    xm.instruments[2].volumeEnvelope = envelopeOf({{0, 0}, {2, 32}, {4, 64}, {6, 0}}, 7, 2, 1, 2);
    xm.instruments[3].volumeEnvelope = envelopeOf({{0, 0}, {2, 32}, {4, 64}, {6, 0}}, 3, 2);
}

// Fadeout 300 on an envelope at 64 that ends on tick 1, and a copy with fadeout 20000.
void twoFadeouts(XmSong &xm) {
    xm.instruments[0].volumeEnvelope = envelopeOf({{0, 64}, {1, 64}}, 1);
    xm.instruments[0].fadeout = 300;
    xm.instruments.push_back(xm.instruments[0]);
    xm.instruments[1].fadeout = 20000;
}

void panEnvelope(XmSong &xm) {
    xm.instruments[0].panningEnvelope = envelopeOf({{0, 32}, {4, 64}}, 1);
}

TEST(Sequencer, EnvelopesAndRelease) {
    const char *fourNotes = "speed=4: C-4 01 | C-4 02 | C-4 03 | C-4 04; . | off; off";
    expectTraces({
        // A sustain holds until the key off moves on, and the last point ends the envelope;
        // a loop comes first, also on a sustain point, and keeps running after the release.
        {fourNotes, "env env1 env2 env3", 0,
         "0 16 32 48 64 64 64 64 64 48 32 16 0 0 / 0 16 32 48 32 48 32 48 32 48 32 48 32 48 / "
         "0 16 32 48 32 48 32 48 32 48 32 48 32 48 / 0 16 32 48 10*64",
         fourEnvelopes},
        {fourNotes, "envdone keyoff1 envdone1", 13, "1 / 1 / 0", fourEnvelopes},
        // An ended envelope starts again with the next note of its instrument.
        {"speed=4: C-4 01; off; .; .; C-4 01", "env", 16, "0 16 32 48", fourEnvelopes},
        // Panning 32 -> 64 over 4 ticks on a centred sample: P = 128 + 4 (e - 32), 255 at most.
        {"C-4 01", "penv vpan", 0, "32 40 48 56 64 64 / 128 160 192 224 255 255", panEnvelope},
        {"C-4 01", "penvdone", 5, "1", panEnvelope},
        // After a key off the fadeout falls by twice the file's step a tick: 600, and 40000
        // down to 0, and the voice follows on every tick: V = fade x 255 / 2^17.
        {"speed=3: C-4 01 | C-4 02; off | off", "fade fade1", 0,
         "3*65536 64936 64336 63736 63136 / 3*65536 25536 0 0 0", twoFadeouts},
        {"speed=3: C-4 01 | C-4 02; off | off", "vvol vvol1", 3, "126 125 123 122 / 49 0",
         twoFadeouts},
    });
}

TEST(Sequencer, NotesAndInstruments) {
    expectTraces({
        // The sample map sends C-4 (index 48) to slot 16, which no instrument has: the shared
        // empty sample plays at volume 0.
        {"speed=1: C-4 01", "smp playing vvol", 0, "0 / 1 / 0",
         [](XmSong &xm) { xm.instruments[0].sampleMap[48] = 16; }},
        // Notes above 96 (98, 200, 254) play nothing, but an instrument number still resets.
        {"speed=1: C-4 01 | .", "ni period keyoff vidx playing1 vol1 ni1", 0,
         "4*48 / 4*4608 / 4*0 / 4*0 / 0 / 64 / 0",
         [](XmSong &xm) {
             xm.patterns[0].at(1, 0).note = 98;
             xm.patterns[0].at(2, 0).note = 200;
             xm.patterns[0].at(3, 0).note = 254;
             xm.patterns[0].at(0, 1) = {150, 1};
         }},
        // A note start moves to the other voice of the pair, 31 to 63, which ramps up from
        // silence whatever ramp ran before; a volume change alone keeps the pan (801):
        // right = (255 - 1) x 127 / 255.
        {"speed=1: .", "vidx31 ramp31", 1, "63 / 0",
         [](XmSong &xm) {
             xm.channels = 32;
             xm.patterns[0] = blankPattern(16, 32);
             setCells(xm.patterns[0], 31, "0 C-4 01, 1 C-4 01");
         },
         [](TickPlayer &p) { p.voice(31).rampRemaining = 50; }},
        {"speed=1: C-4 01 801; .", "right", 1, "126"},
    });
    // A tone portamento row (3, 5, column F) keeps instrument 1 (volume 50) and note index
    // 48, takes pitch note 60 + 0 only for the period 7680 - 64 x 60, and resets the
    // volume from instrument 1; without it instrument 2 (volume 20, relative note 12)
    // plays pitch note 72: 7680 - 64 x 72.
    const auto secondInstrument = [](XmSong &xm) {
        xm.instruments.push_back(xm.instruments[0]);
        xm.instruments[1].samples[0].volume = 20;
        xm.instruments[1].samples[0].relativeNote = 12;
    };
    const char *reads = "ins ni pn np period vol";
    expectTraces({
        {"speed=1 vol=50: C-4 01; C-5 02 300", reads, 1, "0/48/60/3840/4608/50", secondInstrument},
        {"speed=1 vol=50: C-4 01; C-5 02", reads, 1, "1/60/72/3072/3072/20", secondInstrument},
    });
}

// periodDelta and the next phase after one step from phase p; at depth 64, (w x 64) >> 6 = w.
std::pair<int32_t, int32_t> autoVibrato(uint8_t type, int32_t p, uint8_t depth = 64,
                                        uint8_t rate = 0) {
    MusicChannel channel{};
    channel.autoVibPos = p;
    Instrument instrument{};
    instrument.vibratoType = type;
    instrument.vibratoDepth = depth;
    instrument.vibratoRate = rate;
    autoVibratoStep(channel, instrument);
    EXPECT_EQ(channel.updateFlags, updatePitch);
    return {channel.periodDelta, channel.autoVibPos};
}

TEST(Sequencer, AutoVibrato) {
    // Type 0 trunc(64 sin(p s)), whose peaks fall short of 64; 1 a square; 2 (128 - ((p +
    // 128) mod 256)) >> 1; 3 (128 - ((384 - p) mod 256)) >> 1; 4 and up flat, yet raise Pitch.
    const std::tuple<uint8_t, int32_t, int32_t> cases[] = {
        {0, 0, 0},     {0, 32, 45},  {0, 64, 63},  {0, 128, 0},   {0, 160, -45},
        {0, 192, -63}, {1, 0, 64},   {1, 127, 64}, {1, 128, -64}, {1, 255, -64},
        {2, 0, 0},     {2, 1, -1},   {2, 3, -2},   {2, 127, -64}, {2, 128, 64},
        {2, 129, 63},  {2, 255, 0},  {3, 1, 0},    {3, 2, 1},     {3, 128, 64},
        {3, 129, -64}, {3, 255, -1}, {4, 64, 0},   {128, 192, 0}, {255, 64, 0}};
    for (const auto &[type, p, wave] : cases)
        EXPECT_EQ(autoVibrato(type, p).first, wave) << "type " << int{type} << " p " << p;
    EXPECT_EQ(autoVibrato(0, 64, 1).first, 0);    // 63 >> 6
    EXPECT_EQ(autoVibrato(0, 192, 1).first, -1);  // -63 >> 6 rounds down
    EXPECT_EQ(autoVibrato(1, 0, 255).first, 255); // 16320 >> 6
    EXPECT_EQ(autoVibrato(0, 32, 16).first, 11);  // 720 >> 6
    // The phase advances by the rate and wraps at 256.
    EXPECT_EQ(autoVibrato(0, 250, 0, 5).second, 255);
    EXPECT_EQ(autoVibrato(0, 250, 0, 6).second, 0);
    EXPECT_EQ(autoVibrato(0, 250, 0, 10).second, 4);
}

} // namespace
