#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <vector>

#include "app/App.h"
#include "app/Time.h"
#include "parameters/Parameter.h"
#include "sound/SoundRect.h"
#include "sources/Envelope.h"
#include "sources/GrainCloud.h"
#include "ui/UIGrain.h"
#include "ui/UIGrainCloud.h"
#include "ui/UISoundRect.h"
#include "ui/UIStyle.h"

namespace {

const unsigned BLOCK = 1024;
const unsigned HALF = BLOCK / 2;
// Level of the constant test sound.
const float DC = 0.5f;

// One two-second stereo sound of constant level in a rect that spans
// x 0.25 .. 0.75 and y 0.25 .. 0.75 of a 1000 x 600 window.
class GrainCloudTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        _rect.AssociateSamples(std::vector<float>(2 * 88200, DC), 88200, 2);
        _rectView = std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
        _rect.RegisterUI(_rectView.get());
        _rectView->UpdateRectPosition(0.5, 0.5);
        _rectView->SetDimensions(0.5, 0.5);
        _providers = {&_rect};
        _rects = {&_rect};
    }

    // A cloud of 6 voices with a view at (x, y); the cloud owns the view.
    std::unique_ptr<GrainCloud> MakeCloud(double x = 0.5, double y = 0.5)
    {
        auto cloud = std::make_unique<GrainCloud>(&_app, _providers, 6);
        cloud->RegisterUI(new UIGrainCloud(cloud.get(), &_style, _app.GetScreen(), x, y, 6, _rects));
        cloud->SeedRandom(7);
        return cloud;
    }

    static UIGrainCloud* View(GrainCloud* cloud) { return static_cast<UIGrainCloud*>(cloud->GetUI()); }

    // Renders one block as the audio callback does, advancing the clock.
    std::vector<float> Render(GrainCloud* cloud, unsigned frames = BLOCK)
    {
        std::vector<float> out(2 * frames, 0.0f);
        cloud->NextBuffer(&out, frames);
        Time::Instance()->AddSeconds(frames / 44100.0);
        return out;
    }

    // Total trigger count of every marker.
    static std::vector<unsigned> TriggerCounts(GrainCloud* cloud)
    {
        std::vector<unsigned> counts;
        for (unsigned i = 0; i < View(cloud)->GetNumGrains(); i++)
            counts.push_back(View(cloud)->GetGrain(i)->GetTriggerCount());
        return counts;
    }

    // The marker flashed during one block, -1 for none (fails on two).
    static int FlashedMarker(const std::vector<unsigned>& before, const std::vector<unsigned>& after)
    {
        int flashed = -1;
        for (size_t i = 0; i < before.size(); i++) {
            if (after[i] == before[i])
                continue;
            EXPECT_EQ(flashed, -1) << "two markers flashed in one block";
            EXPECT_EQ(after[i], before[i] + 1);
            flashed = (int)i;
        }
        return flashed;
    }

    static double SumAbs(const std::vector<float>& block, unsigned channel, unsigned from, unsigned to)
    {
        double sum = 0.0;
        for (unsigned i = from; i < to; i++)
            sum += std::fabs(block[2 * i + channel]);
        return sum;
    }

    App _app;
    PurpleStyle _style;
    SoundRect _rect;
    std::unique_ptr<UISoundRect> _rectView;
    std::vector<SamplesProvider*> _providers;
    std::vector<SoundRect*> _rects;
};

TEST_F(GrainCloudTest, NewCloudFiresOneGrainPerDurationOverVoiceCount)
{
    auto cloud = MakeCloud();
    EXPECT_EQ(cloud->GetSourceType(), Source::GRAIN_CLOUD);
    EXPECT_EQ(cloud->GetNumVoices(), 6u);
    EXPECT_EQ(cloud->GetNumGrains(), 6u);
    EXPECT_DOUBLE_EQ(cloud->GetDurationMs(), 500.0);
    // 500 ms are 22050 frames; 6 grains overlap.
    EXPECT_NEAR(cloud->GetBangTime(), 3675.0, 1e-9);
    cloud->SetOverlap(0.0);
    EXPECT_NEAR(cloud->GetBangTime(), 22050.0, 1e-9);
    cloud->SetOverlap(0.5);
    EXPECT_NEAR(cloud->GetBangTime(), 22050.0 / std::sqrt(6.0), 1e-9);
    cloud->SetOverlap(3.0);
    EXPECT_DOUBLE_EQ(cloud->GetOverlap(), 1.0);
    cloud->SetDurationMs(100.0);
    EXPECT_NEAR(cloud->GetBangTime(), 735.0, 1e-9);
}

