#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "SineFile.h"
#include "app/App.h"
#include "app/DenormalsFlushed.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "effects/ReverbEffect.h"
#include "parameters/Parameter.h"
#include "sound/SoundRect.h"
#include "ui/UISoundRect.h"

// A reverb's tail, left alone, decays into denormal numbers and stays there;
// the audio thread flushes them, so that the tail ends at zero and costs no
// more than sound does.
namespace {

const int RATE = 44100;
const int BLOCK = 512;
// Long enough for the tail of the largest network to reach the denormals.
const int TAIL_SECONDS = 15;

bool IsDenormal(float v)
{
    return v != 0.0f && std::fabs(v) < FLT_MIN;
}

void SwitchReverbOn(EffectsBox* box)
{
    Effect* reverb = box->GetEffect(EffectsBox::EFFECT_REVERB);
    reverb->GetParameter(ReverbEffect::ON_PARAM)->SetValue(1.0);
    reverb->GetParameter(ReverbEffect::ORDER_PARAM)->SetValue(10.0);
}

// A master chain with its reverb on, fed a block of noise and then silence,
// block by block: the left channel of what comes out.
std::vector<float> ReverbTail()
{
    EffectsBox box;
    SwitchReverbOn(&box);
    std::srand(3);
    std::vector<float> block(2 * BLOCK), heard;
    for (int b = 0; b < TAIL_SECONDS * RATE / BLOCK; b++) {
        for (float& v : block)
            v = b == 0 ? 0.5f * (2.0f * std::rand() / RAND_MAX - 1.0f) : 0.0f;
        box.Process(&block, BLOCK, 2);
        for (int i = 0; i < BLOCK; i++)
            heard.push_back(block[2 * i]);
    }
    return heard;
}

float HalfOfTheSmallestNormal()
{
    volatile float smallest = FLT_MIN;
    return smallest * 0.5f;
}

}  // namespace

TEST(DenormalsTest, AFlushedReverbTailIsTheSameSoundAndEndsAtZero)
{
    const std::vector<float> plain = ReverbTail();
    std::vector<float> flushed;
    {
        const DenormalsFlushed flush;
        flushed = ReverbTail();
    }
    // Left alone, the last second of the tail still hangs in denormals.
    const size_t lastSecond = plain.size() - RATE;
    int denormals = 0;
    for (size_t i = lastSecond; i < plain.size(); i++)
        denormals += IsDenormal(plain[i]);
    EXPECT_GT(denormals, 0);
    // Flushed, the same samples as long as any can be heard, then zero.
    size_t audible = 0;
    for (size_t i = 0; i < plain.size(); i++) {
        if (std::fabs(plain[i]) > 1e-30f) {
            ASSERT_EQ(flushed[i], plain[i]) << "sample " << i;
            audible = i;
        }
    }
    EXPECT_GT(audible, (size_t)RATE);
    for (size_t i = lastSecond; i < flushed.size(); i++)
        ASSERT_EQ(flushed[i], 0.0f) << "sample " << i;
}

TEST(DenormalsTest, TheThreadGetsItsOwnModeBackAfterTheFlush)
{
    {
        const DenormalsFlushed flush;
        EXPECT_EQ(HalfOfTheSmallestNormal(), 0.0f);
    }
    EXPECT_TRUE(IsDenormal(HalfOfTheSmallestNormal()));
}

// The instrument's audio thread: a loop plays into the master reverb, the
// title screen comes up and the sources fade out; the reverb's tail dies away
// to exact silence, and the thread that asked for the blocks computes as
// before.
TEST(DenormalsTest, TheMasterTailEndsInExactSilenceThroughTheCallback)
{
    char pattern[] = "/tmp/zoltadenormXXXXXX";
    const std::string dir = mkdtemp(pattern);
    WriteSine(dir + "/sine.wav", RATE);
    {
        App app;
        app.SetWinSize(1000, 500);
        app.SetAudioPath(dir + "/");
        testing::internal::CaptureStdout();
        ASSERT_TRUE(app.LoadSounds());
        testing::internal::GetCapturedStdout();
        UISoundRect* view = app.GetSoundRects()[0]->GetUI();
        view->SetDimensions(0.6, 0.6);
        view->UpdateRectPosition(0.5, 0.5);
        app.SetMenuFlag(false);
        SwitchReverbOn(app.GetMasterEffectsBox());
        app.AddGrainCloud(500, 250);
        std::vector<float> out(2 * BLOCK);
        double loudest = 0.0;
        for (int b = 0; b < RATE / BLOCK; b++) {
            app.OnAudio(out.data(), nullptr, BLOCK, 0, 0, nullptr);
            for (float v : out)
                loudest = std::max(loudest, (double)std::fabs(v));
        }
        EXPECT_GT(loudest, 0.05);
        app.SetMenuFlag(true);
        for (int b = 0; b < TAIL_SECONDS * RATE / BLOCK; b++)
            app.OnAudio(out.data(), nullptr, BLOCK, 0, 0, nullptr);
        for (size_t i = 0; i < out.size(); i++)
            ASSERT_EQ(out[i], 0.0f) << "sample " << i;
        EXPECT_TRUE(IsDenormal(HalfOfTheSmallestNormal()));
    }
    ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
}
