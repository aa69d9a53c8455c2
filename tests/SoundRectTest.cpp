#include <gtest/gtest.h>

#include <vector>

#include "app/App.h"
#include "sound/SoundRect.h"
#include "ui/UISoundRect.h"

namespace {
// Frame f, channel c holds f + c / 10, so every value tells where it came from.
std::vector<float> NumberedFrames(int frames, int channels)
{
    std::vector<float> x(frames * channels);
    for (int f = 0; f < frames; f++)
        for (int c = 0; c < channels; c++)
            x[f * channels + c] = f + c / 10.0f;
    return x;
}

class SoundRectTest : public testing::Test {
protected:
    void SetUp() override { _rect.AssociateSamples(NumberedFrames(100, 2), 100, 2); }
    void Read(double start, double end, double direction = 1.0, double timeStretch = 1.0)
    {
        _rect.GetSamples(&_out, start, end, timeStretch, direction, 1.0);
    }

    SoundRect _rect;
    std::vector<float> _out;
};
}  // namespace

TEST_F(SoundRectTest, CountsFollowTheAssociatedSound)
{
    EXPECT_EQ(_rect.GetNumFrames(), 100);
    EXPECT_EQ(_rect.GetNumChannels(), 2);
    EXPECT_EQ(_rect.GetNumSamples(), 200);
    int frames = 0, chans = 0;
    const std::vector<float>* samples = _rect.GetSamples(&frames, &chans);
    EXPECT_EQ(frames, 100);
    EXPECT_EQ(chans, 2);
    EXPECT_EQ(*samples, NumberedFrames(100, 2));
    EXPECT_EQ(_rect.GetUI(), nullptr);
}

TEST_F(SoundRectTest, WaveformWithoutViewNeedsNoLookAheadNorPitching)
{
    EXPECT_EQ(_rect.GetBlockMinSamples(), 0);
    EXPECT_FALSE(_rect.InternalPitchShift());
}

TEST_F(SoundRectTest, PlainCopyReturnsTheStoredFrames)
{
    Read(10.0, 14.0);
    EXPECT_EQ(_out, (std::vector<float>{10.0f, 10.1f, 11.0f, 11.1f, 12.0f, 12.1f, 13.0f, 13.1f}));
    // Fractional positions start at the frame they fall in.
    Read(20.7, 22.9);
    EXPECT_EQ(_out, (std::vector<float>{20.0f, 20.1f, 21.0f, 21.1f}));
}

TEST_F(SoundRectTest, ReverseDirectionPlaysTheFramesBackwards)
{
    Read(10.0, 13.0, -1.0);
    EXPECT_EQ(_out, (std::vector<float>{12.0f, 12.1f, 11.0f, 11.1f, 10.0f, 10.1f}));
}

TEST_F(SoundRectTest, CrossAxisIsTheGain)
{
    _rect.SetParamY(0.5);
    Read(40.0, 42.0);
    EXPECT_EQ(_out, (std::vector<float>{20.0f, 20.05f, 20.5f, 20.55f}));
    _rect.SetParamY(0.0);
    Read(40.0, 42.0);
    EXPECT_EQ(_out, std::vector<float>(4, 0.0f));
}

TEST_F(SoundRectTest, InvalidRequestsLeaveTheBufferAlone)
{
    std::vector<float> previous = {7.0f, 8.0f, 9.0f};
    _out = previous;
    Read(-1.0, 10.0);
    EXPECT_EQ(_out, previous);
    Read(10.0, 10.0);
    EXPECT_EQ(_out, previous);
    Read(10.0, 5.0);
    EXPECT_EQ(_out, previous);
}

TEST_F(SoundRectTest, LongWindowsAreCutToOneFrameLessThanTheSound)
{
    Read(0.0, 500.0);
    ASSERT_EQ(_out.size(), 2u * 99);
    EXPECT_EQ(_out[0], 0.0f);
    EXPECT_EQ(_out[2 * 98], 98.0f);
}

TEST_F(SoundRectTest, ReadingPastTheEndGivesSilence)
{
    Read(97.0, 102.0);
    EXPECT_EQ(_out, (std::vector<float>{97.0f, 97.1f, 98.0f, 98.1f, 99.0f, 99.1f, 0, 0, 0, 0}));
    Read(150.0, 153.0);
    EXPECT_EQ(_out, std::vector<float>(6, 0.0f));
    // Reversed, the silence comes first.
    Read(98.0, 101.0, -1.0);
    EXPECT_EQ(_out, (std::vector<float>{0, 0, 99.0f, 99.1f, 98.0f, 98.1f}));
}