TEST_F(GrainCloudTest, SettersClampAndWrapTheirValues)
{
    auto cloud = MakeCloud();
    cloud->SetVolumeDb(-80.0);
    EXPECT_DOUBLE_EQ(cloud->GetVolumeDb(), -60.0);
    cloud->SetVolumeDb(10.0);
    EXPECT_DOUBLE_EQ(cloud->GetVolumeDb(), 6.0);
    cloud->SetPitch(0.0);
    EXPECT_DOUBLE_EQ(cloud->GetPitch(), 1e-4);
    cloud->SetPitch(2.5);
    EXPECT_DOUBLE_EQ(cloud->GetPitch(), 2.5);

    cloud->SetDirection(-1);
    EXPECT_EQ(cloud->GetDirection(), GrainCloud::RANDOM_DIR);
    cloud->SetDirection(4);
    EXPECT_EQ(cloud->GetDirection(), GrainCloud::BACKWARD);
    cloud->SetEnvelopeType(-1);
    EXPECT_EQ(cloud->GetEnvelopeType(), Envelope::HAND_DRAWN);
    cloud->SetEnvelopeType(7);
    EXPECT_EQ(cloud->GetEnvelopeType(), Envelope::TRIANGLE);

    cloud->SetSpatialMode(2, 3);
    cloud->SetSpatialMode(4, -1);
    EXPECT_EQ(cloud->GetSpatialMode(), GrainCloud::STEREO);
    EXPECT_EQ(cloud->GetSpatialChannel(), 3);
    cloud->SetSpatialMode(-2, -1);
    EXPECT_EQ(cloud->GetSpatialMode(), GrainCloud::AROUND);

    cloud->SetPitchLFOFreq(-2.0);
    EXPECT_DOUBLE_EQ(cloud->GetPitchLFOFreq(), 2.0);
    cloud->SetPitchLFOAmount(-1.0);
    EXPECT_DOUBLE_EQ(cloud->GetPitchLFOAmount(), 0.0);
    cloud->SetRange(42.0);
    EXPECT_DOUBLE_EQ(cloud->GetRange(), 42.0);
}

TEST_F(GrainCloudTest, FifteenParametersWithTheirSensitivities)
{
    auto cloud = MakeCloud();
    const double sensitivities[] = {3, 3, 6, 2, 2, 1, 6, 3, 1, 4, 3, 6, 6, 4, 6};
    ASSERT_EQ(cloud->GetNumParams(), 15);
    for (int i = 0; i < 15; i++) {
        ASSERT_NE(cloud->GetParameter(i), nullptr);
        EXPECT_EQ(cloud->GetParameter(i)->GetIndex(), i);
        EXPECT_DOUBLE_EQ(cloud->GetParameter(i)->GetSensivity(), sensitivities[i]) << i;
    }
    EXPECT_EQ(cloud->GetCurrentParameter(), nullptr);
    cloud->SetCurrentParamIdx(GrainCloud::PITCH);
    EXPECT_EQ(cloud->GetCurrentParameter(), cloud->GetParameter(GrainCloud::PITCH));
    cloud->ResetCurrentParameterIndex();
    EXPECT_EQ(cloud->GetCurrentParameter(), nullptr);
}

