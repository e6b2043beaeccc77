#include "player/effects.h"

#include "player/blockfill.h"
#include "player/volume_column.h"

#include <algorithm>
#include <cmath>

namespace {

const int effectSlots = 36;
const float sineStepAngle = 0.049087375f; // just below 2 pi / 128
// Slides have no limit of their own; these keep the arithmetic in range.
const int32_t periodLimit = 1 << 30;

uint8_t highNibble(uint8_t value) {
    return value >> 4;
}
uint8_t lowNibble(uint8_t value) {
    return value & 0x0f;
}

int32_t clampTo(int32_t value, int32_t lowest, int32_t highest) {
    return value < lowest ? lowest : value > highest ? highest : value;
}

void raise(MusicChannel &channel, uint8_t flags) {
    channel.updateFlags |= flags;
}
void drop(MusicChannel &channel, uint8_t flags) {
    channel.updateFlags &= static_cast<uint8_t>(~flags);
}

void remember(uint8_t &memory, uint8_t parameter) {
    if (parameter != 0)
        memory = parameter;
}

void movePeriod(MusicChannel &channel, int32_t amount) {
    channel.period = clampTo(channel.period + amount, -periodLimit, periodLimit);
}

void volumeSlide(MusicChannel &channel, uint8_t parameter) {
    if (highNibble(parameter))
        volumeUp(channel, highNibble(parameter));
    else if (lowNibble(parameter))
        volumeDown(channel, lowNibble(parameter));
    raise(channel, updateVolume);
}

void advancePhase(int8_t &phase, uint8_t speed) {
    int8_t next = static_cast<int8_t>(static_cast<uint8_t>(phase) + speed);
    if (next > 31)
        next = static_cast<int8_t>(next - 64);
    phase = next;
}

int32_t vibratoMagnitude(const MusicChannel &channel) {
    switch (channel.waveControl & 3) {
    case 0:
        return sineMagnitude(channel.vibPos);
    case 1:
        return rampMagnitude(channel.vibPos);
    default:
        return 255;
    }
}

// The tremolo's wave 3 is the sine, where the vibrato's is the square.
int32_t tremoloMagnitude(const MusicChannel &channel) {
    switch ((channel.waveControl >> 4) & 3) {
    case 1:
        return rampMagnitude(channel.tremPos);
    case 2:
        return 255;
    default:
        return sineMagnitude(channel.tremPos);
    }
}

int32_t semitoneOffset(const ChannelRow &row, int semitones) {
    if (row.song.flags & linearFrequencyTable)
        return 64 * semitones;
    const int finetune = row.selection.sample->finetune;
    return amigaPeriod(row.channel.pitchNote + semitones, finetune) -
           amigaPeriod(row.channel.pitchNote, finetune);
}

// Heading for the first point, not there yet: its value, no slope.
void holdAtFirstPoint(MusicChannel &channel, const EnvelopePoint &first, int32_t tick) {
    channel.volEnvDone = 0;
    channel.volEnvTick = tick;
    channel.volEnvPoint = 0;
    channel.volEnvSlope = 0;
    channel.volEnvAcc = first.value * 65536;
    channel.volEnvValue = first.value;
}

int32_t retriggeredVolume(int32_t volume, uint8_t change) {
    static const int32_t steps[16] = {0, -1, -2, -4, -8, -16, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};
    switch (change) {
    case 6:
        volume = volume * 2 / 3;
        break;
    case 7:
        volume >>= 1;
        break;
    case 14:
        volume = volume * 3 / 2;
        break;
    case 15:
        volume *= 2;
        break;
    default:
        volume += steps[change & 15];
    }
    return clampTo(volume, 0, 64);
}

// Lxx: moves the volume envelope to a tick, between the points around it.
// Before the first point the envelope holds that point's value until its
// tick comes, as it does after the last; nothing is extrapolated backwards.
void setEnvelopePosition(MusicChannel &channel, const Instrument &instrument, int32_t tick) {
    const EnvelopePoint *points = instrument.volumePoints;
    const int32_t count = instrument.volumePointCount;
    if (tick < points[0].tick) {
        holdAtFirstPoint(channel, points[0], tick);
        return;
    }
    int32_t i = 0;
    while (i < count && tick > points[i + 1].tick)
        ++i;
    channel.volEnvPoint = i;
    if (i >= count - 1) {
        channel.volEnvValue = points[count - 1].value;
        channel.volEnvDone = 1;
        return;
    }
    const EnvelopePoint &here = points[i];
    const EnvelopePoint &next = points[i + 1];
    const int32_t ticks = next.tick - here.tick;
    channel.volEnvDone = 0;
    channel.volEnvTick = tick;
    channel.volEnvSlope = ticks == 0 ? 0 : (next.value - here.value) * 65536 / ticks;
    // here.tick <= tick <= next.tick, so the product stays within the segment's rise.
    channel.volEnvAcc = (tick - here.tick) * channel.volEnvSlope + here.value * 65536;
    channel.volEnvPoint = i + 1;
    channel.volEnvValue = channel.volEnvAcc >> 16;
}

// First-tick actions of the effect column.

using FirstTickAction = void (*)(ChannelRow &, RowPassState &, const ChannelSnapshot &);

void noFirstTick(ChannelRow &, RowPassState &, const ChannelSnapshot &) {}

void rememberPortaUp(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.portaUpMemory, row.cell.effectParam);
}

