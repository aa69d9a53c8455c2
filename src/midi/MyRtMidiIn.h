#pragma once

#include <RtMidi.h>
#include <vector>

class MidiQueue;

// MIDI input: the library calls back on its own thread; messages go through
// a lock-free queue that the GUI thread drains.
class MyRtMidiIn {
public:
    MyRtMidiIn();
    virtual ~MyRtMidiIn();

    // Returns the opened port index, or -1 when input stays closed.
    int Open(int port);
    MidiQueue* GetMidiQueue() const { return _midiQueue; }
    // Control Changes go to this queue (not owned) instead, drained by the
    // audio thread; without one they join the other messages.
    void SetControlQueue(MidiQueue* queue) { _controlQueue = queue; }
    void Callback(double deltaTime, std::vector<unsigned char>* message);

private:
    int ChooseMidiPort(int port);
    static void _callback(double deltaTime, std::vector<unsigned char>* message, void* userData);

    RtMidiIn* _midiIn;
    MidiQueue* _midiQueue;
    MidiQueue* _controlQueue;
};
