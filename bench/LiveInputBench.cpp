#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "sound/LiveAnalysis.h"
#include "sound/LiveRect.h"
#include "sound/LiveRing.h"
#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/WaveformEnvelope.h"

namespace {

const double SAMPLE_RATE = 44100.0;
const unsigned BLOCK = 1024;
const int HOP = SamplesToSpectro::HOP;

std::vector<float> Noise(size_t n)
{
    std::srand(5);
    std::vector<float> v(n);
    for (float& x : v)
        x = 0.5f * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
    return v;
}

// Percent of one core the work costs per second of audio it handled.
void ReportCorePercent(benchmark::State& state, double framesPerIteration)
{
    const double audioSeconds = state.iterations() * framesPerIteration / SAMPLE_RATE;
    state.counters["core_percent"] =
        benchmark::Counter(audioSeconds / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The audio callback's part (a block of mono input into the ring) and the
// view's (the summaries of what arrived), per block.
void BM_LiveWriteAndSummaries(benchmark::State& state)
{
    LiveRing ring(HOP);
    WaveformEnvelope envelope;
    envelope.SetChannel(ring.GetSamples(), LiveRing::CHANNELS, 0);
    const std::vector<float> input = Noise(BLOCK);
    int64_t summarised = 0;
    for (auto _ : state) {
        ring.Write(input.data(), BLOCK, 1);
        const int64_t settled = ring.GetSettled();
        ring.RefreshEnvelope(&envelope, summarised, settled);
        summarised = settled;
    }
    ReportCorePercent(state, BLOCK);
}
BENCHMARK(BM_LiveWriteAndSummaries);

// The worker's analysis of a column and the audio thread's publishing of
// it, per hop of input.
void BM_LiveSpectralAnalysis(benchmark::State& state)
{
    LiveRing ring(HOP);
    LiveAnalysis analysis(&ring);
    const std::vector<float> input = Noise(HOP);
    for (int i = 0; i < 8; i++)
        ring.Write(input.data(), HOP, 1);
    for (auto _ : state) {
        ring.Write(input.data(), HOP, 1);
        analysis.AnalyseArrived();
        analysis.Publish();
    }
    ReportCorePercent(state, HOP);
}
BENCHMARK(BM_LiveSpectralAnalysis);

// Voices playing grains from the middle of a live rect (range 0) or of a
// file rect of the same sound (range 1), the input arriving meanwhile.
void BM_VoicesOverLiveOrFileRect(benchmark::State& state)
{
    const bool live = state.range(0) == 0;
    const int numVoices = 32;
    LiveRect liveRect;
    const std::vector<float> input = Noise(BLOCK);
    for (int i = 0; i < 400; i++)
        liveRect.Capture(input.data(), BLOCK, 1);
    SoundRect fileRect;
    const int fileFrames = (int)liveRect.GetNumFrames();
    fileRect.ShareSamples(&liveRect.GetRing()->GetSamples(), fileFrames, LiveRing::CHANNELS);
    SamplesProvider* provider = live ? (SamplesProvider*)&liveRect : &fileRect;
    Envelope envelope(2048);
    std::vector<std::unique_ptr<AudioSource>> voices;
    for (int v = 0; v < numVoices; v++)
        voices.push_back(std::make_unique<AudioSource>(std::vector<SamplesProvider*>{provider}, &envelope, 80.0,
                                                       1.0 + 0.01 * v, 1.0));
    std::vector<float> out(2 * BLOCK);
    double paramY = 0.8;
    for (auto _ : state) {
        if (live)
            liveRect.Capture(input.data(), BLOCK, 1);
        std::fill(out.begin(), out.end(), 0.0f);
        for (int v = 0; v < numVoices; v++) {
            if (!voices[v]->IsPlaying()) {
                const double along =
                    live ? (liveRect.GetRing()->FrameAt(0.1 + 0.025 * v) + 1.0) / fileFrames : 0.3 + 0.01 * v;
                voices[v]->Play(&along, &paramY);
            }
            voices[v]->NextBuffer(&out, BLOCK, 0);
        }
        benchmark::DoNotOptimize(out.data());
    }
    ReportCorePercent(state, BLOCK);
}
BENCHMARK(BM_VoicesOverLiveOrFileRect)->Arg(0)->Arg(1);

}  // namespace