void rememberPortaDown(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.portaDownMemory, row.cell.effectParam);
}

// The note only sets the target: it neither starts nor changes the pitch.
void aimTonePortamento(MusicChannel &channel) {
    channel.portaTarget = channel.notePeriod;
    drop(channel, updatePitch | updateStart);
}

void startTonePortamento(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.portaSpeed, row.cell.effectParam);
    aimTonePortamento(row.channel);
}

void startVibrato(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.vibSpeed, highNibble(row.cell.effectParam));
    remember(row.channel.vibDepth, lowNibble(row.cell.effectParam));
    vibratoStep(row.channel);
}

void startTonePortamentoSlide(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    aimTonePortamento(row.channel);
    remember(row.channel.volumeSlideMemory, row.cell.effectParam);
}

void startVibratoSlide(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.volumeSlideMemory, row.cell.effectParam);
    vibratoStep(row.channel);
}

void startTremolo(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.tremSpeed, highNibble(row.cell.effectParam));
    remember(row.channel.tremDepth, lowNibble(row.cell.effectParam));
}

void setPanning(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    row.channel.channelPan = row.cell.effectParam;
    raise(row.channel, updatePanning);
}

// An offset at or past the loop's end starts no note: the voice rewinds instead.
void setSampleOffset(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    MusicChannel &channel = row.channel;
    if (row.cell.effectParam != 0)
        channel.sampleOffsetMemory = row.cell.effectParam;
    const uint32_t offset = 256 * static_cast<uint32_t>(channel.sampleOffsetMemory);
    const Sample &sample = *row.selection.sample;
    if (offset >= sample.loopStart + sample.loopLength) {
        drop(channel, updateStart);
        raise(channel, updateRewind);
    } else {
        channel.voice->startOffset = static_cast<int32_t>(offset);
    }
}

void rememberVolumeSlide(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.volumeSlideMemory, row.cell.effectParam);
}

void jumpToOrder(ChannelRow &row, RowPassState &pass, const ChannelSnapshot &) {
    Song &song = row.song;
    song.nextRow = 0;
    song.nextOrder = row.cell.effectParam < song.songLength ? row.cell.effectParam : 0;
    pass.positionJumpSeen = true;
}

void setVolume(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    row.channel.channelVolume = row.cell.effectParam;
    raise(row.channel, updateVolume);
}

