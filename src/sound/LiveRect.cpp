#include "sound/LiveRect.h"

#include "sound/LiveAnalysis.h"
#include "sound/LiveRing.h"
#include "spectral/SamplesToSpectro.h"

LiveRect::LiveRect() : _ring(new LiveRing(SamplesToSpectro::HOP)), _analysis(new LiveAnalysis(_ring))
{
    ShareSamples(&_ring->GetSamples(), 2 * _ring->GetCapacity(), LiveRing::CHANNELS);
    // Both channels resynthesise from the analysis of the left one.
    for (int chan = 0; chan < LiveRing::CHANNELS; chan++) {
        AssociateSpectrogram(chan, _analysis->GetSpectrogram());
        AssociateChromagram(chan, _analysis->GetChromagram());
    }
    _analysis->Start();
}

LiveRect::~LiveRect()
{
    // The worker reads the ring until it stops.
    _analysis->Stop();
    delete _analysis;
    delete _ring;
}

void LiveRect::Capture(const float* input, unsigned numFrames, unsigned numChannels)
{
    _ring->Write(input, numFrames, numChannels);
    _analysis->Publish();
}
