#include "sound/SoundLoader.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "sound/AnalysisCache.h"
#include "sound/AudioFile.h"
#include "sound/LoadProgress.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

namespace {
// Only the first channel's images are drawn.
const int IMAGE_CHANNEL = 0;
}  // namespace

SoundLoader::SoundLoader(AnalysisCache* cache, LoadProgress* progress) : _cache(cache), _progress(progress)
{
}

bool SoundLoader::IsCancelled() const
{
    return _progress != nullptr && _progress->IsCancelled();
}

long SoundLoader::WorkOf(const AudioFile* sound)
{
    return (long)sound->GetNumChannels() * SamplesToSpectro::NumFilledCols((int)sound->GetNumFrames()) *
           SamplesToSpectro::HOP;
}

void SoundLoader::ParallelFor(size_t count, const std::function<void(size_t)>& task)
{
    std::atomic<size_t> next(0);
    auto worker = [&]() {
        for (size_t i = next++; i < count; i = next++)
            task(i);
    };
    unsigned numThreads = std::max(1u, std::thread::hardware_concurrency());
    numThreads = (unsigned)std::min<size_t>(numThreads, std::max<size_t>(count, 1));
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < numThreads; t++)
        threads.emplace_back(worker);
    worker();
    for (std::thread& thread : threads)
        thread.join();
}

void SoundLoader::Analyse(const std::vector<AudioFile*>& sounds, const std::vector<std::function<void()>>& extraTasks,
                          std::vector<Analysis>* results)
{
    results->assign(sounds.size(), Analysis());
    if (_progress != nullptr) {
        long total = 0;
        for (const AudioFile* sound : sounds)
            total += WorkOf(sound);
        _progress->StartAnalysis(total, (int)sounds.size());
    }
    ReadFromCache(sounds, results);

    // One piece of work per channel of every sound the cache did not have.
    struct Piece {
        size_t sound;
        int chan;
    };
    std::vector<Piece> pieces;
    std::vector<size_t> analysed;
    for (size_t i = 0; i < sounds.size(); i++) {
        if (!(*results)[i].spectros.empty())
            continue;
        analysed.push_back(i);
        int numChans = (int)sounds[i]->GetNumChannels();
        (*results)[i].spectros.assign(numChans, nullptr);
        (*results)[i].chromas.assign(numChans, nullptr);
        for (int k = 0; k < numChans; k++)
            pieces.push_back({i, k});
    }
    ParallelFor(pieces.size() + extraTasks.size(), [&](size_t p) {
        if (IsCancelled())
            return;
        if (p >= pieces.size()) {
            extraTasks[p - pieces.size()]();
            return;
        }
        const Piece& piece = pieces[p];
        AudioFile* sound = sounds[piece.sound];
        Analysis& analysis = (*results)[piece.sound];
        if (_progress != nullptr)
            _progress->SetAnalysing(sound->GetName(), (int)piece.sound);
        SamplesToSpectro::AnalyseChannel(*sound->GetBuffer(), (int)sound->GetNumFrames(), (int)sound->GetNumChannels(),
                                         piece.chan, &analysis.spectros[piece.chan], &analysis.chromas[piece.chan],
                                         piece.chan == IMAGE_CHANNEL, _progress);
    });
    StoreInCache(sounds, analysed, results);
    if (_cache != nullptr && !IsCancelled())
        _cache->Tidy();
}

void SoundLoader::ReadFromCache(const std::vector<AudioFile*>& sounds, std::vector<Analysis>* results)
{
    _keys.assign(sounds.size(), 0);
    if (_cache == nullptr)
        return;
    ParallelFor(sounds.size(), [&](size_t i) {
        if (IsCancelled())
            return;
        AudioFile* sound = sounds[i];
        _keys[i] = AnalysisCache::SoundKey(*sound->GetBuffer());
        Analysis& analysis = (*results)[i];
        if (_cache->Read(_keys[i], (long)sound->GetNumFrames(), (int)sound->GetNumChannels(), &analysis.spectros,
                         &analysis.chromas) &&
            _progress != nullptr) {
            _progress->SetAnalysing(sound->GetName(), (int)i);
            _progress->AddWork(WorkOf(sound));
        }
    });
}

void SoundLoader::StoreInCache(const std::vector<AudioFile*>& sounds, const std::vector<size_t>& analysed,
                               std::vector<Analysis>* results)
{
    if (_cache == nullptr || IsCancelled())
        return;
    ParallelFor(analysed.size(), [&](size_t a) {
        size_t i = analysed[a];
        AudioFile* sound = sounds[i];
        long numFrames = (long)sound->GetNumFrames();
        int numChans = (int)sound->GetNumChannels();
        Analysis& computed = (*results)[i];
        if (!_cache->Write(_keys[i], numFrames, numChans, computed.spectros, computed.chromas, _progress))
            return;
        // Read back, the computed columns give way to the file's pages.
        Analysis mapped;
        if (_cache->Read(_keys[i], numFrames, numChans, &mapped.spectros, &mapped.chromas)) {
            Release(&computed);
            computed = mapped;
        }
    });
}

void SoundLoader::Release(Analysis* analysis)
{
    // Chromagrams first: they read their spectrogram's columns.
    for (Spectrogram* chroma : analysis->chromas)
        delete chroma;
    for (Spectrogram* spectro : analysis->spectros)
        delete spectro;
    analysis->chromas.clear();
    analysis->spectros.clear();
}
