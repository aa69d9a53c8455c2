#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "effects/SafetyLimiter.h"

namespace {
const int SAMPLE_RATE = 44100;
const int BLOCK_FRAMES = 1024;

// One iteration is one second of stereo audio in 1024-frame blocks at the
// given peak level: below -1 dBFS the limiter only delays, above it it works
// on every frame, as under a pile of clouds.
void RunLimiter(benchmark::State& state, float peak)
{
    std::srand(17);
    std::vector<float> second(2 * SAMPLE_RATE);
    for (float& v : second)
        v = peak * (2.0f * std::rand() / (float)RAND_MAX - 1.0f);
    std::vector<float> block(2 * BLOCK_FRAMES);
    SafetyLimiter limiter(SAMPLE_RATE);
    for (auto _ : state) {
        for (int start = 0; start + BLOCK_FRAMES <= SAMPLE_RATE; start += BLOCK_FRAMES) {
            std::copy_n(second.begin() + 2 * start, block.size(), block.begin());
            limiter.Process(block.data(), BLOCK_FRAMES);
            benchmark::DoNotOptimize(block.data());
        }
    }
}

void BM_SafetyLimiterQuiet(benchmark::State& state)
{
    RunLimiter(state, 0.5f);
}

void BM_SafetyLimiterLimiting(benchmark::State& state)
{
    RunLimiter(state, 4.0f);
}
}  // namespace

BENCHMARK(BM_SafetyLimiterQuiet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SafetyLimiterLimiting)->Unit(benchmark::kMillisecond);
