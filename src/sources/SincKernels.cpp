#include "sources/SincKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <immintrin.h>

#include "sources/VectorUnits.h"

namespace {
// A kernel's shape: half its length in output frames (the longer, the
// steeper its edge), its cutoff as a fraction of the sample rate at rate 1
// (above, divided by the rate) and the Kaiser window's beta.
struct KernelShape {
    double halfWidth;
    double cutoff;
    double kaiserBeta;
};
// At its own rate or slower, a sound keeps its band up to near its Nyquist
// frequency, with about 60 dB of stop band.
const KernelShape AT_OR_BELOW_RATE_1 = {7.0, 0.39, 6.0};
// Read faster, the band is cut anyway: a lower cutoff and a steeper window
// keep what folds back into the band heard (below 18 kHz) 64 dB down or
// more with a third fewer taps.
const KernelShape ABOVE_RATE_1 = {5.0, 0.36, 7.0};
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

// Where a span's frames are added: from frame at (fixed point, from the
// span's first), step on, count of them, each times gain and its level, into
// the stereo interleaved mix.
struct SpanRun {
    int64_t at;
    int64_t step;
    unsigned count;
    float gain;
    const float* levels;
    float* mix;
};

// One frame's left and right values with SSE, which every x86-64 processor
// has: four taps at a time, each vector of coefficients serving both channels.
inline __attribute__((always_inline)) void Dot(const FrameTaps& frame, int taps, const SpanScratch& span, float* out)
{
    const float* left = span.left + frame.first;
    const float* right = span.right + frame.first;
    const __m128 t = _mm_set1_ps(frame.t);
    __m128 l = _mm_setzero_ps(), r = _mm_setzero_ps();
    for (int m = 0; m < taps; m += 4) {
        const __m128 c = _mm_add_ps(_mm_loadu_ps(frame.row + m), _mm_mul_ps(t, _mm_loadu_ps(frame.slope + m)));
        l = _mm_add_ps(l, _mm_mul_ps(c, _mm_loadu_ps(left + m)));
        r = _mm_add_ps(r, _mm_mul_ps(c, _mm_loadu_ps(right + m)));
    }
    // The halves of each channel added side by side, then their pairs:
    // left, left, right, right.
    const __m128 halves = _mm_add_ps(_mm_movelh_ps(l, r), _mm_movehl_ps(r, l));
    const __m128 sums = _mm_add_ps(halves, _mm_shuffle_ps(halves, halves, _MM_SHUFFLE(2, 3, 0, 1)));
    out[0] = _mm_cvtss_f32(sums);
    out[1] = _mm_cvtss_f32(_mm_movehl_ps(sums, sums));
}

// Adds frames from, from + 1, ... of the run one at a time.
inline __attribute__((always_inline)) void AddFramesOneByOne(const SincKernels::Kernel& kernel, const SpanScratch& span,
                                                             const SpanRun& run, unsigned from)
{
    for (unsigned i = from; i < run.count; i++) {
        float sums[STEREO];
        Dot(Locate(kernel, run.at + (int64_t)i * run.step), kernel.taps, span, sums);
        const float level = run.gain * run.levels[i];
        run.mix[STEREO * i] += sums[0] * level;
        run.mix[STEREO * i + 1] += sums[1] * level;
    }
}

void AddSpanPortable(const SincKernels::Kernel& kernel, const SpanScratch& span, const SpanRun& run)
{
    AddFramesOneByOne(kernel, span, run, 0);
}

// Adds one frame's products of eight taps from tap m on into its running
// sums with AVX2 and FMA: each vector of coefficients serves both channels.
__attribute__((target("avx2,fma"))) inline void
AccumulateAvx2(const FrameTaps& frame, __m256 t, int m, const SpanScratch& span, __m256* sumLeft, __m256* sumRight)
{
    const __m256 c = _mm256_fmadd_ps(t, _mm256_loadu_ps(frame.slope + m), _mm256_loadu_ps(frame.row + m));
    *sumLeft = _mm256_fmadd_ps(c, _mm256_loadu_ps(span.left + frame.first + m), *sumLeft);
    *sumRight = _mm256_fmadd_ps(c, _mm256_loadu_ps(span.right + frame.first + m), *sumRight);
}

// Two frames' sums folded into their left and right values, in a half vector.
__attribute__((target("avx2,fma"))) inline __m256 FoldPairs(__m256 leftA, __m256 rightA, __m256 leftB, __m256 rightB)
{
    // Per half: pairs of a's left, a's right, then b's; then a's left,
    // right, b's left and right, each a half's sum.
    return _mm256_hadd_ps(_mm256_hadd_ps(leftA, rightA), _mm256_hadd_ps(leftB, rightB));
}

// Four frames at a time with AVX2 and FMA: their eight sums folded together
// in registers and added into the mix as one vector; the last frames one by one.
__attribute__((target("avx2,fma"))) void AddSpanAvx2(const SincKernels::Kernel& kernel, const SpanScratch& span,
                                                     const SpanRun& run)
{
    const int taps = kernel.taps;
    const __m256 gain = _mm256_set1_ps(run.gain);
    // Each frame's level for its left and its right value.
    const __m256i twice = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    unsigned i = 0;
    for (int64_t at = run.at; i + 4 <= run.count; i += 4, at += 4 * run.step) {
        // Tap group by tap group, the four frames side by side: eight running
        // sums that stay in registers.
        const FrameTaps a = Locate(kernel, at), b = Locate(kernel, at + run.step),
                        c = Locate(kernel, at + 2 * run.step), d = Locate(kernel, at + 3 * run.step);
        const __m256 ta = _mm256_set1_ps(a.t), tb = _mm256_set1_ps(b.t), tc = _mm256_set1_ps(c.t),
                     td = _mm256_set1_ps(d.t);
        __m256 left[4], right[4];
        for (int f = 0; f < 4; f++)
            left[f] = right[f] = _mm256_setzero_ps();
        for (int m = 0; m < taps; m += TAP_GROUP) {
            AccumulateAvx2(a, ta, m, span, &left[0], &right[0]);
            AccumulateAvx2(b, tb, m, span, &left[1], &right[1]);
            AccumulateAvx2(c, tc, m, span, &left[2], &right[2]);
            AccumulateAvx2(d, td, m, span, &left[3], &right[3]);
        }
        const __m256 first = FoldPairs(left[0], right[0], left[1], right[1]);
        const __m256 second = FoldPairs(left[2], right[2], left[3], right[3]);
        const __m256 sums =
            _mm256_add_ps(_mm256_permute2f128_ps(first, second, 0x20), _mm256_permute2f128_ps(first, second, 0x31));
        const __m256 levels =
            _mm256_mul_ps(gain, _mm256_permutevar8x32_ps(_mm256_castps128_ps256(_mm_loadu_ps(run.levels + i)), twice));
        float* out = run.mix + STEREO * i;
        _mm256_storeu_ps(out, _mm256_fmadd_ps(sums, levels, _mm256_loadu_ps(out)));
    }
    AddFramesOneByOne(kernel, span, run, i);
}

// Output frames a span serves at the step dy: the frames they read, with
// their kernels' reach and the margins, fit in it.
unsigned FramesPerSpan(int taps, double dy, unsigned count)
{
    const double room = (double)(SPAN_FRAMES - taps - 2 - 2 * SPAN_MARGIN);
    return std::fabs(dy) * count <= room ? count : std::max(1u, (unsigned)(room / std::fabs(dy)));
}

// Adds a run of interpolated frames (see AddRun), span after span, each by
// addSpan. Inlined into one function per instruction set.
template <typename AddSpanFunction>
inline __attribute__((always_inline)) void AddRunBody(AddSpanFunction addSpan, const SincKernels::Kernel& kernel,
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
        const int64_t at = std::llround((from - (double)first) * unit);
        addSpan(kernel, span, SpanRun{at, step, frames, gain, envelope + done, mix + STEREO * done});
        done += frames;
    }
}

