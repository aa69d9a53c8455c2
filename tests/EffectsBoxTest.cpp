#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "EffectsTestHelpers.h"
#include "effects/DelayEffect.h"
#include "effects/DelayLine.h"
#include "effects/EffectsBox.h"
#include "effects/Reverb.h"
#include "effects/ReverbEffect.h"
#include "session/Serializer.h"

namespace {
const int NUM_PARAMETER_RECORDS = 21;
const int PARAMETER_RECORD_BYTES = 20;

// Every parameter of every effect set away from its default, switches on.
void SetEverything(EffectsBox* box)
{
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        Effect* effect = box->GetEffect((EffectsBox::EffectIdx)e);
        for (int k = 0; k < effect->GetNumParams(); k++) {
            Parameter* p = effect->GetParameter(k);
            p->SetNormalizedValue(k == 0 ? 1.0 : 0.3 + 0.05 * e + 0.07 * k);
            p->SetSensivity(1.5 + e + 0.1 * k);
        }
    }
    // Muted, the chain would only ever put out silence.
    SetParam(box->GetEffect(EffectsBox::EFFECT_VOLUME), 2, 0.0);
}

std::vector<char> Save(EffectsBox* box)
{
    Serializer serializer;
    serializer.OpenWriteMemory();
    box->Serialize(&serializer);
    return serializer.GetStream();
}

template <typename T>
T ReadAt(const std::vector<char>& bytes, size_t offset)
{
    T value;
    memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

template <typename T>
void WriteAt(std::vector<char>* bytes, size_t offset, T value)
{
    memcpy(bytes->data() + offset, &value, sizeof(T));
}

// A chain whose effects are all set away from their defaults, with only the given one on.
void OnlyOneOn(EffectsBox* box, int only)
{
    SetEverything(box);
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++)
        SwitchOn(box->GetEffect((EffectsBox::EffectIdx)e), e == only);
}

void ExpectFinite(const std::vector<float>& x)
{
    for (size_t i = 0; i < x.size(); i++)
        ASSERT_TRUE(std::isfinite(x[i])) << i;
}

void ExpectSameParameters(EffectsBox* a, EffectsBox* b)
{
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        Effect* ea = a->GetEffect((EffectsBox::EffectIdx)e);
        Effect* eb = b->GetEffect((EffectsBox::EffectIdx)e);
        for (int k = 0; k < ea->GetNumParams(); k++) {
            SCOPED_TRACE(::testing::Message() << "effect " << e << " parameter " << k);
            EXPECT_EQ(ea->GetParameter(k)->GetValue(), eb->GetParameter(k)->GetValue());
            EXPECT_EQ(ea->GetParameter(k)->GetSensivity(), eb->GetParameter(k)->GetSensivity());
            EXPECT_STREQ(ea->GetParameter(k)->GetValueStr(), eb->GetParameter(k)->GetValueStr());
        }
    }
}
}  // namespace

TEST(EffectsBoxTest, ANewChainIsOffAndTransparent)
{
    EffectsBox box;
    int numParams[] = {2, 2, 4, 3, 7, 3};
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        Effect* effect = box.GetEffect((EffectsBox::EffectIdx)e);
        EXPECT_FALSE(effect->IsOn()) << e;
        EXPECT_STREQ("off", effect->GetParameter(0)->GetValueStr());
        EXPECT_EQ(numParams[e], effect->GetNumParams()) << e;
    }
    std::srand(41);
    const std::vector<float> x = RandomSamples(2 * 4096);
    std::vector<float> y = x;
    for (int i = 0; i < 4; i++) {
        std::vector<float> block(y.begin() + 2048 * i, y.begin() + 2048 * (i + 1));
        box.Process(&block, 1024, 2);
        std::copy(block.begin(), block.end(), y.begin() + 2048 * i);
    }
    EXPECT_EQ(0, memcmp(x.data(), y.data(), x.size() * sizeof(float)));
}

TEST(EffectsBoxTest, EffectsRunInChainOrder)
{
    EffectsBox box;
    Effect* crush = box.GetEffect(EffectsBox::EFFECT_BIT_CRUSH);
    Effect* saturation = box.GetEffect(EffectsBox::EFFECT_SATURATION);
    SwitchOn(crush);
    SetParam(crush, 1, 50.0);
    SwitchOn(saturation);
    SetParam(saturation, 1, 50.0);
    // Crushing 0 gives -0.00552, which saturation then doubles; saturating
    // first would leave 0 for the crusher and end at -0.00552.
    std::vector<float> x = {0.0f, 0.0f};
    box.Process(&x, 1, 2);
    EXPECT_NEAR(2.0 * (360.0 / 362.0 - 1.0), x[0], 1e-6);
}

