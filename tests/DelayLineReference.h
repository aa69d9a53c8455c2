#pragma once

#include <vector>

// A delay-line ring that resizes the slow way: one insertion or one erasure
// per sample, each followed by the index fix-ups. The effects tests compare
// the real line against it, and the benchmark measures what it costs.
class ReferenceDelayLine {
public:
    explicit ReferenceDelayLine(long size) : _ring(size, 0.0f), _readPos(0), _writePos(size - 1) {}

    float Process(float x)
    {
        float out = _ring[_readPos];
        _readPos = (_readPos + 1) % (long)_ring.size();
        _writePos = (_writePos + 1) % (long)_ring.size();
        _ring[_writePos] = x;
        return out;
    }

    void ShrinkOneAtATime(long size)
    {
        while ((long)_ring.size() > size) {
            _ring.erase(_ring.begin() + _writePos);
            if (_readPos > _writePos && --_readPos < 0)
                _readPos += (long)_ring.size();
            if (--_writePos < 0)
                _writePos += (long)_ring.size();
        }
    }

    long GetSize() const { return (long)_ring.size(); }

private:
    std::vector<float> _ring;
    long _readPos;
    long _writePos;
};
