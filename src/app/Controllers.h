#pragma once

#include <chrono>
#include <cstddef>
#include <string>

struct ControlTarget;
struct OscCommand;
struct Options;
class App;
class EffectsBox;
class MidiLearn;
class MidiQueue;
class MyRtMidiIn;
class MyRtMidiOut;
class OscServer;
class RateLimitedReport;

// The scene played and set from outside the mouse and keyboard: MIDI in and
// out, MIDI learn and OSC, worked on the toolkit thread with the scene lock
// held (the MIDI and OSC threads only fill its queues).
class Controllers {
public:
    // The notes, bindings and commands act on app's scene.
    explicit Controllers(App* app);
    virtual ~Controllers();
    Controllers(const Controllers&) = delete;
    Controllers& operator=(const Controllers&) = delete;

    // Opens MIDI input and output in the system the options ask for (or the one there is).
    void OpenMidi(const Options& options);
    // The audio stream was lost: where the JACK server went with it, so did
    // the MIDI ports in it; they open anew once the stream is back.
    void LetGoOfDeadJackMidi();
    void ReopenJackMidi(const Options& options);
    // Closes the MIDI ports and stops listening for OSC, once the stream is stopped.
    void Close();

    // MIDI output of the note keys.
    void SendNoteOn(int note);
    void SendNoteOff(int note);
    // MIDI input: note copies of the selected source, pitch wheel and mouse bend.
    MidiQueue* GetMidiQueue() const;
    void UpdateMidiIn();
    bool IsPlayingNoteSource() const;
    void ApplyVirtualPitchWheel(double dx, double dy);

    // MIDI learn and OSC. x, y: the pointer in window pixels, for a knob of
    // the effects window under it; otherwise the parameter picked in the pie
    // menu is meant.
    MidiLearn* GetMidiLearn() const { return _midiLearn; }
    void ArmMidiLearn(int x, int y);
    void ClearMidiBinding(int x, int y);
    // Listens for OSC on localhost:port; false, said on screen, when it cannot.
    bool StartOsc(int port);
    // Idle: what MIDI learn left for the GUI thread, and the OSC messages received.
    void UpdateControllers();
    void ApplyOscCommand(const OscCommand& command);

private:
    // A copy of source at note, its level set by the velocity (1..127).
    void StartNoteSource(int source, int note, int velocity);
    void StopNoteSources(int note);
    void BendNoteSources(double wheel);
    // A burst beyond what the queues hold loses messages (a lost note off
    // leaves a note sounding), and messages that are not well-formed MIDI
    // are dropped: said on screen, at most once a second.
    void ReportLostMidi();
    ControlTarget GetLearnTarget(int x, int y) const;
    ControlTarget GetKnobTargetAt(int x, int y) const;
    ControlTarget GetChainTarget(const EffectsBox* chain, int effect, int param) const;
    std::string DescribeTarget(const ControlTarget& target) const;
    // The index of the source's parameter whose name reads addressName in an OSC address, or -1.
    int FindSourceParameter(int source, const char* addressName) const;

    App* _app;
    MyRtMidiIn* _midiIn;
    MyRtMidiOut* _midiOut;
    MidiLearn* _midiLearn;
    RateLimitedReport* _oscReport;
    OscServer* _osc;
    // The mouse's bend of the sounding notes, -1..1.
    double _virtualPitch;
    bool _midiInJack;
    bool _jackMidiLost;
    size_t _lostMidiSaid;
    size_t _malformedMidiSaid;
    std::chrono::steady_clock::time_point _lostMidiSaidAt;
};