TEST(EffectsBoxTest, OneChannelBlocksPassAllButTheReverb)
{
    EffectsBox box;
    SetEverything(&box);
    SwitchOn(box.GetEffect(EffectsBox::EFFECT_REVERB), false);
    std::srand(42);
    const std::vector<float> x = RandomSamples(1024);
    std::vector<float> y = x;
    box.Process(&y, 1024, 1);
    EXPECT_EQ(x, y);
    SwitchOn(box.GetEffect(EffectsBox::EFFECT_REVERB));
    box.Process(&y, 1024, 1);
    EXPECT_NE(x, y);
}

TEST(EffectsBoxTest, RecordLayoutOfTheChain)
{
    EffectsBox box;
    SetEverything(&box);
    std::vector<char> bytes = Save(&box);
    ASSERT_EQ((size_t)NUM_PARAMETER_RECORDS * PARAMETER_RECORD_BYTES, bytes.size());
    const int expectedIdx[] = {0, 1, 0, 1, 0, 1, 2, 3, 0, 1, 2, 0, 1, 2, 3, 4, 5, 6, 0, 1, 2};
    const int effectOf[] = {0, 0, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5};
    for (int r = 0; r < NUM_PARAMETER_RECORDS; r++) {
        size_t offset = (size_t)r * PARAMETER_RECORD_BYTES;
        Parameter* p = box.GetEffect((EffectsBox::EffectIdx)effectOf[r])->GetParameter(expectedIdx[r]);
        EXPECT_EQ(expectedIdx[r], ReadAt<int>(bytes, offset)) << r;
        EXPECT_EQ(p->GetValue(), ReadAt<double>(bytes, offset + 4)) << r;
        EXPECT_EQ(p->GetSensivity(), ReadAt<double>(bytes, offset + 12)) << r;
    }
}

TEST(EffectsBoxTest, RoundTripRestoresParametersAndDerivedState)
{
    EffectsBox saved;
    SetEverything(&saved);
    std::srand(43);
    const std::vector<float> x = RandomSamples(2 * 1024);

    Serializer serializer;
    serializer.OpenReadMemory(Save(&saved));
    EffectsBox loaded;
    loaded.UnSerialize(&serializer);
    EXPECT_FALSE(serializer.HasRunOut());
    ExpectSameParameters(&saved, &loaded);

    // The state derived from the parameters is in place before any block runs.
    auto* delay = static_cast<DelayEffect*>(loaded.GetEffect(EffectsBox::EFFECT_DELAY));
    double timeMs = delay->GetParameter(DelayEffect::TIME_PARAM)->GetValue();
    EXPECT_NE(1000.0, timeMs);
    EXPECT_EQ((int)(timeMs * 0.001 * 44100), delay->GetDelayLine(0)->GetSize());
    EXPECT_EQ((int)(timeMs * 0.001 * 44100), delay->GetDelayLine(1)->GetSize());
    auto* reverb = static_cast<ReverbEffect*>(loaded.GetEffect(EffectsBox::EFFECT_REVERB));
    int order = (int)reverb->GetParameter(ReverbEffect::ORDER_PARAM)->GetValue();
    int delayTime = (int)reverb->GetParameter(ReverbEffect::DELAY_TIME_PARAM)->GetValue();
    EXPECT_NE(8, order);
    Reverb expected(order, 2048);
    expected.SetDelayTapTime(delayTime);
    EXPECT_EQ(order, reverb->GetReverb(1)->GetOrder());
    EXPECT_EQ(expected.GetDelayTaps(), reverb->GetReverb(0)->GetDelayTaps());
    EXPECT_EQ(expected.GetDelayTaps(), reverb->GetReverb(1)->GetDelayTaps());

    // And both chains sound the same.
    std::vector<float> a = x, b = x;
    saved.Process(&a, 1024, 2);
    loaded.Process(&b, 1024, 2);
    EXPECT_EQ(a, b);
    EXPECT_NE(x, a);
}

TEST(EffectsBoxTest, AShortStreamKeepsTheRemainingValues)
{
    EffectsBox saved;
    SetEverything(&saved);
    std::vector<char> bytes = Save(&saved);
    // Five whole records and half of the sixth: bit crush, saturation and
    // the delay's On switch.
    bytes.resize(5 * PARAMETER_RECORD_BYTES + 10);
    Serializer serializer;
    serializer.OpenReadMemory(bytes);
    EffectsBox loaded;
    loaded.UnSerialize(&serializer);
    EXPECT_TRUE(serializer.HasRunOut());
    Effect* delay = loaded.GetEffect(EffectsBox::EFFECT_DELAY);
    EXPECT_TRUE(delay->IsOn());
    EXPECT_EQ(saved.GetEffect(EffectsBox::EFFECT_SATURATION)->GetParameter(1)->GetValue(),
              loaded.GetEffect(EffectsBox::EFFECT_SATURATION)->GetParameter(1)->GetValue());
    EXPECT_DOUBLE_EQ(1000.0, delay->GetParameter(DelayEffect::TIME_PARAM)->GetValue());
    EXPECT_FALSE(loaded.GetEffect(EffectsBox::EFFECT_VOLUME)->IsOn());
}

