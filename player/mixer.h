#pragma once

// The software mixer: resamples each active voice by linear interpolation,
// follows its sample's loop, ramps every gain change over rampLength frames,
// and adds the voices into a float buffer of interleaved stereo frames.

#include "player/player.h"

#include <cstdint>

struct MixerVoice {
    int32_t index; // this record's slot in voices
    int32_t volumeCopy;
    int32_t frequency; // Hz, as the sequencer last computed it
    int32_t panCopy;
    int32_t volume;
    int32_t pan;
    int32_t startOffset; // first frame of the next note start
    Sample *sample;      // null: idle
    int32_t volumeLeft;  // target gains, 255 = 1.0
    int32_t volumeRight;
    uint32_t position; // play position, 32.32 frames
    uint32_t positionFraction;
    uint32_t speedFraction; // step per output frame, 32.32 frames
    uint32_t speedInteger;
    int32_t direction; // 1 forwards, 2 backwards
    int32_t rampTargetLeft;
    int32_t rampTargetRight;
    int32_t rampGainLeft; // current ramp gains, 8.8 fixed point: 255 << 8 = full
    int32_t rampGainRight;
    float rampDeltaLeft; // gain change per frame of the running ramp, 1.0 = 255
    float rampDeltaRight;
    int32_t rampRemaining; // frames left in the running ramp
};

enum VoiceDirection : int32_t {
    forwards = 1,
    backwards = 2,
};

const int voiceCount = 256;
const int mixedVoiceCount = 64; // channel c drives voice c or c + 32

extern MixerVoice voices[voiceCount];

// Clears every voice, numbers it and gives it a step of one frame.
void resetVoices();

// Sets the ramp length from the mix rate: 128 frames at 44100 Hz.
void setRampLength(int32_t mixRate);

// Adds every active voice into frameCount interleaved stereo frames of
// buffer, advancing the voices. Nothing happens for frameCount <= 0.
void mixVoices(float *buffer, int32_t frameCount);

// Rounds to nearest (ties to even) and clips 2 x frameCount values.
void convertToPcm16(int16_t *destination, const float *source, int32_t frameCount);

// The frame loops of mixVoices and convertToPcm16 come in paths that give the
// same bits: the portable scalar loops, the reference; SSE2 loops on x86; AVX2
// loops on x86 processors that have it.
enum class MixerPath { scalar, sse2, avx2 };

// The fastest path of this build on this processor: the one the mixer starts with.
MixerPath fastestMixerPath();

// False, with nothing changed, when the path is missing from this build or
// this processor. Not while a block is being mixed.
bool selectMixerPath(MixerPath path);
MixerPath selectedMixerPath();
