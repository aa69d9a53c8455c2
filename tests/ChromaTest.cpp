#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "sound/EngineRate.h"
#include "spectral/ChromaOverlapAddProcessor.h"
#include "spectral/ChromaScale.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/SmoothSpace.h"
#include "spectral/Spectrogram.h"

namespace {
const int FFT_SIZE = 2048;
const double SR = 44100.0;
const int NUM_BINS = FFT_SIZE / 2;

// Interleaved stereo with a sine of the given frequencies on each side.
std::vector<float> StereoSines(int nFrames, double hzLeft, double hzRight, double rate = SR)
{
    std::vector<float> x(2 * nFrames);
    for (int i = 0; i < nFrames; i++) {
        x[2 * i] = (float)(0.5 * std::sin(2.0 * M_PI * hzLeft * i / rate));
        x[2 * i + 1] = (float)(0.5 * std::sin(2.0 * M_PI * hzRight * i / rate));
    }
    return x;
}

// A sound with something in every band: a rising sweep and a chord on the
// left, noise bursts and a low drone on the right.
std::vector<float> RichStereo(int nFrames)
{
    std::vector<float> x(2 * nFrames);
    double sweepPhase = 0.0;
    for (int i = 0; i < nFrames; i++) {
        double t = i / SR;
        sweepPhase += 2.0 * M_PI * (100.0 + 4000.0 * i / nFrames) / SR;
        double chord =
            std::sin(2.0 * M_PI * 261.63 * t) + std::sin(2.0 * M_PI * 329.63 * t) + std::sin(2.0 * M_PI * 392.0 * t);
        double noise = 2.0 * std::rand() / RAND_MAX - 1.0;
        x[2 * i] = (float)(0.4 * std::sin(sweepPhase) + 0.1 * chord);
        x[2 * i + 1] = (float)(0.3 * noise * ((i / 4000) % 2) + 0.3 * std::sin(2.0 * M_PI * 55.0 * t));
    }
    return x;
}

// Position of a pitch class on the chromagram's circle of NUM_BINS bins
// (C at 0, a twelfth of a semitone below C wrapping to the top).
double ChromaPosition(double semitonesAboveC)
{
    return NUM_BINS * (semitonesAboveC - 1.0 / 12.0) / 12.0;
}

// Images equal level for level, or off by at most maxLevelStep on a few
// values that sit at a level's edge.
void ExpectSameImage(const Spectrogram* a, const Spectrogram* b, const char* what, int maxLevelStep = 0)
{
    ASSERT_EQ(a->GetImageLevels() == nullptr, b->GetImageLevels() == nullptr) << what;
    if (a->GetImageLevels() == nullptr)
        return;
    size_t n = (size_t)a->GetNumCols() * NUM_BINS;
    size_t differing = 0;
    for (size_t i = 0; i < n; i++) {
        int step = std::abs((int)a->GetImageLevels()[i] - (int)b->GetImageLevels()[i]);
        ASSERT_LE(step, maxLevelStep) << what << " image value " << i;
        differing += step != 0;
    }
    EXPECT_LE(differing, n / 100) << what << " image";
}

void ExpectSameStore(Spectrogram* a, Spectrogram* b, const char* what)
{
    ASSERT_EQ(a->GetNumCols(), b->GetNumCols()) << what;
    std::vector<float> va, vb;
    for (int c = 0; c < a->GetNumCols(); c++) {
        a->GetCol(c, &va);
        b->GetCol(c, &vb);
        ASSERT_EQ(va, vb) << what << " complex col " << c;
        a->GetMagnCol(c, &va);
        b->GetMagnCol(c, &vb);
        ASSERT_EQ(va, vb) << what << " magnitudes col " << c;
        a->GetPhaseCol(c, &va);
        b->GetPhaseCol(c, &vb);
        ASSERT_EQ(va, vb) << what << " phases col " << c;
    }
    ExpectSameImage(a, b, what);
}

// The direct computation (complex transform, library arctangent, phases
// prepared afterwards) against the one-pass analysis (real transform,
// polynomial arctangent, principal values as it goes): the same numbers up
// to the rounding of single precision and of the stores.
void ExpectSameAnalysis(Spectrogram* direct, Spectrogram* fast, const char* what)
{
    ASSERT_EQ(direct->GetNumCols(), fast->GetNumCols()) << what;
    const double turn = (double)(float)(2.0 * M_PI);
    std::vector<float> ma, mb, pa, pb;
    for (int c = 0; c < direct->GetNumCols(); c++) {
        direct->GetMagnCol(c, &ma);
        fast->GetMagnCol(c, &mb);
        direct->GetPhaseCol(c, &pa);
        fast->GetPhaseCol(c, &pb);
        float peak = *std::max_element(ma.begin(), ma.end());
        for (int i = 0; i < NUM_BINS; i++) {
            // Half precision keeps 11 bits of each magnitude.
            ASSERT_NEAR(ma[i], mb[i], 1e-3 * std::max(ma[i], mb[i]) + 1e-5 * peak) << what << " col " << c;
            // Principal values: within half a turn of 0.
            ASSERT_LE(std::fabs((double)pb[i]), M_PI + 1e-6) << what << " col " << c;
            // Phases of bins far below the column's peak are noise in both.
            // Elsewhere they are the same angle, bar a whole turn at the
            // half-turn edge.
            if (ma[i] < 1e-4 * peak)
                continue;
            double d = (double)pb[i] - pa[i];
            double wrapped = d - turn * std::nearbyint(d / turn);
            double ulp = std::nextafter(std::fabs(pa[i]), INFINITY) - std::fabs(pa[i]);
            ASSERT_NEAR(wrapped, 0.0, 1e-3 + 2.0 * ulp) << what << " col " << c << " bin " << i;
        }
    }
    ExpectSameImage(direct, fast, what, 1);
}
}  // namespace

