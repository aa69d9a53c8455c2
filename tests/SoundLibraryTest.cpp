#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sound/AnalysisCache.h"
#include "sound/AudioFile.h"
#include "sound/AudioFileSet.h"
#include "sound/ConvertedSoundEntry.h"
#include "sound/EngineRate.h"
#include "sound/LoadProgress.h"
#include "sound/SampleFingerprint.h"
#include "sound/SoundLoader.h"
#include "spectral/DSP.h"
#include "spectral/Scale.h"
#include "spectral/Spectrogram.h"
#include "spectral/Stereoizer.h"

namespace {
// A fresh directory per test, removed with everything in it afterwards.
class SoundDir {
public:
    SoundDir()
    {
        char pattern[] = "/tmp/zoltasoundsXXXXXX";
        _path = std::string(mkdtemp(pattern)) + "/";
    }
    ~SoundDir() { std::system(("rm -rf " + _path).c_str()); }
    const std::string& Path() const { return _path; }

    void WriteWav(const std::string& name, int channels, int rate, const std::vector<float>& samples,
                  int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT)
    {
        SF_INFO info = {};
        info.channels = channels;
        info.samplerate = rate;
        info.format = format;
        SNDFILE* sf = sf_open((_path + name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
        sf_write_float(sf, samples.data(), samples.size());
        sf_close(sf);
    }
    void WriteText(const std::string& name, const std::string& text) { std::ofstream(_path + name) << text; }

private:
    std::string _path;
};

struct LoadOutput {
    int result;
    std::string out;
    std::string err;
};

LoadOutput LoadQuietly(AudioFileSet* set, const std::string& path, AnalysisCache* cache = nullptr)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int result = set->Load(path, EngineRate::REFERENCE_RATE, cache);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    return {result, out, err};
}

// Loads and conditions the folder's sounds as start-up does.
void LoadAndCondition(AudioFileSet* set, const std::string& path)
{
    LoadQuietly(set, path);
    set->Stereoize();
    set->Normalize();
    set->Fade();
}

std::vector<float> Sine(int frames, int channels, double hz, float amplitude)
{
    std::vector<float> x(frames * channels);
    for (int f = 0; f < frames; f++)
        for (int c = 0; c < channels; c++)
            x[f * channels + c] = amplitude * (float)std::sin(2.0 * M_PI * hz * (c + 1) * f / 44100.0);
    return x;
}

float Peak(const std::vector<float>& x)
{
    float peak = 0.0f;
    for (float v : x)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

AudioFile* FindFile(const AudioFileSet& set, const std::string& name)
{
    for (AudioFile* file : set.GetAudioFiles())
        if (file->GetName() == name)
            return file;
    return nullptr;
}

// (left + right) of a stereoized sound, back on the scale of the mono signal.
std::vector<double> MonoFromStereo(AudioFile* file)
{
    double scale = Stereoizer::IR_SIZE * Scale::DbToAmp(6.0);
    const std::vector<float>& buf = *file->GetBuffer();
    std::vector<double> mono(file->GetNumFrames());
    for (size_t f = 0; f < mono.size(); f++)
        mono[f] = ((double)buf[2 * f] + buf[2 * f + 1]) / scale;
    return mono;
}
}  // namespace

TEST(SoundLibraryTest, LoadsEverySoundAtHalfScaleAndReportsOtherEntries)
{
    SoundDir dir;
    std::vector<float> stereo = Sine(1000, 2, 440.0, 0.8f);
    std::vector<float> mono = Sine(500, 1, 220.0, 0.6f);
    dir.WriteWav("a.wav", 2, 44100, stereo);
    dir.WriteText("notes.txt", "not a sound at all\n");
    dir.WriteWav("z.wav", 1, 44100, mono);
    dir.WriteText(".DS_Store", "finder data");

    AudioFileSet set;
    LoadOutput load = LoadQuietly(&set, dir.Path());
    EXPECT_EQ(load.result, 0);
    ASSERT_EQ(set.GetAudioFiles().size(), 2u);
    EXPECT_NE(load.err.find("Not able to open input file notes.txt.\n"), std::string::npos) << load.err;
    EXPECT_EQ(load.err.find(".DS_Store"), std::string::npos);
    EXPECT_NE(load.err.find("Loading 'a.wav'... \n"), std::string::npos);
    EXPECT_NE(load.out.find("  Channels: 2\n  Frames: 1000\n  Sample Rate: 44100\n"), std::string::npos) << load.out;
    EXPECT_EQ(load.err.find("WARNING"), std::string::npos);

    AudioFile* a = FindFile(set, "a.wav");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetPath(), dir.Path() + "a.wav");
    EXPECT_EQ(a->GetNumChannels(), 2u);
    EXPECT_EQ(a->GetNumFrames(), 1000u);
    EXPECT_EQ(a->GetNumSamples(), 2000u);
    std::vector<float> aSamples = *a->GetBuffer();
    for (size_t i = 0; i < stereo.size(); i++)
        ASSERT_FLOAT_EQ(aSamples[i], 0.5f * stereo[i]) << i;

    AudioFile* z = FindFile(set, "z.wav");
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z->GetNumChannels(), 1u);
    EXPECT_EQ(z->GetNumFrames(), 500u);
}

TEST(SoundLibraryTest, SoundsComeInByteOrderOfTheirNamesWhateverTheFolderGives)
{
    SoundDir dir;
    std::vector<float> mono = Sine(200, 1, 220.0, 0.6f);
    // Written in an order that is neither the byte order nor its reverse.
    const char* written[] = {"b.wav", "\xc3\xa9t\xc3\xa9.wav", "a2.wav", "B.wav", "a10.wav"};
    for (const char* name : written)
        dir.WriteWav(name, 1, 44100, mono);
    AudioFileSet set;
    LoadQuietly(&set, dir.Path());
    std::vector<std::string> names;
    for (AudioFile* file : set.GetAudioFiles())
        names.push_back(file->GetName());
    const std::vector<std::string> expected = {"B.wav", "a10.wav", "a2.wav", "b.wav", "\xc3\xa9t\xc3\xa9.wav"};
    EXPECT_EQ(names, expected);
}

