#include <benchmark/benchmark.h>

#include "QuietConsole.h"
#include "ResidentMemory.h"
#include <malloc.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "sound/AnalysisCache.h"
#include "sound/AudioFile.h"
#include "sound/AudioFileSet.h"
#include "sound/SoundLoader.h"
#include "spectral/Spectrogram.h"
#include "spectral/WaveformEnvelope.h"
#include "ui/UISoundRectPictures.h"

// The start-up of the instrument without its window: read and condition a
// folder of sounds, analyse every channel on every core (or map the
// analysis from the cache), build the waveform pictures beside it and pool
// the images as the canvas needs them. Times are wall times, with the CPU
// time of all threads of the process. Memory is what the start adds to the
// process: its peak while the start runs (the kernel's high-water mark,
// reset before each start) and what stays once the sounds are ready.

namespace {
// The engine's rate, and that of most sound files.
const int SAMPLE_RATE = 44100;
// The rate of field recorders and video, converted at every cold start.
const int FIELD_RATE = 48000;
const double MIB = 1024.0 * 1024.0;
// Rows of the pooled images on a large screen.
const size_t IMAGE_ROWS = 4096;

double ProcessCpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return (double)now.tv_sec + now.tv_nsec * 1e-9;
}

// The CPU time of the start's stages: reading and conditioning, then the
// analysis and the pictures, each spread over every core. On a shared
// machine the wall time says more about the others than about the start;
// half the CPU time says what the start would take alone on two cores, were
// every stage spread evenly (a bound: the few steps that run on one core,
// such as measuring a new sound's clipping, make it take a little longer).
struct StageTimes {
    double reading = 0.0;
    double analysis = 0.0;
    double IdleTwoCoreSeconds() const { return (reading + analysis) / 2.0; }
};

// Starts the kernel's count of the peak resident memory afresh.
void ResetPeakResident()
{
    FILE* refs = std::fopen("/proc/self/clear_refs", "w");
    if (refs == nullptr)
        return;
    std::fputs("5", refs);
    std::fclose(refs);
}

long PeakResidentBytes()
{
    long kib = 0;
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return 0;
    char line[256];
    while (std::fgets(line, sizeof(line), status) != nullptr) {
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kib = std::atol(line + 6);
    }
    std::fclose(status);
    return kib * 1024;
}

