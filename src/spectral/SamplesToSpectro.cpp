#include "spectral/SamplesToSpectro.h"

#include <algorithm>
#include <cmath>

#include "sound/EngineRate.h"
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
    const double rate = EngineRate::Get();
    float freqLo = (float)rate / (float)numBins;
    bank->HzToTargetScale(magns, rate, freqLo, (float)(rate / 2.0), numBins);
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
    ChromaOverlapAddProcessor processor(FFT_SIZE, EngineRate::Get(), chroma, chanNum);
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
    (*spectro)->MarkPhasesPrepared();
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
        analysis.AnalyseColumn(col - firstCol, samples.data() + (size_t)col * HOP * nChan + chanNum, nChan);
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
