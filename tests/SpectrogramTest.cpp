#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

namespace {
const int FFT_SIZE = 2048;

// Interleaved stereo: a sine at exactly bin `bin` on the left, silence on the right.
std::vector<float> BinSineLeft(int nFrames, int bin)
{
    std::vector<float> x(2 * nFrames, 0.0f);
    for (int i = 0; i < nFrames; i++)
        x[2 * i] = (float)std::sin(2.0 * M_PI * bin * i / FFT_SIZE);
    return x;
}

bool AllZero(const std::vector<float>& v)
{
    return std::all_of(v.begin(), v.end(), [](float x) { return x == 0.0f; });
}

int LoudestBin(const std::vector<float>& magns)
{
    return (int)(std::max_element(magns.begin(), magns.end()) - magns.begin());
}

// Column of the given magnitudes and phases, as a full complex spectrum
// whose upper half is left zero.
std::vector<float> PolarCol(int fftSize, const std::vector<double>& magns, const std::vector<double>& phases)
{
    std::vector<float> col(2 * fftSize, 0.0f);
    for (size_t i = 0; i < magns.size(); i++) {
        col[2 * i] = (float)(magns[i] * std::cos(phases[i]));
        col[2 * i + 1] = (float)(magns[i] * std::sin(phases[i]));
    }
    return col;
}
}  // namespace

TEST(SpectrogramTest, ColumnCountFollowsTheSoundLength)
{
    // 2560 frames: room for one column, but the engine never gets its fifth hop.
    Spectrogram* s = SamplesToSpectro::SamplesToSpectrogram(BinSineLeft(2560, 100), 2560, 2, 0);
    std::vector<float> col;
    ASSERT_EQ(s->GetNumCols(), 1);
    s->GetCol(0, &col);
    EXPECT_EQ(col.size(), (size_t)(2 * FFT_SIZE));
    EXPECT_TRUE(AllZero(col));
    delete s;

    // 3000 frames: one column, holding the sine at its bin.
    s = SamplesToSpectro::SamplesToSpectrogram(BinSineLeft(3000, 100), 3000, 2, 0);
    std::vector<float> magns;
    ASSERT_EQ(s->GetNumCols(), 1);
    s->GetMagnCol(0, &magns);
    EXPECT_EQ(LoudestBin(magns), 100);
    // A full-scale sine through a Hann window peaks at fftSize / 4.
    EXPECT_NEAR(magns[100], FFT_SIZE / 4.0, 1.0);
    delete s;

    // A multiple of 512 leaves the last column zero, one frame more fills it.
    for (int nFrames : {10 * 512, 10 * 512 + 1}) {
        s = SamplesToSpectro::SamplesToSpectrogram(BinSineLeft(nFrames, 100), nFrames, 2, 0);
        ASSERT_EQ(s->GetNumCols(), 6);
        for (int c = 0; c < 5; c++) {
            s->GetMagnCol(c, &magns);
            EXPECT_EQ(LoudestBin(magns), 100) << nFrames << " col " << c;
        }
        s->GetCol(5, &col);
        EXPECT_EQ(AllZero(col), nFrames % 512 == 0) << nFrames;
        delete s;
    }
}

TEST(SpectrogramTest, ShortSoundsAnalyseToAnEmptyStoreThatReadsAsZeros)
{
    for (int nFrames : {0, 100, 2047, 2048, 2559}) {
        std::vector<float> x = BinSineLeft(nFrames, 100);
        Spectrogram* s = SamplesToSpectro::SamplesToSpectrogram(x, nFrames, 2, 0);
        EXPECT_EQ(s->GetNumCols(), 0) << nFrames;
        EXPECT_EQ(s->GetImageLevels(), nullptr);

        std::vector<float> col(7, 1.0f), magns(3, 1.0f), phases;
        s->GetCol(0, &col);
        EXPECT_EQ(col, std::vector<float>(2 * FFT_SIZE, 0.0f));
        col.assign(7, 1.0f);
        s->GetCol(0.7, &col);
        EXPECT_EQ(col, std::vector<float>(2 * FFT_SIZE, 0.0f));
        s->GetMagnCol(3, &magns);
        s->GetPhaseCol(-1, &phases);
        EXPECT_EQ(magns, std::vector<float>(FFT_SIZE / 2, 0.0f));
        EXPECT_EQ(phases, std::vector<float>(FFT_SIZE / 2, 0.0f));

        s->SetCol(0, col);
        s->PreProcessPhases();
        EXPECT_EQ(s->GetNumCols(), 0);
        delete s;
    }
    Spectrogram negative(FFT_SIZE, -4);
    EXPECT_EQ(negative.GetNumCols(), 0);
}

