#pragma once

#include <functional>
#include <vector>

class FilterBank;
class LoadProgress;
class OverlapAdd;
class Spectrogram;

// Start-up analysis of a sound into spectrograms and chromagrams, 2048-point
// frames every 512 samples at the engine's rate. A sound of nFrames frames gets
// max(0, nFrames / 512 - 4) columns; the last one stays zero when nFrames is
// a multiple of 512, and sounds shorter than 2560 frames get an empty store.
// Nothing here is shared between calls: sounds and channels may be analysed
// on several threads at once.
class SamplesToSpectro {
public:
    static constexpr int FFT_SIZE = 2048;
    static constexpr int OVERLAP = 4;
    static constexpr int HOP = FFT_SIZE / OVERLAP;
    // Columns of a block of AnalyseChannelInBlocks: 8 MiB of columns and images.
    static constexpr int BLOCK_COLS = 1024;

    // What a pass over a channel makes: its columns, its images, or both.
    enum Content { COLUMNS, COLUMNS_AND_IMAGES, IMAGES };

    // Takes numCols columns from firstCol on, held in columns 0 ... numCols - 1
    // of spectro (and the images in both); false stops the pass.
    using BlockStore =
        std::function<bool(int firstCol, int numCols, const Spectrogram& spectro, const Spectrogram& chroma)>;

    virtual ~SamplesToSpectro() {}

    // The direct computation through the overlap-add engine, one image per
    // call. samples is interleaved with nChan channels; the caller owns the result.
    static Spectrogram* SamplesToSpectrogram(const std::vector<float>& samples, int nFrames, int nChan, int chanNum);
    static Spectrogram* SamplesToChromagram(const std::vector<float>& samples, int nFrames, int nChan, int chanNum);
    // Feeds every channel of the sound through the engine, one hop at a time.
    static void SamplesToSpectrogram(const std::vector<float>& samples, int nFrames, int nChan, OverlapAdd* overlapAdd);

    // Both images of one channel from a single pass over that channel alone,
    // with the phases stored as principal values: *chroma is built
    // over the columns of *spectro, so *spectro must outlive it. The caller
    // owns both. Gives the columns of SamplesToSpectrogram (phases prepared) and,
    // with withImages, the images of both direct computations; without, no
    // image is made (only one channel's images are drawn). With progress,
    // the frames analysed are added to it as the pass goes, and a
    // cancellation stops the pass early, leaving the rest of the store zero.
    static void AnalyseChannel(const std::vector<float>& samples, int nFrames, int nChan, int chanNum,
                               Spectrogram** spectro, Spectrogram** chroma, bool withImages = true,
                               LoadProgress* progress = nullptr);

    // The pass of AnalyseChannel through a store of BLOCK_COLS columns,
    // handed to store whenever it is full and at the end: the analysis of a
    // long sound never holds more than one block. The columns the pass does
    // not fill (see NumCols) are never handed over.
    static void AnalyseChannelInBlocks(const std::vector<float>& samples, int nFrames, int nChan, int chanNum,
                                       bool withImages, LoadProgress* progress, const BlockStore& store);

    // The images of columns firstCol ... endCol - 1 alone, block by block:
    // no column is stored, and no earlier column is needed, so that the
    // images of a long sound are made in stretches on every core while its
    // channels' passes make the columns.
    static void AnalyseImagesInBlocks(const std::vector<float>& samples, int nFrames, int nChan, int chanNum,
                                      int firstCol, int endCol, LoadProgress* progress, const BlockStore& store);

    static int NumCols(int nFrames);
    // The columns the feeding loop fills: one per hop fed after the first frame.
    static int NumFilledCols(int nFrames);
    // The spectrogram's image of a column of magnitudes: remapped in place
    // onto the mel scale from the first bin to Nyquist, which gives the low
    // octaves their share of the picture.
    static void ToMelImage(FilterBank* bank, std::vector<float>* magns);

private:
    // What a pass makes, over which columns.
    struct Pass {
        Content content;
        int firstCol;
        int endCol;
    };
    // A pass through a store of BLOCK_COLS columns handed to store.
    static void RunBlockPass(const std::vector<float>& samples, int nFrames, int nChan, int chanNum, const Pass& pass,
                             LoadProgress* progress, const BlockStore& store);
    // One channel's pass into spectro and chroma; with a store, the two hold
    // one block of columns at a time, else every column.
    static void RunPass(const std::vector<float>& samples, int nFrames, int nChan, int chanNum, const Pass& pass,
                        Spectrogram* spectro, Spectrogram* chroma, LoadProgress* progress, const BlockStore* store);
    // Feeds numFed channels from firstChan on, as channels 0 ... numFed - 1.
    static void FeedChannels(const std::vector<float>& samples, int nFrames, int nChan, int firstChan, int numFed,
                             OverlapAdd* overlapAdd);
};
