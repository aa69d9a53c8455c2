#pragma once

#include <vector>

// Short-time spectrum of one channel of one sound: numCols columns of the
// full complex spectrum (2 * fftSize floats, interleaved real, imaginary),
// their magnitudes and phases (bins 0 ... fftSize/2 - 1) and a display image
// of fftSize/2 values per column.
//
// The spectrogram and the chromagram of a channel hold the same spectrum and
// differ only in their images, so the chromagram can be built over the
// spectrogram's columns instead of a copy of them. The spectrogram then owns
// the columns and must outlive the chromagram; in the instrument both live
// until the process ends (the sound rects never delete them).
//
// Reads outside the store are clamped to the first or last column, and an
// empty store reads as zeros; writes outside the store are dropped.
class Spectrogram {
public:
    // A negative numCols gives an empty store.
    Spectrogram(int fftSize, int numCols);
    // An image of its own over the columns of columnOwner (not owned, must
    // outlive this one).
    explicit Spectrogram(Spectrogram* columnOwner);
    virtual ~Spectrogram() {}
    Spectrogram(const Spectrogram&) = delete;
    Spectrogram& operator=(const Spectrogram&) = delete;

    // Stores the complex column and its magnitudes and phases.
    void SetCol(int col, const std::vector<float>& compBuf);
    // out becomes complex column col (2 * fftSize floats).
    void GetCol(int col, std::vector<float>* out) const;
    // Column at a fractional position, magnitudes and phases interpolated
    // linearly from the two neighbours. Run PreProcessPhases first so that
    // the phases interpolate along time. Positions before the first or from
    // the last column on return that column as stored.
    void GetCol(double col, std::vector<float>* out) const;

    int GetFFTSize() const;
    int GetNumCols() const;
    bool OwnsColumns() const;

    void SetMagnColDisp(int col, const std::vector<float>& v);
    std::vector<float>* GetMagnDataDisp();
    // Moves the image's floor to 0.
    void NormalizeMagnsDisp();
    // Unwraps the phases along time; done once for the shared columns
    // however often it is called, from whichever image.
    void PreProcessPhases();

    void SetMagnCol(int col, const std::vector<float>& magns);
    void GetMagnCol(int col, std::vector<float>* magns) const;
    void SetPhaseCol(int col, const std::vector<float>& phases);
    void GetPhaseCol(int col, std::vector<float>* phases) const;

    // Magnitudes of the first compBuf.size() / 4 bins of a full complex spectrum.
    static void ComputeMagns(const std::vector<float>& compBuf, std::vector<float>* magns);
    // Remainder of x / y in [0, y), for negative x too.
    static double FmodNegative(double x, double y);
    // Replaces *phase by the value of the same angle within pi of refPhase.
    static void FindClosestPhase(double* phase, double refPhase);

private:
    int NumBins() const;
    bool HasCol(int col) const;
    int ClampCol(int col) const;
    void SetBinCol(std::vector<float>* store, int col, const std::vector<float>& v);
    void GetBinCol(const std::vector<float>& store, int col, std::vector<float>* v) const;
    void InterpolateCol(int col0, double t, std::vector<float>* out) const;

    int _fftSize;
    int _numCols;
    // this, or the spectrogram whose columns this image shows.
    Spectrogram* _columnOwner;
    // The column stores, empty in an image over another one's columns.
    std::vector<float> _compBuf;
    std::vector<float> _magnBuf;
    std::vector<float> _phaseBuf;
    bool _phasesUnwrapped;
    std::vector<float> _magnBufDisp;
    std::vector<float> _tmpMagnBuf;
    std::vector<float> _tmpPhaseBuf;
};
