#include "midi/MidiQueue.h"

#include <algorithm>

namespace {
const unsigned char SYSTEM_EXCLUSIVE = 0xF0;
const unsigned char END_OF_EXCLUSIVE = 0xF7;

bool IsStatus(unsigned char byte)
{
    return byte >= 0x80;
}

bool AreData(const unsigned char* bytes, size_t count)
{
    return std::none_of(bytes, bytes + count, IsStatus);
}

// The bytes a message of that status holds, status included; 0 for a status
// that starts no message of its own (undefined, or the end of an exclusive).
int MessageLength(unsigned char status)
{
    switch (status >> 4) {
    case 0xC:  // program change
    case 0xD:  // channel pressure
        return 2;
    case 0xF:
        break;
    default:  // note off and on, key pressure, control change, pitch wheel
        return 3;
    }
    switch (status) {
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
        return 2;
    case 0xF2:  // song position
        return 3;
    case 0xF6:  // tune request
    case 0xF8:  // the real-time messages: clock, start, continue, stop,
    case 0xFA:  // active sensing, reset
    case 0xFB:
    case 0xFC:
    case 0xFE:
    case 0xFF:
        return 1;
    default:
        return 0;
    }
}
}  // namespace

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

MidiQueue::MidiQueue() : _ring(CAPACITY), _malformed(0)
{
}

bool MidiQueue::IsWellFormed(const unsigned char* bytes, size_t count)
{
    if (count == 0 || !IsStatus(bytes[0]))
        return false;
    if (bytes[0] == SYSTEM_EXCLUSIVE)
        return count >= 2 && bytes[count - 1] == END_OF_EXCLUSIVE && AreData(bytes + 1, count - 2);
    const int length = MessageLength(bytes[0]);
    return length > 0 && count == size_t(length) && AreData(bytes + 1, count - 1);
}

bool MidiQueue::PushMessage(double deltaTime, const std::vector<unsigned char>& message)
{
    if (!IsWellFormed(message.data(), message.size())) {
        _malformed.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    return _ring.Push(MidiMessage(deltaTime, message.data(), message.size()));
}

bool MidiQueue::PopMessage(MidiMessage* out)
{
    return _ring.Pop(out);
}
