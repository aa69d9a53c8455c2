#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "spectral/DSP.h"

namespace {
const int FRAMES = 44100;
const unsigned BLOCK = 256;
const double PI = 3.141592653589793;

std::vector<float> RandomStereo(int frames)
{
    std::vector<float> x(2 * frames);
    for (float& v : x)
        v = (float)rand() / float(RAND_MAX) - 0.5f;
    return x;
}

// Periodic Hann window at a fractional table position.
double Hann(double pos)
{
    return 0.5 * (1.0 - std::cos(2.0 * PI * pos / 2048.0));
}

class AudioSourceTest : public testing::Test {
protected:
    void SetUp() override
    {
        srand(7);
        _samples = RandomStereo(FRAMES);
        _rect.AssociateSamples(_samples, FRAMES, 2);
    }

    // A voice with its direction and duration applied, as the sources use them.
    std::unique_ptr<AudioSource> Voice(double direction, double durationMs, double pitch = 1.0,
                                       unsigned envelope = Envelope::HANNING)
    {
        std::unique_ptr<AudioSource> voice(new AudioSource({&_rect}, &_env, durationMs, pitch, 1.0));
        voice->SetDirection(direction);
        voice->SetEnvelopeType(envelope);
        voice->UpdateParams();
        return voice;
    }
    static bool Start(AudioSource* voice, double position, double gain = 1.0) { return voice->Play(&position, &gain); }
    float Sample(double frame, int channel) const { return _samples[2 * (int)frame + channel]; }
    void Fill(float value) { _rect.AssociateSamples(std::vector<float>(2 * FRAMES, value), FRAMES, 2); }

    std::vector<float> _samples;
    SoundRect _rect;
    Envelope _env{2048};
};
}  // namespace

TEST_F(AudioSourceTest, GrainWindowFollowsThePositionAndDuration)
{
    for (double direction : {1.0, -1.0}) {
        auto voice = Voice(direction, 100.0);
        ASSERT_TRUE(Start(voice.get(), 0.5));
        EXPECT_EQ(voice->GetStartPosition(0), 22049.0);
        // The window is what the grain reads: its envelope runs 8820 frames.
        EXPECT_EQ(voice->GetEndPosition(0), 30869.0);
        EXPECT_EQ(voice->GetDurationSamps(), 8820.0);
        EXPECT_DOUBLE_EQ(voice->GetEnvStep(), 2048.0 / 8820.0);
        EXPECT_EQ(voice->GetPosition(0), direction > 0 ? 22049.0 : 30869.0);
        EXPECT_EQ(voice->GetEnvPos(), 0.0);
    }
}

TEST_F(AudioSourceTest, ConstructorGrainIsHalfTheQueuedLength)
{
    AudioSource voice({&_rect}, &_env, 100.0, 1.0, 1.0);
    EXPECT_EQ(voice.GetDurationSamps(), 4410.0);
    EXPECT_DOUBLE_EQ(voice.GetEnvStep(), 2048.0 / 4410.0);
    EXPECT_TRUE(voice.GetDirection() == 1.0 || voice.GetDirection() == -1.0);
    EXPECT_FALSE(voice.IsPlaying());
    EXPECT_EQ(voice.GetVolume(), 1.0);
    // An unchanged duration does not mark the queue, so Play keeps that length.
    voice.SetDurationMs(100.0);
    ASSERT_TRUE(Start(&voice, 0.5));
    EXPECT_EQ(voice.GetDurationSamps(), 4410.0);
    EXPECT_EQ(voice.GetEndPosition(0), 22049.0 + 4410.0);
}

TEST_F(AudioSourceTest, ProvidersAreClonesSharingTheSamples)
{
    SoundRect other;
    other.AssociateSamples(RandomStereo(100), 100, 2);
    AudioSource voice({&_rect, &other}, &_env, 100.0, 1.0, 1.0);
    const std::vector<SamplesProvider*>& providers = voice.GetSampleProviders();
    ASSERT_EQ(providers.size(), 2u);
    int frames = 0, chans = 0;
    SoundRect* first = static_cast<SoundRect*>(providers[0]);
    SoundRect* second = static_cast<SoundRect*>(providers[1]);
    EXPECT_NE(first, &_rect);
    EXPECT_EQ(first->GetSamples(&frames, &chans), _rect.GetSamples(&frames, &chans));
    EXPECT_EQ(second->GetSamples(&frames, &chans), other.GetSamples(&frames, &chans));
}