TEST(SpectrogramTest, SetColStoresMagnitudesAndPhases)
{
    srand(11);
    Spectrogram s(16, 2);
    std::vector<float> col(32);
    for (float& v : col)
        v = 2.0f * std::rand() / float(RAND_MAX) - 1.0f;
    s.SetCol(1, col);
    std::vector<float> back, magns, phases;
    s.GetMagnCol(1, &magns);
    s.GetPhaseCol(1, &phases);
    ASSERT_EQ(magns.size(), 8u);
    for (int i = 0; i < 8; i++) {
        // Magnitudes are kept in half precision: 11 significant bits.
        double magn = std::hypot(col[2 * i], col[2 * i + 1]);
        EXPECT_NEAR(magns[i], magn, 5e-4 * magn);
        EXPECT_NEAR(phases[i], std::atan2(col[2 * i + 1], col[2 * i]), 1e-6);
    }
    // The column comes back from its magnitudes and phases: the lower half
    // as given, the upper half its conjugate mirror, the Nyquist bin 0.
    s.GetCol(1, &back);
    ASSERT_EQ(back.size(), col.size());
    for (int i = 0; i < 8; i++) {
        EXPECT_NEAR(back[2 * i], col[2 * i], 1e-3) << i;
        EXPECT_NEAR(back[2 * i + 1], col[2 * i + 1], 1e-3) << i;
        if (i > 0) {
            EXPECT_EQ(back[2 * (16 - i)], back[2 * i]) << i;
            EXPECT_EQ(back[2 * (16 - i) + 1], -back[2 * i + 1]) << i;
        }
    }
    EXPECT_EQ(back[16], 0.0f);
    EXPECT_EQ(back[17], 0.0f);
    // Column 0 is untouched, and writes outside the store are dropped.
    s.GetCol(0, &back);
    EXPECT_TRUE(AllZero(back));
    s.SetCol(2, col);
    s.SetCol(-1, col);
    s.GetCol(0, &back);
    EXPECT_TRUE(AllZero(back));
}

TEST(SpectrogramTest, FractionalColumnsInterpolateMagnitudeAndPhase)
{
    const int n = 16;
    Spectrogram s(n, 3);
    std::vector<double> m[3], p[3];
    for (int c = 0; c < 3; c++) {
        for (int i = 0; i < n / 2; i++) {
            m[c].push_back(1.0 + i + 3.0 * c);
            p[c].push_back(0.1 * i + 0.4 * c - 1.0);
        }
        s.SetCol(c, PolarCol(n, m[c], p[c]));
    }

    std::vector<float> out;
    for (double pos : {0.0, 0.25, 1.5, 1.9}) {
        s.GetCol(pos, &out);
        ASSERT_EQ(out.size(), (size_t)(2 * n));
        int c0 = (int)pos;
        double t = pos - c0;
        for (int i = 0; i < n / 2; i++) {
            double mag = (1 - t) * m[c0][i] + t * m[c0 + 1][i];
            double phase = (1 - t) * p[c0][i] + t * p[c0 + 1][i];
            // Magnitudes are kept in half precision: 11 significant bits.
            EXPECT_NEAR(out[2 * i], mag * std::cos(phase), 5e-4 * mag) << pos << " bin " << i;
            EXPECT_NEAR(out[2 * i + 1], mag * std::sin(phase), 5e-4 * mag) << pos << " bin " << i;
        }
        // The upper half is the lower half's floats in reverse order.
        for (int j = 0; j < n; j++)
            EXPECT_EQ(out[2 * n - 1 - j], out[j]) << pos << " float " << j;
    }

    // From the last column on, the stored column comes back unchanged.
    std::vector<float> last;
    s.GetCol(2, &last);
    s.GetCol(2.5, &out);
    EXPECT_EQ(out, last);
}

TEST(SpectrogramTest, PositionsOutsideTheStoreClampToTheEndColumns)
{
    Spectrogram s(16, 4);
    for (int c = 0; c < 4; c++)
        s.SetCol(c, std::vector<float>(32, (float)(c + 1)));
    std::vector<float> first, last, out;
    s.GetCol(0, &first);
    s.GetCol(3, &last);
    for (double pos : {-0.01, -3.5, -1e12, std::nan("")}) {
        s.GetCol(pos, &out);
        EXPECT_EQ(out, first) << pos;
    }
    for (double pos : {3.0, 4.0, 17.25, 1e12}) {
        s.GetCol(pos, &out);
        EXPECT_EQ(out, last) << pos;
    }
    for (int col : {-1, 4, 1000}) {
        s.GetCol(col, &out);
        EXPECT_EQ(out, col < 0 ? first : last) << col;
    }
}

