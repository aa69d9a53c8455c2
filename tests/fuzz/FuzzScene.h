#pragma once

// The scene the session fuzzer reads its inputs into, and in which its seeds
// are saved: three sound rects (a.wav, b.wav, c.wav) of different lengths and
// channel counts, and an input channel for live rects.
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/AudioEngine.h"
#include "app/StyleSwitch.h"

namespace fuzzscene {

const int W = 1000;
const int H = 500;

inline void WriteSound(const std::string& path, int frames, int channels)
{
    SF_INFO info = {};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> data(size_t(frames) * channels);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = float(0.5 * std::sin(0.05 * double(i)));
    sf_writef_float(file, data.data(), frames);
    sf_close(file);
}

// withD adds a fourth sound, d.wav: a session saved with it and read into
// the three-sound scene keeps d's rect aside.
inline App* MakeScene(bool withD = false)
{
    char pattern[] = "/tmp/zoltasessionfuzzXXXXXX";
    std::string dir = mkdtemp(pattern);
    WriteSound(dir + "/a.wav", 4410, 2);
    WriteSound(dir + "/b.wav", 8820, 1);
    WriteSound(dir + "/c.wav", 3000, 2);
    if (withD)
        WriteSound(dir + "/d.wav", 2000, 1);
    App* app = new App();
    app->SetWinSize(W, H);
    app->SetAudioPath(dir + "/");
    app->GetStyles()->CreateStyles();
    app->GetAudioEngine()->AssumeInputs(1);
    app->LoadSounds();
    std::system(("rm -rf " + dir).c_str());
    return app;
}

}  // namespace fuzzscene
