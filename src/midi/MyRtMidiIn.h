#pragma once

#include <RtMidi.h>

#include <vector>

class MidiQueue;

// MIDI input: the library calls back on its own thread; messages go through
// a lock-free queue that the GUI thread drains. The queue exists from the
// start; the port is opened once the MIDI system is known.
class MyRtMidiIn {
public:
    // The names a MIDI graph (JACK, ALSA) shows for the instrument's input.
    static const char* CLIENT_NAME;
    static const char* PORT_NAME;

    MyRtMidiIn();
    virtual ~MyRtMidiIn();
    MyRtMidiIn(const MyRtMidiIn&) = delete;
    MyRtMidiIn& operator=(const MyRtMidiIn&) = delete;

    // Connects to an existing port of the system; returns the opened port
    // index, or -1 when input stays closed.
    int Open(RtMidi::Api api, int port);
    // Opens an input port of the instrument's own that any controller can be
    // connected to; false when input stays closed.
    bool OpenOwnPort(RtMidi::Api api);
    MidiQueue* GetMidiQueue() const { return _midiQueue; }
    // Control Changes go to this queue (not owned) instead, drained by the
    // audio thread; without one they join the other messages. The sustain
    // pedal goes to both, the channel mode controllers (120 to 127) only to
    // the notes' queue.
    void SetControlQueue(MidiQueue* queue) { _controlQueue = queue; }
    void Callback(double deltaTime, std::vector<unsigned char>* message);
    // The JACK server of the port has gone: the library's own closing
    // would unregister the port through the dead client and crash, so the
    // client is let go of unclosed (a few kilobytes, once per lost server).
    void Abandon() { _midiIn = nullptr; }

private:
    bool Create(RtMidi::Api api);
    void Listen();
    int ChooseMidiPort(int port);
    static void _callback(double deltaTime, std::vector<unsigned char>* message, void* userData);

    RtMidiIn* _midiIn;
    MidiQueue* _midiQueue;
    MidiQueue* _controlQueue;
};
