#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "effects/DelayEffect.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "effects/ReverbEffect.h"
#include "parameters/Parameter.h"

// Every allocation of the process is counted, so a test can tell whether
// audio-thread code allocated.
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

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {
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
        v = 0.5f * (2.0f * std::rand() / RAND_MAX - 1.0f);
    return x;
}
}  // namespace

TEST(EffectsAllocationTest, SteadyStateBlocksAllocateNothing)
{
    EffectsBox box;
    SwitchEverythingOn(&box);
    const std::vector<float> noise = Noise(2 * 1024);
    std::vector<float> block = noise;
    box.Process(&block, 1024, 2);  // the reverb takes its new order here

    long before = allocations;
    for (int i = 0; i < 50; i++) {
        block = noise;
        box.Process(&block, 1024, 2);
    }
    EXPECT_EQ(before, allocations.load());
}

TEST(EffectsAllocationTest, LongBlocksAndShortBlocksAllocateNothing)
{
    EffectsBox box;
    SwitchEverythingOn(&box);
    std::vector<float> longBlock = Noise(2 * 5000);
    std::vector<float> shortBlock = Noise(2 * 100);
    box.Process(&shortBlock, 100, 2);

    long before = allocations;
    box.Process(&longBlock, 5000, 2);
    box.Process(&shortBlock, 100, 2);
    box.Process(&longBlock, 5000, 1);
    EXPECT_EQ(before, allocations.load());
}

TEST(EffectsAllocationTest, TurningTheDelayTimeAllocatesNothing)
{
    EffectsBox box;
    SwitchEverythingOn(&box);
    std::vector<float> block = Noise(2 * 1024);
    box.Process(&block, 1024, 2);

    long before = allocations;
    for (double ms : {5000.0, 1.0, 2500.0, 4999.0, 3.0}) {
        SetParam(&box, EffectsBox::EFFECT_DELAY, DelayEffect::TIME_PARAM, ms);
        box.Process(&block, 1024, 2);
    }
    EXPECT_EQ(before, allocations.load());
}

TEST(EffectsAllocationTest, AFreshChainIsReadyBeforeItsFirstBlock)
{
    EffectsBox box;
    std::vector<float> block = Noise(2 * 1024);
    long before = allocations;
    box.Process(&block, 1024, 2);
    EXPECT_EQ(before, allocations.load());
}