TEST_F(AudioSourceTest, ForwardGrainIsTheSoundUnderTheEnvelope)
{
    auto voice = Voice(1.0, 50.0);
    const double gain = 0.8;
    ASSERT_TRUE(Start(voice.get(), 0.25, gain));
    double start = voice->GetStartPosition(0);
    ASSERT_EQ(start, 11024.0);
    ASSERT_EQ(voice->GetEndPosition(0), start + 4410.0);

    // The grain reads straight through its window, block after block, and
    // ends with its envelope without ever starting over.
    std::vector<float> out(2 * 18 * BLOCK, 0.0f);
    for (unsigned b = 0; b < 18; b++) {
        EXPECT_FALSE(voice->NextBuffer(&out, BLOCK, b * BLOCK)) << "block " << b;
        if (voice->IsPlaying()) {
            EXPECT_EQ(voice->GetPosition(0), start + (b + 1) * BLOCK);
        }
    }
    EXPECT_FALSE(voice->IsPlaying());
    // At pitch 1 every read falls on a whole frame, which the interpolation
    // takes from the frame before it (silence before the grain's first).
    double envStep = 2048.0 / 4410.0;
    for (unsigned i = 0; i < 4408; i++) {
        for (int c = 0; c < 2; c++) {
            double sample = i == 0 ? 0.0 : Sample(start + i - 1, c);
            ASSERT_NEAR(out[2 * i + c], gain * sample * Hann(i * envStep), 1e-5) << "frame " << i << " channel " << c;
        }
    }
}

TEST_F(AudioSourceTest, BackwardGrainReadsReversedBlocksDownToTheWindowStart)
{
    auto voice = Voice(-1.0, 50.0, 1.0, Envelope::HAND_DRAWN);
    ASSERT_TRUE(Start(voice.get(), 0.25));
    double start = voice->GetStartPosition(0);
    double end = voice->GetEndPosition(0);
    // Twice 50 ms of source frames: all the grain reads.
    ASSERT_EQ(end - start, 4410.0);
    EXPECT_EQ(voice->GetDirection(), -1.0);

    std::vector<float> out(2 * 18 * BLOCK, 0.0f);
    for (unsigned b = 0; b < 18; b++) {
        EXPECT_FALSE(voice->NextBuffer(&out, BLOCK, b * BLOCK)) << "block " << b;
        if (voice->IsPlaying()) {
            EXPECT_EQ(voice->GetPosition(0), end - (b + 1.0) * BLOCK);
        }
    }
    EXPECT_FALSE(voice->IsPlaying());
    // With a flat envelope the output is the sound itself, running backwards
    // from the window's end to its start (the envelope's walk ends two
    // frames before the window does).
    for (unsigned i = 0; i < 4408; i++)
        ASSERT_NEAR(out[2 * i + 1], Sample(end - i, 1), 1e-6) << "frame " << i;
}

TEST_F(AudioSourceTest, ReadPositionAdvancesByPitchDirectionAndStretch)
{
    const double cases[][3] = {{1.0, 2.0, 1.0}, {-1.0, 0.5, 1.0}, {1.0, 1.0, 3.0}, {-1.0, 0.75, 2.0}};
    for (const auto& c : cases) {
        auto voice = Voice(c[0], 500.0, c[1]);
        voice->SetTimeStretch(c[2]);
        voice->UpdateParams();
        ASSERT_TRUE(Start(voice.get(), 0.5));
        double before = voice->GetPosition(0);
        voice->NextBuffer(nullptr, BLOCK, 0);
        EXPECT_DOUBLE_EQ(voice->GetPosition(0) - before, c[0] * c[1] * c[2] * BLOCK)
            << "direction " << c[0] << " pitch " << c[1] << " stretch " << c[2];
    }
}

