#include "sound/ContentHash.h"

#include <algorithm>
#include <cstring>

namespace {
const uint64_t PRIME1 = 0x9E3779B185EBCA87ULL;
const uint64_t PRIME2 = 0xC2B2AE3D27D4EB4FULL;
const uint64_t PRIME3 = 0x165667B19E3779F9ULL;

uint64_t RotateLeft(uint64_t x, int bits)
{
    return (x << bits) | (x >> (64 - bits));
}

uint64_t Round(uint64_t lane, uint64_t input)
{
    return RotateLeft(lane + input * PRIME2, 31) * PRIME1;
}

uint64_t Avalanche(uint64_t h)
{
    h ^= h >> 33;
    h *= PRIME2;
    h ^= h >> 29;
    h *= PRIME3;
    h ^= h >> 32;
    return h;
}

uint64_t Load64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}
}  // namespace

ContentHash::ContentHash(uint64_t seed)
    : _lanes{seed + PRIME1 + PRIME2, seed + PRIME2, seed, seed - PRIME1}, _pending{}, _numPending(0), _length(0)
{
}

void ContentHash::ProcessBlock(const unsigned char* block)
{
    for (int i = 0; i < 4; i++)
        _lanes[i] = Round(_lanes[i], Load64(block + 8 * i));
}

void ContentHash::Update(const void* data, size_t size)
{
    // An empty sound's samples may have no address at all.
    if (size == 0)
        return;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    _length += size;
    if (_numPending > 0) {
        size_t take = std::min(size, BLOCK_BYTES - _numPending);
        std::memcpy(_pending + _numPending, p, take);
        _numPending += take;
        p += take;
        size -= take;
        if (_numPending < BLOCK_BYTES)
            return;
        ProcessBlock(_pending);
        _numPending = 0;
    }
    for (; size >= BLOCK_BYTES; p += BLOCK_BYTES, size -= BLOCK_BYTES)
        ProcessBlock(p);
    std::memcpy(_pending, p, size);
    _numPending = size;
}

uint64_t ContentHash::Digest() const
{
    uint64_t h =
        RotateLeft(_lanes[0], 1) + RotateLeft(_lanes[1], 7) + RotateLeft(_lanes[2], 12) + RotateLeft(_lanes[3], 18);
    h ^= _length * PRIME3;
    for (size_t i = 0; i < _numPending; i++)
        h = RotateLeft(h ^ (_pending[i] * PRIME3), 11) * PRIME1;
    return Avalanche(h);
}

uint64_t ContentHash::Of(const void* data, size_t size, uint64_t seed)
{
    ContentHash hash(seed);
    hash.Update(data, size);
    return hash.Digest();
}