// Attempts fire every inter-onset time, at the frame it falls on, round
// robin over the voices; a voice still sounding (a grain lasts twice its
// duration) keeps its turn, and its marker flashes again at the next attempt.
TEST_F(GrainCloudTest, TriggerScheduleRoundRobinSkippingBusyVoices)
{
    // Inter-onset times of 3675 and 22050 frames.
    for (const double overlap : {1.0, 0.0}) {
        auto cloud = MakeCloud();
        cloud->SetOverlap(overlap);
        const double interval = cloud->GetBangTime();
        const double grainFrames = 2.0 * 500.0 * 44.1;

        // Reference: attempt k at frame k * interval.
        std::vector<double> busyUntil(6, 0.0);
        unsigned next = 0;
        std::vector<int> expected;
        const int blocks = 300;
        for (double frame = interval; frame < blocks * (double)BLOCK; frame += interval) {
            expected.push_back((int)next);
            if (frame >= busyUntil[next]) {
                busyUntil[next] = frame + grainFrames;
                next = (next + 1) % 6;
            }
        }

        std::vector<int> observed;
        for (int b = 0; b < blocks; b++) {
            const std::vector<unsigned> before = TriggerCounts(cloud.get());
            Render(cloud.get());
            const int flashed = FlashedMarker(before, TriggerCounts(cloud.get()));
            if (flashed >= 0)
                observed.push_back(flashed);
        }
        EXPECT_EQ(observed, expected) << "overlap " << overlap;
    }
}

// Whatever the block length, grains start at the rate the inter-onset time
// gives, and as many sound at once as the voices and their length allow:
// a voice's turn comes back before its grain (twice the duration) ends, and
// the round waits for it, so once settled every voice starts again within
// one inter-onset time of its end and nearly all of them always sound.
TEST_F(GrainCloudTest, OnsetsAndSoundingGrainsFollowTheScheduleAtAnyBlockSize)
{
    struct Case {
        int voices;
        double durationMs;
        double interval;
        double sounding;
    };
    const double seconds = 10.0;
    for (const Case c : {Case{6, 500.0, 3675.0, 6.0}, Case{100, 100.0, 44.1, 100.0}}) {
        for (unsigned block : {32u, 64u, 1000u, 4096u}) {
            auto cloud = MakeCloud();
            cloud->SetDurationMs(c.durationMs);
            for (int v = 6; v < c.voices; v++)
                cloud->AddGrain();
            for (int v = 6; v < c.voices; v++)
                Render(cloud.get(), block);
            ASSERT_EQ(cloud->GetNumVoices(), (unsigned)c.voices);
            ASSERT_DOUBLE_EQ(cloud->GetBangTime(), c.interval);
            const auto attempts = [&] {
                const std::vector<unsigned> counts = TriggerCounts(cloud.get());
                return std::accumulate(counts.begin(), counts.end(), 0.0);
            };
            // Settled first: a second of sound.
            for (unsigned f = 0; f < 44100; f += block)
                Render(cloud.get(), block);
            const double before = attempts();
            double sounding = 0.0;
            const unsigned blocks = (unsigned)(seconds * 44100.0 / block);
            for (unsigned b = 0; b < blocks; b++) {
                Render(cloud.get(), block);
                sounding += cloud->CountSoundingGrains();
            }
            const double frames = (double)blocks * block;
            EXPECT_NEAR((attempts() - before) * c.interval / frames, 1.0, 0.01)
                << c.voices << " voices, block " << block;
            EXPECT_NEAR(sounding / blocks, c.sounding, 0.05 * c.sounding) << c.voices << " voices, block " << block;
        }
    }
}

TEST_F(GrainCloudTest, StereoAndAroundSendSuccessiveGrainsToAlternateChannels)
{
    // 5 ms grains sound 441 frames, one every 220.5 frames (overlap 0): the
    // first sounds alone until the second starts at frame 441, and from
    // then on both channels carry grains, in turn, as much on each.
    struct Case {
        int mode;
        bool firstOnLeft;
    };
    for (const Case c : {Case{GrainCloud::STEREO, true}, Case{GrainCloud::AROUND, false}}) {
        auto cloud = MakeCloud();
        cloud->SetDurationMs(5.0);
        cloud->SetOverlap(0.0);
        cloud->SetDirection(GrainCloud::FORWARD);
        cloud->SetSpatialMode(c.mode, -1);
        const std::vector<float> block = Render(cloud.get(), 8 * BLOCK);
        const int first = c.firstOnLeft ? 0 : 1, second = 1 - first;
        EXPECT_GT(SumAbs(block, first, 221, 441), 1.0) << "mode " << c.mode;
        EXPECT_EQ(SumAbs(block, second, 0, 442), 0.0) << "mode " << c.mode;
        EXPECT_GT(SumAbs(block, second, 442, 662), 1.0) << "mode " << c.mode;
        const double firstEnergy = SumAbs(block, first, 441, 8 * BLOCK - 441);
        const double secondEnergy = SumAbs(block, second, 441, 8 * BLOCK - 441);
        EXPECT_NEAR(firstEnergy / secondEnergy, 1.0, 0.2) << "mode " << c.mode;
    }
}

