#include "sources/SincKernels.h"

#include <algorithm>
#include <cmath>

#include <immintrin.h>

namespace {
// Half the kernel's length, in output frames: the longer, the steeper its edge.
const double HALF_WIDTH = 7;
// The cutoff, as a fraction of the sample rate, at rates up to 1; above,
// divided by the rate. Low enough that a kernel's stop band begins near the
// output's Nyquist frequency.
const double CUTOFF = 0.39;
// Kaiser's shape for about 60 dB of stop band.
const double KAISER_BETA = 6.0;
const int STEPS_PER_OCTAVE = 16;
const int OCTAVES = 3;
const int STEREO = 2;
// The longest kernel, at the highest rate.
const int MAX_TAPS = 8 * (int)(2.0 * HALF_WIDTH * (1 << OCTAVES) / 8.0 + 1.0);

double BesselI0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 40; k++) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

double Sinc(double x)
{
    return x == 0.0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
}

double ScaleOf(int step)
{
    return std::pow(2.0, (double)step / STEPS_PER_OCTAVE);
}

// Where one output frame is read: its taps' frames (x, interleaved) and the
// coefficients of its phase, the row plus t times its slope.
struct FrameTaps {
    const float* row;
    const float* slope;
    float t;
    const float* x;
};

// The frames of a kernel's span that reaches beyond the sound, silence there.
const float* FramesNearEdge(const float* sound, long soundFrames, long first, int taps, float* edge)
{
    for (int j = 0; j < taps; j++) {
        const long f = first + j;
        const bool inside = f >= 0 && f < soundFrames;
        edge[STEREO * j] = inside ? sound[STEREO * f] : 0.0f;
        edge[STEREO * j + 1] = inside ? sound[STEREO * f + 1] : 0.0f;
    }
    return edge;
}

inline __attribute__((always_inline)) FrameTaps Locate(const SincKernels::Kernel& kernel, const float* sound,
                                                       long soundFrames, double y, float* edge)
{
    const int taps = kernel.taps, values = STEREO * taps;
    const double whole = std::floor(y);
    const double phase = (y - whole) * SincKernels::PHASES;
    const int p = std::min((int)phase, SincKernels::PHASES - 1);
    const long first = (long)whole - taps / 2 + 1;
    const float* x = sound + STEREO * first;
    if (first < 0 || first + taps > soundFrames)
        x = FramesNearEdge(sound, soundFrames, first, taps, edge);
    return FrameTaps{kernel.rows + (size_t)p * values, kernel.slopes + (size_t)p * values, (float)(phase - p), x};
}

// The left and right values of two frames, out[0 ... 3]. Eight running sums
// per frame, alternately left and right, so the products are formed side by
// side; they are folded in halves, which keeps the channels apart.
inline __attribute__((always_inline)) void DotPair(const FrameTaps& a, const FrameTaps& b, int values, float* out)
{
    const FrameTaps* frames[2] = {&a, &b};
    for (int f = 0; f < 2; f++) {
        const FrameTaps& frame = *frames[f];
        float sums[8] = {};
        for (int m = 0; m < values; m += 8)
            for (int q = 0; q < 8; q++)
                sums[q] += (frame.row[m + q] + frame.t * frame.slope[m + q]) * frame.x[m + q];
        for (int width = 4; width >= 2; width /= 2)
            for (int q = 0; q < width; q++)
                sums[q] += sums[q + width];
        out[2 * f] = sums[0];
        out[2 * f + 1] = sums[1];
    }
}

// One frame's running sums with AVX2 and FMA, eight values at a time.
__attribute__((target("avx2,fma"))) inline __m256 SumsAvx2(const FrameTaps& frame, int values)
{
    const __m256 step = _mm256_set1_ps(frame.t);
    __m256 sum = _mm256_setzero_ps();
    for (int m = 0; m < values; m += 8) {
        const __m256 c = _mm256_fmadd_ps(step, _mm256_loadu_ps(frame.slope + m), _mm256_loadu_ps(frame.row + m));
        sum = _mm256_fmadd_ps(c, _mm256_loadu_ps(frame.x + m), sum);
    }
    return sum;
}

// DotPair with AVX2 and FMA: the two frames' sums formed side by side and
// folded together in registers.
__attribute__((target("avx2,fma"))) inline void DotPairAvx2(const FrameTaps& a, const FrameTaps& b, int values,
                                                            float* out)
{
    const __m256 sumA = SumsAvx2(a, values), sumB = SumsAvx2(b, values);
    // Halves of a, halves of b: four sums each, left and right in turn.
    const __m256 halves =
        _mm256_add_ps(_mm256_permute2f128_ps(sumA, sumB, 0x20), _mm256_permute2f128_ps(sumA, sumB, 0x31));
    const __m256 pairs = _mm256_add_ps(halves, _mm256_permute_ps(halves, 0x4E));
    out[0] = _mm256_cvtss_f32(pairs);
    out[1] = _mm_cvtss_f32(_mm_shuffle_ps(_mm256_castps256_ps128(pairs), _mm256_castps256_ps128(pairs), 1));
    const __m128 high = _mm256_extractf128_ps(pairs, 1);
    out[2] = _mm_cvtss_f32(high);
    out[3] = _mm_cvtss_f32(_mm_shuffle_ps(high, high, 1));
}

