#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "DelayLineReference.h"
#include "EffectsTestHelpers.h"
#include "effects/DelayEffect.h"
#include "effects/DelayLine.h"

namespace {
// Reads the ring out, oldest first, by pushing silence through it.
std::vector<float> Drain(DelayLine* line)
{
    std::vector<float> out(line->GetSize());
    for (float& v : out)
        v = line->Process(0.0f);
    return out;
}

std::vector<float> Drain(ReferenceDelayLine* line)
{
    std::vector<float> out(line->GetSize());
    for (float& v : out)
        v = line->Process(0.0f);
    return out;
}

void Feed(DelayLine* line, const std::vector<float>& samples)
{
    for (float s : samples)
        line->Process(s);
}

std::vector<float> StereoImpulse(int frames)
{
    std::vector<float> x(2 * frames, 0.0f);
    x[0] = 1.0f;
    return x;
}
}  // namespace

TEST(DelayLineTest, AnImpulseComesOutAfterTheRingLength)
{
    DelayLine line(7);
    EXPECT_EQ(7, line.GetSize());
    std::vector<float> out;
    out.push_back(line.Process(1.0f));
    for (int i = 0; i < 10; i++)
        out.push_back(line.Process(0.0f));
    for (int i = 0; i < 11; i++)
        EXPECT_EQ(i == 7 ? 1.0f : 0.0f, out[i]) << i;
}

TEST(DelayLineTest, FractionalAndEmptyLengths)
{
    EXPECT_EQ(2, DelayLine(1.5).GetSize());
    EXPECT_EQ(1, DelayLine(0.2).GetSize());
    DelayLine one(0.2);
    EXPECT_EQ(0.0f, one.Process(0.5f));
    EXPECT_EQ(0.5f, one.Peek());
    // Only an empty request at construction leaves the ring empty: it then
    // passes samples straight through.
    DelayLine empty(0.0);
    EXPECT_EQ(0, empty.GetSize());
    EXPECT_EQ(0.0f, empty.Peek());
    EXPECT_EQ(0.3f, empty.Process(0.3f));
    // Growing an empty ring has no newest sample to repeat: it fills with silence.
    empty.SetDelay(5.0);
    EXPECT_EQ(5, empty.GetSize());
    EXPECT_EQ(std::vector<float>(5, 0.0f), Drain(&empty));
    // Requests below one sample still keep one.
    empty.SetDelay(0.0);
    EXPECT_EQ(1, empty.GetSize());
    empty.SetDelay(-3.0);
    EXPECT_EQ(1, empty.GetSize());
}

TEST(DelayLineTest, GrowingRepeatsTheNewestSample)
{
    DelayLine line(4);
    Feed(&line, {1, 2, 3, 4});
    line.SetDelay(6);
    EXPECT_EQ((std::vector<float>{1, 2, 3, 4, 4, 4}), Drain(&line));
    // Also when the newest sample sits in the middle of the vector.
    DelayLine wrapped(4);
    Feed(&wrapped, {1, 2, 3, 4, 5, 6});
    wrapped.SetDelay(7);
    EXPECT_EQ((std::vector<float>{3, 4, 5, 6, 6, 6, 6}), Drain(&wrapped));
}

TEST(DelayLineTest, ShrinkingDropsTheNewestSamplesFirst)
{
    DelayLine line(6);
    Feed(&line, {1, 2, 3, 4, 5, 6});
    line.SetDelay(4);
    EXPECT_EQ((std::vector<float>{1, 2, 3, 4}), Drain(&line));
    // The newest samples wrap around the end of the vector here.
    DelayLine wrapped(6);
    Feed(&wrapped, {1, 2, 3, 4, 5, 6, 7, 8});
    wrapped.SetDelay(3);
    EXPECT_EQ((std::vector<float>{3, 4, 5}), Drain(&wrapped));
    wrapped.SetDelay(1);
    Feed(&wrapped, {9});
    EXPECT_EQ((std::vector<float>{9}), Drain(&wrapped));
}

// The shrink in one range erase must leave exactly the ring that erasing one
// sample at a time leaves, wherever the write position is.
TEST(DelayLineTest, RangeShrinkMatchesOneSampleAtATime)
{
    std::srand(21);
    for (long size : {2L, 7L, 100L, 5000L}) {
        for (long target : {1L, 2L, 44L, size / 2, size - 1}) {
            if (target < 1 || target >= size)
                continue;
            for (long fed : {0L, 1L, size / 3, size - 1, size, size + target / 2, 3 * size - 1}) {
                SCOPED_TRACE(::testing::Message() << size << " -> " << target << " after " << fed);
                DelayLine line(size);
                ReferenceDelayLine reference(size);
                std::vector<float> history = RandomSamples(fed);
                for (float s : history)
                    EXPECT_EQ(reference.Process(s), line.Process(s));
                line.SetDelay(target);
                reference.ShrinkOneAtATime(target);
                ASSERT_EQ(reference.GetSize(), line.GetSize());
                std::vector<float> more = RandomSamples(2 * target);
                for (float s : more)
                    ASSERT_EQ(reference.Process(s), line.Process(s));
                EXPECT_EQ(Drain(&reference), Drain(&line));
            }
        }
    }
}

