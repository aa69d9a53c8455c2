#include "sound/AudioFileSet.h"

#include <dirent.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <utility>

#include "sound/AudioFile.h"
#include "sound/LoadProgress.h"
#include "spectral/DSP.h"
#include "spectral/Stereoizer.h"

namespace {
const int OUTPUT_SAMPLE_RATE = 44100;
// Large enough that the library's calls cost little, small enough to stay in
// the core's cache between the read and the copy into the sound.
const sf_count_t READ_CHUNK_FRAMES = 16384;
// What a header may make the loader reserve before any data has been read:
// the frames it claims, but never more than one per byte of the file (every
// uncompressed format takes at least that), or this many for a small file.
const sf_count_t RESERVE_LIMIT_FRAMES = 1 << 22;
// Loaded sounds sit 6 dB below full scale, leaving room for the mix.
const float READ_SCALE = 0.5f;
const int FADE_FRAMES = 128;
const double STEREO_WIDTH = 1.0;

bool IsSkippedEntry(const std::string& name)
{
    return name == "." || name == ".." || name == ".DS_Store";
}
}  // namespace

AudioFileSet::AudioFileSet() : _stereoizer(nullptr), _progress(nullptr)
{
}

AudioFileSet::~AudioFileSet()
{
    for (AudioFile* file : _fileSet)
        delete file;
    delete _stereoizer;
}

int AudioFileSet::Load(const std::string& dirPath)
{
    DIR* dir = opendir(dirPath.c_str());
    if (dir == nullptr) {
        perror("");
        return 1;
    }
    // Listed first, so that the progress can say how many files there are.
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (!IsSkippedEntry(name))
            names.push_back(name);
    }
    closedir(dir);
    // Byte order of the names, not the file system's: a folder and its copy
    // give the same sounds in the same places.
    std::sort(names.begin(), names.end());
    for (size_t i = 0; i < names.size(); i++) {
        if (_progress != nullptr)
            _progress->SetReading(names[i], (int)i, (int)names.size());
        LoadFile(names[i], dirPath + names[i]);
    }
    return 0;
}

void AudioFileSet::LoadFile(const std::string& name, const std::string& path)
{
    SF_INFO info = {};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (sf == nullptr) {
        fprintf(stderr, "Not able to open input file %s.\n", name.c_str());
        std::cout << sf_strerror(nullptr) << std::endl;
        return;
    }
    fprintf(stderr, "Loading '%s'... \n", name.c_str());
    std::cout << "  Channels: " << info.channels << std::endl
              << "  Frames: " << info.frames << std::endl
              << "  Sample Rate: " << info.samplerate << std::endl
              << "  Format: " << info.format << std::endl;
    if ((float)info.samplerate != (float)OUTPUT_SAMPLE_RATE)
        fprintf(stderr, "\nWARNING: '%s' is sampled at a different rate from the current sample rate of %i\n",
                name.c_str(), OUTPUT_SAMPLE_RATE);

    struct stat fileInfo;
    sf_count_t fileBytes = stat(path.c_str(), &fileInfo) == 0 ? (sf_count_t)fileInfo.st_size : 0;
    std::vector<float> samples;
    uint64_t replaced = ReadFrames(sf, info, fileBytes, &samples);
    sf_close(sf);
    uint64_t frames = samples.size() / info.channels;
    if (replaced > 0)
        fprintf(stderr, "  '%s': %llu samples that were not numbers (NaN or infinite) became silence.\n", name.c_str(),
                (unsigned long long)replaced);
    std::cout << frames << std::endl;
    _fileSet.push_back(new AudioFile(name, path, info.channels, frames, info.samplerate, std::move(samples)));
}