// Adds a run of interpolated frames (see AddRun), two at a time by dotPair
// (the last of an odd run with itself). Inlined into one function per
// instruction set.
template <typename DotPairFunction>
inline __attribute__((always_inline)) void
AddRunBody(DotPairFunction dotPair, const SincKernels::Kernel& kernel, const float* sound, long soundFrames, double y0,
           double dy, const float* envelope, float gain, float* left, float* right, unsigned count)
{
    const int values = STEREO * kernel.taps;
    float edges[2][STEREO * MAX_TAPS];
    for (unsigned i = 0; i < count; i += 2) {
        const unsigned next = std::min(i + 1, count - 1);
        const FrameTaps a = Locate(kernel, sound, soundFrames, y0 + (double)i * dy, edges[0]);
        const FrameTaps b = Locate(kernel, sound, soundFrames, y0 + (double)next * dy, edges[1]);
        float out[4];
        dotPair(a, b, values, out);
        left[i] += out[0] * gain * envelope[i];
        right[i] += out[1] * gain * envelope[i];
        if (next != i) {
            left[next] += out[2] * gain * envelope[next];
            right[next] += out[3] * gain * envelope[next];
        }
    }
}

void AddRunPortable(const SincKernels::Kernel& kernel, const float* sound, long soundFrames, double y0, double dy,
                    const float* envelope, float gain, float* left, float* right, unsigned count)
{
    AddRunBody(DotPair, kernel, sound, soundFrames, y0, dy, envelope, gain, left, right, count);
}

__attribute__((target("avx2,fma"))) void AddRunAvx2(const SincKernels::Kernel& kernel, const float* sound,
                                                    long soundFrames, double y0, double dy, const float* envelope,
                                                    float gain, float* left, float* right, unsigned count)
{
    AddRunBody(DotPairAvx2, kernel, sound, soundFrames, y0, dy, envelope, gain, left, right, count);
}

using AddRunFunction = decltype(&AddRunPortable);

// The machine's vector units decide, once.
AddRunFunction ChooseAddRun()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? AddRunAvx2 : AddRunPortable;
}
}  // namespace

void SincKernels::Prepare()
{
    Instance();
}

SincKernels::SincKernels() : _addRun(ChooseAddRun())
{
    const int count = STEPS_PER_OCTAVE * OCTAVES + 1;
    _rows.resize(count);
    _slopes.resize(count);
    _kernels.resize(count);
    for (int k = 0; k < count; k++) {
        int taps = 0;
        Build(ScaleOf(k), &_rows[k], &_slopes[k], &taps);
        _kernels[k] = Kernel{taps, _rows[k].data(), _slopes[k].data()};
    }
}

const SincKernels& SincKernels::Instance()
{
    static const SincKernels kernels;
    return kernels;
}

const SincKernels::Kernel& SincKernels::ForRate(double rate)
{
    const std::vector<Kernel>& kernels = Instance()._kernels;
    if (!(rate > 1.0))
        return kernels.front();
    const double step = std::ceil(std::log2(rate) * STEPS_PER_OCTAVE - 1e-9);
    return kernels[(size_t)std::clamp(step, 0.0, (double)(kernels.size() - 1))];
}

// Row p holds the coefficients for a read position p / PHASES of a frame past
// the frame taps / 2 - 1 of the kernel's span; each row sums to 1, so a
// constant passes unchanged.
void SincKernels::Build(double scale, std::vector<float>* rows, std::vector<float>* slopes, int* taps) const
{
    const int count = 4 * (int)std::ceil(2.0 * std::ceil(HALF_WIDTH * scale) / 4.0);
    const double half = count / 2.0, cutoff = CUTOFF / scale;
    std::vector<double> coefficients((size_t)(PHASES + 1) * count);
    for (int p = 0; p <= PHASES; p++) {
        double* row = &coefficients[(size_t)p * count];
        double sum = 0.0;
        for (int j = 0; j < count; j++) {
            const double t = j - (half - 1.0) - (double)p / PHASES;
            const double edge = t / half;
            const double window = std::fabs(edge) < 1.0 ? BesselI0(KAISER_BETA * std::sqrt(1.0 - edge * edge)) : 0.0;
            row[j] = 2.0 * cutoff * Sinc(2.0 * cutoff * t) * window;
            sum += row[j];
        }
        for (int j = 0; j < count; j++)
            row[j] /= sum;
    }
    rows->assign((size_t)(PHASES + 1) * count * STEREO, 0.0f);
    slopes->assign(rows->size(), 0.0f);
    for (int p = 0; p <= PHASES; p++) {
        for (int j = 0; j < count; j++) {
            const double here = coefficients[(size_t)p * count + j];
            const double next = p < PHASES ? coefficients[(size_t)(p + 1) * count + j] : here;
            for (int c = 0; c < STEREO; c++) {
                (*rows)[((size_t)p * count + j) * STEREO + c] = (float)here;
                (*slopes)[((size_t)p * count + j) * STEREO + c] = (float)(next - here);
            }
        }
    }
    *taps = count;
}

void SincKernels::AddRun(const Kernel& kernel, const float* sound, long soundFrames, double y0, double dy,
                         const float* envelope, float gain, float* left, float* right, unsigned count)
{
    Instance()._addRun(kernel, sound, soundFrames, y0, dy, envelope, gain, left, right, count);
}
