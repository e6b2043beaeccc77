#include "player/mixer.h"

#include "player/mixer_frames.h"

#include <algorithm>
#include <cmath>

MixerVoice voices[voiceCount];

namespace {

int32_t rampLength = 128;
float rampStep = 1.0f / 128;

const float inverse255 = 1.0f / 255;
const float inverse256 = 1.0f / 256;
// Boundaries this many frames away or more are not looked for in a pass.
const uint32_t boundarySearchLimit = 1u << 24;

// Positions and steps: 64-bit unsigned, 32 fraction bits. A backwards step is
// the negated step, so the wrap-around of the addition moves backwards.
using Fixed = uint64_t;

Fixed positionOf(const MixerVoice &voice) {
    return Fixed{voice.position} << 32 | voice.positionFraction;
}

void storePosition(MixerVoice &voice, Fixed position) {
    voice.position = static_cast<uint32_t>(position >> 32);
    voice.positionFraction = static_cast<uint32_t>(position);
}

Fixed stepOf(const MixerVoice &voice) {
    return Fixed{voice.speedInteger} << 32 | voice.speedFraction;
}

uint32_t loopEndOf(const Sample &sample) {
    return sample.loopStart + sample.loopLength;
}

// What one pass of a voice does: its frames, whether it ends at the loop
// boundary, and its gains.
struct Pass {
    int32_t length;
    int32_t lengthBeforeRamp;
    bool boundary;
    int32_t ramp; // frames of the ramp when the pass ramps, else 0
    FrameGains delta;
    FrameGains gain;     // constant gains
    FrameGains rampGain; // advanced frame by frame
};

// Distance from the position to the boundary it moves towards.
Fixed distanceToBoundary(const MixerVoice &voice, Fixed position) {
    const Sample &sample = *voice.sample;
    if (voice.direction != forwards)
        return position - (Fixed{sample.loopStart} << 32);
    const uint32_t loopEnd = loopEndOf(sample);
    const bool beforeLoopEnd =
        static_cast<int32_t>(position >> 32) <= static_cast<int32_t>(loopEnd);
    return (Fixed{beforeLoopEnd ? loopEnd : sample.length} << 32) - position;
}

// The frames until the position reaches the boundary: the smallest n with
// n steps >= distance, when that is at most limit. Counting exactly keeps every
// mixed frame before the boundary, so interpolation reads stay inside the
// sample and its guard value, and each turn starts at or past the boundary.
bool framesToBoundary(Fixed distance, Fixed step, int32_t limit, int32_t &frames) {
    if ((distance >> 32) >= boundarySearchLimit)
        return false; // far away, or behind (a negative distance reads as huge)
    if (static_cast<unsigned __int128>(step) * static_cast<uint32_t>(limit) < distance)
        return false; // also a zero step that has a way to go
    // Boundaries within one step are common with short loops: no division.
    if (distance <= step)
        frames = distance != 0;
    else
        frames = static_cast<int32_t>(distance / step + (distance % step != 0));
    return true;
}

// A gain change starts a ramp from the integer part of the current ramp gain;
// a ramp whose targets still hold goes on.
void decideRamp(MixerVoice &voice, Pass &pass) {
    pass.delta = FrameGains{0, 0};
    pass.ramp = 0;
    if (voice.rampRemaining != 0 && voice.volumeLeft == voice.rampTargetLeft &&
        voice.volumeRight == voice.rampTargetRight) {
        pass.ramp = voice.rampRemaining;
        pass.delta.left = voice.rampDeltaLeft;
        pass.delta.right = voice.rampDeltaRight;
    } else {
        auto side = [&](int32_t volume, int32_t &target, int32_t gain, float &voiceDelta,
                        float &passDelta) {
            target = volume;
            const int32_t difference = volume - (gain >> 8);
            if (difference == 0)
                return;
            passDelta = static_cast<float>(difference) * inverse255 * rampStep;
            voiceDelta = passDelta;
            pass.ramp = rampLength;
        };
        side(voice.volumeLeft, voice.rampTargetLeft, voice.rampGainLeft, voice.rampDeltaLeft,
             pass.delta.left);
        side(voice.volumeRight, voice.rampTargetRight, voice.rampGainRight, voice.rampDeltaRight,
             pass.delta.right);
    }
    if (pass.ramp > 0) {
        voice.rampRemaining = pass.ramp;
        pass.length = std::min(pass.length, pass.ramp);
    }
}

Pass setUpPass(MixerVoice &voice, Fixed position, int32_t framesLeft) {
    Pass pass{};
    pass.length = framesLeft;
    int32_t frames = 0;
    if (framesToBoundary(distanceToBoundary(voice, position), stepOf(voice), pass.length, frames)) {
        pass.length = frames;
        pass.boundary = true;
    }
    pass.lengthBeforeRamp = pass.length;
    decideRamp(voice, pass);
    pass.gain.left = static_cast<float>(voice.volumeLeft) * inverse255;
    pass.gain.right = static_cast<float>(voice.volumeRight) * inverse255;
    pass.rampGain.left = static_cast<float>(voice.rampGainLeft) * inverse256 * inverse255;
    pass.rampGain.right = static_cast<float>(voice.rampGainRight) * inverse256 * inverse255;
    return pass;
}

// The reference loops, for every processor.

uint64_t addConstantFrames(float *out, int32_t count, const int16_t *data, uint64_t position,
                           uint64_t step, FrameGains gains) {
    for (int32_t k = 0; k < count; ++k, out += 2) {
        const float x = nextValue(data, position, step);
        out[0] += x * gains.left;
        out[1] += x * gains.right;
    }
    return position;
}

uint64_t addRampFrames(float *out, int32_t count, const int16_t *data, uint64_t position,
                       uint64_t step, FrameGains &gains, FrameGains deltas) {
    for (int32_t k = 0; k < count; ++k, out += 2) {
        const float x = nextValue(data, position, step);
        out[0] += x * gains.left;
        out[1] += x * gains.right;
        gains.left += deltas.left;
        gains.right += deltas.right;
    }
    return position;
}

void convertValues(int16_t *destination, const float *source, int64_t count) {
    for (int64_t k = 0; k < count; ++k) {
        // Rounds in the default mode, to nearest with ties to even.
        const float rounded = std::nearbyint(source[k]);
        destination[k] = static_cast<int16_t>(std::fmin(std::fmax(rounded, -32768.0f), 32767.0f));
    }
}

const FrameLoops scalarLoops{addConstantFrames, addRampFrames, convertValues};

const FrameLoops *loopsOf(MixerPath path) {
    switch (path) {
    case MixerPath::scalar:
        return &scalarLoops;
    case MixerPath::sse2:
        return sse2FrameLoops();
    case MixerPath::avx2:
        return avx2FrameLoops();
    }
    return nullptr;
}

MixerPath selectedPath = fastestMixerPath();
const FrameLoops *frameLoops = loopsOf(selectedPath);

bool isSilent(const Pass &pass) {
    return pass.gain.left == 0 && pass.gain.right == 0 && pass.rampGain.left == 0 &&
           pass.rampGain.right == 0;
}

// Constant gains; an odd last frame goes through the ramp loop with no change
// of gain.
Fixed mixConstantFrames(float *out, const int16_t *data, Fixed position, Fixed step, Pass &pass) {
    const int32_t pairs = pass.length / 2;
    position = frameLoops->constant(out, 2 * pairs, data, position, step, pass.gain);
    if (pass.length & 1)
        position = frameLoops->ramp(out + 4 * pairs, 1, data, position, step, pass.rampGain,
                                    FrameGains{0, 0});
    return position;
}

// Stores the ramp's progress; true when a ramp ended before the pass would
// have, so a new pass takes the rest of the stretch.
bool finishRamp(MixerVoice &voice, const Pass &pass) {
    if (pass.ramp == 0)
        return false;
    voice.rampGainLeft = static_cast<int32_t>(std::nearbyint(pass.rampGain.left * 255.0f * 256.0f));
    voice.rampGainRight =
        static_cast<int32_t>(std::nearbyint(pass.rampGain.right * 255.0f * 256.0f));
    voice.rampRemaining = pass.ramp - pass.length;
    if (voice.rampRemaining != 0)
        return false;
    voice.rampDeltaLeft = voice.rampDeltaRight = 0;
    voice.rampGainLeft = voice.volumeLeft * 256;
    voice.rampGainRight = voice.volumeRight * 256;
    return pass.length < pass.lengthBeforeRamp;
}

// value % divisor, without a division in the common case of one turn.
template <class Unsigned> Unsigned remainderOf(Unsigned value, Unsigned divisor) {
    return value < divisor ? value : value % divisor;
}

// Back by whole loop lengths until inside the loop.
void wrapForwardLoop(const Sample &sample, Fixed &position) {
    const uint32_t frame = static_cast<uint32_t>(position >> 32);
    const uint32_t wrapped =
        sample.loopStart + remainderOf(frame - sample.loopStart, sample.loopLength);
    position = Fixed{wrapped} << 32 | static_cast<uint32_t>(position);
}

// Reflections at the loop's ends, each to 2B - P - 2^-32, until the position
// lies inside the loop. Two reflections in a row move the position by twice
// the loop length, so the count of reflections reduces to a remainder.
void turnPingPongLoop(MixerVoice &voice, const Sample &sample, Fixed &position) {
    const Fixed start = Fixed{sample.loopStart} << 32;
    const Fixed length = Fixed{sample.loopLength} << 32;
    const Fixed end = start + length;
    if (voice.direction == forwards) {
        const Fixed beyond = remainderOf(position - end, 2 * length);
        voice.direction = beyond < length ? backwards : forwards;
        position = beyond < length ? end - beyond - 1 : start + (beyond - length);
    } else if (position == start) {
        voice.direction = forwards; // exactly on the start: reflected onto itself
    } else {
        const Fixed before = remainderOf(start - position - 1, 2 * length);
        voice.direction = before < length ? forwards : backwards;
        position = before < length ? start + before : end - (before - length) - 1;
    }
}

// At the boundary: loop, or stop a sample that doesn't loop. False when the
// voice stopped.
bool turnAtBoundary(MixerVoice &voice, Fixed &position) {
    const Sample &sample = *voice.sample;
    if (sample.loopType == loopForward && sample.loopLength > 0) {
        wrapForwardLoop(sample, position);
        return true;
    }
    if (sample.loopType == loopPingPong && sample.loopLength > 0) {
        turnPingPongLoop(voice, sample, position);
        return true;
    }
    voice.sample = nullptr;
    position = 0;
    return false;
}

Fixed stepForwards(const MixerVoice &voice) {
    return voice.direction == forwards ? stepOf(voice) : Fixed{0} - stepOf(voice);
}

// A voice left behind at a note start runs on silently until its slot is
// reused. Where the frame loop would add nothing but zeros only the position
// moves; and as a silent pass (no ramp, every gain 0) leaves every later pass
// of the stretch silent too, the voice goes from boundary to boundary.
void advanceSilently(MixerVoice &voice, Fixed &position, Pass pass, int32_t framesLeft) {
    for (;;) {
        position = positionAfter(position, stepForwards(voice), pass.length);
        framesLeft -= pass.length;
        if (!pass.boundary || !turnAtBoundary(voice, position) || framesLeft == 0)
            return;
        pass.length = framesLeft;
        pass.boundary = framesToBoundary(distanceToBoundary(voice, position), stepOf(voice),
                                         framesLeft, pass.length);
    }
}

void mixVoice(MixerVoice &voice, float *buffer, int32_t frameCount) {
    Fixed position = positionOf(voice);
    int32_t done = 0;
    while (done < frameCount) {
        Pass pass = setUpPass(voice, position, frameCount - done);
        if (pass.ramp == 0 && isSilent(pass)) {
            advanceSilently(voice, position, pass, frameCount - done);
            break;
        }
        float *out = buffer + 2 * done;
        const int16_t *data = voice.sample->data;
        const Fixed step = stepForwards(voice);
        position = pass.ramp != 0 ? frameLoops->ramp(out, pass.length, data, position, step,
                                                     pass.rampGain, pass.delta)
                                  : mixConstantFrames(out, data, position, step, pass);
        done += pass.length;
        if (finishRamp(voice, pass))
            continue;
        if (pass.boundary && !turnAtBoundary(voice, position))
            break;
    }
    storePosition(voice, position);
}

} // namespace