TEST_F(GrainCloudTest, ANewCloudReadsForwardAsItsDirectionBoxSays)
{
    // A rising ramp sounds different read backward; sixteen blocks reach the
    // grains of the later voices too.
    std::vector<float> ramp(2 * 88200);
    for (size_t i = 0; i < ramp.size(); i++)
        ramp[i] = 0.5f * (float)(i / 2) / 88200.0f;
    _rect.AssociateSamples(ramp, 88200, 2);
    auto asBuilt = MakeCloud();
    auto setForward = MakeCloud();
    setForward->SetDirection(GrainCloud::FORWARD);
    EXPECT_EQ(asBuilt->GetDirection(), GrainCloud::FORWARD);
    for (int b = 0; b < 16; b++) {
        std::vector<float> heard(2 * BLOCK, 0.0f), forward(2 * BLOCK, 0.0f);
        asBuilt->NextBuffer(&heard, BLOCK);
        setForward->NextBuffer(&forward, BLOCK);
        Time::Instance()->AddSeconds(BLOCK / 44100.0);
        ASSERT_EQ(heard, forward) << "block " << b;
    }
}

TEST_F(GrainCloudTest, UnityModeSoundsOnBothChannels)
{
    auto cloud = MakeCloud();
    cloud->SetDurationMs(5.0);
    cloud->SetDirection(GrainCloud::FORWARD);
    const std::vector<float> block = Render(cloud.get());
    EXPECT_GT(SumAbs(block, 0, HALF, BLOCK), 1.0);
    EXPECT_NEAR(SumAbs(block, 0, HALF, BLOCK), SumAbs(block, 1, HALF, BLOCK), 1e-9);
}

TEST_F(GrainCloudTest, CloudOverARectSoundsAndACloudAwayIsSilent)
{
    auto over = MakeCloud(0.5, 0.5);
    double energy = 0.0;
    for (int b = 0; b < 60; b++) {
        for (float v : Render(over.get())) {
            ASSERT_TRUE(std::isfinite(v));
            ASSERT_LE(std::fabs(v), 1.0f);
            energy += std::fabs(v);
        }
    }
    EXPECT_GT(energy, 100.0);

    auto away = MakeCloud(0.9, 0.1);
    for (int b = 0; b < 60; b++)
        for (float v : Render(away.get()))
            ASSERT_EQ(v, 0.0f);
    // Its markers still flash.
    EXPECT_GT(View(away.get())->GetGrain(0)->GetTriggerCount(), 0u);
}

TEST_F(GrainCloudTest, VolumeScalesTheSound)
{
    // Low in the rect, so that stacked grains stay far from clipping.
    auto loud = MakeCloud(0.5, 0.3);
    auto soft = MakeCloud(0.5, 0.3);
    loud->SetDirection(GrainCloud::FORWARD);
    soft->SetDirection(GrainCloud::FORWARD);
    soft->SetVolumeDb(-20.0);
    double loudSum = 0.0, softSum = 0.0;
    for (int b = 0; b < 40; b++) {
        // Same random points for both clouds.
        loud->SeedRandom(100 + b);
        loudSum += SumAbs(Render(loud.get()), 0, 0, BLOCK);
        soft->SeedRandom(100 + b);
        softSum += SumAbs(Render(soft.get()), 0, 0, BLOCK);
    }
    ASSERT_GT(loudSum, 1.0);
    EXPECT_NEAR(softSum / loudSum, 0.1, 1e-3);
}

