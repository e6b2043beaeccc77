#pragma once

// The soundtrack's twelve instruments, synthesised in code.

#include "xm_builder/xm_builder.h"

#include <cstdint>
#include <vector>

// The instruments' numbers in the song, as pattern cells name them.
enum Instrument : uint8_t {
    kickDrum = 1,
    snareDrum,
    closedHat,
    cymbal,
    bassSynth,
    pluckSynth,
    warmPad,
    gatedPad,
    leadSynth,
    leadEcho,
    airNoise,
    chipStab,
};

// The instruments in the order of their numbers.
std::vector<XmInstrument> instruments();
