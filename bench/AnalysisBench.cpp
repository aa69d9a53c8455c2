#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ResidentMemory.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

// Start-up analysis of one minute of stereo audio into the spectrogram and
// chromagram of both channels, phases prepared as the sound rects leave them:
// once through the overlap-add engine with a separate transform of the whole
// sound per image (the direct computation), once in the single pass per
// channel that start-up uses (images for the first channel only, as only
// those are drawn). Both run on one thread; time is the analysis time per
// minute of audio; resident_MiB is the memory that minute's stores keep.

namespace {
const int SAMPLE_RATE = 44100;
const int NUM_CHANS = 2;
const int FRAMES_PER_MINUTE = 60 * SAMPLE_RATE;
const double MIB = 1024.0 * 1024.0;

std::vector<float> MakeMinuteOfStereo()
{
    srand(1);
    std::vector<float> x(NUM_CHANS * FRAMES_PER_MINUTE);
    for (int i = 0; i < FRAMES_PER_MINUTE; i++) {
        double t = (double)i / SAMPLE_RATE;
        double noise = 2.0 * std::rand() / RAND_MAX - 1.0;
        x[2 * i] = (float)(0.4 * std::sin(2.0 * M_PI * 220.0 * t) + 0.1 * noise);
        x[2 * i + 1] = (float)(0.4 * std::sin(2.0 * M_PI * 330.0 * t) - 0.1 * noise);
    }
    return x;
}

// images[k] and images[NUM_CHANS + k]: spectrogram and chromagram of channel k.
void AnalyseDirect(const std::vector<float>& x, Spectrogram** images)
{
    for (int k = 0; k < NUM_CHANS; k++)
        images[k] = SamplesToSpectro::SamplesToSpectrogram(x, FRAMES_PER_MINUTE, NUM_CHANS, k);
    for (int k = 0; k < NUM_CHANS; k++)
        images[NUM_CHANS + k] = SamplesToSpectro::SamplesToChromagram(x, FRAMES_PER_MINUTE, NUM_CHANS, k);
}

void AnalyseShared(const std::vector<float>& x, Spectrogram** images)
{
    for (int k = 0; k < NUM_CHANS; k++)
        SamplesToSpectro::AnalyseChannel(x, FRAMES_PER_MINUTE, NUM_CHANS, k, &images[k], &images[NUM_CHANS + k],
                                         k == 0);
}

void RunAnalysis(benchmark::State& state, void (*analyse)(const std::vector<float>&, Spectrogram**))
{
    static const std::vector<float> minute = MakeMinuteOfStereo();
    Spectrogram* images[2 * NUM_CHANS];
    double residentMiB = 0.0;
    for (auto _ : state) {
        long before = ResidentBytesNow();
        analyse(minute, images);
        for (Spectrogram* image : images)
            image->PreProcessPhases();
        residentMiB = (ResidentBytesNow() - before) / MIB;
        state.PauseTiming();
        // Chromagrams first: in the shared way they show the spectrograms' columns.
        for (int i = 2 * NUM_CHANS - 1; i >= 0; i--)
            delete images[i];
        state.ResumeTiming();
    }
    state.counters["resident_MiB"] = residentMiB;
}

void BM_AnalysisPerMinuteDirect(benchmark::State& state)
{
    RunAnalysis(state, AnalyseDirect);
}

void BM_AnalysisPerMinuteShared(benchmark::State& state)
{
    RunAnalysis(state, AnalyseShared);
}
}  // namespace

BENCHMARK(BM_AnalysisPerMinuteDirect)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AnalysisPerMinuteShared)->Unit(benchmark::kMillisecond)->Iterations(3);