TEST(SoundLibraryTest, SkipsHiddenEntriesSilently)
{
    SoundDir dir;
    dir.WriteText(".DS_Store", "finder data");
    AudioFileSet set;
    LoadOutput load = LoadQuietly(&set, dir.Path());
    EXPECT_EQ(load.result, 0);
    EXPECT_TRUE(set.GetAudioFiles().empty());
    EXPECT_EQ(load.out, "");
    EXPECT_EQ(load.err, "");
}

TEST(SoundLibraryTest, MissingDirectoryFails)
{
    char pattern[] = "/tmp/zoltamissingXXXXXX";
    std::string parent = mkdtemp(pattern);
    AudioFileSet set;
    LoadOutput load = LoadQuietly(&set, parent + "/loops/");
    rmdir(parent.c_str());
    EXPECT_EQ(load.result, 1);
    EXPECT_NE(load.err, "");
    EXPECT_TRUE(set.GetAudioFiles().empty());
}

TEST(SoundLibraryTest, MonoSoundBecomesStereoWithPeakAtHalf)
{
    SoundDir dir;
    std::srand(41);
    std::vector<float> mono = Sine(5000, 1, 330.0, 0.7f);
    dir.WriteWav("voice.wav", 1, 44100, mono);
    AudioFileSet set;
    LoadQuietly(&set, dir.Path());
    set.Stereoize();

    ASSERT_EQ(set.GetAudioFiles().size(), 1u);
    AudioFile* file = set.GetAudioFiles()[0];
    EXPECT_EQ(file->GetNumChannels(), 2u);
    EXPECT_EQ(file->GetNumFrames(), 5000u);
    EXPECT_EQ(file->GetNumSamples(), 10000u);
    EXPECT_EQ(file->GetName(), "voice.wav");
    EXPECT_EQ(file->GetPath(), dir.Path() + "voice.wav");
    std::vector<double> back = MonoFromStereo(file);
    for (size_t f = 0; f < mono.size(); f++)
        ASSERT_NEAR(back[f], 0.5 * mono[f], 1e-4) << f;

    set.Normalize();
    EXPECT_FLOAT_EQ(Peak(*file->GetBuffer()), 0.5f);
    float peakL = 0.0f, peakR = 0.0f;
    for (size_t f = 0; f < 5000; f++) {
        peakL = std::max(peakL, std::fabs((*file->GetBuffer())[2 * f]));
        peakR = std::max(peakR, std::fabs((*file->GetBuffer())[2 * f + 1]));
    }
    EXPECT_GT(peakL, 0.05f);
    EXPECT_GT(peakR, 0.05f);
}

TEST(SoundLibraryTest, ManyChannelSoundIsMixedDownBeforeStereoizing)
{
    SoundDir dir;
    const int frames = 3000, channels = 4;
    std::vector<float> quad = Sine(frames, channels, 150.0, 0.9f);
    dir.WriteWav("quad.wav", channels, 44100, quad);
    AudioFileSet set;
    LoadQuietly(&set, dir.Path());
    set.Stereoize();

    ASSERT_EQ(set.GetAudioFiles().size(), 1u);
    AudioFile* file = set.GetAudioFiles()[0];
    EXPECT_EQ(file->GetNumChannels(), 2u);
    EXPECT_EQ(file->GetNumFrames(), (uint64_t)frames);
    std::vector<double> back = MonoFromStereo(file);
    for (int f = 0; f < frames; f++) {
        double mean = 0.0;
        for (int c = 0; c < channels; c++)
            mean += quad[f * channels + c];
        mean /= channels;
        ASSERT_NEAR(back[f], 0.5 * mean, 1e-4) << f;
    }
}

TEST(SoundLibraryTest, StereoSoundIsClippedNormalizedAndFaded)
{
    SoundDir dir;
    const int frames = 1000;
    std::vector<float> x = Sine(frames, 2, 440.0, 0.4f);
    x[2 * 500] = 0.95f;  // a click on the left channel
    dir.WriteWav("click.wav", 2, 44100, x);
    AudioFileSet set;
    LoadAndCondition(&set, dir.Path());

    // The same conditioning, computed here from its definition.
    std::vector<double> ref(x.begin(), x.end());
    for (double& v : ref)
        v *= 0.5;
    double m = 0.0, d = 0.0;
    for (double v : ref)
        m += std::fabs(v);
    m /= ref.size();
    for (double v : ref)
        d += std::fabs(std::fabs(v) - m);
    d /= ref.size();
    double t = 2.0 * (m + d);
    double peak = 0.0;
    for (double& v : ref) {
        v = std::max(-t, std::min(t, v));
        peak = std::max(peak, std::fabs(v));
    }
    for (int f = 0; f < frames; f++) {
        double gain = 0.5 / peak;
        if (f < 128)
            gain *= f / 127.0;
        if (f >= frames - 128)
            gain *= (frames - 1 - f) / 127.0;
        ref[2 * f] *= gain;
        ref[2 * f + 1] *= gain;
    }

    const std::vector<float>& buf = *set.GetAudioFiles()[0]->GetBuffer();
    ASSERT_EQ(buf.size(), ref.size());
    for (size_t i = 0; i < ref.size(); i++)
        ASSERT_NEAR(buf[i], ref[i], 1e-5) << i;
    EXPECT_NEAR(buf[1000], 0.5f, 1e-6);  // the clipped click is now the peak
}

