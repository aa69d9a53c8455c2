#include "sound/SoundLoader.h"

#include <algorithm>
#include <atomic>
#include <memory>
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

    // Each sound the cache did not have goes straight into a new entry as
    // it is analysed, and is then mapped from there.
    std::vector<size_t> missing;
    for (size_t i = 0; i < sounds.size(); i++) {
        if ((*results)[i].spectros.empty())
            missing.push_back(i);
    }
    std::vector<AnalysisCache::Writer*> writers(sounds.size(), nullptr);
    for (size_t i : missing) {
        if (_cache != nullptr)
            writers[i] =
                _cache->StartWriting(_keys[i], (long)sounds[i]->GetNumFrames(), (int)sounds[i]->GetNumChannels());
    }
    AnalyseSounds(sounds, missing, writers, extraTasks, results);

    // Whatever could not be written after all (a full disk) is analysed
    // again into memory of its own.
    std::vector<size_t> unwritten;
    for (size_t i : missing) {
        if (writers[i] != nullptr && (*results)[i].spectros.empty())
            unwritten.push_back(i);
        delete writers[i];
        writers[i] = nullptr;
    }
    if (!IsCancelled())
        AnalyseSounds(sounds, unwritten, writers, {}, results);
    if (_cache != nullptr && !IsCancelled())
        _cache->Tidy();
}

void SoundLoader::AnalyseSounds(const std::vector<AudioFile*>& sounds, const std::vector<size_t>& which,
                                const std::vector<AnalysisCache::Writer*>& writers,
                                const std::vector<std::function<void()>>& extraTasks, std::vector<Analysis>* results)
{
    // One piece of work per channel: one long sound keeps every core busy.
    struct Piece {
        size_t sound;
        int chan;
    };
    std::vector<Piece> pieces;
    std::unique_ptr<std::atomic<int>[]> channelsLeft(new std::atomic<int>[sounds.size()]);
    for (size_t i : which) {
        int numChans = (int)sounds[i]->GetNumChannels();
        channelsLeft[i] = numChans;
        if (writers[i] == nullptr) {
            (*results)[i].spectros.assign(numChans, nullptr);
            (*results)[i].chromas.assign(numChans, nullptr);
        }
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
        AnalysisCache::Writer* writer = writers[piece.sound];
        if (_progress != nullptr)
            _progress->SetAnalysing(sound->GetName(), (int)piece.sound);
        const std::vector<float>& samples = *sound->GetBuffer();
        int numFrames = (int)sound->GetNumFrames();
        int numChans = (int)sound->GetNumChannels();
        if (writer == nullptr) {
            SamplesToSpectro::AnalyseChannel(samples, numFrames, numChans, piece.chan, &analysis.spectros[piece.chan],
                                             &analysis.chromas[piece.chan], piece.chan == IMAGE_CHANNEL, _progress);
            return;
        }
        SamplesToSpectro::AnalyseChannelInBlocks(
            samples, numFrames, numChans, piece.chan, piece.chan == IMAGE_CHANNEL, _progress,
            [&](int firstCol, int numCols, const Spectrogram& spectro, const Spectrogram& chroma) {
                return writer->WriteColumns(piece.chan, firstCol, numCols, spectro, chroma);
            });
        // The last channel done completes the entry, which then serves the sound.
        if (--channelsLeft[piece.sound] == 0 && !IsCancelled())
            writer->Finish(&analysis.spectros, &analysis.chromas);
    });
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
