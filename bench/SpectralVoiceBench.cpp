#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../tests/AnalysedSound.h"
#include "ResidentMemory.h"
#include "app/App.h"
#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "sources/LoopSource.h"
#include "sources/SingleGrain.h"
#include "spectral/ChromaToSamplesOverlapAddProcessor.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/SpectroToSamples.h"
#include "spectral/SpectroToSamplesOverlapAddProcessor.h"
#include "spectral/Spectrogram.h"
#include "ui/UILoopSource.h"
#include "ui/UISingleGrain.h"
#include "ui/UISoundRect.h"

namespace {

const int SAMPLE_RATE = 44100;
const int SOUND_FRAMES = 4 * SAMPLE_RATE;
// Voices render half-blocks of the 1024-frame audio block.
const unsigned HALF_BLOCK = 512;
const unsigned BLOCK = 1024;

// A four-second stereo sound (a chord over noise) analysed as at start-up,
// in a rect whose view shows it as the given type.
class AnalysedRect {
public:
    explicit AnalysedRect(UISoundRect::RectType type)
    {
        _app.SetWinSize(1000, 600);
        std::srand(17);
        std::vector<float> samples(2 * SOUND_FRAMES);
        for (int f = 0; f < SOUND_FRAMES; f++) {
            double t = (double)f / SAMPLE_RATE;
            double chord = 0.2 * (std::sin(2 * M_PI * 220.0 * t) + std::sin(2 * M_PI * 277.2 * t) +
                                  std::sin(2 * M_PI * 329.6 * t));
            for (int c = 0; c < 2; c++)
                samples[2 * f + c] = (float)(chord + 0.05 * (2.0 * std::rand() / RAND_MAX - 1.0));
        }
        AssociateAnalysedSound(&_rect, samples, SOUND_FRAMES, &_spectra);
        _view = std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
        _rect.RegisterUI(_view.get());
        _view->SetRectType(type);
        // In the middle of the window, where the sources are put.
        _view->SetDimensions(0.6, 0.6);
        _view->UpdateRectPosition(0.5, 0.5);
    }