// Phases are kept as principal values, as the analysis gives them, so a
// column an hour into a sound holds them as exactly as the first: bins
// advancing up to 2.9 radians per column over 310000 columns (an hour of
// hops) read back within single-precision rounding of their angle, and a
// position between two columns interpolates the shorter way round.
TEST(SpectrogramTest, PhasesStayExactAnHourIntoASound)
{
    const int n = 16, numCols = 310000;
    Spectrogram s(n, numCols);
    std::vector<float> ones(n / 2, 1.0f), phases(n / 2);
    const auto whole = [](int c, int i) { return 0.5 + (0.9 + 0.25 * i) * c; };
    for (int c = 0; c < numCols; c++) {
        for (int i = 0; i < n / 2; i++)
            phases[i] = (float)std::remainder(whole(c, i), 2.0 * M_PI);
        s.SetMagnPhaseCol(c, ones.data(), phases.data());
    }
    s.PreProcessPhases();
    std::vector<float> col, next;
    s.GetPhaseCol(numCols - 2, &col);
    s.GetPhaseCol(numCols - 1, &next);
    for (int i = 0; i < n / 2; i++) {
        ASSERT_NEAR(std::remainder(col[i] - whole(numCols - 2, i), 2.0 * M_PI), 0.0, 1e-6) << "bin " << i;
        const double advance = std::remainder((double)next[i] - col[i], 2.0 * M_PI);
        ASSERT_NEAR(advance, std::remainder(0.9 + 0.25 * i, 2.0 * M_PI), 1e-6) << "bin " << i;
    }
    std::vector<float> between;
    s.GetCol(numCols - 1.75, &between);
    for (int i = 0; i < n / 2; i++) {
        const double expected = whole(numCols - 2, i) + 0.25 * std::remainder(0.9 + 0.25 * i, 2.0 * M_PI);
        const double angle = std::atan2(between[2 * i + 1], between[2 * i]);
        ASSERT_NEAR(std::remainder(angle - expected, 2.0 * M_PI), 0.0, 1e-5) << "bin " << i;
    }
}

TEST(SpectrogramTest, TheImageKeepsTheLevelOfEachDisplayValue)
{
    srand(13);
    Spectrogram s(16, 5);
    EXPECT_EQ(s.GetImageLevels(), nullptr);
    std::vector<float> all;
    for (int c = 0; c < 5; c++) {
        std::vector<float> v(8);
        for (float& x : v)
            x = (float)std::pow(10.0, 4.0 * std::rand() / RAND_MAX - 3.5);
        s.SetMagnColDisp(c, v);
        all.insert(all.end(), v.begin(), v.end());
    }
    all[3] = 0.0f;
    s.SetMagnColDisp(0, std::vector<float>(all.begin(), all.begin() + 8));
    const uint8_t* image = s.GetImageLevels();
    ASSERT_NE(image, nullptr);
    for (size_t i = 0; i < all.size(); i++) {
        // The level written out: decibels between -50 and full scale onto 0 ... 255.
        double db = std::clamp(20.0 * std::log10(all[i]), -50.0, -0.00001);
        double expected = std::round(255.0 * (db + 50.0) / (50.0 - 0.00001));
        EXPECT_EQ(image[i], expected) << all[i];
    }
    EXPECT_EQ(Spectrogram::LevelOf(0.0f), 0);
    EXPECT_EQ(Spectrogram::LevelOf(1e-3f), 0);
    EXPECT_EQ(Spectrogram::LevelOf(1.0f), 255);
    EXPECT_EQ(Spectrogram::LevelOf(500.0f), 255);
    EXPECT_EQ(Spectrogram::LevelOf(-500.0f), 255);
    EXPECT_EQ(Spectrogram::LevelOf(std::nanf("")), 0);
}

TEST(SpectrogramTest, AnImageOverAnotherSpectrogramsColumnsSharesThemButNotTheImage)
{
    const int n = 16;
    Spectrogram owner(n, 3);
    Spectrogram image(&owner);
    EXPECT_TRUE(owner.OwnsColumns());
    EXPECT_FALSE(image.OwnsColumns());
    EXPECT_EQ(image.GetNumCols(), 3);
    EXPECT_EQ(image.GetFFTSize(), n);

    std::vector<double> ones(n / 2, 1.0), phases(n / 2, 3.0);
    owner.SetCol(0, PolarCol(n, ones, phases));
    phases.assign(n / 2, -3.0);
    image.SetCol(1, PolarCol(n, ones, phases));
    std::vector<float> a, b;
    for (int c = 0; c < 3; c++) {
        owner.GetCol(c, &a);
        image.GetCol(c, &b);
        EXPECT_EQ(a, b) << c;
    }

    image.SetMagnColDisp(2, std::vector<float>(n / 2, 5.0f));
    EXPECT_EQ(owner.GetImageLevels(), nullptr);
    ASSERT_NE(image.GetImageLevels(), nullptr);
    EXPECT_EQ(image.GetImageLevels()[2 * n / 2], 255);
    EXPECT_EQ(image.GetImageLevels()[0], 0);

    // Preparing through either image works on the shared phases, once:
    // 7 becomes 7 - 2 pi; a turn planted afterwards stays, where a second
    // pass would take it off again.
    owner.GetPhaseCol(1, &a);
    a[0] = 7.0f;
    owner.SetPhaseCol(1, a);
    image.PreProcessPhases();
    owner.GetPhaseCol(1, &a);
    EXPECT_NEAR(a[0], 7.0 - 2.0 * M_PI, 1e-5);
    a[0] += 6.0f;
    owner.SetPhaseCol(1, a);
    owner.PreProcessPhases();
    image.PreProcessPhases();
    image.GetPhaseCol(1, &b);
    EXPECT_EQ(b, a);
}
