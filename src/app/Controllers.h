#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "midi/MidiQueue.h"

struct ControlTarget;
struct OscCommand;
struct Options;
class App;
class EffectsBox;
class MidiChannels;
class MidiLearn;
class MyRtMidiIn;
class MyRtMidiOut;
class OscServer;
class OscSubscribers;
class RateLimitedReport;
class Source;

// The scene played and set from outside the mouse and keyboard: MIDI in and
// out, MIDI learn and OSC, worked on the toolkit thread with the scene lock
// held (the MIDI and OSC threads only fill its queues).
class Controllers {
public:
    static constexpr size_t MAX_NOTES_PER_SOURCE = 64;
    static constexpr size_t MAX_NOTES = 256;

    // The notes, bindings and commands act on app's scene.
    explicit Controllers(App* app);
    virtual ~Controllers();
    Controllers(const Controllers&) = delete;
    Controllers& operator=(const Controllers&) = delete;

    // Opens MIDI input and output in the system the options ask for (or the
    // one there is); returns why MIDI is off ("MIDI off: ..."), or "".
    std::string OpenMidi(const Options& options);
    // The audio stream was lost: where the JACK server went with it, so did
    // the MIDI ports in it; they open anew once the stream is back.
    void LetGoOfDeadJackMidi();
    // The JACK server does not answer (stopped, or stuck): the MIDI ports
    // in it are let go of, as closing them would wait on it for ever.
    void LetGoOfJackMidi();
    void ReopenJackMidi(const Options& options);
    // Closes the MIDI ports and stops listening for OSC, once the stream is stopped.
    void Close();

    // MIDI output of the note keys.
    void SendNoteOn(int note);
    void SendNoteOff(int note);
    // MIDI input: note copies of the selected source, followed per channel
    // (note offs, sustain pedal, pitch wheel, channel mode messages), Program
    // Changes recalling scene slots, and the mouse's bend.
    MidiQueue* GetMidiQueue() const;
    void UpdateMidiIn();
    bool IsPlayingNoteSource() const;
    void ApplyVirtualPitchWheel(double dx, double dy);
    // The wheel's reach each way in semitones (MidiChannels' range); the
    // copies bend anew to the wheels where they stand.
    void SetBendRange(int semitones);
    // The panic key: every note copy stops within the block, unheard.
    void SilenceAllNotes();

    // MIDI learn and OSC. x, y: the pointer in window pixels, for a knob of
    // the effects window under it; otherwise the parameter picked in the pie
    // menu is meant.
    MidiLearn* GetMidiLearn() const { return _midiLearn; }
    void ArmMidiLearn(int x, int y);
    void ClearMidiBinding(int x, int y);
    // Listens for OSC on localhost:port; false, said on screen, when it cannot.
    bool StartOsc(const std::string& listenAddress, int port);
    // Idle: what MIDI learn left for the GUI thread, and the OSC messages received.
    void UpdateControllers();
    void ApplyOscCommand(const OscCommand& command);
    // Sets the parameter, or answers a query for it with its value.
    void ApplyOscParameter(const OscCommand& command, const ControlTarget& target);
    // On the screen and stderr (rate-limited), and back to the sender as /error.
    void ReportOscError(const OscCommand& command, const std::string& text);
    // Sends the subscribed clients what changed since the last idle.
    void OfferParametersToSubscribers();

private:
    void TakeMidiMessage(const MidiQueue::MidiMessage& message);
    void TakeControlChange(int channel, int controller, int value);
    void RecallProgram(int program);
    // A copy of source at note, struck on channel (0 over OSC), its level set
    // by the velocity (1..127), bent as its channel's wheel stands.
    void StartNoteSource(int source, int channel, int note, int velocity);
    // Copies are bounded, so that no burst of notes runs the memory out:
    // at the bound, the oldest copy (of the source, or of all) fades out
    // for the new one, and the screen says so.
    void MakeRoomForANote(size_t source);
    size_t CountNoteSources() const;
    size_t SourceOfTheOldestNote() const;
    // Fades out the index-th copy of the source, the oldest being 0.
    void ReleaseNoteSource(size_t source, size_t index);
    // A note off: the channel's copies of note end, or wait for its pedal.
    void EndNote(int channel, int note);
    void LiftPedal(int channel);
    // The copies of channel end: audible, each fades out through its
    // source's chain over the next block; otherwise they stop unheard.
    void EndChannelNotes(int channel, bool audible);
    void EndNoteSourcesWhere(const std::function<bool(const Source*)>& ends, bool audible);
    // Every copy to its channel's wheel plus the mouse's bend.
    void BendNoteSources();
    double BendOf(int channel) const;
    // A burst beyond what the queues hold loses messages (a lost note off
    // leaves a note sounding), and messages that are not well-formed MIDI
    // are dropped: said on screen, at most once a second.
    void ReportLostMidi();
    // A note with no source selected has nothing to play: said on screen.
    void SayNoSourceForNotes();
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
    MidiChannels* _channels;
    RateLimitedReport* _oscReport;
    OscServer* _osc;
    OscSubscribers* _oscSubscribers;
    // The mouse's bend of the sounding notes, -1..1.
    double _virtualPitch;
    bool _midiInJack;
    bool _jackMidiLost;
    uint64_t _notesStarted;
    std::chrono::steady_clock::time_point _notesFullSaidAt;
    size_t _lostMidiSaid;
    size_t _malformedMidiSaid;
    std::chrono::steady_clock::time_point _lostMidiSaidAt;
    bool _noSourceForNotesSaid;
};
