#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../tests/AnalysedSound.h"
#include "ResidentMemory.h"
#include "app/App.h"
#include "app/SourceReleases.h"
#include "app/Time.h"
#include "sound/SoundRect.h"
#include "sound/SpectralEnginePool.h"
#include "sources/GrainCloud.h"
#include "ui/UIGrainCloud.h"
#include "ui/UISoundRect.h"

namespace {

const int SAMPLE_RATE = 44100;
const unsigned BLOCK = 1024;
const int NUM_RECTS = 4;
// Voices a cloud is built with; the rest are added.
const int FIRST_VOICES = 6;
const int SOUND_FRAMES = 10 * SAMPLE_RATE;

// Overlapping ten-second waveform rects (four, as a performer stacks loops,
// or one), and a cloud in the middle of them whose grains land on all.
// Analysed rects carry a spectrogram and a chromagram as in the instrument
// (one analysis shared by all, to keep the set-up short) and show the given view.
class CloudScene {
public:
    CloudScene(int numVoices, int numRects, bool analysed = false, UISoundRect::RectType view = UISoundRect::WAVEFORM)
    {
        _app.SetWinSize(1000, 600);
        std::srand(7);
        std::vector<float> samples(2 * SOUND_FRAMES);
        for (float& v : samples)
            v = 0.5f * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
        for (int r = 0; r < numRects; r++) {
            _rects.push_back(std::make_unique<SoundRect>());
            if (analysed)
                AssociateSharedAnalysis(_rects[r].get(), samples);
            else
                _rects[r]->AssociateSamples(samples, SOUND_FRAMES, 2);
            _views.push_back(std::make_unique<UISoundRect>(_rects[r].get(), &_app, nullptr, _app.GetScreen()));
            _rects[r]->RegisterUI(_views[r].get());
            _views[r]->SetRectType(view);
            _views[r]->SetDimensions(0.6, 0.6);
            _views[r]->UpdateRectPosition(0.5 + 0.02 * r, 0.5);
            _providers.push_back(_rects[r].get());
            _plainRects.push_back(_rects[r].get());
        }
        const int firstVoices = std::min(numVoices, FIRST_VOICES);
        _cloud = std::make_unique<GrainCloud>(&_app, _providers, firstVoices);
        _cloud->RegisterUI(
            new UIGrainCloud(_cloud.get(), nullptr, _app.GetScreen(), 0.5, 0.5, firstVoices, _plainRects));
        AddVoices(numVoices - firstVoices);
    }

    // Enough blocks follow for every new voice to arrive and start its grains.
    void AddVoices(int count)
    {
        for (int i = 0; i < count; i++)
            _cloud->AddGrain();
        Render(count + 50);
    }

    void SetPitch(double pitch) { _cloud->SetPitch(pitch); }

    // Clouds added beside the first, played together, then removed, as a
    // performer fills the canvas and clears it again.
    void CycleClouds(int numClouds, int voicesPerCloud, int blocks)
    {
        std::vector<std::unique_ptr<GrainCloud>> clouds;
        for (int c = 0; c < numClouds; c++) {
            clouds.push_back(std::make_unique<GrainCloud>(&_app, _providers, voicesPerCloud));
            clouds.back()->RegisterUI(new UIGrainCloud(clouds.back().get(), nullptr, _app.GetScreen(), 0.5, 0.5,
                                                       voicesPerCloud, _plainRects));
        }
        for (int b = 0; b < blocks; b++) {
            std::fill(_block.begin(), _block.end(), 0.0f);
            for (auto& cloud : clouds)
                cloud->NextBuffer(&_block, BLOCK);
            Time::Instance()->AddSeconds(double(BLOCK) / SAMPLE_RATE);
            // The engines the voices missed are made between frames.
            for (auto& rect : _rects)
                rect->GetEnginePool()->Refill();
        }
        clouds.clear();
        SourceReleases::ReturnFreedMemory();
    }

    // Returns the grains sounding after each block, summed.
    double Render(int blocks)
    {
        double sounding = 0.0;
        for (int b = 0; b < blocks; b++) {
            std::fill(_block.begin(), _block.end(), 0.0f);
            _cloud->NextBuffer(&_block, BLOCK);
            Time::Instance()->AddSeconds(double(BLOCK) / SAMPLE_RATE);
            sounding += _cloud->CountSoundingGrains();
        }
        return sounding;
    }

private:
    void AssociateSharedAnalysis(SoundRect* rect, const std::vector<float>& samples)
    {
        if (_spectra.empty()) {
            AssociateAnalysedSound(rect, samples, SOUND_FRAMES, &_spectra);
            return;
        }
        rect->AssociateSamples(samples, SOUND_FRAMES, 2);
        for (int k = 0; k < 2; k++) {
            rect->AssociateSpectrogram(k, _spectra[k].get());
            rect->AssociateChromagram(k, _spectra[2 + k].get());
        }
    }

