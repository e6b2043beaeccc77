// The mixer's frame loops on x86 vector units: SSE2, which every x86-64
// processor has, and AVX2 where the processor reports it. A run of frames is
// interpolated, scaled and added four or eight frames at a time; each frame
// still goes through the reference loop's float operations in its order (the
// product rounded, then the sum), so the bits are the same. Frames left over
// at the end of a run go through the reference loop.

#include "player/mixer_frames.h"

#include <cstring>

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))

#include <immintrin.h>

namespace {

const uint64_t lowestBit = 1;

uint32_t low32(uint64_t value) {
    return static_cast<uint32_t>(value);
}

// data[i] in the low half and data[i + 1] in the high half, i being the
// position's frame: both values a frame reads, in one load.
inline int32_t framePair(const int16_t *data, uint64_t position) {
    int32_t pair;
    std::memcpy(&pair, data + static_cast<uint32_t>(position >> 32), sizeof pair);
    return pair;
}

// first + w (next - first) for four frames, from their pairs of values and
// their position fractions (w is the fraction's upper 31 bits / 2^31).
inline __m128 interpolate(__m128i pairs, __m128i fractions) {
    const __m128 first = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
    const __m128 next = _mm_cvtepi32_ps(_mm_srai_epi32(pairs, 16));
    const __m128 w =
        _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(fractions, 1)), _mm_set1_ps(twoToMinus31));
    return _mm_add_ps(first, _mm_mul_ps(w, _mm_sub_ps(next, first)));
}

// Walks a run's frames four at a time. Every position has its lowest bit
// cleared, which changes no read (see positionAfter).
struct FourFrames {
    const int16_t *data;
    uint64_t position;
    uint64_t step;
    __m128i fractions; // the four frames' fraction words
    __m128i fractionStep;

    FourFrames(const int16_t *values, uint64_t start, uint64_t stepBy)
        : data(values), position(start & ~lowestBit), step(stepBy & ~lowestBit) {
        fractions = _mm_setr_epi32(static_cast<int32_t>(low32(position)),
                                   static_cast<int32_t>(low32(position + step)),
                                   static_cast<int32_t>(low32(position + 2 * step)),
                                   static_cast<int32_t>(low32(position + 3 * step)));
        fractionStep = _mm_set1_epi32(static_cast<int32_t>(low32(4 * step)));
    }

    // The next four frames' values.
    __m128 next() {
        const int32_t p0 = framePair(data, position);
        const int32_t p1 = framePair(data, position + step);
        const int32_t p2 = framePair(data, position + 2 * step);
        const int32_t p3 = framePair(data, position + 3 * step);
        position += 4 * step;
        const __m128 x = interpolate(_mm_setr_epi32(p0, p1, p2, p3), fractions);
        fractions = _mm_add_epi32(fractions, fractionStep);
        return x;
    }
};

// out[0..3] += (x0, x0, x1, x1) * gains: two frames of one stereo voice.
inline void addTwoFrames(float *out, __m128 values, __m128 gains) {
    _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_mul_ps(values, gains)));
}

uint64_t addConstantSse2(float *out, int32_t count, const int16_t *data, uint64_t position,
                         uint64_t step, FrameGains gains) {
    const int32_t groups = count / 4;
    if (groups > 0) {
        FourFrames frames(data, position, step);
        const __m128 gain = _mm_setr_ps(gains.left, gains.right, gains.left, gains.right);
        for (int32_t g = 0; g < groups; ++g, out += 8) {
            const __m128 x = frames.next();
            addTwoFrames(out, _mm_unpacklo_ps(x, x), gain);
            addTwoFrames(out + 4, _mm_unpackhi_ps(x, x), gain);
        }
        position = positionAfter(position, step, 4 * groups);
    }
    return scalarFrameLoops().constant(out, count - 4 * groups, data, position, step, gains);
}

// The gains follow the reference loop's chain of additions, one frame after
// the other; (left, right) sit in the two low lanes.
uint64_t addRampSse2(float *out, int32_t count, const int16_t *data, uint64_t position,
                     uint64_t step, FrameGains &gains, FrameGains deltas) {
    const int32_t groups = count / 4;
    if (groups > 0) {
        FourFrames frames(data, position, step);
        const __m128 delta = _mm_setr_ps(deltas.left, deltas.right, 0, 0);
        __m128 gain = _mm_setr_ps(gains.left, gains.right, 0, 0);
        for (int32_t g = 0; g < groups; ++g, out += 8) {
            const __m128 x = frames.next();
            const __m128 gain1 = _mm_add_ps(gain, delta);
            const __m128 gain2 = _mm_add_ps(gain1, delta);
            const __m128 gain3 = _mm_add_ps(gain2, delta);
            addTwoFrames(out, _mm_unpacklo_ps(x, x), _mm_movelh_ps(gain, gain1));
            addTwoFrames(out + 4, _mm_unpackhi_ps(x, x), _mm_movelh_ps(gain2, gain3));
            gain = _mm_add_ps(gain3, delta);
        }
        gains.left = _mm_cvtss_f32(gain);
        gains.right = _mm_cvtss_f32(_mm_shuffle_ps(gain, gain, 1));
        position = positionAfter(position, step, 4 * groups);
    }
    return scalarFrameLoops().ramp(out, count - 4 * groups, data, position, step, gains, deltas);
}