TEST_F(GrainCloudTest, VoicesFollowMarkersOnePerBlock)
{
    auto cloud = MakeCloud();
    for (int i = 0; i < 3; i++)
        cloud->AddGrain();
    EXPECT_EQ(cloud->GetNumGrains(), 9u);
    EXPECT_EQ(View(cloud.get())->GetNumGrains(), 9u);
    for (unsigned expected : {7u, 8u, 9u, 9u}) {
        Render(cloud.get());
        EXPECT_EQ(cloud->GetNumVoices(), expected);
    }
    // The inter-onset time follows the voice count: 22050 / 9.
    EXPECT_NEAR(cloud->GetBangTime(), 22050.0 / 9.0, 1e-9);

    for (int i = 0; i < 20; i++)
        cloud->RemoveGrain();
    EXPECT_EQ(View(cloud.get())->GetNumGrains(), 1u);
    for (unsigned expected : {8u, 7u, 6u, 5u, 4u, 3u, 2u, 1u, 1u, 1u}) {
        Render(cloud.get());
        EXPECT_EQ(cloud->GetNumVoices(), expected);
    }
    EXPECT_NEAR(cloud->GetBangTime(), 22050.0, 1e-9);
    // The one voice left still plays.
    for (int b = 0; b < 30; b++)
        Render(cloud.get());
    EXPECT_GT(View(cloud.get())->GetGrain(0)->GetTriggerCount(), 0u);
}

TEST_F(GrainCloudTest, VoicesParameterAddingManyVoicesAtOnceReachesTheMarkerCount)
{
    auto cloud = MakeCloud();
    Parameter* voices = cloud->GetParameter(GrainCloud::NUMGRAINS);
    voices->SetValue(cloud.get(), 100.0);
    EXPECT_EQ(View(cloud.get())->GetNumGrains(), 100u);
    for (int b = 0; b < 93; b++)
        Render(cloud.get());
    EXPECT_EQ(cloud->GetNumVoices(), 99u);
    for (int b = 0; b < 20; b++)
        Render(cloud.get());
    EXPECT_EQ(cloud->GetNumVoices(), 100u);

    voices->SetValue(cloud.get(), 1.0);
    EXPECT_EQ(View(cloud.get())->GetNumGrains(), 1u);
    for (int b = 0; b < 120; b++)
        Render(cloud.get());
    EXPECT_EQ(cloud->GetNumVoices(), 1u);
}

TEST_F(GrainCloudTest, AddingThenRemovingBeforeTheNextBlockLeavesTheVoices)
{
    auto cloud = MakeCloud();
    cloud->AddGrain();
    cloud->AddGrain();
    cloud->RemoveGrain();
    cloud->RemoveGrain();
    cloud->RemoveGrain();
    EXPECT_EQ(cloud->GetNumGrains(), 5u);
    cloud->AddGrain();
    for (int b = 0; b < 5; b++)
        Render(cloud.get());
    EXPECT_EQ(cloud->GetNumVoices(), 6u);
    EXPECT_EQ(cloud->GetNumGrains(), 6u);
}

TEST_F(GrainCloudTest, MutedCloudNeitherSoundsNorAdvances)
{
    auto cloud = MakeCloud();
    // 3072 frames: the first grain is due at frame 3675.
    for (int b = 0; b < 3; b++)
        Render(cloud.get());
    EXPECT_EQ(View(cloud.get())->GetGrain(0)->GetTriggerCount(), 0u);
    cloud->SetMuted(true);
    for (int b = 0; b < 20; b++)
        for (float v : Render(cloud.get()))
            ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(View(cloud.get())->GetGrain(0)->GetTriggerCount(), 0u);
    cloud->SetMuted(false);
    const std::vector<float> block = Render(cloud.get());
    EXPECT_EQ(View(cloud.get())->GetGrain(0)->GetTriggerCount(), 1u);
    EXPECT_EQ(SumAbs(block, 0, 0, 3675 - 3072), 0.0);
    EXPECT_GT(SumAbs(block, 0, 3675 - 3072, BLOCK), 0.0);

    // Muted while grains sound: silence, and the grains resume afterwards.
    cloud->SetMuted(true);
    for (float v : Render(cloud.get()))
        ASSERT_EQ(v, 0.0f);
    cloud->SetMuted(false);
    EXPECT_GT(SumAbs(Render(cloud.get()), 0, 0, BLOCK), 0.0);
}