TEST(ChromaTest, FreqBinToChromaBinFoldsTheUpperHalfAndKeepsDCAtZero)
{
    ChromaScale scale(FFT_SIZE, SR);
    EXPECT_EQ(scale.FreqBinToChromaBin(0), 0);
    EXPECT_EQ(scale.FreqBinToChromaBin(FFT_SIZE / 2 + 1), scale.FreqBinToChromaBin(FFT_SIZE / 2 - 2));
    EXPECT_EQ(scale.FreqBinToChromaBin(FFT_SIZE - 2), scale.FreqBinToChromaBin(1));
    // The top bin folds onto DC, which has no pitch: 0, not an undefined value.
    EXPECT_EQ(scale.FreqBinToChromaBin(FFT_SIZE - 1), 0);
    EXPECT_EQ(scale.FreqBinToChromaBin(FFT_SIZE), 0);
    for (int bin = 1; bin < FFT_SIZE; bin++) {
        int chroma = scale.FreqBinToChromaBin(bin);
        ASSERT_GE(chroma, 0) << bin;
        ASSERT_LE(chroma, FFT_SIZE) << bin;
    }
}

TEST(ChromaTest, PitchClassesFollowEqualTemperamentFromA440)
{
    EXPECT_NEAR(ChromaScale::ComputeC0Freq(), 16.351597831287418, 1e-9);
    EXPECT_NEAR(ChromaScale::ComputeToneMult(), 1.0594630943592953, 1e-12);

    // 55 Hz per bin: bins 1, 2, 4, 8 are the As from 55 to 440 Hz, bin 3 is
    // 165 Hz, 0.0195 semitones above E3.
    const int n = 1024;
    ChromaScale scale(n, 55.0 * n);
    int a = (int)std::lround(n * (9.0 - 1.0 / 12.0) / 12.0);
    for (int bin : {1, 2, 4, 8})
        EXPECT_EQ(scale.FreqBinToChromaBin(bin), a) << bin;
    EXPECT_EQ(scale.FreqBinToChromaBin(3), (int)std::lround(n * (4.0195 - 1.0 / 12.0) / 12.0));
    // Below C0 the circle wraps from the top: 16.4 Hz is C0 plus 0.05 semitones.
    ChromaScale low(n, 16.4 * n);
    EXPECT_EQ(low.FreqBinToChromaBin(1), (int)std::lround(n * (12.0 + 0.0511 - 1.0 / 12.0) / 12.0));
}

