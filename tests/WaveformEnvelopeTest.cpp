#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/App.h"
#include "sound/SoundRect.h"
#include "spectral/WaveformEnvelope.h"
#include "ui/UISoundRect.h"
#include "ui/UISoundRectPictures.h"

namespace {

std::vector<float> RandomSignal(size_t n, unsigned seed)
{
    srand(seed);
    std::vector<float> v(n);
    for (float& x : v)
        x = 2.0f * static_cast<float>(rand()) / static_cast<float>(RAND_MAX) - 1.0f;
    return v;
}

// Lowest and highest of v[first] ... v[last], read one by one.
void DirectRange(const std::vector<float>& v, long first, long last, float* low, float* high)
{
    *low = *std::min_element(v.begin() + first, v.begin() + last + 1);
    *high = *std::max_element(v.begin() + first, v.begin() + last + 1);
}

// A rect view over a mono sound, for the waveform's vertices.
class WaveVerticesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        srand(3);
        _view = std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
    }

    void Share(const std::vector<float>& samples)
    {
        _samples = samples;
        _rect.ShareSamples(&_samples, _samples.size(), 1);
        _view->GetPictures()->PrepareWaveform();
    }

    std::vector<float> Vertices(const UISoundRectPictures::WaveGeometry& geometry, bool* band)
    {
        std::vector<float> vertices;
        _view->GetPictures()->BuildWaveVertices(geometry, &vertices, band);
        return vertices;
    }

    App _app;
    SoundRect _rect;
    std::vector<float> _samples;
    std::unique_ptr<UISoundRect> _view;
};

}  // namespace

TEST(WaveformEnvelopeTest, RangesEqualTheDirectMinimumAndMaximumAnywhere)
{
    // Lengths around the block sizes, ranges with unaligned ends, short and long.
    for (size_t n : {size_t(5), size_t(63), size_t(64), size_t(1000), size_t(70001)}) {
        std::vector<float> v = RandomSignal(n, static_cast<unsigned>(n));
        WaveformEnvelope envelope;
        envelope.SetChannel(v, 1, 0);
        ASSERT_EQ(envelope.GetNumSamples(), static_cast<long>(n));
        srand(11);
        for (int trial = 0; trial < 300; trial++) {
            long a = rand() % static_cast<long>(n);
            long b = rand() % static_cast<long>(n);
            if (a > b)
                std::swap(a, b);
            float low, high, expectedLow, expectedHigh;
            envelope.GetRange(a, b + 1, &low, &high);
            DirectRange(v, a, b, &expectedLow, &expectedHigh);
            ASSERT_EQ(low, expectedLow) << n << " [" << a << ", " << b << "]";
            ASSERT_EQ(high, expectedHigh) << n << " [" << a << ", " << b << "]";
        }
        // Clamped to the sound; nothing in range reads as silence.
        float low, high;
        envelope.GetRange(-100, static_cast<long>(n) + 100, &low, &high);
        EXPECT_EQ(low, *std::min_element(v.begin(), v.end()));
        EXPECT_EQ(high, *std::max_element(v.begin(), v.end()));
        envelope.GetRange(7, 7, &low, &high);
        EXPECT_EQ(low, 0.0f);
        EXPECT_EQ(high, 0.0f);
    }
}

TEST(WaveformEnvelopeTest, AChannelIsReadInPlaceAndASingleSamplePeakShowsInItsColumn)
{
    // Right channel: silence with one peak; left: loud noise that must not leak in.
    const size_t n = 1000000;
    std::vector<float> stereo(2 * n, 0.0f);
    std::vector<float> noise = RandomSignal(n, 5);
    for (size_t i = 0; i < n; i++)
        stereo[2 * i] = noise[i];
    const long peak = 123457;
    stereo[2 * peak + 1] = -0.9f;
    WaveformEnvelope envelope;
    envelope.SetChannel(stereo, 2, 1);
    ASSERT_EQ(envelope.GetNumSamples(), static_cast<long>(n));
    EXPECT_LT(envelope.GetSummaryBytes(), n * sizeof(float) / 4);

    // 300 columns over the whole sound: only the peak's column goes down.
    const int columns = 300;
    const double step = static_cast<double>(n - 1) / columns;
    std::vector<float> lows(columns), highs(columns);
    envelope.GetColumns(0.0, step, columns, lows.data(), highs.data());
    for (int c = 0; c < columns; c++) {
        const bool covers = std::floor(c * step) <= peak && peak <= std::floor((c + 1) * step);
        EXPECT_EQ(lows[c], covers ? -0.9f : 0.0f) << "column " << c;
        EXPECT_EQ(highs[c], 0.0f) << "column " << c;
    }
}

