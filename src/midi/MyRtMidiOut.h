#pragma once

#include <RtMidi.h>

// MIDI output: lets the computer keyboard's letters play notes on a port.
class MyRtMidiOut {
public:
    MyRtMidiOut();
    virtual ~MyRtMidiOut();

    // Opens the port and returns the number of output ports (not the port opened), or -1.
    int Open(int port);
    void SendNoteOn(int note) { Send(0x90, note); }
    void SendNoteOff(int note) { Send(0x80, note); }

private:
    void Send(unsigned char status, int note);

    RtMidiOut* _midiOut;
};