TEST_F(AudioSourceTest, SettersWaitForTheQueue)
{
    auto voice = Voice(1.0, 100.0);
    voice->SetDurationMs(-200.0);
    voice->SetPitch(2.0);
    voice->SetDirection(-1.0);
    voice->SetTimeStretch(1.5);
    voice->SetEnvelopeType(Envelope::EXPDEC);
    EXPECT_EQ(voice->GetDurationSamps(), 8820.0);
    EXPECT_EQ(voice->GetDirection(), 1.0);
    // The pitch and stretch getters answer with what was set last.
    EXPECT_EQ(voice->GetPitch(), 2.0);
    EXPECT_EQ(voice->GetTimeStretch(), 1.5);

    voice->UpdateParams();
    EXPECT_EQ(voice->GetDurationSamps(), 17640.0);
    EXPECT_EQ(voice->GetDirection(), -1.0);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    double before = voice->GetPosition(0);
    voice->NextBuffer(nullptr, BLOCK, 0);
    EXPECT_DOUBLE_EQ(voice->GetPosition(0) - before, -2.0 * 1.5 * BLOCK);
}

TEST_F(AudioSourceTest, VolumeAloneDoesNotMarkTheQueueButChannelGainsDo)
{
    auto voice = Voice(1.0, 100.0);
    voice->SetVolume(-0.5);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    EXPECT_EQ(voice->GetVolume(), 1.0);

    auto marked = Voice(1.0, 100.0);
    marked->SetVolume(0.5);
    marked->SetChannelMultipliers({1.0f, 1.0f});
    ASSERT_TRUE(Start(marked.get(), 0.5));
    EXPECT_EQ(marked->GetVolume(), 0.5);

    // The queued volume also rides along with any other change.
    voice->SetDirection(1.0);
    voice->UpdateParams();
    EXPECT_EQ(voice->GetVolume(), 0.5);
}

TEST_F(AudioSourceTest, PlayWhileSoundingIsRefused)
{
    auto voice = Voice(1.0, 100.0);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    voice->NextBuffer(nullptr, BLOCK, 0);
    double position = voice->GetPosition(0);
    double envPos = voice->GetEnvPos();
    EXPECT_FALSE(Start(voice.get(), 0.1));
    EXPECT_TRUE(voice->IsPlaying());
    EXPECT_EQ(voice->GetStartPosition(0), 22049.0);
    EXPECT_EQ(voice->GetPosition(0), position);
    EXPECT_EQ(voice->GetEnvPos(), envPos);
}

TEST_F(AudioSourceTest, GrainLastsTwiceItsDurationAndEndsMidBlock)
{
    auto voice = Voice(1.0, 10.0);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    int frames = 0;
    while (voice->IsPlaying() && frames < 10000) {
        voice->NextBuffer(nullptr, 1, 0);
        frames++;
    }
    // The last call found the envelope past its end and rendered nothing.
    EXPECT_NEAR(frames - 1, 2 * 10 * 44.1, 1.0);
    EXPECT_EQ(voice->GetEnvPos(), 0.0);

    // Frames after the end are left as they were.
    std::vector<float> out(2 * 1024, 0.25f);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    EXPECT_FALSE(voice->NextBuffer(&out, 1024, 0));
    EXPECT_FALSE(voice->IsPlaying());
    EXPECT_NE(out[2 * 100], 0.25f);
    for (int i = 882; i < 1024; i++)
        ASSERT_EQ(out[2 * i], 0.25f) << "frame " << i;
    // An idle voice renders nothing.
    std::vector<float> before = out;
    EXPECT_FALSE(voice->NextBuffer(&out, 1024, 0));
    EXPECT_EQ(out, before);
}

TEST_F(AudioSourceTest, LastEnvelopeEntryIsReadWithoutRunningOffTheTable)
{
    // 23.219 ms gives a grain of exactly 2048 samples: the envelope walks the
    // whole numbers 0 ... 2047 and its last frame reads the last entry alone.
    std::vector<float> drawn(2048, 1.0f);
    drawn[2047] = 0.25f;
    _env.SetEnvelope(Envelope::HAND_DRAWN, drawn);
    Fill(0.5f);
    auto voice = Voice(1.0, 23.219, 1.0, Envelope::HAND_DRAWN);
    ASSERT_EQ(voice->GetEnvStep(), 1.0);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    std::vector<float> out(2 * 4096, 0.0f);
    voice->NextBuffer(&out, 4096, 0);
    EXPECT_FALSE(voice->IsPlaying());
    EXPECT_EQ(out[2 * 2046], 0.5f);
    EXPECT_EQ(out[2 * 2047], 0.125f);
    EXPECT_EQ(out[2 * 2048], 0.0f);
}

