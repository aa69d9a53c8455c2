#include "sound/AudioFileSet.h"

#include <dirent.h>
#include <sndfile.h>

#include <cstdio>
#include <iostream>

#include "sound/AudioFile.h"
#include "sound/LoadProgress.h"
#include "spectral/DSP.h"
#include "spectral/Stereoizer.h"

namespace {
const int OUTPUT_SAMPLE_RATE = 44100;
const int READ_CHUNK = 512;
// Loaded sounds sit 6 dB below full scale, leaving room for the mix.
const float READ_SCALE = 0.5f;
const int FADE_FRAMES = 128;
const double STEREO_WIDTH = 1.0;

bool IsSkippedEntry(const std::string& name)
{
    return name == "." || name == ".." || name == ".DS_Store";
}
}  // namespace

AudioFileSet::AudioFileSet() : _stereoizer(new Stereoizer(STEREO_WIDTH)), _progress(nullptr)
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

    uint64_t total = (uint64_t)info.frames * info.channels;
    AudioFile* file =
        new AudioFile(name, path, info.channels, info.frames, info.samplerate, std::vector<float>(total, 0.0f));
    _fileSet.push_back(file);

    // Only the values a read returned are stored: a file shorter than its
    // header says keeps silence, not stale chunk contents, past its real end.
    float chunk[READ_CHUNK];
    std::vector<float>& buffer = *file->GetBuffer();
    uint64_t stored = 0;
    sf_count_t nRead;
    while ((nRead = sf_read_float(sf, chunk, READ_CHUNK)) > 0) {
        for (sf_count_t i = 0; i < nRead && stored < total; i++)
            buffer[stored++] = chunk[i] * READ_SCALE;
    }
    std::cout << stored << std::endl;
    sf_close(sf);
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
    for (uint64_t f = 0; f < nFrames; f++) {
        float sum = 0.0f;
        for (unsigned c = 0; c < nChans; c++)
            sum += buffer[f * nChans + c];
        (*mono)[f] = sum / nChans;
    }
}

void AudioFileSet::Normalize()
{
    for (AudioFile* file : _fileSet) {
        DSP::AutomaticClipping(file->GetBuffer());
        DSP::Normalize(file->GetBuffer());
    }
}

void AudioFileSet::Fade()
{
    for (AudioFile* file : _fileSet) {
        DSP::FadeIn(file->GetBuffer(), file->GetNumChannels(), FADE_FRAMES);
        DSP::FadeOut(file->GetBuffer(), file->GetNumChannels(), FADE_FRAMES);
    }
}