void resetVoices() {
    for (int i = 0; i < voiceCount; ++i) {
        voices[i] = MixerVoice{};
        voices[i].index = i;
        voices[i].speedInteger = 1;
    }
}

void setRampLength(int32_t mixRate) {
    rampLength = std::max(1, mixRate * 128 / 44100);
    rampStep = 1.0f / static_cast<float>(rampLength);
}

void mixVoices(float *buffer, int32_t frameCount) {
    if (frameCount <= 0 || !buffer)
        return;
    for (int i = 0; i < mixedVoiceCount; ++i)
        if (voices[i].sample)
            mixVoice(voices[i], buffer, frameCount);
}

void convertToPcm16(int16_t *destination, const float *source, int32_t frameCount) {
    if (frameCount <= 0 || !destination || !source)
        return;
    frameLoops->convert(destination, source, 2 * int64_t{frameCount});
}

const FrameLoops &scalarFrameLoops() {
    return scalarLoops;
}

MixerPath fastestMixerPath() {
    if (avx2FrameLoops())
        return MixerPath::avx2;
    return sse2FrameLoops() ? MixerPath::sse2 : MixerPath::scalar;
}

bool selectMixerPath(MixerPath path) {
    const FrameLoops *loops = loopsOf(path);
    if (!loops)
        return false;
    selectedPath = path;
    frameLoops = loops;
    return true;
}

MixerPath selectedMixerPath() {
    return selectedPath;
}
