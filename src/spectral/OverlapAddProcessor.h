#pragma once

#include <vector>

// A hook in the frame chain of an OverlapAdd engine. Analysis processors
// record the spectrum of each frame; resynthesis processors write the
// spectrum to be synthesised and follow a position in a stored spectrogram.
// Every hook does nothing here, so a processor overrides only what it needs.
class OverlapAddProcessor {
public:
    virtual ~OverlapAddProcessor() {}

    // A copy with the same settings, owned by the caller; null when the
    // processor cannot be copied.
    virtual OverlapAddProcessor* Clone() { return nullptr; }
    // compBuf: the frame's full complex spectrum, interleaved real, imaginary.
    virtual void ProcessFFT(std::vector<float>* /*compBuf*/, int /*chanNum*/) {}
    // buf: the synthesised time-domain frame, before it is emitted.
    virtual void ProcessOutSamples(std::vector<float>* /*buf*/, int /*chanNum*/) {}
    // Fractional column of the stored spectrum that the next frame reads.
    virtual void SetSpectroColNum(double /*colNum*/) {}
    // selFreq points to the low and high edges of the kept band.
    virtual void SetSelFreq(double* /*selFreq*/) {}
    // Columns advanced per synthesised frame; negative plays backwards.
    virtual void SetTimeStretch(double /*timeStretch*/) {}
};
