// Writes a handful of synthesised demo sounds into a folder, so that the
// instrument has material to play with on a machine that has no samples.
// Every sound comes from a fixed seed: the files are the same on every run.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const int SAMPLE_RATE = 44100;
const double TWO_PI = 6.283185307179586;
const float PEAK_LEVEL = 0.8f;

// Interleaved samples with their channel count.
struct Sound {
    int channels;
    std::vector<float> samples;

    Sound(int numChannels, double seconds)
        : channels(numChannels), samples(static_cast<size_t>(seconds * SAMPLE_RATE) * numChannels, 0.0f)
    {
    }

    size_t NumFrames() const { return samples.size() / channels; }
    float& At(size_t frame, int channel) { return samples[frame * channels + channel]; }
};

// xorshift32: small and identical everywhere, unlike the distributions of <random>.
class Noise {
public:
    explicit Noise(uint32_t seed) : _state(seed) {}
    virtual ~Noise() {}

    // A uniform value in [-1, 1).
    float Next()
    {
        _state ^= _state << 13;
        _state ^= _state >> 17;
        _state ^= _state << 5;
        return static_cast<float>(_state) / 2147483648.0f - 1.0f;
    }

private:
    uint32_t _state;
};

double MidiToHz(double note)
{
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

double CentsToRatio(double cents)
{
    return std::pow(2.0, cents / 1200.0);
}

// Raised-cosine rise and fall: no clicks at the ends of a held sound.
double SoftGate(double t, double length, double rise, double fall)
{
    if (t < rise)
        return 0.5 - 0.5 * std::cos(M_PI * t / rise);
    if (t > length - fall)
        return 0.5 - 0.5 * std::cos(M_PI * std::max(0.0, length - t) / fall);
    return 1.0;
}

// A band-limited sawtooth with few partials: warm rather than buzzy.
double SoftSaw(double phase)
{
    double value = 0.0;
    for (int k = 1; k <= 6; k++)
        value += std::sin(k * phase) / k;
    return value;
}

void Normalize(Sound* sound)
{
    float peak = 0.0f;
    for (float s : sound->samples)
        peak = std::max(peak, std::fabs(s));
    if (peak <= 0.0f)
        return;
    for (float& s : sound->samples)
        s *= PEAK_LEVEL / peak;
}

// One chord tone as three slightly detuned voices; the outer voices lean to
// opposite sides, which makes the chord wide and slowly beating.
void AddPadNote(Sound* pad, double note, double level)
{
    const double detuneCents[3] = {-8.0, 0.0, 8.0};
    const double leftGain[3] = {0.8, 0.5, 0.2};
    const double length = static_cast<double>(pad->NumFrames()) / SAMPLE_RATE;
    for (int v = 0; v < 3; v++) {
        double step = TWO_PI * MidiToHz(note) * CentsToRatio(detuneCents[v]) / SAMPLE_RATE;
        double phase = v * 2.1;  // the voices never start in phase
        for (size_t i = 0; i < pad->NumFrames(); i++, phase += step) {
            double value = level * SoftGate(i / double(SAMPLE_RATE), length, 1.5, 2.0) * SoftSaw(phase);
            pad->At(i, 0) += static_cast<float>(value * leftGain[v]);
            pad->At(i, 1) += static_cast<float>(value * (1.0 - leftGain[v]));
        }
    }
}

// A minor ninth chord, A2 E3 C4 G4 B4, held for six seconds.
Sound MakePadChord()
{
    Sound pad(2, 6.0);
    const double notes[5] = {45, 52, 60, 67, 71};
    for (double note : notes)
        AddPadNote(&pad, note, note < 50 ? 1.0 : 0.6);
    Normalize(&pad);
    return pad;
}

// Karplus-Strong: a noise burst circulates in a delay line one period long;
// averaging neighbours at each pass damps the high partials first, as in a string.
void AddPluck(Sound* out, size_t start, double hz, Noise* noise)
{
    std::vector<float> line(static_cast<size_t>(SAMPLE_RATE / hz));
    for (float& s : line)
        s = noise->Next();
    const float decay = 0.996f;
    size_t pos = 0;
    for (size_t i = start; i < out->NumFrames(); i++) {
        size_t next = (pos + 1) % line.size();
        float sample = line[pos];
        line[pos] = decay * 0.5f * (line[pos] + line[next]);
        out->At(i, 0) += sample;
        pos = next;
    }
}

// A pentatonic phrase in A minor, one note every 0.3 s, letting each ring on.
Sound MakePluckMelody()
{
    Sound melody(1, 5.0);
    Noise noise(1234);
    const int notes[16] = {57, 60, 64, 67, 69, 67, 64, 62, 60, 62, 64, 69, 72, 69, 67, 64};
    for (int n = 0; n < 16; n++) {
        AddPluck(&melody, static_cast<size_t>(n * 0.3 * SAMPLE_RATE), MidiToHz(notes[n]), &noise);
    }
    Normalize(&melody);
    return melody;
}

// Kick: a sine whose pitch falls quickly from 150 Hz towards 45 Hz.
float KickSample(double t)
{
    double phase = TWO_PI * (45.0 * t + 105.0 * 0.03 * (1.0 - std::exp(-t / 0.03)));
    return static_cast<float>(std::sin(phase) * std::exp(-t / 0.18));
}

// Snare: a short 185 Hz body under a longer burst of bright noise.
float SnareSample(double t, Noise* noise)
{
    double body = 0.5 * std::sin(TWO_PI * 185.0 * t) * std::exp(-t / 0.05);
    double rattle = 0.7 * noise->Next() * std::exp(-t / 0.09);
    return static_cast<float>(body + rattle);
}

// Hat: noise whose first difference keeps only the top of the spectrum.
float HatSample(double t, Noise* noise, float* previous)
{
    float white = noise->Next();
    float bright = white - *previous;
    *previous = white;
    return static_cast<float>(0.25 * bright * std::exp(-t / 0.025));
}

enum DrumKind { KICK, SNARE, HAT };

// Adds one hit at a time (in seconds), panned by its left/right gains.
void AddHit(Sound* groove, DrumKind kind, double at, double left, double right, Noise* noise)
{
    const size_t start = static_cast<size_t>(at * SAMPLE_RATE);
    const size_t length = static_cast<size_t>(0.6 * SAMPLE_RATE);
    float previous = 0.0f;
    for (size_t i = 0; i < length && start + i < groove->NumFrames(); i++) {
        double t = i / double(SAMPLE_RATE);
        float s = kind == KICK ? KickSample(t) : kind == SNARE ? SnareSample(t, noise) : HatSample(t, noise, &previous);
        groove->At(start + i, 0) += static_cast<float>(s * left);
        groove->At(start + i, 1) += static_cast<float>(s * right);
    }
}

// Two bars at 120 BPM: kick on 1 and 3 (and the "and" of 3), snare on 2 and 4,
// eighth-note hats slightly to the right.
Sound MakeDrumGroove()
{
    Sound groove(2, 4.0);
    Noise noise(777);
    const double eighth = 0.25;
    const char* pattern = "K-S-KKS-K-S-KKS-";  // one step per eighth note
    for (int step = 0; step < 16; step++) {
        double at = step * eighth;
        if (pattern[step] == 'K')
            AddHit(&groove, KICK, at, 1.0, 1.0, &noise);
        if (pattern[step] == 'S')
            AddHit(&groove, SNARE, at, 0.9, 0.7, &noise);
        AddHit(&groove, HAT, at, 0.5, 0.9, &noise);
    }
    Normalize(&groove);
    return groove;
}

// Chamberlin state-variable filter; only its band-pass output is used.
class BandPass {
public:
    explicit BandPass(double q) : _damping(1.0 / q) {}
    virtual ~BandPass() {}

    float Process(float in, double centreHz)
    {
        double f = 2.0 * std::sin(M_PI * centreHz / SAMPLE_RATE);
        _low += f * _band;
        double high = in - _low - _damping * _band;
        _band += f * high;
        return static_cast<float>(_band);
    }

private:
    double _damping;
    double _low = 0.0;
    double _band = 0.0;
};

// Noise through a resonant band that rises from 150 Hz to 6 kHz and falls back,
// on an exponential path so that it moves evenly in pitch; the right channel
// trails the left by a little for a sense of motion.
Sound MakeNoiseSweep()
{
    Sound sweep(2, 5.0);
    Noise noise(4242);
    BandPass filters[2] = {BandPass(8.0), BandPass(8.0)};
    const double length = 5.0;
    for (size_t i = 0; i < sweep.NumFrames(); i++) {
        double t = i / double(SAMPLE_RATE);
        for (int c = 0; c < 2; c++) {
            double shape = 0.5 - 0.5 * std::cos(TWO_PI * (t - 0.15 * c) / length);
            double centre = 150.0 * std::pow(40.0, shape);
            sweep.At(i, c) =
                static_cast<float>(filters[c].Process(noise.Next(), centre) * SoftGate(t, length, 0.2, 0.4));
        }
    }
    Normalize(&sweep);
    return sweep;
}

bool WriteWav(const std::string& path, const Sound& sound)
{
    SF_INFO info = {};
    info.samplerate = SAMPLE_RATE;
    info.channels = sound.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        fprintf(stderr, "Cannot write '%s': %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    sf_count_t written = sf_write_float(file, sound.samples.data(), static_cast<sf_count_t>(sound.samples.size()));
    sf_close(file);
    return written == static_cast<sf_count_t>(sound.samples.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    bool ok = WriteWav(folder + "/pad-chord.wav", MakePadChord());
    ok = WriteWav(folder + "/pluck-melody.wav", MakePluckMelody()) && ok;
    ok = WriteWav(folder + "/drum-groove.wav", MakeDrumGroove()) && ok;
    ok = WriteWav(folder + "/noise-sweep.wav", MakeNoiseSweep()) && ok;
    return ok ? 0 : 1;
}
