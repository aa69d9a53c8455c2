#include "midi/MyRtMidiIn.h"

#include <cstdio>

#include "midi/MidiQueue.h"

MyRtMidiIn::MyRtMidiIn() : _midiIn(nullptr), _midiQueue(new MidiQueue()), _controlQueue(nullptr)
{
    try {
        _midiIn = new RtMidiIn(RtMidi::UNSPECIFIED, "RtMidi Input Client", 100);
    } catch (RtMidiError& e) {
        e.printMessage();
        _midiIn = nullptr;
    }
}

MyRtMidiIn::~MyRtMidiIn()
{
    delete _midiIn;
    delete _midiQueue;
}

int MyRtMidiIn::Open(int port)
{
    if (_midiIn == nullptr)
        return -1;
    try {
        int opened = ChooseMidiPort(port);
        if (opened == -1)
            return -1;
        _midiIn->setCallback(&MyRtMidiIn::_callback, this);
        // Deliver everything: system exclusive, timing and active sensing too.
        _midiIn->ignoreTypes(false, false, false);
        return opened;
    } catch (RtMidiError& e) {
        e.printMessage();
        return -1;
    }
}

int MyRtMidiIn::ChooseMidiPort(int port)
{
    printf("Midi Input Ports:\n");
    unsigned int count = _midiIn->getPortCount();
    for (unsigned int i = 0; i < count; i++) {
        printf("  Input port #%d | %s\n", i, _midiIn->getPortName(i).c_str());
    }
    if (count == 0) {
        printf("No Midi input ports available!\n");
        return -1;
    }
    // A single port is taken whatever number was asked for.
    if (count == 1)
        port = 0;
    printf("Opening:  Input port #%d | %s\n", port, _midiIn->getPortName(port).c_str());
    _midiIn->openPort(port, "RtMidi Input");
    return port;
}

void MyRtMidiIn::Callback(double deltaTime, std::vector<unsigned char>* message)
{
    // A message beyond a full queue is dropped rather than waited for.
    const bool isControlChange = !message->empty() && ((*message)[0] >> 4) == 0xB;
    MidiQueue* queue = isControlChange && _controlQueue != nullptr ? _controlQueue : _midiQueue;
    queue->PushMessage(deltaTime, *message);
}

void MyRtMidiIn::_callback(double deltaTime, std::vector<unsigned char>* message, void* userData)
{
    static_cast<MyRtMidiIn*>(userData)->Callback(deltaTime, message);
}
