#include "effects/Reverb.h"

#include <algorithm>
#include <cmath>

Reverb::Reverb(int order, int maxNumSamples)
    : _feedWetOut(0.0), _drySignalMix(1.0), _glidePos(0), _glideLength(0), _order(order),
      _maxNumSamples(std::max(maxNumSamples, 1)), _delayTime(-1)
{
    Init();
}

Reverb::~Reverb()
{
}

void Reverb::Init()
{
    if ((int)_delayBuffer.size() < _order)
        _delayBuffer.resize(_order);
    SetRingCapacities(_maxNumSamples);
    _feedDryIn.resize(_order, 0.0);
    _delayTaps.resize(_order, 0);
    _decay.resize(_order, 0.0);
    ResizeFeedbackMatrix();
    // 1/sqrt(order) keeps the full power-of-two matrices orthonormal, so the
    // mix neither gains nor loses energy before the decay.
    GenerateHadamardMatrix(&_feedbackMatrix, 1.0 / std::sqrt((double)_order));
    _delayTime = -1;
}

void Reverb::ResizeFeedbackMatrix()
{
    while ((int)_feedbackMatrix.size() > _order) {
        _spareRows.push_back(std::move(_feedbackMatrix.back()));
        _feedbackMatrix.pop_back();
    }
    while ((int)_feedbackMatrix.size() < _order) {
        std::vector<float> row;
        if (!_spareRows.empty()) {
            row = std::move(_spareRows.back());
            _spareRows.pop_back();
            row.clear();
        }
        _feedbackMatrix.push_back(std::move(row));
    }
    for (std::vector<float>& row : _feedbackMatrix)
        row.resize(_order, 0.0f);
}

void Reverb::Reserve(int maxOrder, int maxDelayTime)
{
    maxOrder = std::max(maxOrder, _order);
    if ((int)_delayBuffer.size() < maxOrder)
        _delayBuffer.resize(maxOrder);
    const int maxCapacity = std::max(maxDelayTime, 0) + _maxNumSamples;
    _inputBuffer.Reserve(maxCapacity);
    for (CircularBuffer<float>& ring : _delayBuffer)
        ring.Reserve(maxCapacity);
    _feedDryIn.reserve(maxOrder);
    _delayTaps.reserve(maxOrder);
    _decay.reserve(maxOrder);
    _feedbackMatrix.reserve(maxOrder);
    _spareRows.reserve(maxOrder);
    for (std::vector<float>& row : _feedbackMatrix)
        row.reserve(maxOrder);
    while ((int)(_feedbackMatrix.size() + _spareRows.size()) < maxOrder) {
        _spareRows.emplace_back();
        _spareRows.back().reserve(maxOrder);
    }
}

void Reverb::SetRingCapacities(int capacity)
{
    _inputBuffer.SetCapacity(capacity);
    for (CircularBuffer<float>& ring : _delayBuffer)
        ring.SetCapacity(capacity);
}

void Reverb::Clear()
{
    SetRingCapacities(_inputBuffer.GetCapacity());
}

void Reverb::SetOrder(int order)
{
    if (order == _order)
        return;
    _order = order;
    Init();
}

void Reverb::SetFeedDryIn(double gain)
{
    std::fill(_feedDryIn.begin(), _feedDryIn.end(), gain);
}

void Reverb::SetFeedWetOut(double gain)
{
    _feedWetOut.SetTarget(gain);
}

void Reverb::SetDecay(double gain)
{
    std::fill(_decay.begin(), _decay.end(), gain);
}

void Reverb::SetDrySignalMix(double gain)
{
    _drySignalMix.SetTarget(gain);
}

void Reverb::StartGlide(int n)
{
    _glidePos = 0;
    _glideLength = n;
}

void Reverb::SettleMixes()
{
    _drySignalMix.Settle();
    _feedWetOut.Settle();
}

void Reverb::SetDelayTapTime(int samples)
{
    if (samples == _delayTime)
        return;
    _delayTime = samples;
    double step = std::log((double)samples) / _order;
    for (int k = 0; k < _order; k++)
        _delayTaps[k] = (int)std::exp(step * (k + 1));
    SetRingCapacities(samples + _maxNumSamples);
}

void Reverb::GenerateHadamardMatrix(std::vector<std::vector<float>>* m, double value)
{
    std::vector<std::vector<float>>& h = *m;
    if (h.empty() || h[0].empty())
        return;
    h[0][0] = (float)value;
    for (size_t size = 2; size <= h.size(); size *= 2) {
        size_t half = size / 2;
        for (size_t i = 0; i < half; i++) {
            for (size_t j = 0; j < half; j++) {
                h[i][half + j] = h[i][j];
                h[half + i][j] = h[i][j];
                h[half + i][half + j] = -h[i][j];
            }
        }
    }
}

void Reverb::Process(std::vector<float>* samples)
{
    Process(samples->data(), (int)samples->size());
}

void Reverb::Process(float* samples, int n)
{
    for (int done = 0; done < n; done += _maxNumSamples)
        ProcessBlock(samples + done, std::min(n - done, _maxNumSamples));
}

void Reverb::ProcessBlock(float* samples, int n)
{
    _inputBuffer.Push(samples, n);
    for (int z = 0; z < n; z++)
        samples[z] = ProcessMainLine(z);
    _inputBuffer.Pop(n);
    for (int i = 0; i < _order; i++)
        _delayBuffer[i].Pop(n);
}

// Every ring has one capacity and moves by the same steps (see
// SetRingCapacities and ProcessBlock), so a place in time is at the same index
// in all of them: it is wrapped once per tap, not once per line read.
float Reverb::ProcessMainLine(int z)
{
    const double dry = _drySignalMix.At(_glidePos, _glideLength);
    const double wet = _feedWetOut.At(_glidePos, _glideLength);
    if (_glidePos < _glideLength)
        _glidePos++;
    const int now = _inputBuffer.IndexOf(z);
    float out = (float)(dry * _inputBuffer.At(now));
    for (int n = 0; n < _order; n++)
        out = (float)(out + wet * ProcessDelayLine(now, _inputBuffer.IndexOf(z - _delayTaps[n]), n));
    return out;
}

float Reverb::ProcessDelayLine(int now, int past, int n)
{
    float v = (float)(_feedDryIn[n] * _inputBuffer.At(past));
    const float* mix = _feedbackMatrix[n].data();
    const double* decay = _decay.data();
    const CircularBuffer<float>* lines = _delayBuffer.data();
    for (int i = 0; i < _order; i++)
        v = (float)(v + (double)(mix[i] * lines[i].At(past)) * decay[i]);
    _delayBuffer[n].Set(now, v);
    return v;
}
