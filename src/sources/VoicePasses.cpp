#include "sources/VoicePasses.h"

#include <algorithm>

#include <immintrin.h>

#include "sources/VectorUnits.h"

namespace {
const int STEREO = 2;
// Envelope levels are formed eight at a time with AVX2.
const unsigned LEVEL_GROUP = 8;

// The level between the entries around pos, computed as the vector version does.
inline __attribute__((always_inline)) float Level(const float* table, int last, double pos)
{
    const int whole = (int)pos;
    const int a = std::min(whole, last), b = std::min(whole + 1, last);
    const float frac = (float)(pos - (double)whole);
    return table[a] + frac * (table[b] - table[a]);
}

void FillLevelsPortable(const float* table, size_t tableSize, double pos, double step, float* levels, unsigned count)
{
    const int last = (int)tableSize - 1;
    levels[0] = Level(table, last, pos);
    for (unsigned j = 1; j < count; j++)
        levels[j] = Level(table, last, pos + (double)j * step);
}

// Four positions' whole parts and fractions.
__attribute__((target("avx2,fma"))) inline void SplitPositions(__m256d at, __m128i* whole, __m128* frac)
{
    *whole = _mm256_cvttpd_epi32(at);
    *frac = _mm256_cvtpd_ps(_mm256_sub_pd(at, _mm256_cvtepi32_pd(*whole)));
}

// Eight levels at a time, the two entries around each gathered from the table.
__attribute__((target("avx2,fma"))) void FillLevelsAvx2(const float* table, size_t tableSize, double pos, double step,
                                                        float* levels, unsigned count)
{
    const int last = (int)tableSize - 1;
    const __m256i lastIndex = _mm256_set1_epi32(last), one = _mm256_set1_epi32(1);
    const __m256d steps = _mm256_set1_pd(step);
    const __m256d lower = _mm256_set_pd(3.0, 2.0, 1.0, 0.0), upper = _mm256_set_pd(7.0, 6.0, 5.0, 4.0);
    // Below one entry per frame, eight frames span less than eight entries.
    const bool steady = step < 1.0;
    levels[0] = Level(table, last, pos);
    unsigned j = 1;
    for (; j + LEVEL_GROUP <= count; j += LEVEL_GROUP) {
        const __m256d first = _mm256_set1_pd((double)j);
        __m128i wholeLow, wholeHigh;
        __m128 fracLow, fracHigh;
        SplitPositions(_mm256_fmadd_pd(_mm256_add_pd(first, lower), steps, _mm256_set1_pd(pos)), &wholeLow, &fracLow);
        SplitPositions(_mm256_fmadd_pd(_mm256_add_pd(first, upper), steps, _mm256_set1_pd(pos)), &wholeHigh, &fracHigh);
        const __m256i whole = _mm256_set_m128i(wholeHigh, wholeLow);
        const __m256 frac = _mm256_set_m128(fracHigh, fracLow);
        __m256 here, next;
        const int base = _mm_cvtsi128_si32(wholeLow);
        if (steady && base + LEVEL_GROUP < tableSize) {
            // The eight positions lie within eight entries from the first's:
            // two rows of the table, each picked from by lane.
            const __m256i offsets = _mm256_sub_epi32(whole, _mm256_set1_epi32(base));
            here = _mm256_permutevar8x32_ps(_mm256_loadu_ps(table + base), offsets);
            next = _mm256_permutevar8x32_ps(_mm256_loadu_ps(table + base + 1), offsets);
        } else {
            const __m256i a = _mm256_min_epi32(whole, lastIndex),
                          b = _mm256_min_epi32(_mm256_add_epi32(whole, one), lastIndex);
            here = _mm256_i32gather_ps(table, a, 4);
            next = _mm256_i32gather_ps(table, b, 4);
        }
        _mm256_storeu_ps(levels + j, _mm256_fmadd_ps(frac, _mm256_sub_ps(next, here), here));
    }
    for (; j < count; j++)
        levels[j] = Level(table, last, pos + (double)j * step);
}

// The sound's frames as they are. The frames of the run that lie outside
// the sound add nothing and are left out before the loop, which has no
// branch then.
template <long DIRECTION>
inline __attribute__((always_inline)) void AddFramesBody(const float* sound, long soundFrames, long first, float gain,
                                                         const float* levels, float* mix, unsigned count)
{
    // Frames i with 0 <= first + DIRECTION * i < soundFrames.
    const long from =
        DIRECTION > 0 ? std::clamp(-first, 0L, (long)count) : std::clamp(first - soundFrames + 1, 0L, (long)count);
    const long to =
        DIRECTION > 0 ? std::clamp(soundFrames - first, from, (long)count) : std::clamp(first + 1, from, (long)count);
    const float* frames = sound + STEREO * first;
    for (long i = from; i < to; i++) {
        const float level = gain * levels[i];
        mix[STEREO * i] += frames[STEREO * DIRECTION * i] * level;
        mix[STEREO * i + 1] += frames[STEREO * DIRECTION * i + 1] * level;
    }
}

// A sample added into the output and held to -1 ... 1 (a sample that is not
// a number becomes -1: min and max answer their second operand then).
inline __attribute__((always_inline)) float MixSample(float out, float mix, float gain)
{
    const __m128 sum = _mm_set_ss(out + mix * gain);
    return _mm_cvtss_f32(_mm_min_ss(_mm_max_ss(sum, _mm_set_ss(-1.0f)), _mm_set_ss(1.0f)));
}

void AddFramesPortable(const float* sound, long soundFrames, long first, long direction, float gain,
                       const float* levels, float* mix, unsigned count)
{
    if (direction > 0)
        AddFramesBody<1>(sound, soundFrames, first, gain, levels, mix, count);
    else
        AddFramesBody<-1>(sound, soundFrames, first, gain, levels, mix, count);
}

__attribute__((target("avx2,fma"))) void AddFramesAvx2(const float* sound, long soundFrames, long first, long direction,
                                                       float gain, const float* levels, float* mix, unsigned count)
{
    if (direction > 0)
        AddFramesBody<1>(sound, soundFrames, first, gain, levels, mix, count);
    else
        AddFramesBody<-1>(sound, soundFrames, first, gain, levels, mix, count);
}

// Two frames at a time with SSE, which every x86-64 processor has.
void MixIntoPortable(float* out, const float* mix, float leftGain, float rightGain, unsigned count)
{
    const __m128 gains = _mm_setr_ps(leftGain, rightGain, leftGain, rightGain);
    const __m128 low = _mm_set1_ps(-1.0f), high = _mm_set1_ps(1.0f);
    unsigned i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128 sum =
            _mm_add_ps(_mm_loadu_ps(out + STEREO * i), _mm_mul_ps(_mm_loadu_ps(mix + STEREO * i), gains));
        _mm_storeu_ps(out + STEREO * i, _mm_min_ps(_mm_max_ps(sum, low), high));
    }
    for (; i < count; i++) {
        out[STEREO * i] = MixSample(out[STEREO * i], mix[STEREO * i], leftGain);
        out[STEREO * i + 1] = MixSample(out[STEREO * i + 1], mix[STEREO * i + 1], rightGain);
    }
}

