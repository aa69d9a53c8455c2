#include "spectral/ChannelAnalysis.h"

#include <algorithm>
#include <cmath>

#include "sound/EngineRate.h"
#include "spectral/ChromaOverlapAddProcessor.h"
#include "spectral/FilterBank.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

namespace {
const int FFT_SIZE = SamplesToSpectro::FFT_SIZE;

// The Hann window of the engine, computed the same way.
std::vector<float> AnalysisWindow()
{
    std::vector<float> win(FFT_SIZE);
    for (int i = 0; i < FFT_SIZE; i++)
        win[i] = (float)(0.5 * (1.0 - std::cos(2.0 * M_PI * i / (FFT_SIZE - 1))));
    return win;
}

// The angle of (x, y) as atan2 gives it, to a few units in the last place
// (a Cephes-style polynomial after folding onto [0, tan(pi/8)]), written
// without branches so that a whole column is worked out in vector registers.
inline float Atan2(float y, float x)
{
    const float quarterPi = 0.78539816339744831f;
    const float halfPi = 1.5707963267948966f;
    const float pi = 3.1415926535897932f;
    const float tanEighthPi = 0.41421356237309505f;
    float ax = std::fabs(x);
    float ay = std::fabs(y);
    float big = std::max(ax, ay);
    float small = std::min(ax, ay);
    float a = big > 0.0f ? small / big : 0.0f;
    bool folded = a > tanEighthPi;
    float t = folded ? (a - 1.0f) / (a + 1.0f) : a;
    float z = t * t;
    float r =
        (((8.05374449538e-2f * z - 1.38776856032e-1f) * z + 1.99777106478e-1f) * z - 3.33329491539e-1f) * z * t + t;
    r += folded ? quarterPi : 0.0f;
    r = ay > ax ? halfPi - r : r;
    r = std::signbit(x) ? pi - r : r;
    return std::copysign(r, y);
}
}  // namespace

ChannelAnalysis::ChannelAnalysis(Spectrogram* spectro, Spectrogram* chroma, bool withColumns, bool withImages)
    : _spectro(spectro), _chroma(chroma), _withColumns(withColumns), _window(AnalysisWindow()),
      _fft(kiss_fftr_alloc(FFT_SIZE, 0, nullptr, nullptr)), _frame(FFT_SIZE), _spectrum(FFT_SIZE + 2),
      _magns(FFT_SIZE / 2), _phases(FFT_SIZE / 2), _melBank(nullptr), _chromaMaker(nullptr)
{
    if (withImages) {
        _melBank = new FilterBank(Scale::MEL);
        _chromaMaker = new ChromaOverlapAddProcessor(FFT_SIZE, EngineRate::Get(), chroma, 0);
        PrepareImages();
    }
}

ChannelAnalysis::~ChannelAnalysis()
{
    kiss_fftr_free(_fft);
    delete _melBank;
    delete _chromaMaker;
}

void ChannelAnalysis::AnalyseColumn(int col, const float* first, int stride)
{
    const int n = FFT_SIZE;
    for (int i = 0; i < n; i++)
        _frame[i] = first[(size_t)i * stride] * _window[i];
    kiss_fftr(_fft, _frame.data(), reinterpret_cast<kiss_fft_cpx*>(_spectrum.data()));
    const int numBins = n / 2;
    const float* spectrum = _spectrum.data();
    float* magns = _magns.data();
    for (int i = 0; i < numBins; i++) {
        float re = spectrum[2 * i];
        float im = spectrum[2 * i + 1];
        magns[i] = std::sqrt(re * re + im * im);
    }
    if (_withColumns)
        StoreColumn(col);
    if (_melBank != nullptr)
        MakeImages(col);
}

void ChannelAnalysis::StoreColumn(int col)
{
    const int numBins = FFT_SIZE / 2;
    const float* spectrum = _spectrum.data();
    float* phases = _phases.data();
    for (int i = 0; i < numBins; i++)
        phases[i] = Atan2(spectrum[2 * i + 1], spectrum[2 * i]);
    _spectro->SetMagnPhaseCol(col, _magns.data(), _phases.data());
}

void ChannelAnalysis::PrepareImages()
{
    std::fill(_magns.begin(), _magns.end(), 0.0f);
    _chromaMaker->MagnsToChroma(_magns, &_image);
    SamplesToSpectro::ToMelImage(_melBank, &_magns);
    // The table of display levels, which the process builds on its first use.
    Spectrogram::LevelOf(0.0f);
}

void ChannelAnalysis::MakeImages(int col)
{
    _chromaMaker->MagnsToChroma(_magns, &_image);
    _chroma->SetMagnColDisp(col, _image);
    // The remap works in place, after the chroma has read the magnitudes.
    SamplesToSpectro::ToMelImage(_melBank, &_magns);
    _spectro->SetMagnColDisp(col, _magns);
}