TEST(ChromaTest, SmoothingIsTheHannWeightedAverageOfTheNeighbours)
{
    srand(21);
    std::vector<float> data(200);
    for (float& v : data)
        v = (float)std::rand() / float(RAND_MAX);
    SmoothSpace smoother;
    for (int winSize : {85, 7, 8}) {
        std::vector<float> smoothed = data;
        smoother.Smooth(&smoothed, winSize);
        for (int i = 0; i < (int)data.size(); i++) {
            double sumW = 0.0, sumWV = 0.0;
            for (int k = i - winSize / 2; k < i - winSize / 2 + winSize; k++) {
                if (k < 0 || k >= (int)data.size())
                    continue;
                double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * (k - i + winSize / 2) / (winSize - 1));
                sumW += w;
                sumWV += w * data[k];
            }
            ASSERT_NEAR(smoothed[i], sumWV / sumW, 1e-5) << "win " << winSize << " at " << i;
        }
    }
    // A flat profile stays flat, edges included; a one-point window changes nothing.
    std::vector<float> flat(50, 0.25f);
    smoother.Smooth(&flat, 9);
    for (float v : flat)
        EXPECT_NEAR(v, 0.25f, 1e-6);
    std::vector<float> same = data;
    smoother.Smooth(&same, 1);
    EXPECT_EQ(same, data);
}

class ChromaAtRateTest : public testing::TestWithParam<double> {
protected:
    void SetUp() override { EngineRate::Set(GetParam()); }
    void TearDown() override { EngineRate::Set(EngineRate::REFERENCE_RATE); }
};

TEST_P(ChromaAtRateTest, ChromagramPeaksAtThePlayedPitchClass)
{
    // A4 (440 Hz) on the left, E5 (659.26 Hz) on the right, at the engine's
    // rate: each image peaks within half a semitone of its note's place on the circle.
    const int nFrames = 20 * 512 + 100;
    std::vector<float> x = StereoSines(nFrames, 440.0, 659.26, GetParam());
    struct Case {
        int chan;
        double semitones;
    };
    for (Case cs : {Case{0, 9.0}, Case{1, 4.0}}) {
        Spectrogram* chroma = SamplesToSpectro::SamplesToChromagram(x, nFrames, 2, cs.chan);
        ASSERT_EQ(chroma->GetNumCols(), 16);
        const uint8_t* image = chroma->GetImageLevels();
        ASSERT_NE(image, nullptr);
        for (int c = 0; c < chroma->GetNumCols(); c++) {
            // The image keeps levels, and a loud pitch class saturates at
            // the top one: the peak is the middle of the brightest stretch.
            const uint8_t* first = image + c * NUM_BINS;
            uint8_t top = *std::max_element(first, first + NUM_BINS);
            double sum = 0.0;
            int count = 0;
            for (int i = 0; i < NUM_BINS; i++) {
                if (first[i] == top) {
                    sum += i;
                    count++;
                }
            }
            ASSERT_LT(count, NUM_BINS / 6) << "chan " << cs.chan << " col " << c;
            ASSERT_NEAR(sum / count, ChromaPosition(cs.semitones), NUM_BINS / 24.0)
                << "chan " << cs.chan << " col " << c;
        }
        delete chroma;
    }
}

INSTANTIATE_TEST_SUITE_P(AtTheEnginesRate, ChromaAtRateTest, testing::Values(44100.0, 96000.0));

TEST(ChromaTest, ChromagramStoresThePlainSpectrumBesideItsImage)
{
    const int nFrames = 12 * 512 + 7;
    std::vector<float> x = StereoSines(nFrames, 440.0, 1000.0);
    Spectrogram* spectro = SamplesToSpectro::SamplesToSpectrogram(x, nFrames, 2, 1);
    Spectrogram* chroma = SamplesToSpectro::SamplesToChromagram(x, nFrames, 2, 1);
    std::vector<float> a, b;
    ASSERT_EQ(spectro->GetNumCols(), chroma->GetNumCols());
    for (int c = 0; c < spectro->GetNumCols(); c++) {
        spectro->GetCol(c, &a);
        chroma->GetCol(c, &b);
        ASSERT_EQ(a, b) << c;
    }
    size_t numLevels = (size_t)spectro->GetNumCols() * NUM_BINS;
    EXPECT_FALSE(
        std::equal(spectro->GetImageLevels(), spectro->GetImageLevels() + numLevels, chroma->GetImageLevels()));
    delete spectro;
    delete chroma;
}