TEST_F(AudioSourceTest, LoopingVoiceWrapsItsEnvelopeAndNeverStops)
{
    auto voice = Voice(1.0, 10.0);
    voice->SetLoop(true);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    double step = voice->GetEnvStep();
    int wraps = 0;
    int cycles = 0;
    double previous = voice->GetEnvPos();
    for (int i = 0; i < 20 * 882; i++) {
        if (voice->NextBuffer(nullptr, 1, 0))
            cycles++;
        double now = voice->GetEnvPos();
        if (now < previous) {
            wraps++;
            ASSERT_NEAR(now, previous - 2047.0 + step, 1e-9);
        } else {
            ASSERT_NEAR(now, previous + step, 1e-9);
        }
        previous = now;
    }
    EXPECT_TRUE(voice->IsPlaying());
    EXPECT_GE(wraps, 19);
    EXPECT_GT(cycles, 0);
}

TEST_F(AudioSourceTest, NullBufferAdvancesLikeAWrittenOne)
{
    for (double direction : {1.0, -1.0}) {
        auto written = Voice(direction, 30.0, 1.3);
        auto silent = Voice(direction, 30.0, 1.3);
        ASSERT_TRUE(Start(written.get(), 0.3));
        ASSERT_TRUE(Start(silent.get(), 0.3));
        std::vector<float> out(2 * BLOCK, 0.0f);
        for (int b = 0; b < 20; b++) {
            EXPECT_EQ(written->NextBuffer(&out, BLOCK, 0), silent->NextBuffer(nullptr, BLOCK, 0));
            ASSERT_EQ(written->GetPosition(0), silent->GetPosition(0)) << "block " << b;
            ASSERT_EQ(written->GetEnvPos(), silent->GetEnvPos());
            ASSERT_EQ(written->IsPlaying(), silent->IsPlaying());
        }
        EXPECT_FALSE(silent->IsPlaying());
    }
}

TEST_F(AudioSourceTest, WindowEndStopsAtTheEndOfTheSound)
{
    auto voice = Voice(1.0, 100.0, 1.0, Envelope::HAND_DRAWN);
    ASSERT_TRUE(Start(voice.get(), 0.99));
    EXPECT_EQ(voice->GetStartPosition(0), 43658.0);
    EXPECT_EQ(voice->GetEndPosition(0), (double)FRAMES);

    std::vector<float> out(2 * BLOCK);
    while (voice->IsPlaying()) {
        std::fill(out.begin(), out.end(), 0.0f);
        voice->NextBuffer(&out, BLOCK, 0);
        for (float x : out)
            ASSERT_TRUE(std::isfinite(x) && std::fabs(x) <= 0.5f);
    }
}

TEST_F(AudioSourceTest, GrainAtTheSoundStartReadsNothingOutsideTheSound)
{
    for (double direction : {1.0, -1.0}) {
        for (double pitch : {1.0, 0.63, 1.7}) {
            auto voice = Voice(direction, 60.0, pitch, Envelope::HAND_DRAWN);
            ASSERT_TRUE(Start(voice.get(), 0.0));
            EXPECT_EQ(voice->GetStartPosition(0), -1.0);
            std::vector<float> out(2 * BLOCK);
            while (voice->IsPlaying()) {
                std::fill(out.begin(), out.end(), 0.0f);
                voice->NextBuffer(&out, BLOCK, 0);
                // The sound's level, give or take the ripple of the band limit.
                for (float x : out)
                    ASSERT_TRUE(std::isfinite(x) && std::fabs(x) <= 0.75f);
            }
        }
    }
}

TEST_F(AudioSourceTest, GrainBeforeTheSoundStartIsSilentThere)
{
    auto voice = Voice(1.0, 20.0, 1.0, Envelope::HAND_DRAWN);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    while (voice->IsPlaying())
        voice->NextBuffer(nullptr, BLOCK, 0);

    // The window starts one frame before the sound, and the frame heard is
    // the one before the read position: two frames of silence, then the
    // sound from its first frame, nothing of the previous grain.
    ASSERT_TRUE(Start(voice.get(), 0.0));
    std::vector<float> out(2 * BLOCK, 0.0f);
    voice->NextBuffer(&out, BLOCK, 0);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[2], 0.0f);
    for (unsigned i = 2; i < BLOCK; i++)
        ASSERT_NEAR(out[2 * i], Sample(i - 2, 0), 1e-6) << "frame " << i;
}

