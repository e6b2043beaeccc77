#include "tools/compose/score.h"

#include "tools/compose/instruments.h"
#include "tools/compose/parts.h"

namespace {

// ---------------------------------------------------------------------------
// Harmony: A minor, mostly i - VI - III - VII, with iv and V around the
// risers and the breakdown.

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

const Bars mainProgression = {&aMinor, &fMajor, &cMajor, &gMajor};
const Bars breakdownProgression = {&dMinor, &aMinor, &fMajor, &eMajor};

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

} // namespace

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
