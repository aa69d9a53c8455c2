#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "sound/AnalysisCache.h"
#include "spectral/SamplesToSpectro.h"

class AudioFile;
class LoadProgress;
class Spectrogram;

// The analysis of the loaded sounds at start-up, spread over every core:
// each channel of each sound is one piece of work, so that one long sound
// keeps both cores busy. A sound whose analysis is in the cache is mapped
// from there instead; the others are analysed block by block straight into
// a new cache entry and then mapped from it, so that their columns live in
// the file's pages rather than in memory of their own, and the analysis of
// an hour-long sound never holds more than a few blocks. Without a cache
// that can be written, the analysis is kept in memory.
class SoundLoader {
public:
    // The spectrogram and chromagram of each channel of one sound; the
    // chromagrams read their spectrogram's columns. Owned by the caller.
    struct Analysis {
        std::vector<Spectrogram*> spectros;
        std::vector<Spectrogram*> chromas;
    };

    // cache and progress are not owned; either may be null.
    SoundLoader(AnalysisCache* cache, LoadProgress* progress);
    virtual ~SoundLoader() {}

    // Analyses every sound into results (one per sound, in order);
    // extraTasks run on the same cores meanwhile. Stops early, leaving
    // results incomplete, when the progress is cancelled.
    void Analyse(const std::vector<AudioFile*>& sounds, const std::vector<std::function<void()>>& extraTasks,
                 std::vector<Analysis>* results);

    // Runs task(0) ... task(count - 1) on every core, the calling thread included.
    static void ParallelFor(size_t count, const std::function<void(size_t)>& task);
    // The frames the analysis of a sound goes through, all channels together.
    static long WorkOf(const AudioFile* sound);

private:
    // One piece of the analysis: a channel's pass, or a stretch of the images.
    struct Piece {
        size_t sound;
        int chan;
        SamplesToSpectro::Content content;
        int firstCol;
        int endCol;
    };

    bool IsCancelled() const;
    static std::vector<Piece> MakePieces(const std::vector<AudioFile*>& sounds, const std::vector<size_t>& which,
                                         const std::vector<AnalysisCache::Writer*>& writers);
    // Analyses a piece of a sound straight into its entry.
    void Write(AudioFile& sound, const Piece& piece, AnalysisCache::Writer* writer);
    void ReadFromCache(const std::vector<AudioFile*>& sounds, std::vector<Analysis>* results);
    // Analyses the sounds listed in which, each into its writer's entry, or
    // into memory where it has none; extraTasks run on the same cores.
    void AnalyseSounds(const std::vector<AudioFile*>& sounds, const std::vector<size_t>& which,
                       const std::vector<AnalysisCache::Writer*>& writers,
                       const std::vector<std::function<void()>>& extraTasks, std::vector<Analysis>* results);

    AnalysisCache* _cache;
    LoadProgress* _progress;
};