TEST_F(AudioSourceTest, OutputIsGainScaledAndClamped)
{
    Fill(0.9f);
    auto voice = Voice(1.0, 100.0, 1.0, Envelope::HAND_DRAWN);
    voice->SetVolume(0.5);
    voice->SetChannelMultipliers({0.2f, 1.0f});
    voice->UpdateParams();
    ASSERT_TRUE(Start(voice.get(), 0.5));
    std::vector<float> out(2 * BLOCK, 0.5f);
    voice->NextBuffer(&out, BLOCK, 0);
    EXPECT_NEAR(out[2 * 10], 0.5 + 0.5 * 0.2 * 0.9, 1e-6);
    EXPECT_NEAR(out[2 * 10 + 1], 0.5 + 0.5 * 0.9, 1e-6);

    voice->SetVolume(4.0);
    voice->UpdateParams();
    voice->NextBuffer(&out, BLOCK, 0);
    EXPECT_EQ(out[2 * 10 + 1], 1.0f);
    Fill(-0.9f);
    auto negative = Voice(1.0, 100.0, 1.0, Envelope::HAND_DRAWN);
    negative->SetVolume(4.0);
    negative->UpdateParams();
    ASSERT_TRUE(Start(negative.get(), 0.5));
    std::fill(out.begin(), out.end(), -0.5f);
    negative->NextBuffer(&out, BLOCK, 0);
    EXPECT_EQ(out[2 * 10], -1.0f);
    EXPECT_EQ(out[2 * 10 + 1], -1.0f);
}

TEST_F(AudioSourceTest, BlocksLandAtTheirOffset)
{
    auto voice = Voice(1.0, 100.0);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    std::vector<float> out(2 * 3 * BLOCK, 0.0f);
    voice->NextBuffer(&out, BLOCK, BLOCK);
    for (unsigned i = 0; i < BLOCK; i++)
        ASSERT_EQ(out[2 * i], 0.0f);
    EXPECT_NE(out[2 * (2 * BLOCK - 1)], 0.0f);
    for (unsigned i = 2 * BLOCK; i < 3 * BLOCK; i++)
        ASSERT_EQ(out[2 * i], 0.0f);

    // An empty block writes and moves nothing.
    double position = voice->GetPosition(0), envPos = voice->GetEnvPos();
    std::vector<float> before = out;
    EXPECT_FALSE(voice->NextBuffer(&out, 0, 0));
    EXPECT_EQ(out, before);
    EXPECT_EQ(voice->GetPosition(0), position);
    EXPECT_EQ(voice->GetEnvPos(), envPos);
}

TEST_F(AudioSourceTest, GrainOffEverySoundPlaysSilentlyForItsLength)
{
    auto voice = Voice(1.0, 10.0);
    double nowhere = -1.0, gain = 1.0;
    ASSERT_TRUE(voice->Play(&nowhere, &gain));
    std::vector<float> out(2 * 2048, 0.0f);
    voice->NextBuffer(&out, 2048, 0);
    EXPECT_FALSE(voice->IsPlaying());
    EXPECT_EQ(out, std::vector<float>(2 * 2048, 0.0f));
}

TEST_F(AudioSourceTest, UpdateReaimsWithoutRestarting)
{
    auto voice = Voice(1.0, 100.0);
    ASSERT_TRUE(Start(voice.get(), 0.5));
    voice->NextBuffer(nullptr, BLOCK, 0);
    double position = voice->GetPosition(0);
    double envPos = voice->GetEnvPos();
    double elsewhere = 0.25, gain = 1.0;
    voice->Update(&elsewhere, &gain);
    EXPECT_EQ(voice->GetStartPosition(0), 11024.0);
    EXPECT_EQ(voice->GetEndPosition(0), 11024.0 + 8820.0);
    EXPECT_EQ(voice->GetPosition(0), position);
    EXPECT_EQ(voice->GetEnvPos(), envPos);
}

