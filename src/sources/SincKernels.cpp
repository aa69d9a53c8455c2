#include "sources/SincKernels.h"

#include <algorithm>
#include <cmath>

namespace {
// Half the kernel's length, in output frames: the longer, the steeper its edge.
const double HALF_WIDTH = 8.0;
// The cutoff, as a fraction of the sample rate, at rates up to 1; above,
// divided by the rate. Low enough that a kernel's stop band begins near the
// output's Nyquist frequency.
const double CUTOFF = 0.40;
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

// The interpolated value of one frame from its taps' frames (x, interleaved)
// and the coefficients of its phase: the row plus t times its slope.
// Sixteen running sums, alternately left and right, so the products are
// formed side by side; they are folded in halves, which keeps the channels apart.
inline void __attribute__((always_inline))
Dot(const float* row, const float* slope, float t, const float* x, int values, float* outLeft, float* outRight)
{
    float sums[16] = {};
    for (int m = 0; m < values; m += 16)
        for (int q = 0; q < 16; q++)
            sums[q] += (row[m + q] + t * slope[m + q]) * x[m + q];
    for (int width = 8; width >= 2; width /= 2)
        for (int q = 0; q < width; q++)
            sums[q] += sums[q + width];
    *outLeft = sums[0];
    *outRight = sums[1];
}

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

// Adds a run of interpolated frames (see AddRun). Inlined into one function
// per instruction set.
inline __attribute__((always_inline)) void AddRunBody(const SincKernels::Kernel& kernel, const float* sound,
                                                      long soundFrames, double y0, double dy, const float* envelope,
                                                      float gain, float* left, float* right, unsigned count)
{
    const int taps = kernel.taps, values = STEREO * taps;
    float edge[STEREO * MAX_TAPS];
    for (unsigned i = 0; i < count; i++) {
        const double y = y0 + (double)i * dy;
        const double whole = std::floor(y);
        const double phase = (y - whole) * SincKernels::PHASES;
        const int p = std::min((int)phase, SincKernels::PHASES - 1);
        const float t = (float)(phase - p);
        const long first = (long)whole - taps / 2 + 1;
        const float* x = sound + STEREO * first;
        if (first < 0 || first + taps > soundFrames)
            x = FramesNearEdge(sound, soundFrames, first, taps, edge);
        float l, r;
        Dot(kernel.rows + (size_t)p * values, kernel.slopes + (size_t)p * values, t, x, values, &l, &r);
        const float level = gain * envelope[i];
        left[i] += l * level;
        right[i] += r * level;
    }
}

void AddRunPortable(const SincKernels::Kernel& kernel, const float* sound, long soundFrames, double y0, double dy,
                    const float* envelope, float gain, float* left, float* right, unsigned count)
{
    AddRunBody(kernel, sound, soundFrames, y0, dy, envelope, gain, left, right, count);
}

__attribute__((target("avx2,fma"))) void AddRunAvx2(const SincKernels::Kernel& kernel, const float* sound,
                                                    long soundFrames, double y0, double dy, const float* envelope,
                                                    float gain, float* left, float* right, unsigned count)
{
    AddRunBody(kernel, sound, soundFrames, y0, dy, envelope, gain, left, right, count);
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
    const int count = 8 * (int)std::ceil(2.0 * std::ceil(HALF_WIDTH * scale) / 8.0);
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
