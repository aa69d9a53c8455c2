#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sound/AnalysisCacheEntry.h"
#include "sound/ConvertedSoundEntry.h"
#include "spectral/DSP.h"

class LoadProgress;
class Spectrogram;

// The analysis of every sound kept on disk between starts, one file per
// sound and rate (an AnalysisCacheEntry), named after the fingerprint of the
// samples the sound was made from and checked against the analysis version,
// so that a changed sound or a changed analysis never reads an old result.
// Beside them, each sound converted to the engine's rate (a
// ConvertedSoundEntry), so that a warm start at another rate than the
// file's reads it instead of converting it again. The entry
// also says how the sound was clipped and normalised, which takes passes
// over the whole sound that a warm start then skips. An entry is mapped into
// memory rather than read: its pages come from the file as they are used.
// An entry that fails its checks is analysed again and replaced, never used.
//
// Entries are written to a temporary file in the cache folder and renamed
// into place. A folder that cannot be written costs only the speed-up: one
// message, and the sounds are analysed at every start.
//
// The folder is tidied after every start: what a crashed writer left is
// removed, and so are the least recently used entries once the folder holds
// more than a bound. Every use of an entry sets its access time.
class AnalysisCache {
public:
    // Entries and converted sounds beyond this many bytes are removed,
    // least recently used first.
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
    // The entry of a sound of numFrames frames of numChans channels at rate
    // frames per second (the engine's, which the sound was converted to).
    std::string EntryPath(uint64_t key, long numFrames, int numChans, double rate) const;

    // The spectrogram and chromagram of each channel (chromagrams over their
    // spectrogram's columns, images for channel 0), read-only over the
    // mapped entry; false, with nothing made, when the entry cannot be used.
    bool Read(uint64_t key, long numFrames, int numChans, double rate, std::vector<Spectrogram*>* spectros,
              std::vector<Spectrogram*>* chromas) const;
    // How the sound of a whole entry of this version was clipped and
    // normalised, from its header alone; false when the entry has none.
    bool ReadClipLevels(uint64_t key, long numFrames, int numChans, double rate, DSP::ClipLevels* levels) const;
    // Stores the analysis of a sound; false when it could not be written
    // (said once per cache) or the loading was cancelled meanwhile.
    bool Write(uint64_t key, long numFrames, int numChans, double rate, const std::vector<Spectrogram*>& spectros,
               const std::vector<Spectrogram*>& chromas, const LoadProgress* progress = nullptr);

    // The file of a sound converted to another rate (see ConvertedSoundEntry).
    std::string ConvertedPath(const ConvertedSoundEntry::Origin& origin) const;
    // The samples of the sound converted from origin, in the room that
    // room(numSamples) gives (null to give up), checked against their
    // fingerprint; false when there is none to use.
    bool ReadConverted(const ConvertedSoundEntry::Origin& origin, const std::function<float*(size_t numSamples)>& room,
                       ConvertedSoundEntry::Contents* contents) const;
    // Keeps a sound converted from origin for the next start; a failure
    // costs the next start a conversion (said once per cache).
    void WriteConverted(const ConvertedSoundEntry::Origin& origin, const std::vector<float>& samples,
                        const ConvertedSoundEntry::Contents& contents);

    using Writer = AnalysisCacheEntry::Writer;
    // Starts the entry of a sound whose analysis is still to come, written
    // as it comes, with how the sound was clipped and normalised where that
    // is known; null when it cannot be written (said once per cache). The
    // caller owns the writer.
    Writer* StartWriting(uint64_t key, long numFrames, int numChans, double rate,
                         const DSP::ClipLevels* clipLevels = nullptr);

    // Removes the temporary files of writers that no longer run (or that
    // have not written for an hour) and the entries of other versions of
    // the analysis, then the least recently used entries
    // until the folder holds at most the bound; entries this cache has read
    // or written are kept whatever their size.
    void Tidy();

    // Says, once per cache, that the folder what cannot be written and why.
    void ReportUnwritable(const std::string& what, int error);

private:
    bool MakeFolder();
    // A new file of this process and thread beside path, to be renamed to it.
    static std::string TemporaryPath(const std::string& path);
    // Sets the entry's access time and keeps it from this cache's tidying.
    void MarkUsed(const std::string& path) const;

    std::string _dir;
    uint64_t _maxBytes;
    std::atomic<bool> _reportedUnwritable;
    mutable std::mutex _usedMutex;
    mutable std::set<std::string> _used;
};
