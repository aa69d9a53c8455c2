#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "spectral/ChromaToSamplesOverlapAddProcessor.h"
#include "spectral/OverlapAdd.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/SpectroToSamples.h"
#include "spectral/SpectroToSamplesOverlapAddProcessor.h"
#include "spectral/Spectrogram.h"

namespace {

const int N = SamplesToSpectro::FFT_SIZE;
const int HOP = SamplesToSpectro::HOP;
const int SOUND_FRAMES = 2 * 44100;
const double TOLERANCE = 1e-5;

// The direct path of the resynthesis: every frame the processor writes as a
// full complex spectrum, transformed back by the general complex transform of
// the frame engine and overlap-added there, the stream's surplus kept in a
// plain vector. It is the engine as it was first
// written, before its memory and time were cut.
class DirectEngine {
public:
    explicit DirectEngine(SpectroToSamplesOverlapAddProcessor* processor)
        : _processor(processor), _overlapAdd(N, N / HOP, false, true, 1)
    {
        _overlapAdd.AddProcessor(_processor.get());
    }

    void Process(std::vector<float>* samples, const double* selSamples, const double* selFreq, double timeStretch,
                 double direction, double pitchShift)
    {
        double band[2] = {selFreq[0], selFreq[1]};
        _processor->SetSelFreq(band);
        double speed = (direction < 0.0 ? -1.0 : 1.0) * timeStretch * pitchShift;
        _processor->SetTimeStretch(speed);
        _processor->SetPitchShift(pitchShift);
        size_t count = (size_t)std::max((int)(selSamples[1] - selSamples[0]), 0);
        samples->assign(count, 0.0f);
        double start = direction > 0.0 ? selSamples[0] : selSamples[1] - 1.0;
        _overlapAdd.GetOutSamples(&_pending);
        // The middle of the next frame is heard where the position will be.
        const double middle = N / 2.0;
        _processor->SetSpectroColNum((start + speed * ((double)_pending.size() + middle) - middle) / HOP);
        size_t filled = 0;
        while (filled < count) {
            _overlapAdd.GetOutSamples(&_pending);
            size_t n = std::min(_pending.size(), count - filled);
            std::copy_n(_pending.begin(), n, samples->begin() + filled);
            _overlapAdd.FlushOutSamples((int)n);
            filled += n;
            if (filled < count)
                _overlapAdd.Feed(std::vector<float>(HOP, 0.0f), HOP, 1);
        }
    }

private:
    std::unique_ptr<SpectroToSamplesOverlapAddProcessor> _processor;
    OverlapAdd _overlapAdd;
    std::vector<float> _pending;
};

// One request of a voice's stream.
struct Request {
    double start, end, lo, hi, stretch, direction, pitch;
};

// What a voice asks of an engine over a while: half blocks read straight on,
// at pitches up and down, backwards, with jumps to other places (new grains),
// bands from a sliver to the whole range and one that holds nothing, windows
// reaching past the end of the sound, requests shorter and longer than a hop.
std::vector<Request> VoiceRequests()
{
    std::vector<Request> requests;
    double pos = 20000.0;
    const double pitches[] = {1.0, 2.0, 0.5, 1.5, 3.0, 1.0, 0.75, 1.0};
    for (int i = 0; i < 64; i++) {
        double pitch = pitches[(i / 4) % 8];
        double stretch = i % 16 < 12 ? 1.0 : 0.6;
        double direction = (i / 8) % 3 == 2 ? -1.0 : 1.0;
        int frames = 512 + (i % 5 == 0 ? 37 : 0);
        double lo = 0.05 * (i % 7), hi = std::min(lo + 0.1 + 0.2 * (i % 3), 1.0);
        if (i % 11 == 10)
            hi = lo;
        if (i % 13 == 12)
            pos = 5000.0 + 9000.0 * (i % 4);
        if (i == 40)
            pos = SOUND_FRAMES - 700.0;
        requests.push_back({pos, pos + frames, lo, hi, stretch, direction, pitch});
        pos += direction * frames * stretch * pitch;
        if (i % 6 == 5)
            requests.push_back({pos, pos + 100.0, 0.0, 1.0, 1.0, 1.0, 1.0});
    }
    return requests;
}

// A chord over noise at about half of full scale, analysed as at start-up.
class SpectralEngineReferenceTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::srand(5);
        std::vector<float> samples(SOUND_FRAMES);
        for (int f = 0; f < SOUND_FRAMES; f++) {
            double t = f / 44100.0;
            samples[f] = (float)(0.15 * (std::sin(2 * M_PI * 220.0 * t) + std::sin(2 * M_PI * 331.0 * t) +
                                         std::sin(2 * M_PI * 1870.0 * t)) +
                                 0.05 * (2.0 * std::rand() / RAND_MAX - 1.0));
        }
        _spectro.reset(SamplesToSpectro::SamplesToSpectrogram(samples, SOUND_FRAMES, 1, 0));
        _spectro->PreProcessPhases();
    }

    SpectroToSamplesOverlapAddProcessor* NewProcessor(bool chroma) const
    {
        if (chroma)
            return new ChromaToSamplesOverlapAddProcessor(N, 44100.0, _spectro.get());
        return new SpectroToSamplesOverlapAddProcessor(_spectro.get());
    }

    // The engine's and the direct path's answers to every request, side by side.
    void ExpectSameStream(bool chroma)
    {
        SpectroToSamples engine(NewProcessor(chroma));
        DirectEngine direct(NewProcessor(chroma));
        double loudest = 0.0;
        std::vector<float> got, expected;
        std::vector<Request> requests = VoiceRequests();
        for (size_t r = 0; r < requests.size(); r++) {
            const Request& q = requests[r];
            const double window[2] = {q.start, q.end}, band[2] = {q.lo, q.hi};
            engine.Process(&got, window, band, q.stretch, q.direction, q.pitch);
            direct.Process(&expected, window, band, q.stretch, q.direction, q.pitch);
            ASSERT_EQ(got.size(), expected.size()) << "request " << r;
            for (size_t i = 0; i < got.size(); i++) {
                ASSERT_NEAR(got[i], expected[i], TOLERANCE) << "request " << r << " frame " << i;
                loudest = std::max(loudest, (double)std::fabs(expected[i]));
            }
        }
        // The comparison was made on sound, not on silence.
        EXPECT_GT(loudest, 0.1);
    }

    // The engine's whole answer to the voice's requests.
    std::vector<float> Render(SpectroToSamples* engine) const
    {
        std::vector<float> stream, out;
        for (const Request& q : VoiceRequests()) {
            const double window[2] = {q.start, q.end}, band[2] = {q.lo, q.hi};
            engine->Process(&out, window, band, q.stretch, q.direction, q.pitch);
            stream.insert(stream.end(), out.begin(), out.end());
        }
        return stream;
    }

    std::unique_ptr<Spectrogram> _spectro;
};

}  // namespace

