#pragma once

#include <cstdlib>

// Whether the voice's inner loops run with AVX2 and FMA. They are compiled
// both for those units and for any x86-64 processor, and each picks its
// version once, by this: the machine's units decide, unless the environment
// sets ZOLTA_PORTABLE_DSP (to compare the two, or to test the portable one).
inline bool HasAvx2AndFma()
{
    if (std::getenv("ZOLTA_PORTABLE_DSP") != nullptr)
        return false;
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
