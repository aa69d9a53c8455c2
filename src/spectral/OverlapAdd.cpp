#include "spectral/OverlapAdd.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

#include "spectral/OverlapAddProcessor.h"

namespace {

// What every engine of one frame size reads and none writes: the window and
// the transform plans (radix factors and twiddles). Each piece is made the
// first time an engine asks for it and kept until the process ends, so that
// building an engine while the audio waits costs no trigonometry.
struct FrameTables {
    std::vector<float> window;
    kiss_fft_cfg forward = nullptr;
    kiss_fft_cfg inverse = nullptr;
};

std::vector<float> HannWindow(int n)
{
    std::vector<float> win(std::max(n, 0));
    for (int i = 0; i < n; i++)
        win[i] = n > 1 ? (float)(0.5 * (1.0 - std::cos(2.0 * M_PI * i / (n - 1)))) : 1.0f;
    return win;
}

// The tables of fftSize with the window and the asked-for plans made. They
// are only written here, under the lock, before any engine can see them;
// afterwards engines on any thread read them without locking. A plan read
// with distinct input and output buffers is never written by kiss_fft.
// The map lives on the heap and is never destroyed, so an audio thread still
// running while the process exits reads no freed window.
const FrameTables& TablesFor(int fftSize, bool forward, bool inverse)
{
    static std::mutex mutex;
    static std::map<int, FrameTables>* tables = new std::map<int, FrameTables>();
    std::lock_guard<std::mutex> lock(mutex);
    FrameTables& t = (*tables)[fftSize];
    if (t.window.empty())
        t.window = HannWindow(fftSize);
    if (forward && t.forward == nullptr)
        t.forward = kiss_fft_alloc(fftSize, 0, nullptr, nullptr);
    if (inverse && t.inverse == nullptr)
        t.inverse = kiss_fft_alloc(fftSize, 1, nullptr, nullptr);
    return t;
}

}  // namespace

OverlapAdd::OverlapAdd(int fftSize, int overlap, bool fftFlag, bool ifftFlag, int numChannels)
    : _fftSize(fftSize), _overlap(overlap), _fftFlag(fftFlag), _ifftFlag(ifftFlag),
      _numChannels(std::clamp(numChannels, 1, MAX_CHANNELS)), _synthTimeStretch(1.0), _numSamplesIn(0),
      _tmpCompBufIn(2 * fftSize, 0.0f), _tmpCompBufOut(2 * fftSize, 0.0f)
{
    // Every frame sizes it before filling it whole.
    _tmpSampBufIn.reserve(std::max(fftSize, 0));
    const FrameTables& tables = TablesFor(fftSize, fftFlag, ifftFlag);
    _window = &tables.window;
    _forwardFFT = fftFlag ? tables.forward : nullptr;
    _backwardFFT = ifftFlag ? tables.inverse : nullptr;
    // The input rings hold two frames.
    if (_fftFlag) {
        for (int c = 0; c < _numChannels; c++)
            _circSampBufsIn[c].SetCapacity(2 * fftSize);
    }
    if (_ifftFlag) {
        // The output rings start as silence to accumulate into.
        for (int c = 0; c < _numChannels; c++)
            _circSampBufsOut[c].SetCapacity(2 * fftSize);
        // Synthesis runs on the audio thread: room for the output a reader
        // leaves between reads and for frame spacings up to the output
        // ring's length, so that neither grows there.
        _tmpSynthZeroBuf.reserve(2 * fftSize);
        _outSamples.reserve(2 * fftSize);
    }
}

const std::vector<float>& OverlapAdd::SharedWindow(int fftSize)
{
    return TablesFor(fftSize, false, false).window;
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
    nChan = std::min(nChan, _numChannels);
    // A negative spacing would run the output ring backwards.
    int synthShift = std::max((int)(_synthTimeStretch * (double)Hop()), 0);
    if (_ifftFlag)
        _tmpSynthZeroBuf.assign(synthShift, 0.0f);

    // Frames start one hop apart, so feeding at most one hop between frames
    // keeps at most a frame and a hop waiting, whatever the block size. A
    // synthesis engine only counts its input: its frames come from the
    // processors.
    for (int offset = 0; offset < blockSize; offset += Hop()) {
        int piece = std::min(Hop(), blockSize - offset);
        if (_fftFlag) {
            for (int c = 0; c < nChan; c++)
                _circSampBufsIn[c].Push(samples.data() + c * blockSize + offset, piece);
        }
        _numSamplesIn += piece;
        ProcessFrames(nChan, synthShift);
    }
}

void OverlapAdd::ProcessFrames(int nChan, int synthShift)
{
    while (_numSamplesIn > _fftSize) {
        for (int c = 0; c < nChan; c++)
            ProcessFrame(c, synthShift);
        _numSamplesIn -= Hop();
    }
}

void OverlapAdd::ProcessFrame(int chanNum, int synthShift)
{
    if (_fftFlag)
        AnalyseFrame(chanNum);
    ProcessFFT(&_tmpCompBufOut, chanNum);
    if (_ifftFlag)
        SynthesiseFrame(chanNum, synthShift);
}

void OverlapAdd::AnalyseFrame(int chanNum)
{
    _tmpSampBufIn.resize(_fftSize);
    _circSampBufsIn[chanNum].Peek(_tmpSampBufIn.data(), _fftSize);
    _circSampBufsIn[chanNum].Pop(Hop());
    const std::vector<float>& win = *_window;
    for (int i = 0; i < _fftSize; i++) {
        _tmpCompBufIn[2 * i] = _tmpSampBufIn[i] * win[i];
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
    const std::vector<float>& win = *_window;
    // The windowed frame is added to what the earlier frames left there.
    std::vector<float>& frame = _tmpSampBufIn;
    frame.resize(_fftSize);
    CircularBuffer<float>& accum = _circSampBufsOut[chanNum];
    accum.Peek(frame.data(), _fftSize);
    for (int i = 0; i < _fftSize; i++)
        frame[i] += _tmpCompBufIn[2 * i] * norm * win[i];
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
