#include "sources/SincKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <immintrin.h>

#include "sources/VectorUnits.h"

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
// Taps are taken a vector of eight at a time.
const int TAP_GROUP = 8;
// A run reads its sound through a copy of the stretch it covers, the two
// channels apart, so that one row of coefficients meets a row of frames of
// each; this many frames at a time.
const long SPAN_FRAMES = 2048;
// One frame more on each side than the positions reach: a step taken in
// fixed point may land a hair beyond where the exact one does.
const long SPAN_MARGIN = 1;
// Read positions are stepped in fixed point, the fraction of a frame in the
// low bits: adding the step needs no rounding or division per frame, and
// the phase and the weight between two phases are bits of the fraction.
const int FRACTION_BITS = 32;
const int PHASE_BITS = 5;
const int WEIGHT_BITS = FRACTION_BITS - PHASE_BITS;
static_assert(1 << PHASE_BITS == SincKernels::PHASES, "the phase is the fraction's top bits");

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

// The stretch of a sound a run reads, each channel on its own.
struct SpanScratch {
    float left[SPAN_FRAMES];
    float right[SPAN_FRAMES];
};
thread_local SpanScratch spanScratch;

// Copies the frames from first on into the span's channels, silence where
// they lie outside the sound.
inline __attribute__((always_inline)) void SplitChannels(const float* sound, long soundFrames, long first, long length,
                                                         SpanScratch* span)
{
    const long begin = std::clamp(-first, 0L, length), end = std::clamp(soundFrames - first, begin, length);
    std::fill(span->left, span->left + begin, 0.0f);
    std::fill(span->right, span->right + begin, 0.0f);
    const float* frames = sound + STEREO * first;
    for (long k = begin; k < end; k++) {
        span->left[k] = frames[STEREO * k];
        span->right[k] = frames[STEREO * k + 1];
    }
    std::fill(span->left + end, span->left + length, 0.0f);
    std::fill(span->right + end, span->right + length, 0.0f);
}

// Where one output frame is read: the span's frame its first tap meets and
// the coefficients of its phase, the row plus t times its slope.
struct FrameTaps {
    const float* row;
    const float* slope;
    float t;
    long first;
};

// A read position in fixed point, in frames from the span's first.
inline __attribute__((always_inline)) FrameTaps Locate(const SincKernels::Kernel& kernel, int64_t at)
{
    const int taps = kernel.taps;
    const uint32_t fraction = (uint32_t)at;
    const uint32_t phase = fraction >> WEIGHT_BITS;
    const float t = (float)(fraction & ((1u << WEIGHT_BITS) - 1)) * (1.0f / (float)(1u << WEIGHT_BITS));
    const long first = (long)(at >> FRACTION_BITS) - taps / 2 + 1;
    return FrameTaps{kernel.rows + (size_t)phase * taps, kernel.slopes + (size_t)phase * taps, t, first};
}

// The left and right values of two frames, out[0 ... 3]. Eight running sums
// per channel and frame, so the products are formed side by side, folded in
// halves at the end.
inline __attribute__((always_inline)) void DotPair(const FrameTaps& a, const FrameTaps& b, int taps,
                                                   const SpanScratch& span, float* out)
{
    const FrameTaps* frames[2] = {&a, &b};
    for (int f = 0; f < 2; f++) {
        const FrameTaps& frame = *frames[f];
        const float* left = span.left + frame.first;
        const float* right = span.right + frame.first;
        float sumsLeft[TAP_GROUP] = {}, sumsRight[TAP_GROUP] = {};
        for (int m = 0; m < taps; m += TAP_GROUP) {
            for (int q = 0; q < TAP_GROUP; q++) {
                const float c = frame.row[m + q] + frame.t * frame.slope[m + q];
                sumsLeft[q] += c * left[m + q];
                sumsRight[q] += c * right[m + q];
            }
        }
        for (int width = TAP_GROUP / 2; width >= 1; width /= 2) {
            for (int q = 0; q < width; q++) {
                sumsLeft[q] += sumsLeft[q + width];
                sumsRight[q] += sumsRight[q + width];
            }
        }
        out[2 * f] = sumsLeft[0];
        out[2 * f + 1] = sumsRight[0];
    }
}

// One frame's running sums with AVX2 and FMA, eight taps at a time: each
// vector of coefficients serves both channels.
__attribute__((target("avx2,fma"))) inline void SumsAvx2(const FrameTaps& frame, int taps, const SpanScratch& span,
                                                         __m256* sumLeft, __m256* sumRight)
{
    const __m256 t = _mm256_set1_ps(frame.t);
    const float* left = span.left + frame.first;
    const float* right = span.right + frame.first;
    __m256 l = _mm256_setzero_ps(), r = _mm256_setzero_ps();
    for (int m = 0; m < taps; m += TAP_GROUP) {
        const __m256 c = _mm256_fmadd_ps(t, _mm256_loadu_ps(frame.slope + m), _mm256_loadu_ps(frame.row + m));
        l = _mm256_fmadd_ps(c, _mm256_loadu_ps(left + m), l);
        r = _mm256_fmadd_ps(c, _mm256_loadu_ps(right + m), r);
    }
    *sumLeft = l;
    *sumRight = r;
}

