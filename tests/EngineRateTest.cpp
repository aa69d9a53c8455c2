#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "app/App.h"
#include "app/SourceReleases.h"
#include "app/Time.h"
#include "effects/DelayEffect.h"
#include "effects/ReverbEffect.h"
#include "parameters/Parameter.h"
#include "sound/EngineRate.h"
#include "sound/LiveRing.h"
#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "sources/GrainCloud.h"
#include "ui/UIGrain.h"
#include "ui/UIGrainCloud.h"
#include "ui/UISoundRect.h"
#include "ui/UIStyle.h"

namespace {

const unsigned BLOCK = 256;

// What the performer sets in time means as many seconds at every rate the
// engine may run at. Each measure is taken at the rate under test and held
// to the seconds it should last (or to the same measure at the reference rate).
class EngineRateTest : public ::testing::TestWithParam<unsigned> {
protected:
    void SetUp() override { EngineRate::Set(Rate()); }
    void TearDown() override { EngineRate::Set(EngineRate::REFERENCE_RATE); }
    static double Rate() { return GetParam(); }
    static double Seconds(size_t frames) { return double(frames) / Rate(); }
};

// An impulse through the effect, switched on with the given knobs; the left channel comes back.
template <class E>
std::vector<float> ImpulseResponse(E* effect, const std::vector<std::pair<int, double>>& knobs, size_t frames)
{
    effect->GetParameter(0)->SetValue(1.0);
    for (const auto& [idx, value] : knobs)
        effect->GetParameter(idx)->SetValue(value);
    std::vector<float> block(2 * BLOCK), left;
    for (size_t at = 0; at < frames; at += BLOCK) {
        std::fill(block.begin(), block.end(), 0.0f);
        if (at == 0)
            block[0] = block[1] = 1.0f;
        effect->Process(&block, int(BLOCK), 2);
        for (unsigned i = 0; i < BLOCK; i++)
            left.push_back(block[2 * i]);
    }
    return left;
}

// Seconds for the energy still to come (Schroeder's backward integral) to
// fall from -5 to -25 dB, times three: the reverberation time to -60 dB.
double ReverberationTime(const std::vector<float>& response, double rate)
{
    std::vector<double> remaining(response.size() + 1, 0.0);
    for (size_t i = response.size(); i-- > 0;)
        remaining[i] = remaining[i + 1] + double(response[i]) * response[i];
    const auto crossing = [&](double db) {
        size_t i = 0;
        while (i < response.size() && 10.0 * std::log10(remaining[i] / remaining[0]) > db)
            i++;
        return double(i);
    };
    return 3.0 * (crossing(-25.0) - crossing(-5.0)) / rate;
}

TEST_P(EngineRateTest, EchoesAndTailsLastAsLongAtEveryRate)
{
    DelayEffect delay;
    const std::vector<float> echo = ImpulseResponse(
        &delay, {{DelayEffect::TIME_PARAM, 250.0}, {DelayEffect::FEEDBACK_PARAM, 0.0}}, size_t(0.3 * Rate()));
    size_t loudest = 1;
    for (size_t i = 1; i < echo.size(); i++)
        loudest = std::fabs(echo[i]) > std::fabs(echo[loudest]) ? i : loudest;
    EXPECT_NEAR(Seconds(loudest), 0.25, 0.0025);

    // Short lines and a strong decay, so that the tail is over within seconds.
    const std::vector<std::pair<int, double>> room = {
        {ReverbEffect::DELAY_TIME_PARAM, 2000.0}, {ReverbEffect::DECAY_PARAM, 0.6}, {ReverbEffect::DRY_MIX_PARAM, 0.0}};
    ReverbEffect reverb;
    const double rt60 = ReverberationTime(ImpulseResponse(&reverb, room, size_t(3.0 * Rate())), Rate());
    EngineRate::Set(EngineRate::REFERENCE_RATE);
    ReverbEffect reference;
    const double referenceRt60 = ReverberationTime(
        ImpulseResponse(&reference, room, size_t(3.0 * EngineRate::REFERENCE_RATE)), EngineRate::REFERENCE_RATE);
    EXPECT_GT(referenceRt60, 0.1);
    EXPECT_NEAR(rt60, referenceRt60, 0.05 * referenceRt60);
}

TEST_P(EngineRateTest, FadesAndTheLiveLengthLastAsLongAtEveryRate)
{
    std::vector<float> ones(2 * size_t(0.01 * Rate()), 1.0f);
    SourceReleases::FadeOut(ones.data(), unsigned(ones.size() / 2));
    const size_t heard = size_t(std::count_if(ones.begin(), ones.end(), [](float v) { return v > 0.0f; })) / 2;
    EXPECT_NEAR(Seconds(heard), 0.005, 0.00005);

    LiveRing ring(512);
    ring.SetLengthSeconds(8.0);
    EXPECT_NEAR(Seconds(size_t(ring.GetLength())), 8.0, 0.08);
    EXPECT_NEAR(ring.GetLengthSeconds(), 8.0, 0.08);
}

TEST_P(EngineRateTest, AGrainAndACloudsOnsetsLastAsLongAtEveryRate)
{
    SoundRect rect;
    const size_t frames = size_t(4 * Rate());
    rect.AssociateSamples(std::vector<float>(2 * frames, 0.5f), long(frames), 2);
    Envelope envelope(2048);
    AudioSource voice({&rect}, &envelope, 100.0, 1.0, 1.0);
    voice.UpdateParams();
    double position = 0.25, gain = 1.0;
    ASSERT_TRUE(voice.Play(&position, &gain));
    // Short blocks, to count the grain's frames within a fraction of a percent.
    const unsigned step = 16;
    std::vector<float> out(2 * BLOCK);
    size_t played = 0;
    for (; voice.IsPlaying() && played < frames; played += step)
        voice.NextBuffer(&out, step, 0);
    // A 100 ms grain: its envelope spans twice the window.
    EXPECT_NEAR(Seconds(played), 0.2, 0.002);

    App app;
    app.SetWinSize(1000, 600);
    UISoundRect view(&rect, &app, nullptr, app.GetScreen());
    rect.RegisterUI(&view);
    view.UpdateRectPosition(0.5, 0.5);
    view.SetDimensions(0.5, 0.5);
    PurpleStyle style;
    GrainCloud cloud(&app, {&rect}, 6);
    cloud.RegisterUI(new UIGrainCloud(&cloud, &style, app.GetScreen(), 0.5, 0.5, 6, {&rect}));
    cloud.SeedRandom(7);
    const auto onsets = [&cloud]() {
        unsigned count = 0;
        auto* grains = static_cast<UIGrainCloud*>(cloud.GetUI());
        for (unsigned i = 0; i < grains->GetNumGrains(); i++)
            count += grains->GetGrain(i)->GetTriggerCount();
        return count;
    };
    for (size_t at = 0; at < size_t(2 * Rate()); at += BLOCK) {
        cloud.NextBuffer(&out, BLOCK);
        Time::Instance()->AddSeconds(BLOCK / Rate());
    }
    // 500 ms grains, 6 overlapping: 12 onsets a second.
    EXPECT_NEAR(onsets() / 2.0, 12.0, 0.5);
    EXPECT_NEAR(cloud.GetBangTime() / Rate(), 0.5 / 6, 0.5 / 6 / 100);
}

INSTANTIATE_TEST_SUITE_P(FromTheReferenceTo96k, EngineRateTest, ::testing::Values(44100u, 48000u, 88200u, 96000u));

}  // namespace
