#include <gtest/gtest.h>

#include "AnalysedSound.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "app/App.h"
#include "sound/SoundRect.h"
#include "sound/SpectralEnginePool.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "spectral/Algos.h"
#include "spectral/ChromaToSamplesOverlapAddProcessor.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Scale.h"
#include "spectral/SpectroToSamples.h"
#include "spectral/SpectroToSamplesOverlapAddProcessor.h"
#include "spectral/Spectrogram.h"
#include "ui/UISoundRect.h"

namespace {

const int N = 2048;
const int HOP = 512;
const double FULL[2] = {0.0, 1.0};

// A store of numCols columns of random complex bins, phases prepared as the
// sound rect leaves them.
std::unique_ptr<Spectrogram> RandomSpectrogram(int numCols, unsigned seed)
{
    srand(seed);
    auto spectro = std::make_unique<Spectrogram>(N, numCols);
    std::vector<float> col(2 * N);
    for (int c = 0; c < numCols; c++) {
        for (float& v : col)
            v = 2.0f * rand() / (float)RAND_MAX - 1.0f;
        spectro->SetCol(c, col);
    }
    spectro->PreProcessPhases();
    return spectro;
}

// Every bin (1, 0): after the band selection a bin is silent exactly when it
// was dropped.
std::unique_ptr<Spectrogram> FlatSpectrogram()
{
    auto spectro = std::make_unique<Spectrogram>(N, 2);
    std::vector<float> col(2 * N, 0.0f);
    for (int b = 0; b < N; b++)
        col[2 * b] = 1.0f;
    spectro->SetCol(0, col);
    spectro->SetCol(1, col);
    spectro->PreProcessPhases();
    return spectro;
}

// The synthesised frame of the stored spectrum at column position col, as a
// fresh stream makes it, computed directly: magnitudes interpolated between
// the neighbouring columns and phases the shorter way round between them, the real signal with that
// lower half (twice the cosine of each bin above the constant one), scaled by
// 1/N and the resynthesis level, weighted by the symmetric Hann window.
std::vector<double> ReferenceFrame(const Spectrogram& spectro, double col)
{
    int c0 = std::min((int)col, spectro.GetNumCols() - 2);
    double t = col - c0;
    std::vector<float> m0, m1, p0, p1;
    spectro.GetMagnCol(c0, &m0);
    spectro.GetMagnCol(c0 + 1, &m1);
    spectro.GetPhaseCol(c0, &p0);
    spectro.GetPhaseCol(c0 + 1, &p1);
    const double gain = Scale::DbToAmp(SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB) / 1.5;
    std::vector<double> frame(N);
    for (int n = 0; n < N; n++) {
        double sum = 0.0;
        for (int b = 0; b < N / 2; b++) {
            double m = (1.0 - t) * m0[b] + t * m1[b];
            double phase = p0[b] + t * std::remainder((double)p1[b] - p0[b], 2.0 * M_PI);
            sum += (b == 0 ? 1.0 : 2.0) * m * std::cos(phase + 2.0 * M_PI * (double)((long)b * n % N) / N);
        }
        double hann = 0.5 * (1.0 - std::cos(2.0 * M_PI * n / (N - 1)));
        frame[n] = gain * sum / N * hann;
    }
    return frame;
}

// Hop h of an overlap-add stream of frames one hop apart, the first frame
// starting the stream.
std::vector<double> ReferenceHop(const std::vector<std::vector<double>>& frames, int h)
{
    std::vector<double> hop(HOP, 0.0);
    for (int j = 0; j < 4; j++) {
        if (h - j < 0 || h - j >= (int)frames.size())
            continue;
        for (int n = 0; n < HOP; n++)
            hop[n] += frames[h - j][j * HOP + n];
    }
    return hop;
}

void ExpectHopsMatch(const std::vector<float>& out, const std::vector<std::vector<double>>& frames, int firstHop,
                     int numHops)
{
    for (int h = 0; h < numHops; h++) {
        std::vector<double> expected = ReferenceHop(frames, firstHop + h);
        for (int n = 0; n < HOP; n++)
            ASSERT_NEAR(out[h * HOP + n], expected[n], 2e-5) << "hop " << firstHop + h << " sample " << n;
    }
}

// Counts the frames it writes.
class CountingProcessor : public SpectroToSamplesOverlapAddProcessor {
public:
    CountingProcessor(Spectrogram* spectro, int* frames) : SpectroToSamplesOverlapAddProcessor(spectro), _frames(frames)
    {
    }
    void ProcessFFT(std::vector<float>* compBuf, int chanNum) override
    {
        (*_frames)++;
        SpectroToSamplesOverlapAddProcessor::ProcessFFT(compBuf, chanNum);
    }

private:
    int* _frames;
};

std::vector<float> Play(SpectroToSamples* engine, double start, double end, const double* band = FULL,
                        double stretch = 1.0, double direction = 1.0, double pitch = 1.0)
{
    std::vector<float> out;
    double window[2] = {start, end};
    engine->Process(&out, window, band, stretch, direction, pitch);
    return out;
}

// The bins the processor leaves in the spectrum it writes.
std::vector<int> KeptBins(OverlapAddProcessor* processor, double lo, double hi)
{
    double band[2] = {lo, hi};
    processor->SetSelFreq(band);
    processor->SetSpectroColNum(0.0);
    std::vector<float> spectrum(2 * N, 0.0f);
    processor->ProcessFFT(&spectrum, 0);
    std::vector<int> kept;
    for (int b = 0; b < N; b++)
        if (spectrum[2 * b] != 0.0f || spectrum[2 * b + 1] != 0.0f)
            kept.push_back(b);
    return kept;
}

// Pitch class of an FFT bin in chroma bins (N per octave, C at 0), from its
// frequency; the upper half of the spectrum folds back onto the lower.
int ReferenceChromaBin(int bin)
{
    int folded = bin > N / 2 ? N - bin - 1 : bin;
    if (folded == 0)
        return 0;
    double hz = folded * 44100.0 / N;
    double semitones = 12.0 * std::log2(hz / 16.351597831287418);
    double pitchClass = std::fmod(semitones - 1.0 / 12.0, 12.0);
    return (int)std::lround(N * pitchClass / 12.0);
}

// The chromagram picture's row of a bin below Nyquist: the pitch class of
// the bin twice as high, in half the chroma bins; the constant bin is not drawn.
int ReferenceRow(int bin)
{
    return bin == 0 ? N / 2 : (int)(0.5 * ReferenceChromaBin(2 * bin));
}

}  // namespace