TEST_F(GrainCloudTest, OddBlocksRenderEveryFrame)
{
    // One long grain (5 s duration sounds 10 s) from the centre, heard in
    // every frame of every block once it has started.
    auto cloud = MakeCloud();
    cloud->SetDurationMs(5000.0);
    cloud->SetOverlap(0.0);
    cloud->SetDirection(GrainCloud::FORWARD);
    View(cloud.get())->SetRandExtentCoeff(0.0);
    // 220500 frames until the first trigger, in blocks of 1023: within the 216th.
    for (int b = 0; b < 215; b++)
        Render(cloud.get(), 1023);
    ASSERT_EQ(View(cloud.get())->GetGrain(0)->GetTriggerCount(), 0u);
    Render(cloud.get(), 1023);
    ASSERT_EQ(View(cloud.get())->GetGrain(0)->GetTriggerCount(), 1u);
    for (int b = 0; b < 20; b++) {
        const std::vector<float> block = Render(cloud.get(), 1023);
        for (unsigned i = 0; i < 1023; i++)
            ASSERT_GT(block[2 * i], 0.0f) << "block " << b << " frame " << i;
    }
    // One-frame blocks: the grain goes on.
    for (int b = 0; b < 100; b++)
        ASSERT_GT(Render(cloud.get(), 1)[0], 0.0f) << "frame " << b;
}

TEST_F(GrainCloudTest, OneFrameBlocksKeepTheTriggerClock)
{
    auto cloud = MakeCloud();
    // The first grain starts once more than 3675 frames have passed.
    for (int f = 0; f < 3675; f++)
        Render(cloud.get(), 1);
    EXPECT_EQ(View(cloud.get())->GetGrain(0)->GetTriggerCount(), 0u);
    Render(cloud.get(), 1);
    Render(cloud.get(), 1);
    EXPECT_EQ(View(cloud.get())->GetGrain(0)->GetTriggerCount(), 1u);
}

TEST_F(GrainCloudTest, CloneSharesViewAndParametersAndContinuesTheGrains)
{
    auto cloud = MakeCloud();
    cloud->SetSpatialMode(GrainCloud::STEREO, -1);
    cloud->SetVolumeDb(-3.0);
    cloud->SetMidiNote(84);
    for (int b = 0; b < 20; b++)
        Render(cloud.get());

    std::unique_ptr<Source> clone(cloud->Clone());
    auto* cloudClone = dynamic_cast<GrainCloud*>(clone.get());
    ASSERT_NE(cloudClone, nullptr);
    EXPECT_EQ(clone->GetId(), cloud->GetId());
    EXPECT_EQ(clone->GetUI(), cloud->GetUI());
    for (int i = 0; i < GrainCloud::NUM_PARAMS; i++)
        EXPECT_EQ(clone->GetParameter(i), cloud->GetParameter(i));
    EXPECT_DOUBLE_EQ(cloudClone->GetVolumeDb(), -3.0);
    EXPECT_EQ(cloudClone->GetSpatialMode(), GrainCloud::STEREO);
    EXPECT_EQ(cloudClone->GetNumVoices(), 6u);

    // Same clock, same random points: the clone plays what the origin plays.
    for (int b = 0; b < 20; b++) {
        std::vector<float> fromOrigin(2 * BLOCK, 0.0f), fromClone(2 * BLOCK, 0.0f);
        cloud->SeedRandom(500 + b);
        cloud->NextBuffer(&fromOrigin, BLOCK);
        cloudClone->SeedRandom(500 + b);
        cloudClone->NextBuffer(&fromClone, BLOCK);
        Time::Instance()->AddSeconds(BLOCK / 44100.0);
        ASSERT_EQ(fromOrigin, fromClone) << "block " << b;
        if (b == 0) {
            EXPECT_GT(SumAbs(fromClone, 0, 0, BLOCK) + SumAbs(fromClone, 1, 0, BLOCK), 0.0);
        }
    }

    // Deleting the clone leaves the view and the parameters to the origin.
    clone.reset();
    EXPECT_EQ(View(cloud.get())->GetNumGrains(), 6u);
    cloud->GetParameter(GrainCloud::NUMGRAINS)->SetValue(cloud.get(), 8.0);
    EXPECT_EQ(cloud->GetNumGrains(), 8u);
}

}  // namespace
