#pragma once

#include <vector>

// A ring of whole samples whose length is the delay: a sample that goes in
// comes out again as many Process calls later as the ring is long. Changing
// the delay resizes the ring in place without clearing it, so an echo that
// is playing goes on at the new length.
class DelayLine {
public:
    // The ring starts silent, ceil(delaySamples) long.
    explicit DelayLine(double delaySamples);
    virtual ~DelayLine();

    // Room for rings up to maxSamples long, so that resizing within it never
    // allocates on the audio thread.
    void Reserve(int maxSamples);
    // The ring becomes ceil(delaySamples) long, at least 1. Growing repeats
    // the newest sample into the new room; shrinking drops the newest
    // samples, so the oldest pending output still comes out next.
    void SetDelay(double delaySamples);

    // The sample the next Process returns.
    float Peek() const;
    float Process(float x);
    void Process(std::vector<float>* samples);
    // Silences the ring.
    void Reset();

    int GetSize() const { return (int)_delayLine.size(); }

private:
    void Grow(long size);
    void Shrink(long size);
    long Next(long pos) const;

    double _delay;
    std::vector<float> _delayLine;
    long _readPos;
    // The most recently written sample; the ring is always full, so the
    // next to read is the one after it.
    long _writePos;
};
