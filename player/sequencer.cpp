#include "player/sequencer.h"

#include "player/effects.h"
#include "player/volume_column.h"
#include "player/settings.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

MusicChannel channels[channelCapacity];

namespace {

const float oneTwelfth = 1.0f / 12;              // 0.083333336
const float oneOver768 = 1.0f / 768;             // 0.0013020834
const float autoVibratoStepAngle = 0.024543688f; // 2 pi / 256
const int32_t lowestRate = 100;                  // Hz
const int32_t amigaClock = 14317056;
const PatternCell emptyCell = {};

bool isNote(uint8_t note) {
    return note >= 1 && note <= 96;
}
const uint8_t keyOffNote = 255;
const uint8_t keyOffEffect = 20;

const Pattern &patternAt(const Song &song, int32_t order) {
    return song.patterns[song.orderTable[order]];
}

// Rows at or beyond a pattern's end (a break or loop can name them) play nothing.
const PatternCell &cellAt(const Song &song, int channel) {
    const Pattern &pattern = patternAt(song, song.order);
    if (song.row < 0 || song.row >= pattern.rowCount)
        return emptyCell;
    return pattern.cells[song.row * song.channelCount + channel];
}

// The order after the last: the restart position, or the start when the
// restart position lies outside the song.
int32_t orderAfter(const Song &song, int32_t order) {
    if (order + 1 < song.songLength)
        return order + 1;
    return song.restartPosition >= 0 && song.restartPosition < song.songLength
               ? song.restartPosition
               : 0;
}

void chooseNextPosition(Song &song) {
    if (song.nextRow != -1)
        return;
    song.nextRow = song.row + 1;
    if (song.nextRow >= patternAt(song, song.order).rowCount) {
        song.nextRow = 0;
        song.nextOrder = orderAfter(song, song.order);
    }
}

void stepEnvelopes(MusicChannel &channel, const Instrument &instrument) {
    if (instrument.volumeType & envelopeOn) {
        if (!channel.volEnvDone)
            envelopeStep(channel, volumeEnvelopeShape(instrument), volumeEnvelopeState(channel),
                         updateVolume);
    }
    if ((instrument.panningType & envelopeOn) && !channel.panEnvDone)
        envelopeStep(channel, panningEnvelopeShape(instrument), panningEnvelopeState(channel),
                     updatePanning);
}

void fadeOut(MusicChannel &channel, const Instrument &instrument) {
    if (!channel.keyOff)
        return;
    channel.fadeoutVolume -= instrument.fadeout;
    if (channel.fadeoutVolume < 0)
        channel.fadeoutVolume = 0;
    channel.updateFlags |= updateVolume;
}

void startNote(Song &song, MusicChannel &channel, const PatternCell &cell, const Sample &sample,
               bool tonePortamento) {
    channel.pitchNote = static_cast<uint8_t>(cell.note - 1 + sample.relativeNote);
    channel.notePeriod = notePeriodOf(song, channel.pitchNote, sample.finetune);
    if (!tonePortamento)
        channel.period = channel.notePeriod;
    channel.updateFlags = updateStart;
}

void rowPassChannel(Song &song, MusicChannel &channel, const PatternCell &cell,
                    RowPassState &pass) {
    const bool tonePortamento = holdsTonePortamento(cell);
    if (cell.instrument != 0 && !tonePortamento)
        channel.instrumentIndex = static_cast<uint8_t>(cell.instrument - 1);
    if (isNote(cell.note) && !tonePortamento)
        channel.noteIndex = static_cast<uint8_t>(cell.note - 1);
    ChannelRow row{song, channel, cell, selectInstrument(song, channel)};
    const Instrument &instrument = *row.selection.instrument;
    const Sample &sample = *row.selection.sample;
    const ChannelSnapshot before{channel.period, channel.channelVolume, channel.channelPan};
    // The tremolo's last offset stays in the volume when the tremolo ends.
    if (channel.lastEffect == 7 && cell.effect != 7)
        channel.channelVolume += channel.volumeDelta;
    channel.volumeDelta = 0;
    channel.updateFlags = 0;
    channel.lastEffect = cell.effect;
    if (isNote(cell.note))
        startNote(song, channel, cell, sample, tonePortamento);
    channel.periodDelta = 0;
    channel.updateFlags |= updatePitch | updateVolume;
    if (cell.instrument != 0)
        resetChannel(channel, sample);
    if (cell.volumeColumn != 0)
        applyVolumeColumn(channel, cell.volumeColumn);
    if (cell.note == keyOffNote || cell.effect == keyOffEffect)
        channel.keyOff = 1;
    // A released note without a volume envelope falls silent at once.
    if (!(instrument.volumeType & envelopeOn) && channel.keyOff)
        channel.volEnvValue = 0;
    stepEnvelopes(channel, instrument);
    fadeOut(channel, instrument);
    effectFirstTick(row, pass, before);
    autoVibratoStep(channel, instrument);
    updateVoice(channel, sample, song);
}

void tickPassChannel(Song &song, MusicChannel &channel, const PatternCell &cell) {
    ChannelRow row{song, channel, cell, selectInstrument(song, channel)};
    const Instrument &instrument = *row.selection.instrument;
    channel.volumeDelta = 0;
    channel.periodDelta = 0;
    channel.updateFlags = 0;
    stepEnvelopes(channel, instrument);
    fadeOut(channel, instrument);
    volumeColumnTick(channel, cell.volumeColumn);
    effectLaterTick(row);
    autoVibratoStep(channel, instrument);
    updateVoice(channel, *row.selection.sample, song);
}

int32_t baseAmigaPeriod(int note) {
    return static_cast<int32_t>(13.375 * std::pow(2.0, (132 - note) * double{oneTwelfth}));
}

int32_t autoVibratoWave(uint8_t type, int32_t p) {
    switch (type) {
    case 0:
        // The angle is a single-precision product; the sine is the double one.
        return static_cast<int32_t>(
            64 * std::sin(static_cast<double>(static_cast<float>(p) * autoVibratoStepAngle)));
    case 1:
        return p < 128 ? 64 : -64;
    case 2:
        return (128 - (p + 128) % 256) >> 1;
    case 3:
        return (128 - (384 - p) % 256) >> 1;
    default:
        return 0; // no wave of its own: a flat line
    }
}

void switchToPartnerVoice(MusicChannel &channel) {
    MixerVoice &old = *channel.voice;
    const int32_t partnerIndex = old.index < 32 ? old.index + 32 : old.index - 32;
    MixerVoice &partner = voices[partnerIndex];
    partner = old;
    partner.index = partnerIndex;
    // The old voice ramps down to silence and plays out unheard.
    old.volume = old.volumeCopy = old.volumeLeft = old.volumeRight = 0;
    channel.voice = &partner;
}

void startVoice(MusicChannel &channel, const Sample &sample) {
    if (channel.voice->sample)
        switchToPartnerVoice(channel);
    MixerVoice &voice = *channel.voice;
    voice.sample = const_cast<Sample *>(&sample);
    if (static_cast<uint32_t>(voice.startOffset) >= sample.loopStart + sample.loopLength)
        voice.startOffset = 0;
    voice.position = static_cast<uint32_t>(voice.startOffset);
    voice.positionFraction = 0;
    voice.direction = forwards;
    voice.startOffset = 0;
    voice.rampGainLeft = voice.rampGainRight = 0;
    voice.rampRemaining = 0;
}

void setVoiceVolume(MusicChannel &channel, const Song &song) {
    MixerVoice &voice = *channel.voice;
    const double product = static_cast<double>(channel.channelVolume + channel.volumeDelta) *
                           channel.volEnvValue * channel.fadeoutVolume * song.globalVolume * 255;
    const int32_t volume = static_cast<int32_t>(product / 34359738368.0); // 2^35
    voice.volume = voice.volumeCopy = volume;
    voice.volumeLeft = volume * voice.pan / 255;
    voice.volumeRight = (255 - voice.pan) * volume / 255;
}

void setVoicePanning(MusicChannel &channel) {
    MixerVoice &voice = *channel.voice;
    const int32_t room = (128 - std::abs(channel.channelPan - 128)) / 32;
    int32_t pan = channel.channelPan + room * (channel.panEnvValue - 32);
    pan = pan < 0 ? 0 : pan > 255 ? 255 : pan;
    voice.pan = voice.panCopy = pan;
    voice.volumeLeft = voice.volume * pan / 255;
    voice.volumeRight = (255 - pan) * voice.volume / 255;
}

void setVoicePitch(MusicChannel &channel, const Song &song) {
    MixerVoice &voice = *channel.voice;
    voice.frequency = frequencyOf(song, channel.period, channel.periodDelta);
    const uint32_t rate =
        static_cast<uint32_t>(voice.frequency < lowestRate ? lowestRate : voice.frequency);
    voice.speedInteger = rate / mixRate;
    voice.speedFraction =
        static_cast<uint32_t>((uint64_t{rate % mixRate} << 32) / static_cast<uint32_t>(mixRate));
}

} // namespace