// The row is 10x + y, with y not limited to 9; an earlier jump in the same
// row keeps its order.
void breakPattern(ChannelRow &row, RowPassState &pass, const ChannelSnapshot &) {
    Song &song = row.song;
    const uint8_t parameter = row.cell.effectParam;
    const int32_t target = 10 * highNibble(parameter) + lowNibble(parameter);
    song.nextRow = target > 63 ? 0 : target;
    if (!pass.positionJumpSeen)
        song.nextOrder = song.order + 1;
    if (song.nextOrder >= song.songLength)
        song.nextOrder = 0;
}

void setSpeedOrTempo(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    if (row.cell.effectParam < 32)
        row.song.speed = row.cell.effectParam;
    else
        setBpm(&row.song, row.cell.effectParam);
}

void setGlobalVolume(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    row.song.globalVolume = row.cell.effectParam > 64 ? 64 : row.cell.effectParam;
    raise(row.channel, updateVolume);
}

void rememberGlobalSlide(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.song.globalVolumeSlideMemory, row.cell.effectParam);
}

void moveEnvelope(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    const Instrument &instrument = *row.selection.instrument;
    if (instrument.volumeType & envelopeOn)
        setEnvelopePosition(row.channel, instrument, row.cell.effectParam);
}

void rememberPanSlide(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    if (row.cell.effectParam == 0)
        return;
    row.channel.panSlideMemory = row.cell.effectParam;
    raise(row.channel, updatePanning);
}

void setRetrig(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    if (row.cell.effectParam == 0)
        return;
    row.channel.retrigVolume = highNibble(row.cell.effectParam);
    row.channel.retrigInterval = lowNibble(row.cell.effectParam);
}

void startTremor(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    const uint8_t parameter = row.cell.effectParam;
    if (parameter != 0) {
        row.channel.tremorOnTicks = static_cast<uint8_t>(highNibble(parameter) + 1);
        row.channel.tremorOffTicks = static_cast<uint8_t>(lowNibble(parameter) + 1);
    }
    tremorStep(row.channel);
}

void extraFinePortamento(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    MusicChannel &channel = row.channel;
    const uint8_t y = lowNibble(row.cell.effectParam);
    if (highNibble(row.cell.effectParam) == 1) {
        remember(channel.extraFinePortaUpMemory, y);
        movePeriod(channel, -channel.extraFinePortaUpMemory);
    } else if (highNibble(row.cell.effectParam) == 2) {
        remember(channel.extraFinePortaDownMemory, y);
        movePeriod(channel, channel.extraFinePortaDownMemory);
    }
}

// First-tick actions of the extended effects, by x.

void finePortaUp(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.finePortaUpMemory, lowNibble(row.cell.effectParam));
    movePeriod(row.channel, -4 * row.channel.finePortaUpMemory);
}

void finePortaDown(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.finePortaDownMemory, lowNibble(row.cell.effectParam));
    movePeriod(row.channel, 4 * row.channel.finePortaDownMemory);
}

void setVibratoWave(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    row.channel.waveControl =
        static_cast<uint8_t>((row.channel.waveControl & 0xf0) | lowNibble(row.cell.effectParam));
}

// Writes the sample itself: the change lasts for the rest of playback. The
// shared empty sample stays as it is.
void setFinetune(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    if (row.selection.sample != &emptySample)
        row.selection.sample->finetune = static_cast<int8_t>(lowNibble(row.cell.effectParam));
}

void patternLoop(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    MusicChannel &channel = row.channel;
    const uint8_t count = lowNibble(row.cell.effectParam);
    if (count == 0) {
        channel.loopStartRow = row.song.row;
        return;
    }
    channel.loopCounter = channel.loopCounter == 0 ? count : channel.loopCounter - 1;
    if (channel.loopCounter != 0)
        row.song.nextRow = channel.loopStartRow;
}

void setTremoloWave(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    row.channel.waveControl = static_cast<uint8_t>((row.channel.waveControl & 0x0f) |
                                                   lowNibble(row.cell.effectParam) << 4);
}

void setCoarsePanning(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    row.channel.channelPan = 16 * lowNibble(row.cell.effectParam);
    raise(row.channel, updatePanning);
}