TEST(ChromaTest, OnePassAnalysisEqualsTheTwoSeparateAnalyses)
{
    srand(22);
    const int nFrames = 3 * 44100 + 333;
    std::vector<float> x = RichStereo(nFrames);
    for (int chan = 0; chan < 2; chan++) {
        Spectrogram* directSpectro = SamplesToSpectro::SamplesToSpectrogram(x, nFrames, 2, chan);
        Spectrogram* directChroma = SamplesToSpectro::SamplesToChromagram(x, nFrames, 2, chan);
        Spectrogram *spectro = nullptr, *chroma = nullptr;
        SamplesToSpectro::AnalyseChannel(x, nFrames, 2, chan, &spectro, &chroma);
        ASSERT_EQ(spectro->GetNumCols(), SamplesToSpectro::NumCols(nFrames));
        EXPECT_TRUE(spectro->OwnsColumns());
        EXPECT_FALSE(chroma->OwnsColumns());

        // The one pass stores principal values as it goes; the direct stores
        // are prepared the way the sound rect asks, once through either image.
        directSpectro->PreProcessPhases();
        directChroma->PreProcessPhases();
        spectro->PreProcessPhases();
        chroma->PreProcessPhases();
        ExpectSameAnalysis(directSpectro, spectro, "spectrogram");
        ExpectSameAnalysis(directChroma, chroma, "chromagram");
        std::vector<float> a, b;
        for (double pos : {0.0, 10.3, 200.75}) {
            directChroma->GetCol(pos, &a);
            chroma->GetCol(pos, &b);
            double energy = 0.0, error = 0.0;
            for (size_t i = 0; i < a.size(); i++) {
                energy += (double)a[i] * a[i];
                error += ((double)a[i] - b[i]) * ((double)a[i] - b[i]);
            }
            // At least 60 dB between the resynthesised column and its difference.
            EXPECT_LT(error, 1e-6 * energy) << pos;
        }
        delete chroma;
        delete spectro;
        delete directChroma;
        delete directSpectro;
    }
}

TEST(ChromaTest, OnePassAnalysisHandlesShortSoundsAndMissingChannels)
{
    std::vector<float> x = StereoSines(2000, 440.0, 440.0);
    Spectrogram *spectro = nullptr, *chroma = nullptr;
    SamplesToSpectro::AnalyseChannel(x, 2000, 2, 1, &spectro, &chroma);
    EXPECT_EQ(spectro->GetNumCols(), 0);
    EXPECT_EQ(chroma->GetNumCols(), 0);
    std::vector<float> col;
    chroma->GetCol(0.5, &col);
    EXPECT_EQ(col, std::vector<float>(2 * FFT_SIZE, 0.0f));
    delete chroma;
    delete spectro;

    // A channel the sound does not have gives a silent store, as the
    // separate analysis does.
    x = StereoSines(4000, 440.0, 440.0);
    SamplesToSpectro::AnalyseChannel(x, 4000, 2, 2, &spectro, &chroma);
    ASSERT_EQ(spectro->GetNumCols(), 3);
    for (int c = 0; c < 3; c++) {
        spectro->GetCol(c, &col);
        EXPECT_EQ(col, std::vector<float>(2 * FFT_SIZE, 0.0f));
    }
    delete chroma;
    delete spectro;
}

TEST(ChromaTest, SoundsAnalysedOnSeveralThreadsGiveTheSequentialResults)
{
    srand(23);
    const int nFrames = 44100;
    std::vector<float> sounds[3] = {RichStereo(nFrames), StereoSines(nFrames, 220.0, 330.0), RichStereo(nFrames)};
    Spectrogram* parallel[3][2][2];
    std::vector<std::thread> threads;
    for (int s = 0; s < 3; s++) {
        threads.emplace_back([&, s] {
            for (int chan = 0; chan < 2; chan++)
                SamplesToSpectro::AnalyseChannel(sounds[s], nFrames, 2, chan, &parallel[s][chan][0],
                                                 &parallel[s][chan][1]);
        });
    }
    for (std::thread& t : threads)
        t.join();
    for (int s = 0; s < 3; s++) {
        for (int chan = 0; chan < 2; chan++) {
            Spectrogram *spectro = nullptr, *chroma = nullptr;
            SamplesToSpectro::AnalyseChannel(sounds[s], nFrames, 2, chan, &spectro, &chroma);
            ExpectSameStore(spectro, parallel[s][chan][0], "spectrogram");
            ExpectSameStore(chroma, parallel[s][chan][1], "chromagram");
            delete chroma;
            delete spectro;
            delete parallel[s][chan][1];
            delete parallel[s][chan][0];
        }
    }
}
