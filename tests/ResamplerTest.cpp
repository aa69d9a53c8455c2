#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sound/Resampler.h"

namespace {
// Output frames left out at each end of a measurement: the filters ring
// there, as they would at any sound's edges.
const size_t EDGE_FRAMES = 4000;

std::vector<float> Tone(double hz, double rate, size_t frames, unsigned numChans = 1)
{
    std::vector<float> x(frames * numChans);
    for (size_t f = 0; f < frames; f++)
        for (unsigned c = 0; c < numChans; c++)
            x[f * numChans + c] = (float)(0.5 * std::sin(2.0 * M_PI * hz * (double)f / rate));
    return x;
}

// The least-squares fit of a*sin(wn) + b*cos(wn), the exact tone at the
// given rate, to one channel of x between the edges, and what is left once
// it is taken away.
struct Fit {
    double amplitude;
    double phase;
    double residualRms;
};

Fit FitTone(const std::vector<float>& x, unsigned numChans, unsigned chan, double hz, double rate)
{
    size_t frames = x.size() / numChans;
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    for (size_t n = EDGE_FRAMES; n + EDGE_FRAMES < frames; n++) {
        double w = 2.0 * M_PI * hz * (double)n / rate;
        double s = std::sin(w), c = std::cos(w), v = x[n * numChans + chan];
        ss += s * s;
        sc += s * c;
        cc += c * c;
        xs += v * s;
        xc += v * c;
    }
    double det = ss * cc - sc * sc;
    double a = (xs * cc - xc * sc) / det;
    double b = (xc * ss - xs * sc) / det;
    double sum = 0.0;
    size_t count = 0;
    for (size_t n = EDGE_FRAMES; n + EDGE_FRAMES < frames; n++, count++) {
        double w = 2.0 * M_PI * hz * (double)n / rate;
        double r = x[n * numChans + chan] - (a * std::sin(w) + b * std::cos(w));
        sum += r * r;
    }
    return {std::hypot(a, b), std::atan2(b, a), std::sqrt(sum / (double)count)};
}

double Db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

std::vector<float> Convert(const std::vector<float>& x, unsigned numChans, double from, double to)
{
    Resampler resampler(from, to);
    std::vector<float> out(resampler.ConvertedFrames(x.size() / numChans) * numChans, NAN);
    EXPECT_TRUE(resampler.Convert(x.data(), x.size() / numChans, numChans, out.data()));
    return out;
}
}  // namespace

TEST(ResamplerTest, ToneNearTheTopComesOutAsTheExactToneWithNothingElseAbove100DbDown)
{
    // 20 kHz at 48 kHz made 44.1 kHz: within the band kept, close to its
    // edge, where a filter that is short or wrongly placed shows first.
    // Both channels of a stereo sound, each converted on its own.
    const double hz = 20000.0;
    std::vector<float> out = Convert(Tone(hz, 48000.0, 48000, 2), 2, 48000.0, 44100.0);
    ASSERT_EQ(out.size(), 2u * 44100u);
    for (unsigned chan = 0; chan < 2; chan++) {
        Fit fit = FitTone(out, 2, chan, hz, 44100.0);
        EXPECT_NEAR(Db(fit.amplitude / 0.5), 0.0, 0.1) << chan;
        // In time: the exact tone's phase, not a delayed one.
        EXPECT_NEAR(fit.phase, 0.0, 1e-3) << chan;
        EXPECT_LT(Db(fit.residualRms / (0.5 / std::sqrt(2.0))), -100.0) << chan;
    }
}

TEST(ResamplerTest, PassbandIsFlatWithin0Point1DbTo18Khz)
{
    for (double from : {48000.0, 96000.0, 22050.0}) {
        for (double hz : {50.0, 1000.0, 5000.0, 10000.0, 15000.0, 18000.0}) {
            if (hz >= 0.4 * from)
                continue;
            SCOPED_TRACE(testing::Message() << hz << " Hz from " << from);
            std::vector<float> out = Convert(Tone(hz, from, (size_t)from), 1, from, 44100.0);
            ASSERT_EQ(out.size(), 44100u);
            Fit fit = FitTone(out, 1, 0, hz, 44100.0);
            EXPECT_NEAR(Db(fit.amplitude / 0.5), 0.0, 0.1);
            EXPECT_NEAR(fit.phase, 0.0, 1e-3);
            EXPECT_LT(Db(fit.residualRms / (0.5 / std::sqrt(2.0))), -100.0);
        }
    }
}

TEST(ResamplerTest, ToneAboveTheNewNyquistIsRemovedNotFoldedBack)
{
    // 30 kHz at 96 kHz would come back as 14.1 kHz at 44.1 kHz if it were
    // only picked at the new rate.
    std::vector<float> out = Convert(Tone(30000.0, 96000.0, 96000), 1, 96000.0, 44100.0);
    ASSERT_EQ(out.size(), 44100u);
    double sum = 0.0;
    for (size_t n = EDGE_FRAMES; n + EDGE_FRAMES < out.size(); n++)
        sum += (double)out[n] * out[n];
    double rms = std::sqrt(sum / (double)(out.size() - 2 * EDGE_FRAMES));
    EXPECT_LT(Db(rms / (0.5 / std::sqrt(2.0))), -100.0);
    EXPECT_LT(Db(FitTone(out, 1, 0, 44100.0 - 30000.0, 44100.0).amplitude / 0.5), -100.0);
}

TEST(ResamplerTest, SameRateKeepsTheSoundAndLengthsFollowTheRatio)
{
    EXPECT_FALSE(Resampler(44100.0, 44100.0).Changes());
    EXPECT_EQ(Resampler(44100.0, 44100.0).ConvertedFrames(12345), 12345u);
    EXPECT_EQ(Resampler(48000.0, 44100.0).ConvertedFrames(480000), 441000u);
    EXPECT_EQ(Resampler(22050.0, 44100.0).ConvertedFrames(1001), 2002u);
    EXPECT_EQ(Resampler(48000.0, 44100.0).ConvertedFrames(0), 0u);
    EXPECT_TRUE(Resampler(48000.0, 44100.0).Convert(nullptr, 0, 2, nullptr));
}

TEST(ResamplerTest, SamplesNearTheLargestFloatComeOutFiniteInTheSameShape)
{
    // A float file may hold anything up to 3.4e38: a square wave there rings
    // beyond it in the filters. Its level is set by the conditioning afterwards.
    std::vector<float> square(4800), tame(4800);
    for (size_t n = 0; n < square.size(); n++) {
        tame[n] = (n / 24) % 2 == 0 ? 0.5f : -0.5f;
        square[n] = tame[n] * 2.0f * 3.3e38f;
    }
    std::vector<float> out = Convert(square, 1, 48000.0, 44100.0);
    std::vector<float> reference = Convert(tame, 1, 48000.0, 44100.0);
    ASSERT_EQ(out.size(), reference.size());
    size_t loudest = 0;
    for (size_t n = 0; n < out.size(); n++) {
        ASSERT_TRUE(std::isfinite(out[n])) << n;
        if (std::fabs(reference[n]) > std::fabs(reference[loudest]))
            loudest = n;
    }
    double gain = (double)out[loudest] / reference[loudest];
    EXPECT_GT(gain, 0.0);
    for (size_t n = 0; n < out.size(); n++)
        ASSERT_NEAR(out[n], gain * reference[n], 1e-5 * gain) << n;
}
