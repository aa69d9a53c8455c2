#include "midi/MidiQueue.h"

#include <algorithm>

MidiQueue::MidiMessage::MidiMessage(double deltaTime, const unsigned char* bytes, size_t count)
    : _deltaTime(deltaTime), _size(std::min(count, MAX_BYTES))
{
    std::copy_n(bytes, _size, _bytes);
}

int MidiQueue::MidiMessage::GetChannel() const
{
    int status = Status();
    return status >= 0xF0 ? 0 : (status & 0x0F) + 1;
}

double MidiQueue::MidiMessage::GetPitchWheel() const
{
    return (DataByte(2) * 128 + DataByte(1) - 8192) / 8192.0;
}

MidiQueue::MidiQueue() : _ring(CAPACITY), _written(0), _read(0), _dropped(0)
{
}

bool MidiQueue::PushMessage(double deltaTime, const std::vector<unsigned char>& message)
{
    const size_t written = _written.load(std::memory_order_relaxed);
    if (written - _read.load(std::memory_order_acquire) >= CAPACITY) {
        _dropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    _ring[written % CAPACITY] = MidiMessage(deltaTime, message.data(), message.size());
    // The slot is complete before the reader can see it.
    _written.store(written + 1, std::memory_order_release);
    return true;
}

bool MidiQueue::PopMessage(MidiMessage* out)
{
    const size_t read = _read.load(std::memory_order_relaxed);
    if (read == _written.load(std::memory_order_acquire))
        return false;
    *out = _ring[read % CAPACITY];
    // The slot is copied out before the writer may reuse it.
    _read.store(read + 1, std::memory_order_release);
    return true;
}
