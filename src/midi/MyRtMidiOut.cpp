#include "midi/MyRtMidiOut.h"

#include <vector>

MyRtMidiOut::MyRtMidiOut() : _midiOut(nullptr)
{
    try {
        _midiOut = new RtMidiOut(RtMidi::UNSPECIFIED, "RtMidi Output Client");
    } catch (RtMidiError& e) {
        e.printMessage();
        _midiOut = nullptr;
    }
}

MyRtMidiOut::~MyRtMidiOut()
{
    delete _midiOut;
}

int MyRtMidiOut::Open(int port)
{
    if (_midiOut == nullptr)
        return -1;
    try {
        _midiOut->openPort(port, "RtMidi Output");
    } catch (RtMidiError& e) {
        e.printMessage();
    }
    int count = static_cast<int>(_midiOut->getPortCount());
    return count < 0 ? -1 : count;
}

void MyRtMidiOut::Send(unsigned char status, int note)
{
    if (_midiOut == nullptr)
        return;
    // Channel 1, full velocity.
    std::vector<unsigned char> message = {status, static_cast<unsigned char>(note), 127};
    try {
        _midiOut->sendMessage(&message);
    } catch (RtMidiError& e) {
        e.printMessage();
    }
}