uint64_t AudioFileSet::ReadFrames(SNDFILE* sf, const SF_INFO& info, sf_count_t fileBytes, std::vector<float>* samples)
{
    // Whole frames only: libsndfile refuses item counts that are not a multiple
    // of the channel count. Only what the reads return is kept, so a file
    // shorter than its header says ends where its data ends, and a header that
    // claims billions of frames cannot make the loader ask for that much memory.
    size_t channels = (size_t)info.channels;
    std::vector<float> chunk(READ_CHUNK_FRAMES * channels);
    sf_count_t reserved = std::clamp<sf_count_t>(info.frames, 0, std::max(RESERVE_LIMIT_FRAMES, fileBytes));
    samples->reserve((size_t)reserved * channels);
    uint64_t replaced = 0;
    sf_count_t nRead;
    while ((nRead = sf_readf_float(sf, chunk.data(), READ_CHUNK_FRAMES)) > 0) {
        size_t count = (size_t)nRead * channels;
        for (size_t i = 0; i < count; i++) {
            // Neither a NaN nor an infinity is within the largest float.
            bool finite = std::fabs(chunk[i]) <= std::numeric_limits<float>::max();
            replaced += !finite;
            chunk[i] = finite ? chunk[i] * READ_SCALE : 0.0f;
        }
        samples->insert(samples->end(), chunk.begin(), chunk.begin() + (long)count);
    }
    return replaced;
}

void AudioFileSet::Stereoize()
{
    for (AudioFile*& file : _fileSet) {
        if (file->GetNumChannels() == 2)
            continue;
        AudioFile* stereo = ToStereo(file);
        delete file;
        file = stereo;
    }
}

AudioFile* AudioFileSet::ToStereo(AudioFile* file)
{
    uint64_t nFrames = file->GetNumFrames();
    AudioFile* stereo = new AudioFile(file->GetName(), file->GetPath(), 2, nFrames, file->GetSampleRate(),
                                      std::vector<float>(2 * nFrames, 0.0f));
    std::vector<float> mono, left, right;
    MixDown(file, &mono);
    LimitPeak(&mono);
    // Built on first use: its random filters cost more than loading a short
    // sound, and a folder of stereo sounds never needs them.
    if (_stereoizer == nullptr)
        _stereoizer = new Stereoizer(STEREO_WIDTH);
    _stereoizer->Reset();
    _stereoizer->Process(mono, &left, &right);
    DSP::Interleave(left, right, stereo->GetBuffer());
    return stereo;
}

void AudioFileSet::MixDown(AudioFile* file, std::vector<float>* mono)
{
    // A sound with more channels is heard as their mean, then spread like a mono one.
    unsigned nChans = file->GetNumChannels();
    uint64_t nFrames = file->GetNumFrames();
    const std::vector<float>& buffer = *file->GetBuffer();
    mono->assign(nFrames, 0.0f);
    // Summed in double: channels near the largest float would overflow a float sum.
    for (uint64_t f = 0; f < nFrames; f++) {
        double sum = 0.0;
        for (unsigned c = 0; c < nChans; c++)
            sum += buffer[f * nChans + c];
        (*mono)[f] = (float)(sum / nChans);
    }
}

void AudioFileSet::LimitPeak(std::vector<float>* mono)
{
    // The stereo filters add up many samples: a sound whose peaks lie far
    // beyond full scale (a float file can hold 1e38) would overflow them. Its
    // level is decided by Normalize afterwards anyway, so scaling it down here
    // changes nothing but the rounding.
    float peak = 0.0f;
    for (float x : *mono)
        peak = std::max(peak, std::fabs(x));
    if (peak <= 1.0f)
        return;
    double gain = 1.0 / peak;
    for (float& x : *mono)
        x = (float)(x * gain);
}

void AudioFileSet::Normalize()
{
    for (AudioFile* file : _fileSet) {
        DSP::ClipAndNormalize(file->GetBuffer());
    }
}

void AudioFileSet::Fade()
{
    for (AudioFile* file : _fileSet) {
        DSP::FadeIn(file->GetBuffer(), file->GetNumChannels(), FADE_FRAMES);
        DSP::FadeOut(file->GetBuffer(), file->GetNumChannels(), FADE_FRAMES);
    }
}
