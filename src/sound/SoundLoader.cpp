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
            writers[i] = _cache->StartWriting(sounds[i]->GetKey(), (long)sounds[i]->GetNumFrames(),
                                              (int)sounds[i]->GetNumChannels(), sounds[i]->GetSampleRate(),
                                              sounds[i]->GetClipLevels());
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
    std::vector<Piece> pieces = MakePieces(sounds, which, writers);
    std::unique_ptr<std::atomic<int>[]> piecesLeft(new std::atomic<int>[sounds.size()]);
    for (size_t i : which) {
        piecesLeft[i] = 0;
        if (writers[i] == nullptr) {
            (*results)[i].spectros.assign(sounds[i]->GetNumChannels(), nullptr);
            (*results)[i].chromas.assign(sounds[i]->GetNumChannels(), nullptr);
        }
    }
    for (const Piece& piece : pieces)
        piecesLeft[piece.sound]++;
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
        if (writer == nullptr) {
            SamplesToSpectro::AnalyseChannel(*sound->GetBuffer(), (int)sound->GetNumFrames(),
                                             (int)sound->GetNumChannels(), piece.chan, &analysis.spectros[piece.chan],
                                             &analysis.chromas[piece.chan], piece.chan == IMAGE_CHANNEL, _progress);
            return;
        }
        Write(*sound, piece, writer);
        // The last piece done completes the entry, which then serves the sound.
        if (--piecesLeft[piece.sound] == 0 && !IsCancelled())
            writer->Finish(&analysis.spectros, &analysis.chromas);
    });
}

std::vector<SoundLoader::Piece> SoundLoader::MakePieces(const std::vector<AudioFile*>& sounds,
                                                        const std::vector<size_t>& which,
                                                        const std::vector<AnalysisCache::Writer*>& writers)
{
    // One piece per channel: one long sound keeps every core busy. The
    // images cost the drawn channel about as much again; for a sound
    // written to the cache they are made apart, in stretches, once it is
    // long enough for the stretches to fill the cores while the channels'
    // passes run.
    std::vector<Piece> pieces;
    std::vector<Piece> images;
    for (size_t i : which) {
        int numCols = SamplesToSpectro::NumCols((int)sounds[i]->GetNumFrames());
        bool imagesApart = writers[i] != nullptr && numCols > AnalysisCache::Writer::IMAGE_STRETCH_COLS;
        for (int k = 0; k < (int)sounds[i]->GetNumChannels(); k++)
            pieces.push_back(
                {i, k,
                 k == IMAGE_CHANNEL && !imagesApart ? SamplesToSpectro::COLUMNS_AND_IMAGES : SamplesToSpectro::COLUMNS,
                 0, numCols});
        for (int first = 0; imagesApart && first < numCols; first += AnalysisCache::Writer::IMAGE_STRETCH_COLS)
            images.push_back(
                {i, IMAGE_CHANNEL, SamplesToSpectro::IMAGES, first, first + AnalysisCache::Writer::IMAGE_STRETCH_COLS});
    }
    // The long passes first, the short stretches fill in after them.
    pieces.insert(pieces.end(), images.begin(), images.end());
    return pieces;
}

void SoundLoader::Write(AudioFile& sound, const Piece& piece, AnalysisCache::Writer* writer)
{
    const std::vector<float>& samples = *sound.GetBuffer();
    int numFrames = (int)sound.GetNumFrames();
    int numChans = (int)sound.GetNumChannels();
    if (piece.content == SamplesToSpectro::IMAGES) {
        SamplesToSpectro::AnalyseImagesInBlocks(
            samples, numFrames, numChans, piece.chan, piece.firstCol, piece.endCol, _progress,
            [&](int firstCol, int numCols, const Spectrogram& spectro, const Spectrogram& chroma) {
                return writer->WriteImages(firstCol, numCols, spectro, chroma);
            });
        return;
    }
    bool withImages = piece.content == SamplesToSpectro::COLUMNS_AND_IMAGES;
    SamplesToSpectro::AnalyseChannelInBlocks(
        samples, numFrames, numChans, piece.chan, withImages, _progress,
        [&](int firstCol, int numCols, const Spectrogram& spectro, const Spectrogram& chroma) {
            return writer->WriteColumns(piece.chan, firstCol, numCols, spectro) &&
                   (!withImages || writer->WriteImages(firstCol, numCols, spectro, chroma));
        });
}

void SoundLoader::ReadFromCache(const std::vector<AudioFile*>& sounds, std::vector<Analysis>* results)
{
    if (_cache == nullptr)
        return;
    ParallelFor(sounds.size(), [&](size_t i) {
        if (IsCancelled())
            return;
        AudioFile* sound = sounds[i];
        Analysis& analysis = (*results)[i];
        if (_cache->Read(sound->GetKey(), (long)sound->GetNumFrames(), (int)sound->GetNumChannels(),
                         sound->GetSampleRate(), &analysis.spectros, &analysis.chromas) &&
            _progress != nullptr) {
            _progress->SetAnalysing(sound->GetName(), (int)i);
            _progress->AddWork(WorkOf(sound));
        }
    });
}
