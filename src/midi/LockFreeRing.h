#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

// Items handed from one thread to one other without a lock: one thread
// pushes, the other pops, through a ring of fixed capacity, so neither
// allocates nor waits for the other. A push into a full ring drops the item.
template <typename T>
class LockFreeRing {
public:
    explicit LockFreeRing(size_t capacity) : _ring(capacity), _written(0), _read(0), _dropped(0) {}
    virtual ~LockFreeRing() {}
    LockFreeRing(const LockFreeRing&) = delete;
    LockFreeRing& operator=(const LockFreeRing&) = delete;

    // Producer thread. False when the ring is full and the item was dropped.
    bool Push(const T& item)
    {
        const size_t written = _written.load(std::memory_order_relaxed);
        if (written - _read.load(std::memory_order_acquire) >= _ring.size()) {
            _dropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        _ring[written % _ring.size()] = item;
        // The slot is complete before the consumer can see it.
        _written.store(written + 1, std::memory_order_release);
        return true;
    }

    // Consumer thread.
    bool Pop(T* out)
    {
        const size_t read = _read.load(std::memory_order_relaxed);
        if (read == _written.load(std::memory_order_acquire))
            return false;
        *out = _ring[read % _ring.size()];
        // The slot is copied out before the producer may reuse it.
        _read.store(read + 1, std::memory_order_release);
        return true;
    }

    size_t GetSize() const { return _written.load() - _read.load(); }
    size_t GetCapacity() const { return _ring.size(); }
    // Items dropped because the ring was full.
    size_t GetDropped() const { return _dropped.load(); }

private:
    std::vector<T> _ring;
    // Running counts; slot = count % capacity. Each is written by one thread only.
    std::atomic<size_t> _written;
    std::atomic<size_t> _read;
    std::atomic<size_t> _dropped;
};