TEST(LinearResampleTest, InterpolatesAndEndsOnTheLastInput)
{
    std::vector<float> ramp = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<float> same(10);
    Algos::LinearResample(ramp, &same);
    EXPECT_EQ(same, ramp);

    // Step 2.5: positions 0, 2.5, 5, 7.5, but the last sample is the last input.
    std::vector<float> shorter(4);
    Algos::LinearResample(ramp, &shorter);
    EXPECT_EQ(shorter, (std::vector<float>{0.0f, 2.5f, 5.0f, 9.0f}));

    // Step 0.4 over two samples: from position 1 on there is no right
    // neighbour, and the value holds instead of reaching past the end.
    std::vector<float> two = {0.0f, 1.0f};
    std::vector<float> longer(5);
    Algos::LinearResample(two, &longer);
    ASSERT_EQ(longer.size(), 5u);
    EXPECT_FLOAT_EQ(longer[0], 0.0f);
    EXPECT_FLOAT_EQ(longer[1], 0.4f);
    EXPECT_FLOAT_EQ(longer[2], 0.8f);
    EXPECT_FLOAT_EQ(longer[3], 1.0f);
    EXPECT_FLOAT_EQ(longer[4], 1.0f);

    std::vector<float> one = {3.0f};
    std::vector<float> spread(3);
    Algos::LinearResample(one, &spread);
    EXPECT_EQ(spread, (std::vector<float>{3.0f, 3.0f, 3.0f}));
}

