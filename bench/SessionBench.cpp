#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/AppControl.h"
#include "app/StyleSwitch.h"
#include "session/Serializer.h"
#include "sources/Source.h"
#include "ui/UISource.h"

namespace {

const int W = 1000;
const int H = 500;
const int NUM_SOURCES = 100;

// Four short sounds as rects, and a hundred clouds spread over them.
class HundredSourceScene {
public:
    HundredSourceScene()
    {
        char pattern[] = "/tmp/zoltasessionbenchXXXXXX";
        _dir = mkdtemp(pattern);
        for (int i = 0; i < 4; i++)
            WriteSound(_dir + "/s" + std::to_string(i) + ".wav");
        _app = NewApp();
        for (int i = 0; i < NUM_SOURCES; i++) {
            _app->GetControl()->OnMousePassiveMotion((i * 37) % W, (i * 53) % H);
            _app->GetControl()->OnKeyboard('1', 0, 0, 0);
        }
        _path = _dir + ".session.bin";
    }
    ~HundredSourceScene() { std::system(("rm -rf " + _dir + " " + _path).c_str()); }

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

HundredSourceScene& Scene()
{
    static HundredSourceScene scene;
    return scene;
}

// F12 on a scene of a hundred clouds: encoding, the write, the flush to disk and the rename.
void BM_SaveHundredSources(benchmark::State& state)
{
    std::string error;
    Scene();
    for (auto _ : state) {
        if (!Scene().GetApp()->SerializeSession(Scene().GetPath().c_str(), &error))
            state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_SaveHundredSources)->Unit(benchmark::kMillisecond);

// The start-up load of the same session into a scene of the same sounds:
// reading the file and making the hundred clouds with their voices.
void BM_LoadHundredSources(benchmark::State& state)
{
    std::string error;
    Scene().GetApp()->SerializeSession(Scene().GetPath().c_str(), &error);
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<App> app = Scene().NewApp();
        state.ResumeTiming();
        Serializer reader;
        reader.OpenReadFile(Scene().GetPath().c_str());
        app->UnSerializeSession(&reader);
        if (app->GetSources().size() != size_t(NUM_SOURCES))
            state.SkipWithError("the session did not load whole");
        state.PauseTiming();
        app.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadHundredSources)->Unit(benchmark::kMillisecond);

}  // namespace
