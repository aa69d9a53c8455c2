#include <benchmark/benchmark.h>

#include "QuietConsole.h"
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "sound/AnalysisCache.h"
#include "sound/AudioFile.h"
#include "sound/AudioFileSet.h"
#include "sound/SoundLoader.h"
#include "spectral/Spectrogram.h"
#include "spectral/WaveformEnvelope.h"

// The start-up of the instrument without its window: read and condition a
// folder of sounds, then analyse every channel on every core (or map the
// analysis from the cache) and build the waveform pictures beside it.
// Times are wall times, with the CPU time of all threads of the process;
// resident memory is counted from /proc/self/statm.

namespace {
const int SAMPLE_RATE = 44100;
const double MIB = 1024.0 * 1024.0;

long ResidentBytes()
{
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// A folder holding one stereo file of noisy sweeps, written once per process
// and removed at exit.
class StereoFolder {
public:
    explicit StereoFolder(int seconds)
    {
        char pattern[] = "/tmp/zoltastartupXXXXXX";
        _dir = std::string(mkdtemp(pattern)) + "/";
        SF_INFO info = {};
        info.channels = 2;
        info.samplerate = SAMPLE_RATE;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* sf = sf_open((_dir + "sound.wav").c_str(), SFM_WRITE, &info);
        std::srand(1);
        std::vector<float> block(2 * SAMPLE_RATE);
        double phase = 0.0;
        for (int s = 0; s < seconds; s++) {
            for (int i = 0; i < SAMPLE_RATE; i++) {
                phase += 2.0 * M_PI * (110.0 + 20.0 * (s % 40)) / SAMPLE_RATE;
                float noise = 0.05f * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
                block[2 * i] = 0.4f * (float)std::sin(phase) + noise;
                block[2 * i + 1] = 0.4f * (float)std::sin(1.5 * phase) - noise;
            }
            sf_writef_float(sf, block.data(), SAMPLE_RATE);
        }
        sf_close(sf);
    }
    ~StereoFolder() { std::system(("rm -rf " + _dir).c_str()); }
    const std::string& Dir() const { return _dir; }

private:
    std::string _dir;
};

class TempCache {
public:
    TempCache()
    {
        char pattern[] = "/tmp/zoltacachebenchXXXXXX";
        _dir = mkdtemp(pattern);
    }
    ~TempCache() { Clear(); }
    void Clear() { std::system(("rm -rf " + _dir + "/zoltafenri").c_str()); }
    std::string Dir() const { return _dir + "/zoltafenri"; }

private:
    std::string _dir;
};

// What start-up holds once the sounds are ready.
struct LoadedSounds {
    AudioFileSet set;
    std::vector<SoundLoader::Analysis> analyses;
    std::vector<WaveformEnvelope*> envelopes;
    ~LoadedSounds()
    {
        for (SoundLoader::Analysis& a : analyses) {
            for (Spectrogram* chroma : a.chromas)
                delete chroma;
            for (Spectrogram* spectro : a.spectros)
                delete spectro;
        }
        for (WaveformEnvelope* envelope : envelopes)
            delete envelope;
    }
};

void Start(const std::string& dir, AnalysisCache* cache, LoadedSounds* loaded)
{
    {
        QuietConsole quiet;
        loaded->set.Load(dir);
    }
    loaded->set.Stereoize();
    loaded->set.Normalize();
    loaded->set.Fade();
    const std::vector<AudioFile*>& sounds = loaded->set.GetAudioFiles();
    std::vector<std::function<void()>> pictures;
    for (AudioFile* sound : sounds) {
        WaveformEnvelope* envelope = new WaveformEnvelope();
        loaded->envelopes.push_back(envelope);
        pictures.push_back([envelope, sound]() { envelope->SetChannel(*sound->GetBuffer(), 2, 0); });
    }
    SoundLoader(cache, nullptr).Analyse(sounds, pictures, &loaded->analyses);
}

void RunStart(benchmark::State& state, int seconds, bool warm, bool withCache)
{
    static StereoFolder minute(60);
    static StereoFolder tenMinutes(600);
    const StereoFolder& folder = seconds == 60 ? minute : tenMinutes;
    TempCache cacheDir;
    AnalysisCache cache(cacheDir.Dir());
    if (warm) {
        LoadedSounds first;
        Start(folder.Dir(), &cache, &first);
    }
    double residentMiB = 0.0;
    for (auto _ : state) {
        if (!warm)
            cacheDir.Clear();
        long before = ResidentBytes();
        LoadedSounds loaded;
        Start(folder.Dir(), withCache ? &cache : nullptr, &loaded);
        residentMiB = (ResidentBytes() - before) / MIB;
    }
    state.counters["resident_MiB_per_minute"] = residentMiB * 60.0 / seconds;
}

void BM_StartMinuteNoCache(benchmark::State& state)
{
    RunStart(state, 60, false, false);
}
void BM_StartMinuteCold(benchmark::State& state)
{
    RunStart(state, 60, false, true);
}
void BM_StartMinuteWarm(benchmark::State& state)
{
    RunStart(state, 60, true, true);
}
void BM_StartTenMinutesCold(benchmark::State& state)
{
    RunStart(state, 600, false, true);
}
void BM_StartTenMinutesWarm(benchmark::State& state)
{
    RunStart(state, 600, true, true);
}

// The analysis alone, as start-up runs it: both channels of a minute of
// stereo at once on every core.
void BM_AnalysisPerMinuteAllCores(benchmark::State& state)
{
    static StereoFolder minute(60);
    AudioFileSet set;
    {
        QuietConsole quiet;
        set.Load(minute.Dir());
    }
    for (auto _ : state) {
        std::vector<SoundLoader::Analysis> analyses;
        SoundLoader(nullptr, nullptr).Analyse(set.GetAudioFiles(), {}, &analyses);
        state.PauseTiming();
        for (SoundLoader::Analysis& a : analyses) {
            for (Spectrogram* chroma : a.chromas)
                delete chroma;
            for (Spectrogram* spectro : a.spectros)
                delete spectro;
        }
        state.ResumeTiming();
    }
}
}  // namespace

BENCHMARK(BM_AnalysisPerMinuteAllCores)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_StartMinuteNoCache)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_StartMinuteCold)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_StartMinuteWarm)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_StartTenMinutesCold)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(2);
BENCHMARK(BM_StartTenMinutesWarm)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(3);
