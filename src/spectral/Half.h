#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

// IEEE 754 half-precision storage for spectral magnitudes: 11 significant
// bits (about 66 dB below each value) in two bytes, with a range up to 65504
// that covers every magnitude of a 2048-point frame of samples within +-1.
class Half {
public:
    virtual ~Half() {}

    // Rounded to the nearest half, ties to even; beyond the range becomes infinity.
    static uint16_t FromFloat(float value)
    {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof(bits));
        const uint32_t sign = (bits >> 16) & 0x8000u;
        const uint32_t magnitude = bits & 0x7fffffffu;
        if (magnitude > 0x7f800000u)
            return (uint16_t)(sign | 0x7e00u);
        if (magnitude >= 0x47800000u)
            return (uint16_t)(sign | 0x7c00u);
        if (magnitude < 0x38800000u) {
            // Below the smallest normal half: a multiple of 2^-24, rounded in float arithmetic.
            float absValue;
            std::memcpy(&absValue, &magnitude, sizeof(absValue));
            return (uint16_t)(sign | (uint32_t)std::nearbyint(absValue * 16777216.0f));
        }
        uint32_t half = (magnitude >> 13) - ((127u - 15u) << 10);
        const uint32_t dropped = magnitude & 0x1fffu;
        if (dropped > 0x1000u || (dropped == 0x1000u && (half & 1u)))
            half++;
        return (uint16_t)(sign | half);
    }

    static float ToFloat(uint16_t half)
    {
        const uint32_t sign = (uint32_t)(half & 0x8000u) << 16;
        const uint32_t exponent = (half >> 10) & 0x1fu;
        const uint32_t mantissa = half & 0x3ffu;
        if (exponent == 0) {
            const float value = (float)mantissa * (1.0f / 16777216.0f);
            return sign ? -value : value;
        }
        const uint32_t bits = sign | ((exponent == 31 ? 255u : exponent + 112u) << 23) | (mantissa << 13);
        float value;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    }
};
