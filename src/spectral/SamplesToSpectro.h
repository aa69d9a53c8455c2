#pragma once

#include <vector>

class OverlapAdd;
class Spectrogram;

// Start-up analysis of a sound into spectrograms and chromagrams, 2048-point
// frames every 512 samples at 44100 Hz. A sound of nFrames frames gets
// max(0, nFrames / 512 - 4) columns; the last one stays zero when nFrames is
// a multiple of 512, and sounds shorter than 2560 frames get an empty store.
// Nothing here is shared between calls: sounds may be analysed on several
// threads at once.
class SamplesToSpectro {
public:
    static constexpr int FFT_SIZE = 2048;
    static constexpr int OVERLAP = 4;
    static constexpr int HOP = FFT_SIZE / OVERLAP;
    static constexpr double SAMPLE_RATE = 44100.0;

    virtual ~SamplesToSpectro() {}

    // samples is interleaved with nChan channels; the caller owns the result.
    static Spectrogram* SamplesToSpectrogram(const std::vector<float>& samples, int nFrames, int nChan, int chanNum);
    static Spectrogram* SamplesToChromagram(const std::vector<float>& samples, int nFrames, int nChan, int chanNum);
    // Feeds every channel of the sound through the engine, one hop at a time.
    static void SamplesToSpectrogram(const std::vector<float>& samples, int nFrames, int nChan, OverlapAdd* overlapAdd);

    // Both images of one channel from a single transform of that channel
    // alone: *chroma is built over the columns of *spectro, so *spectro must
    // outlive it. The caller owns both. Gives the same columns and images as
    // SamplesToSpectrogram and SamplesToChromagram.
    static void AnalyseChannel(const std::vector<float>& samples, int nFrames, int nChan, int chanNum,
                               Spectrogram** spectro, Spectrogram** chroma);

    static int NumCols(int nFrames);

private:
    // Feeds numFed channels from firstChan on, as channels 0 ... numFed - 1.
    static void FeedChannels(const std::vector<float>& samples, int nFrames, int nChan, int firstChan, int numFed,
                             OverlapAdd* overlapAdd);
};
