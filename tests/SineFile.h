#pragma once

#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

// A stereo float WAV of frames frames of a half-scale sine, the same in both
// channels, for tests that load sounds the way the instrument does.
inline void WriteSine(const std::string& path, int frames)
{
    SF_INFO info = {};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> data(2 * size_t(frames));
    for (int i = 0; i < frames; i++)
        data[2 * i] = data[2 * i + 1] = float(0.5 * std::sin(0.05 * i));
    sf_writef_float(file, data.data(), frames);
    sf_close(file);
}