TEST(SoundLibraryTest, ShortSoundsAreFadedOnlyWhenLongerThanTheRamp)
{
    SoundDir dir;
    dir.WriteWav("short.wav", 2, 44100, std::vector<float>(2 * 100, 0.3f));
    dir.WriteWav("edge.wav", 2, 44100, std::vector<float>(2 * 129, 0.3f));
    AudioFileSet set;
    LoadAndCondition(&set, dir.Path());

    AudioFile* shortFile = FindFile(set, "short.wav");
    ASSERT_NE(shortFile, nullptr);
    for (float v : *shortFile->GetBuffer())
        ASSERT_FLOAT_EQ(v, 0.5f);

    AudioFile* edge = FindFile(set, "edge.wav");
    ASSERT_NE(edge, nullptr);
    const std::vector<float>& buf = *edge->GetBuffer();
    EXPECT_EQ(buf[0], 0.0f);
    EXPECT_EQ(buf[1], 0.0f);
    EXPECT_EQ(buf[2 * 128], 0.0f);
    EXPECT_EQ(buf[2 * 128 + 1], 0.0f);
    // The ramps overlap: frame 64 is 64/127 up the fade-in and 64/127 down the fade-out.
    EXPECT_NEAR(buf[2 * 64], 0.5 * (64 / 127.0) * (64 / 127.0), 1e-6);
}

TEST(SoundLibraryTest, TheFadesAtTheEndsLastAsLongAtEveryRate)
{
    // 128 frames at 44.1 kHz, 139 at 48 kHz: 2.9 ms.
    for (int rate : {44100, 48000, 96000}) {
        SCOPED_TRACE(rate);
        SoundDir dir;
        dir.WriteWav("still.wav", 2, rate, std::vector<float>(2 * 2000, 0.3f));
        AudioFileSet set;
        testing::internal::CaptureStdout();
        set.Load(dir.Path(), rate);
        testing::internal::GetCapturedStdout();
        set.Fade();
        ASSERT_EQ(set.GetAudioFiles().size(), 1u);
        const std::vector<float>& buf = *set.GetAudioFiles()[0]->GetBuffer();
        const size_t ramp = (size_t)std::lround(128.0 * rate / 44100.0);
        EXPECT_LT(buf[2 * (ramp - 2)], 0.15f);
        EXPECT_FLOAT_EQ(buf[2 * (ramp - 1)], 0.15f);
        EXPECT_LT(buf[buf.size() - 2 * (ramp - 1)], 0.15f);
        EXPECT_FLOAT_EQ(buf[buf.size() - 2 * ramp], 0.15f);
    }
}

TEST(SoundLibraryTest, SilentSoundsStaySilent)
{
    SoundDir dir;
    dir.WriteWav("quiet.wav", 1, 44100, std::vector<float>(3000, 0.0f));
    dir.WriteWav("still.wav", 2, 44100, std::vector<float>(2 * 3000, 0.0f));
    AudioFileSet set;
    LoadAndCondition(&set, dir.Path());
    ASSERT_EQ(set.GetAudioFiles().size(), 2u);
    for (AudioFile* file : set.GetAudioFiles()) {
        EXPECT_EQ(file->GetNumChannels(), 2u);
        for (float v : *file->GetBuffer())
            ASSERT_EQ(v, 0.0f) << file->GetName();
    }
}

TEST(SoundLibraryTest, EveryChannelCountLoadsAndIsMixedDown)
{
    // Reads used to ask for item counts that 3, 5, 6 and 7 do not divide,
    // which libsndfile refuses: those sounds loaded as silence.
    for (int channels : {1, 2, 3, 4, 5, 6, 7, 8, 11}) {
        SCOPED_TRACE(channels);
        SoundDir dir;
        const int frames = 1500;  // not a multiple of the old 512-item reads either
        std::vector<float> x = Sine(frames, channels, 120.0, 0.9f);
        dir.WriteWav("multi.wav", channels, 44100, x);
        AudioFileSet set;
        LoadQuietly(&set, dir.Path());
        ASSERT_EQ(set.GetAudioFiles().size(), 1u);
        AudioFile* file = set.GetAudioFiles()[0];
        ASSERT_EQ(file->GetNumFrames(), (uint64_t)frames);
        ASSERT_EQ(file->GetBuffer()->size(), x.size());
        for (size_t i = 0; i < x.size(); i++)
            ASSERT_FLOAT_EQ((*file->GetBuffer())[i], 0.5f * x[i]) << i;

        set.Stereoize();
        file = set.GetAudioFiles()[0];
        ASSERT_EQ(file->GetNumChannels(), 2u);
        if (channels == 2)
            continue;
        std::vector<double> back = MonoFromStereo(file);
        for (int f = 0; f < frames; f++) {
            double mean = 0.0;
            for (int c = 0; c < channels; c++)
                mean += x[f * channels + c];
            ASSERT_NEAR(back[f], 0.5 * mean / channels, 1e-4) << f;
        }
    }
}

TEST(SoundLibraryTest, NonFiniteSamplesBecomeSilenceAndAreCounted)
{
    SoundDir dir;
    std::vector<float> stereo = Sine(3000, 2, 440.0, 0.4f);
    stereo[100] = NAN;
    stereo[101] = INFINITY;
    stereo[2000] = -INFINITY;
    dir.WriteWav("bad.wav", 2, 44100, stereo);
    std::vector<float> mono = Sine(3000, 1, 300.0, 0.4f);
    mono[1234] = NAN;
    dir.WriteWav("badmono.wav", 1, 44100, mono);
    dir.WriteWav("allnan.wav", 1, 44100, std::vector<float>(1000, NAN));

    AudioFileSet set;
    LoadOutput load = LoadQuietly(&set, dir.Path());
    EXPECT_NE(load.err.find("'bad.wav': 3 samples that were not numbers (NaN or infinite) became silence."),
              std::string::npos)
        << load.err;
    EXPECT_NE(load.err.find("'badmono.wav': 1 samples"), std::string::npos) << load.err;
    EXPECT_NE(load.err.find("'allnan.wav': 1000 samples"), std::string::npos) << load.err;
    AudioFile* bad = FindFile(set, "bad.wav");
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ((*bad->GetBuffer())[100], 0.0f);
    EXPECT_EQ((*bad->GetBuffer())[2000], 0.0f);
    EXPECT_EQ((*bad->GetBuffer())[102], 0.5f * stereo[102]);

    set.Stereoize();
    set.Normalize();
    set.Fade();
    for (AudioFile* file : set.GetAudioFiles()) {
        for (float v : *file->GetBuffer())
            ASSERT_TRUE(std::isfinite(v)) << file->GetName();
    }
    // One infinity no longer makes the normalising gain zero.
    EXPECT_FLOAT_EQ(Peak(*FindFile(set, "bad.wav")->GetBuffer()), 0.5f);
    EXPECT_FLOAT_EQ(Peak(*FindFile(set, "badmono.wav")->GetBuffer()), 0.5f);
    EXPECT_EQ(Peak(*FindFile(set, "allnan.wav")->GetBuffer()), 0.0f);
}

