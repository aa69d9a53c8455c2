#pragma once

// Maps an FFT bin to its pitch class, as a continuous position on a circle
// of fftSize chroma bins (fftSize / 12 per semitone, C at 0).
class ChromaScale {
public:
    ChromaScale(int fftSize, double sampleRate);
    virtual ~ChromaScale() {}

    // Bins of the upper half fold onto the lower half; DC (and anything
    // outside the spectrum) maps to 0. Result in 0 ... fftSize.
    int FreqBinToChromaBin(int freqBin) const;

    // Frequency of C0 in Hz.
    static double ComputeC0Freq();
    // Frequency ratio of one equal-tempered semitone.
    static double ComputeToneMult();

private:
    double _c0Freq;
    double _logToneMultInv;
    int _fftSize;
    double _sampleRate;
};
