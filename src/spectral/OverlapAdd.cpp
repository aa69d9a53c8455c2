#include "spectral/OverlapAdd.h"

#include <algorithm>
#include <cmath>

#include "spectral/OverlapAddProcessor.h"

OverlapAdd::OverlapAdd(int fftSize, int overlap, bool fftFlag, bool ifftFlag)
    : _fftSize(fftSize),
      _overlap(overlap),
      _fftFlag(fftFlag),
      _ifftFlag(ifftFlag),
      _synthTimeStretch(1.0),
      _tmpSampBufIn(fftSize, 0.0f),
      _tmpSampBufOut(fftSize, 0.0f),
      _tmpCompBufIn(2 * fftSize, 0.0f),
      _tmpCompBufOut(2 * fftSize, 0.0f),
      _anaWin(fftSize, 0.0f),
      _synthWin(fftSize, 0.0f)
{
    // The output ring starts as 2 * fftSize of silence to accumulate into.
    std::vector<float> silence(2 * fftSize, 0.0f);
    for (int c = 0; c < MAX_CHANNELS; c++) {
        _circSampBufsIn[c].SetCapacity(2 * fftSize);
        _circSampBufsOut[c].SetCapacity(2 * fftSize);
        _circSampBufsOut[c].Push(silence.data(), (int)silence.size());
    }
    MakeWindow(&_anaWin);
    MakeWindow(&_synthWin);
    // Synthesis runs on the audio thread: room for the output a reader
    // leaves between reads and for frame spacings up to the output ring's
    // length, so that neither grows there.
    _tmpSynthZeroBuf.reserve(2 * fftSize);
    if (_ifftFlag)
        _outSamples.reserve(2 * fftSize);
    _forwardFFT = kiss_fft_alloc(fftSize, 0, nullptr, nullptr);
    _backwardFFT = kiss_fft_alloc(fftSize, 1, nullptr, nullptr);
}

OverlapAdd::~OverlapAdd()
{
    kiss_fft_free(_forwardFFT);
    kiss_fft_free(_backwardFFT);
}

void OverlapAdd::AddProcessor(OverlapAddProcessor* processor)
{
    _processors.push_back(processor);
}

void OverlapAdd::SetSynthTimeStretch(double synthTimeStretch)
{
    _synthTimeStretch = synthTimeStretch;
}

int OverlapAdd::Hop() const
{
    return _fftSize / _overlap;
}

void OverlapAdd::Feed(const std::vector<float>& samples, int blockSize, int nChan)
{
    if (nChan <= 0 || blockSize <= 0 || (long)samples.size() < (long)blockSize * nChan)
        return;
    nChan = std::min(nChan, MAX_CHANNELS);
    // A negative spacing would run the output ring backwards.
    int synthShift = std::max((int)(_synthTimeStretch * (double)Hop()), 0);
    _tmpSynthZeroBuf.assign(synthShift, 0.0f);

    // The input rings hold two frames: pushing at most one hop between
    // frames keeps them from overflowing whatever the block size.
    for (int offset = 0; offset < blockSize; offset += Hop()) {
        int piece = std::min(Hop(), blockSize - offset);
        for (int c = 0; c < nChan; c++)
            _circSampBufsIn[c].Push(samples.data() + c * blockSize + offset, piece);
        ProcessFrames(nChan, synthShift);
    }
}

void OverlapAdd::ProcessFrames(int nChan, int synthShift)
{
    while (_circSampBufsIn[0].GetSize() > _fftSize) {
        for (int c = 0; c < nChan; c++)
            ProcessFrame(c, synthShift);
    }
}

void OverlapAdd::ProcessFrame(int chanNum, int synthShift)
{
    // An output processor may have changed the length of the last frame.
    _tmpSampBufIn.resize(_fftSize);
    _circSampBufsIn[chanNum].Peek(_tmpSampBufIn.data(), _fftSize);
    _circSampBufsIn[chanNum].Pop(Hop());
    if (_fftFlag)
        ForwardTransform();
    ProcessFFT(&_tmpCompBufOut, chanNum);
    if (_ifftFlag)
        SynthesiseFrame(chanNum, synthShift);
}

void OverlapAdd::ForwardTransform()
{
    for (int i = 0; i < _fftSize; i++) {
        _tmpCompBufIn[2 * i] = _tmpSampBufIn[i] * _anaWin[i];
        _tmpCompBufIn[2 * i + 1] = 0.0f;
    }
    kiss_fft(_forwardFFT, reinterpret_cast<const kiss_fft_cpx*>(_tmpCompBufIn.data()),
             reinterpret_cast<kiss_fft_cpx*>(_tmpCompBufOut.data()));
}

void OverlapAdd::SynthesiseFrame(int chanNum, int synthShift)
{
    kiss_fft(_backwardFFT, reinterpret_cast<const kiss_fft_cpx*>(_tmpCompBufOut.data()),
             reinterpret_cast<kiss_fft_cpx*>(_tmpCompBufIn.data()));
    // The inverse transform is unnormalised.
    const float norm = 1.0f / (float)_fftSize;
    std::vector<float>& frame = _tmpSampBufIn;
    for (int i = 0; i < _fftSize; i++)
        frame[i] = _tmpCompBufIn[2 * i] * norm * _synthWin[i];

    CircularBuffer<float>& accum = _circSampBufsOut[chanNum];
    accum.Peek(_tmpSampBufOut.data(), _fftSize);
    for (int i = 0; i < _fftSize; i++)
        frame[i] += _tmpSampBufOut[i];
    accum.Poke(frame.data(), _fftSize);
    accum.Pop(synthShift);
    accum.Push(_tmpSynthZeroBuf.data(), synthShift);

    ProcessOutSamples(&frame, chanNum);
}

void OverlapAdd::ProcessFFT(std::vector<float>* compBuf, int chanNum)
{
    for (OverlapAddProcessor* processor : _processors)
        processor->ProcessFFT(compBuf, chanNum);
}

void OverlapAdd::ProcessOutSamples(std::vector<float>* buf, int chanNum)
{
    for (OverlapAddProcessor* processor : _processors)
        processor->ProcessOutSamples(buf, chanNum);
    // The first hop of the frame has received every overlapping frame.
    int n = std::min(Hop(), (int)buf->size());
    _outSamples.insert(_outSamples.end(), buf->begin(), buf->begin() + n);
}

void OverlapAdd::MakeWindow(std::vector<float>* win)
{
    int n = (int)win->size();
    for (int i = 0; i < n; i++)
        (*win)[i] = n > 1 ? (float)(0.5 * (1.0 - std::cos(2.0 * M_PI * i / (n - 1)))) : 1.0f;
}

void OverlapAdd::GetOutSamples(std::vector<float>* out) const
{
    *out = _outSamples;
}

void OverlapAdd::ClearOutSamples()
{
    _outSamples.clear();
}

void OverlapAdd::FlushOutSamples(int n)
{
    if (n <= 0)
        return;
    if (n >= (int)_outSamples.size())
        _outSamples.clear();
    else
        _outSamples.erase(_outSamples.begin(), _outSamples.begin() + n);
}