TEST(SpectroBandTest, QuarterBandKeepsOneBinAndItsMirror)
{
    auto spectro = FlatSpectrogram();
    SpectroToSamplesOverlapAddProcessor processor(spectro.get());
    EXPECT_EQ(KeptBins(&processor, 0.25, 0.25), (std::vector<int>{256, 1792}));
    // Only the constant bin lies at the bottom; the full band keeps all but
    // the Nyquist bin, which the stored columns do not hold.
    EXPECT_EQ(KeptBins(&processor, 0.0, 0.0), (std::vector<int>{0}));
    EXPECT_EQ(KeptBins(&processor, 0.0, 1.0).size(), (size_t)N - 1);
    // Bins 100 ... 200 and their mirrors 1848 ... 1948.
    std::vector<int> kept = KeptBins(&processor, 200.0 / N, 400.0 / N);
    ASSERT_EQ(kept.size(), 202u);
    EXPECT_EQ(kept.front(), 100);
    EXPECT_EQ(kept[100], 200);
    EXPECT_EQ(kept[101], 1848);
    EXPECT_EQ(kept.back(), 1948);
}

TEST(SpectroBandTest, ChromaBandKeepsTheBinsOfItsPitchClasses)
{
    auto spectro = FlatSpectrogram();
    ChromaToSamplesOverlapAddProcessor processor(N, 44100.0, spectro.get());
    // From three semitones above C to six (D# ... F#) of the picture, in
    // every octave: the bins whose rows lie there, and their mirrors.
    std::vector<int> kept = KeptBins(&processor, 0.25, 0.5);
    std::vector<int> expected;
    for (int b = 0; b < N / 2; b++) {
        double middle = (ReferenceRow(b) + 0.5) / (N / 2);
        if (middle >= 0.25 && middle <= 0.5)
            expected.push_back(b);
    }
    for (int i = (int)expected.size() - 1; i >= 0; i--)
        if (expected[i] > 0)
            expected.push_back(N - expected[i]);
    EXPECT_EQ(kept, expected);
    EXPECT_GT(kept.size(), 200u);
    EXPECT_LT(kept.size(), 1000u);
    // Bin 20 (431 Hz, near A4) lies outside the band, bin 15 (323 Hz,
    // between D#4 and E4) in it, and so does its octave, bin 30.
    EXPECT_EQ(std::count(kept.begin(), kept.end(), 20), 0);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), 15), 1);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), 30), 1);
}

TEST(SpectroToSamplesTest, FreshEngineSynthesisesConsecutiveColumns)
{
    auto spectro = RandomSpectrogram(8, 11);
    int frames = 0;
    SpectroToSamples engine(new CountingProcessor(spectro.get(), &frames));
    std::vector<std::vector<double>> columns;
    for (int c = 2; c <= 4; c++)
        columns.push_back(ReferenceFrame(*spectro, c));

    // Five blocks before the first frame: one frame after the first hop's request.
    std::vector<float> out = Play(&engine, 2 * HOP, 3 * HOP);
    EXPECT_EQ(frames, 1);
    ASSERT_EQ(out.size(), (size_t)HOP);
    ExpectHopsMatch(out, columns, 0, 1);

    // Later calls continue the stream, one frame per hop.
    out = Play(&engine, 3 * HOP, 5 * HOP);
    EXPECT_EQ(frames, 3);
    ASSERT_EQ(out.size(), 2u * HOP);
    ExpectHopsMatch(out, columns, 1, 2);
}

TEST(SpectroToSamplesTest, SurplusOutputStartsTheNextCall)
{
    auto spectro = RandomSpectrogram(8, 12);
    int frames = 0;
    SpectroToSamples engine(new CountingProcessor(spectro.get(), &frames));
    std::vector<std::vector<double>> columns = {ReferenceFrame(*spectro, 0.0), ReferenceFrame(*spectro, 1.0)};
    std::vector<float> first = Play(&engine, 0.0, 100.0);
    std::vector<float> rest = Play(&engine, 100.0, 512.0);
    EXPECT_EQ(frames, 1);
    first.insert(first.end(), rest.begin(), rest.end());
    // Column 1 next: the position is taken from the window's start.
    std::vector<float> next = Play(&engine, 512.0, 1024.0);
    EXPECT_EQ(frames, 2);
    first.insert(first.end(), next.begin(), next.end());
    ExpectHopsMatch(first, columns, 0, 2);
}