TEST_F(AudioSourceTest, CloneContinuesTheGrainSampleExactly)
{
    for (double direction : {1.0, -1.0}) {
        auto voice = Voice(direction, 40.0, 1.37, Envelope::TRIANGLE);
        voice->SetChannelMultipliers({0.3f, 0.9f});
        voice->UpdateParams();
        ASSERT_TRUE(Start(voice.get(), 0.6, 0.7));
        std::vector<float> out(2 * BLOCK, 0.0f);
        for (int b = 0; b < 3; b++)
            voice->NextBuffer(&out, BLOCK, 0);

        std::unique_ptr<AudioSource> copy(voice->Clone());
        EXPECT_TRUE(copy->IsClone());
        EXPECT_FALSE(voice->IsClone());
        EXPECT_NE(copy->GetSampleProviders()[0], voice->GetSampleProviders()[0]);
        for (int b = 0; b < 12; b++) {
            std::vector<float> fromVoice(2 * BLOCK, 0.0f), fromCopy(2 * BLOCK, 0.0f);
            EXPECT_EQ(voice->NextBuffer(&fromVoice, BLOCK, 0), copy->NextBuffer(&fromCopy, BLOCK, 0));
            ASSERT_EQ(fromVoice, fromCopy) << "block " << b;
            ASSERT_EQ(voice->IsPlaying(), copy->IsPlaying());
        }
        EXPECT_FALSE(copy->IsPlaying());
    }
}

namespace {
const double SINE_STEP = 0.05;

// A stereo sine, the right channel at half the level.
std::vector<float> Sine(int frames)
{
    std::vector<float> x(2 * frames);
    for (int i = 0; i < frames; i++) {
        x[2 * i] = (float)(0.5 * std::sin(SINE_STEP * i));
        x[2 * i + 1] = 0.5f * x[2 * i];
    }
    return x;
}

// Number of frames a grain of the given envelope step sounds.
unsigned GrainFrames(double envStep)
{
    return (unsigned)std::floor(2047.0 / envStep) + 1;
}
}  // namespace

// A grain reads its sound without a jump from its first frame to its last:
// forward it is the sine from the window start on, backward the sine from
// the window end down, at its pitch, under the envelope, all the way.
TEST_F(AudioSourceTest, GrainOverASineIsTheSineUnderTheEnvelopeWithoutAStep)
{
    const int frames = 4 * 44100;
    _rect.AssociateSamples(Sine(frames), frames, 2);
    for (double pitch : {1.0, 1.5}) {
        for (double direction : {1.0, -1.0}) {
            auto voice = Voice(direction, 200.0, pitch);
            ASSERT_TRUE(Start(voice.get(), 0.25));
            const double start = voice->GetStartPosition(0), end = voice->GetEndPosition(0);
            const double envStep = voice->GetEnvStep();
            const unsigned length = GrainFrames(envStep);
            std::vector<float> out(2 * (length / BLOCK + 1) * BLOCK, 0.0f);
            for (unsigned b = 0; voice->IsPlaying(); b++)
                voice->NextBuffer(&out, BLOCK, b * BLOCK);
            double largestStep = 0.0;
            for (unsigned i = 1; i < length; i++) {
                // The interpolation reads one frame behind the position.
                const double pos = direction > 0 ? start + i * pitch - 1.0 : end - i * pitch;
                const double env = Hann(i * envStep);
                ASSERT_NEAR(out[2 * i], 0.5 * std::sin(SINE_STEP * pos) * env, 2e-4)
                    << "pitch " << pitch << " direction " << direction << " frame " << i;
                ASSERT_NEAR(out[2 * i + 1], 0.25 * std::sin(SINE_STEP * pos) * env, 2e-4);
                largestStep = std::max(largestStep, (double)std::fabs(out[2 * i] - out[2 * i - 2]));
            }
            // Nothing moves faster than the sine itself.
            EXPECT_LT(largestStep, 0.5 * SINE_STEP * pitch + 1e-3);
        }
    }
}

