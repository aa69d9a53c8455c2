#pragma once

// Whether this machine runs AVX2 with FMA. The voice's inner loops are
// compiled both for those units and for any x86-64 processor, and each picks
// its version once, by this.
inline bool HasAvx2AndFma()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