    SoundRect* Get() { return &_rect; }
    App* GetApp() { return &_app; }

private:
    App _app;
    SoundRect _rect;
    std::unique_ptr<UISoundRect> _view;
    std::vector<std::unique_ptr<Spectrogram>> _spectra;
};

// One looping voice of 200 ms grains from the middle of the rect, half-way
// up; one iteration renders one second of audio, so the counter gives the
// CPU seconds one voice costs per second of audio (1 would use a whole core).
void BenchVoice(benchmark::State& state, UISoundRect::RectType type, double pitch, double timeStretch)
{
    AnalysedRect rect(type);
    Envelope envelope(2048);
    AudioSource voice({rect.Get()}, &envelope, 200.0, pitch, timeStretch);
    voice.SetDirection(1.0);
    voice.SetLoop(true);
    voice.UpdateParams();
    double position = 0.5, paramY = 0.5;
    voice.Play(&position, &paramY);
    std::vector<float> block(2 * HALF_BLOCK);
    for (auto _ : state) {
        for (int frames = 0; frames < SAMPLE_RATE; frames += HALF_BLOCK) {
            std::fill(block.begin(), block.end(), 0.0f);
            voice.NextBuffer(&block, HALF_BLOCK, 0);
        }
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["cpu_s_per_audio_s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_VoiceFromSpectrogram(benchmark::State& state)
{
    BenchVoice(state, UISoundRect::SPECTROGRAM, 1.0, 1.0);
}

void BM_VoiceFromSpectrogramPitchedUp(benchmark::State& state)
{
    BenchVoice(state, UISoundRect::SPECTROGRAM, 2.0, 1.0);
}

void BM_VoiceFromChromagram(benchmark::State& state)
{
    BenchVoice(state, UISoundRect::CHROMAGRAM, 1.0, 1.0);
}

void BM_VoiceFromStretchedWaveform(benchmark::State& state)
{
    BenchVoice(state, UISoundRect::WAVEFORM, 1.0, 0.5);
}

// The plain copy, for comparison.
void BM_VoiceFromWaveform(benchmark::State& state)
{
    BenchVoice(state, UISoundRect::WAVEFORM, 1.0, 1.0);
}

// A single grain or a loop source with its default settings (500 ms grains,
// pitch 1) at the rect's centre, rendered in audio blocks as the callback
// renders it. One iteration is one second of audio.
template <typename Kind, typename View>
void BenchSource(benchmark::State& state, UISoundRect::RectType type)
{
    AnalysedRect rect(type);
    std::vector<SoundRect*> rects = {rect.Get()};
    Kind source(rect.GetApp(), {rect.Get()});
    source.RegisterUI(new View(&source, nullptr, rect.GetApp()->GetScreen(), 0.5, 0.5, &rects));
    source.SetDirection(Kind::FORWARD);
    std::vector<float> block(2 * BLOCK);
    auto render = [&] {
        for (int frames = 0; frames < SAMPLE_RATE; frames += BLOCK) {
            std::fill(block.begin(), block.end(), 0.0f);
            source.NextBuffer(&block, BLOCK);
        }
    };
    // The single grain plays its first grain after half a second.
    render();
    for (auto _ : state) {
        render();
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["cpu_s_per_audio_s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SingleGrainOverWaveform(benchmark::State& state)
{
    BenchSource<SingleGrain, UISingleGrain>(state, UISoundRect::WAVEFORM);
}

void BM_SingleGrainOverSpectrogram(benchmark::State& state)
{
    BenchSource<SingleGrain, UISingleGrain>(state, UISoundRect::SPECTROGRAM);
}

void BM_LoopSourceOverWaveform(benchmark::State& state)
{
    BenchSource<LoopSource, UILoopSource>(state, UISoundRect::WAVEFORM);
}

void BM_LoopSourceOverSpectrogram(benchmark::State& state)
{
    BenchSource<LoopSource, UILoopSource>(state, UISoundRect::SPECTROGRAM);
}

// The resident memory of the resynthesis engines of a cloud of 100 voices
// over four stereo spectrogram rects: 800 engines (half over spectrograms,
// half over chromagrams), each having rendered a few grains, pitched up
// and not, so that every buffer it keeps has been written.
void BM_SpectralEngineMemory(benchmark::State& state)
{
    const int numEngines = 800;
    AnalysedRect rect(UISoundRect::SPECTROGRAM);
    SoundRect* sound = rect.Get();
    SpectroToSamples spectroOrigin(new SpectroToSamplesOverlapAddProcessor(sound->GetSpectrogram(0)));
    SpectroToSamples chromaOrigin(
        new ChromaToSamplesOverlapAddProcessor(SamplesToSpectro::FFT_SIZE, SAMPLE_RATE, sound->GetChromagram(0)));
    std::vector<std::unique_ptr<SpectroToSamples>> engines;
    engines.reserve(numEngines);
    std::vector<float> out;
    out.reserve(SpectroToSamples::MAX_REQUEST_FRAMES);
    double perEngine = 0.0;
    for (auto _ : state) {
        engines.clear();
        long before = TrimmedResidentBytes();
        for (int e = 0; e < numEngines; e++) {
            engines.emplace_back((e % 2 == 0 ? spectroOrigin : chromaOrigin).Clone());
            for (int grain = 0; grain < 4; grain++) {
                double pitch = grain % 2 == 0 ? 1.0 : 2.0;
                double start = 20000.0 + 37.0 * e + 9000.0 * grain;
                const double window[2] = {start, start + HALF_BLOCK * pitch}, band[2] = {0.2, 0.6};
                for (int block = 0; block < 8; block++)
                    engines.back()->Process(&out, window, band, 1.0, 1.0, pitch);
            }
        }
        perEngine = (double)(ResidentBytesNow() - before) / numEngines;
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["resident_bytes_per_engine"] = perEngine;
    state.counters["resident_MB_800_engines"] = perEngine * numEngines / 1e6;
}

}  // namespace

BENCHMARK(BM_SpectralEngineMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SingleGrainOverWaveform)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SingleGrainOverSpectrogram)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoopSourceOverWaveform)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoopSourceOverSpectrogram)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VoiceFromSpectrogram)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VoiceFromSpectrogramPitchedUp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VoiceFromChromagram)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VoiceFromStretchedWaveform)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VoiceFromWaveform)->Unit(benchmark::kMillisecond);
