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
    // 8192 steps below the centre and 8191 above it: both ends reach the full bend.
    const int fromCentre = DataByte(2) * 128 + DataByte(1) - 8192;
    return fromCentre / (fromCentre > 0 ? 8191.0 : 8192.0);
}

MidiQueue::MidiQueue() : _ring(CAPACITY)
{
}

bool MidiQueue::PushMessage(double deltaTime, const std::vector<unsigned char>& message)
{
    return _ring.Push(MidiMessage(deltaTime, message.data(), message.size()));
}

bool MidiQueue::PopMessage(MidiMessage* out)
{
    return _ring.Pop(out);
}
