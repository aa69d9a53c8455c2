// libFuzzer target for the path every file of the sound folder takes: the
// library's load, stereo conversion, normalisation and fades, then a sound
// rect with the analysis of each channel. Besides the sanitizers' findings it
// stops on any loaded sample that is not finite or not within half scale.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sound/AudioFile.h"
#include "sound/AudioFileSet.h"
#include "sound/SoundRect.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

namespace {
// Normalisation puts the peak at half scale; rounding may add an ulp.
const float LOADED_PEAK = 0.5f + 1e-6f;

const std::string& InputDir()
{
    static std::string dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/zoltafuzzXXXXXX";
        if (mkdtemp(pattern) == nullptr)
            abort();
        dir = std::string(pattern) + "/";
    }
    return dir;
}

void WriteInput(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        abort();
    if (size > 0 && fwrite(data, 1, size, file) != size)
        abort();
    fclose(file);
}

void CheckSamples(AudioFile* sound)
{
    if (sound->GetNumChannels() != 2 || sound->GetBuffer()->size() != sound->GetNumSamples())
        abort();
    for (float x : *sound->GetBuffer()) {
        if (!std::isfinite(x) || std::fabs(x) > LOADED_PEAK)
            abort();
    }
}

void Analyse(AudioFile* sound)
{
    SoundRect rect;
    rect.AssociateSamples(*sound->GetBuffer(), sound->GetNumFrames(), sound->GetNumChannels());
    int channels = int(sound->GetNumChannels());
    std::vector<Spectrogram*> spectros(channels), chromas(channels);
    for (int k = 0; k < channels; k++) {
        SamplesToSpectro::AnalyseChannel(*sound->GetBuffer(), int(sound->GetNumFrames()), channels, k, &spectros[k],
                                         &chromas[k]);
        rect.AssociateSpectrogram(k, spectros[k]);
        rect.AssociateChromagram(k, chromas[k]);
    }
    // The rect reads them until it goes, as in the program.
    for (int k = 0; k < channels; k++) {
        delete chromas[k];
        delete spectros[k];
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& dir = InputDir();
    std::string path = dir + "input";
    WriteInput(path, data, size);
    std::srand(1);
    AudioFileSet set;
    if (set.Load(dir) != 0)
        abort();
    set.Stereoize();
    set.Normalize();
    set.Fade();
    for (AudioFile* sound : set.GetAudioFiles()) {
        CheckSamples(sound);
        Analyse(sound);
    }
    unlink(path.c_str());
    return 0;
}
