#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "spectral/DSP.h"
#include "spectral/Scale.h"

namespace {
std::vector<float> RandomSignal(size_t n, float amplitude)
{
    std::vector<float> x(n);
    for (float& v : x)
        v = amplitude * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
    return x;
}
}  // namespace

TEST(ScaleTest, DecibelConversions)
{
    EXPECT_NEAR(Scale::DbToAmp(0.0), 1.0, 1e-12);
    EXPECT_NEAR(Scale::DbToAmp(-20.0), 0.1, 1e-12);
    EXPECT_NEAR(Scale::DbToAmp(6.0), 1.9952623, 1e-6);

    // -30 dB sits halfway in [-60, 0]; the sign of the amplitude is kept.
    EXPECT_NEAR(Scale::AmpToDbNorm(std::pow(10.0, -30.0 / 20.0), -60.0, 0.0), 0.5, 1e-9);
    EXPECT_NEAR(Scale::AmpToDbNorm(-std::pow(10.0, -30.0 / 20.0), -60.0, 0.0), -0.5, 1e-9);
    EXPECT_DOUBLE_EQ(Scale::AmpToDbNorm(0.0, -60.0, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(Scale::AmpToDbNorm(4.0, -60.0, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(Scale::AmpToDbNorm(1e-9, -60.0, 0.0), 0.0);
}

TEST(ScaleTest, FrequencyConversions)
{
    EXPECT_NEAR(Scale::HzPerBin(2048, 44100.0), 21.533203125, 1e-12);
    // 1000 Hz is close to 1000 mel on this scale, 700 Hz is 2595 log10(2).
    EXPECT_NEAR(Scale::HzToMel(700.0), 2595.0 * std::log10(2.0), 1e-9);
    EXPECT_NEAR(Scale::HzToMel(1000.0), 1000.0, 0.05);
    EXPECT_NEAR(Scale::HzToMel(0.0), 0.0, 1e-12);
    for (double hz : {20.0, 440.0, 8000.0, 22050.0})
        EXPECT_NEAR(Scale::MelToHz(Scale::HzToMel(hz)), hz, 1e-9 * hz);
}

TEST(ScaleTest, SigmoidShapes)
{
    for (double t : {0.0, 0.1, 0.3, 0.5, 0.7, 1.0})
        EXPECT_NEAR(Scale::Sigmoid(t, 0.5), t, 1e-12) << t;
    for (double a : {0.2, 0.5, 0.9}) {
        EXPECT_NEAR(Scale::Sigmoid(0.0, a), 0.0, 1e-12);
        EXPECT_NEAR(Scale::Sigmoid(1.0, a), 1.0, 1e-12);
        EXPECT_NEAR(Scale::Sigmoid(0.5, a), 0.5, 1e-12);
        EXPECT_NEAR(Scale::Sigmoid(-3.0, a), 0.0, 1e-12);
        EXPECT_NEAR(Scale::Sigmoid(7.0, a), 1.0, 1e-12);
    }
    // a = 0.75: k = (1 - 2t) * 2, so t = 0.25 gives 0.25 / 2.
    EXPECT_NEAR(Scale::Sigmoid(0.25, 0.75), 0.125, 1e-12);
    EXPECT_NEAR(Scale::Sigmoid(0.75, 0.75), 0.875, 1e-12);
    // Higher contrast pulls low values down and high values up.
    EXPECT_LT(Scale::Sigmoid(0.3, 0.9), Scale::Sigmoid(0.3, 0.6));
    EXPECT_GT(Scale::Sigmoid(0.7, 0.9), Scale::Sigmoid(0.7, 0.6));
}

TEST(DspTest, AutomaticClippingCutsOutliersAtTwiceMeanPlusDeviation)
{
    std::srand(7);
    std::vector<float> x = RandomSignal(1000, 0.1f);
    x[123] = 0.9f;
    x[456] = -0.8f;
    double m = 0.0;
    for (float v : x)
        m += std::fabs(v);
    m /= x.size();
    double d = 0.0;
    for (float v : x)
        d += std::fabs(std::fabs(v) - m);
    d /= x.size();
    float t = (float)(2.0 * (m + d));
    std::vector<float> expected = x;
    for (float& v : expected)
        if (std::fabs(v) > t)
            v = v > 0 ? t : -t;

    DSP::AutomaticClipping(&x);
    for (size_t i = 0; i < x.size(); i++)
        EXPECT_NEAR(x[i], expected[i], 1e-6) << i;
    EXPECT_NEAR(x[123], t, 1e-6);
    EXPECT_NEAR(x[456], -t, 1e-6);
}

TEST(DspTest, NormalizeBringsPeakToHalf)
{
    std::vector<float> x = {0.1f, -0.4f, 0.2f, 0.0f};
    DSP::Normalize(&x);
    EXPECT_FLOAT_EQ(x[0], 0.125f);
    EXPECT_FLOAT_EQ(x[1], -0.5f);
    EXPECT_FLOAT_EQ(x[2], 0.25f);

    std::vector<float> silence(64, 0.0f);
    DSP::Normalize(&silence);
    for (float v : silence)
        EXPECT_EQ(v, 0.0f);
    std::vector<float> nearSilence = {1e-38f, -1e-38f};
    DSP::Normalize(&nearSilence);
    EXPECT_FLOAT_EQ(nearSilence[0], 0.5e-38f);
}

TEST(DspTest, FadesRampEveryChannelOverTheirFrames)
{
    const int nChans = 2, nFrames = 300;
    std::vector<float> x(nFrames * nChans, 1.0f);
    DSP::FadeIn(&x, nChans, 128);
    DSP::FadeOut(&x, nChans, 128);
    for (int f = 0; f < nFrames; f++) {
        float expected = 1.0f;
        if (f < 128)
            expected = f / 127.0f;
        else if (f >= nFrames - 128)
            expected = (nFrames - 1 - f) / 127.0f;
        for (int c = 0; c < nChans; c++)
            ASSERT_NEAR(x[f * nChans + c], expected, 1e-6) << f;
    }
}

TEST(DspTest, ReverseKeepsChannelsInPlace)
{
    std::vector<float> x = {0, 10, 1, 11, 2, 12};
    DSP::Reverse(&x, 2);
    EXPECT_EQ(x, (std::vector<float>{2, 12, 1, 11, 0, 10}));
    std::vector<float> mono = {1, 2, 3, 4, 5};
    DSP::Reverse(&mono, 1);
    EXPECT_EQ(mono, (std::vector<float>{5, 4, 3, 2, 1}));
}

TEST(DspTest, InterleaveRoundTripsOverFramesThatFit)
{
    std::vector<float> left = {1, 2, 3}, right = {-1, -2, -3};
    std::vector<float> out(4, 9.0f);
    DSP::Interleave(left, right, &out);
    EXPECT_EQ(out, (std::vector<float>{1, -1, 2, -2}));

    std::vector<float> stereo = {1, -1, 2, -2, 3, -3};
    std::vector<float> l(3), r(3);
    DSP::DeInterleave(stereo, &l, &r);
    EXPECT_EQ(l, left);
    EXPECT_EQ(r, right);

    DSP::Silent(&stereo);
    EXPECT_EQ(stereo, std::vector<float>(6, 0.0f));
}

TEST(DspTest, ClipAndNormalizeGivesTheBitsOfClippingThenNormalizing)
{
    std::srand(11);
    std::vector<std::vector<float>> sounds;
    // Noise with clicks far above it, as a loaded sound has.
    std::vector<float> clicks = RandomSignal(100003, 0.3f);
    for (size_t i = 17; i < clicks.size(); i += 9973)
        clicks[i] = (i % 2 ? 1.0f : -1.0f) * 0.5f;
    sounds.push_back(clicks);
    // Samples of a 16-bit file at half scale, a steady tone (nothing above the threshold).
    std::vector<float> pcm(44100);
    for (size_t i = 0; i < pcm.size(); i++)
        pcm[i] = 0.5f * (float)(short)(20000.0 * std::sin(0.05 * (double)i)) / 32768.0f;
    sounds.push_back(pcm);
    std::vector<float> tone(4096);
    for (size_t i = 0; i < tone.size(); i++)
        tone[i] = i % 2 ? 0.25f : -0.25f;
    sounds.push_back(tone);
    // Silence, near silence, values near the largest float, one sample, one side only.
    sounds.push_back(std::vector<float>(1000, 0.0f));
    sounds.push_back({1e-38f, -1e-38f, 3e-39f, 0.0f});
    sounds.push_back({3e38f, -1e38f, 2e37f, 5.0f, -3e38f});
    sounds.push_back({-0.7f});
    std::vector<float> negative = RandomSignal(5000, 0.2f);
    for (float& v : negative)
        v = -std::fabs(v);
    sounds.push_back(negative);
    sounds.push_back({});

    for (size_t s = 0; s < sounds.size(); s++) {
        std::vector<float> direct = sounds[s];
        DSP::AutomaticClipping(&direct);
        DSP::Normalize(&direct);
        std::vector<float> fused = sounds[s];
        DSP::ClipAndNormalize(&fused);
        ASSERT_EQ(fused.size(), direct.size());
        for (size_t i = 0; i < fused.size(); i++) {
            uint32_t a, b;
            std::memcpy(&a, &fused[i], sizeof(a));
            std::memcpy(&b, &direct[i], sizeof(b));
            ASSERT_EQ(a, b) << "sound " << s << " sample " << i << ": " << fused[i] << " vs " << direct[i];
        }
    }
}