// Grains shorter than a half block: a 5 ms grain is its window, forward
// or reversed, read directly from the sound; nothing plays after it.
TEST_F(AudioSourceTest, ShortGrainsSoundTheirWindowInBothDirections)
{
    const unsigned HALF_BLOCK = 512;
    for (double direction : {-1.0, 1.0}) {
        auto voice = Voice(direction, 5.0);
        ASSERT_TRUE(Start(voice.get(), 0.5));
        const double start = voice->GetStartPosition(0), end = voice->GetEndPosition(0);
        ASSERT_EQ(end - start, 441.0);
        const double envStep = voice->GetEnvStep();
        const unsigned length = GrainFrames(envStep);
        ASSERT_LT(length, HALF_BLOCK);
        std::vector<float> out(2 * HALF_BLOCK, 0.0f);
        voice->NextBuffer(&out, HALF_BLOCK, 0);
        EXPECT_FALSE(voice->IsPlaying());
        // The window read directly, reversed for a backward grain, one frame
        // behind as the interpolation reads it.
        std::vector<float> window(_samples.begin() + 2 * (long)start, _samples.begin() + 2 * (long)end);
        if (direction < 0)
            DSP::Reverse(&window, 2);
        double energy = 0.0;
        for (unsigned i = 0; i < HALF_BLOCK; i++) {
            for (int c = 0; c < 2; c++) {
                const double sample = i == 0 || i >= length ? 0.0 : window[2 * (i - 1) + c];
                ASSERT_NEAR(out[2 * i + c], sample * Hann(i * envStep), 1e-5)
                    << "direction " << direction << " frame " << i << " channel " << c;
                energy += out[2 * i + c] * out[2 * i + c];
            }
        }
        EXPECT_GT(energy, 1.0);
    }
}

// A looping voice with a window shorter than a block repeats exactly its
// window, wrapping at the frame where it ends, across block boundaries.
TEST_F(AudioSourceTest, ShortLoopRepeatsItsWindowFrameByFrame)
{
    for (double direction : {1.0, -1.0}) {
        auto voice = Voice(direction, 5.0, 1.0, Envelope::HAND_DRAWN);
        voice->SetLoop(true);
        ASSERT_TRUE(Start(voice.get(), 0.5));
        const long start = (long)voice->GetStartPosition(0), end = (long)voice->GetEndPosition(0);
        const long length = end - start;
        ASSERT_EQ(length, 220);
        std::vector<float> out(2 * 4 * BLOCK, 0.0f);
        int cycles = 0;
        for (unsigned b = 0; b < 4; b++) {
            cycles += voice->NextBuffer(&out, BLOCK, b * BLOCK) ? 1 : 0;
            ASSERT_GE(voice->GetPosition(0), start);
            ASSERT_LE(voice->GetPosition(0), end);
        }
        EXPECT_EQ(cycles, 4);
        for (long i = 1; i < 4 * (long)BLOCK; i++) {
            const long offset = (i - 1) % length;
            const double frame = direction > 0 ? start + offset : end - 1 - offset;
            ASSERT_NEAR(out[2 * i], Sample(frame, 0), 1e-6) << "direction " << direction << " frame " << i;
        }
    }
}

// A loop that moves onto a sound starts that sound's window afresh,
// wherever it was reading before, fading it in over 5 ms.
TEST_F(AudioSourceTest, LoopMovingOntoASoundStartsItsWindowThere)
{
    SoundRect other;
    other.AssociateSamples(RandomStereo(FRAMES), FRAMES, 2);
    AudioSource voice({&_rect, &other}, &_env, 100.0, 1.0, 1.0);
    voice.SetDirection(1.0);
    voice.SetLoop(true);
    voice.UpdateParams();
    double positions[2] = {0.5, -1.0}, gains[2] = {1.0, 1.0};
    ASSERT_TRUE(voice.Play(positions, gains));
    for (int b = 0; b < 5; b++)
        voice.NextBuffer(nullptr, BLOCK, 0);
    positions[1] = 0.25;
    voice.Update(positions, gains);
    EXPECT_EQ(voice.GetPosition(1), voice.GetStartPosition(1));
    EXPECT_EQ(voice.GetPosition(0), 22049.0 + 5 * BLOCK);
    // Only the sound just entered plays from here on.
    positions[0] = -1.0;
    voice.Update(positions, gains);
    std::vector<float> out(2 * BLOCK, 0.0f);
    voice.NextBuffer(&out, BLOCK, 0);
    EXPECT_EQ(voice.GetPosition(1), voice.GetStartPosition(1) + BLOCK);
    const double envStep = voice.GetEnvStep(), envStart = voice.GetEnvPos() - BLOCK * envStep;
    const double start = voice.GetStartPosition(1);
    const SoundRect* rect = &other;
    int frames = 0, channels = 0;
    const std::vector<float>& samples = *rect->GetSamples(&frames, &channels);
    for (unsigned i = 1; i < BLOCK; i++) {
        const double fade = std::min(1.0, i / 220.0);
        const double expected = samples[2 * (size_t)(start + i - 1)] * Hann(envStart + i * envStep) * fade;
        ASSERT_NEAR(out[2 * i], expected, 1e-5) << "frame " << i;
    }
    EXPECT_EQ(out[0], 0.0f);
}