TEST(WaveformEnvelopeTest, NeighbouringColumnsShareTheirBoundarySample)
{
    // On a rising ramp each column spans from its first sample to the next column's first.
    std::vector<float> ramp(10000);
    for (size_t i = 0; i < ramp.size(); i++)
        ramp[i] = static_cast<float>(i);
    WaveformEnvelope envelope;
    envelope.SetChannel(ramp, 1, 0);
    const double start = 12.7, step = 33.3;
    const int columns = 200;
    std::vector<float> lows(columns), highs(columns);
    envelope.GetColumns(start, step, columns, lows.data(), highs.data());
    for (int c = 0; c < columns; c++) {
        EXPECT_EQ(lows[c], std::floor(start + c * step));
        EXPECT_EQ(highs[c], std::floor(start + (c + 1) * step));
        if (c > 0) {
            EXPECT_EQ(lows[c], highs[c - 1]);
        }
    }
}

TEST_F(WaveVerticesTest, ZoomedOutEachVisiblePixelIsTheSpanOfItsSamples)
{
    // 39877 samples over 400 pixels, of which the window shows the first 200.
    Share(RandomSignal(39877, 9));
    const UISoundRectPictures::WaveGeometry geometry = {100.3, 500.3, 300.0, 200.0, 50.0, true};
    bool band = false;
    const std::vector<float> vertices = Vertices(geometry, &band);
    ASSERT_TRUE(band);
    ASSERT_EQ(vertices.size(), 4u * 200);
    const double samplesPerPixel = 39876.0 / 400.0;
    // The first pixel starts before the sound does.
    const double start = (100.0 - 100.3) * samplesPerPixel;
    for (int c = 0; c < 200; c++) {
        const double pixel = 100.0 + c;
        const long first = std::max(0L, static_cast<long>(std::floor(start + c * samplesPerPixel)));
        const long last = static_cast<long>(std::floor(start + (c + 1) * samplesPerPixel));
        float low, high;
        DirectRange(_samples, first, last, &low, &high);
        const float* v = &vertices[4 * c];
        EXPECT_FLOAT_EQ(v[0], static_cast<float>(pixel + 0.5)) << "column " << c;
        EXPECT_FLOAT_EQ(v[1], static_cast<float>(200.0 + 50.0 * low)) << "column " << c;
        EXPECT_FLOAT_EQ(v[2], static_cast<float>(pixel + 0.5)) << "column " << c;
        EXPECT_FLOAT_EQ(v[3], static_cast<float>(200.0 + 50.0 * high)) << "column " << c;
    }

    // Upright, time runs up the window and amplitude across it.
    const UISoundRectPictures::WaveGeometry upright = {100.3, 500.3, 300.0, 200.0, 50.0, false};
    const std::vector<float> turned = Vertices(upright, &band);
    ASSERT_EQ(turned.size(), vertices.size());
    for (size_t i = 0; i < vertices.size(); i += 2) {
        EXPECT_EQ(turned[i], vertices[i + 1]);
        EXPECT_EQ(turned[i + 1], vertices[i]);
    }
}

TEST_F(WaveVerticesTest, SilenceStaysAOnePixelLineAndOffScreenRectsDrawNothing)
{
    Share(std::vector<float>(50000, 0.0f));
    bool band = false;
    std::vector<float> vertices = Vertices({0.0, 500.0, 800.0, 300.0, 80.0, true}, &band);
    ASSERT_TRUE(band);
    ASSERT_EQ(vertices.size(), 4u * 500);
    for (size_t i = 0; i < vertices.size(); i += 4) {
        EXPECT_FLOAT_EQ(vertices[i + 1], 299.5f);
        EXPECT_FLOAT_EQ(vertices[i + 3], 300.5f);
    }
    EXPECT_TRUE(Vertices({-900.0, -10.0, 800.0, 300.0, 80.0, true}, &band).empty());
    EXPECT_TRUE(Vertices({810.0, 1500.0, 800.0, 300.0, 80.0, true}, &band).empty());
}

TEST_F(WaveVerticesTest, ZoomedInTheLinePassesThroughTheVisibleSamplesOnly)
{
    // 101 samples over 20000 pixels: 200 pixels apart; the window shows pixels 0 ... 1000.
    Share(RandomSignal(101, 4));
    const double start = -5100.0, pixelsPerSample = 200.0;
    bool band = true;
    const std::vector<float> vertices =
        Vertices({start, start + 100 * pixelsPerSample, 1000.0, 300.0, 80.0, true}, &band);
    ASSERT_FALSE(band);
    // Samples 25 (100 pixels left of the window) to 31 (100 pixels right of it).
    ASSERT_EQ(vertices.size(), 2u * 7);
    for (int k = 0; k < 7; k++) {
        const int i = 25 + k;
        EXPECT_FLOAT_EQ(vertices[2 * k], static_cast<float>(start + i * pixelsPerSample));
        EXPECT_FLOAT_EQ(vertices[2 * k + 1], static_cast<float>(300.0 + 80.0 * _samples[i]));
    }
}
