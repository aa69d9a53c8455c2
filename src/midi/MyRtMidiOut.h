#pragma once

#include <RtMidi.h>

// MIDI output: lets the computer keyboard's letters play notes on a port.
class MyRtMidiOut {
public:
    // The names a MIDI graph (JACK, ALSA) shows for the instrument's output.
    static const char* CLIENT_NAME;
    static const char* PORT_NAME;

    MyRtMidiOut();
    virtual ~MyRtMidiOut();
    MyRtMidiOut(const MyRtMidiOut&) = delete;
    MyRtMidiOut& operator=(const MyRtMidiOut&) = delete;

    // Connects to an existing port and returns the number of output ports
    // (not the port opened), or -1.
    int Open(RtMidi::Api api, int port);
    // Opens an output port of the instrument's own, for anything to listen
    // to; false when output stays closed.
    bool OpenOwnPort(RtMidi::Api api);
    void SendNoteOn(int note) { Send(0x90, note); }
    void SendNoteOff(int note) { Send(0x80, note); }
    // The JACK server of the port has gone: the library's own closing
    // would unregister the port through the dead client and crash, so the
    // client is let go of unclosed (a few kilobytes, once per lost server).
    void Abandon() { _midiOut = nullptr; }

private:
    bool Create(RtMidi::Api api);
    void Send(unsigned char status, int note);

    RtMidiOut* _midiOut;
};