TEST(SpectroToSamplesTest, BeyondTheColumnsIsSilence)
{
    auto spectro = RandomSpectrogram(4, 13);
    SpectroToSamples engine(new SpectroToSamplesOverlapAddProcessor(spectro.get()));
    // From column 3 on, six frames: the last column, then nothing.
    std::vector<float> out = Play(&engine, 3 * HOP, 9 * HOP);
    ASSERT_EQ(out.size(), 6u * HOP);
    ExpectHopsMatch(out, {ReferenceFrame(*spectro, 3.0)}, 0, 6);

    // At 50 columns per frame even the first frame's middle, where the
    // position is half a frame on, lies far beyond the end: nothing.
    SpectroToSamples jumping(new SpectroToSamplesOverlapAddProcessor(spectro.get()));
    out = Play(&jumping, 2 * HOP, 8 * HOP, FULL, 50.0);
    ExpectHopsMatch(out, {}, 0, 6);

    // Backwards three columns per frame from the window's last frame, 8703,
    // each frame's middle where the position is by then: columns
    // (8703 - 3 * 1024 - 1024) / 512 = 8.998, 5.998, 2.998, then before the
    // first column. The first frame starts afresh; the third one's last
    // quarter is hop 5, and hop 6 is silent.
    auto longer = RandomSpectrogram(17, 14);
    SpectroToSamples backwards(new SpectroToSamplesOverlapAddProcessor(longer.get()));
    out = Play(&backwards, 10 * HOP, 17 * HOP, FULL, 3.0, -1.0);
    ASSERT_EQ(out.size(), 7u * HOP);
    ExpectHopsMatch(out, {ReferenceFrame(*longer, (8703.0 - 4096.0) / HOP)}, 0, 1);
    EXPECT_NE(out[5 * HOP], 0.0f);
    for (int n = 0; n < HOP; n++)
        ASSERT_EQ(out[6 * HOP + n], 0.0f) << n;
}

TEST(SpectroToSamplesTest, EmptyStorePlaysSilence)
{
    Spectrogram empty(N, -3);
    SpectroToSamples engine(new SpectroToSamplesOverlapAddProcessor(&empty));
    SpectroToSamples chroma(new ChromaToSamplesOverlapAddProcessor(N, 44100.0, &empty));
    for (SpectroToSamples* e : {&engine, &chroma}) {
        for (double direction : {1.0, -1.0}) {
            std::vector<float> out = Play(e, 100.0, 3000.0, FULL, 2.0, direction);
            ASSERT_EQ(out.size(), 2900u);
            for (float v : out)
                ASSERT_EQ(v, 0.0f);
        }
    }
}

TEST(SpectroToSamplesTest, APitchedWindowGivesAFramePerFrameAndTheNextGoesOn)
{
    auto spectro = RandomSpectrogram(12, 16);
    int frames = 0;
    SpectroToSamples engine(new CountingProcessor(spectro.get(), &frames));
    // At pitch 2 a window of two hops is two hops of output (reading four
    // hops of the sound); the next window, four hops on, continues the
    // stream where it is: one frame more per hop, none made again.
    std::vector<float> first = Play(&engine, 0.0, 2 * HOP, FULL, 1.0, 1.0, 2.0);
    ASSERT_EQ(first.size(), 2u * HOP);
    EXPECT_EQ(frames, 2);
    std::vector<float> next = Play(&engine, 4 * HOP, 6 * HOP, FULL, 1.0, 1.0, 2.0);
    ASSERT_EQ(next.size(), 2u * HOP);
    EXPECT_EQ(frames, 4);
    // The second window's first hop still carries the first window's frames.
    SpectroToSamples fresh(new SpectroToSamplesOverlapAddProcessor(spectro.get()));
    EXPECT_NE(next, Play(&fresh, 4 * HOP, 6 * HOP, FULL, 1.0, 1.0, 2.0));
}

