#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "spectral/DSP.h"

class LoadProgress;
class Spectrogram;

// The analysis of every sound kept on disk between starts, one file per
// sound, named after the fingerprint of the samples the sound was made from
// and checked against the analysis version, so that a changed sound or a
// changed analysis never reads an old result. The entry also says how the
// sound was clipped and normalised, which takes passes over the whole sound
// that a warm start then skips. An entry is mapped into memory rather
// than read: its pages come from the file as they are used.
//
// An entry holds, for each channel, the magnitudes (half precision) and the
// phases (principal values) of every column, and the spectrogram and chromagram
// images of the first channel, the one drawn. Each part starts on a 64 KiB
// boundary so that it can be mapped on its own. A header names the sound,
// the sizes and the fingerprints of every part, piece by piece so that the
// parts are written as the analysis makes them and checked on every core
// at once; an entry whose file is missing, of another version, shorter or
// longer than its header says, or whose contents do not match their
// fingerprint is analysed again and replaced, never used. The check reads
// the file rather than mapping it, so that it costs no resident memory.
//
// A mapped entry that another program truncates while the instrument runs
// does not bring it down: what was cut off reads as zeros from then on
// (see MappedRegion).
//
// Entries are written to a temporary file in the cache folder and renamed
// into place, so that a crash or another instrument writing the same entry
// never leaves a half-written one under the entry's name. A folder that
// cannot be written costs only the speed-up: one message, and the sounds
// are analysed at every start.
//
// The folder is tidied after every start: what a crashed writer left is
// removed, and so are the least recently used entries once the folder holds
// more than a bound. Every use of an entry sets its access time.
class AnalysisCache {
public:
    // Changes whenever the analysis or the conditioning of the sounds would
    // give other results, or the entry's layout changes.
    static const uint32_t ANALYSIS_VERSION = 4;

    // Entries beyond this many bytes are removed, least recently used first.
    static const uint64_t DEFAULT_MAX_BYTES = 16ULL << 30;

    // dir: the cache folder, made when the first entry is written.
    explicit AnalysisCache(const std::string& dir, uint64_t maxBytes = DEFAULT_MAX_BYTES);
    virtual ~AnalysisCache() {}

    // $XDG_CACHE_HOME/zoltafenri, else ~/.cache/zoltafenri; empty when
    // neither variable is set.
    static std::string DefaultDir();
    // The fingerprint of a sound's samples that names its entry (see AudioFile::GetKey).
    static uint64_t SoundKey(const std::vector<float>& samples);

    const std::string& GetDir() const { return _dir; }
    std::string EntryPath(uint64_t key, long numFrames, int numChans) const;

    // The spectrogram and chromagram of each channel (chromagrams over their
    // spectrogram's columns, images for channel 0), read-only over the
    // mapped entry; false, with nothing made, when the entry cannot be used.
    bool Read(uint64_t key, long numFrames, int numChans, std::vector<Spectrogram*>* spectros,
              std::vector<Spectrogram*>* chromas) const;
    // How the sound of a whole entry of this version was clipped and
    // normalised, from its header alone; false when the entry has none.
    bool ReadClipLevels(uint64_t key, long numFrames, int numChans, DSP::ClipLevels* levels) const;
    // Stores the analysis of a sound; false when it could not be written
    // (said once per cache) or the loading was cancelled meanwhile.
    bool Write(uint64_t key, long numFrames, int numChans, const std::vector<Spectrogram*>& spectros,
               const std::vector<Spectrogram*>& chromas, const LoadProgress* progress = nullptr);

    class Writer;
    // Starts the entry of a sound whose analysis is still to come, written
    // as it comes, with how the sound was clipped and normalised where that
    // is known; null when it cannot be written (said once per cache). The
    // caller owns the writer.
    Writer* StartWriting(uint64_t key, long numFrames, int numChans, const DSP::ClipLevels* clipLevels = nullptr);

    // Removes the temporary files of writers that no longer run (or that
    // have not written for an hour) and the entries of other versions of
    // the analysis, then the least recently used entries
    // until the folder holds at most the bound; entries this cache has read
    // or written are kept whatever their size.
    void Tidy();

private:
    bool MakeFolder();
    void ReportUnwritable(const std::string& what, int error);
    // Sets the entry's access time and keeps it from this cache's tidying.
    void MarkUsed(const std::string& path) const;

    std::string _dir;
    uint64_t _maxBytes;
    std::atomic<bool> _reportedUnwritable;
    mutable std::mutex _usedMutex;
    mutable std::set<std::string> _used;
};

// An entry being written: each channel's columns arrive block by block, in
// order, and go straight to the file with their fingerprints, so that the
// analysis of a long sound is never held whole. Channels, and stretches of
// the images, may arrive from different threads at once. Deleting an
// unfinished writer removes its file.
class AnalysisCache::Writer {
public:
    // The images are fingerprinted in pieces of this many columns.
    static const int IMAGE_STRETCH_COLS = 16384;

    Writer(AnalysisCache* cache, uint64_t key, long numFrames, int numChans, const DSP::ClipLevels* clipLevels, int fd,
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
    uint64_t _key;
    long _numFrames;
    int _numChans;
    int _numCols;
    DSP::ClipLevels _clipLevels;
    bool _clipped;
    int _fd;
    std::string _tmpPath;
    std::vector<Part*> _parts;
    std::atomic<int> _error;
};
