#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "spectral/DSP.h"

class AnalysisCache;
class Spectrogram;

// The file of one sound's cached analysis (its header, its parts on page
// boundaries and their fingerprints), checked, mapped and written by the
// loader's workers.
//
// An entry holds, for each channel, the magnitudes (half precision) and the
// phases (principal values) of every column, and the spectrogram and chromagram
// images of the first channel, the one drawn. Each part starts on a 64 KiB
// boundary so that it can be mapped on its own. A header names the sound,
// the sizes and the fingerprints of every part, piece by piece so that the
// parts are written as the analysis makes them and checked on every core
// at once; an entry whose file is missing, of another version, shorter or
// longer than its header says, or whose contents do not match their
// fingerprint is never used. The check reads the file rather than mapping
// it, so that it costs no resident memory.
//
// A mapped entry that another program truncates while the instrument runs
// does not bring it down: what was cut off reads as zeros from then on
// (see MappedRegion).
class AnalysisCacheEntry {
public:
    // Changes whenever the analysis or the conditioning of the sounds would
    // give other results, or the entry's layout changes.
    static const uint32_t ANALYSIS_VERSION = 5;
    static const int MAX_CHANNELS = 2;
    // The channel whose images the entry keeps: the one drawn.
    static const int IMAGE_CHANNEL = 0;

    // The entry at path of a sound of numFrames frames of numChans channels
    // at rate frames per second whose samples have the fingerprint key: an
    // analysis made at one rate is never used at another, where the same
    // frames last another time.
    AnalysisCacheEntry(const std::string& path, uint64_t key, long numFrames, int numChans, double rate);
    virtual ~AnalysisCacheEntry() {}

    const std::string& GetPath() const { return _path; }
    // Whether a sound of numFrames frames of numChans channels has columns,
    // and a number of channels an entry holds.
    static bool HasShape(long numFrames, int numChans);
    // Whether the fingerprints of all the pieces of such a sound's entry fit
    // in the header's space.
    static bool FitsHeader(long numFrames, int numChans);

    // The spectrogram and chromagram of each channel (chromagrams over their
    // spectrogram's columns, images for channel 0), read-only over the
    // mapped file, once the file has passed its checks; false, with nothing
    // made, when it cannot be used.
    bool Read(std::vector<Spectrogram*>* spectros, std::vector<Spectrogram*>* chromas) const;
    // How the sound was clipped and normalised, from a whole header of this
    // version alone; false when the entry has none.
    bool ReadClipLevels(DSP::ClipLevels* levels) const;
    // Whether the file at path is an entry written by another version of the analysis.
    static bool IsOtherVersion(const std::string& path);

    class Writer;

private:
    // The analysis of a complete entry, read-only over its mapped parts;
    // false, with nothing made, when a part cannot be mapped.
    bool Map(std::vector<Spectrogram*>* spectros, std::vector<Spectrogram*>* chromas) const;

    std::string _path;
    uint64_t _key;
    long _numFrames;
    int _numChans;
    double _rate;
    int _numCols;
};

// An entry being written: each channel's columns arrive block by block, in
// order, and go straight to the file with their fingerprints, so that the
// analysis of a long sound is never held whole. Channels, and stretches of
// the images, may arrive from different threads at once. The file is
// written under a temporary name and renamed to the entry's path when it is
// complete, so that a crash or another instrument writing the same entry
// never leaves a half-written one under the entry's name. Deleting an
// unfinished writer removes its file.
class AnalysisCacheEntry::Writer {
public:
    // The images are fingerprinted in pieces of this many columns.
    static const int IMAGE_STRETCH_COLS = 16384;

    // fd: the temporary file at tmpPath, which the writer owns; cache hears
    // of a failure to write.
    Writer(AnalysisCache* cache, const AnalysisCacheEntry& entry, const DSP::ClipLevels* clipLevels, int fd,
           const std::string& tmpPath);
    virtual ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Columns firstCol ... firstCol + numCols - 1 of channel chan, held in
    // the first columns of spectro; false once writing has failed.
    bool WriteColumns(int chan, int firstCol, int numCols, const Spectrogram& spectro);
    // The images of the drawn channel over the same columns, held in the
    // first columns of the images of spectro and chroma. Stretches of
    // IMAGE_STRETCH_COLS columns may come from different threads at once.
    bool WriteImages(int firstCol, int numCols, const Spectrogram& spectro, const Spectrogram& chroma);
    // Completes the entry; with spectros and chromas, maps it into them as
    // Read does. false, with the entry removed, when anything failed.
    bool Finish(std::vector<Spectrogram*>* spectros = nullptr, std::vector<Spectrogram*>* chromas = nullptr);

private:
    class Part;
    bool Append(int part, size_t at, const void* data, size_t size);

    AnalysisCache* _cache;
    AnalysisCacheEntry _entry;
    DSP::ClipLevels _clipLevels;
    bool _clipped;
    int _fd;
    std::string _tmpPath;
    std::vector<Part*> _parts;
    std::atomic<int> _error;
};
