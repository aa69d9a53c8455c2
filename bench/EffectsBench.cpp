#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "../tests/DelayLineReference.h"
#include "effects/BitCrushEffect.h"
#include "effects/DelayEffect.h"
#include "effects/DelayLine.h"
#include "effects/EffectsBox.h"
#include "effects/ReverbEffect.h"
#include "effects/SaturationEffect.h"
#include "effects/StereoEffect.h"
#include "effects/VolumeEffect.h"
#include "parameters/Parameter.h"

namespace {
const int SAMPLE_RATE = 44100;
const int BLOCK_FRAMES = 1024;
const long MAX_DELAY_SAMPLES = 220500;  // 5000 ms
const long MIN_DELAY_SAMPLES = 44;      // 1 ms

std::vector<float> OneSecondOfNoise()
{
    std::srand(61);
    std::vector<float> x(2 * SAMPLE_RATE);
    for (float& v : x)
        v = 0.5f * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
    return x;
}

void Set(Effect* effect, int idx, double value)
{
    effect->GetParameter(idx)->SetValue(value);
}

// One iteration is one second of stereo audio in 1024-frame blocks, each
// block first filled as a source would render it. The counter gives the CPU
// seconds spent per second of audio (1 would use a whole core).
template <typename Process>
void RunOneSecondPerIteration(benchmark::State& state, Process process)
{
    const std::vector<float> input = OneSecondOfNoise();
    std::vector<float> block(2 * BLOCK_FRAMES);
    for (auto _ : state) {
        for (int start = 0; start < SAMPLE_RATE; start += BLOCK_FRAMES) {
            int n = std::min(BLOCK_FRAMES, SAMPLE_RATE - start);
            std::copy(input.begin() + 2 * start, input.begin() + 2 * (start + n), block.begin());
            process(&block, n);
        }
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["cpu_s_per_audio_s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <typename EffectType>
void BenchEffect(benchmark::State& state, std::vector<std::pair<int, double>> settings)
{
    EffectType effect;
    Set(&effect, 0, 1.0);
    for (auto [idx, value] : settings)
        Set(&effect, idx, value);
    RunOneSecondPerIteration(state, [&](std::vector<float>* block, int n) { effect.Process(block, n, 2); });
}

void BM_BitCrush(benchmark::State& state)
{
    BenchEffect<BitCrushEffect>(state, {{BitCrushEffect::RATIO_PARAM, 50.0}});
}

void BM_Saturation(benchmark::State& state)
{
    BenchEffect<SaturationEffect>(state, {{SaturationEffect::RATIO_PARAM, 50.0}});
}

void BM_Delay(benchmark::State& state)
{
    BenchEffect<DelayEffect>(state, {{DelayEffect::TIME_PARAM, 350.0}});
}

void BM_Stereo(benchmark::State& state)
{
    BenchEffect<StereoEffect>(state, {{StereoEffect::PAN_PARAM, 30.0}, {StereoEffect::WIDTH_PARAM, 50.0}});
}

void BM_Reverb(benchmark::State& state)
{
    BenchEffect<ReverbEffect>(state, {{ReverbEffect::ORDER_PARAM, (double)state.range(0)}});
}

void BM_Volume(benchmark::State& state)
{
    BenchEffect<VolumeEffect>(state, {{VolumeEffect::VOLUME_PARAM, -3.0}});
}

void BM_WholeChainAllOn(benchmark::State& state)
{
    EffectsBox box;
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++)
        Set(box.GetEffect((EffectsBox::EffectIdx)e), 0, 1.0);
    Set(box.GetEffect(EffectsBox::EFFECT_BIT_CRUSH), BitCrushEffect::RATIO_PARAM, 30.0);
    Set(box.GetEffect(EffectsBox::EFFECT_SATURATION), SaturationEffect::RATIO_PARAM, 20.0);
    Set(box.GetEffect(EffectsBox::EFFECT_STEREO), StereoEffect::WIDTH_PARAM, 40.0);
    Set(box.GetEffect(EffectsBox::EFFECT_REVERB), ReverbEffect::ORDER_PARAM, 10.0);
    RunOneSecondPerIteration(state, [&](std::vector<float>* block, int n) { box.Process(block, n, 2); });
}

// A full 5000 ms line whose newest sample sits mid-vector, the costly place
// for erasing one sample at a time.
template <typename Line>
void FillHalfAgain(Line* line)
{
    for (long i = 0; i < MAX_DELAY_SAMPLES + MAX_DELAY_SAMPLES / 2; i++)
        line->Process((float)(i % 1000) * 0.001f);
}

// Filling the line takes far longer than the fast shrink, so only the
// shrink itself is timed, and the iteration count is fixed.
template <typename Line, typename Shrink>
void TimeShrinks(benchmark::State& state, Shrink shrink)
{
    for (auto _ : state) {
        Line line(MAX_DELAY_SAMPLES);
        FillHalfAgain(&line);
        auto start = std::chrono::steady_clock::now();
        shrink(&line);
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        benchmark::DoNotOptimize(line.GetSize());
    }
}

void BM_DelayShrink5000To1ms(benchmark::State& state)
{
    TimeShrinks<DelayLine>(state, [](DelayLine* line) { line->SetDelay(MIN_DELAY_SAMPLES); });
}

void BM_DelayShrink5000To1msOneSampleAtATime(benchmark::State& state)
{
    TimeShrinks<ReferenceDelayLine>(state, [](ReferenceDelayLine* line) { line->ShrinkOneAtATime(MIN_DELAY_SAMPLES); });
}
}  // namespace

BENCHMARK(BM_BitCrush)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Saturation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Delay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stereo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reverb)->Arg(8)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Volume)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeChainAllOn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DelayShrink5000To1ms)->UseManualTime()->Iterations(50)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DelayShrink5000To1msOneSampleAtATime)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
