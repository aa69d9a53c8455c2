#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

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
std::vector<float> StereoSines(int nFrames, double hzLeft, double hzRight)
{
    std::vector<float> x(2 * nFrames);
    for (int i = 0; i < nFrames; i++) {
        x[2 * i] = (float)(0.5 * std::sin(2.0 * M_PI * hzLeft * i / SR));
        x[2 * i + 1] = (float)(0.5 * std::sin(2.0 * M_PI * hzRight * i / SR));
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
    EXPECT_EQ(*a->GetMagnDataDisp(), *b->GetMagnDataDisp()) << what << " image";
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
        v = (float)std::rand() / RAND_MAX;
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

TEST(ChromaTest, ChromagramPeaksAtThePlayedPitchClass)
{
    // A4 (440 Hz) on the left, E5 (659.26 Hz) on the right: each image peaks
    // within half a semitone of its note's place on the circle.
    const int nFrames = 20 * 512 + 100;
    std::vector<float> x = StereoSines(nFrames, 440.0, 659.26);
    struct Case {
        int chan;
        double semitones;
    };
    for (Case cs : {Case{0, 9.0}, Case{1, 4.0}}) {
        Spectrogram* chroma = SamplesToSpectro::SamplesToChromagram(x, nFrames, 2, cs.chan);
        ASSERT_EQ(chroma->GetNumCols(), 16);
        const std::vector<float>& image = *chroma->GetMagnDataDisp();
        for (int c = 0; c < chroma->GetNumCols(); c++) {
            auto first = image.begin() + c * NUM_BINS;
            int peak = (int)(std::max_element(first, first + NUM_BINS) - first);
            ASSERT_NEAR(peak, ChromaPosition(cs.semitones), NUM_BINS / 24.0) << "chan " << cs.chan << " col " << c;
        }
        delete chroma;
    }
}

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
    EXPECT_NE(*spectro->GetMagnDataDisp(), *chroma->GetMagnDataDisp());
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

        ExpectSameStore(directSpectro, spectro, "spectrogram");
        ExpectSameStore(directChroma, chroma, "chromagram");

        // Unwrapping is asked of both images, as the sound rect does, but the
        // shared phases must be unwrapped once, like each separate copy.
        directSpectro->PreProcessPhases();
        directChroma->PreProcessPhases();
        spectro->PreProcessPhases();
        chroma->PreProcessPhases();
        ExpectSameStore(directSpectro, spectro, "unwrapped spectrogram");
        ExpectSameStore(directChroma, chroma, "unwrapped chromagram");
        std::vector<float> a, b;
        for (double pos : {0.0, 10.3, 200.75}) {
            directChroma->GetCol(pos, &a);
            chroma->GetCol(pos, &b);
            EXPECT_EQ(a, b) << pos;
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
