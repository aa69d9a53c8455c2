#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "ResidentMemory.h"
#include "app/App.h"
#include "app/LoadMeter.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "effects/ReverbEffect.h"
#include "parameters/Parameter.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "sources/Source.h"
#include "ui/UISoundRect.h"

namespace {

const int SAMPLE_RATE = 44100;
const unsigned BLOCK = 1024;
const unsigned MAX_BLOCK = 4096;
const int NUM_SOUNDS = 4;
const int SOUND_SECONDS = 3;
const int NUM_CLOUDS = 6;
const unsigned VOICES_PER_CLOUD = 100;

double ResidentMegabytes()
{
    return (double)ResidentBytesNow() / (1024.0 * 1024.0);
}

void SetParam(EffectsBox* box, EffectsBox::EffectIdx effect, int idx, double value)
{
    box->GetEffect(effect)->GetParameter(idx)->SetValue(value);
}

// Every effect of a chain on, with audible settings.
void SwitchEverythingOn(EffectsBox* box)
{
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++)
        SetParam(box, (EffectsBox::EffectIdx)e, 0, 1.0);
    SetParam(box, EffectsBox::EFFECT_BIT_CRUSH, 1, 30.0);
    SetParam(box, EffectsBox::EFFECT_SATURATION, 1, 20.0);
    SetParam(box, EffectsBox::EFFECT_STEREO, 1, 25.0);
    SetParam(box, EffectsBox::EFFECT_STEREO, 2, 40.0);
    SetParam(box, EffectsBox::EFFECT_REVERB, ReverbEffect::ORDER_PARAM, 10.0);
    SetParam(box, EffectsBox::EFFECT_VOLUME, 1, -3.0);
}

// Four sounds loaded from files as at start-up, stacked in the middle of the
// canvas, and six clouds of a hundred voices over them, with the master
// chain on; the callback renders it all.
class CallbackScene {
public:
    CallbackScene()
    {
        char pattern[] = "/tmp/zoltabenchXXXXXX";
        _dir = mkdtemp(pattern);
        WriteSounds();
        _app.SetWinSize(1000, 600);
        _app.SetAudioPath(_dir + "/");
        _loaded = _app.LoadSounds();
        for (size_t r = 0; r < _app.GetSoundRects().size(); r++) {
            UISoundRect* view = _app.GetSoundRects()[r]->GetUI();
            view->SetDimensions(0.6, 0.6);
            view->UpdateRectPosition(0.5 + 0.02 * r, 0.5);
        }
        _app.SetMenuFlag(false);
        SwitchEverythingOn(_app.GetMasterEffectsBox());
        const double before = ResidentMegabytes();
        for (int c = 0; c < NUM_CLOUDS; c++) {
            _app.AddGrainCloud(480 + 8 * c, 300);
            GrainCloud* cloud = dynamic_cast<GrainCloud*>(_app.GetSources().back());
            while (cloud->GetNumGrains() < VOICES_PER_CLOUD)
                cloud->AddGrain();
        }
        // Every waiting voice arrives, one per block.
        Render(VOICES_PER_CLOUD + 50);
        _cloudsMegabytes = ResidentMegabytes() - before;
    }

    ~CallbackScene() { (void)system(("rm -rf " + _dir).c_str()); }

    bool Loaded() const { return _loaded; }
    // The resident memory the six clouds added, their voices' copies of
    // the analysed rects included.
    double GetCloudsMegabytes() const { return _cloudsMegabytes; }

    void SwitchSourceEffectsOn()
    {
        for (Source* source : _app.GetSources())
            SwitchEverythingOn(source->GetEffectsBox());
    }

    void Render(int blocks)
    {
        for (int b = 0; b < blocks; b++)
            RenderBlock(BLOCK);
    }

    // One block of frames frames (up to MAX_BLOCK), as the audio system asks for it.
    void RenderBlock(unsigned frames) { _app.OnAudio(_out.data(), nullptr, frames, 0, 0, nullptr); }
    unsigned long GetBlocksOverBudget() const { return _app.GetLoadMeter()->GetBlocksOverBudget(); }

private:
    // Noise over a chord, different in every sound.
    void WriteSounds()
    {
        std::srand(71);
        const int frames = SOUND_SECONDS * SAMPLE_RATE;
        for (int s = 0; s < NUM_SOUNDS; s++) {
            std::vector<float> samples(2 * frames);
            for (int f = 0; f < frames; f++) {
                const double t = (double)f / SAMPLE_RATE;
                const double chord = 0.2 * (std::sin(2 * M_PI * 220.0 * (s + 1) * t) + std::sin(2 * M_PI * 330.0 * t));
                for (int c = 0; c < 2; c++)
                    samples[2 * f + c] = (float)(chord + 0.05 * (2.0 * std::rand() / RAND_MAX - 1.0));
            }
            SF_INFO info = {};
            info.samplerate = SAMPLE_RATE;
            info.channels = 2;
            info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
            const std::string path = _dir + "/sound" + std::to_string(s) + ".wav";
            SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
            sf_writef_float(file, samples.data(), frames);
            sf_close(file);
        }
    }

