#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"

namespace {

const int SAMPLE_RATE = 44100;
const unsigned HALF_BLOCK = 512;
const int SOUND_FRAMES = 10 * SAMPLE_RATE;

// One voice playing 100 ms grains of noise one after another at the rate
// given in tenths, each at a new place. One iteration renders one second of
// audio; cpu_per_grain_s is the CPU time per audio second of one sounding grain
// (the time divided by the average number of grains playing), and
// grains_per_core how many grains sounding at once one core would sustain
// at that cost, doing nothing else.
void BM_GrainVoice(benchmark::State& state)
{
    const double rate = (double)state.range(0) / 10.0;
    std::srand(7);
    std::vector<float> samples(2 * SOUND_FRAMES);
    for (float& v : samples)
        v = 0.5f * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
    SoundRect rect;
    rect.AssociateSamples(samples, SOUND_FRAMES, 2);
    Envelope envelope(2048);
    AudioSource voice({&rect}, &envelope, 100.0, rate, 1.0);
    voice.SetDirection(1.0);
    voice.UpdateParams();
    std::vector<float> block(2 * HALF_BLOCK);
    const double paramY = 1.0;
    int grain = 0;
    double soundingFrames = 0.0, frames = 0.0;
    for (auto _ : state) {
        for (int b = 0; b < SAMPLE_RATE / (int)HALF_BLOCK; b++) {
            if (!voice.IsPlaying()) {
                const double place = 0.05 + 0.8 * (double)(grain++ % 97) / 97.0;
                voice.Play(&place, &paramY);
            }
            voice.NextBuffer(&block, HALF_BLOCK, 0);
            soundingFrames += voice.IsPlaying() ? HALF_BLOCK : HALF_BLOCK / 2;
            frames += HALF_BLOCK;
        }
        benchmark::DoNotOptimize(block.data());
    }
    const double sounding = soundingFrames / frames;
    state.counters["sounding_grains"] = sounding;
    state.counters["cpu_per_grain_s"] = benchmark::Counter((double)state.iterations() * sounding,
                                                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["grains_per_core"] =
        benchmark::Counter((double)state.iterations() * sounding, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GrainVoice)->Arg(10)->Arg(13)->Arg(15)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace
