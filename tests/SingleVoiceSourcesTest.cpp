#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>
#include <vector>

#include "app/App.h"
#include "app/SourceReleases.h"
#include "app/Time.h"
#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/LoopSource.h"
#include "sources/SingleGrain.h"
#include "ui/UIGrain.h"
#include "ui/UILoopSource.h"
#include "ui/UISingleGrain.h"
#include "ui/UISoundRect.h"
#include "ui/UIStyle.h"

namespace {

const unsigned BLOCK = 1024;
const unsigned HALF = BLOCK / 2;
const int FRAMES = 88200;

// One two-second stereo sound (a slow ramp, never silent) in a rect that
// spans x 0.25 .. 0.75 and y 0.25 .. 0.75 of a 1000 x 600 window.
class SingleVoiceSourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        std::vector<float> samples(2 * FRAMES);
        for (int i = 0; i < FRAMES; i++)
            samples[2 * i] = samples[2 * i + 1] = 0.3f + 0.2f * (float)i / FRAMES;
        _rect.AssociateSamples(samples, FRAMES, 2);
        _rectView = std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
        _rect.RegisterUI(_rectView.get());
        _rectView->UpdateRectPosition(0.5, 0.5);
        _rectView->SetDimensions(0.5, 0.5);
        _rects = {&_rect};
    }

    std::unique_ptr<SingleGrain> MakeGrain(double x = 0.5, double y = 0.5)
    {
        auto grain = std::make_unique<SingleGrain>(&_app, std::vector<SamplesProvider*>{&_rect});
        grain->RegisterUI(new UISingleGrain(grain.get(), &_style, _app.GetScreen(), x, y, &_rects));
        grain->SeedRandom(7);
        return grain;
    }

    std::unique_ptr<LoopSource> MakeLoop(double x = 0.5, double y = 0.5)
    {
        auto loop = std::make_unique<LoopSource>(&_app, std::vector<SamplesProvider*>{&_rect});
        loop->RegisterUI(new UILoopSource(loop.get(), &_style, _app.GetScreen(), x, y, &_rects));
        loop->SeedRandom(7);
        return loop;
    }

    static unsigned Triggers(SingleVoiceSource* source)
    {
        return static_cast<UIVoiceSource*>(source->GetUI())->GetGrain(0)->GetTriggerCount();
    }

    // Renders one block as the audio callback does, advancing the clock.
    static std::vector<float> Render(Source* source, unsigned frames = BLOCK)
    {
        std::vector<float> out(2 * frames, 0.0f);
        source->NextBuffer(&out, frames);
        Time::Instance()->AddSeconds(frames / 44100.0);
        return out;
    }

    static double Energy(const std::vector<float>& block, unsigned channel)
    {
        double sum = 0.0;
        for (size_t i = channel; i < block.size(); i += 2)
            sum += block[i] * block[i];
        return sum;
    }

    App _app;
    PurpleStyle _style;
    SoundRect _rect;
    std::unique_ptr<UISoundRect> _rectView;
    std::vector<SoundRect*> _rects;
};

}  // namespace

TEST_F(SingleVoiceSourcesTest, A500MsGrainTriggersAtFrame22050)
{
    auto grain = MakeGrain();
    ASSERT_EQ(grain->GetBangTime(), 22050.0);
    // 21 blocks make 21504 frames: the 22nd holds frame 22050, its 546th.
    for (int b = 0; b < 21; b++)
        EXPECT_EQ(Energy(Render(grain.get()), 0), 0.0) << "block " << b;
    EXPECT_EQ(grain->GetLocalTime(), 21.0 * BLOCK);
    EXPECT_EQ(Triggers(grain.get()), 0u);
    EXPECT_FALSE(grain->GetVoice()->IsPlaying());
    const std::vector<float> block = Render(grain.get());
    EXPECT_EQ(Triggers(grain.get()), 1u);
    EXPECT_TRUE(grain->GetVoice()->IsPlaying());
    EXPECT_EQ(grain->GetLocalTime(), 22.0 * BLOCK - 22050.0);
    const unsigned onset = 22050 - 21 * BLOCK;
    for (unsigned i = 0; i <= onset; i++)
        ASSERT_EQ(block[2 * i], 0.0f) << "frame " << i;
    EXPECT_GT(Energy(block, 0), 0.0);
}

TEST_F(SingleVoiceSourcesTest, AGrainOffEveryRectRunsSilentlyWithoutATrigger)
{
    auto grain = MakeGrain(0.1, 0.1);
    grain->SetDurationMs(20.0);
    bool played = false;
    for (int b = 0; b < 40; b++) {
        EXPECT_EQ(Energy(Render(grain.get()), 0) + Energy(Render(grain.get()), 1), 0.0);
        played = played || grain->GetVoice()->IsPlaying();
    }
    EXPECT_TRUE(played);
    EXPECT_EQ(Triggers(grain.get()), 0u);
}

TEST_F(SingleVoiceSourcesTest, RandomDirectionIsDrawnAnewForEveryGrain)
{
    auto grain = MakeGrain();
    grain->SetDurationMs(5.0);
    grain->SetDirection(SingleGrain::RANDOM_DIR);
    std::vector<double> directions;
    unsigned seen = 0;
    for (int b = 0; b < 60; b++) {
        Render(grain.get(), HALF);
        if (Triggers(grain.get()) != seen) {
            seen = Triggers(grain.get());
            directions.push_back(grain->GetVoice()->GetDirection());
        }
    }
    ASSERT_GE(directions.size(), 20u);
    int changes = 0;
    for (size_t i = 1; i < directions.size(); i++)
        changes += directions[i] != directions[i - 1] ? 1 : 0;
    EXPECT_GE(changes, 3);
    EXPECT_EQ(std::set<double>(directions.begin(), directions.end()), (std::set<double>{-1.0, 1.0}));
}

// The LFO's pitch at a grain's start holds until the grain ends: the read
// position moves by the same distance in every half block of the grain.
TEST_F(SingleVoiceSourcesTest, APitchLFOSettingHoldsForTheWholeGrain)
{
    auto grain = MakeGrain();
    grain->SetDurationMs(100.0);
    grain->SetDirection(SingleGrain::FORWARD);
    grain->SetPitchLFOAmount(0.5);
    grain->SetPitchLFOFreq(1.0);
    std::set<double> grainSteps;
    unsigned grains = 0;
    for (int h = 0; h < 400 && grains < 4; h++) {
        const unsigned before = Triggers(grain.get());
        const double from = grain->GetVoice()->GetPosition(0);
        Render(grain.get(), HALF);
        if (Triggers(grain.get()) != before || !grain->GetVoice()->IsPlaying())
            continue;
        const double step = grain->GetVoice()->GetPosition(0) - from;
        if (grainSteps.insert(step).second && grainSteps.size() > 1)
            grains++;
        // Within one grain the step never changes.
        const double nextFrom = grain->GetVoice()->GetPosition(0);
        Render(grain.get(), HALF);
        if (Triggers(grain.get()) == before && grain->GetVoice()->IsPlaying()) {
            ASSERT_DOUBLE_EQ(grain->GetVoice()->GetPosition(0) - nextFrom, step) << "half block " << h;
        }
    }
    // Successive grains took different points of the LFO, away from the plain pitch.
    EXPECT_GE(grainSteps.size(), 3u);
    EXPECT_EQ(grainSteps.count((double)HALF), 0u);
}

TEST_F(SingleVoiceSourcesTest, AShortBackwardSingleGrainIsHeard)
{
    auto grain = MakeGrain();
    grain->SetDurationMs(5.0);
    grain->SetDirection(SingleGrain::BACKWARD);
    double energy = 0.0;
    for (int b = 0; b < 20; b++)
        energy += Energy(Render(grain.get()), 0);
    EXPECT_GT(Triggers(grain.get()), 10u);
    EXPECT_GT(energy, 20.0);
}

TEST_F(SingleVoiceSourcesTest, ANewLoopReadsForwardFromItsFirstCycleAsItsDirectionBoxSays)
{
    auto asBuilt = MakeLoop();
    auto setForward = MakeLoop();
    setForward->SetDirection(LoopSource::FORWARD);
    EXPECT_EQ(asBuilt->GetDirection(), LoopSource::FORWARD);
    for (int b = 0; b < 4; b++) {
        std::vector<float> heard(2 * BLOCK, 0.0f), forward(2 * BLOCK, 0.0f);
        asBuilt->NextBuffer(&heard, BLOCK);
        setForward->NextBuffer(&forward, BLOCK);
        Time::Instance()->AddSeconds(BLOCK / 44100.0);
        ASSERT_EQ(heard, forward) << "block " << b;
    }
}

TEST_F(SingleVoiceSourcesTest, ALoopCreatedOffEveryRectSoundsOnceDraggedOnWithoutANewTrigger)
{
    auto loop = MakeLoop(0.1, 0.1);
    loop->SetDirection(LoopSource::FORWARD);
    for (int b = 0; b < 5; b++)
        EXPECT_EQ(Energy(Render(loop.get()), 0), 0.0);
    const AudioSource* voice = loop->GetVoice();
    ASSERT_TRUE(voice->IsPlaying());
    const double envPos = voice->GetEnvPos();
    loop->GetUI()->UpdatePosition(0.5, 0.5);
    const std::vector<float> block = Render(loop.get());
    EXPECT_GT(Energy(block, 0), 0.01);
    // The envelope ran on: the loop was not started again.
    EXPECT_TRUE(voice->IsPlaying());
    EXPECT_NEAR(voice->GetEnvPos(), std::fmod(envPos + BLOCK * voice->GetEnvStep(), 2047.0), 1e-6);
    // It read from its new window's start, nowhere else.
    EXPECT_EQ(voice->GetPosition(0), voice->GetStartPosition(0) + BLOCK);
}

TEST_F(SingleVoiceSourcesTest, AMovedWindowKeepsTheReadPositionAndRestartsAtTheNewWindowStart)
{
    auto loop = MakeLoop();
    loop->SetDirection(LoopSource::FORWARD);
    loop->SetDurationMs(100.0);
    const AudioSource* voice = loop->GetVoice();
    for (int b = 0; b < 3; b++)
        Render(loop.get());
    const double position = voice->GetPosition(0);
    const double oldStart = voice->GetStartPosition(0);
    ASSERT_GT(position, oldStart + BLOCK);
    // A thousandth of the window's width: the window moves by 176 frames.
    loop->GetUI()->UpdatePosition(0.501, 0.5);
    Render(loop.get());
    const double start = voice->GetStartPosition(0), end = voice->GetEndPosition(0);
    EXPECT_EQ(start, oldStart + 176.0);
    EXPECT_EQ(voice->GetPosition(0), position + BLOCK);
    // Reaching the moved window's end, the read goes on from its start.
    double previous = voice->GetPosition(0);
    for (int b = 0; b < 10; b++) {
        Render(loop.get());
        const double now = voice->GetPosition(0);
        ASSERT_GE(now, start);
        ASSERT_LT(now, end);
        if (now < previous) {
            EXPECT_EQ(now, start + (previous + BLOCK - end));
            return;
        }
        previous = now;
    }
    FAIL() << "the loop never started its window over";
}

TEST_F(SingleVoiceSourcesTest, StereoAlternatesOncePerLoopCycleAndUnityStaysAtFullScale)
{
    auto stereo = MakeLoop();
    stereo->SetDirection(LoopSource::FORWARD);
    stereo->SetDurationMs(100.0);
    stereo->SetSpatialMode(LoopSource::STEREO, -1);
    auto unity = MakeLoop();
    unity->SetDirection(LoopSource::FORWARD);
    unity->SetDurationMs(100.0);
    // A cycle is 4410 frames, about four blocks; the first one plays both sides.
    int switches = 0, lastSide = -1;
    const int blocks = 60;
    for (int b = 0; b < blocks; b++) {
        const std::vector<float> block = Render(stereo.get());
        const double left = Energy(block, 0), right = Energy(block, 1);
        if (b >= 6) {
            ASSERT_TRUE((left == 0.0) != (right == 0.0)) << "block " << b;
            const int side = left > 0.0 ? 0 : 1;
            switches += lastSide >= 0 && side != lastSide ? 1 : 0;
            lastSide = side;
        }
        const std::vector<float> both = Render(unity.get());
        for (unsigned i = 0; i < BLOCK; i++) {
            ASSERT_EQ(both[2 * i], both[2 * i + 1]);
            ASSERT_LE(std::fabs(both[2 * i]), 0.999f * 0.5f + 1e-6f);
        }
    }
    const double cycles = (blocks - 6) * BLOCK / 4410.0;
    EXPECT_NEAR(switches, cycles, 1.5);
}

TEST_F(SingleVoiceSourcesTest, AMutedLoopResumesWhereItStopped)
{
    auto loop = MakeLoop();
    loop->SetDirection(LoopSource::FORWARD);
    for (int b = 0; b < 3; b++)
        Render(loop.get());
    const AudioSource* voice = loop->GetVoice();
    const double position = voice->GetPosition(0), envPos = voice->GetEnvPos();
    loop->SetMuted(true);
    for (int b = 0; b < 5; b++)
        EXPECT_EQ(Energy(Render(loop.get()), 0), 0.0);
    EXPECT_EQ(voice->GetPosition(0), position);
    EXPECT_EQ(voice->GetEnvPos(), envPos);
    loop->SetMuted(false);
    EXPECT_GT(Energy(Render(loop.get()), 0), 0.0);
    EXPECT_EQ(voice->GetPosition(0), position + BLOCK);
}

TEST_F(SingleVoiceSourcesTest, ClonesShareViewAndParametersAndContinueTheVoice)
{
    auto loop = MakeLoop();
    loop->SetPitch(1.5);
    for (int b = 0; b < 3; b++)
        Render(loop.get());
    std::unique_ptr<Source> copy(loop->Clone());
    ASSERT_EQ(copy->GetSourceType(), Source::LOOP_SOURCE);
    EXPECT_EQ(copy->GetId(), loop->GetId());
    EXPECT_EQ(copy->GetUI(), loop->GetUI());
    EXPECT_EQ(copy->GetParameter(0), loop->GetParameter(0));
    EXPECT_NE(copy->GetEffectsBox(), loop->GetEffectsBox());
    EXPECT_EQ(Render(copy.get()), Render(loop.get()));

    auto grain = MakeGrain();
    std::unique_ptr<Source> grainCopy(grain->Clone());
    EXPECT_EQ(grainCopy->GetSourceType(), Source::SINGLE_GRAIN);
    EXPECT_EQ(grainCopy->GetNumParams(), 10);
}

// An ended note's copy plays on into its source's scratch, faded out: its
// own sound under a 5 ms ramp, then silence, the same ramp whether it falls
// into one block or is cut into many small ones.
TEST_F(SingleVoiceSourcesTest, AnEndedNoteFadesOutIntoItsSourcesBlockAtAnyBlockSize)
{
    for (unsigned block : {32u, 64u, 100u, 1024u}) {
        auto loop = MakeLoop();
        loop->SetPitch(1.3);
        for (int b = 0; b < 10; b++)
            Render(loop.get());
        Source* kept = loop->Clone();
        Source* ended = loop->Clone();
        SourceReleases releases;
        releases.Add(ended, loop->GetEffectsBox(), true);
        std::vector<float> scratch(2 * block), voiceBuf(2 * block), out(2 * block);
        double energy = 0.0;
        unsigned frame = 0;
        for (; frame < 2 * SourceReleases::FadeFrames(); frame += block) {
            const std::vector<float> expected = Render(kept, block);
            std::fill(scratch.begin(), scratch.end(), 0.0f);
            // Another chain's releases are not this source's.
            releases.RenderInto(kept->GetEffectsBox(), &scratch, &voiceBuf, block);
            ASSERT_EQ(scratch, std::vector<float>(2 * block, 0.0f));
            releases.RenderInto(loop->GetEffectsBox(), &scratch, &voiceBuf, block);
            releases.RenderRest(out.data(), &scratch, &voiceBuf, block);
            for (unsigned i = 0; i < block; i++) {
                const unsigned k = frame + i;
                const float gain =
                    k < SourceReleases::FadeFrames() ? 1.0f - (float)k / SourceReleases::FadeFrames() : 0.0f;
                for (int c = 0; c < 2; c++)
                    ASSERT_FLOAT_EQ(scratch[2 * i + c], expected[2 * i + c] * gain)
                        << "block " << block << " frame " << k;
                energy += scratch[2 * i] * scratch[2 * i];
            }
            releases.FreeFinished();
            ASSERT_EQ(releases.IsEmpty(), frame + block >= SourceReleases::FadeFrames()) << "block " << block;
        }
        EXPECT_GT(energy, 0.0);
        delete kept;
    }
}
