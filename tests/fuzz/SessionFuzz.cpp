// Loads arbitrary bytes as a session into a scene of three sound rects (see
// FuzzScene.h), the way start-up loads session.bin, and plays a block of the result. Whatever
// the bytes, the load must neither crash nor read or write outside what it
// owns (run under ASan and UBSan), and the output stays within full scale.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FuzzScene.h"
#include "app/App.h"
#include "app/SceneStore.h"
#include "app/Selection.h"
#include "session/Serializer.h"
#include "sources/Source.h"
#include "ui/UISource.h"

namespace {

using fuzzscene::H;
using fuzzscene::W;
const unsigned RENDER_FRAMES = 256;

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
        app = fuzzscene::MakeScene();
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
