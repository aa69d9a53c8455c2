#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class MappedRegion;

// Short-time spectrum of one channel of one sound: numCols columns of the
// magnitudes and phases of bins 0 ... fftSize/2 - 1, and a display image of
// fftSize/2 levels per column. The complex spectrum is not kept: a column is
// rebuilt from its magnitudes and phases when asked for.
//
// Magnitudes are stored in half precision (11 significant bits, about 66 dB
// below each value), phases in single precision as principal values, exact
// however long the sound. The image holds one byte per value, the level of
// the display value between -50 dB (0) and full scale (255), the span the
// pictures show; it is made only for the images that are drawn.
//
// The spectrogram and the chromagram of a channel hold the same spectrum and
// differ only in their images, so the chromagram can be built over the
// spectrogram's columns instead of a copy of them. The spectrogram then owns
// the columns and must outlive the chromagram.
//
// The columns and the image either live in memory of their own or are read
// from a mapped analysis cache entry; mapped stores are read-only.
//
// Reads outside the store are clamped to the first or last column, and an
// empty store reads as zeros; writes outside the store are dropped.
class Spectrogram {
public:
    static constexpr int NUM_LEVELS = 256;
    static constexpr double IMAGE_MIN_DB = -50.0;
    static constexpr double IMAGE_MAX_DB = -0.00001;

    // A negative numCols gives an empty store.
    Spectrogram(int fftSize, int numCols);
    // An image of its own over the columns of columnOwner (not owned, must
    // outlive this one).
    explicit Spectrogram(Spectrogram* columnOwner);
    virtual ~Spectrogram();
    Spectrogram(const Spectrogram&) = delete;
    Spectrogram& operator=(const Spectrogram&) = delete;

    // Stores the magnitudes and phases of a full complex spectrum's lower half.
    void SetCol(int col, const std::vector<float>& compBuf);
    // The analysis' way in: numBins magnitudes and phases (principal values).
    void SetMagnPhaseCol(int col, const float* magns, const float* phases);
    // out becomes complex column col (2 * fftSize floats): bins below
    // fftSize/2 from the stored magnitudes and phases, the upper half their
    // complex conjugates (the Nyquist bin, not stored, is 0).
    void GetCol(int col, std::vector<float>* out) const;
    // Column at a fractional position, magnitudes and phases interpolated
    // linearly from the two neighbours (the phases the shorter way round). Positions before the first or from
    // the last column on return that column as stored.
    void GetCol(double col, std::vector<float>* out) const;

    int GetFFTSize() const;
    int GetNumCols() const;
    int GetNumBins() const;
    bool OwnsColumns() const;
    // Whether the columns are read from a mapped cache entry.
    bool IsMapped() const;

    // Stores the levels of display values; the image is made on the first call.
    void SetMagnColDisp(int col, const std::vector<float>& v);
    // Makes the image (all levels 0) now if there is none yet, so that
    // storing into it later allocates nothing.
    void PrepareImage();
    // Column srcCol of source becomes column col here: the stored columns
    // when this store owns its own, and the image levels when both have an
    // image. Allocates nothing.
    void CopyCol(const Spectrogram& source, int srcCol, int col);
    // Column col becomes silence, and black in the image.
    void ClearCol(int col);
    // numCols x fftSize/2 levels, column after column; null when no image was made.
    const uint8_t* GetImageLevels() const;
    // Gives back the memory of the image columns firstCol ... endCol - 1
    // once they have been read, where the image is mapped; they are read
    // from the file again if asked for later.
    void GiveBackImage(int firstCol, int endCol) const;
    // The level of a display value: its decibels between -50 and full scale
    // mapped onto 0 ... 255 and rounded (0 for -50 dB and below).
    static uint8_t LevelOf(float value);

    // Brings the phases to their principal values (within half a turn of
    // 0), which single precision holds exactly however far into a sound the
    // column lies; done once for the shared columns however often it is
    // called, from whichever image. Readers take the advance from one column
    // to the next modulo a turn, so phases stored whole (unwrapped) read the same.
    void PreProcessPhases();
    // For columns whose phases were stored as principal values.
    void MarkPhasesPrepared();
    bool ArePhasesPrepared() const;

    void SetMagnCol(int col, const std::vector<float>& magns);
    void GetMagnCol(int col, std::vector<float>* magns) const;
    void SetPhaseCol(int col, const std::vector<float>& phases);
    void GetPhaseCol(int col, std::vector<float>* phases) const;

    // The stores as they are kept, for the analysis cache: numCols x numBins
    // values each, column after column.
    const uint16_t* GetHalfMagnData() const;
    const float* GetPhaseData() const;
    // A read-only store of numCols columns read from mapped memory (the
    // region is owned, the phases count as prepared); null, with the region
    // deleted, when the region is too short.
    static Spectrogram* FromMappedColumns(int fftSize, int numCols, MappedRegion* region, size_t magnOffset,
                                          size_t phaseOffset);
    // Reads the image from mapped memory from now on (the region is owned);
    // false, with the region deleted and nothing changed, when it is too short.
    bool MapImage(MappedRegion* region, size_t offset);

    // Magnitudes of the first compBuf.size() / 4 bins of a full complex spectrum.
    static void ComputeMagns(const std::vector<float>& compBuf, std::vector<float>* magns);
    // The same angle within half a turn of 0.
    static double PrincipalPhase(double phase);

private:
    // A store with no column memory of its own yet.
    Spectrogram(int fftSize, int numCols, bool allocate);
    bool HasCol(int col) const;
    size_t NumValuesBefore(int col) const;
    int ClampCol(int col) const;
    bool IsWritable() const;
    void InterpolateCol(int col0, double t, std::vector<float>* out) const;

    int _fftSize;
    int _numCols;
    // this, or the spectrogram whose columns this image shows.
    Spectrogram* _columnOwner;
    // The column stores, empty in an image over another one's columns and
    // in a mapped one; _magns and _phases point at what is read.
    std::vector<uint16_t> _magnStore;
    std::vector<float> _phaseStore;
    const uint16_t* _magns;
    const float* _phases;
    MappedRegion* _mappedColumns;
    bool _phasesPrepared;
    std::vector<uint8_t> _imageStore;
    const uint8_t* _image;
    MappedRegion* _mappedImage;
};
