#pragma once

// The sequencer: turns the pattern data of the playing song into the state
// of the mixer's voices, one tick at a time. Runs on the thread that mixes;
// allocates nothing and fails on nothing.

#include "player/mixer.h"
#include "player/player.h"

#include <cstdint>

// What updateVoice must act on this tick.
enum UpdateFlags : uint8_t {
    updatePitch = 1,
    updateVolume = 2,
    updatePanning = 4,
    updateStart = 8,
    updateRewind = 32,
};

struct MusicChannel {
    uint8_t noteIndex; // last note read, minus 1: the index into the sample map
    uint8_t updateFlags;
    MixerVoice *voice; // voice c or c + 32
    int32_t period;
    int32_t channelVolume;
    int32_t channelPan;  // 128 = centre; larger values favour the left
    int32_t volumeDelta; // this tick's tremolo or tremor offset
    int32_t periodDelta; // this tick's vibrato, arpeggio and auto-vibrato offset
    int32_t volEnvTick;
    int32_t volEnvPoint;
    int32_t volEnvAcc;   // 16.16
    int32_t volEnvValue; // 0..64
    int32_t volEnvSlope; // 16.16 per tick
    uint8_t volEnvDone;
    int32_t panEnvTick;
    int32_t panEnvPoint;
    int32_t panEnvAcc;
    int32_t panEnvValue; // 0..64, 32 = no shift
    int32_t panEnvSlope;
    uint8_t panEnvDone;
    int32_t fadeoutVolume; // 65536 = full
    int32_t autoVibPos;
    int32_t autoVibSweep;
    uint8_t keyOff;
    uint8_t instrumentIndex; // last instrument number read, minus 1
    uint8_t pitchNote;       // noteIndex + the sample's relative note
    int32_t notePeriod;      // the period of the last note read; the tone-portamento target
    uint8_t lastEffect;
    int32_t sampleOffsetMemory;
    uint8_t portaDownMemory;
    uint8_t portaUpMemory;
    uint8_t extraFinePortaDownMemory;
    uint8_t extraFinePortaUpMemory;
    uint8_t volumeSlideMemory;
    uint8_t panSlideMemory;
    uint8_t retrigVolume;
    uint8_t retrigInterval;
    int32_t portaTarget;
    uint8_t portaSpeed;
    int8_t vibPos; // -32..31
    uint8_t vibSpeed;
    uint8_t vibDepth;
    int8_t tremPos; // -32..31
    uint8_t tremSpeed;
    uint8_t tremDepth;
    uint8_t tremorCounter;
    uint8_t tremorOnTicks;
    uint8_t tremorOffTicks;
    int32_t loopStartRow;
    int32_t loopCounter;
    uint8_t waveControl; // low nibble: vibrato wave; high nibble: tremolo wave
    uint8_t fineVolumeSlideMemory;
    uint8_t finePortaUpMemory;
    uint8_t finePortaDownMemory;
};

const int channelCapacity = 32;

extern MusicChannel channels[channelCapacity];

// Zeroes the song's channels and gives channel c voice c.
void resetChannels(const Song &song);

// One tick of the whole song; the song's tickFunction.
void sequencerTick(Song *song);

void processRow(Song &song);
void processTick(Song &song);

// The instrument and sample a channel plays now.
struct Selection {
    Instrument *instrument;
    Sample *sample;
};
Selection selectInstrument(const Song &song, const MusicChannel &channel);

void resetChannel(MusicChannel &channel, const Sample &sample);

// The six channel fields one envelope runs on.
struct EnvelopeState {
    int32_t &tick;
    int32_t &point;
    int32_t &accumulator;
    int32_t &value;
    int32_t &slope;
    uint8_t &done;
};

// The instrument fields that make up one envelope.
struct EnvelopeShape {
    const EnvelopePoint *points;
    uint8_t count;
    uint8_t sustain;
    uint8_t loopStart;
    uint8_t loopEnd;
    uint8_t type;
};

EnvelopeState volumeEnvelopeState(MusicChannel &channel);
EnvelopeState panningEnvelopeState(MusicChannel &channel);
EnvelopeShape volumeEnvelopeShape(const Instrument &instrument);
EnvelopeShape panningEnvelopeShape(const Instrument &instrument);

// Advances one envelope by one tick and raises flag.
void envelopeStep(MusicChannel &channel, const EnvelopeShape &envelope, EnvelopeState state,
                  uint8_t flag);

void autoVibratoStep(MusicChannel &channel, const Instrument &instrument);

// Periods: linear units of 1/64 semitone, or Amiga periods.
int32_t amigaPeriod(int note, int finetune);
int32_t notePeriodOf(const Song &song, int note, int finetune);
// The sounding frequency in Hz before any lower limit.
int32_t frequencyOf(const Song &song, int32_t period, int32_t periodDelta);

void updateVoice(MusicChannel &channel, const Sample &sample, const Song &song);
