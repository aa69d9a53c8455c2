#include "effects/DcBlocker.h"

#include <algorithm>
#include <cmath>

#include "spectral/DSP.h"

DcBlocker::DcBlocker(double sampleRate) : _pole(PoleFor(sampleRate)), _lastInput(), _lastOutput()
{
}

void DcBlocker::SetSampleRate(double sampleRate)
{
    _pole = PoleFor(sampleRate);
}

double DcBlocker::PoleFor(double sampleRate)
{
    return std::exp(-2.0 * M_PI * CORNER_HZ / sampleRate);
}

void DcBlocker::Process(float* frames, int nFrames)
{
    // A NaN or an infinity let into the state would silence the outputs for
    // good; the limiter after this would only see the damage.
    DSP::SilenceNonFinite(frames, 2 * size_t(std::max(nFrames, 0)));
    for (int i = 0; i < nFrames; i++) {
        for (int c = 0; c < 2; c++) {
            float& sample = frames[2 * long(i) + c];
            double output = sample - _lastInput[c] + _pole * _lastOutput[c];
            // In silence the tail ends at zero once under -120 dBFS, rather
            // than seconds later: what follows a sound is digital silence again.
            if (sample == 0.0f && std::fabs(output) < SILENCE)
                output = 0.0;
            _lastInput[c] = sample;
            _lastOutput[c] = output;
            sample = float(output);
        }
    }
}