// Four frames at a time with AVX2; the rest as the portable version does.
__attribute__((target("avx2,fma"))) void MixIntoAvx2(float* out, const float* mix, float leftGain, float rightGain,
                                                     unsigned count)
{
    const __m256 gains =
        _mm256_setr_ps(leftGain, rightGain, leftGain, rightGain, leftGain, rightGain, leftGain, rightGain);
    const __m256 low = _mm256_set1_ps(-1.0f), high = _mm256_set1_ps(1.0f);
    unsigned i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256 sum = _mm256_fmadd_ps(_mm256_loadu_ps(mix + STEREO * i), gains, _mm256_loadu_ps(out + STEREO * i));
        _mm256_storeu_ps(out + STEREO * i, _mm256_min_ps(_mm256_max_ps(sum, low), high));
    }
    MixIntoPortable(out + STEREO * i, mix + STEREO * i, leftGain, rightGain, count - i);
}
}  // namespace

struct VoicePasses::Versions {
    decltype(&FillLevelsPortable) fillLevels;
    decltype(&AddFramesPortable) addFrames;
    decltype(&MixIntoPortable) mixInto;
};

const VoicePasses::Versions& VoicePasses::Chosen()
{
    static const Versions versions = HasAvx2AndFma() ? Versions{FillLevelsAvx2, AddFramesAvx2, MixIntoAvx2}
                                                     : Versions{FillLevelsPortable, AddFramesPortable, MixIntoPortable};
    return versions;
}

void VoicePasses::FillLevels(const float* table, size_t tableSize, double pos, double step, float* levels,
                             unsigned count)
{
    Chosen().fillLevels(table, tableSize, pos, step, levels, count);
}

void VoicePasses::AddFrames(const float* sound, long soundFrames, long first, long direction, float gain,
                            const float* levels, float* mix, unsigned count)
{
    Chosen().addFrames(sound, soundFrames, first, direction, gain, levels, mix, count);
}

void VoicePasses::MixInto(float* out, const float* mix, float leftGain, float rightGain, unsigned count)
{
    Chosen().mixInto(out, mix, leftGain, rightGain, count);
}
