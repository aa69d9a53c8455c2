#include "effects/SafetyLimiter.h"

#include <algorithm>
#include <cmath>

#include "spectral/DSP.h"

namespace {
// Below this distance from unity the released envelope counts as unity.
const double UNITY_SNAP = 1e-6;
}  // namespace

SafetyLimiter::SafetyLimiter(double sampleRate)
    : _releaseCoefficient(std::exp(-1.0 / (RELEASE_SECONDS * sampleRate))), _delayed(), _reductions(), _pos(0),
      _frame(0), _minFrames(), _minGains(), _minFront(0), _minCount(0), _envelope(1.0), _reductionSum(0.0),
      _numReductions(0), _limitedFrames(0)
{
}

void SafetyLimiter::SetSampleRate(double sampleRate)
{
    _releaseCoefficient = std::exp(-1.0 / (RELEASE_SECONDS * sampleRate));
}

double SafetyLimiter::RequiredGain(double level)
{
    if (level <= THRESHOLD)
        return 1.0;
    // The knee leaves the identity with slope 1 and approaches the ceiling.
    double room = CEILING - THRESHOLD;
    return (THRESHOLD + room * std::tanh((level - THRESHOLD) / room)) / level;
}

void SafetyLimiter::Process(float* frames, int nFrames)
{
    DSP::SilenceNonFinite(frames, 2 * (size_t)std::max(nFrames, 0));
    uint64_t limited = 0;
    for (int i = 0; i < nFrames; i++) {
        float* frame = frames + 2 * (long)i;
        double required = RequiredGain(std::max(std::fabs(frame[0]), std::fabs(frame[1])));
        double gain = NextGain(NextEnvelope(NextLookAheadMinimum(required)));

        _delayed[2 * _pos] = frame[0];
        _delayed[2 * _pos + 1] = frame[1];
        _pos = (_pos + 1) % LOOKAHEAD_FRAMES;
        // The oldest frame of the look-ahead: every gain of the window was
        // computed while it was in view, so none exceeds what it asked for.
        float left = _delayed[2 * _pos];
        float right = _delayed[2 * _pos + 1];
        if (gain < 1.0) {
            limited++;
            // Rounding aside the product is already within the ceiling.
            left = std::clamp((float)(left * gain), -1.0f, 1.0f);
            right = std::clamp((float)(right * gain), -1.0f, 1.0f);
        }
        frame[0] = left;
        frame[1] = right;
    }
    if (limited > 0)
        _limitedFrames.fetch_add(limited, std::memory_order_relaxed);
}

double SafetyLimiter::NextLookAheadMinimum(double required)
{
    // The front leaves once it is out of the look-ahead (before the push, so
    // that the ring never holds more than the look-ahead); gains at the back
    // that ask for no less than the new one can never be the minimum again.
    if (_minCount > 0 && _frame - _minFrames[_minFront] >= (uint32_t)LOOKAHEAD_FRAMES) {
        _minFront = (_minFront + 1) % LOOKAHEAD_FRAMES;
        _minCount--;
    }
    while (_minCount > 0 && _minGains[(_minFront + _minCount - 1) % LOOKAHEAD_FRAMES] >= required)
        _minCount--;
    int back = (_minFront + _minCount) % LOOKAHEAD_FRAMES;
    _minFrames[back] = _frame;
    _minGains[back] = required;
    _minCount++;
    _frame++;
    return _minGains[_minFront];
}

double SafetyLimiter::NextEnvelope(double target)
{
    // Down at once (the averaging smooths it), back up slowly.
    if (target <= _envelope)
        _envelope = target;
    else
        _envelope = target - (target - _envelope) * _releaseCoefficient;
    if (_envelope > 1.0 - UNITY_SNAP)
        _envelope = 1.0;
    return _envelope;
}

double SafetyLimiter::NextGain(double envelope)
{
    double leaving = _reductions[_pos];
    double entering = 1.0 - envelope;
    _reductions[_pos] = entering;
    _numReductions += (entering != 0.0) - (leaving != 0.0);
    _reductionSum += entering - leaving;
    if (_numReductions == 0) {
        _reductionSum = 0.0;
        return 1.0;
    }
    return 1.0 - _reductionSum / LOOKAHEAD_FRAMES;
}