TEST_F(SpectralEngineReferenceTest, SpectrogramStreamIsTheDirectOverlapAdd)
{
    ExpectSameStream(false);
}

TEST_F(SpectralEngineReferenceTest, ChromagramStreamIsTheDirectOverlapAdd)
{
    ExpectSameStream(true);
}

TEST_F(SpectralEngineReferenceTest, EnginesRenderingOnTwoThreadsAtOnceDoNotDisturbEachOther)
{
    // The working memory of a frame is shared between engines; two threads
    // that render at the same moment must each get their own.
    const int numEngines = 4;
    std::vector<float> alone[2];
    for (int chroma = 0; chroma < 2; chroma++) {
        SpectroToSamples engine(NewProcessor(chroma == 1));
        alone[chroma] = Render(&engine);
    }
    std::atomic<int> ready{0};
    std::vector<float> together[2][numEngines];
    auto renderAll = [&](int chroma) {
        std::vector<std::unique_ptr<SpectroToSamples>> engines;
        for (int e = 0; e < numEngines; e++)
            engines.emplace_back(new SpectroToSamples(NewProcessor(chroma == 1)));
        ready++;
        while (ready.load() < 2) {
        }
        for (int e = 0; e < numEngines; e++)
            together[chroma][e] = Render(engines[e].get());
    };
    std::thread spectrogram(renderAll, 0), chromagram(renderAll, 1);
    spectrogram.join();
    chromagram.join();
    for (int chroma = 0; chroma < 2; chroma++)
        for (int e = 0; e < numEngines; e++)
            EXPECT_EQ(together[chroma][e], alone[chroma]) << (chroma ? "chromagram" : "spectrogram") << " engine " << e;
}
