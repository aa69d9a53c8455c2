#pragma once

// While one lives, the calling thread's floating point takes numbers too small
// for full precision (denormals) as zero, in and out; the thread's earlier mode
// comes back when it goes. A decaying tail (a reverb's feedback lines, a filter
// ringing out) otherwise ends its life in denormals, which the processor
// computes many times slower than other numbers, so that a quiet passage can
// cost a block more than a loud one; and it hangs there, a few steps above
// zero, for good. Flushed, such a tail reaches exact zero, and nothing audible
// changes: the smallest normal float lies 750 dB below full scale.
class DenormalsFlushed {
public:
    DenormalsFlushed();
    virtual ~DenormalsFlushed();
    DenormalsFlushed(const DenormalsFlushed&) = delete;
    DenormalsFlushed& operator=(const DenormalsFlushed&) = delete;

private:
    unsigned long _savedMode;
};
