#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>
#include <sndfile.h>
#include <sys/resource.h>
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
#include "app/Time.h"
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
// What the instrument's audio thread asks for under PulseAudio and ALSA.
const int REALTIME_PRIORITY = 70;

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
        // Every scene starts on the same clock, so that two play alike.
        Time::Instance()->AddSeconds(-Time::Instance()->GetSeconds());
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
            // The same grains at every run, so that runs compare block by block.
            cloud->SeedRandom(c + 1);
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

    void Render(int blocks, unsigned frames = BLOCK)
    {
        for (int b = 0; b < blocks; b++)
            RenderBlock(frames);
    }

    // One block of frames frames (up to MAX_BLOCK), as the audio system asks for it.
    void RenderBlock(unsigned frames) { _app.OnAudio(_out.data(), nullptr, frames, 0, 0, nullptr); }
    // The sum of the squares of the last block of frames frames.
    double GetEnergy(unsigned frames) const
    {
        double energy = 0.0;
        for (unsigned i = 0; i < 2 * frames; i++)
            energy += (double)_out[i] * _out[i];
        return energy;
    }
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

// One iteration renders one second of audio through the whole callback, in
// blocks of state.range(0) frames; the counter is the share of real time (of
// one core) it takes. Small blocks cost more than their share: every voice's
// state is fetched from memory once per block, however short.
void BenchCallback(benchmark::State& state)
{
    CallbackScene* scene = Scene();
    if (!scene->Loaded()) {
        state.SkipWithError("the sounds did not load");
        return;
    }
    const unsigned block = (unsigned)state.range(0);
    const int blocksPerSecond = SAMPLE_RATE / (int)block;
    for (auto _ : state)
        scene->Render(blocksPerSecond, block);
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

// What the kernel has counted for the calling thread: its page faults, and
// the times it was switched out (to wait, or for another thread).
struct ThreadEvents {
    long faults;
    long switches;
};

ThreadEvents ThreadEventsNow()
{
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return {usage.ru_minflt + usage.ru_majflt, usage.ru_nvcsw + usage.ru_nivcsw};
}

// While one lives, the calling thread runs at the real-time priority the
// instrument's audio thread asks for, where the system grants it.
class RealtimeThread {
public:
    RealtimeThread()
    {
        pthread_getschedparam(pthread_self(), &_policy, &_param);
        sched_param realtime = {};
        realtime.sched_priority = REALTIME_PRIORITY;
        _granted = pthread_setschedparam(pthread_self(), SCHED_RR, &realtime) == 0;
    }
    virtual ~RealtimeThread()
    {
        if (_granted)
            pthread_setschedparam(pthread_self(), _policy, &_param);
    }
    bool Granted() const { return _granted; }

private:
    int _policy = SCHED_OTHER;
    sched_param _param = {};
    bool _granted = false;
};

// Adds seconds to a point on the monotonic clock.
void Advance(timespec* when, double seconds)
{
    const long NANOS = 1000000000L;
    when->tv_nsec += (long)(seconds * NANOS);
    when->tv_sec += when->tv_nsec / NANOS;
    when->tv_nsec %= NANOS;
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// A minute of blocks as the audio system asked for them, and what was
// measured of it.
struct PlayedMinute {
    // The CPU time of every block.
    std::vector<double> cpu;
    double worstSeconds = 0.0;
    unsigned long overBudgetMeter = 0;
    unsigned long overBudgetSwitchedOut = 0;
    long faults = 0;
    long worstBlockFaults = 0;
    // The sum of the squares of every sample, which tells two plays apart.
    double energy = 0.0;
    bool realtime = false;
};

// A minute of audio through a scene built afresh, played in blocks of block
// frames as an audio system asks for them: one every block period (at once
// after a block that ran late), on a real-time thread where the system
// grants one. Both the time on the clock and the CPU time of every block
// are measured: the first includes any wait for the core, the second is
// what the block took on it.
PlayedMinute PlayAMinute(unsigned block)
{
    CallbackScene scene;
    PlayedMinute minute;
    if (!scene.Loaded())
        return minute;
    const unsigned blocks = 60 * SAMPLE_RATE / block;
    const double budget = double(block) / SAMPLE_RATE;
    minute.cpu.reserve(blocks);
    // The first block at a new size sizes the scratch blocks once.
    scene.RenderBlock(block);
    const unsigned long overBefore = scene.GetBlocksOverBudget();
    // Only the playing: threads the scene starts would inherit the priority.
    const RealtimeThread realtime;
    minute.realtime = realtime.Granted();
    double worstCpu = 0.0;
    timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (unsigned b = 0; b < blocks; b++) {
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        const ThreadEvents before = ThreadEventsNow();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ThreadCpuSeconds();
        scene.RenderBlock(block);
        const double cpu = ThreadCpuSeconds() - cpuStart;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const ThreadEvents after = ThreadEventsNow();
        minute.cpu.push_back(cpu);
        minute.worstSeconds = std::max(minute.worstSeconds, seconds);
        if (cpu > worstCpu) {
            worstCpu = cpu;
            minute.worstBlockFaults = after.faults - before.faults;
        }
        minute.faults += after.faults - before.faults;
        minute.overBudgetSwitchedOut += cpu > budget && after.switches > before.switches;
        minute.energy += scene.GetEnergy(block);
        Advance(&next, budget);
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (Before(next, now))
            next = now;
    }
    minute.overBudgetMeter = scene.GetBlocksOverBudget() - overBefore;
    return minute;
}

// Plays of the minute whose block times are compared.
const int PLAYS = 3;

// The same minute played three times, in blocks of state.range(0) frames:
// the slowest block against its budget (the time the block lasts at 44100
// Hz), and how many blocks the load meter counted over budget, in the first
// play; one slow block is a click however fast the others are. On a busy
// machine a block's CPU time also holds what others cost it: caches gone
// cold while the thread was switched out, interrupts, which the kernel
// charges to the thread they interrupt, and on a virtual machine the host's
// own hold-ups. Such a hold-up strikes one play and not the others at the
// same block, so the least of a block's CPU times is its own cost: the worst
// of those (worst_own_cpu_of_budget), their mean (mean_own_cpu_of_budget)
// and the blocks over budget by them (over_budget_own) are what the scene
// asks of a core, same_sound saying that every play gave the same samples.
// Three plays rather than two: where hold-ups strike one block in fifty,
// two plays still share one by chance every 2,500 blocks. The over-budget
// blocks the thread was switched out in, and the page faults of the worst
// block and of the play (a first touch of memory shows there), tell where
// the time went.
void BM_WorstBlockOfAMinute(benchmark::State& state)
{
    const unsigned block = (unsigned)state.range(0);
    const double budget = double(block) / SAMPLE_RATE;
    PlayedMinute plays[PLAYS];
    for (auto _ : state)
        for (PlayedMinute& play : plays)
            play = PlayAMinute(block);
    const PlayedMinute& first = plays[0];
    bool sameSound = true, realtime = true;
    for (const PlayedMinute& play : plays) {
        if (play.cpu.empty() || play.cpu.size() != first.cpu.size()) {
            state.SkipWithError("the sounds did not load");
            return;
        }
        sameSound = sameSound && play.energy == first.energy;
        realtime = realtime && play.realtime;
    }
    double worstCpu = 0.0, totalCpu = 0.0, worstOwn = 0.0, totalOwn = 0.0;
    unsigned long cpuOver = 0, ownOver = 0;
    for (size_t b = 0; b < first.cpu.size(); b++) {
        double own = first.cpu[b];
        for (const PlayedMinute& play : plays)
            own = std::min(own, play.cpu[b]);
        worstCpu = std::max(worstCpu, first.cpu[b]);
        totalCpu += first.cpu[b];
        cpuOver += first.cpu[b] > budget;
        worstOwn = std::max(worstOwn, own);
        totalOwn += own;
        ownOver += own > budget;
    }
    state.counters["realtime"] = realtime ? 1.0 : 0.0;
    state.counters["budget_ms"] = 1000.0 * budget;
    state.counters["worst_ms"] = 1000.0 * first.worstSeconds;
    state.counters["worst_cpu_ms"] = 1000.0 * worstCpu;
    state.counters["worst_cpu_of_budget"] = worstCpu / budget;
    state.counters["mean_cpu_of_budget"] = totalCpu / double(first.cpu.size()) / budget;
    state.counters["over_budget_meter"] = double(first.overBudgetMeter);
    state.counters["over_budget_cpu"] = double(cpuOver);
    state.counters["over_budget_switched_out"] = double(first.overBudgetSwitchedOut);
    state.counters["worst_block_faults"] = double(first.worstBlockFaults);
    state.counters["faults"] = double(first.faults);
    state.counters["worst_own_cpu_of_budget"] = worstOwn / budget;
    state.counters["mean_own_cpu_of_budget"] = totalOwn / double(first.cpu.size()) / budget;
    state.counters["over_budget_own"] = double(ownOver);
    state.counters["same_sound"] = sameSound ? 1.0 : 0.0;
}

// Runs after the ones above: the same scene with every source's chain on too.
void BM_CallbackSixCloudsOfHundredVoicesEveryEffectOn(benchmark::State& state)
{
    Scene()->SwitchSourceEffectsOn();
    BenchCallback(state);
}

}  // namespace

BENCHMARK(BM_CallbackSixCloudsOfHundredVoices)->Arg(128)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WorstBlockOfAMinute)->Arg(64)->Arg(128)->Arg(1024)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_CallbackSixCloudsOfHundredVoicesEveryEffectOn)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();