TEST(SpectroToSamplesTest, ClonesPlayLikeFreshEnginesAndShareThePitchClassTable)
{
    auto spectro = RandomSpectrogram(30, 17);
    const double band[2] = {0.2, 0.7};
    auto spectroProcessor = [&]() { return new SpectroToSamplesOverlapAddProcessor(spectro.get()); };
    auto chromaProcessor = [&]() { return new ChromaToSamplesOverlapAddProcessor(N, 44100.0, spectro.get()); };
    for (bool chroma : {false, true}) {
        SpectroToSamples origin(chroma ? chromaProcessor() : spectroProcessor());
        // The origin is in the middle of a stream; its copies start afresh.
        Play(&origin, 0.0, 3000.0, band, 0.7, 1.0, 1.3);
        std::unique_ptr<SpectroToSamples> clone(origin.Clone());
        std::unique_ptr<SpectroToSamples> cloneOfClone(clone->Clone());
        SpectroToSamples fresh(chroma ? chromaProcessor() : spectroProcessor());
        for (double start : {4000.0, 6100.0}) {
            std::vector<float> expected = Play(&fresh, start, start + 1500.0, band, 1.4, -1.0, 0.8);
            EXPECT_EQ(Play(clone.get(), start, start + 1500.0, band, 1.4, -1.0, 0.8), expected) << chroma;
            EXPECT_EQ(Play(cloneOfClone.get(), start, start + 1500.0, band, 1.4, -1.0, 0.8), expected) << chroma;
        }
    }

    ChromaToSamplesOverlapAddProcessor origin(N, 44100.0, spectro.get());
    std::unique_ptr<OverlapAddProcessor> clone(origin.Clone());
    std::unique_ptr<OverlapAddProcessor> cloneOfClone(clone->Clone());
    const std::vector<int>& table = origin.GetChromaBins();
    EXPECT_EQ(&static_cast<ChromaToSamplesOverlapAddProcessor*>(clone.get())->GetChromaBins(), &table);
    EXPECT_EQ(&static_cast<ChromaToSamplesOverlapAddProcessor*>(cloneOfClone.get())->GetChromaBins(), &table);
    ASSERT_EQ(table.size(), (size_t)N / 2);
    for (int b = 0; b < N / 2; b += 61)
        EXPECT_EQ(table[b], ReferenceRow(b)) << "bin " << b;
    // The copies keep the bins of the same pitch classes.
    EXPECT_EQ(KeptBins(cloneOfClone.get(), 0.25, 0.5), KeptBins(&origin, 0.25, 0.5));
}

namespace {

// A stereo sound (a different mixture on each channel) analysed as at
// start-up, in a rect with a view.
class SpectralRectTest : public testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        const int frames = 44100;
        srand(21);
        std::vector<float> samples(2 * frames);
        for (int f = 0; f < frames; f++) {
            double t = f / 44100.0;
            double noise = 0.1 * (2.0 * rand() / RAND_MAX - 1.0);
            samples[2 * f] = (float)(0.4 * std::sin(2 * M_PI * 440.0 * t) + noise);
            samples[2 * f + 1] = (float)(0.4 * std::sin(2 * M_PI * 2500.0 * t) - noise);
        }
        SetUpRect(&_rect, samples, frames);
        _view = std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
        _rect.RegisterUI(_view.get());
        _samples = samples;
    }
    void TearDown() override
    {
        for (Spectrogram* s : _owned)
            delete s;
    }

    void SetUpRect(SoundRect* rect, const std::vector<float>& samples, int frames)
    {
        rect->AssociateSamples(samples, frames, 2);
        for (int k = 0; k < 2; k++)
            _owned.push_back(SamplesToSpectro::SamplesToSpectrogram(samples, frames, 2, k));
        for (int k = 0; k < 2; k++)
            rect->AssociateSpectrogram(k, _owned[_owned.size() - 2 + k]);
        for (int k = 0; k < 2; k++)
            _owned.push_back(SamplesToSpectro::SamplesToChromagram(samples, frames, 2, k));
        for (int k = 0; k < 2; k++)
            rect->AssociateChromagram(k, _owned[_owned.size() - 2 + k]);
    }

    // The rect's answer split into its channels.
    static void Split(const std::vector<float>& out, std::vector<float>* left, std::vector<float>* right)
    {
        for (size_t i = 0; i + 1 < out.size(); i += 2) {
            left->push_back(out[i]);
            right->push_back(out[i + 1]);
        }
    }

    // What a lone engine around the processor makes of a request.
    static std::vector<float> Alone(SpectroToSamplesOverlapAddProcessor* processor, double start, double end,
                                    const double* band, double stretch, double direction)
    {
        SpectroToSamples engine(processor);
        return Play(&engine, start, end, band, stretch, direction);
    }

    App _app;
    SoundRect _rect;
    std::unique_ptr<UISoundRect> _view;
    std::vector<float> _samples;
    std::vector<Spectrogram*> _owned;
};

}  // namespace

