#pragma once

// A gain that a knob sets between blocks, moved from where the last block
// left it to the new value across the next block instead of at once: a jump
// in a gain mid-signal is a step in the waveform, heard as a click, while the
// same change spread over a block (23 ms at the usual size) is heard as the
// knob's own glide.
class GainRamp {
public:
    explicit GainRamp(double gain) : _from(gain), _to(gain) {}

    // Once per block, before it is processed: the block goes from the last
    // target to this one.
    void SetTarget(double gain)
    {
        _from = _to;
        _to = gain;
    }
    // No glide: the block plays the target throughout.
    void Settle() { _from = _to; }
    // The gain for frame i of a block of n: the target itself on the last
    // frame and after it.
    double At(int i, int n) const { return i + 1 >= n ? _to : _from + (_to - _from) * (i + 1) / n; }
    double GetStart() const { return _from; }
    double GetTarget() const { return _to; }

private:
    double _from;
    double _to;
};
