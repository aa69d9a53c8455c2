// Loads arbitrary bytes as a session into a scene of three sound rects, the
// way start-up loads session.bin, and plays a block of the result. Whatever
// the bytes, the load must neither crash nor read or write outside what it
// owns (run under ASan and UBSan), and the output stays within full scale.
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/SceneStore.h"
#include "app/Selection.h"
#include "app/StyleSwitch.h"
#include "session/Serializer.h"
#include "sources/Source.h"
#include "ui/UISource.h"

namespace {

const int W = 1000;
const int H = 500;
const unsigned RENDER_FRAMES = 256;

void WriteSound(const std::string& path, int frames, int channels)
{
    SF_INFO info = {};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> data(size_t(frames) * channels);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = float(0.5 * std::sin(0.05 * double(i)));
    sf_writef_float(file, data.data(), frames);
    sf_close(file);
}

App* MakeScene()
{
    char pattern[] = "/tmp/zoltasessionfuzzXXXXXX";
    std::string dir = mkdtemp(pattern);
    WriteSound(dir + "/a.wav", 4410, 2);
    WriteSound(dir + "/b.wav", 8820, 1);
    WriteSound(dir + "/c.wav", 3000, 2);
    App* app = new App();
    app->SetWinSize(W, H);
    app->SetAudioPath(dir + "/");
    app->GetStyles()->CreateStyles();
    app->LoadSounds();
    std::system(("rm -rf " + dir).c_str());
    return app;
}

// Sources from the previous input go, so each input starts from the same scene of rects.
void RemoveSources(App* app)
{
    while (!app->GetSources().empty()) {
        // Where sources overlap the first one made is picked.
        UISource* first = app->GetSources()[0]->GetUI();
        app->GetSelection()->UpdateSourcePicking(first->GetX() * W, first->GetY() * H);
        if (app->GetSelection()->GetSelectedSourceIndex() != 0)
            std::abort();
        app->DelSelectedSource();
    }
}

// A few blocks of what the loaded scene plays, then of its sources fading
// out: whatever the session held, the output stays finite and within full scale.
void RenderBlocks(App* app, int count)
{
    static std::vector<float> block(2 * RENDER_FRAMES);
    for (int b = 0; b < count; b++) {
        app->OnAudio(block.data(), nullptr, RENDER_FRAMES, 0.0, 0, nullptr);
        for (float sample : block) {
            if (!(std::fabs(sample) <= 1.0f))
                std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static App* app = nullptr;
    if (app == nullptr) {
        // The loader's console lines would drown the fuzzer's.
        if (freopen("/dev/null", "w", stdout) == nullptr)
            return 0;
        app = MakeScene();
    }
    Serializer reader;
    reader.OpenReadMemory(std::vector<char>(data, data + size));
    app->GetScenes()->UnSerializeSession(&reader);
    app->SetMenuFlag(false);
    RenderBlocks(app, 1);
    RemoveSources(app);
    // The removed sources play their fade and are dropped, so that the next
    // input's first removal frees them.
    app->SetMenuFlag(true);
    RenderBlocks(app, 2);
    return 0;
}