TEST(SoundLibraryTest, HugeFloatPeaksAreConditionedWithoutOverflow)
{
    // Mono and eight-channel sounds near the largest float: after
    // conditioning, the sound that a sane level would give.
    for (int channels : {1, 8}) {
        SCOPED_TRACE(channels);
        const int frames = 4000;
        std::vector<float> sane = Sine(frames, channels, 200.0, 0.5f);
        std::vector<float> huge(sane.size());
        for (size_t i = 0; i < sane.size(); i++)
            huge[i] = sane[i] * 6e37f;
        SoundDir dir;
        dir.WriteWav("huge.wav", channels, 44100, huge);
        AudioFileSet set;
        LoadAndCondition(&set, dir.Path());
        ASSERT_EQ(set.GetAudioFiles().size(), 1u);
        const std::vector<float>& b = *set.GetAudioFiles()[0]->GetBuffer();
        ASSERT_EQ(b.size(), 2u * frames);
        for (float v : b)
            ASSERT_TRUE(std::isfinite(v));
        EXPECT_FLOAT_EQ(Peak(b), 0.5f);
        // The two channels always add up to the sound: the shape of the
        // sane one's mix, between the fades.
        std::vector<double> mix(frames, 0.0);
        for (int f = 0; f < frames; f++)
            for (int c = 0; c < channels; c++)
                mix[f] += sane[f * channels + c] / channels;
        std::vector<double> back = MonoFromStereo(set.GetAudioFiles()[0]);
        double ratio = back[1000] / mix[1000];
        for (int f = 200; f + 200 < frames; f++)
            ASSERT_NEAR(back[f], ratio * mix[f], 1e-4) << f;
    }
}

TEST(SoundLibraryTest, AFileShorterThanItsHeaderKeepsWhatItHolds)
{
    SoundDir dir;
    dir.WriteWav("cut.wav", 2, 44100, Sine(2000, 2, 440.0, 0.5f));
    std::string path = dir.Path() + "cut.wav";
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    off_t header = st.st_size - 2000 * 8;
    // Cut in the middle of a frame: only whole frames are kept.
    ASSERT_EQ(truncate(path.c_str(), header + 8 * 1000 + 6), 0);
    AudioFileSet set;
    LoadQuietly(&set, dir.Path());
    ASSERT_EQ(set.GetAudioFiles().size(), 1u);
    AudioFile* file = set.GetAudioFiles()[0];
    EXPECT_EQ(file->GetNumFrames(), 1000u);
    EXPECT_EQ(file->GetBuffer()->size(), 2000u);
}

