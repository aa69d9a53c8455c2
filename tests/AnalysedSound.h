#pragma once

#include <memory>
#include <vector>

#include "sound/SoundRect.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

// Gives a rect an interleaved stereo sound with the spectrogram and chromagram
// of each channel, as start-up does. The images stay owned by *spectra.
inline void AssociateAnalysedSound(SoundRect* rect, const std::vector<float>& samples, int frames,
                                   std::vector<std::unique_ptr<Spectrogram>>* spectra)
{
    rect->AssociateSamples(samples, frames, 2);
    for (int k = 0; k < 2; k++) {
        spectra->emplace_back(SamplesToSpectro::SamplesToSpectrogram(samples, frames, 2, k));
        rect->AssociateSpectrogram(k, spectra->back().get());
    }
    for (int k = 0; k < 2; k++) {
        spectra->emplace_back(SamplesToSpectro::SamplesToChromagram(samples, frames, 2, k));
        rect->AssociateChromagram(k, spectra->back().get());
    }
}
