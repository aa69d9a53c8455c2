// Loads arbitrary bytes as a session into a scene of three sound rects (see
// FuzzScene.h), the way start-up loads session.bin, and plays a block of the
// result. Whatever the bytes, the load must neither crash nor read or write
// outside what it owns (run under ASan and UBSan), and the output stays
// within full scale.
//
// Half the mutations are libFuzzer's own. The other half know the trailing
// section: they set one int of one chunk to a value at an edge (-1, 0, a
// count's bound) and write the section anew with its checksum, so that the
// chunks' readers meet whole files whose values lie where a byte-wise
// mutation seldom puts them.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "FuzzScene.h"
#include "app/App.h"
#include "app/SceneStore.h"
#include "app/Selection.h"
#include "session/Serializer.h"
#include "session/SessionTrailer.h"
#include "sources/Source.h"
#include "ui/UISource.h"

namespace {

using fuzzscene::H;
using fuzzscene::W;
const unsigned RENDER_FRAMES = 256;
const int EDGE_VALUES[] = {-1, 0, 1, 2, 15, 16, 17, 64, 127, 128, INT_MAX, INT_MIN};

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

// One int of one chunk of the file's trailing section set to an edge value,
// and the section written anew; false when the file has no chunk to change.
bool SetAChunkIntAtItsEdge(std::vector<char>* file, std::minstd_rand* random)
{
    size_t recordsEnd = 0;
    std::vector<SessionTrailer::Chunk> chunks;
    std::string why;
    if (SessionTrailer::Read(*file, &recordsEnd, &chunks, &why) == SessionTrailer::ABSENT || chunks.empty())
        return false;
    SessionTrailer::Chunk& chunk = chunks[(*random)() % chunks.size()];
    if (chunk.payload.size() < sizeof(int))
        return false;
    // The chunks are ints and texts from their start, most of them ints.
    const size_t at = (*random)() % (chunk.payload.size() / sizeof(int)) * sizeof(int);
    const int value = EDGE_VALUES[(*random)() % (sizeof(EDGE_VALUES) / sizeof(EDGE_VALUES[0]))];
    std::memcpy(chunk.payload.data() + at, &value, sizeof(value));
    Serializer writer;
    writer.OpenWriteMemory();
    writer.PutBytes(std::vector<char>(file->begin(), file->begin() + long(recordsEnd)));
    SessionTrailer::Append(chunks, &writer);
    *file = writer.GetStream();
    return true;
}

}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    std::minstd_rand random(seed);
    if (random() % 2 == 0) {
        std::vector<char> file(data, data + size);
        if (SetAChunkIntAtItsEdge(&file, &random) && file.size() <= maxSize) {
            std::memcpy(data, file.data(), file.size());
            return file.size();
        }
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

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