void resetChannels(const Song &song) {
    for (int c = 0; c < song.channelCount && c < channelCapacity; ++c) {
        channels[c] = MusicChannel{};
        channels[c].voice = &voices[c];
    }
}

void sequencerTick(Song *song) {
    if (song->tick == 0) {
        if (song->nextOrder >= 0)
            song->order = song->nextOrder;
        if (song->nextRow >= 0)
            song->row = song->nextRow;
        processRow(*song);
        chooseNextPosition(*song);
    } else {
        processTick(*song);
    }
    song->tick += 1;
    if (song->tick >= song->speed + song->patternDelayTicks) {
        song->tick = 0;
        song->patternDelayTicks = 0;
    }
}

void processRow(Song &song) {
    song.nextRow = -1;
    song.nextOrder = -1;
    RowPassState pass{false};
    for (int c = 0; c < song.channelCount; ++c)
        rowPassChannel(song, channels[c], cellAt(song, c), pass);
}

void processTick(Song &song) {
    for (int c = 0; c < song.channelCount; ++c)
        tickPassChannel(song, channels[c], cellAt(song, c));
}

Selection selectInstrument(const Song &song, const MusicChannel &channel) {
    if (channel.instrumentIndex >= song.instrumentCount)
        return Selection{&emptyInstrument, &emptySample};
    Instrument &instrument = song.instruments[channel.instrumentIndex];
    const uint8_t slot = channel.noteIndex < 96 ? instrument.sampleMap[channel.noteIndex] : 16;
    return Selection{&instrument, slot < 16 ? instrument.samples[slot] : &emptySample};
}

