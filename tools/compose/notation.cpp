#include "tools/compose/notation.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

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

} // namespace

int note(const char *name) {
    static const int semitones[] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    const int semitone = semitones[name[0] - 'A'] + (name[1] == '#' ? 1 : 0);
    return 12 * (name[2] - '0') + semitone + 1;
}

uint8_t volume(int level) {
    return static_cast<uint8_t>(0x10 + std::clamp(level, 0, 64));
}

uint8_t column(int kind, int y) {
    return static_cast<uint8_t>(kind << 4 | y);
}

XmCell play(int noteNumber, uint8_t instrument, uint8_t volumeByte, uint8_t effect, uint8_t param) {
    return XmCell{static_cast<uint8_t>(noteNumber), instrument, volumeByte, effect, param};
}

void addEffect(XmCell &cell, uint8_t effect, uint8_t param) {
    cell.effect = effect;
    cell.param = param;
}

const Chord &chordAt(const Bars &bars, int row) {
    return *bars[static_cast<size_t>(row / barRows)];
}

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
