#pragma once

#include <kiss_fft.h>

#include <vector>

#include "effects/CircularBuffer.h"

class OverlapAddProcessor;

// Short-time Fourier frame engine: cuts a stream into Hann-windowed frames
// one hop apart, optionally transforms each to the frequency domain, hands
// the spectrum to a chain of processors, optionally transforms back and
// overlap-adds the frames into an output stream. The two Hann windows are
// not compensated: a pass-through returns the input weighted by their
// overlap-added product.
class OverlapAdd {
public:
    static constexpr int MAX_CHANNELS = 2;

    // The hop is fftSize / overlap. fftFlag: frames are transformed forward;
    // ifftFlag: frames are transformed back and emitted.
    OverlapAdd(int fftSize, int overlap, bool fftFlag, bool ifftFlag);
    virtual ~OverlapAdd();
    OverlapAdd(const OverlapAdd&) = delete;
    OverlapAdd& operator=(const OverlapAdd&) = delete;

    // Processors are called in the order added; the engine does not own them.
    void AddProcessor(OverlapAddProcessor* processor);
    // Spacing of the synthesised frames in hops; each frame still emits one hop.
    void SetSynthTimeStretch(double synthTimeStretch);

    // samples is planar: channel c fills [c * blockSize, (c + 1) * blockSize).
    // At most MAX_CHANNELS channels are used; blocks of any size are taken;
    // a vector too short for blockSize * nChan samples is ignored.
    void Feed(const std::vector<float>& samples, int blockSize, int nChan);

    void GetOutSamples(std::vector<float>* out) const;
    void ClearOutSamples();
    // Drops the first n output samples, or all of them when fewer are stored.
    void FlushOutSamples(int n);

protected:
    virtual void ProcessFFT(std::vector<float>* compBuf, int chanNum);
    virtual void ProcessOutSamples(std::vector<float>* buf, int chanNum);
    virtual void MakeWindow(std::vector<float>* win);

private:
    int Hop() const;
    // Runs every frame that the input rings now hold.
    void ProcessFrames(int nChan, int synthShift);
    void ProcessFrame(int chanNum, int synthShift);
    void ForwardTransform();
    void SynthesiseFrame(int chanNum, int synthShift);

    std::vector<OverlapAddProcessor*> _processors;
    int _fftSize;
    int _overlap;
    bool _fftFlag;
    bool _ifftFlag;
    double _synthTimeStretch;
    CircularBuffer<float> _circSampBufsIn[MAX_CHANNELS];
    CircularBuffer<float> _circSampBufsOut[MAX_CHANNELS];
    std::vector<float> _tmpSampBufIn;
    std::vector<float> _tmpSampBufOut;
    std::vector<float> _tmpCompBufIn;
    std::vector<float> _tmpCompBufOut;
    std::vector<float> _tmpSynthZeroBuf;
    std::vector<float> _anaWin;
    std::vector<float> _synthWin;
    kiss_fft_cfg _forwardFFT;
    kiss_fft_cfg _backwardFFT;
    std::vector<float> _outSamples;
};
