#include "app/StartupLoader.h"

#include <malloc.h>

#include <functional>
#include <iostream>

#include "app/App.h"
#include "sound/AnalysisCache.h"
#include "sound/AudioFile.h"
#include "sound/AudioFileSet.h"
#include "sound/EngineRate.h"
#include "sound/LoadProgress.h"
#include "sound/SoundLoader.h"
#include "sound/SoundRect.h"
#include "spectral/Spectrogram.h"
#include "ui/UISoundRect.h"
#include "ui/UISoundRectPictures.h"

StartupLoader::StartupLoader(App* app) : _app(app), _progress(new LoadProgress()), _cache(nullptr), _fileSet(nullptr)
{
}

StartupLoader::~StartupLoader()
{
    if (_thread.joinable()) {
        Cancel();
        _thread.join();
    }
    delete _fileSet;
    delete _progress;
    delete _cache;
}

void StartupLoader::StartInBackground(const std::string& folder)
{
    std::string cacheDir = AnalysisCache::DefaultDir();
    if (!cacheDir.empty())
        _cache = new AnalysisCache(cacheDir);
    _thread = std::thread(&StartupLoader::LoadInBackground, this, folder);
}

void StartupLoader::LoadInBackground(std::string folder)
{
    if (ReadSounds(folder))
        AnalyseSounds();
    _progress->Finish();
}

bool StartupLoader::LoadNow(const std::string& folder)
{
    if (!ReadSounds(folder))
        return false;
    AnalyseSounds();
    return true;
}

bool StartupLoader::IsFinished() const
{
    return _progress->IsFinished();
}

void StartupLoader::Join()
{
    _thread.join();
}

void StartupLoader::Cancel()
{
    _progress->Cancel();
}

bool StartupLoader::ReadSounds(const std::string& folder)
{
    _fileSet = new AudioFileSet();
    _fileSet->SetProgress(_progress);
    if (_fileSet->Load(folder, EngineRate::Get(), _cache) == 1)
        return false;
    _fileSet->Stereoize();
    _fileSet->Normalize(_cache);
    _fileSet->Fade();
    _sounds = _fileSet->GetAudioFiles();
    std::cout << "Sounds loaded successfully..." << std::endl;

    _pendingRects.resize(_sounds.size());
    for (size_t i = 0; i < _sounds.size(); i++) {
        AudioFile* sound = _sounds[i];
        SoundRect* rect = new SoundRect();
        UISoundRect* view = new UISoundRect(rect, _app, _app->GetStyle(), _app->GetScreen());
        rect->RegisterUI(view);
        view->SetName(sound->GetName().c_str());
        // The loaded sounds live as long as the loader: the rect reads them where they are.
        rect->ShareSamples(sound->GetBuffer(), sound->GetNumFrames(), sound->GetNumChannels());
        _pendingRects[i] = rect;
    }
    return true;
}

void StartupLoader::AnalyseSounds()
{
    // Every channel of every sound becomes a spectrogram and a chromagram,
    // on every core; the waveform pictures are built beside them, and the
    // images pooled once the analysis is there, so that the first frame of
    // the canvas finds them ready.
    std::vector<std::function<void()>> pictures;
    for (SoundRect* rect : _pendingRects)
        pictures.push_back([rect]() { rect->GetUI()->GetPictures()->PrepareWaveform(); });
    std::vector<SoundLoader::Analysis> analyses;
    SoundLoader(_cache, _progress).Analyse(_sounds, pictures, &analyses);
    _pendingSpectros.resize(analyses.size());
    _pendingChromas.resize(analyses.size());
    for (size_t i = 0; i < analyses.size(); i++) {
        _pendingSpectros[i] = analyses[i].spectros;
        _pendingChromas[i] = analyses[i].chromas;
    }
    SoundLoader::ParallelFor(analyses.size(), [&](size_t i) {
        if (!analyses[i].spectros.empty() && !_progress->IsCancelled())
            _pendingRects[i]->GetUI()->GetPictures()->PrepareImages(analyses[i].spectros[0], analyses[i].chromas[0]);
    });
    // The analysis went block by block into the cache's mapped pages, and
    // the sounds made stereo gave up their originals; the allocator would
    // keep the freed memory for later use otherwise.
    malloc_trim(0);
}

void StartupLoader::InstallInto(std::vector<SoundRect*>* rects, std::vector<SamplesProvider*>* providers)
{
    for (size_t i = 0; i < _pendingRects.size(); i++) {
        SoundRect* rect = _pendingRects[i];
        rects->push_back(rect);
        providers->push_back(rect);
        for (size_t k = 0; k < _pendingSpectros[i].size(); k++)
            rect->AssociateSpectrogram(int(k), _pendingSpectros[i][k]);
        for (size_t k = 0; k < _pendingChromas[i].size(); k++)
            rect->AssociateChromagram(int(k), _pendingChromas[i][k]);
    }
    _pendingRects.clear();
    _pendingSpectros.clear();
    _pendingChromas.clear();
}