void fineVolumeUp(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.fineVolumeSlideMemory, lowNibble(row.cell.effectParam));
    volumeUp(row.channel, row.channel.fineVolumeSlideMemory);
}

void fineVolumeDown(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    remember(row.channel.fineVolumeSlideMemory, lowNibble(row.cell.effectParam));
    volumeDown(row.channel, row.channel.fineVolumeSlideMemory);
}

// The note waits: nothing of the cell shows until the delay's tick.
void delayNote(ChannelRow &row, RowPassState &, const ChannelSnapshot &before) {
    MusicChannel &channel = row.channel;
    drop(channel, updatePitch | updateVolume | updatePanning | updateStart);
    channel.period = before.period;
    channel.channelVolume = before.channelVolume;
    channel.channelPan = before.channelPan;
}

void delayPattern(ChannelRow &row, RowPassState &, const ChannelSnapshot &) {
    row.song.patternDelayTicks = lowNibble(row.cell.effectParam) * row.song.speed;
}

const FirstTickAction extendedFirstTick[16] = {
    noFirstTick, finePortaUp,    finePortaDown,    noFirstTick, setVibratoWave, setFinetune,
    patternLoop, setTremoloWave, setCoarsePanning, noFirstTick, fineVolumeUp,   fineVolumeDown,
    noFirstTick, delayNote,      delayPattern,     noFirstTick,
};

void extendedEffectFirstTick(ChannelRow &row, RowPassState &pass, const ChannelSnapshot &before) {
    extendedFirstTick[highNibble(row.cell.effectParam)](row, pass, before);
}

const FirstTickAction firstTickActions[effectSlots] = {
    noFirstTick,              // 0 arpeggio
    rememberPortaUp,          // 1
    rememberPortaDown,        // 2
    startTonePortamento,      // 3
    startVibrato,             // 4
    startTonePortamentoSlide, // 5
    startVibratoSlide,        // 6
    startTremolo,             // 7
    setPanning,               // 8
    setSampleOffset,          // 9
    rememberVolumeSlide,      // A
    jumpToOrder,              // B
    setVolume,                // C
    breakPattern,             // D
    extendedEffectFirstTick,  // E
    setSpeedOrTempo,          // F
    setGlobalVolume,          // G
    rememberGlobalSlide,      // H
    noFirstTick,              // 18
    noFirstTick,              // 19
    noFirstTick,              // K: the row pass releases the key
    moveEnvelope,             // L
    noFirstTick,              // 22
    noFirstTick,              // 23
    noFirstTick,              // 24
    rememberPanSlide,         // P
    noFirstTick,              // 26
    setRetrig,                // R
    noFirstTick,              // 28
    startTremor,              // T
    noFirstTick,              // 30
    noFirstTick,              // 31
    noFirstTick,              // 32
    extraFinePortamento,      // X
    noFirstTick,              // 34
    noFirstTick,              // 35
};

// Later-tick actions of the effect column.

using LaterTickAction = void (*)(ChannelRow &);

void noLaterTick(ChannelRow &) {}

void arpeggio(ChannelRow &row) {
    const uint8_t parameter = row.cell.effectParam;
    if (parameter == 0)
        return;
    const int32_t step = row.song.tick % 3;
    if (step != 0)
        row.channel.periodDelta =
            semitoneOffset(row, step == 1 ? highNibble(parameter) : lowNibble(parameter));
    raise(row.channel, updatePitch);
}

void portaUp(ChannelRow &row) {
    MusicChannel &channel = row.channel;
    movePeriod(channel, -4 * channel.portaUpMemory);
    if (channel.period < 56)
        channel.period = 56;
    channel.periodDelta = 0;
    raise(channel, updatePitch);
}

void portaDown(ChannelRow &row) {
    movePeriod(row.channel, 4 * row.channel.portaDownMemory);
    row.channel.periodDelta = 0;
    raise(row.channel, updatePitch);
}

void tonePortamento(ChannelRow &row) {
    row.channel.periodDelta = 0;
    tonePortaStep(row.channel);
}

