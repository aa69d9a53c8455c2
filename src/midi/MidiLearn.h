#pragma once

#include <vector>

#include "midi/ControlTarget.h"
#include "midi/ControllerBindings.h"
#include "midi/SceneControl.h"

class App;
class MidiQueue;
class Serializer;

// MIDI learn and the Control Changes it binds. The MIDI input thread queues
// every Control Change here without a lock; the audio thread drains them at
// the start of each block, so a knob reaches the sound by the next block at
// the latest. There a change binds the controller to the armed parameter (a
// learn), or sets the parameter the controller is bound to: 0..127 along the
// parameter's own curve. What only touches the sound is set at once; what
// touches a view waits for the GUI thread's next idle call, which also
// brings the shown values up to date. Everything but the queue is used with
// the scene lock held, and nothing is allocated after construction.
class MidiLearn {
public:
    explicit MidiLearn(App* app);
    virtual ~MidiLearn();
    MidiLearn(const MidiLearn&) = delete;
    MidiLearn& operator=(const MidiLearn&) = delete;

    // Where the MIDI input thread puts Control Changes.
    MidiQueue* GetQueue() const { return _queue; }
    ControllerBindings* GetBindings() { return &_bindings; }
    const SceneControl& GetSceneControl() const { return _control; }

    // The next Control Change binds its controller and channel to target.
    void Arm(const ControlTarget& target) { _armed = target; }
    void Disarm() { _armed = ControlTarget(); }
    bool IsArmed() const { return _armed.IsSet(); }
    const ControlTarget& GetArmed() const { return _armed; }
    // False when the target had no controller.
    bool Unbind(const ControlTarget& target);

    // Audio thread, at the start of a block.
    void DrainInAudio();
    // GUI thread, idle: what waited for it. True when a learn has completed
    // since the last call; *learned then holds its target, *channel and
    // *controller what it was bound to.
    bool ApplyOnGui(ControlTarget* learned, int* channel, int* controller);

    // Bindings (and a learn armed) of a source that is gone go with it.
    void ForgetSource(int index);
    // A new scene: no bindings, nothing armed or waiting.
    void Reset();
    // The bindings' record. On reading, rect bindings follow their rects to
    // rectPlaces (ControllerBindings::MoveRects), and bindings to what the
    // scene does not have (a source or parameter index beyond it) are dropped.
    void Serialize(Serializer* serializer) const;
    void UnSerialize(Serializer* serializer, const std::vector<int>& rectPlaces);

private:
    struct Change {
        ControlTarget target;
        double position;
    };

    void OnControlChange(int channel, int controller, int value);
    // Keeps the latest position of each target; a full list drops the change.
    static void Remember(std::vector<Change>* changes, const ControlTarget& target, double position);
    static void FollowSourceRemoval(std::vector<Change>* changes, int index);
    void DropUnresolved();

    MidiQueue* _queue;
    ControllerBindings _bindings;
    SceneControl _control;
    ControlTarget _armed;
    // Positions waiting for the GUI thread, and targets set on the audio
    // thread whose shown values are out of date; both reserved to the number
    // of controllers, so the audio thread never makes them grow.
    std::vector<Change> _waiting;
    std::vector<Change> _stale;
    bool _learned;
    ControlTarget _learnedTarget;
    int _learnedChannel;
    int _learnedController;
};