TEST(DelayLineTest, LargestShrinkMatchesOneSampleAtATime)
{
    const long maxSamples = 220500;
    std::srand(22);
    DelayLine line(maxSamples);
    ReferenceDelayLine reference(maxSamples);
    // The write position ends near the end of the vector, where the slow way is quick.
    for (float s : RandomSamples(maxSamples - 10))
        reference.Process(s), line.Process(s);
    line.SetDelay(44);
    reference.ShrinkOneAtATime(44);
    EXPECT_EQ(Drain(&reference), Drain(&line));
}

TEST(DelayEffectTest, OneEchoWithoutFeedback)
{
    DelayEffect effect;
    SwitchOn(&effect);
    SetParam(&effect, DelayEffect::FEEDBACK_PARAM, 0.0);
    std::vector<float> x = StereoImpulse(3 * 44100);
    ProcessInBlocks(&effect, &x, 2, 1024);
    EXPECT_EQ(44100, effect.GetDelayLine(0)->GetSize());
    for (int i = 0; i < 3 * 44100; i++) {
        EXPECT_EQ(i == 0 ? 1.0f : (i == 44100 ? 0.5f : 0.0f), x[2 * i]) << i;
        EXPECT_EQ(0.0f, x[2 * i + 1]) << i;
    }
}

TEST(DelayEffectTest, FeedbackHalvesEveryEcho)
{
    DelayEffect effect;
    SwitchOn(&effect);
    SetParam(&effect, DelayEffect::TIME_PARAM, 10.0);  // 441 samples
    std::vector<float> x = StereoImpulse(6 * 441 + 10);
    ProcessInBlocks(&effect, &x, 2, 1024);
    double echo = 0.5;
    for (int i = 1; i <= 6 * 441 + 9; i++) {
        if (i % 441 == 0) {
            EXPECT_NEAR(echo, x[2 * i], 1e-7) << i;
            echo *= 0.5;
        } else {
            EXPECT_EQ(0.0f, x[2 * i]) << i;
        }
    }
}

TEST(DelayEffectTest, FeedbackBeyondFullIsHeldAtFull)
{
    // A damaged session can store any value: every echo then stays at the
    // level of the first instead of growing towards infinity.
    DelayEffect effect;
    SwitchOn(&effect);
    SetParam(&effect, DelayEffect::TIME_PARAM, 10.0);  // 441 samples
    SetParam(&effect, DelayEffect::FEEDBACK_PARAM, 500.0);
    std::vector<float> x = StereoImpulse(40 * 441 + 10);
    ProcessInBlocks(&effect, &x, 2, 1024);
    for (int k = 1; k <= 40; k++)
        EXPECT_NEAR(0.5f, x[2 * k * 441], 1e-6) << "echo " << k;
}

TEST(DelayEffectTest, TimeInSamplesFollowsTheKnobEvenWhenOff)
{
    DelayEffect effect;
    std::vector<float> block(2 * 64, 0.0f);
    for (auto [ms, samples] : {std::pair<double, int>{1.0, 44}, {5000.0, 220500}, {12.5, 551}}) {
        SetParam(&effect, DelayEffect::TIME_PARAM, ms);
        effect.Process(&block, 64, 2);
        EXPECT_EQ(samples, effect.GetDelayLine(0)->GetSize()) << ms;
        EXPECT_EQ(samples, effect.GetDelayLine(1)->GetSize()) << ms;
    }
    // A value from outside the knob's range is held to it.
    SetParam(&effect, DelayEffect::TIME_PARAM, 1e12);
    effect.Process(&block, 64, 2);
    EXPECT_EQ(220500, effect.GetDelayLine(0)->GetSize());
}

// While off, the rings stand still: switching back on continues the echo as
// if the off time had never been.
TEST(DelayEffectTest, SwitchingOffFreezesTheTail)
{
    DelayEffect interrupted;
    DelayEffect continuous;
    for (DelayEffect* effect : {&interrupted, &continuous}) {
        SwitchOn(effect);
        SetParam(effect, DelayEffect::TIME_PARAM, 20.0);
    }
    std::srand(23);
    std::vector<float> first = RandomSamples(2 * 300);
    std::vector<float> a = first, b = first;
    interrupted.Process(&a, 300, 2);
    continuous.Process(&b, 300, 2);
    EXPECT_EQ(a, b);

    SwitchOn(&interrupted, false);
    std::vector<float> offBlock = RandomSamples(2 * 500);
    std::vector<float> passed = offBlock;
    interrupted.Process(&passed, 500, 2);
    EXPECT_EQ(offBlock, passed);

    SwitchOn(&interrupted);
    std::vector<float> silenceA(2 * 2000, 0.0f), silenceB(2 * 2000, 0.0f);
    interrupted.Process(&silenceA, 2000, 2);
    continuous.Process(&silenceB, 2000, 2);
    EXPECT_EQ(silenceB, silenceA);
    EXPECT_NE(std::vector<float>(2 * 2000, 0.0f), silenceA);
}

TEST(DelayEffectTest, ExtraChannelsPassUntouched)
{
    DelayEffect effect;
    SwitchOn(&effect);
    SetParam(&effect, DelayEffect::TIME_PARAM, 1.0);
    std::srand(24);
    const std::vector<float> x = RandomSamples(3 * 200);
    std::vector<float> y = x;
    effect.Process(&y, 200, 3);
    for (int i = 0; i < 200; i++)
        EXPECT_EQ(x[3 * i + 2], y[3 * i + 2]);
    EXPECT_NE(x, y);
}
