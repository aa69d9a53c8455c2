#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "AnalysedSound.h"
#include "app/App.h"
#include "app/Time.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"
#include "ui/UIGrainCloud.h"
#include "ui/UISoundRect.h"

// A grain cloud over a spectrogram rect plays the band of frequencies its
// grains land on: listening to the output of a real cloud over a sound of two
// sines far apart, the one under the cloud sounds and the other does not.

namespace {

const double LOW_HZ = 220.0;
const double HIGH_HZ = 3520.0;
const int SOUND_FRAMES = 4 * 44100;
const unsigned BLOCK = 1024;
// The rect spans x 0.1 ... 0.9 and y 0.25 ... 0.75 of a 1000 x 600 window.
const double RECT_BOTTOM = 0.25;
const double RECT_HEIGHT = 0.5;

// Height fraction of the spectrogram picture's line that shows a frequency,
// found by bisection on the picture's axis.
double MelHeight(double hz)
{
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 50; i++) {
        double mid = 0.5 * (lo + hi);
        (SoundRect::SpectrogramLineToHz(mid) < hz ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// Power of one frequency in a channel of an interleaved stereo buffer, by a
// direct Hann-windowed DFT at that frequency.
double PowerAt(const std::vector<float>& stereo, int channel, double hz)
{
    size_t n = stereo.size() / 2;
    double re = 0.0, im = 0.0;
    for (size_t i = 0; i < n; i++) {
        double w = 0.5 * (1.0 - std::cos(2.0 * M_PI * i / (n - 1)));
        double phase = 2.0 * M_PI * hz * i / 44100.0;
        re += w * stereo[2 * i + channel] * std::cos(phase);
        im -= w * stereo[2 * i + channel] * std::sin(phase);
    }
    return re * re + im * im;
}

double Db(double powerRatio)
{
    return 10.0 * std::log10(powerRatio);
}

class SpectralListeningTest : public testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        // The two sines on both channels, in a different balance on each.
        std::vector<float> samples(2 * SOUND_FRAMES);
        for (int f = 0; f < SOUND_FRAMES; f++) {
            double t = f / 44100.0;
            double low = std::sin(2.0 * M_PI * LOW_HZ * t), high = std::sin(2.0 * M_PI * HIGH_HZ * t);
            samples[2 * f] = (float)(0.3 * low + 0.2 * high);
            samples[2 * f + 1] = (float)(0.2 * low + 0.3 * high);
        }
        AssociateAnalysedSound(&_rect, samples, SOUND_FRAMES, &_spectra);
        _view = std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
        _rect.RegisterUI(_view.get());
        _view->SetRectType(UISoundRect::SPECTROGRAM);
        _view->UpdateRectPosition(0.5, RECT_BOTTOM + RECT_HEIGHT / 2.0);
        _view->SetDimensions(0.8, RECT_HEIGHT);
    }

    // Seconds of a cloud centred on the rect's time axis at the height of
    // the given frequency, after the first grains have started.
    std::vector<float> Listen(double hz)
    {
        const std::vector<SamplesProvider*> providers = {&_rect};
        const std::vector<SoundRect*> rects = {&_rect};
        GrainCloud cloud(&_app, providers, 6);
        double y = RECT_BOTTOM + RECT_HEIGHT * MelHeight(hz);
        cloud.RegisterUI(new UIGrainCloud(&cloud, nullptr, _app.GetScreen(), 0.5, y, 6, rects));
        // The cloud's own generator, seeded with the time at first, fixed so
        // that every run hears the same grains.
        cloud.SeedRandom(5);
        cloud.SetDirection(GrainCloud::RANDOM_DIR);
        std::vector<float> heard;
        std::vector<float> block(2 * BLOCK);
        for (int b = 0; b < 160; b++) {
            std::fill(block.begin(), block.end(), 0.0f);
            cloud.NextBuffer(&block, BLOCK);
            Time::Instance()->AddSeconds(BLOCK / 44100.0);
            if (b >= 32)
                heard.insert(heard.end(), block.begin(), block.end());
        }
        return heard;
    }

    App _app;
    SoundRect _rect;
    std::unique_ptr<UISoundRect> _view;
    std::vector<std::unique_ptr<Spectrogram>> _spectra;
};

}  // namespace

TEST_F(SpectralListeningTest, TheCloudPlaysTheSineUnderIt)
{
    // The band of a grain is its height plus and minus a tenth of the rect:
    // the sines lie far enough apart on the picture for either band to hold
    // one of them alone.
    ASSERT_NEAR(SoundRect::SpectrogramLineToHz(MelHeight(LOW_HZ)), LOW_HZ, 0.01);
    ASSERT_GT(MelHeight(HIGH_HZ) - MelHeight(LOW_HZ), 0.3);

    struct Case {
        double under, other;
    };
    for (const Case c : {Case{LOW_HZ, HIGH_HZ}, Case{HIGH_HZ, LOW_HZ}}) {
        std::vector<float> heard = Listen(c.under);
        for (int channel = 0; channel < 2; channel++) {
            double under = PowerAt(heard, channel, c.under);
            double other = PowerAt(heard, channel, c.other);
            // Clearly audible: a full-scale sine over these 3 s would give about 1e9.
            EXPECT_GT(under, 1e5) << c.under << " Hz, channel " << channel;
            EXPECT_GT(Db(under / other), 20.0) << c.under << " Hz under the cloud, channel " << channel;
        }
    }
}

TEST_F(SpectralListeningTest, TheWaveformViewPlaysBothSines)
{
    // The same cloud over the waveform hears the whole sound: the band is
    // what the spectrogram view added. (Overlapping grains from random
    // places sum with random phases, so the two levels wander apart by
    // several decibels.)
    _view->SetRectType(UISoundRect::WAVEFORM);
    std::vector<float> heard = Listen(HIGH_HZ);
    double low = PowerAt(heard, 0, LOW_HZ), high = PowerAt(heard, 0, HIGH_HZ);
    EXPECT_GT(low, 1e5);
    EXPECT_GT(high, 1e5);
    EXPECT_LT(std::fabs(Db(low / high)), 20.0);
}
