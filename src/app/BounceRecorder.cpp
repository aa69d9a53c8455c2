#include "app/BounceRecorder.h"

#include <algorithm>
#include <chrono>

BounceRecorder::BounceRecorder(size_t capacityFloats)
    : _ring(capacityFloats), _readPos(0), _writePos(0), _dropped(0), _running(false), _file(nullptr)
{
}

BounceRecorder::~BounceRecorder()
{
    Stop();
}

bool BounceRecorder::Start(const std::string& path)
{
    Stop();
    _file = fopen(path.c_str(), "wb");
    if (_file == nullptr)
        return false;
    _readPos = 0;
    _writePos = 0;
    _dropped = 0;
    _running = true;
    _writer = std::thread(&BounceRecorder::WriterLoop, this);
    return true;
}

void BounceRecorder::Stop()
{
    if (_file == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(_wakeMutex);
        _running = false;
    }
    _wake.notify_one();
    _writer.join();
    Drain();
    fclose(_file);
    _file = nullptr;
}

void BounceRecorder::Write(const float* samples, size_t count)
{
    size_t capacity = _ring.size();
    size_t write = _writePos.load(std::memory_order_relaxed);
    size_t read = _readPos.load(std::memory_order_acquire);
    // A block is queued whole or not at all, so the file never holds half a frame.
    if (capacity - (write - read) < count) {
        _dropped += count;
        return;
    }
    for (size_t i = 0; i < count; i++)
        _ring[(write + i) % capacity] = samples[i];
    _writePos.store(write + count, std::memory_order_release);
}

size_t BounceRecorder::Drain()
{
    size_t capacity = _ring.size();
    size_t read = _readPos.load(std::memory_order_relaxed);
    size_t write = _writePos.load(std::memory_order_acquire);
    size_t pending = write - read;
    while (read != write) {
        // Write the contiguous run up to the end of the ring, then wrap.
        size_t start = read % capacity;
        size_t run = std::min(write - read, capacity - start);
        fwrite(&_ring[start], sizeof(float), run, _file);
        read += run;
    }
    _readPos.store(read, std::memory_order_release);
    return pending;
}

void BounceRecorder::WriterLoop()
{
    while (_running.load()) {
        if (Drain() > 0)
            continue;
        std::unique_lock<std::mutex> lock(_wakeMutex);
        _wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return !_running.load(); });
    }
}