TEST_F(SoundRectTest, StretchedWaveformIsLeftToTheSpectralEngine)
{
    _out = {5.0f};
    Read(10.0, 14.0, 1.0, 2.0);
    EXPECT_EQ(_out, std::vector<float>(8, 0.0f));
}

TEST(SoundRectMonoTest, MonoSoundIsServedFrameByFrame)
{
    SoundRect rect;
    rect.AssociateSamples({1, 2, 3, 4, 5}, 5, 1);
    std::vector<float> out;
    rect.GetSamples(&out, 1.0, 4.0, 1.0, -1.0, 1.0);
    EXPECT_EQ(out, (std::vector<float>{4, 3, 2}));
}

TEST(SoundRectCloneTest, ClonesShareOneSampleBuffer)
{
    SoundRect original;
    original.AssociateSamples(NumberedFrames(1000, 2), 1000, 2);
    original.SetParamY(0.25);
    original.SetRange(30.0);
    SoundRect later;
    SoundRect* clone = static_cast<SoundRect*>(original.Clone());
    SoundRect* cloneOfClone = static_cast<SoundRect*>(clone->Clone());

    int frames = 0, chans = 0;
    const std::vector<float>* shared = original.GetSamples(&frames, &chans);
    EXPECT_EQ(clone->GetSamples(&frames, &chans), shared);
    EXPECT_EQ(frames, 1000);
    EXPECT_EQ(chans, 2);
    EXPECT_EQ(cloneOfClone->GetSamples(&frames, &chans), shared);

    // Ids keep coming from the one counter.
    EXPECT_EQ(original.GetId() + 1, later.GetId());
    EXPECT_EQ(later.GetId() + 1, clone->GetId());
    EXPECT_EQ(clone->GetId() + 1, cloneOfClone->GetId());

    // Same sound, same request state as the original had.
    EXPECT_EQ(clone->GetNumSamples(), 2000);
    std::vector<float> fromOriginal, fromClone;
    original.GetSamples(&fromOriginal, 300.0, 310.0, 1.0, 1.0, 1.0);
    clone->GetSamples(&fromClone, 300.0, 310.0, 1.0, 1.0, 1.0);
    EXPECT_EQ(fromClone, fromOriginal);
    EXPECT_FLOAT_EQ(fromClone[0], 0.25f * 300.0f);

    // A voice changing its clone's request does not touch the original.
    clone->SetParamY(1.0);
    clone->GetSamples(&fromClone, 300.0, 310.0, 1.0, 1.0, 1.0);
    original.GetSamples(&fromOriginal, 300.0, 310.0, 1.0, 1.0, 1.0);
    EXPECT_FLOAT_EQ(fromClone[0], 300.0f);
    EXPECT_FLOAT_EQ(fromOriginal[0], 75.0f);

    delete cloneOfClone;
    delete clone;
    EXPECT_EQ(*original.GetSamples(&frames, &chans), NumberedFrames(1000, 2));
}

TEST(SoundRectDisplayTypeTest, ViewSelectsHowSamplesAreMade)
{
    App app;
    app.SetWinSize(800, 600);
    SoundRect rect;
    rect.AssociateSamples(NumberedFrames(100, 2), 100, 2);
    UISoundRect view(&rect, &app, nullptr, app.GetScreen());
    rect.RegisterUI(&view);
    SoundRect* clone = static_cast<SoundRect*>(rect.Clone());
    EXPECT_EQ(clone->GetUI(), &view);
    EXPECT_EQ(clone->GetBlockMinSamples(), 0);
    EXPECT_FALSE(clone->InternalPitchShift());

    // A voice's clone follows the view as soon as the performer switches it.
    std::vector<float> out;
    for (UISoundRect::RectType type : {UISoundRect::SPECTROGRAM, UISoundRect::CHROMAGRAM}) {
        view.SetRectType(type);
        EXPECT_EQ(clone->GetBlockMinSamples(), 2048);
        EXPECT_TRUE(clone->InternalPitchShift());
        out = {3.0f};
        clone->GetSamples(&out, 10.0, 12.0, 1.0, 1.0, 1.0);
        EXPECT_EQ(out, std::vector<float>(4, 0.0f));
    }
    view.SetRectType(UISoundRect::WAVEFORM);
    EXPECT_EQ(clone->GetBlockMinSamples(), 0);
    clone->GetSamples(&out, 10.0, 12.0, 1.0, 1.0, 1.0);
    EXPECT_EQ(out, (std::vector<float>{10.0f, 10.1f, 11.0f, 11.1f}));
    delete clone;
}