void resetChannel(MusicChannel &channel, const Sample &sample) {
    channel.channelVolume = sample.volume;
    channel.channelPan = sample.panning;
    channel.volEnvValue = 64;
    channel.volEnvTick = channel.volEnvPoint = channel.volEnvSlope = 0;
    channel.volEnvDone = 0;
    channel.panEnvValue = 32;
    channel.panEnvTick = channel.panEnvPoint = channel.panEnvSlope = 0;
    channel.panEnvDone = 0;
    channel.keyOff = 0;
    channel.fadeoutVolume = 65536;
    channel.autoVibPos = channel.autoVibSweep = 0;
    channel.tremorCounter = 0;
    // Waveforms 4..7 keep their phase.
    if ((channel.waveControl & 0x0f) < 4)
        channel.vibPos = 0;
    if ((channel.waveControl >> 4) < 4)
        channel.tremPos = 0;
    channel.updateFlags |= updateVolume | updatePanning;
}

EnvelopeState volumeEnvelopeState(MusicChannel &channel) {
    return EnvelopeState{channel.volEnvTick,  channel.volEnvPoint, channel.volEnvAcc,
                         channel.volEnvValue, channel.volEnvSlope, channel.volEnvDone};
}

EnvelopeState panningEnvelopeState(MusicChannel &channel) {
    return EnvelopeState{channel.panEnvTick,  channel.panEnvPoint, channel.panEnvAcc,
                         channel.panEnvValue, channel.panEnvSlope, channel.panEnvDone};
}

EnvelopeShape volumeEnvelopeShape(const Instrument &instrument) {
    return EnvelopeShape{instrument.volumePoints,  instrument.volumePointCount,
                         instrument.volumeSustain, instrument.volumeLoopStart,
                         instrument.volumeLoopEnd, instrument.volumeType};
}

EnvelopeShape panningEnvelopeShape(const Instrument &instrument) {
    return EnvelopeShape{instrument.panningPoints,  instrument.panningPointCount,
                         instrument.panningSustain, instrument.panningLoopStart,
                         instrument.panningLoopEnd, instrument.panningType};
}

