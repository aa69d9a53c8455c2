#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size)
{
    allocations++;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(AudioSourceAllocTest, RenderingAllocatesNothingOnceRunning)
{
    srand(3);
    std::vector<float> samples(2 * 44100);
    for (float& x : samples)
        x = (float)rand() / RAND_MAX - 0.5f;
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
        long before = allocations.load();
        for (int i = 0; i < 500; i++) {
            voice.UpdateParams();
            voice.NextBuffer(&out, 512, 512 * (i % 2));
            voice.Update(pos, y);
        }
        EXPECT_EQ(allocations.load() - before, 0) << "direction " << direction;
    }
}