void vibrato(ChannelRow &row) {
    vibratoStep(row.channel);
    advanceVibratoPhase(row.channel);
}

void tonePortamentoSlide(ChannelRow &row) {
    tonePortamento(row);
    volumeSlide(row.channel, row.channel.volumeSlideMemory);
}

void vibratoSlide(ChannelRow &row) {
    vibrato(row);
    volumeSlide(row.channel, row.channel.volumeSlideMemory);
}

void tremolo(ChannelRow &row) {
    tremoloStep(row.channel);
}

void slideVolume(ChannelRow &row) {
    volumeSlide(row.channel, row.channel.volumeSlideMemory);
}

// The voices take the new global volume on their next volume update.
void slideGlobalVolume(ChannelRow &row) {
    Song &song = row.song;
    const uint8_t parameter = song.globalVolumeSlideMemory;
    if (highNibble(parameter))
        song.globalVolume = clampTo(song.globalVolume + highNibble(parameter), 0, 64);
    else if (lowNibble(parameter))
        song.globalVolume = clampTo(song.globalVolume - lowNibble(parameter), 0, 64);
}

void slidePanning(ChannelRow &row) {
    MusicChannel &channel = row.channel;
    const uint8_t parameter = channel.panSlideMemory;
    if (highNibble(parameter))
        channel.channelPan = clampTo(channel.channelPan + highNibble(parameter), -panLimit, 255);
    else if (lowNibble(parameter))
        channel.channelPan = clampTo(channel.channelPan - lowNibble(parameter), 0, panLimit);
    raise(channel, updatePanning);
}

void retrigger(ChannelRow &row) {
    MusicChannel &channel = row.channel;
    if (channel.retrigInterval == 0 || row.song.tick % channel.retrigInterval != 0)
        return;
    if (channel.retrigVolume != 0) {
        channel.channelVolume = retriggeredVolume(channel.channelVolume, channel.retrigVolume);
        raise(channel, updateVolume);
    }
    raise(channel, updateStart);
}

void tremor(ChannelRow &row) {
    tremorStep(row.channel);
}

// Later-tick actions of the extended effects, by x.

void retriggerNote(ChannelRow &row) {
    const uint8_t interval = lowNibble(row.cell.effectParam);
    if (interval != 0 && row.song.tick % interval == 0)
        raise(row.channel, updatePitch | updateVolume | updateStart);
}

void cutNote(ChannelRow &row) {
    if (row.song.tick == lowNibble(row.cell.effectParam)) {
        row.channel.channelVolume = 0;
        raise(row.channel, updateVolume);
    }
}

void playDelayedNote(ChannelRow &row) {
    MusicChannel &channel = row.channel;
    if (row.song.tick != lowNibble(row.cell.effectParam)) {
        drop(channel, updatePitch | updateVolume | updatePanning | updateStart);
        return;
    }
    resetChannel(channel, *row.selection.sample);
    channel.period = channel.notePeriod;
    raise(channel, updatePitch);
    if (row.cell.volumeColumn != 0)
        applyVolumeColumn(channel, row.cell.volumeColumn);
    raise(channel, updateStart);
}

const LaterTickAction extendedLaterTick[16] = {
    noLaterTick, noLaterTick,     noLaterTick, noLaterTick,   noLaterTick, noLaterTick,
    noLaterTick, noLaterTick,     noLaterTick, retriggerNote, noLaterTick, noLaterTick,
    cutNote,     playDelayedNote, noLaterTick, noLaterTick,
};

void extendedEffectLaterTick(ChannelRow &row) {
    extendedLaterTick[highNibble(row.cell.effectParam)](row);
}

