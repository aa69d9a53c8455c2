#include "spectral/SamplesToSpectro.h"

#include <algorithm>
#include <cmath>

#include "sound/LoadProgress.h"
#include "spectral/ChannelAnalysis.h"
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
    if (chanNum < 0 || chanNum >= nChan)
        return;
    nFrames = std::min(nFrames, (int)(samples.size() / nChan));
    int numCols = NumFilledCols(nFrames);
    ChannelAnalysis analysis(*spectro, *chroma, withImages);
    for (int col = 0; col < numCols; col++) {
        analysis.AnalyseColumn(col, samples.data() + (size_t)col * HOP * nChan + chanNum, nChan);
        if (progress != nullptr && (col + 1) % PROGRESS_COLUMNS == 0) {
            progress->AddWork((long)PROGRESS_COLUMNS * HOP);
            if (progress->IsCancelled())
                return;
        }
    }
    if (progress != nullptr)
        progress->AddWork((long)(numCols % PROGRESS_COLUMNS) * HOP);
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
