#pragma once

// How cleanly a grain voice plays a sine at a rate: grains are rendered
// through the voice, one after another at pseudo-random places in the sound,
// and beside them the same grains computed exactly (the sine evaluated at
// every fractional read position, under the same envelope). Spectra are
// Welch averages over Blackman-Harris windows. Used by the measuring tool and
// the quality tests.

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"

namespace grainquality {

const double SAMPLE_RATE = 44100.0;
const double TONE_LEVEL = 0.5;
const int SOUND_FRAMES = 4 * 44100;
// The half-blocks a cloud renders at the stream's 1024-frame blocks.
const unsigned BLOCK = 512;
const int FFT_SIZE = 8192;
const int HOP = FFT_SIZE / 4;

struct GrainRun {
    double toneHz;
    double rate;
    // The grain duration as the performer sets it; the envelope lasts twice as long.
    double durationMs;
    int grains;
};

// The voice's output and the exact reference, left channel, grain after grain.
struct Rendered {
    std::vector<float> voice;
    std::vector<float> exact;
};

inline std::vector<float> StereoSine(double hz)
{
    std::vector<float> samples(2 * (size_t)SOUND_FRAMES);
    for (int i = 0; i < SOUND_FRAMES; i++)
        samples[2 * i] = samples[2 * i + 1] = (float)(TONE_LEVEL * std::sin(2.0 * M_PI * hz * i / SAMPLE_RATE));
    return samples;
}

// A fixed sequence of grain places, the same on every run.
inline double GrainPlace(int grain)
{
    const unsigned hash = (unsigned)grain * 2654435761u;
    return 0.1 + 0.6 * (double)(hash >> 8) / (double)(1u << 24);
}

// The envelope level the voice gives at a frame of a grain of durationSamps
// interleaved samples, walked as the voice walks it.
inline double EnvelopeLevel(const std::vector<float>& table, double durationSamps, long frame)
{
    const double pos = frame * (2048.0 / durationSamps);
    const size_t a = std::min((size_t)pos, table.size() - 1), b = std::min(a + 1, table.size() - 1);
    const double frac = pos - std::floor(pos);
    return table[a] * (1.0 - frac) + table[b] * frac;
}

inline Rendered RenderGrains(const GrainRun& run)
{
    SoundRect rect;
    const std::vector<float> sine = StereoSine(run.toneHz);
    rect.AssociateSamples(sine, SOUND_FRAMES, 2);
    Envelope envelope(2048);
    const double durationMs = run.durationMs;
    AudioSource voice({&rect}, &envelope, durationMs, run.rate, 1.0);
    voice.SetDirection(1.0);
    voice.SetDurationMs(durationMs);
    voice.SetPitch(run.rate);
    voice.UpdateParams();
    const std::vector<float>& table = envelope.GetEnvelope(Envelope::HANNING);
    const double paramY = 1.0;
    Rendered rendered;
    std::vector<float> block(2 * BLOCK);
    for (int g = 0; g < run.grains; g++) {
        const double place = GrainPlace(g);
        voice.Play(&place, &paramY);
        const double start = voice.GetStartPosition(0);
        long frame = 0;
        while (voice.IsPlaying()) {
            std::fill(block.begin(), block.end(), 0.0f);
            voice.NextBuffer(&block, BLOCK, 0);
            // The grain ends where its envelope walk passes the last entry.
            for (unsigned i = 0; i < BLOCK && frame * (2048.0 / voice.GetDurationSamps()) <= 2047.0; i++, frame++) {
                const double level = EnvelopeLevel(table, voice.GetDurationSamps(), frame);
                rendered.voice.push_back(block[2 * i]);
                // The frame a voice hears is the one before its read position.
                const double x = start - 1.0 + frame * run.rate;
                rendered.exact.push_back(
                    (float)(level * TONE_LEVEL * std::sin(2.0 * M_PI * run.toneHz * x / SAMPLE_RATE)));
            }
        }
    }
    return rendered;
}

// Power per bin, 0 ... FFT_SIZE / 2, averaged over Blackman-Harris windows.
inline std::vector<double> PowerSpectrum(const std::vector<float>& signal)
{
    std::vector<float> window(FFT_SIZE), frame(FFT_SIZE);
    for (int i = 0; i < FFT_SIZE; i++) {
        const double x = 2.0 * M_PI * i / FFT_SIZE;
        window[i] = (float)(0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x));
    }
    std::vector<kiss_fft_cpx> spectrum(FFT_SIZE / 2 + 1);
    std::vector<double> power(FFT_SIZE / 2 + 1, 0.0);
    kiss_fftr_cfg cfg = kiss_fftr_alloc(FFT_SIZE, 0, nullptr, nullptr);
    for (size_t at = 0; at + FFT_SIZE <= signal.size(); at += HOP) {
        for (int i = 0; i < FFT_SIZE; i++)
            frame[i] = signal[at + i] * window[i];
        kiss_fftr(cfg, frame.data(), spectrum.data());
        for (size_t b = 0; b < power.size(); b++)
            power[b] += (double)spectrum[b].r * spectrum[b].r + (double)spectrum[b].i * spectrum[b].i;
    }
    kiss_fftr_free(cfg);
    return power;
}

inline double Sum(const std::vector<double>& power)
{
    double sum = 0.0;
    for (double p : power)
        sum += p;
    return sum;
}

inline double Db(double ratio)
{
    return 10.0 * std::log10(std::max(ratio, 1e-30));
}

// The share of the energy lying outside centreHz +- halfWidthHz, in dB.
inline double OutsideBandDb(const std::vector<float>& signal, double centreHz, double halfWidthHz)
{
    const std::vector<double> power = PowerSpectrum(signal);
    double inside = 0.0;
    for (size_t b = 0; b < power.size(); b++) {
        const double hz = b * SAMPLE_RATE / FFT_SIZE;
        if (std::fabs(hz - centreHz) <= halfWidthHz)
            inside += power[b];
    }
    const double total = Sum(power);
    return Db((total - inside) / total);
}

// The strongest bin outside centreHz +- halfWidthHz against the strongest
// of all, in dB: how loud the loudest side tone is.
inline double StrongestOutsideDb(const std::vector<float>& signal, double centreHz, double halfWidthHz)
{
    const std::vector<double> power = PowerSpectrum(signal);
    double outside = 0.0, strongest = 0.0;
    for (size_t b = 0; b < power.size(); b++) {
        strongest = std::max(strongest, power[b]);
        if (std::fabs(b * SAMPLE_RATE / FFT_SIZE - centreHz) > halfWidthHz)
            outside = std::max(outside, power[b]);
    }
    return Db(outside / strongest);
}

// The energy of one signal against another's, in dB.
inline double LevelDb(const std::vector<float>& signal, const std::vector<float>& reference)
{
    return Db(Sum(PowerSpectrum(signal)) / Sum(PowerSpectrum(reference)));
}

}  // namespace grainquality
