#include <benchmark/benchmark.h>

#include "QuietConsole.h"
#include <fcntl.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "sound/AudioFile.h"
#include "sound/AudioFileSet.h"
#include "spectral/Stereoizer.h"

namespace {
const int SAMPLE_RATE = 44100;
const int SECONDS = 60;

// A folder holding one minute of noisy tones with the given channel count,
// written once per process and removed at exit.
class MinuteOfAudio {
public:
    explicit MinuteOfAudio(int channels)
    {
        char pattern[] = "/tmp/zoltabenchXXXXXX";
        _dir = std::string(mkdtemp(pattern)) + "/";
        SF_INFO info = {};
        info.channels = channels;
        info.samplerate = SAMPLE_RATE;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* sf = sf_open((_dir + "minute.wav").c_str(), SFM_WRITE, &info);
        std::srand(1);
        std::vector<float> frame(channels);
        for (long f = 0; f < (long)SECONDS * SAMPLE_RATE; f++) {
            for (int c = 0; c < channels; c++)
                frame[c] = 0.4f * (float)std::sin(2.0 * M_PI * 220.0 * (c + 1) * f / SAMPLE_RATE) +
                           0.1f * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
            sf_writef_float(sf, frame.data(), 1);
        }
        sf_close(sf);
    }
    ~MinuteOfAudio() { std::system(("rm -rf " + _dir).c_str()); }
    const std::string& Dir() const { return _dir; }

private:
    std::string _dir;
};

double PeakRssMegabytes()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void LoadAndCondition(benchmark::State& state, const MinuteOfAudio& audio)
{
    double bufferMegabytes = 0.0;
    for (auto _ : state) {
        AudioFileSet set;
        {
            QuietConsole quiet;
            set.Load(audio.Dir());
        }
        set.Stereoize();
        set.Normalize();
        set.Fade();
        benchmark::DoNotOptimize(set.GetAudioFiles()[0]->GetBuffer()->data());
        bufferMegabytes = set.GetAudioFiles()[0]->GetNumSamples() * sizeof(float) / 1048576.0;
    }
    // One iteration is one minute of audio, so the time per iteration is the time per minute.
    state.counters["buffer_MB"] = bufferMegabytes;
    state.counters["peak_rss_MB"] = PeakRssMegabytes();
}

void BM_LoadConditionStereoMinute(benchmark::State& state)
{
    static MinuteOfAudio stereo(2);
    LoadAndCondition(state, stereo);
}

// A mono minute pays for the stereoizer's two 2048-tap convolutions as well.
void BM_LoadConditionMonoMinute(benchmark::State& state)
{
    static MinuteOfAudio mono(1);
    LoadAndCondition(state, mono);
}

// The stereoizer alone on a minute of mono noise in memory: what the convolutions
// add to the mono figure above.
void BM_StereoizeMonoMinute(benchmark::State& state)
{
    std::srand(1);
    std::vector<float> mono((size_t)SECONDS * SAMPLE_RATE);
    for (float& x : mono)
        x = 2.0f * std::rand() / float(RAND_MAX) - 1.0f;
    Stereoizer stereoizer(1.0);
    std::vector<float> left, right;
    for (auto _ : state) {
        stereoizer.Reset();
        stereoizer.Process(mono, &left, &right);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
    }
}
}  // namespace

BENCHMARK(BM_LoadConditionStereoMinute)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadConditionMonoMinute)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StereoizeMonoMinute)->Unit(benchmark::kMillisecond)->UseRealTime();
