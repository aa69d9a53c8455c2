#pragma once

#include <cstddef>
#include <cstdint>

// A fast 64-bit fingerprint of a stream of bytes, fed in pieces of any size:
// four multiply-rotate lanes over 32-byte blocks, then an avalanche of the
// lanes, the tail and the length. It tells apart sounds and cache entries,
// it is not a defence against someone forging one.
class ContentHash {
public:
    explicit ContentHash(uint64_t seed = 0);
    virtual ~ContentHash() {}

    void Update(const void* data, size_t size);
    uint64_t Digest() const;

    static uint64_t Of(const void* data, size_t size, uint64_t seed = 0);

private:
    static const size_t BLOCK_BYTES = 32;
    void ProcessBlock(const unsigned char* block);

    uint64_t _lanes[4];
    unsigned char _pending[BLOCK_BYTES];
    size_t _numPending;
    uint64_t _length;
};
