// Writes the small sound files the loading fuzzer starts from: WAV in several
// sample formats and channel counts, FLAC, Ogg Vorbis and Opus, and a few of
// the other containers libsndfile opens, all made here with libsndfile, so
// that no sample file comes from elsewhere.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {
struct Seed {
    const char* name;
    int format;
    int channels;
    int rate;
    int frames;
};

const Seed SEEDS[] = {
    {"pcm16-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 200},
    {"float-mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, 150},
    {"pcm24-3ch.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 3, 48000, 100},
    {"pcm8-8k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000, 300},
    {"double-5ch.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 5, 44100, 40},
    {"ima-adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 22050, 600},
    {"ms-adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 1, 11025, 600},
    {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, 200},
    {"stereo.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 300},
    {"6ch-24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 6, 96000, 100},
    {"mono.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050, 400},
    {"stereo.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 2, 48000, 960},
    {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, 100},
    {"float.au", SF_FORMAT_AU | SF_FORMAT_FLOAT, 7, 44100, 30},
    {"pcm24.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_24, 1, 192000, 100},
    {"alac.caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 2, 44100, 200},
};

bool WriteSeed(const std::string& dir, const Seed& seed)
{
    SF_INFO info = {};
    info.channels = seed.channels;
    info.samplerate = seed.rate;
    info.format = seed.format;
    std::string path = dir + "/" + seed.name;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    if (sf == nullptr) {
        fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<float> samples((size_t)seed.frames * seed.channels);
    for (int f = 0; f < seed.frames; f++)
        for (int c = 0; c < seed.channels; c++)
            samples[(size_t)f * seed.channels + c] = 0.8f * (float)std::sin(0.05 * (c + 1) * f);
    sf_count_t written = sf_writef_float(sf, samples.data(), seed.frames);
    sf_close(sf);
    return written == seed.frames;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    bool ok = true;
    for (const Seed& seed : SEEDS)
        ok = WriteSeed(argv[1], seed) && ok;
    return ok ? 0 : 1;
}
