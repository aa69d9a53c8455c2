#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

class AnalysisCache;
class App;
class AudioFile;
class AudioFileSet;
class LoadProgress;
class SamplesProvider;
class SoundRect;
class Spectrogram;

// Reads the sound folder into rects with their views and analyses at start-up,
// on a thread of its own (or on the caller's), and hands them over to the
// scene on the GUI thread once they are ready; the sounds it read live as long
// as it does.
class StartupLoader {
public:
    // The rects' views are made for app, in its style and on its screen.
    explicit StartupLoader(App* app);
    virtual ~StartupLoader();
    StartupLoader(const StartupLoader&) = delete;
    StartupLoader& operator=(const StartupLoader&) = delete;

    // GUI thread: reads and analyses the folder on a new thread, with the
    // analysis cache of the user's cache folder.
    void StartInBackground(const std::string& folder);
    // Reads and analyses the folder on the calling thread; false when the
    // folder cannot be read.
    bool LoadNow(const std::string& folder);
    // GUI thread: whether the loading thread is done, and its end awaited.
    bool IsRunning() const { return _thread.joinable(); }
    bool IsFinished() const;
    void Join();
    // Gives up the loading: the threads stop at their next look at the progress.
    void Cancel();
    // GUI thread, under the scene lock: the rects read, with their analyses, join the scene.
    void InstallInto(std::vector<SoundRect*>* rects, std::vector<SamplesProvider*>* providers);
    LoadProgress* GetProgress() const { return _progress; }

private:
    void LoadInBackground(std::string folder);
    bool ReadSounds(const std::string& folder);
    void AnalyseSounds();

    App* _app;
    std::thread _thread;
    LoadProgress* _progress;
    AnalysisCache* _cache;
    AudioFileSet* _fileSet;
    std::vector<AudioFile*> _sounds;
    std::vector<SoundRect*> _pendingRects;
    std::vector<std::vector<Spectrogram*>> _pendingSpectros;
    std::vector<std::vector<Spectrogram*>> _pendingChromas;
};
