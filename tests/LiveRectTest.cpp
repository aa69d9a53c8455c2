#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "app/App.h"
#include "app/AppControl.h"
#include "app/ScreenMessage.h"
#include "parameters/Parameter.h"
#include "sound/LiveAnalysis.h"
#include "sound/LiveRect.h"
#include "sound/LiveRing.h"
#include "sound/SpectralEnginePool.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "ui/UILiveRect.h"

namespace {
const double SAMPLE_RATE = 44100.0;
const unsigned BLOCK = 512;
const double PI = 3.141592653589793;

// A live rect over a tone that the test plays into the input, as the audio
// callback would: each block of input is captured before the voices play it.
class LiveRectTest : public testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        _view = std::make_unique<UILiveRect>(&_live, &_app, nullptr, _app.GetScreen(), 0.5, 0.5);
        _live.RegisterUI(_view.get());
        _view->SetLengthSeconds(2.0);
    }

    void CaptureBlock()
    {
        std::vector<float> block(BLOCK);
        for (unsigned i = 0; i < BLOCK; i++, _phase += 2.0 * PI * _toneHz / SAMPLE_RATE)
            block[i] = (float)(0.5 * std::sin(_phase));
        _live.Capture(block.data(), BLOCK, 1);
    }

    // Plays the tone in for a while, and lets the analysis catch up with it.
    void PlayIn(double seconds)
    {
        for (double t = 0.0; t < seconds; t += BLOCK / SAMPLE_RATE)
            CaptureBlock();
        const int64_t expected = (_live.GetRing()->GetSettled() - 2048) / 512 + 1;
        for (int i = 0; i < 5000 && _live.GetAnalysis()->GetPublished() < expected; i++) {
            _live.GetAnalysis()->Publish();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // A grain at a point of the rect (0 oldest ... 1 newest) at a pitch,
    // the input going on while it sounds; its frequency from the zero
    // crossings of its louder middle.
    double GrainHz(double along, double pitch)
    {
        AudioSource voice({&_live}, &_env, 150.0, pitch, 1.0);
        voice.SetDirection(1.0);
        voice.UpdateParams();
        // On a spectral view the whole band: every frequency, every pitch class.
        voice.SetRange(100.0);
        double posX = 0.0, posY = 0.0;
        const double x = _view->GetX() + (along - 0.5) * _view->GetWidth();
        EXPECT_TRUE(_view->GetNormedPosition(&posX, &posY, x, _view->GetY(), 0));
        posY = 1.0;
        voice.Play(&posX, &posY);
        std::vector<float> out;
        std::vector<float> left;
        while (voice.IsPlaying()) {
            out.assign(2 * BLOCK, 0.0f);
            CaptureBlock();
            voice.NextBuffer(&out, BLOCK, 0);
            for (unsigned i = 0; i < BLOCK; i++)
                left.push_back(out[2 * i]);
        }
        const size_t first = left.size() / 4, last = 3 * left.size() / 4;
        int crossings = 0;
        double firstCrossing = -1.0, lastCrossing = -1.0;
        for (size_t i = first + 1; i < last; i++) {
            if ((left[i - 1] < 0.0f) != (left[i] < 0.0f)) {
                const double at = i - 1 + left[i - 1] / (left[i - 1] - left[i]);
                if (firstCrossing < 0.0)
                    firstCrossing = at;
                lastCrossing = at;
                crossings++;
            }
        }
        if (crossings < 3)
            return 0.0;
        return 0.5 * (crossings - 1) / ((lastCrossing - firstCrossing) / SAMPLE_RATE);
    }

    App _app;
    LiveRect _live;
    std::unique_ptr<UILiveRect> _view;
    Envelope _env{2048};
    double _toneHz = 330.0;
    double _phase = 0.0;
};
}  // namespace

