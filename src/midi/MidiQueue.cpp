#include "midi/MidiQueue.h"

int MidiQueue::MidiMessage::GetChannel() const
{
    int status = Status();
    return status >= 0xF0 ? 0 : (status & 0x0F) + 1;
}

double MidiQueue::MidiMessage::GetPitchWheel() const
{
    return (DataByte(2) * 128 + DataByte(1) - 8192) / 8192.0;
}

void MidiQueue::PushMessage(double deltaTime, const std::vector<unsigned char>& message)
{
    MidiMessage m;
    m._deltaTime = deltaTime;
    m._message = message;
    _messages.push_back(m);
}

bool MidiQueue::PopMessage(MidiMessage* out)
{
    if (_messages.empty())
        return false;
    *out = _messages.front();
    _messages.pop_front();
    return true;
}