// A folder holding one file of noisy sweeps, 16-bit, written once per
// process and removed at exit.
class SoundFolder {
public:
    SoundFolder(int seconds, int channels, int rate = SAMPLE_RATE)
    {
        char pattern[] = "/tmp/zoltastartupXXXXXX";
        _dir = std::string(mkdtemp(pattern)) + "/";
        SF_INFO info = {};
        info.channels = channels;
        info.samplerate = rate;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* sf = sf_open((_dir + "sound.wav").c_str(), SFM_WRITE, &info);
        std::srand(1);
        std::vector<float> block(channels * rate);
        double phase = 0.0;
        for (int s = 0; s < seconds; s++) {
            for (int i = 0; i < rate; i++) {
                phase += 2.0 * M_PI * (110.0 + 20.0 * (s % 40)) / rate;
                float noise = 0.05f * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
                block[channels * i] = 0.4f * (float)std::sin(phase) + noise;
                if (channels == 2)
                    block[2 * i + 1] = 0.4f * (float)std::sin(1.5 * phase) - noise;
            }
            sf_writef_float(sf, block.data(), rate);
        }
        sf_close(sf);
    }
    ~SoundFolder() { std::system(("rm -rf " + _dir).c_str()); }
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
    ~TempCache() { std::system(("rm -rf " + _dir).c_str()); }
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
    std::vector<UISoundRectPictures::ImageLevels> images;
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

void Start(const std::string& dir, AnalysisCache* cache, LoadedSounds* loaded, StageTimes* times = nullptr)
{
    double start = ProcessCpuSeconds();
    {
        QuietConsole quiet;
        loaded->set.Load(dir, SAMPLE_RATE, cache);
    }
    loaded->set.Stereoize();
    loaded->set.Normalize(cache);
    loaded->set.Fade();
    double read = ProcessCpuSeconds();
    const std::vector<AudioFile*>& sounds = loaded->set.GetAudioFiles();
    std::vector<std::function<void()>> pictures;
    for (AudioFile* sound : sounds) {
        WaveformEnvelope* envelope = new WaveformEnvelope();
        loaded->envelopes.push_back(envelope);
        pictures.push_back([envelope, sound]() { envelope->SetChannel(*sound->GetBuffer(), 2, 0); });
    }
    SoundLoader(cache, nullptr).Analyse(sounds, pictures, &loaded->analyses);
    loaded->images.resize(2 * loaded->analyses.size());
    SoundLoader::ParallelFor(loaded->analyses.size(), [&](size_t i) {
        const SoundLoader::Analysis& analysis = loaded->analyses[i];
        if (analysis.spectros.empty())
            return;
        UISoundRectPictures::PoolImageRows(analysis.spectros[0], IMAGE_ROWS, &loaded->images[2 * i]);
        UISoundRectPictures::PoolImageRows(analysis.chromas[0], IMAGE_ROWS, &loaded->images[2 * i + 1]);
    });
    malloc_trim(0);
    if (times != nullptr) {
        times->reading = read - start;
        times->analysis = ProcessCpuSeconds() - read;
    }
}

void RunStart(benchmark::State& state, const SoundFolder& folder, int seconds, bool warm)
{
    TempCache cacheDir;
    AnalysisCache cache(cacheDir.Dir());
    if (warm) {
        LoadedSounds first;
        Start(folder.Dir(), &cache, &first);
    }
    double peakMiB = 0.0, loadedMiB = 0.0;
    StageTimes times;
    for (auto _ : state) {
        if (!warm)
            cacheDir.Clear();
        long before = TrimmedResidentBytes();
        ResetPeakResident();
        LoadedSounds loaded;
        Start(folder.Dir(), &cache, &loaded, &times);
        loadedMiB = (ResidentBytesNow() - before) / MIB;
        peakMiB = (PeakResidentBytes() - before) / MIB;
    }
    state.counters["peak_MiB"] = peakMiB;
    state.counters["loaded_MiB"] = loadedMiB;
    state.counters["loaded_MiB_per_minute"] = loadedMiB * 60.0 / seconds;
    state.counters["peak_over_loaded"] = loadedMiB > 0.0 ? peakMiB / loadedMiB : 0.0;
    state.counters["read_cpu_s"] = times.reading;
    state.counters["analysis_cpu_s"] = times.analysis;
    state.counters["alone_on_2_cores_s"] = times.IdleTwoCoreSeconds();
}

const SoundFolder& StereoMinute()
{
    static SoundFolder folder(60, 2);
    return folder;
}
const SoundFolder& StereoTenMinutes()
{
    static SoundFolder folder(600, 2);
    return folder;
}
const SoundFolder& StereoTenMinutesAtFieldRate()
{
    static SoundFolder folder(600, 2, FIELD_RATE);
    return folder;
}
const SoundFolder& StereoHour()
{
    static SoundFolder folder(3600, 2);
    return folder;
}
const SoundFolder& MonoTenMinutes()
{
    static SoundFolder folder(600, 1);
    return folder;
}

void BM_StartMinuteNoCache(benchmark::State& state)
{
    for (auto _ : state) {
        LoadedSounds loaded;
        Start(StereoMinute().Dir(), nullptr, &loaded);
    }
}
void BM_StartMinuteCold(benchmark::State& state)
{
    RunStart(state, StereoMinute(), 60, false);
}
void BM_StartMinuteWarm(benchmark::State& state)
{
    RunStart(state, StereoMinute(), 60, true);
}
void BM_StartTenMinutesCold(benchmark::State& state)
{
    RunStart(state, StereoTenMinutes(), 600, false);
}
void BM_StartTenMinutesWarm(benchmark::State& state)
{
    RunStart(state, StereoTenMinutes(), 600, true);
}
// The same ten minutes recorded at 48 kHz, converted for the 44.1 kHz
// engine: at a cold start, and at a warm one, which reads the converted
// sound from the cache.
void BM_StartTenMinutes48kCold(benchmark::State& state)
{
    RunStart(state, StereoTenMinutesAtFieldRate(), 600, false);
}
void BM_StartTenMinutes48kWarm(benchmark::State& state)
{
    RunStart(state, StereoTenMinutesAtFieldRate(), 600, true);
}
void BM_StartTenMinutesMonoCold(benchmark::State& state)
{
    RunStart(state, MonoTenMinutes(), 600, false);
}
void BM_StartTenMinutesMonoWarm(benchmark::State& state)
{
    RunStart(state, MonoTenMinutes(), 600, true);
}
void BM_StartHourCold(benchmark::State& state)
{
    RunStart(state, StereoHour(), 3600, false);
}
void BM_StartHourWarm(benchmark::State& state)
{
    RunStart(state, StereoHour(), 3600, true);
}

// The analysis alone, as start-up runs it: both channels of a minute of
// stereo at once on every core.
void BM_AnalysisPerMinuteAllCores(benchmark::State& state)
{
    AudioFileSet set;
    {
        QuietConsole quiet;
        set.Load(StereoMinute().Dir());
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

#define START_BENCHMARK(name, iterations)                                                                              \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(iterations)

BENCHMARK(BM_AnalysisPerMinuteAllCores)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
START_BENCHMARK(BM_StartMinuteNoCache, 3);
START_BENCHMARK(BM_StartMinuteCold, 3);
START_BENCHMARK(BM_StartMinuteWarm, 3);
START_BENCHMARK(BM_StartTenMinutesCold, 1);
START_BENCHMARK(BM_StartTenMinutesWarm, 1);
START_BENCHMARK(BM_StartTenMinutes48kCold, 1);
START_BENCHMARK(BM_StartTenMinutes48kWarm, 1);
START_BENCHMARK(BM_StartTenMinutesMonoCold, 1);
START_BENCHMARK(BM_StartTenMinutesMonoWarm, 1);
START_BENCHMARK(BM_StartHourCold, 1);
START_BENCHMARK(BM_StartHourWarm, 1);
