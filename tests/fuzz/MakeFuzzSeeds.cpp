// Writes the seeds the fuzzers start from. For the sound loading fuzzer, small
// sound files: WAV in several sample formats and channel counts, FLAC, Ogg
// Vorbis and Opus, and a few of the other containers libsndfile opens, all
// made here with libsndfile, so that no sample file comes from elsewhere. For
// the session fuzzer, sessions saved by the instrument in the fuzzer's own
// scene, holding every chunk of the trailing section: MIDI learn bindings
// (MIDI), live rects (LIVE), random draws (RAND) and rects kept for sounds
// that are not loaded (KEPT), with small seeds where the chunks are most of
// the file.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "FuzzScene.h"
#include "app/App.h"
#include "app/SceneStore.h"
#include "effects/EffectsBox.h"
#include "effects/VolumeEffect.h"
#include "midi/ControllerBindings.h"
#include "midi/MidiLearn.h"
#include "session/Serializer.h"
#include "sources/GrainCloud.h"
#include "ui/UISoundRect.h"

namespace {
struct Seed {
    const char* name;
    int format;
    int channels;
    int rate;
    int frames;
};

const Seed SEEDS[] = {
    {"pcm16-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 200},
    {"float-mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, 150},
    {"pcm24-3ch.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 3, 48000, 100},
    {"pcm8-8k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000, 300},
    {"double-5ch.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 5, 44100, 40},
    {"ima-adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 22050, 600},
    {"ms-adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 1, 11025, 600},
    {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, 200},
    {"stereo.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 300},
    {"6ch-24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 6, 96000, 100},
    {"mono.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050, 400},
    {"stereo.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 2, 48000, 960},
    {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, 100},
    {"float.au", SF_FORMAT_AU | SF_FORMAT_FLOAT, 7, 44100, 30},
    {"pcm24.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_24, 1, 192000, 100},
    {"alac.caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 2, 44100, 200},
};

bool WriteSeed(const std::string& dir, const Seed& seed)
{
    SF_INFO info = {};
    info.channels = seed.channels;
    info.samplerate = seed.rate;
    info.format = seed.format;
    std::string path = dir + "/" + seed.name;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    if (sf == nullptr) {
        fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<float> samples((size_t)seed.frames * seed.channels);
    for (int f = 0; f < seed.frames; f++)
        for (int c = 0; c < seed.channels; c++)
            samples[(size_t)f * seed.channels + c] = 0.8f * (float)std::sin(0.05 * (c + 1) * f);
    sf_count_t written = sf_writef_float(sf, samples.data(), seed.frames);
    sf_close(sf);
    return written == seed.frames;
}
std::vector<char> Save(App* app)
{
    Serializer writer;
    writer.OpenWriteMemory();
    app->GetScenes()->SerializeSession(&writer);
    return writer.GetStream();
}

void Load(App* app, const std::vector<char>& bytes)
{
    Serializer reader;
    reader.OpenReadMemory(bytes);
    app->GetScenes()->UnSerializeSession(&reader);
}

bool WriteFile(const std::string& path, const std::vector<char>& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    bool ok = file != nullptr && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr)
        ok = fclose(file) == 0 && ok;
    if (!ok)
        fprintf(stderr, "%s cannot be written\n", path.c_str());
    return ok;
}

// The rects' and the master chain's settings learned, no source: a small file
// whose MIDI chunk is a fair share of it.
void BindRectsAndMaster(App* app)
{
    ControllerBindings* bindings = app->GetMidiLearn()->GetBindings();
    bindings->Bind(1, 20, ControlTarget::RectParam(0, UISoundRect::CONTRAST));
    bindings->Bind(1, 21, ControlTarget::RectParam(1, UISoundRect::RANGE));
    bindings->Bind(2, 22, ControlTarget::RectParam(2, UISoundRect::TYPE));
    bindings->Bind(16, 7, ControlTarget::MasterEffect(EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM));
}

bool WriteSessionSeeds(const std::string& dir)
{
    std::unique_ptr<App> app(fuzzscene::MakeScene());
    BindRectsAndMaster(app.get());
    bool ok = WriteFile(dir + "/rect-bindings.bin", Save(app.get()));

    // Two live rects, one with a binding, and a cloud with its draws.
    app->AddLiveRect(0.3 * fuzzscene::W, 0.4 * fuzzscene::H);
    app->AddLiveRect(0.7 * fuzzscene::W, 0.6 * fuzzscene::H);
    app->GetMidiLearn()->GetBindings()->Bind(3, 30, ControlTarget::RectParam(3, UISoundRect::CONTRAST));
    ok = WriteFile(dir + "/live-rects.bin", Save(app.get())) && ok;
    app->AddGrainCloud(0.5 * fuzzscene::W, 0.5 * fuzzscene::H);
    app->GetMidiLearn()->GetBindings()->Bind(4, 40, ControlTarget::SourceParam(0, GrainCloud::PITCH));
    app->GetMidiLearn()->GetBindings()->Bind(4, 41, ControlTarget::SourceEffect(0, EffectsBox::EFFECT_DELAY, 1));
    ok = WriteFile(dir + "/live-cloud-bindings.bin", Save(app.get())) && ok;

    // Saved with a fourth sound and read where it is missing: its rect is
    // kept aside, and the next save keeps it in its own chunk.
    std::unique_ptr<App> withD(fuzzscene::MakeScene(true));
    BindRectsAndMaster(withD.get());
    withD->GetMidiLearn()->GetBindings()->Bind(5, 50, ControlTarget::RectParam(3, UISoundRect::ORIENTATION));
    std::unique_ptr<App> withoutD(fuzzscene::MakeScene());
    Load(withoutD.get(), Save(withD.get()));
    return WriteFile(dir + "/kept-rect.bin", Save(withoutD.get())) && ok;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s SOUND-SEED-DIRECTORY SESSION-SEED-DIRECTORY\n", argv[0]);
        return 2;
    }
    // The instrument's console lines say nothing here.
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    bool ok = true;
    for (const Seed& seed : SEEDS)
        ok = WriteSeed(argv[1], seed) && ok;
    ok = WriteSessionSeeds(argv[2]) && ok;
    return ok ? 0 : 1;
}