// Clipping first and rounding after gives the same values as the other way
// round, as the limits are whole numbers; a NaN becomes -32768 either way.
// Conversion rounds in the current mode, by default to nearest with ties to
// even, as the reference does.
inline __m128i roundedAndClipped(__m128 values) {
    const __m128 clipped =
        _mm_min_ps(_mm_max_ps(values, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
    return _mm_cvtps_epi32(clipped);
}

void convertSse2(int16_t *destination, const float *source, int64_t count) {
    int64_t k = 0;
    for (; k + 8 <= count; k += 8) {
        const __m128i first = roundedAndClipped(_mm_loadu_ps(source + k));
        const __m128i second = roundedAndClipped(_mm_loadu_ps(source + k + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(destination + k),
                         _mm_packs_epi32(first, second));
    }
    for (; k < count; ++k)
        destination[k] =
            static_cast<int16_t>(_mm_cvtsi128_si32(roundedAndClipped(_mm_set_ss(source[k]))));
}

const FrameLoops sse2Loops{addConstantSse2, addRampSse2, convertSse2};

// AVX2: eight frames at a time. The lanes hold the frames in the order
// 0 1 4 5 | 2 3 6 7, which the in-lane unpacking turns into the stereo frames
// 0..3 and 4..7.
const int laneFrames[8] = {0, 1, 4, 5, 2, 3, 6, 7};

__attribute__((target("avx2"))) inline __m256 interpolateEight(__m256i pairs, __m256i fractions) {
    const __m256 first = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16));
    const __m256 next = _mm256_cvtepi32_ps(_mm256_srai_epi32(pairs, 16));
    const __m256 w = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(fractions, 1)),
                                   _mm256_set1_ps(twoToMinus31));
    return _mm256_add_ps(first, _mm256_mul_ps(w, _mm256_sub_ps(next, first)));
}

// Any step: each frame's pair of values is broadcast from memory and blended
// into its lane, which keeps the work off the one port that shuffles.
struct EightFrames {
    const int16_t *data;
    uint64_t position;
    uint64_t steps[8]; // 0 to 7 steps, in lane order
    uint64_t advance;
    __m256i fractions;
    __m256i fractionStep;

    __attribute__((target("avx2")))
    EightFrames(const int16_t *values, uint64_t start, uint64_t stepBy)
        : data(values), position(start & ~lowestBit) {
        const uint64_t step = stepBy & ~lowestBit;
        int32_t words[8];
        for (int lane = 0; lane < 8; ++lane) {
            steps[lane] = static_cast<uint64_t>(laneFrames[lane]) * step;
            words[lane] = static_cast<int32_t>(low32(position + steps[lane]));
        }
        advance = 8 * step;
        fractions = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(words));
        fractionStep = _mm256_set1_epi32(static_cast<int32_t>(low32(advance)));
    }

    template <int lane> __attribute__((target("avx2"))) __m256i with(__m256i pairs) const {
        const __m256i pair = _mm256_set1_epi32(framePair(data, position + steps[lane]));
        return _mm256_blend_epi32(pairs, pair, 1 << lane);
    }

    __attribute__((target("avx2"))) __m256 next() {
        __m256i pairs = _mm256_set1_epi32(framePair(data, position));
        pairs = with<7>(with<6>(with<5>(with<4>(with<3>(with<2>(with<1>(pairs)))))));
        position += advance;
        const __m256 x = interpolateEight(pairs, fractions);
        fractions = _mm256_add_epi32(fractions, fractionStep);
        return x;
    }
};

// Forwards at most 6/7 frame a step, the eight frames of a group read within
// the eight values from its first frame on: one load fetches them all (the
// loader leaves 8 values after the data, so the load stays inside the
// sample), and a byte shuffle sorts them into the lanes. Frame k of a group
// reads value r = (the first frame's fraction + k steps) >> 32 of them: the
// frame part of k steps, plus one where the fraction carries.
const uint64_t nearStepLimit = (uint64_t{6} << 32) / 7;

struct EightNearFrames {
    const int16_t *data;
    uint64_t position;
    uint64_t advance;
    __m256i base; // the fraction word of the group's first frame, in every lane
    __m256i baseStep;
    __m256i fractionOffsets; // k steps in lane order: the fraction part,
    __m256i frameOffsets;    // and the frame part plus one

