#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sources/Envelope.h"

namespace {
const int SIZE = 2048;
const double PI = 3.141592653589793;

class EnvelopeTest : public testing::Test {
protected:
    const std::vector<float>& Table(Envelope::EnvelopeType type) { return _env.GetEnvelope(type); }

    Envelope _env{SIZE};
};
}  // namespace

TEST_F(EnvelopeTest, SixTablesOfTheGivenSize)
{
    EXPECT_EQ(_env.GetEnvelopeSize(), SIZE);
    EXPECT_EQ(_env.GetNumEnvelopes(), 6);
    for (int type = 0; type < _env.GetNumEnvelopes(); type++)
        EXPECT_EQ(_env.GetEnvelope(type).size(), (size_t)SIZE) << "type " << type;
}

TEST_F(EnvelopeTest, HanningIsAPeriodicHannWindow)
{
    const std::vector<float>& hann = Table(Envelope::HANNING);
    EXPECT_EQ(hann[0], 0.0f);
    EXPECT_FLOAT_EQ(hann[SIZE / 2], 1.0f);
    // Periodic: one step short of closing, so the end is not 0.
    EXPECT_NEAR(hann[SIZE - 1], 2.3e-6, 0.1e-6);
    EXPECT_GT(hann[SIZE - 1], 0.0f);
    for (int i = 0; i < SIZE; i++)
        ASSERT_NEAR(hann[i], 0.5 * (1.0 - std::cos(2.0 * PI * i / SIZE)), 2e-5) << "entry " << i;
}

TEST_F(EnvelopeTest, TriangleEndsAtZeroAndPeaksBetweenTheMiddleEntries)
{
    const std::vector<float>& tri = Table(Envelope::TRIANGLE);
    EXPECT_EQ(tri[0], 0.0f);
    EXPECT_NEAR(tri[SIZE - 1], 0.0f, 1e-6);
    EXPECT_NEAR(tri[1023], 1023.0 * 2.0 / 2047.0, 1e-6);
    EXPECT_NEAR(tri[1024], 1023.0 * 2.0 / 2047.0, 1e-6);
    EXPECT_LT(*std::max_element(tri.begin(), tri.end()), 1.0f);
    for (int i = 0; i < SIZE; i++)
        ASSERT_NEAR(tri[i], 1.0 - std::fabs(2.0 * i / (SIZE - 1) - 1.0), 1e-5) << "entry " << i;
}

TEST_F(EnvelopeTest, ExponentialDecayAndItsMirror)
{
    const std::vector<float>& dec = Table(Envelope::EXPDEC);
    const std::vector<float>& rise = Table(Envelope::REXPDEC);
    EXPECT_EQ(dec[0], 1.0f);
    EXPECT_NEAR(dec[SIZE - 1], 0.01835, 1e-5);
    EXPECT_EQ(rise[SIZE - 1], 1.0f);
    EXPECT_NEAR(rise[0], 0.01835, 1e-5);
    for (int i = 0; i < SIZE; i++) {
        ASSERT_NEAR(dec[i], std::exp(-i / 512.0), 1e-6) << "entry " << i;
        ASSERT_EQ(rise[SIZE - 1 - i], dec[i]) << "entry " << i;
    }
}

TEST_F(EnvelopeTest, SincHasItsMainLobeInTheMiddleAndZerosEvery256Entries)
{
    const std::vector<float>& sinc = Table(Envelope::SINC);
    EXPECT_EQ(sinc[SIZE / 2], 1.0f);
    for (int zero : {0, 256, 512, 768, 1280, 1536, 1792})
        EXPECT_NEAR(sinc[zero], 0.0f, 1e-6) << "entry " << zero;
    for (int i = 0; i < SIZE; i++) {
        if (i == SIZE / 2)
            continue;
        double x = -4.0 + i / 256.0;
        ASSERT_NEAR(sinc[i], std::fabs(std::sin(PI * x) / (PI * x)), 1e-6) << "entry " << i;
    }
}

TEST_F(EnvelopeTest, HandDrawnStartsFlat)
{
    const std::vector<float>& drawn = Table(Envelope::HAND_DRAWN);
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), 1.0f), SIZE);
}

TEST_F(EnvelopeTest, UnknownTypesSelectHanning)
{
    const std::vector<float>* hann = &Table(Envelope::HANNING);
    EXPECT_EQ(&_env.GetEnvelope(7), hann);
    EXPECT_EQ(&_env.GetEnvelope(-1), hann);
    EXPECT_EQ(&_env.GetEnvelope(Envelope::NUM_ENVELOPES), hann);
    EXPECT_NE(&Table(Envelope::HAND_DRAWN), hann);

    std::vector<float> flat(SIZE, 0.5f);
    _env.SetEnvelope(9, flat);
    EXPECT_EQ(Table(Envelope::HANNING), flat);
    EXPECT_EQ(Table(Envelope::HAND_DRAWN), std::vector<float>(SIZE, 1.0f));
}

TEST_F(EnvelopeTest, DrawnTableRoundTrips)
{
    std::vector<float> drawn(SIZE);
    for (int i = 0; i < SIZE; i++)
        drawn[i] = (float)((i * 37) % 101) / 100.0f;
    std::vector<float> triangle = Table(Envelope::TRIANGLE);
    _env.SetEnvelope(Envelope::HAND_DRAWN, drawn);
    EXPECT_EQ(Table(Envelope::HAND_DRAWN), drawn);
    EXPECT_EQ(Table(Envelope::TRIANGLE), triangle);
}

TEST_F(EnvelopeTest, ReplacingNeverChangesTheTableSize)
{
    _env.SetEnvelope(Envelope::HAND_DRAWN, std::vector<float>(SIZE + 100, 0.25f));
    EXPECT_EQ(Table(Envelope::HAND_DRAWN), std::vector<float>(SIZE, 0.25f));

    // A short run overwrites the head; the tail keeps its values.
    _env.SetEnvelope(Envelope::HAND_DRAWN, std::vector<float>(10, 0.75f));
    const std::vector<float>& drawn = Table(Envelope::HAND_DRAWN);
    ASSERT_EQ(drawn.size(), (size_t)SIZE);
    EXPECT_EQ(drawn[9], 0.75f);
    EXPECT_EQ(drawn[10], 0.25f);
    EXPECT_EQ(drawn[SIZE - 1], 0.25f);
}

TEST(EnvelopeSizeTest, ShapesScaleWithTheTableButTheDecayDoesNot)
{
    Envelope small(512);
    EXPECT_EQ(small.GetEnvelopeSize(), 512);
    EXPECT_FLOAT_EQ(small.GetEnvelope(Envelope::HANNING)[256], 1.0f);
    EXPECT_EQ(small.GetEnvelope(Envelope::SINC)[256], 1.0f);
    EXPECT_NEAR(small.GetEnvelope(Envelope::SINC)[64], 0.0f, 1e-6);
    // The decay's time constant is 512 entries at any size.
    EXPECT_NEAR(small.GetEnvelope(Envelope::EXPDEC)[511], std::exp(-511.0 / 512.0), 1e-6);
}