TEST_F(LiveRectTest, GrainsPlayTheInputAtTheirPitchAndFreezeKeepsTheCapturedMoment)
{
    PlayIn(3.0);
    EXPECT_NEAR(GrainHz(0.5, 1.0), 330.0, 3.0);
    EXPECT_NEAR(GrainHz(0.2, 2.0), 660.0, 6.0);
    EXPECT_NEAR(GrainHz(0.95, 1.0), 330.0, 3.0);

    // Frozen, the rect keeps the 330 Hz it holds whatever comes in.
    _view->SetFrozen(true);
    _toneHz = 550.0;
    PlayIn(3.0);
    for (double along : {0.05, 0.5, 0.95})
        EXPECT_NEAR(GrainHz(along, 1.0), 330.0, 3.0) << along;

    // Unfrozen, the new sound fills the rect within its length.
    _view->SetFrozen(false);
    PlayIn(_view->GetLengthSeconds() + 0.1);
    for (double along : {0.05, 0.5, 0.95})
        EXPECT_NEAR(GrainHz(along, 1.0), 550.0, 5.0) << along;
}

TEST_F(LiveRectTest, SpectralGrainsPlayTheInputAnalysedAsItArrives)
{
    for (UISoundRect::RectType type : {UISoundRect::SPECTROGRAM, UISoundRect::CHROMAGRAM}) {
        _view->SetRectType(type);
        _live.GetEnginePool()->Refill();
        // The whole length of the rect holds the tone.
        PlayIn(_view->GetLengthSeconds() + 0.5);
        EXPECT_NEAR(GrainHz(0.5, 1.0), _toneHz, 4.0) << type;
        EXPECT_NEAR(GrainHz(0.2, 1.0), _toneHz, 4.0) << type;
        _toneHz = 440.0;
    }
}

TEST_F(LiveRectTest, APointOfTheRectIsThatFarBackInThePastAndTheRestIsOutside)
{
    PlayIn(3.0);
    double posX[1] = {0.0}, posY[1] = {0.0};
    const LiveRing* ring = _live.GetRing();
    for (double along : {0.1, 0.5, 0.9}) {
        const double x = _view->GetX() + (along - 0.5) * _view->GetWidth();
        ASSERT_TRUE(_view->GetNormedPosition(posX, posY, x, _view->GetY(), 0));
        // The voice's first frame is the ring frame of that moment of the past.
        const double frame = std::floor(posX[0] * 2.0 * ring->GetCapacity() - 1.0);
        EXPECT_NEAR(frame, ring->FrameAt(along), 1.0);
        EXPECT_NEAR(posY[0], 0.5, 1e-9);
    }
    EXPECT_FALSE(_view->GetNormedPosition(posX, posY, _view->GetX() + _view->GetWidth(), _view->GetY(), 0));
    // Three parameters beyond the display settings, applied to the ring.
    ASSERT_EQ(_view->GetNumParams(), UILiveRect::NUM_LIVE_PARAMS);
    _view->GetParameter(UILiveRect::GAIN)->SetValue(_view.get(), 6.0);
    EXPECT_NEAR(ring->GetGain(), 1.9953, 1e-4);
    _view->GetParameter(UILiveRect::LENGTH)->SetValue(_view.get(), 12.0);
    EXPECT_NEAR(ring->GetLengthSeconds(), 12.0, 0.02);
    _view->GetParameter(UILiveRect::FREEZE)->SetValue(_view.get(), 1.0);
    EXPECT_TRUE(ring->IsFrozen());
}

TEST(LiveRectKeyTest, WithoutAnInputChannelTheKeySaysSoAndAddsNothing)
{
    App app;
    app.SetWinSize(1000, 600);
    testing::internal::CaptureStderr();
    app.GetControl()->OnKeyboard('4', 500, 300, 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(app.GetLiveRects().empty());
    EXPECT_TRUE(app.GetSoundRects().empty());
    EXPECT_NE(app.GetMessage()->GetText().find("no input channel"), std::string::npos) << app.GetMessage()->GetText();
    EXPECT_NE(said.find("no input channel"), std::string::npos);
    // F8 with no live rect changes nothing.
    app.GetControl()->OnSpecialKey(AppControl::KEY_F8, 500, 300, 0);
    EXPECT_TRUE(app.GetLiveRects().empty());
}
