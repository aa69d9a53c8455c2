#include "midi/MyRtMidiIn.h"

#include <cstdio>

#include "midi/MidiQueue.h"

const char* MyRtMidiIn::CLIENT_NAME = "zoltafenri-midi-in";
const char* MyRtMidiIn::PORT_NAME = "in";

namespace {
// Messages the library holds for us before it drops them.
const unsigned int LIBRARY_QUEUE = 100;
}  // namespace

MyRtMidiIn::MyRtMidiIn() : _midiIn(nullptr), _midiQueue(new MidiQueue()), _controlQueue(nullptr)
{
}

MyRtMidiIn::~MyRtMidiIn()
{
    delete _midiIn;
    delete _midiQueue;
}

bool MyRtMidiIn::Create(RtMidi::Api api)
{
    delete _midiIn;
    _midiIn = nullptr;
    try {
        _midiIn = new RtMidiIn(api, CLIENT_NAME, LIBRARY_QUEUE);
    } catch (RtMidiError& e) {
        e.printMessage();
        return false;
    }
    return true;
}

void MyRtMidiIn::Listen()
{
    _midiIn->setCallback(&MyRtMidiIn::_callback, this);
    // Deliver everything: system exclusive, timing and active sensing too.
    _midiIn->ignoreTypes(false, false, false);
}

int MyRtMidiIn::Open(RtMidi::Api api, int port)
{
    if (!Create(api))
        return -1;
    try {
        int opened = ChooseMidiPort(port);
        if (opened == -1)
            return -1;
        Listen();
        return opened;
    } catch (RtMidiError& e) {
        e.printMessage();
        return -1;
    }
}

bool MyRtMidiIn::OpenOwnPort(RtMidi::Api api)
{
    if (!Create(api))
        return false;
    try {
        _midiIn->openVirtualPort(PORT_NAME);
        Listen();
    } catch (RtMidiError& e) {
        e.printMessage();
        return false;
    }
    printf("MIDI input: port %s:%s (%s), ready to be connected\n", CLIENT_NAME, PORT_NAME,
           RtMidi::getApiDisplayName(api).c_str());
    return true;
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
    _midiIn->openPort(port, PORT_NAME);
    return port;
}

void MyRtMidiIn::Callback(double deltaTime, std::vector<unsigned char>* message)
{
    // A message beyond a full queue is dropped rather than waited for.
    const MidiQueue::MidiMessage taken(deltaTime, message->data(), message->size());
    if (!taken.IsControlChange() || _controlQueue == nullptr) {
        _midiQueue->PushMessage(deltaTime, *message);
        return;
    }
    // The pedal and the channel mode messages act on the notes, in their
    // order with them; the pedal may also be learned, the modes never are.
    if (taken.IsSustainPedal() || taken.IsChannelMode())
        _midiQueue->PushMessage(deltaTime, *message);
    if (!taken.IsChannelMode())
        _controlQueue->PushMessage(deltaTime, *message);
}

void MyRtMidiIn::_callback(double deltaTime, std::vector<unsigned char>* message, void* userData)
{
    static_cast<MyRtMidiIn*>(userData)->Callback(deltaTime, message);
}