const LaterTickAction laterTickActions[effectSlots] = {
    arpeggio,                // 0
    portaUp,                 // 1
    portaDown,               // 2
    tonePortamento,          // 3
    vibrato,                 // 4
    tonePortamentoSlide,     // 5
    vibratoSlide,            // 6
    tremolo,                 // 7
    noLaterTick,             // 8
    noLaterTick,             // 9
    slideVolume,             // A
    noLaterTick,             // B
    noLaterTick,             // C
    noLaterTick,             // D
    extendedEffectLaterTick, // E
    noLaterTick,             // F
    noLaterTick,             // G
    slideGlobalVolume,       // H
    noLaterTick,             // 18
    noLaterTick,             // 19
    noLaterTick,             // K
    noLaterTick,             // L
    noLaterTick,             // 22
    noLaterTick,             // 23
    noLaterTick,             // 24
    slidePanning,            // P
    noLaterTick,             // 26
    retrigger,               // R
    noLaterTick,             // 28
    tremor,                  // T
    noLaterTick,             // 30
    noLaterTick,             // 31
    noLaterTick,             // 32
    noLaterTick,             // X
    noLaterTick,             // 34
    noLaterTick,             // 35
};

} // namespace

void volumeUp(MusicChannel &channel, int32_t amount) {
    channel.channelVolume += amount;
    if (channel.channelVolume > 64)
        channel.channelVolume = 64;
    raise(channel, updateVolume);
}

void volumeDown(MusicChannel &channel, int32_t amount) {
    channel.channelVolume -= amount;
    if (channel.channelVolume < 0)
        channel.channelVolume = 0;
    raise(channel, updateVolume);
}

int32_t sineMagnitude(int32_t phase) {
    // The angle is a single-precision product; the sine is the double one.
    const float angle = static_cast<float>(2 * phase) * sineStepAngle;
    return static_cast<int32_t>(256 * std::fabs(std::sin(static_cast<double>(angle))));
}

int32_t rampMagnitude(int32_t phase) {
    return phase >= 0 ? 8 * phase : 255 - 8 * (phase + 32);
}

bool holdsTonePortamento(const PatternCell &cell) {
    return cell.effect == 3 || cell.effect == 5 || cell.volumeColumn >= 0xf0;
}

void advanceVibratoPhase(MusicChannel &channel) {
    advancePhase(channel.vibPos, channel.vibSpeed);
}

void tonePortaStep(MusicChannel &channel) {
    const int32_t step = 4 * channel.portaSpeed;
    if (channel.period < channel.portaTarget)
        channel.period = std::min(channel.period + step, channel.portaTarget);
    else if (channel.period > channel.portaTarget)
        channel.period = std::max(channel.period - step, channel.portaTarget);
    raise(channel, updatePitch);
}

// The first half of the cycle (phases 0..31) lowers the period's sounding pitch.
void vibratoStep(MusicChannel &channel) {
    const int32_t depth = ((vibratoMagnitude(channel) * channel.vibDepth) >> 5) & ~3;
    channel.periodDelta = channel.vibPos >= 0 ? -depth : depth;
    raise(channel, updatePitch);
}

void tremoloStep(MusicChannel &channel) {
    const int32_t amount = (tremoloMagnitude(channel) * channel.tremDepth) >> 6;
    if (channel.tremPos >= 0)
        channel.volumeDelta =
            channel.channelVolume + amount > 64 ? 64 - channel.channelVolume : amount;
    else
        channel.volumeDelta = amount > channel.channelVolume ? -channel.channelVolume : -amount;
    advancePhase(channel.tremPos, channel.tremSpeed);
    raise(channel, updateVolume);
}

void tremorStep(MusicChannel &channel) {
    if (channel.tremorCounter >= channel.tremorOnTicks)
        channel.volumeDelta = -channel.channelVolume;
    channel.tremorCounter += 1;
    if (channel.tremorCounter >= channel.tremorOnTicks + channel.tremorOffTicks)
        channel.tremorCounter = 0;
    raise(channel, updateVolume);
}

void effectFirstTick(ChannelRow &row, RowPassState &pass, const ChannelSnapshot &before) {
    if (row.cell.effect < effectSlots)
        firstTickActions[row.cell.effect](row, pass, before);
}

void effectLaterTick(ChannelRow &row) {
    if (row.cell.effect < effectSlots)
        laterTickActions[row.cell.effect](row);
}
