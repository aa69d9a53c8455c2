#include <gtest/gtest.h>

#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/AudioEngine.h"
#include "app/Controllers.h"
#include "app/LoadMeter.h"
#include "app/Time.h"
#include "effects/DelayEffect.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "effects/ReverbEffect.h"
#include "midi/ControlTarget.h"
#include "midi/ControllerBindings.h"
#include "midi/MidiLearn.h"
#include "midi/MidiQueue.h"
#include "parameters/Parameter.h"
#include "sound/LiveAnalysis.h"
#include "sound/LiveRect.h"
#include "sound/LiveRing.h"
#include "sound/SoundRect.h"
#include "sound/SpectralEnginePool.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "sources/GrainCloud.h"
#include "sources/LoopSource.h"
#include "sources/SingleGrain.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"
#include "ui/UIGrainCloud.h"
#include "ui/UILiveRect.h"
#include "ui/UILoopSource.h"
#include "ui/UISingleGrain.h"
#include "ui/UISoundRect.h"
#include "ui/UIStyle.h"

// Every allocation of the process goes through these, so a test can count
// what a stretch of audio rendering allocates. Only the rendering thread's
// allocations count: workers beside it (a live rect's analysis) may allocate.
namespace {
thread_local bool g_counting = false;
std::atomic<long> g_allocations(0);

void* CountedAlloc(std::size_t size)
{
    if (g_counting)
        g_allocations++;
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size)
{
    return CountedAlloc(size);
}
void* operator new[](std::size_t size)
{
    return CountedAlloc(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (g_counting)
        g_allocations++;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

const unsigned BLOCK = 1024;
// The longest block the stream may ask for.
const unsigned LONG_BLOCK = 4096;

// The number of allocations that running the given code makes.
template <typename F>
long CountAllocations(F&& run)
{
    g_allocations = 0;
    g_counting = true;
    run();
    g_counting = false;
    return g_allocations.load();
}

void SetParam(EffectsBox* box, EffectsBox::EffectIdx effect, int idx, double value)
{
    box->GetEffect(effect)->GetParameter(idx)->SetValue(value);
}

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

std::vector<float> Noise(size_t n)
{
    std::srand(51);
    std::vector<float> x(n);
    for (float& v : x)
        v = 0.5f * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
    return x;
}

// A scene as the application builds it: a sound in a rect and a cloud over it.
class RealtimeAllocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        std::vector<float> samples(2 * 88200);
        for (size_t i = 0; i < samples.size(); i++)
            samples[i] = (float)((i % 200) / 200.0 - 0.5);
        _rect.AssociateSamples(samples, 88200, 2);
        _rectView = new UISoundRect(&_rect, &_app, nullptr, _app.GetScreen());
        _rect.RegisterUI(_rectView);
        _rectView->UpdateRectPosition(0.5, 0.5);
        _rectView->SetDimensions(0.5, 0.5);
    }

    void TearDown() override { delete _rectView; }

    // Renders like the audio callback: a cleared scratch block, then the clock.
    void RenderBlocks(Source* source, int count, unsigned frames = BLOCK)
    {
        for (int b = 0; b < count; b++) {
            std::fill(_scratch.begin(), _scratch.end(), 0.0f);
            source->NextBuffer(&_scratch, frames);
            Time::Instance()->AddSeconds(frames / 44100.0);
        }
    }

    App _app;
    PurpleStyle _style;
    SoundRect _rect;
    UISoundRect* _rectView = nullptr;
    std::vector<float> _scratch = std::vector<float>(2 * LONG_BLOCK, 0.0f);
};

TEST_F(RealtimeAllocationTest, GrainCloudRendersWithoutAllocating)
{
    GrainCloud cloud(&_app, {&_rect}, 6);
    cloud.RegisterUI(new UIGrainCloud(&cloud, &_style, _app.GetScreen(), 0.5, 0.5, 6, {&_rect}));
    // The cloud seeds its generator with the time: fix it, and the voices' directions with it.
    cloud.SeedRandom(23);
    cloud.SetDirection(GrainCloud::RANDOM_DIR);
    static_cast<UIGrainCloud*>(cloud.GetUI())->SetRandExtentCoeff(20.0);
    cloud.SetSpatialMode(GrainCloud::AROUND, -1);
    cloud.SetDurationMs(120.0);
    for (int i = 0; i < 14; i++)
        cloud.AddGrain();

    // The pending voices arrive one per block, and every voice plays a few grains.
    RenderBlocks(&cloud, 100);
    ASSERT_EQ(cloud.GetNumVoices(), 20u);

    EXPECT_EQ(CountAllocations([&] { RenderBlocks(&cloud, 200); }), 0);

    // Pitched, read between frames, with grains starting several to a short
    // block or many in a long one.
    cloud.SetPitch(1.5);
    for (unsigned frames : {32u, LONG_BLOCK})
        EXPECT_EQ(CountAllocations([&] { RenderBlocks(&cloud, 100, frames); }), 0) << frames;

    // Adding a voice allocates on the GUI thread only; its arrival does not.
    cloud.AddGrain();
    EXPECT_EQ(CountAllocations([&] { RenderBlocks(&cloud, 1); }), 0);
    EXPECT_EQ(cloud.GetNumVoices(), 21u);

    // Nor does a removal free anything there: the voice is parked.
    cloud.RemoveGrain();
    EXPECT_EQ(CountAllocations([&] { RenderBlocks(&cloud, 1); }), 0);
    EXPECT_EQ(cloud.GetNumVoices(), 20u);
}

// A single grain with short grains in random directions and its pitch LFO
// running, and a loop whose short window wraps several times a block while
// it is dragged across the rect's edge and back.
TEST_F(RealtimeAllocationTest, SingleGrainAndLoopSourceRenderWithoutAllocating)
{
    std::vector<SoundRect*> rects = {&_rect};
    SingleGrain grain(&_app, {&_rect});
    grain.RegisterUI(new UISingleGrain(&grain, &_style, _app.GetScreen(), 0.5, 0.5, &rects));
    grain.SeedRandom(31);
    grain.SetDurationMs(15.0);
    grain.SetDirection(SingleGrain::RANDOM_DIR);
    grain.SetSpatialMode(SingleGrain::AROUND, -1);
    grain.SetPitchLFOAmount(0.8);
    grain.SetPitchLFOFreq(3.0);
    RenderBlocks(&grain, 20);
    EXPECT_EQ(CountAllocations([&] { RenderBlocks(&grain, 200); }), 0);

    LoopSource loop(&_app, {&_rect});
    loop.RegisterUI(new UILoopSource(&loop, &_style, _app.GetScreen(), 0.5, 0.5, &rects));
    loop.SetDurationMs(4.0);
    loop.SetDirection(LoopSource::RANDOM_DIR);
    loop.SetSpatialMode(LoopSource::STEREO, -1);
    loop.SetPitch(1.7);
    RenderBlocks(&loop, 4);
    EXPECT_EQ(CountAllocations([&] {
                  for (int b = 0; b < 100; b++) {
                      loop.GetUI()->UpdatePosition(b % 20 < 10 ? 0.5 : 0.1, 0.5);
                      RenderBlocks(&loop, 1);
                  }
              }),
              0);
}

// The input written into a live rect, its analysed columns published, and a
// cloud over it on its waveform and on its spectrogram.
TEST_F(RealtimeAllocationTest, CapturingTheInputAndPlayingALiveRectAllocateNothing)
{
    LiveRect live;
    UILiveRect* view = new UILiveRect(&live, &_app, &_style, _app.GetScreen(), 0.5, 0.5);
    live.RegisterUI(view);
    GrainCloud cloud(&_app, {&live}, 6);
    cloud.RegisterUI(new UIGrainCloud(&cloud, &_style, _app.GetScreen(), 0.5, 0.5, 6, {&live}));
    cloud.SeedRandom(29);
    cloud.SetDurationMs(80.0);
    const std::vector<float> input = Noise(BLOCK);
    auto play = [&](int blocks) {
        for (int b = 0; b < blocks; b++) {
            live.Capture(input.data(), BLOCK, 1);
            RenderBlocks(&cloud, 1);
        }
    };
    play(300);
    EXPECT_EQ(CountAllocations([&] { play(200); }), 0);
    view->SetRectType(UISoundRect::SPECTROGRAM);
    live.GetEnginePool()->Refill();
    play(50);
    EXPECT_EQ(CountAllocations([&] { play(200); }), 0);
    live.RegisterUI(nullptr);
    delete view;
}

// The live analysis's worker, from its first column on: the mel bank and
// the chroma bins are built with the analysis, not as the columns come.
TEST(LiveAnalysisAllocationTest, AnalysingArrivingColumnsAllocatesNothing)
{
    LiveRing ring(SamplesToSpectro::HOP);
    LiveAnalysis analysis(&ring);
    const std::vector<float> input = Noise(BLOCK);
    long allocations = 0;
    int columns = 0;
    for (int b = 0; b < 100; b++) {
        ring.Write(input.data(), BLOCK, 1);
        allocations += CountAllocations([&] { columns += analysis.AnalyseArrived(); });
        analysis.Publish();
    }
    EXPECT_GT(columns, 150);
    EXPECT_EQ(allocations, 0);
}

// A second of a stereo tone at half scale, as a float WAV file.
void WriteTone(const std::string& path)
{
    SF_INFO info = {};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> tone(2 * 44100);
    for (size_t i = 0; i < tone.size(); i++)
        tone[i] = 0.5f * (float)std::sin(0.03 * (double)(i / 2));
    sf_writef_float(file, tone.data(), 44100);
    sf_close(file);
}

// Loads the tone of a new folder into app, its rect over the middle of the
// window; the folder's path is returned for the test to remove.
std::string LoadToneInTheMiddle(App* app, const char* prefix)
{
    std::string pattern = std::string("/tmp/") + prefix + "XXXXXX";
    const std::string dir = mkdtemp(pattern.data());
    WriteTone(dir + "/tone.wav");
    app->SetWinSize(1000, 600);
    app->SetAudioPath(dir + "/");
    EXPECT_TRUE(app->LoadSounds());
    UISoundRect* view = app->GetSoundRects()[0]->GetUI();
    view->SetDimensions(0.5, 0.5);
    view->UpdateRectPosition(0.5, 0.5);
    return dir;
}

// A source removed, a note ended and the title screen each fade out over
// the next block, and none of that allocates on the audio thread.
TEST(FadeOutAllocationTest, FadingOutAllocatesNothing)
{
    App app;
    const std::string dir = LoadToneInTheMiddle(&app, "zoltafade");
    std::vector<float> out(2 * BLOCK);
    double energy = 0.0;
    auto render = [&](int blocks) {
        for (int b = 0; b < blocks; b++) {
            app.OnAudio(out.data(), nullptr, BLOCK, 0, 0, nullptr);
            for (float v : out)
                energy += v * v;
        }
    };
    app.SetMenuFlag(false);
    app.AddLoopSource(500, 300);
    app.AddSingleGrain(500, 300);
    app.AddGrainCloud(500, 300);
    render(10);
    ASSERT_GT(energy, 1.0);
    app.DelSelectedSource();
    EXPECT_EQ(CountAllocations([&] { render(2); }), 0);
    app.SetMenuFlag(true);
    EXPECT_EQ(CountAllocations([&] { render(2); }), 0);
    ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

// A JACK server's new period reaches the callback between two blocks: a
// scene of a loop, a cloud and a live rect taking the input, through every
// effect of the master chain, is rendered at once in blocks of the new size,
// longer or shorter, up to JACK's longest, without anything being made on
// the audio thread.
TEST(PeriodChangeAllocationTest, ANewBlockSizeAllocatesNothing)
{
    App app;
    const std::string dir = LoadToneInTheMiddle(&app, "zoltaperiod");
    SwitchEverythingOn(app.GetMasterEffectsBox());
    app.SetMenuFlag(false);
    app.AddLoopSource(500, 300);
    app.AddGrainCloud(500, 300);
    app.AddLiveRect(200, 100);
    app.GetAudioEngine()->AssumeInputs(2);
    const std::vector<float> input = Noise(2 * AudioEngine::MAX_BLOCK_FRAMES);
    std::vector<float> out(2 * AudioEngine::MAX_BLOCK_FRAMES);
    double energy = 0.0;
    auto render = [&](unsigned frames, int blocks) {
        for (int b = 0; b < blocks; b++) {
            app.OnAudio(out.data(), const_cast<float*>(input.data()), frames, 0, 0, nullptr);
            for (unsigned i = 0; i < 2 * frames; i++)
                energy += out[i] * out[i];
        }
    };
    render(256, 100);
    ASSERT_GT(energy, 1.0);
    for (unsigned frames : {512u, 128u, AudioEngine::MAX_BLOCK_FRAMES, 256u})
        EXPECT_EQ(CountAllocations([&] { render(frames, 4); }), 0) << frames << " frames per block";
    ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

// Knobs learned for a cloud's, its note copy's and its chain's parameters
// and for the master chain's are turned between blocks: the callback sets
// them (or leaves a voice count for the GUI thread) without allocating.
TEST(ControlChangeAllocationTest, TurningLearnedKnobsAllocatesNothingInTheCallback)
{
    App app;
    const std::string dir = LoadToneInTheMiddle(&app, "zoltaknobs");
    app.SetMenuFlag(false);
    app.AddGrainCloud(500, 300);
    app.GetControllers()->GetMidiQueue()->PushMessage(0, {0x90, 67, 90});
    app.GetControllers()->UpdateMidiIn();
    std::vector<float> out(2 * BLOCK);
    auto render = [&](int blocks) {
        for (int b = 0; b < blocks; b++)
            app.OnAudio(out.data(), nullptr, BLOCK, 0, 0, nullptr);
    };
    const std::vector<ControlTarget> targets = {
        ControlTarget::SourceParam(0, GrainCloud::PITCH),
        ControlTarget::SourceParam(0, GrainCloud::VOLUME),
        ControlTarget::SourceParam(0, GrainCloud::DURATION),
        ControlTarget::SourceParam(0, GrainCloud::ENVELOPE),
        ControlTarget::SourceParam(0, GrainCloud::DIRECTION),
        ControlTarget::SourceParam(0, GrainCloud::SPATIALIZE),
        ControlTarget::SourceParam(0, GrainCloud::OVERLAP),
        ControlTarget::SourceParam(0, GrainCloud::NUMGRAINS),
        ControlTarget::SourceEffect(0, EffectsBox::EFFECT_DELAY, DelayEffect::WET_MIX_PARAM),
        ControlTarget::SourceEffect(0, EffectsBox::EFFECT_STEREO, 1),
        ControlTarget::MasterEffect(EffectsBox::EFFECT_VOLUME, 1),
        ControlTarget::MasterEffect(EffectsBox::EFFECT_REVERB, ReverbEffect::ORDER_PARAM),
    };
    MidiQueue* knobs = app.GetMidiLearn()->GetQueue();
    for (size_t k = 0; k < targets.size(); k++) {
        app.GetMidiLearn()->Arm(targets[k]);
        knobs->PushMessage(0, {0xB0, (unsigned char)k, 64});
        render(1);
    }
    ASSERT_EQ(app.GetMidiLearn()->GetBindings()->GetCount(), int(targets.size()));
    std::vector<std::vector<unsigned char>> turns;
    for (int value = 0; value < 128; value += 9) {
        for (size_t k = 0; k < targets.size(); k++)
            turns.push_back({0xB0, (unsigned char)k, (unsigned char)value});
    }
    render(20);
    EXPECT_EQ(CountAllocations([&] {
                  for (const std::vector<unsigned char>& turn : turns) {
                      knobs->PushMessage(0, turn);
                      if (turn[1] == 0)
                          render(1);
                  }
                  render(4);
              }),
              0);
    ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

// The whole audio callback: a cloud of 20 voices over a rect, with every
// effect of its own chain and of the master chain switched on.
TEST_F(RealtimeAllocationTest, TheAudioCallbackAllocatesNothingWithEveryEffectOn)
{
    GrainCloud* cloud = new GrainCloud(&_app, {&_rect}, 6);
    cloud->RegisterUI(new UIGrainCloud(cloud, &_style, _app.GetScreen(), 0.5, 0.5, 6, {&_rect}));
    cloud->SeedRandom(29);
    cloud->SetDirection(GrainCloud::RANDOM_DIR);
    cloud->SetPitchLFOAmount(0.8);
    cloud->SetPitchLFOFreq(3.0);
    for (int i = 0; i < 14; i++)
        cloud->AddGrain();
    SwitchEverythingOn(cloud->GetEffectsBox());
    SwitchEverythingOn(_app.GetMasterEffectsBox());
    std::vector<float> out(2 * BLOCK);
    auto render = [&](int blocks) {
        for (int b = 0; b < blocks; b++) {
            std::fill(_scratch.begin(), _scratch.end(), 0.0f);
            cloud->NextBuffer(&_scratch, BLOCK);
            cloud->GetEffectsBox()->Process(&_scratch, BLOCK, 2);
            _app.OnAudio(out.data(), nullptr, BLOCK, 0, 0, nullptr);
        }
    };
    render(100);
    ASSERT_EQ(cloud->GetNumVoices(), 20u);
    // The load meter measures every block of the callback, without allocating.
    const unsigned long measured = _app.GetLoadMeter()->GetBlocks();
    EXPECT_EQ(CountAllocations([&] { render(200); }), 0);
    EXPECT_EQ(_app.GetLoadMeter()->GetBlocks(), measured + 200);
    delete cloud;
}

TEST(VoiceAllocationTest, RenderingAllocatesNothingOnceRunning)
{
    srand(3);
    std::vector<float> samples(2 * 44100);
    for (float& x : samples)
        x = (float)rand() / float(RAND_MAX) - 0.5f;
    SoundRect a, b;
    a.AssociateSamples(samples, 44100, 2);
    b.AssociateSamples(samples, 44100, 2);
    Envelope env(2048);
    for (double direction : {1.0, -1.0}) {
        AudioSource voice({&a, &b}, &env, 30.0, 1.3, 1.0);
        voice.SetDirection(direction);
        voice.SetLoop(true);
        voice.UpdateParams();
        double pos[2] = {0.4, 0.7}, y[2] = {1.0, 0.5};
        ASSERT_TRUE(voice.Play(pos, y));
        std::vector<float> out(2 * 1024, 0.0f);
        for (int i = 0; i < 4; i++)
            voice.NextBuffer(&out, 512, 0);
        long count = CountAllocations([&] {
            for (int i = 0; i < 500; i++) {
                voice.UpdateParams();
                voice.NextBuffer(&out, 512, 512 * (i % 2));
                voice.Update(pos, y);
            }
        });
        EXPECT_EQ(count, 0) << "direction " << direction;
    }
}

TEST(EffectsAllocationTest, SteadyStateBlocksAllocateNothing)
{
    EffectsBox box;
    SwitchEverythingOn(&box);
    const std::vector<float> noise = Noise(2 * 1024);
    std::vector<float> block = noise;
    box.Process(&block, 1024, 2);  // the reverb takes its new order here
    EXPECT_EQ(CountAllocations([&] {
                  for (int i = 0; i < 50; i++) {
                      block = noise;
                      box.Process(&block, 1024, 2);
                  }
              }),
              0);
}

TEST(EffectsAllocationTest, LongBlocksAndShortBlocksAllocateNothing)
{
    EffectsBox box;
    SwitchEverythingOn(&box);
    std::vector<float> longBlock = Noise(2 * 5000);
    std::vector<float> shortBlock = Noise(2 * 100);
    box.Process(&shortBlock, 100, 2);
    EXPECT_EQ(CountAllocations([&] {
                  box.Process(&longBlock, 5000, 2);
                  box.Process(&shortBlock, 100, 2);
                  box.Process(&longBlock, 5000, 1);
              }),
              0);
}

TEST(EffectsAllocationTest, TurningTheDelayTimeAllocatesNothing)
{
    EffectsBox box;
    SwitchEverythingOn(&box);
    std::vector<float> block = Noise(2 * 1024);
    box.Process(&block, 1024, 2);
    EXPECT_EQ(CountAllocations([&] {
                  for (double ms : {5000.0, 1.0, 2500.0, 4999.0, 3.0}) {
                      SetParam(&box, EffectsBox::EFFECT_DELAY, DelayEffect::TIME_PARAM, ms);
                      box.Process(&block, 1024, 2);
                  }
              }),
              0);
}

// The reverb's Order and Delay knobs size its network; the room for the
// largest of each is taken when the chain is built.
TEST(EffectsAllocationTest, TurningTheReverbOrderAndDelayAllocatesNothing)
{
    EffectsBox box;
    SwitchEverythingOn(&box);
    SetParam(&box, EffectsBox::EFFECT_REVERB, ReverbEffect::ORDER_PARAM, 1.0);
    SetParam(&box, EffectsBox::EFFECT_REVERB, ReverbEffect::DELAY_TIME_PARAM, 1.0);
    std::vector<float> block = Noise(2 * 1024);
    box.Process(&block, 1024, 2);
    EXPECT_EQ(CountAllocations([&] {
                  for (double order : {10.0, 3.0, 7.0, 1.0, 10.0, 5.0}) {
                      SetParam(&box, EffectsBox::EFFECT_REVERB, ReverbEffect::ORDER_PARAM, order);
                      box.Process(&block, 1024, 2);
                  }
                  for (double samples : {10000.0, 1.0, 5000.0, 9999.0, 2.0}) {
                      SetParam(&box, EffectsBox::EFFECT_REVERB, ReverbEffect::DELAY_TIME_PARAM, samples);
                      box.Process(&block, 1024, 2);
                  }
              }),
              0);
    // Still a reverb at the last settings: the tail goes on after the input stops.
    std::vector<float> silence(2 * 1024, 0.0f);
    box.Process(&silence, 1024, 2);
    EXPECT_NE(std::vector<float>(2 * 1024, 0.0f), silence);
}

TEST(EffectsAllocationTest, AFreshChainIsReadyBeforeItsFirstBlock)
{
    EffectsBox box;
    std::vector<float> block = Noise(2 * 1024);
    EXPECT_EQ(CountAllocations([&] { box.Process(&block, 1024, 2); }), 0);
}

// Grains resynthesised from spectra: every voice owns its own engines, which
// must be ready before its first block, also while the pitch moves.
TEST(SpectralVoiceAllocationTest, SpectralGrainsAllocateNothingFromTheFirstBlockOn)
{
    App app;
    app.SetWinSize(1000, 600);
    const int frames = 3 * 44100;
    std::vector<float> samples(2 * frames);
    srand(3);
    for (float& x : samples)
        x = (float)rand() / float(RAND_MAX) - 0.5f;
    SoundRect rect;
    rect.AssociateSamples(samples, frames, 2);
    std::vector<Spectrogram*> spectra(2), chromas(2);
    for (int k = 0; k < 2; k++) {
        SamplesToSpectro::AnalyseChannel(samples, frames, 2, k, &spectra[k], &chromas[k]);
        rect.AssociateSpectrogram(k, spectra[k]);
        rect.AssociateChromagram(k, chromas[k]);
    }
    UISoundRect view(&rect, &app, nullptr, app.GetScreen());
    rect.RegisterUI(&view);
    Envelope env(2048);
    struct Case {
        UISoundRect::RectType type;
        double pitch, stretch, direction;
    };
    for (Case c : {Case{UISoundRect::SPECTROGRAM, 1.0, 1.0, 1.0}, Case{UISoundRect::SPECTROGRAM, 3.0, 1.0, -1.0},
                   Case{UISoundRect::CHROMAGRAM, 0.5, 2.0, 1.0}, Case{UISoundRect::WAVEFORM, 1.0, 1.7, -1.0}}) {
        view.SetRectType(c.type);
        AudioSource voice({&rect}, &env, 30.0, c.pitch, c.stretch);
        voice.SetDirection(c.direction);
        voice.SetLoop(true);
        voice.UpdateParams();
        double pos[1] = {0.02}, y[1] = {0.5};
        voice.Play(pos, y);
        std::vector<float> out(2 * 1024, 0.0f);
        long count = CountAllocations([&] {
            for (int i = 0; i < 400; i++) {
                // A swept pitch, as the cloud's LFO gives it.
                if (c.pitch == 3.0) {
                    voice.SetPitch(0.5 + (i % 8) * 0.5);
                    voice.UpdateParams();
                }
                voice.NextBuffer(&out, 512, 512 * (i % 2));
                y[0] = (i % 10) / 10.0;
                voice.Update(pos, y);
            }
        });
        EXPECT_EQ(count, 0) << "type " << c.type << " pitch " << c.pitch << " direction " << c.direction;
    }
    // A voice made over the waveform has no engines; when the view changes,
    // the GUI's refill between frames makes them and the voice takes them
    // on the audio thread without allocating.
    view.SetRectType(UISoundRect::WAVEFORM);
    AudioSource voice({&rect}, &env, 30.0, 1.0, 1.0);
    voice.SetLoop(true);
    voice.UpdateParams();
    double pos[1] = {0.3}, y[1] = {0.5};
    voice.Play(pos, y);
    view.SetRectType(UISoundRect::SPECTROGRAM);
    rect.GetEnginePool()->Refill();
    EXPECT_EQ(rect.GetEnginePool()->ReadySets(SoundRect::SPECTROGRAM), 1);
    double energy = 0.0;
    std::vector<float> out(2 * 512);
    long count = CountAllocations([&] {
        for (int i = 0; i < 100; i++) {
            std::fill(out.begin(), out.end(), 0.0f);
            voice.NextBuffer(&out, 512, 0);
            for (float x : out)
                energy += x * x;
        }
    });
    EXPECT_EQ(count, 0);
    EXPECT_EQ(rect.GetEnginePool()->ReadySets(SoundRect::SPECTROGRAM), 0);
    EXPECT_GT(energy, 1.0);
    for (int k = 0; k < 2; k++) {
        delete chromas[k];
        delete spectra[k];
    }
}

}  // namespace
