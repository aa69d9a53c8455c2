#include "spectral/SamplesToSpectro.h"

#include <algorithm>

#include "spectral/ChromaOverlapAddProcessor.h"
#include "spectral/OverlapAdd.h"
#include "spectral/SpectroOverlapAddProcessor.h"
#include "spectral/Spectrogram.h"

int SamplesToSpectro::NumCols(int nFrames)
{
    // One column per hop, less the hops that fill the first frame.
    return std::max(nFrames / HOP - FFT_SIZE / HOP, 0);
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
                                      Spectrogram** spectro, Spectrogram** chroma)
{
    *spectro = new Spectrogram(FFT_SIZE, NumCols(nFrames));
    *chroma = new Spectrogram(*spectro);
    // Only the analysed channel is fed, so it is channel 0 of the engine.
    OverlapAdd overlapAdd(FFT_SIZE, OVERLAP, true, false);
    SpectroOverlapAddProcessor spectroProcessor(*spectro, 0);
    ChromaOverlapAddProcessor chromaProcessor(FFT_SIZE, SAMPLE_RATE, *chroma, 0);
    overlapAdd.AddProcessor(&spectroProcessor);
    overlapAdd.AddProcessor(&chromaProcessor);
    if (chanNum >= 0 && chanNum < nChan)
        FeedChannels(samples, nFrames, nChan, chanNum, 1, &overlapAdd);
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