    App _app;
    std::vector<std::unique_ptr<Spectrogram>> _spectra;
    std::vector<std::unique_ptr<SoundRect>> _rects;
    std::vector<std::unique_ptr<UISoundRect>> _views;
    std::vector<SamplesProvider*> _providers;
    std::vector<SoundRect*> _plainRects;
    std::unique_ptr<GrainCloud> _cloud;
    std::vector<float> _block = std::vector<float>(2 * BLOCK);
};

// One iteration renders one second of audio. cpu_per_audio_s is the share of
// a core the cloud takes; sounding_grains how many of its grains play on
// average (not its voice count: a voice waits between grains); grains_per_core
// how many sounding grains one core would sustain in real time at that cost
// per grain.
void BenchCloud(benchmark::State& state, int numRects, double pitch = 1.0)
{
    int voices = int(state.range(0));
    CloudScene scene(voices, numRects);
    scene.SetPitch(pitch);
    const int blocksPerSecond = SAMPLE_RATE / int(BLOCK);
    double sounding = 0.0;
    for (auto _ : state)
        sounding += scene.Render(blocksPerSecond);
    const double averageSounding = sounding / (double(state.iterations()) * blocksPerSecond);
    state.counters["cpu_per_audio_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["sounding_grains"] = averageSounding;
    state.counters["grains_per_core"] =
        benchmark::Counter(double(state.iterations()) * averageSounding, benchmark::Counter::kIsRate);
}

void BM_GrainCloudOverWaveforms(benchmark::State& state)
{
    BenchCloud(state, NUM_RECTS);
}

// Between whole frames, at the rate in tenths: each frame is read through
// the band-limiting kernel of the rate.
void BM_GrainCloudOverWaveformsPitched(benchmark::State& state)
{
    BenchCloud(state, NUM_RECTS, double(state.range(1)) / 10.0);
}

void BM_GrainCloudOverOneWaveform(benchmark::State& state)
{
    BenchCloud(state, 1);
}

// Resident memory of the process in megabytes.
double ResidentMegabytes()
{
    return (double)ResidentBytesNow() / (1024.0 * 1024.0);
}

// The resident memory that the voices of a cloud over four rects add,
// beyond the first six, once all of them have played.
void BenchCloudMemory(benchmark::State& state, bool analysed, UISoundRect::RectType view)
{
    for (auto _ : state) {
        CloudScene scene(FIRST_VOICES, NUM_RECTS, analysed, view);
        // What the set-up freed would otherwise be filled again unseen.
        const double before = (double)TrimmedResidentBytes() / (1024.0 * 1024.0);
        scene.AddVoices(int(state.range(0)) - FIRST_VOICES);
        state.counters["voices_MB"] = ResidentMegabytes() - before;
    }
}

void BM_GrainCloudMemory(benchmark::State& state)
{
    BenchCloudMemory(state, false, UISoundRect::WAVEFORM);
}

// As in the instrument, where every sound is analysed at start-up.
void BM_GrainCloudMemoryAnalysedWaveforms(benchmark::State& state)
{
    BenchCloudMemory(state, true, UISoundRect::WAVEFORM);
}

void BM_GrainCloudMemorySpectrograms(benchmark::State& state)
{
    BenchCloudMemory(state, true, UISoundRect::SPECTROGRAM);
}

// Four cycles of adding twenty clouds over four spectrogram rects, playing
// them and removing them: growth_pct is how much more resident memory the
// last cycle leaves than the first (memory given back is used again).
void BM_GrainCloudCyclesMemory(benchmark::State& state)
{
    const int cycles = 4, clouds = 20, voices = 6, blocks = 60;
    for (auto _ : state) {
        CloudScene scene(FIRST_VOICES, NUM_RECTS, true, UISoundRect::SPECTROGRAM);
        std::vector<double> resident;
        for (int c = 0; c < cycles; c++) {
            scene.CycleClouds(clouds, voices, blocks);
            resident.push_back(ResidentMegabytes());
        }
        state.counters["first_cycle_MB"] = resident.front();
        state.counters["last_cycle_MB"] = resident.back();
        state.counters["growth_pct"] = 100.0 * (resident.back() - resident.front()) / resident.front();
    }
}

BENCHMARK(BM_GrainCloudOverWaveforms)->Arg(6)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GrainCloudOverWaveformsPitched)
    ->Args({20, 13})
    ->Args({20, 15})
    ->Args({20, 20})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_GrainCloudOverOneWaveform)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GrainCloudMemory)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrainCloudMemoryAnalysedWaveforms)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrainCloudMemorySpectrograms)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrainCloudCyclesMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