TEST_F(SpectralRectTest, SpectrogramBandIsTheMelMappedCrossAxisRange)
{
    // The lines 0.4 and 0.6 of the picture, as fractions of Nyquist.
    const double band[2] = {SoundRect::SpectrogramLineToHz(0.4) / 22050.0,
                            SoundRect::SpectrogramLineToHz(0.6) / 22050.0};

    _view->SetRectType(UISoundRect::SPECTROGRAM);
    EXPECT_EQ(_rect.GetBlockMinSamples(), 2048);
    EXPECT_TRUE(_rect.InternalPitchShift());
    _rect.SetParamY(0.5);
    _rect.SetRange(10.0);
    std::vector<float> out, left, right;
    _rect.GetSamples(&out, 8000.0, 9500.0, 1.0, 1.0, 1.0);
    ASSERT_EQ(out.size(), 3000u);
    Split(out, &left, &right);
    for (int k = 0; k < 2; k++) {
        std::vector<float> expected =
            Alone(new SpectroToSamplesOverlapAddProcessor(_rect.GetSpectrogram(k)), 8000.0, 9500.0, band, 1.0, 1.0);
        EXPECT_EQ(k == 0 ? left : right, expected) << "channel " << k;
    }
    // The unmapped band would be another sound.
    const double linear[2] = {0.4, 0.6};
    EXPECT_NE(right, Alone(new SpectroToSamplesOverlapAddProcessor(_rect.GetSpectrogram(1)), 8000.0, 9500.0, linear,
                           1.0, 1.0));
}

TEST_F(SpectralRectTest, ChromagramBandIsTheCrossAxisRangeClamped)
{
    _view->SetRectType(UISoundRect::CHROMAGRAM);
    EXPECT_EQ(_rect.GetBlockMinSamples(), 2048);
    _rect.SetParamY(0.95);
    _rect.SetRange(20.0);
    const double band[2] = {0.75, 1.0};
    std::vector<float> out, left, right;
    _rect.GetSamples(&out, 20000.0, 21024.0, 1.3, -1.0, 1.0);
    Split(out, &left, &right);
    for (int k = 0; k < 2; k++) {
        std::vector<float> expected = Alone(new ChromaToSamplesOverlapAddProcessor(N, 44100.0, _rect.GetChromagram(k)),
                                            20000.0, 21024.0, band, 1.3, -1.0);
        EXPECT_EQ(k == 0 ? left : right, expected) << "channel " << k;
    }
}

TEST_F(SpectralRectTest, StretchedWaveformResynthesisesTheFullBandAtAnyLevel)
{
    _rect.SetParamY(0.3);
    std::vector<float> out, left, right;
    _rect.GetSamples(&out, 5000.0, 6000.0, 2.0, 1.0, 1.0);
    ASSERT_EQ(out.size(), 2000u);
    Split(out, &left, &right);
    // At the cross-axis level, as the plain path, and the stored level.
    const double gain = 0.3 / Scale::DbToAmp(SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB);
    for (int k = 0; k < 2; k++) {
        std::vector<float> expected =
            Alone(new SpectroToSamplesOverlapAddProcessor(_rect.GetSpectrogram(k)), 5000.0, 6000.0, FULL, 2.0, 1.0);
        const std::vector<float>& heard = k == 0 ? left : right;
        ASSERT_EQ(heard.size(), expected.size());
        for (size_t i = 0; i < heard.size(); i++)
            ASSERT_NEAR(heard[i], gain * expected[i], 1e-6) << "channel " << k << " frame " << i;
    }
    // The plain path is still the stored sound at the cross-axis level.
    _rect.GetSamples(&out, 5000.0, 5002.0, 1.0, 1.0, 1.0);
    EXPECT_FLOAT_EQ(out[3], 0.3f * _samples[2 * 5001 + 1]);
}