void envelopeStep(MusicChannel &channel, const EnvelopeShape &envelope, EnvelopeState state,
                  uint8_t flag) {
    channel.updateFlags |= flag;
    if (state.point < envelope.count) {
        if (state.tick == envelope.points[state.point].tick) {
            // The loop comes first, so a loop ending on the last point loops.
            if ((envelope.type & envelopeLoop) && state.point == envelope.loopEnd) {
                state.point = envelope.loopStart;
                state.tick = envelope.points[envelope.loopStart].tick;
            }
            const EnvelopePoint &here = envelope.points[state.point];
            if (state.point == envelope.count - 1) {
                state.value = here.value;
                state.done = 1;
                return;
            }
            if ((envelope.type & envelopeSustain) && state.point == envelope.sustain &&
                !channel.keyOff) {
                state.value = here.value; // holds here until the key is released
                return;
            }
            const EnvelopePoint &next = envelope.points[state.point + 1];
            const int32_t ticks = next.tick - here.tick;
            state.slope = ticks == 0 ? 0 : (next.value - here.value) * 65536 / ticks;
            state.accumulator = here.value * 65536;
            state.point += 1;
        } else if (state.point == 0) {
            // Before the first point's tick (a first point after tick 0): hold
            // its value rather than whatever the last note left behind.
            state.accumulator = envelope.points[0].value * 65536;
        } else {
            state.accumulator += state.slope;
        }
    }
    state.value = state.accumulator >> 16;
    state.tick += 1;
}

void autoVibratoStep(MusicChannel &channel, const Instrument &instrument) {
    int32_t amount =
        autoVibratoWave(instrument.vibratoType, channel.autoVibPos) * instrument.vibratoDepth;
    if (instrument.vibratoSweep != 0)
        amount = amount * channel.autoVibSweep / instrument.vibratoSweep;
    channel.periodDelta += amount >> 6;
    if (channel.autoVibSweep < instrument.vibratoSweep)
        channel.autoVibSweep += 1;
    channel.autoVibPos += instrument.vibratoRate;
    if (channel.autoVibPos > 255)
        channel.autoVibPos -= 256;
    channel.updateFlags |= updatePitch;
}

int32_t amigaPeriod(int note, int finetune) {
    const int32_t base = baseAmigaPeriod(note);
    if (finetune >= 0 || note == 0)
        return base - (base - baseAmigaPeriod(note + 1)) * finetune / 128;
    return base + (baseAmigaPeriod(note - 1) - base) * -finetune / 128;
}

int32_t notePeriodOf(const Song &song, int note, int finetune) {
    if (song.flags & linearFrequencyTable)
        return 7680 - 64 * note - finetune / 2;
    return amigaPeriod(note, finetune);
}

int32_t frequencyOf(const Song &song, int32_t period, int32_t periodDelta) {
    if (song.flags & linearFrequencyTable) {
        const int64_t units = 4608 - int64_t{period} + periodDelta;
        const double exponent = static_cast<double>(units) * double{oneOver768};
        const double frequency = 8363 * std::pow(2.0, exponent);
        // Periods far below 0 would not fit: the highest frequency stands in.
        return frequency >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(frequency);
    }
    const int64_t divisor = int64_t{period} + periodDelta;
    if (divisor == 0)
        return 0;
    return static_cast<int32_t>(amigaClock / divisor);
}

void updateVoice(MusicChannel &channel, const Sample &sample, const Song &song) {
    if (int64_t{channel.period} + channel.periodDelta == 0)
        channel.updateFlags &= static_cast<uint8_t>(~updatePitch);
    if (channel.updateFlags & updateStart)
        startVoice(channel, sample);
    if (channel.updateFlags & updateVolume)
        setVoiceVolume(channel, song);
    if (channel.updateFlags & updatePanning)
        setVoicePanning(channel);
    if (channel.updateFlags & updatePitch)
        setVoicePitch(channel, song);
    if (channel.updateFlags & updateRewind) {
        // Back to the start of the sample, played forwards from there: a voice
        // on its way back through a ping-pong loop would otherwise run on
        // backwards from frame 0, before the start of its data.
        MixerVoice &voice = *channel.voice;
        voice.position = voice.positionFraction = 0;
        voice.startOffset = 0;
        voice.direction = forwards;
    }
}