    std::string _dir;
    App _app;
    bool _loaded = false;
    double _cloudsMegabytes = 0.0;
    std::vector<float> _out = std::vector<float>(2 * MAX_BLOCK);
};

// The scene is built once (loading analyses the sounds) and shared.
CallbackScene* Scene()
{
    static CallbackScene* scene = new CallbackScene();
    return scene;
}

// One iteration renders one second of audio through the whole callback; the
// counter is the share of real time (of one core) it takes.
void BenchCallback(benchmark::State& state)
{
    CallbackScene* scene = Scene();
    if (!scene->Loaded()) {
        state.SkipWithError("the sounds did not load");
        return;
    }
    const int blocksPerSecond = SAMPLE_RATE / (int)BLOCK;
    for (auto _ : state)
        scene->Render(blocksPerSecond);
    state.counters["clouds_MB"] = scene->GetCloudsMegabytes();
    state.counters["share_of_real_time"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_CallbackSixCloudsOfHundredVoices(benchmark::State& state)
{
    BenchCallback(state);
}

// Seconds of CPU the calling thread has used.
double ThreadCpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + 1e-9 * now.tv_nsec;
}

// A minute of audio played in blocks of state.range(0) frames, as the audio
// system would ask for them: the slowest block against its budget (the time
// the block lasts at 44100 Hz), and how many blocks the load meter counted
// over budget. Timed per block, since one slow block is a click however fast
// the others are. Both the time on the clock and the CPU time of the block
// are given: on a busy machine the first includes the waits for a core, and
// the second is what the block takes on a core of its own.
void BM_WorstBlockOfAMinute(benchmark::State& state)
{
    CallbackScene* scene = Scene();
    if (!scene->Loaded()) {
        state.SkipWithError("the sounds did not load");
        return;
    }
    const unsigned block = (unsigned)state.range(0);
    const unsigned blocks = 60 * SAMPLE_RATE / block;
    const double budget = double(block) / SAMPLE_RATE;
    // The first block at a new size sizes the scratch blocks once.
    scene->RenderBlock(block);
    const unsigned long overBefore = scene->GetBlocksOverBudget();
    double worst = 0.0, worstCpu = 0.0, totalCpu = 0.0;
    unsigned long cpuOver = 0;
    for (auto _ : state) {
        for (unsigned b = 0; b < blocks; b++) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = ThreadCpuSeconds();
            scene->RenderBlock(block);
            const double cpu = ThreadCpuSeconds() - cpuStart;
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            worst = std::max(worst, seconds);
            worstCpu = std::max(worstCpu, cpu);
            totalCpu += cpu;
            cpuOver += cpu > budget;
        }
    }
    state.counters["budget_ms"] = 1000.0 * budget;
    state.counters["worst_ms"] = 1000.0 * worst;
    state.counters["worst_cpu_ms"] = 1000.0 * worstCpu;
    state.counters["worst_cpu_of_budget"] = worstCpu / budget;
    state.counters["mean_cpu_of_budget"] = totalCpu / (double(blocks) * state.iterations()) / budget;
    state.counters["over_budget_meter"] = double(scene->GetBlocksOverBudget() - overBefore);
    state.counters["over_budget_cpu"] = double(cpuOver);
}

// Runs after the ones above: the same scene with every source's chain on too.
void BM_CallbackSixCloudsOfHundredVoicesEveryEffectOn(benchmark::State& state)
{
    Scene()->SwitchSourceEffectsOn();
    BenchCallback(state);
}

}  // namespace

BENCHMARK(BM_CallbackSixCloudsOfHundredVoices)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WorstBlockOfAMinute)->Arg(64)->Arg(128)->Arg(1024)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_CallbackSixCloudsOfHundredVoicesEveryEffectOn)->Unit(benchmark::kMillisecond)->UseRealTime();