TEST_F(SpectralRectTest, ClonesOwnTheirEnginesAndShareTheSpectra)
{
    _view->SetRectType(UISoundRect::SPECTROGRAM);
    _rect.SetParamY(0.2);
    std::unique_ptr<SoundRect> busy(static_cast<SoundRect*>(_rect.Clone()));
    std::unique_ptr<SoundRect> clone(static_cast<SoundRect*>(_rect.Clone()));
    // As their voices do when they are made.
    busy->PrepareToRead(1.0);
    clone->PrepareToRead(1.0);
    for (int k = 0; k < 2; k++) {
        EXPECT_EQ(clone->GetSpectrogram(k), _rect.GetSpectrogram(k));
        EXPECT_EQ(clone->GetChromagram(k), _rect.GetChromagram(k));
    }
    // A rect built afresh from the same sound answers the same requests alike.
    SoundRect fresh;
    SetUpRect(&fresh, _samples, 44100);
    fresh.RegisterUI(_view.get());

    std::vector<float> fromClone, fromFresh, fromBusy;
    struct Request {
        double y, start, end, stretch, direction, pitch;
    };
    for (const Request& r : {Request{0.2, 10000, 11000, 1.0, 1.0, 1.0}, Request{0.6, 11000, 11700, 1.0, -1.0, 1.5},
                             Request{0.9, 11700, 13000, 0.5, 1.0, 0.8}}) {
        for (UISoundRect::RectType type : {UISoundRect::SPECTROGRAM, UISoundRect::CHROMAGRAM}) {
            _view->SetRectType(type);
            // The engines of the new view, made between frames.
            _rect.GetEnginePool()->Refill();
            for (SoundRect* rect : {clone.get(), &fresh, busy.get()})
                rect->SetParamY(r.y);
            // Requests to another clone do not move this clone's streams.
            busy->GetSamples(&fromBusy, r.start + 5000, r.end + 5000, 1.0, 1.0, 1.0);
            clone->GetSamples(&fromClone, r.start, r.end, r.stretch, r.direction, r.pitch);
            fresh.GetSamples(&fromFresh, r.start, r.end, r.stretch, r.direction, r.pitch);
            ASSERT_EQ(fromClone.size(), 2u * (size_t)(r.end - r.start));
            EXPECT_EQ(fromClone, fromFresh) << "window at " << r.start << " type " << type;
        }
    }
}

// A voice over a waveform owns no engines. When the view turns to a picture,
// or its grains are stretched, it plays without (silent, or as stored) until
// the GUI's refill has made the engines, then exactly as a voice made with them.
TEST_F(SpectralRectTest, EnginesComeFromThePoolWhenTheReadsNeedThem)
{
    std::unique_ptr<SoundRect> late(static_cast<SoundRect*>(_rect.Clone()));
    late->PrepareToRead(1.0);
    SpectralEnginePool* pool = _rect.GetEnginePool();
    std::vector<float> fromLate, fromMade;

    late->GetSamples(&fromLate, 10000, 11000, 0.5, 1.0, 1.0);
    _rect.GetSamples(&fromMade, 10000, 11000, 1.0, 1.0, 1.0);
    EXPECT_EQ(fromLate, fromMade) << "a stretch without engines plays the grain as stored";

    _view->SetRectType(UISoundRect::CHROMAGRAM);
    late->GetSamples(&fromLate, 10000, 11000, 1.0, 1.0, 1.0);
    EXPECT_EQ(fromLate, std::vector<float>(fromLate.size(), 0.0f));

    pool->Refill();
    // The miss of the stretched grain asked for a spectrogram set as well.
    EXPECT_EQ(pool->ReadySets(SoundRect::SPECTROGRAM), 1);
    EXPECT_EQ(pool->ReadySets(SoundRect::CHROMAGRAM), 1);
    std::unique_ptr<SoundRect> made(static_cast<SoundRect*>(_rect.Clone()));
    made->PrepareToRead(1.0);
    for (double start : {20000.0, 21000.0}) {
        late->GetSamples(&fromLate, start, start + 1000, 1.0, 1.0, 1.0);
        made->GetSamples(&fromMade, start, start + 1000, 1.0, 1.0, 1.0);
        EXPECT_EQ(fromLate, fromMade);
    }
    EXPECT_GT(std::fabs(fromLate[500]), 1e-3f);
    EXPECT_EQ(pool->ReadySets(SoundRect::CHROMAGRAM), 0);
}