// DotPair with AVX2 and FMA: the four sums folded together in registers.
__attribute__((target("avx2,fma"))) inline void DotPairAvx2(const FrameTaps& a, const FrameTaps& b, int taps,
                                                            const SpanScratch& span, float* out)
{
    __m256 leftA, rightA, leftB, rightB;
    SumsAvx2(a, taps, span, &leftA, &rightA);
    SumsAvx2(b, taps, span, &leftB, &rightB);
    // Per half: pairs of a's left, a's right, then b's; then a's left,
    // right, b's left, right; the halves added give the four sums.
    const __m256 pairsA = _mm256_hadd_ps(leftA, rightA), pairsB = _mm256_hadd_ps(leftB, rightB);
    const __m256 quads = _mm256_hadd_ps(pairsA, pairsB);
    _mm_storeu_ps(out, _mm_add_ps(_mm256_castps256_ps128(quads), _mm256_extractf128_ps(quads, 1)));
}

// Output frames a span serves at the step dy: the frames they read, with
// their kernels' reach and the margins, fit in it.
unsigned FramesPerSpan(int taps, double dy, unsigned count)
{
    const double room = (double)(SPAN_FRAMES - taps - 2 - 2 * SPAN_MARGIN);
    return std::fabs(dy) * count <= room ? count : std::max(1u, (unsigned)(room / std::fabs(dy)));
}

// Adds a run of interpolated frames (see AddRun), span after span, two
// frames at a time by dotPair (the last of an odd run with itself).
// Inlined into one function per instruction set.
template <typename DotPairFunction>
inline __attribute__((always_inline)) void AddRunBody(DotPairFunction dotPair, const SincKernels::Kernel& kernel,
                                                      const float* sound, long soundFrames, double y0, double dy,
                                                      const float* envelope, float gain, float* mix, unsigned count)
{
    SpanScratch& span = spanScratch;
    const int taps = kernel.taps;
    const unsigned perSpan = FramesPerSpan(taps, dy, count);
    const double unit = (double)(1LL << FRACTION_BITS);
    const int64_t step = std::llround(dy * unit);
    for (unsigned done = 0; done < count;) {
        const unsigned frames = std::min(count - done, perSpan);
        const double from = y0 + (double)done * dy, to = from + (double)(frames - 1) * dy;
        const long first = (long)std::floor(std::min(from, to)) - taps / 2 + 1 - SPAN_MARGIN;
        const long last = (long)std::floor(std::max(from, to)) + taps / 2 + SPAN_MARGIN;
        SplitChannels(sound, soundFrames, first, last - first + 1, &span);
        int64_t at = std::llround((from - (double)first) * unit);
        const float* levels = envelope + done;
        float* out = mix + STEREO * done;
        for (unsigned i = 0; i < frames; i += 2, at += 2 * step) {
            const bool pair = i + 1 < frames;
            float sums[4];
            dotPair(Locate(kernel, at), Locate(kernel, pair ? at + step : at), taps, span, sums);
            out[STEREO * i] += sums[0] * gain * levels[i];
            out[STEREO * i + 1] += sums[1] * gain * levels[i];
            if (pair) {
                out[STEREO * i + 2] += sums[2] * gain * levels[i + 1];
                out[STEREO * i + 3] += sums[3] * gain * levels[i + 1];
            }
        }
        done += frames;
    }
}

void AddRunPortable(const SincKernels::Kernel& kernel, const float* sound, long soundFrames, double y0, double dy,
                    const float* envelope, float gain, float* mix, unsigned count)
{
    AddRunBody(DotPair, kernel, sound, soundFrames, y0, dy, envelope, gain, mix, count);
}

__attribute__((target("avx2,fma"))) void AddRunAvx2(const SincKernels::Kernel& kernel, const float* sound,
                                                    long soundFrames, double y0, double dy, const float* envelope,
                                                    float gain, float* mix, unsigned count)
{
    AddRunBody(DotPairAvx2, kernel, sound, soundFrames, y0, dy, envelope, gain, mix, count);
}
}  // namespace

void SincKernels::Prepare()
{
    Instance();
}

SincKernels::SincKernels() : _addRun(HasAvx2AndFma() ? AddRunAvx2 : AddRunPortable)
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
    const int count = TAP_GROUP * (int)std::ceil(2.0 * std::ceil(HALF_WIDTH * scale) / TAP_GROUP);
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
    rows->resize((size_t)PHASES * count);
    slopes->resize(rows->size());
    for (size_t k = 0; k < rows->size(); k++) {
        (*rows)[k] = (float)coefficients[k];
        (*slopes)[k] = (float)(coefficients[k + count] - coefficients[k]);
    }
    *taps = count;
}

void SincKernels::AddRun(const Kernel& kernel, const float* sound, long soundFrames, double y0, double dy,
                         const float* envelope, float gain, float* mix, unsigned count)
{
    Instance()._addRun(kernel, sound, soundFrames, y0, dy, envelope, gain, mix, count);
}
