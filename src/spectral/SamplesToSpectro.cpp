#include "spectral/SamplesToSpectro.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>

#include "sound/LoadProgress.h"
#include "spectral/ChromaOverlapAddProcessor.h"
#include "spectral/FilterBank.h"
#include "spectral/OverlapAdd.h"
#include "spectral/SpectroOverlapAddProcessor.h"
#include "spectral/Spectrogram.h"

namespace {
// Columns between two looks at the progress: often enough for the bar and
// for a prompt stop, rarely enough to cost nothing.
const int PROGRESS_COLUMNS = 64;
const float NYQUIST_HZ = (float)(SamplesToSpectro::SAMPLE_RATE / 2.0);

// The Hann window of the engine, computed the same way.
std::vector<float> AnalysisWindow()
{
    std::vector<float> win(SamplesToSpectro::FFT_SIZE);
    for (int i = 0; i < SamplesToSpectro::FFT_SIZE; i++)
        win[i] = (float)(0.5 * (1.0 - std::cos(2.0 * M_PI * i / (SamplesToSpectro::FFT_SIZE - 1))));
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

// One channel's pass: every frame windowed as the engine does it and
// transformed (a real transform: the upper half of the spectrum is the
// mirror of the lower one), its magnitudes and phases computed once, the
// phases unwrapped against the column before, and the images made from the
// same magnitudes.
class ChannelAnalysis {
public:
    ChannelAnalysis(Spectrogram* spectro, Spectrogram* chroma, bool withColumns, bool withImages)
        : _spectro(spectro), _chroma(chroma), _withColumns(withColumns), _window(AnalysisWindow()),
          _fft(kiss_fftr_alloc(SamplesToSpectro::FFT_SIZE, 0, nullptr, nullptr)), _frame(SamplesToSpectro::FFT_SIZE),
          _spectrum(SamplesToSpectro::FFT_SIZE + 2), _magns(SamplesToSpectro::FFT_SIZE / 2),
          _phases(SamplesToSpectro::FFT_SIZE / 2), _previousPhases(SamplesToSpectro::FFT_SIZE / 2), _melBank(nullptr),
          _chromaMaker(nullptr)
    {
        if (withImages) {
            _melBank = new FilterBank(Scale::MEL);
            _chromaMaker =
                new ChromaOverlapAddProcessor(SamplesToSpectro::FFT_SIZE, SamplesToSpectro::SAMPLE_RATE, chroma, 0);
        }
    }
    ~ChannelAnalysis()
    {
        kiss_fftr_free(_fft);
        delete _melBank;
        delete _chromaMaker;
    }
    ChannelAnalysis(const ChannelAnalysis&) = delete;
    ChannelAnalysis& operator=(const ChannelAnalysis&) = delete;

    // Stores the frame starting at first as column col of the store;
    // unwrap: whether a column came before it.
    void AnalyseColumn(int col, bool unwrap, const float* first, int stride)
    {
        const int n = SamplesToSpectro::FFT_SIZE;
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
            StoreColumn(col, unwrap);
        if (_melBank != nullptr)
            MakeImages(col);
    }

private:
    void StoreColumn(int col, bool unwrap)
    {
        const int numBins = SamplesToSpectro::FFT_SIZE / 2;
        const float* spectrum = _spectrum.data();
        float* phases = _phases.data();
        for (int i = 0; i < numBins; i++)
            phases[i] = Atan2(spectrum[2 * i + 1], spectrum[2 * i]);
        if (unwrap)
            Spectrogram::UnwrapCol(_phases.data(), _previousPhases.data(), numBins);
        _spectro->SetMagnPhaseCol(col, _magns.data(), _phases.data());
        _previousPhases.swap(_phases);
    }

    void MakeImages(int col)
    {
        _chromaMaker->MagnsToChroma(_magns, &_image);
        _chroma->SetMagnColDisp(col, _image);
        // The remap works in place, after the chroma has read the magnitudes.
        SamplesToSpectro::ToMelImage(_melBank, &_magns);
        _spectro->SetMagnColDisp(col, _magns);
    }

    Spectrogram* _spectro;
    Spectrogram* _chroma;
    bool _withColumns;
    std::vector<float> _window;
    kiss_fftr_cfg _fft;
    std::vector<float> _frame;
    std::vector<float> _spectrum;
    std::vector<float> _magns;
    std::vector<float> _phases;
    std::vector<float> _previousPhases;
    std::vector<float> _image;
    FilterBank* _melBank;
    ChromaOverlapAddProcessor* _chromaMaker;
};
}  // namespace

int SamplesToSpectro::NumCols(int nFrames)
{
    // One column per hop, less the hops that fill the first frame.
    return std::max(nFrames / HOP - FFT_SIZE / HOP, 0);
}

int SamplesToSpectro::NumFilledCols(int nFrames)
{
    // Hops fed: every whole hop that starts before the sound's final hop.
    int hopsFed = nFrames > HOP ? (nFrames - HOP + HOP - 1) / HOP : 0;
    return std::min(std::max(hopsFed - FFT_SIZE / HOP, 0), NumCols(nFrames));
}

void SamplesToSpectro::ToMelImage(FilterBank* bank, std::vector<float>* magns)
{
    int numBins = (int)magns->size();
    if (numBins == 0)
        return;
    // The lowest bin above DC, in single precision like the bank's own bounds.
    float freqLo = (float)SAMPLE_RATE / (float)numBins;
    bank->HzToTargetScale(magns, SAMPLE_RATE, freqLo, NYQUIST_HZ, numBins);
}

Spectrogram* SamplesToSpectro::SamplesToSpectrogram(const std::vector<float>& samples, int nFrames, int nChan,
                                                    int chanNum)
{
    Spectrogram* spectro = new Spectrogram(FFT_SIZE, NumCols(nFrames));
    OverlapAdd overlapAdd(FFT_SIZE, OVERLAP, true, false);
    SpectroOverlapAddProcessor processor(spectro, chanNum);
    overlapAdd.AddProcessor(&processor);
    SamplesToSpectrogram(samples, nFrames, nChan, &overlapAdd);
    return spectro;
}

Spectrogram* SamplesToSpectro::SamplesToChromagram(const std::vector<float>& samples, int nFrames, int nChan,
                                                   int chanNum)
{
    Spectrogram* chroma = new Spectrogram(FFT_SIZE, NumCols(nFrames));
    OverlapAdd overlapAdd(FFT_SIZE, OVERLAP, true, false);
    ChromaOverlapAddProcessor processor(FFT_SIZE, SAMPLE_RATE, chroma, chanNum);
    overlapAdd.AddProcessor(&processor);
    SamplesToSpectrogram(samples, nFrames, nChan, &overlapAdd);
    return chroma;
}

void SamplesToSpectro::SamplesToSpectrogram(const std::vector<float>& samples, int nFrames, int nChan,
                                            OverlapAdd* overlapAdd)
{
    FeedChannels(samples, nFrames, nChan, 0, nChan, overlapAdd);
}

void SamplesToSpectro::AnalyseChannel(const std::vector<float>& samples, int nFrames, int nChan, int chanNum,
                                      Spectrogram** spectro, Spectrogram** chroma, bool withImages,
                                      LoadProgress* progress)
{
    *spectro = new Spectrogram(FFT_SIZE, NumCols(nFrames));
    *chroma = new Spectrogram(*spectro);
    (*spectro)->MarkPhasesUnwrapped();
    Pass pass = {withImages ? COLUMNS_AND_IMAGES : COLUMNS, 0, NumCols(nFrames)};
    RunPass(samples, nFrames, nChan, chanNum, pass, *spectro, *chroma, progress, nullptr);
}

void SamplesToSpectro::AnalyseChannelInBlocks(const std::vector<float>& samples, int nFrames, int nChan, int chanNum,
                                              bool withImages, LoadProgress* progress, const BlockStore& store)
{
    Pass pass = {withImages ? COLUMNS_AND_IMAGES : COLUMNS, 0, NumCols(nFrames)};
    RunBlockPass(samples, nFrames, nChan, chanNum, pass, progress, store);
}

void SamplesToSpectro::AnalyseImagesInBlocks(const std::vector<float>& samples, int nFrames, int nChan, int chanNum,
                                             int firstCol, int endCol, LoadProgress* progress, const BlockStore& store)
{
    Pass pass = {IMAGES, std::max(firstCol, 0), std::min(endCol, NumCols(nFrames))};
    RunBlockPass(samples, nFrames, nChan, chanNum, pass, progress, store);
}

void SamplesToSpectro::RunBlockPass(const std::vector<float>& samples, int nFrames, int nChan, int chanNum,
                                    const Pass& pass, LoadProgress* progress, const BlockStore& store)
{
    Spectrogram spectro(FFT_SIZE, std::min(BLOCK_COLS, pass.endCol - pass.firstCol));
    Spectrogram chroma(&spectro);
    RunPass(samples, nFrames, nChan, chanNum, pass, &spectro, &chroma, progress, &store);
}

void SamplesToSpectro::RunPass(const std::vector<float>& samples, int nFrames, int nChan, int chanNum, const Pass& pass,
                               Spectrogram* spectro, Spectrogram* chroma, LoadProgress* progress,
                               const BlockStore* store)
{
    if (chanNum < 0 || chanNum >= nChan)
        return;
    nFrames = std::min(nFrames, (int)(samples.size() / nChan));
    int endCol = std::min(pass.endCol, NumFilledCols(nFrames));
    // Without a block store the store holds every column: one block.
    int blockCols = store != nullptr ? spectro->GetNumCols() : std::max(endCol, 1);
    // Only the passes that make the columns count as work done.
    bool countsWork = pass.content != IMAGES && progress != nullptr;
    ChannelAnalysis analysis(spectro, chroma, pass.content != IMAGES, pass.content != COLUMNS);
    int firstCol = pass.firstCol;
    for (int col = pass.firstCol; col < endCol; col++) {
        if (col - firstCol == blockCols) {
            if (!(*store)(firstCol, blockCols, *spectro, *chroma))
                return;
            firstCol = col;
        }
        analysis.AnalyseColumn(col - firstCol, col > 0, samples.data() + (size_t)col * HOP * nChan + chanNum, nChan);
        if (progress != nullptr && (col + 1) % PROGRESS_COLUMNS == 0) {
            if (countsWork)
                progress->AddWork((long)PROGRESS_COLUMNS * HOP);
            if (progress->IsCancelled())
                return;
        }
    }
    if (store != nullptr && endCol > firstCol && !(*store)(firstCol, endCol - firstCol, *spectro, *chroma))
        return;
    if (countsWork)
        progress->AddWork((long)(std::max(endCol, 0) % PROGRESS_COLUMNS) * HOP);
}

void SamplesToSpectro::FeedChannels(const std::vector<float>& samples, int nFrames, int nChan, int firstChan,
                                    int numFed, OverlapAdd* overlapAdd)
{
    if (nChan <= 0 || numFed <= 0)
        return;
    nFrames = std::min(nFrames, (int)(samples.size() / nChan));
    std::vector<float> block(numFed * HOP);
    // The final hop of the sound, whole or partial, is never fed.
    for (int frameNum = 0; frameNum < nFrames - HOP; frameNum += HOP) {
        for (int j = 0; j < HOP; j++) {
            const float* frame = samples.data() + (size_t)(frameNum + j) * nChan + firstChan;
            for (int k = 0; k < numFed; k++)
                block[k * HOP + j] = frame[k];
        }
        overlapAdd->Feed(block, HOP, numFed);
    }
}