void AddRunPortable(const SincKernels::Kernel& kernel, const float* sound, long soundFrames, double y0, double dy,
                    const float* envelope, float gain, float* mix, unsigned count)
{
    AddRunBody(AddSpanPortable, kernel, sound, soundFrames, y0, dy, envelope, gain, mix, count);
}

__attribute__((target("avx2,fma"))) void AddRunAvx2(const SincKernels::Kernel& kernel, const float* sound,
                                                    long soundFrames, double y0, double dy, const float* envelope,
                                                    float gain, float* mix, unsigned count)
{
    AddRunBody(AddSpanAvx2, kernel, sound, soundFrames, y0, dy, envelope, gain, mix, count);
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
    const KernelShape& shape = scale > 1.0 ? ABOVE_RATE_1 : AT_OR_BELOW_RATE_1;
    const int count = TAP_GROUP * (int)std::ceil(2.0 * std::ceil(shape.halfWidth * scale) / TAP_GROUP);
    const double half = count / 2.0, cutoff = shape.cutoff / scale;
    std::vector<double> coefficients((size_t)(PHASES + 1) * count);
    for (int p = 0; p <= PHASES; p++) {
        double* row = &coefficients[(size_t)p * count];
        double sum = 0.0;
        for (int j = 0; j < count; j++) {
            const double t = j - (half - 1.0) - (double)p / PHASES;
            const double edge = t / half;
            const double window =
                std::fabs(edge) < 1.0 ? BesselI0(shape.kaiserBeta * std::sqrt(1.0 - edge * edge)) : 0.0;
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
