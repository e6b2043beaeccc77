#pragma once

// The composer's notation: the song's channels, the effects it uses, notes by
// name, cells, chords, and the lead's lines written as text.

#include "xm_builder/xm_builder.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The song's channels, one for each part.
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
int note(const char *name);

// The volume column's set-volume byte for a level of 0..64.
uint8_t volume(int level);

// Volume-column commands other than set volume.
uint8_t column(int kind, int y);
const int slideDown = 0x6, fineSlideUp = 0x9, panColumn = 0xc, glideColumn = 0xf;

XmCell play(int noteNumber, uint8_t instrument, uint8_t volumeByte = 0, uint8_t effect = 0,
            uint8_t param = 0);

// Sets the effect of a cell, keeping what else it holds.
void addEffect(XmCell &cell, uint8_t effect, uint8_t param);

struct Chord {
    const char *bass;                // the root in the bass register
    std::array<const char *, 3> pad; // close voicing, voice-led between chords
    std::array<const char *, 6> arp; // two octaves of chord tones for the pluck
    const char *stab;                // the chip stab's note and its intervals
    uint8_t stabIntervals;
};

// The chord of each bar of a pattern.
using Bars = std::array<const Chord *, 4>;

const Chord &chordAt(const Bars &bars, int row);

// One note of a line and how many rows it lasts; a rest has no note. A
// glide reaches the note by tone portamento instead of striking it.
struct Tone {
    std::string name;
    int rows;
    bool glide;
};
using Phrase = std::vector<Tone>;

// Reads a line written as "E-5 6 D-5 2 ~A-5 8 --- 4 | ...": a note and the
// rows it lasts, "~" to glide into it, "---" to rest, "|" between bars,
// each of which must last 16 rows. A slip of the pen stops the composer.
Phrase phrase(const char *text);
