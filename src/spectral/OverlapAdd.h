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
//
// An engine holds only what its direction needs: an analysis engine has no
// output rings and no inverse transform, a synthesis engine no input rings
// and no forward transform. The window and the transform plans depend on the
// frame size alone and are shared, read-only, by every engine of that size.
class OverlapAdd {
public:
    static constexpr int MAX_CHANNELS = 2;

    // The hop is fftSize / overlap. fftFlag: frames are transformed forward;
    // ifftFlag: frames are transformed back and emitted. numChannels (1 ...
    // MAX_CHANNELS) is the most channels a Feed uses.
    OverlapAdd(int fftSize, int overlap, bool fftFlag, bool ifftFlag, int numChannels = MAX_CHANNELS);
    virtual ~OverlapAdd() {}
    OverlapAdd(const OverlapAdd&) = delete;
    OverlapAdd& operator=(const OverlapAdd&) = delete;

    // Processors are called in the order added; the engine does not own them.
    void AddProcessor(OverlapAddProcessor* processor);
    // Spacing of the synthesised frames in hops; each frame still emits one hop.
    void SetSynthTimeStretch(double synthTimeStretch);

    // samples is planar: channel c fills [c * blockSize, (c + 1) * blockSize).
    // At most numChannels channels are used; blocks of any size are taken;
    // a vector too short for blockSize * nChan samples is ignored.
    void Feed(const std::vector<float>& samples, int blockSize, int nChan);

    void GetOutSamples(std::vector<float>* out) const;
    void ClearOutSamples();
    // Drops the first n output samples, or all of them when fewer are stored.
    void FlushOutSamples(int n);

    // The Hann window of the frame size, the same object for every engine of that size.
    const std::vector<float>& GetWindow() const { return *_window; }
    // The same window for anyone who cuts or joins frames of that size without an engine.
    static const std::vector<float>& SharedWindow(int fftSize);

protected:
    virtual void ProcessFFT(std::vector<float>* compBuf, int chanNum);
    virtual void ProcessOutSamples(std::vector<float>* buf, int chanNum);

private:
    int Hop() const;
    // Runs every frame that the input now holds.
    void ProcessFrames(int nChan, int synthShift);
    void ProcessFrame(int chanNum, int synthShift);
    void AnalyseFrame(int chanNum);
    void SynthesiseFrame(int chanNum, int synthShift);

    std::vector<OverlapAddProcessor*> _processors;
    int _fftSize;
    int _overlap;
    bool _fftFlag;
    bool _ifftFlag;
    int _numChannels;
    double _synthTimeStretch;
    // Samples waiting in each input channel, whether or not they are kept.
    int _numSamplesIn;
    CircularBuffer<float> _circSampBufsIn[MAX_CHANNELS];
    CircularBuffer<float> _circSampBufsOut[MAX_CHANNELS];
    // The frame being analysed or synthesised. Sized at every frame, as an
    // output processor may change its length.
    std::vector<float> _tmpSampBufIn;
    std::vector<float> _tmpCompBufIn;
    std::vector<float> _tmpCompBufOut;
    std::vector<float> _tmpSynthZeroBuf;
    // Analysis and synthesis use the same window. Shared, never freed.
    const std::vector<float>* _window;
    // Shared plans, never freed; null in the direction the engine does not take.
    kiss_fft_cfg _forwardFFT;
    kiss_fft_cfg _backwardFFT;
    std::vector<float> _outSamples;
};