TEST(SoundLibraryTest, LoadedSamplesAreTheBitsOfAPlainReadAndTheDirectConditioning)
{
    // A 16-bit file and a float file with clicks and non-finite samples, both
    // longer than a read block and not a multiple of one.
    SoundDir dir;
    const int frames = 70001;
    std::vector<float> tone = Sine(frames, 2, 331.0, 0.6f);
    std::vector<float> rough = Sine(frames, 2, 97.0, 0.3f);
    for (size_t i = 5; i < rough.size(); i += 7919)
        rough[i] = i % 3 == 0 ? NAN : (i % 3 == 1 ? INFINITY : 0.99f);
    for (const char* name : {"pcm.wav", "float.wav"}) {
        SF_INFO info = {};
        info.channels = 2;
        info.samplerate = 44100;
        info.format = SF_FORMAT_WAV | (name[0] == 'p' ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
        SNDFILE* sf = sf_open((dir.Path() + name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(sf, nullptr);
        sf_writef_float(sf, name[0] == 'p' ? tone.data() : rough.data(), frames);
        sf_close(sf);
    }
    AudioFileSet set;
    LoadAndCondition(&set, dir.Path());
    ASSERT_EQ(set.GetAudioFiles().size(), 2u);

    for (AudioFile* file : set.GetAudioFiles()) {
        // The whole file in one read, then each step on its own.
        SF_INFO info = {};
        SNDFILE* sf = sf_open(file->GetPath().c_str(), SFM_READ, &info);
        ASSERT_NE(sf, nullptr);
        std::vector<float> direct(2 * (size_t)info.frames);
        ASSERT_EQ(sf_readf_float(sf, direct.data(), info.frames), info.frames);
        sf_close(sf);
        for (float& v : direct)
            v = std::isfinite(v) ? v * 0.5f : 0.0f;
        DSP::AutomaticClipping(&direct);
        DSP::Normalize(&direct);
        DSP::FadeIn(&direct, 2, 128);
        DSP::FadeOut(&direct, 2, 128);

        const std::vector<float>& loaded = *file->GetBuffer();
        ASSERT_EQ(loaded.size(), direct.size()) << file->GetName();
        for (size_t i = 0; i < loaded.size(); i++) {
            uint32_t a, b;
            std::memcpy(&a, &loaded[i], sizeof(a));
            std::memcpy(&b, &direct[i], sizeof(b));
            ASSERT_EQ(a, b) << file->GetName() << " sample " << i;
        }
    }
}

TEST(SoundLibraryTest, AMonoSoundComesOutTheSameAtEveryStart)
{
    SoundDir dir;
    std::vector<float> mono = Sine(9000, 1, 210.0, 0.6f);
    dir.WriteWav("voice.wav", 1, 44100, mono);
    std::vector<float> starts[2];
    for (unsigned start = 0; start < 2; start++) {
        // As main seeds it: another value at every start.
        std::srand(1000 + start);
        AudioFileSet set;
        LoadAndCondition(&set, dir.Path());
        ASSERT_EQ(set.GetAudioFiles().size(), 1u);
        starts[start] = *set.GetAudioFiles()[0]->GetBuffer();
    }
    ASSERT_EQ(starts[0].size(), 18000u);
    EXPECT_EQ(starts[0], starts[1]);
    EXPECT_EQ(AnalysisCache::SoundKey(starts[0]), AnalysisCache::SoundKey(starts[1]));
}

TEST(SoundLibraryTest, WhatIsNotARegularFileIsSkippedUnreadAndTheRestLoads)
{
    SoundDir dir;
    dir.WriteWav("a.wav", 2, 44100, Sine(1000, 2, 440.0, 0.8f));
    // A pipe no one writes to: reading it would wait for ever.
    ASSERT_EQ(mkfifo((dir.Path() + "fifo.wav").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((dir.Path() + "folder.wav").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir.Path() + "zero.wav").c_str()), 0);
    dir.WriteWav("z.wav", 1, 44100, Sine(500, 1, 220.0, 0.6f));

    AudioFileSet set;
    LoadOutput load = LoadQuietly(&set, dir.Path());
    EXPECT_EQ(load.result, 0);
    EXPECT_NE(FindFile(set, "a.wav"), nullptr);
    EXPECT_NE(FindFile(set, "z.wav"), nullptr);
    EXPECT_EQ(set.GetAudioFiles().size(), 2u);
    for (const char* name : {"fifo.wav", "folder.wav", "zero.wav"}) {
        EXPECT_NE(load.err.find(std::string("Not able to open input file ") + name + ".\n"), std::string::npos)
            << name << load.err;
        EXPECT_EQ(load.err.find(std::string("Loading '") + name), std::string::npos) << name;
    }
    size_t skipped = 0;
    for (size_t at = load.out.find("Not a regular file"); at != std::string::npos;
         at = load.out.find("Not a regular file", at + 1))
        skipped++;
    EXPECT_EQ(skipped, 3u) << load.out;
}

namespace {
// The samples of a file as one plain read gives them, at half scale, what is
// not a number silenced: what the loader must hold, however it reads.
std::vector<float> PlainRead(const std::string& path)
{
    SF_INFO info = {};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(sf, nullptr) << path;
    if (sf == nullptr)
        return {};
    std::vector<float> samples((size_t)info.frames * info.channels);
    sf_count_t frames = sf_readf_float(sf, samples.data(), info.frames);
    sf_close(sf);
    samples.resize((size_t)std::max<sf_count_t>(frames, 0) * info.channels);
    for (float& v : samples)
        v = std::isfinite(v) ? v * 0.5f : 0.0f;
    return samples;
}

void WriteFile(const std::string& path, int channels, int format, const std::vector<float>& samples)
{
    SF_INFO info = {};
    info.channels = channels;
    info.samplerate = 44100;
    info.format = format;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
    sf_writef_float(sf, samples.data(), (sf_count_t)(samples.size() / channels));
    sf_close(sf);
}

void ExpectSameBits(const std::vector<float>& a, const std::vector<float>& b, const std::string& what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); i++)
        ASSERT_EQ(std::memcmp(&a[i], &b[i], sizeof(float)), 0) << what << " sample " << i;
}

void ReleaseAnalyses(std::vector<SoundLoader::Analysis>* analyses)
{
    for (SoundLoader::Analysis& a : *analyses) {
        for (Spectrogram* chroma : a.chromas)
            delete chroma;
        for (Spectrogram* spectro : a.spectros)
            delete spectro;
    }
}
}  // namespace

namespace {
// A mono 1 kHz sine of seconds at rate.
std::vector<float> KiloHertzSine(int rate, double seconds)
{
    std::vector<float> x((size_t)(rate * seconds));
    for (size_t f = 0; f < x.size(); f++)
        x[f] = (float)(0.6 * std::sin(2.0 * M_PI * 1000.0 * (double)f / rate));
    return x;
}

// How often the first channel changes sign between its first and last 1000 frames.
int ZeroCrossings(const AudioFile& file)
{
    const float* x = file.GetSamples();
    unsigned n = file.GetNumChannels();
    int crossings = 0;
    for (uint64_t f = 1000; f + 1000 < file.GetNumFrames(); f++)
        crossings += (x[(f - 1) * n] < 0.0f) != (x[f * n] < 0.0f);
    return crossings;
}
}  // namespace

TEST(SoundLibraryTest, SoundsAtOtherRatesAreConvertedToTheEngineRateAndKeepTheirPitch)
{
    // Once heard at 918.6 Hz (48 kHz) and 2000 Hz (22.05 kHz) at 44.1 kHz.
    struct Case {
        int fileRate;
        double engineRate;
    };
    for (Case c : {Case{48000, 44100.0}, Case{22050, 44100.0}, Case{44100, 48000.0}, Case{96000, 48000.0}}) {
        SCOPED_TRACE(testing::Message() << c.fileRate << " Hz at " << c.engineRate);
        SoundDir dir;
        dir.WriteWav("tone.wav", 1, c.fileRate, KiloHertzSine(c.fileRate, 0.5));
        AudioFileSet set;
        LoadProgress progress;
        set.SetProgress(&progress);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        set.Load(dir.Path(), c.engineRate);
        testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;
        EXPECT_NE(err.find("converted from " + std::to_string(c.fileRate) + " Hz"), std::string::npos) << err;
        EXPECT_EQ(progress.GetText(), "Converting 'tone.wav' (1 of 1)");
        ASSERT_EQ(set.GetAudioFiles().size(), 1u);
        AudioFile* file = set.GetAudioFiles()[0];
        EXPECT_EQ(file->GetSampleRate(), c.engineRate);
        EXPECT_EQ(file->GetNumFrames(), (uint64_t)std::lround(0.5 * c.engineRate));
        double seconds = (double)(file->GetNumFrames() - 2000) / c.engineRate;
        EXPECT_NEAR(ZeroCrossings(*file), 2.0 * 1000.0 * seconds, 2.0);
        // The samples from which its analysis is found are the converted ones.
        EXPECT_EQ(file->GetKey(), AnalysisCache::SoundKey(*file->GetBuffer()));
    }
}

TEST(SoundLibraryTest, AFileBelowAThousandFramesPerSecondIsRefusedWithAMessage)
{
    // Six frames per second in a fuzzed header once took 1.6 GB of filters.
    SoundDir dir;
    dir.WriteWav("slow.wav", 2, 999, Sine(200, 2, 1.0, 0.5f));
    dir.WriteWav("phone.wav", 1, 1000, KiloHertzSine(1000, 0.2));
    AudioFileSet set;
    LoadOutput load = LoadQuietly(&set, dir.Path());
    EXPECT_NE(load.err.find("Not able to open input file slow.wav.\n"), std::string::npos) << load.err;
    EXPECT_NE(load.out.find("Its sample rate, 999 Hz, is below 1000 Hz: skipped."), std::string::npos) << load.out;
    ASSERT_EQ(set.GetAudioFiles().size(), 1u);
    EXPECT_EQ(set.GetAudioFiles()[0]->GetName(), "phone.wav");
    EXPECT_EQ(set.GetAudioFiles()[0]->GetNumFrames(), 8820u);
}

TEST(SoundLibraryTest, ASoundAtTheEngineRateIsNotConverted)
{
    SoundDir dir;
    dir.WriteWav("tone.wav", 1, 48000, KiloHertzSine(48000, 0.1));
    AudioFileSet set;
    LoadOutput load;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    set.Load(dir.Path(), 48000.0);
    load.out = testing::internal::GetCapturedStdout();
    load.err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(load.err.find("converted"), std::string::npos) << load.err;
    ASSERT_EQ(set.GetAudioFiles().size(), 1u);
    ExpectSameBits(*set.GetAudioFiles()[0]->GetBuffer(), PlainRead(dir.Path() + "tone.wav"), "tone.wav");
}

TEST(SoundLibraryTest, AConvertedSoundIsKeptForTheNextStartAtThatRateOnly)
{
    SoundDir dir;
    char pattern[] = "/tmp/zoltaconvertedXXXXXX";
    std::string cacheDir = mkdtemp(pattern);
    AnalysisCache cache(cacheDir);
    dir.WriteWav("tone.wav", 1, 48000, KiloHertzSine(48000, 0.3));
    auto load = [&](double rate, AnalysisCache* withCache) {
        AudioFileSet set;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        set.Load(dir.Path(), rate, withCache);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(set.GetAudioFiles().size(), 1u);
        return set.GetAudioFiles().empty() ? std::vector<float>() : *set.GetAudioFiles()[0]->GetBuffer();
    };
    auto origin = [&](double rate) {
        struct stat file;
        EXPECT_EQ(stat((dir.Path() + "tone.wav").c_str(), &file), 0);
        return ConvertedSoundEntry::Origin::Of(file, 1, 48000.0, rate);
    };
    std::vector<float> fresh = load(44100.0, nullptr);
    ExpectSameBits(load(44100.0, &cache), fresh, "cold start");
    std::string kept = cache.ConvertedPath(origin(44100.0));
    struct stat keptInfo;
    ASSERT_EQ(stat(kept.c_str(), &keptInfo), 0);
    EXPECT_GT(keptInfo.st_size, (off_t)(13230 * sizeof(float)));
    ExpectSameBits(load(44100.0, &cache), fresh, "warm start");

    // What the kept file holds is what the next start gets, checked against
    // its fingerprint: a damaged one is converted afresh...
    std::vector<float> quieter = fresh;
    for (float& v : quieter)
        v *= 0.25f;
    const ConvertedSoundEntry::Contents quieterContents = {quieter.size(), AnalysisCache::SoundKey(quieter), 0};
    cache.WriteConverted(origin(44100.0), quieter, quieterContents);
    ExpectSameBits(load(44100.0, &cache), quieter, "the kept file");
    {
        std::fstream file(kept, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(8192);
        file.put('\x7f');
    }
    ExpectSameBits(load(44100.0, &cache), fresh, "a damaged file");
    // ...a sound kept for one rate is never taken at another...
    cache.WriteConverted(origin(44100.0), quieter, quieterContents);
    cache.WriteConverted(origin(88200.0), quieter, quieterContents);
    ExpectSameBits(load(96000.0, &cache), load(96000.0, nullptr), "another rate");
    // ...nor for a file written anew, even at the same length.
    dir.WriteWav("tone.wav", 1, 48000, Sine(14400, 1, 1500.0, 0.6f));
    ExpectSameBits(load(44100.0, &cache), load(44100.0, nullptr), "a file written anew");
    std::system(("rm -rf " + cacheDir).c_str());
}

TEST(SoundLibraryTest, ADamagedConvertedSoundOfACompressedFileIsConvertedAfresh)
{
    // A compressed file is read in order, onto the end of what it is given.
    SoundDir dir;
    char pattern[] = "/tmp/zoltaconvertedXXXXXX";
    std::string cacheDir = mkdtemp(pattern);
    AnalysisCache cache(cacheDir);
    dir.WriteWav("tone.flac", 2, 48000, Sine(9600, 2, 700.0, 0.5f), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::vector<float> loads[2];
    for (AnalysisCache* withCache : {(AnalysisCache*)nullptr, &cache, &cache}) {
        AudioFileSet set;
        LoadQuietly(&set, dir.Path(), withCache);
        ASSERT_EQ(set.GetAudioFiles().size(), 1u);
        loads[withCache != nullptr] = *set.GetAudioFiles()[0]->GetBuffer();
    }
    struct stat file;
    ASSERT_EQ(stat((dir.Path() + "tone.flac").c_str(), &file), 0);
    std::string kept = cache.ConvertedPath(ConvertedSoundEntry::Origin::Of(file, 2, 48000.0, 44100.0));
    {
        std::fstream damaged(kept, std::ios::in | std::ios::out | std::ios::binary);
        damaged.seekp(5000);
        damaged.put('\x7f');
    }
    AudioFileSet set;
    LoadQuietly(&set, dir.Path(), &cache);
    ASSERT_EQ(set.GetAudioFiles().size(), 1u);
    ExpectSameBits(*set.GetAudioFiles()[0]->GetBuffer(), loads[0], "after the damage");
    ExpectSameBits(loads[1], loads[0], "from the kept file");
    std::system(("rm -rf " + cacheDir).c_str());
}

TEST(SoundLibraryTest, ALoadedSetIsConvertedToANewRateWithoutBeingTouched)
{
    // As when the audio system comes back at another rate while the scene plays.
    SoundDir dir;
    dir.WriteWav("a.wav", 1, 44100, KiloHertzSine(44100, 0.5));
    dir.WriteWav("b.wav", 1, 48000, KiloHertzSine(48000, 0.25));
    AudioFileSet set;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    set.Load(dir.Path(), 44100.0);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    set.Stereoize();
    set.Normalize();
    set.Fade();
    ASSERT_EQ(set.GetAudioFiles().size(), 2u);
    std::vector<std::vector<float>> before;
    for (AudioFile* file : set.GetAudioFiles())
        before.push_back(*file->GetBuffer());

    LoadProgress progress;
    std::unique_ptr<AudioFileSet> faster(set.ConvertedTo(48000.0, &progress));
    ASSERT_NE(faster, nullptr);
    EXPECT_EQ(progress.GetText(), "Converting 'b.wav' (2 of 2)");
    ASSERT_EQ(faster->GetAudioFiles().size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        AudioFile* old = set.GetAudioFiles()[i];
        AudioFile* now = faster->GetAudioFiles()[i];
        SCOPED_TRACE(old->GetName());
        ExpectSameBits(*old->GetBuffer(), before[i], "the playing sound");
        EXPECT_EQ(now->GetName(), old->GetName());
        EXPECT_EQ(now->GetPath(), old->GetPath());
        EXPECT_EQ(now->GetNumChannels(), 2u);
        EXPECT_EQ(now->GetSampleRate(), 48000.0);
        EXPECT_EQ(now->GetNumFrames(), (uint64_t)std::lround(old->GetNumFrames() * 48000.0 / 44100.0));
        double seconds = (double)(now->GetNumFrames() - 2000) / 48000.0;
        EXPECT_NEAR(ZeroCrossings(*now), 2.0 * 1000.0 * seconds, 2.0);
        EXPECT_EQ(now->GetKey(), AnalysisCache::SoundKey(*now->GetBuffer()));
    }
    // Back at the first rate, the same sound, in time (a frame late would
    // be 0.07 off), but for what lay above the band both rates keep.
    std::unique_ptr<AudioFileSet> back(faster->ConvertedTo(44100.0));
    ASSERT_NE(back, nullptr);
    const std::vector<float>& again = *back->GetAudioFiles()[0]->GetBuffer();
    ASSERT_EQ(again.size(), before[0].size());
    for (size_t i = 4000; i + 4000 < again.size(); i++)
        ASSERT_NEAR(again[i], before[0][i], 1e-4) << i;

    progress.Cancel();
    EXPECT_EQ(set.ConvertedTo(96000.0, &progress), nullptr);
}

TEST(SoundLibraryTest, ASoundTooLargeForTheMemoryIsRefusedWithAMessageAndTheRestLoads)
{
    // A W64 file whose header claims more 16-bit stereo frames than the
    // machine has memory for, all of them there but sparse: nothing on disk.
    SoundDir dir;
    dir.WriteWav("a.wav", 2, 44100, Sine(1000, 2, 440.0, 0.8f));
    std::string path = dir.Path() + "huge.w64";
    WriteFile(path, 2, SF_FORMAT_W64 | SF_FORMAT_PCM_16, Sine(1000, 2, 440.0, 0.8f));
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string DATA_GUID("data\xf3\xac\xd3\x11", 8);
    size_t data = bytes.find(DATA_GUID);
    ASSERT_NE(data, std::string::npos);
    uint64_t total = std::max<uint64_t>(13ULL << 30, (uint64_t)sysconf(_SC_PHYS_PAGES) * sysconf(_SC_PAGESIZE));
    uint64_t riffSize = total, dataSize = total - data;
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, &riffSize, 8, 16), 8);
    ASSERT_EQ(pwrite(fd, &dataSize, 8, (off_t)data + 16), 8);
    ASSERT_EQ(ftruncate(fd, (off_t)total), 0);
    close(fd);

    AudioFileSet set;
    LoadOutput load = LoadQuietly(&set, dir.Path());
    EXPECT_NE(load.err.find("Not able to open input file huge.w64.\n"), std::string::npos) << load.err;
    EXPECT_NE(load.out.find("Too large for the memory left: it needs "), std::string::npos) << load.out;
    ASSERT_EQ(set.GetAudioFiles().size(), 1u);
    EXPECT_EQ(set.GetAudioFiles()[0]->GetName(), "a.wav");
}

TEST(SoundLibraryTest, ALongSoundReadInStretchesHoldsTheBitsAndFingerprintOfOnePlainRead)
{
    // Longer than several stretches and not a multiple of one: 16 and 24 bit,
    // float with values that are not numbers, a file cut short of what its
    // header says, and a compressed file, which is read in order.
    SoundDir dir;
    const size_t frames = 3 * SampleFingerprint::PIECE_SAMPLES + 4321;
    std::vector<float> stereo = Sine((int)frames, 2, 331.0, 0.6f);
    std::vector<float> rough = stereo;
    int notNumbers = 0;
    for (size_t i = 5; i < rough.size(); i += 104729) {
        rough[i] = i % 3 == 0 ? NAN : (i % 3 == 1 ? -INFINITY : 0.99f);
        notNumbers += i % 3 != 2;
    }
    WriteFile(dir.Path() + "a16.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, stereo);
    WriteFile(dir.Path() + "b24.aiff", 1, SF_FORMAT_AIFF | SF_FORMAT_PCM_24, Sine((int)frames, 1, 97.0, 0.7f));
    WriteFile(dir.Path() + "c.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rough);
    WriteFile(dir.Path() + "d.flac", 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, stereo);
    WriteFile(dir.Path() + "e.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, stereo);
    // Cut in the last stretch, in the middle of a frame.
    ASSERT_EQ(truncate((dir.Path() + "e.wav").c_str(), 8 * (off_t)(frames - 70000) + 5), 0);

    AudioFileSet set;
    LoadOutput load = LoadQuietly(&set, dir.Path());
    ASSERT_EQ(set.GetAudioFiles().size(), 5u) << load.err;
    EXPECT_NE(load.err.find("'c.wav': " + std::to_string(notNumbers) + " samples that were not numbers"),
              std::string::npos)
        << load.err;
    for (AudioFile* file : set.GetAudioFiles()) {
        std::vector<float> plain = PlainRead(file->GetPath());
        ExpectSameBits(*file->GetBuffer(), plain, file->GetName());
        EXPECT_EQ(file->GetNumSamples(), plain.size()) << file->GetName();
        EXPECT_EQ(file->GetKey(), AnalysisCache::SoundKey(plain)) << file->GetName();
    }
    EXPECT_LT(FindFile(set, "e.wav")->GetNumFrames(), frames - 70000);
    EXPECT_GT(FindFile(set, "e.wav")->GetNumFrames(), frames - 70100);
}

TEST(SoundLibraryTest, NoSamplesHaveAFingerprintOfTheirOwn)
{
    // A sound read with nothing in it hands on no samples, perhaps no address.
    const uint64_t none = SampleFingerprint::Of(nullptr, 0);
    EXPECT_EQ(none, AnalysisCache::SoundKey({}));
    const float silence = 0.0f;
    EXPECT_NE(none, SampleFingerprint::Of(&silence, 1));
}

TEST(SoundLibraryTest, ASoundTakesItsClippingFromTheEntryOfTheSamplesItWasMadeFromOnly)
{
    SoundDir dir;
    char pattern[] = "/tmp/zoltaclipcacheXXXXXX";
    std::string cacheDir = mkdtemp(pattern);
    AnalysisCache cache(cacheDir);
    std::vector<float> tone = Sine(30000, 1, 180.0, 0.3f);
    tone[7001] = 0.95f;
    dir.WriteWav("click.wav", 1, 44100, tone);

    // A cold start measures the sound and its entry keeps how; a warm one
    // gives the same bits.
    AudioFileSet cold;
    LoadAndCondition(&cold, dir.Path());
    ASSERT_EQ(cold.GetAudioFiles().size(), 1u);
    AudioFile* sound = cold.GetAudioFiles()[0];
    ASSERT_NE(sound->GetClipLevels(), nullptr);
    DSP::ClipLevels measured = *sound->GetClipLevels();
    std::vector<SoundLoader::Analysis> analyses;
    SoundLoader(&cache, nullptr).Analyse(cold.GetAudioFiles(), {}, &analyses);
    ReleaseAnalyses(&analyses);
    DSP::ClipLevels kept = {};
    ASSERT_TRUE(cache.ReadClipLevels(sound->GetKey(), 30000, 2, 44100.0, &kept));
    EXPECT_EQ(kept.threshold, measured.threshold);
    EXPECT_EQ(kept.gain, measured.gain);
    AudioFileSet warm;
    LoadQuietly(&warm, dir.Path());
    warm.Stereoize();
    warm.Normalize(&cache);
    warm.Fade();
    ExpectSameBits(*warm.GetAudioFiles()[0]->GetBuffer(), *sound->GetBuffer(), "warm start");

    // What the entry says is what the sound gets: an entry with twice the
    // gain doubles its peak...
    DSP::ClipLevels doubled = {measured.threshold, 2.0 * measured.gain};
    AnalysisCache::Writer* writer = cache.StartWriting(sound->GetKey(), 30000, 2, 44100.0, &doubled);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->Finish());
    delete writer;
    AudioFileSet louder;
    LoadQuietly(&louder, dir.Path());
    louder.Stereoize();
    louder.Normalize(&cache);
    EXPECT_FLOAT_EQ(Peak(*louder.GetAudioFiles()[0]->GetBuffer()), 1.0f);
    // ...but a changed sound never finds it.
    tone[20000] += 0.01f;
    dir.WriteWav("click.wav", 1, 44100, tone);
    AudioFileSet changed;
    LoadQuietly(&changed, dir.Path());
    changed.Stereoize();
    changed.Normalize(&cache);
    EXPECT_FLOAT_EQ(Peak(*changed.GetAudioFiles()[0]->GetBuffer()), 0.5f);
    std::system(("rm -rf " + cacheDir).c_str());
}
