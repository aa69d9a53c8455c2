#include "sound/EngineRate.h"

#include <atomic>
#include <cmath>

namespace {
std::atomic<double> currentRate{EngineRate::REFERENCE_RATE};
}  // namespace

EngineRate::~EngineRate() = default;

double EngineRate::Get()
{
    return currentRate.load(std::memory_order_relaxed);
}

void EngineRate::Set(double rate)
{
    if (rate > 0.0 && std::isfinite(rate))
        currentRate.store(rate, std::memory_order_relaxed);
}

unsigned EngineRate::FramesOf(double seconds)
{
    const double frames = std::round(seconds * Get());
    return frames < 1.0 ? 1u : unsigned(frames);
}

unsigned EngineRate::ScaledFrames(unsigned referenceFrames)
{
    const double frames = std::round(FromReferenceFrames(referenceFrames));
    return frames < 1.0 ? 1u : unsigned(frames);
}

bool EngineRate::IsSupported(unsigned rate)
{
    for (unsigned supported : SUPPORTED_RATES) {
        if (rate == supported)
            return true;
    }
    return false;
}
