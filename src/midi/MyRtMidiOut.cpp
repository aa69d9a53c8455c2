#include "midi/MyRtMidiOut.h"

#include <cstdio>
#include <vector>

const char* MyRtMidiOut::CLIENT_NAME = "zoltafenri-midi-out";
const char* MyRtMidiOut::PORT_NAME = "out";

MyRtMidiOut::MyRtMidiOut() : _midiOut(nullptr)
{
}

MyRtMidiOut::~MyRtMidiOut()
{
    delete _midiOut;
}

bool MyRtMidiOut::Create(RtMidi::Api api)
{
    delete _midiOut;
    _midiOut = nullptr;
    try {
        _midiOut = new RtMidiOut(api, CLIENT_NAME);
    } catch (RtMidiError& e) {
        e.printMessage();
        return false;
    }
    return true;
}

int MyRtMidiOut::Open(RtMidi::Api api, int port)
{
    if (!Create(api))
        return -1;
    try {
        _midiOut->openPort(port, PORT_NAME);
    } catch (RtMidiError& e) {
        e.printMessage();
    }
    int count = static_cast<int>(_midiOut->getPortCount());
    return count < 0 ? -1 : count;
}

bool MyRtMidiOut::OpenOwnPort(RtMidi::Api api)
{
    if (!Create(api))
        return false;
    try {
        _midiOut->openVirtualPort(PORT_NAME);
    } catch (RtMidiError& e) {
        e.printMessage();
        delete _midiOut;
        _midiOut = nullptr;
        return false;
    }
    printf("MIDI output: port %s:%s (%s), the letter keys' notes\n", CLIENT_NAME, PORT_NAME,
           RtMidi::getApiDisplayName(api).c_str());
    return true;
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