namespace {
// The stored sound at a frame; silence before the first.
double SoundAt(const std::vector<float>& samples, double frame, int channel)
{
    return frame < 0.0 ? 0.0 : samples[2 * (size_t)frame + channel];
}

// An envelope table read at a fractional entry, linearly interpolated.
double TableAt(const std::vector<float>& table, double pos)
{
    const size_t a = (size_t)pos;
    const double frac = pos - (double)a;
    return table[a] * (1.0 - frac) + table[std::min(a + 1, table.size() - 1)] * frac;
}
}  // namespace

// Four sounds under one grain, read where they are stored: each plays from
// its window's first frame forward (or its last backward) frame by frame at
// its own cross-axis gain, and the sum wears the envelope table. Only float
// rounding may differ. (Between frames the reads are band-limited; the
// quality tests measure them.)
TEST_F(AudioSourceTest, StackedSoundsAreReadInPlaceFrameByFrame)
{
    const unsigned LONG_BLOCK = 1536;
    std::vector<std::vector<float>> sounds;
    SoundRect rects[4];
    std::vector<SamplesProvider*> providers;
    for (int r = 0; r < 4; r++) {
        sounds.push_back(RandomStereo(FRAMES));
        rects[r].AssociateSamples(sounds[r], FRAMES, 2);
        providers.push_back(&rects[r]);
    }
    const double positions[4] = {0.2, 0.35, 0.5, 0.61}, gains[4] = {0.9, 0.4, 0.7, 0.25};
    for (double direction : {1.0, -1.0}) {
        AudioSource voice(providers, &_env, 60.0, 1.0, 1.0);
        voice.SetDirection(direction);
        voice.UpdateParams();
        ASSERT_TRUE(voice.Play(positions, gains));
        const double envStep = voice.GetEnvStep();
        double from[4];
        for (int r = 0; r < 4; r++)
            from[r] = direction > 0.0 ? voice.GetStartPosition(r) - 1.0 : voice.GetEndPosition(r);
        std::vector<float> out(2 * 4 * LONG_BLOCK, 0.0f);
        for (unsigned b = 0; b < 4; b++)
            voice.NextBuffer(&out, LONG_BLOCK, b * LONG_BLOCK);
        ASSERT_FALSE(voice.IsPlaying());
        // The grain lasts twice 60 ms; its last frames have faded to nothing.
        for (unsigned i = 1; i < 5290; i++) {
            for (int c = 0; c < 2; c++) {
                double expected = 0.0;
                for (int r = 0; r < 4; r++)
                    expected += gains[r] * SoundAt(sounds[r], from[r] + direction * i, c);
                expected *= TableAt(_env.GetEnvelope(Envelope::HANNING), i * envStep);
                ASSERT_NEAR(out[2 * i + c], expected, 1e-6)
                    << "direction " << direction << " frame " << i << " channel " << c;
            }
        }
        EXPECT_EQ(out[0], 0.0f);
    }
}

// A grain of no length sounds its first frame (silent, at the envelope's
// start) and ends there, without making a number out of nothing.
TEST_F(AudioSourceTest, GrainOfNoLengthEndsAtItsFirstFrame)
{
    for (bool loop : {false, true}) {
        auto voice = Voice(1.0, 0.0);
        voice->SetLoop(loop);
        ASSERT_TRUE(Start(voice.get(), 0.5));
        std::vector<float> out(2 * BLOCK, 0.0f);
        voice->NextBuffer(&out, BLOCK, 0);
        EXPECT_FALSE(voice->IsPlaying()) << "loop " << loop;
        for (float v : out)
            ASSERT_EQ(v, 0.0f) << "loop " << loop;
    }
}
