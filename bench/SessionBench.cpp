#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "QuietConsole.h"
#include "app/App.h"
#include "app/AppControl.h"
#include "app/SceneStore.h"
#include "app/StyleSwitch.h"
#include "session/Serializer.h"
#include "sources/Source.h"
#include "ui/UISource.h"

namespace {

const int W = 1000;
const int H = 500;
const int NUM_SOURCES = 100;
// A scene recalled live from a slot holds this many sources.
const int NUM_RECALLED_SOURCES = 50;

// Four short sounds as rects, and a number of clouds spread over them.
class SourceScene {
public:
    explicit SourceScene(int numSources)
    {
        char pattern[] = "/tmp/zoltasessionbenchXXXXXX";
        _dir = mkdtemp(pattern);
        for (int i = 0; i < 4; i++)
            WriteSound(_dir + "/s" + std::to_string(i) + ".wav");
        _app = NewApp();
        for (int i = 0; i < numSources; i++) {
            _app->GetControl()->OnMousePassiveMotion((i * 37) % W, (i * 53) % H);
            _app->GetControl()->OnKeyboard('1', 0, 0, 0);
        }
        _path = _dir + ".session.bin";
    }
    ~SourceScene() { std::system(("rm -rf " + _dir + " " + _path).c_str()); }

    std::unique_ptr<App> NewApp() const
    {
        std::unique_ptr<App> app(new App());
        app->SetWinSize(W, H);
        app->SetAudioPath(_dir + "/");
        app->GetStyles()->CreateStyles();
        app->LoadSounds();
        return app;
    }
    App* GetApp() const { return _app.get(); }
    const std::string& GetPath() const { return _path; }

private:
    static void WriteSound(const std::string& path)
    {
        SF_INFO info = {};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        std::vector<float> data(2 * 8820);
        for (size_t i = 0; i < data.size(); i++)
            data[i] = float(0.5 * std::sin(0.01 * double(i)));
        sf_writef_float(file, data.data(), 8820);
        sf_close(file);
    }

    std::string _dir;
    std::string _path;
    std::unique_ptr<App> _app;
};

SourceScene& Scene()
{
    static SourceScene scene(NUM_SOURCES);
    return scene;
}

// F12 on a scene of a hundred clouds: encoding, the write, the flush to disk and the rename.
void BM_SaveHundredSources(benchmark::State& state)
{
    std::string error;
    Scene();
    for (auto _ : state) {
        if (!Scene().GetApp()->GetScenes()->SerializeSession(Scene().GetPath().c_str(), &error))
            state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_SaveHundredSources)->Unit(benchmark::kMillisecond);

// The start-up load of the same session into a scene of the same sounds:
// reading the file and making the hundred clouds with their voices.
void BM_LoadHundredSources(benchmark::State& state)
{
    std::string error;
    Scene().GetApp()->GetScenes()->SerializeSession(Scene().GetPath().c_str(), &error);
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<App> app = Scene().NewApp();
        state.ResumeTiming();
        Serializer reader;
        reader.OpenReadFile(Scene().GetPath().c_str());
        app->GetScenes()->UnSerializeSession(&reader);
        if (app->GetSources().size() != size_t(NUM_SOURCES))
            state.SkipWithError("the session did not load whole");
        state.PauseTiming();
        app.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadHundredSources)->Unit(benchmark::kMillisecond);

// Ctrl+F1 while fifty sources play: the GUI thread reads the slot, and under
// the scene lock the sources give way to the fifty of the slot. One block is
// played between recalls (not timed), so that the sources that gave way fade
// out and are freed as they would be.
void BM_RecallFiftySources(benchmark::State& state)
{
    static SourceScene scene(NUM_RECALLED_SOURCES);
    App* app = scene.GetApp();
    app->GetScenes()->SetSessionPath(scene.GetPath());
    app->SetMenuFlag(false);
    QuietConsole quiet;
    app->GetScenes()->SaveSceneSlot(1);
    app->GetScenes()->WritePendingSession();
    std::vector<float> block(2 * 1024);
    for (auto _ : state) {
        app->GetScenes()->RecallSceneSlot(1);
        app->GetScenes()->RecallPendingScene();
        state.PauseTiming();
        if (app->GetSources().size() != size_t(NUM_RECALLED_SOURCES))
            state.SkipWithError("the slot did not recall whole");
        app->OnAudio(block.data(), nullptr, 1024, 0.0, 0, nullptr);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RecallFiftySources)->Unit(benchmark::kMillisecond);

}  // namespace