    __attribute__((target("avx2")))
    EightNearFrames(const int16_t *values, uint64_t start, uint64_t stepBy)
        : data(values), position(start & ~lowestBit), advance(8 * (stepBy & ~lowestBit)) {
        const uint64_t step = stepBy & ~lowestBit;
        int32_t fractionWords[8], frameWords[8];
        for (int lane = 0; lane < 8; ++lane) {
            const uint64_t offset = static_cast<uint64_t>(laneFrames[lane]) * step;
            fractionWords[lane] = static_cast<int32_t>(low32(offset));
            frameWords[lane] = static_cast<int32_t>(offset >> 32) + 1;
        }
        fractionOffsets = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(fractionWords));
        frameOffsets = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(frameWords));
        base = _mm256_set1_epi32(static_cast<int32_t>(low32(position)));
        baseStep = _mm256_set1_epi32(static_cast<int32_t>(low32(advance)));
    }

    __attribute__((target("avx2"))) __m256 next() {
        const __m256i values = _mm256_broadcastsi128_si256(_mm_loadu_si128(
            reinterpret_cast<const __m128i *>(data + static_cast<uint32_t>(position >> 32))));
        const __m256i fractions = _mm256_add_epi32(base, fractionOffsets);
        const __m256i noCarry = _mm256_cmpeq_epi32(_mm256_max_epu32(fractions, base), fractions);
        const __m256i frames = _mm256_add_epi32(frameOffsets, noCarry);
        // Bytes 2r, 2r + 1, 2r + 2, 2r + 3: values r and r + 1.
        const __m256i twice = _mm256_add_epi32(frames, frames);
        const __m256i spread = _mm256_shuffle_epi8(
            twice, _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0,
                                    4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12));
        const __m256i pairs =
            _mm256_shuffle_epi8(values, _mm256_add_epi32(spread, _mm256_set1_epi32(0x03020100)));
        position += advance;
        base = _mm256_add_epi32(base, baseStep);
        return interpolateEight(pairs, fractions);
    }
};

__attribute__((target("avx2"))) inline void addFourFrames(float *out, __m256 values, __m256 gains) {
    _mm256_storeu_ps(out, _mm256_add_ps(_mm256_loadu_ps(out), _mm256_mul_ps(values, gains)));
}

// The same for the first count of the four frames; the others are neither
// read nor written.
__attribute__((target("avx2"))) inline void addSomeFrames(float *out, __m256 values, __m256 gains,
                                                          int32_t count) {
    const __m256i mask =
        _mm256_cmpgt_epi32(_mm256_set1_epi32(2 * count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256 sum = _mm256_add_ps(_mm256_maskload_ps(out, mask), _mm256_mul_ps(values, gains));
    _mm256_maskstore_ps(out, mask, sum);
}

template <class Frames>
__attribute__((target("avx2"))) inline void addGroups(float *out, int32_t groups, Frames &frames,
                                                      __m256 gain) {
    for (int32_t g = 0; g < groups; ++g, out += 16) {
        const __m256 x = frames.next();
        addFourFrames(out, _mm256_unpacklo_ps(x, x), gain);
        addFourFrames(out + 8, _mm256_unpackhi_ps(x, x), gain);
    }
}

// Runs of eight frames or more. A near run ends with a group of fewer than
// eight frames: the load of its values stays inside the sample all the same.
__attribute__((target("avx2"))) uint64_t addConstantAvx2(float *out, int32_t count,
                                                         const int16_t *data, uint64_t position,
                                                         uint64_t step, FrameGains gains) {
    const int32_t groups = count / 8;
    if (groups == 0)
        return addConstantSse2(out, count, data, position, step, gains);
    const __m256 gain = _mm256_setr_ps(gains.left, gains.right, gains.left, gains.right, gains.left,
                                       gains.right, gains.left, gains.right);
    if ((step & ~lowestBit) > nearStepLimit) {
        EightFrames frames(data, position, step);
        addGroups(out, groups, frames, gain);
        return addConstantSse2(out + 16 * groups, count - 8 * groups, data,
                               positionAfter(position, step, 8 * groups), step, gains);
    }
    EightNearFrames frames(data, position, step);
    addGroups(out, groups, frames, gain);
    const int32_t rest = count - 8 * groups;
    if (rest > 0) {
        const __m256 x = frames.next();
        out += 16 * groups;
        addSomeFrames(out, _mm256_unpacklo_ps(x, x), gain, rest);
        if (rest > 4)
            addSomeFrames(out + 8, _mm256_unpackhi_ps(x, x), gain, rest - 4);
    }
    return positionAfter(position, step, count);
}

const FrameLoops avx2Loops{addConstantAvx2, addRampSse2, convertSse2};

} // namespace

const FrameLoops *sse2FrameLoops() {
    return &sse2Loops;
}

const FrameLoops *avx2FrameLoops() {
    __builtin_cpu_init(); // may run before the runtime's own initialisation
    return __builtin_cpu_supports("avx2") ? &avx2Loops : nullptr;
}

#else

// Other processors have the reference loops only.
const FrameLoops *sse2FrameLoops() {
    return nullptr;
}

const FrameLoops *avx2FrameLoops() {
    return nullptr;
}

#endif