// Sets made for voices that never came to take them are freed, so memory
// made for a passing view change goes back.
TEST_F(SpectralRectTest, ReadySetsNobodyTakesAreFreed)
{
    SpectroToSamples prototype(new SpectroToSamplesOverlapAddProcessor(_rect.GetSpectrogram(0)));
    SpectralEnginePool pool(std::chrono::milliseconds(500));
    pool.SetPrototype(SoundRect::SPECTROGRAM, 0, &prototype);
    pool.AddReader();
    pool.Expect(SoundRect::SPECTROGRAM, 3);
    pool.Refill();
    EXPECT_EQ(pool.ReadySets(SoundRect::SPECTROGRAM), 1) << "one reader takes one set at most";
    pool.Refill();
    EXPECT_EQ(pool.ReadySets(SoundRect::SPECTROGRAM), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    pool.Refill();
    EXPECT_EQ(pool.ReadySets(SoundRect::SPECTROGRAM), 0);
    pool.RemoveReader();
}

TEST(SpectralShortSoundTest, SoundsTooShortToAnalysePlaySilence)
{
    App app;
    app.SetWinSize(1000, 600);
    for (int frames : {1500, 2560}) {
        std::vector<float> samples(2 * frames, 0.5f);
        SoundRect rect;
        UISoundRect view(&rect, &app, nullptr, app.GetScreen());
        rect.RegisterUI(&view);
        std::vector<std::unique_ptr<Spectrogram>> spectra;
        AssociateAnalysedSound(&rect, samples, frames, &spectra);
        for (UISoundRect::RectType type : {UISoundRect::SPECTROGRAM, UISoundRect::CHROMAGRAM, UISoundRect::WAVEFORM}) {
            view.SetRectType(type);
            for (double direction : {1.0, -1.0}) {
                std::vector<float> out;
                rect.GetSamples(&out, 10.0, frames - 10.0, 1.7, direction, 1.0);
                ASSERT_EQ(out.size(), 2u * (frames - 20)) << frames;
                for (float v : out)
                    ASSERT_EQ(v, 0.0f) << frames << " frames, type " << type;
            }
        }
    }
}

// Grains shorter than a spectral rect's look-ahead are heard in both
// directions, on the spectrogram and on the chromagram, and each lasts its
// envelope's length.
TEST_F(SpectralRectTest, ShortGrainsOnSpectralViewsAreHeardBothWays)
{
    Envelope envelope(2048);
    for (UISoundRect::RectType type : {UISoundRect::SPECTROGRAM, UISoundRect::CHROMAGRAM}) {
        _view->SetRectType(type);
        for (double direction : {1.0, -1.0}) {
            AudioSource voice({&_rect}, &envelope, 20.0, 1.0, 1.0);
            voice.SetDirection(direction);
            voice.UpdateParams();
            double position = 0.5, paramY = 0.5;
            ASSERT_TRUE(voice.Play(&position, &paramY));
            std::vector<float> out(2 * 2048, 0.0f);
            for (unsigned b = 0; b < 4; b++)
                voice.NextBuffer(&out, 512, 512 * b);
            EXPECT_FALSE(voice.IsPlaying());
            double energy = 0.0;
            for (size_t i = 0; i < 2 * 1764; i++)
                energy += out[i] * out[i];
            EXPECT_GT(energy, 0.01) << "type " << type << " direction " << direction;
            for (size_t i = 2 * 1764; i < out.size(); i++)
                ASSERT_EQ(out[i], 0.0f) << "type " << type << " direction " << direction;
        }
    }
}
