#include "effects/DelayLine.h"

#include <algorithm>
#include <cmath>

namespace {
const double SAME_DELAY = 1e-15;
}

DelayLine::DelayLine(double delaySamples)
    : _delay(0.0), _delayLine((size_t)std::max(std::ceil(delaySamples), 0.0), 0.0f), _readPos(0), _writePos(0)
{
    Reset();
    SetDelay(delaySamples);
}

DelayLine::~DelayLine()
{
}

void DelayLine::Reserve(int maxSamples)
{
    _delayLine.reserve(std::max(maxSamples, 0));
}

void DelayLine::SetDelay(double delaySamples)
{
    if (std::fabs(delaySamples - _delay) < SAME_DELAY)
        return;
    _delay = delaySamples;
    long size = std::max((long)std::ceil(delaySamples), 1L);
    if (size > GetSize())
        Grow(size);
    else if (size < GetSize())
        Shrink(size);
}

// The new room goes just before the newest sample and repeats it; an empty
// ring has no newest sample and fills with silence.
void DelayLine::Grow(long size)
{
    if (_delayLine.empty()) {
        _delayLine.assign(size, 0.0f);
        Reset();
        return;
    }
    long added = size - GetSize();
    float newest = _delayLine[_writePos];
    _delayLine.insert(_delayLine.begin() + _writePos, added, newest);
    _writePos += added;
    _readPos = Next(_writePos);
}

// Drops the newest samples in one go: the run that ends at the write
// position, wrapping to the end of the vector when it starts before index 0.
void DelayLine::Shrink(long size)
{
    long dropped = GetSize() - size;
    long first = _writePos + 1 - dropped;
    if (first >= 0) {
        _delayLine.erase(_delayLine.begin() + first, _delayLine.begin() + _writePos + 1);
        _writePos = first > 0 ? first - 1 : size - 1;
    } else {
        _delayLine.erase(_delayLine.end() + first, _delayLine.end());
        _delayLine.erase(_delayLine.begin(), _delayLine.begin() + _writePos + 1);
        _writePos = size - 1;
    }
    _readPos = Next(_writePos);
}

long DelayLine::Next(long pos) const
{
    return pos + 1 < GetSize() ? pos + 1 : 0;
}

float DelayLine::Peek() const
{
    return _delayLine.empty() ? 0.0f : _delayLine[_readPos];
}

float DelayLine::Process(float x)
{
    if (_delayLine.empty())
        return x;
    float out = _delayLine[_readPos];
    _readPos = Next(_readPos);
    _writePos = Next(_writePos);
    _delayLine[_writePos] = x;
    return out;
}

void DelayLine::Process(std::vector<float>* samples)
{
    for (float& s : *samples)
        s = Process(s);
}

void DelayLine::Reset()
{
    std::fill(_delayLine.begin(), _delayLine.end(), 0.0f);
    _readPos = 0;
    _writePos = _delayLine.empty() ? 0 : GetSize() - 1;
}
