#include "tools/compose/parts.h"

#include "tools/compose/instruments.h"

#include <algorithm>
#include <cstdlib>

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

namespace {

// Ghost notes start 512 frames into the snare, past its crack: only the
// soft body of the drum is left.
XmCell ghostSnare(int level) {
    return play(note("C-4"), snareDrum, volume(level), sampleOffset, 0x02);
}

} // namespace

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
                const int *levels) {
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

namespace {

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

} // namespace

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
void echo(XmPattern &p, int delay, int level, int ticks) {
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

namespace {

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

} // namespace

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