TEST(EffectsBoxTest, ValuesThatAreNotNumbersAreIgnored)
{
    EffectsBox saved;
    Effect* delay = saved.GetEffect(EffectsBox::EFFECT_DELAY);
    SetParam(delay, DelayEffect::TIME_PARAM, std::numeric_limits<double>::quiet_NaN());
    Serializer serializer;
    serializer.OpenReadMemory(Save(&saved));
    EffectsBox loaded;
    loaded.UnSerialize(&serializer);
    EXPECT_DOUBLE_EQ(1000.0,
                     loaded.GetEffect(EffectsBox::EFFECT_DELAY)->GetParameter(DelayEffect::TIME_PARAM)->GetValue());
}

TEST(EffectsBoxTest, DamagedRecordsAreHeldToTheBoundsAndTheOutputStaysFinite)
{
    // Volume +1000 dB and reverb decay 5 in a damaged chain record.
    const int reverbDecayRecord = 17, volumeRecord = 19;
    EffectsBox saved;
    SetEverything(&saved);
    std::vector<char> bytes = Save(&saved);
    WriteAt<double>(&bytes, (size_t)reverbDecayRecord * PARAMETER_RECORD_BYTES + 4, 5.0);
    WriteAt<double>(&bytes, (size_t)volumeRecord * PARAMETER_RECORD_BYTES + 4, 1000.0);
    WriteAt<double>(&bytes, 4 * PARAMETER_RECORD_BYTES + 4, 1e300);  // delay On
    Serializer serializer;
    serializer.OpenReadMemory(bytes);
    EffectsBox loaded;
    loaded.UnSerialize(&serializer);
    EXPECT_EQ(1.0, loaded.GetEffect(EffectsBox::EFFECT_REVERB)->GetParameter(ReverbEffect::DECAY_PARAM)->GetValue());
    EXPECT_EQ(12.0, loaded.GetEffect(EffectsBox::EFFECT_VOLUME)->GetParameter(1)->GetValue());
    EXPECT_EQ(1.0, loaded.GetEffect(EffectsBox::EFFECT_DELAY)->GetParameter(0)->GetValue());

    std::srand(3);
    for (int b = 0; b < 300; b++) {
        std::vector<float> block = RandomSamples(2 * 512);
        loaded.Process(&block, 512, 2);
        ExpectFinite(block);
    }
}

TEST(EffectsBoxTest, ANonFiniteBlockActsAsSilenceAndNeverPoisonsTheTail)
{
    // Each effect alone, fed a block with NaN and infinite samples: the
    // output is exactly that of the same block with those samples silent,
    // the bad block included, and stays finite for good.
    const int frames = 512;
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        SCOPED_TRACE(::testing::Message() << "effect " << e);
        EffectsBox poisoned, reference;
        OnlyOneOn(&poisoned, e);
        OnlyOneOn(&reference, e);
        // A short delay, so that the echoes of the bad block come back within the test.
        for (EffectsBox* box : {&poisoned, &reference})
            SetParam(box->GetEffect(EffectsBox::EFFECT_DELAY), DelayEffect::TIME_PARAM, 5.0);
        std::srand(11 + e);
        for (int b = 0; b < 60; b++) {
            std::vector<float> block = RandomSamples(2 * frames, 0.5f);
            std::vector<float> silenced = block;
            if (b == 3) {
                for (int i : {0, 7, 100, 511, 1023}) {
                    block[i] = i % 2 ? std::numeric_limits<float>::quiet_NaN() : -INFINITY;
                    silenced[i] = 0.0f;
                }
                block[200] = INFINITY;
                silenced[200] = 0.0f;
            }
            poisoned.Process(&block, frames, 2);
            reference.Process(&silenced, frames, 2);
            ExpectFinite(block);
            for (size_t i = 0; i < block.size(); i++)
                ASSERT_EQ(silenced[i], block[i]) << "block " << b << " sample " << i;
        }
    }
}

TEST(EffectsBoxTest, AnEffectThatOverflowsIsClearedWithinTheBlock)
{
    // Samples near the largest float overflow the reverb's network and the
    // volume's gain: that block's overflowing samples become silence, the
    // rings are cleared, and the next block is finite.
    for (int e : {EffectsBox::EFFECT_REVERB, EffectsBox::EFFECT_VOLUME, EffectsBox::EFFECT_DELAY}) {
        SCOPED_TRACE(::testing::Message() << "effect " << e);
        EffectsBox box;
        OnlyOneOn(&box, e);
        SetParam(box.GetEffect(EffectsBox::EFFECT_VOLUME), 1, 12.0);
        std::vector<float> huge(2 * 1024, 3e38f);
        box.Process(&huge, 1024, 2);
        ExpectFinite(huge);
        std::srand(5);
        for (int b = 0; b < 20; b++) {
            std::vector<float> block = RandomSamples(2 * 1024, 0.5f);
            box.Process(&block, 1024, 2);
            ExpectFinite(block);
        }
    }
}
