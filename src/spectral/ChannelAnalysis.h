#pragma once

#include <kiss_fftr.h>

#include <vector>

class ChromaOverlapAddProcessor;
class FilterBank;
class Spectrogram;

// The analysis of one channel, one column at a time: every frame windowed as
// the overlap-add engine does it and transformed (a real transform: the
// upper half of the spectrum is the mirror of the lower one), its magnitudes
// and phases computed once (the phases as principal values, exact in single
// precision however long the sound), and the images made from the same
// magnitudes. The columns may be
// given in any places of the stores: a block of a long sound, or a ring of
// columns, is analysed as well as a whole sound.
class ChannelAnalysis {
public:
    // withColumns: the columns (magnitudes and phases) are stored into
    // spectro; withImages: the images into spectro and chroma, the image
    // over spectro's columns that gets the chroma image.
    ChannelAnalysis(Spectrogram* spectro, Spectrogram* chroma, bool withColumns, bool withImages);
    virtual ~ChannelAnalysis();
    ChannelAnalysis(const ChannelAnalysis&) = delete;
    ChannelAnalysis& operator=(const ChannelAnalysis&) = delete;

    // Analyses the frame of FFT_SIZE samples from first on, stride floats
    // apart, into column col.
    void AnalyseColumn(int col, const float* first, int stride);

private:
    void StoreColumn(int col);
    void MakeImages(int col);
    // Runs a silent column through the image mappings, which build the mel
    // filter bank, the chroma bins, their scratch and the display levels on
    // first use: an analysis builds them once, and then no column allocates.
    void PrepareImages();

    Spectrogram* _spectro;
    Spectrogram* _chroma;
    bool _withColumns;
    std::vector<float> _window;
    kiss_fftr_cfg _fft;
    std::vector<float> _frame;
    std::vector<float> _spectrum;
    std::vector<float> _magns;
    std::vector<float> _phases;
    std::vector<float> _image;
    FilterBank* _melBank;
    ChromaOverlapAddProcessor* _chromaMaker;
};
