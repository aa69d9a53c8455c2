#include "app/DenormalsFlushed.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {
#if defined(__SSE__)
// Results that would be denormal become zero (flush to zero), and denormal
// operands are read as zero (denormals are zero).
const unsigned long FLUSH_BITS = 0x8000 | 0x0040;
unsigned long ReadMode()
{
    return _mm_getcsr();
}
void WriteMode(unsigned long mode)
{
    _mm_setcsr((unsigned)mode);
}
#elif defined(__aarch64__)
// The flush-to-zero bit of the floating-point control register.
const unsigned long FLUSH_BITS = 1ul << 24;
unsigned long ReadMode()
{
    return __builtin_aarch64_get_fpcr();
}
void WriteMode(unsigned long mode)
{
    __builtin_aarch64_set_fpcr((unsigned)mode);
}
#else
// Elsewhere denormals are computed as they come.
const unsigned long FLUSH_BITS = 0;
unsigned long ReadMode()
{
    return 0;
}
void WriteMode(unsigned long)
{
}
#endif
}  // namespace

DenormalsFlushed::DenormalsFlushed() : _savedMode(ReadMode())
{
    WriteMode(_savedMode | FLUSH_BITS);
}

DenormalsFlushed::~DenormalsFlushed()
{
    WriteMode(_savedMode);
}
