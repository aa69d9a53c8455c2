#include "midi/MidiLearn.h"

#include <algorithm>

#include "midi/MidiQueue.h"
#include "parameters/Parameter.h"

namespace {
const double MAX_CONTROLLER_VALUE = 127.0;
}  // namespace

MidiLearn::MidiLearn(App* app)
    : _queue(new MidiQueue()), _control(app), _learned(false), _learnedChannel(0), _learnedController(0)
{
    _waiting.reserve(ControllerBindings::NUM_SLOTS);
    _stale.reserve(ControllerBindings::NUM_SLOTS);
}

MidiLearn::~MidiLearn()
{
    delete _queue;
}

bool MidiLearn::Unbind(const ControlTarget& target)
{
    return _bindings.Unbind(target);
}

void MidiLearn::DrainInAudio()
{
    MidiQueue::MidiMessage message;
    while (_queue->PopMessage(&message)) {
        if (message.IsControlChange())
            OnControlChange(message.GetChannel(), message.GetController(), message.GetControllerValue());
    }
}

void MidiLearn::OnControlChange(int channel, int controller, int value)
{
    if (_armed.IsSet()) {
        _bindings.Bind(channel, controller, _armed);
        _learned = true;
        _learnedTarget = _armed;
        _learnedChannel = channel;
        _learnedController = controller;
        _armed = ControlTarget();
    }
    const ControlTarget* target = _bindings.Find(channel, controller);
    if (target == nullptr)
        return;
    const double position = std::clamp(value / MAX_CONTROLLER_VALUE, 0.0, 1.0);
    if (_control.IsSoundOnly(*target)) {
        if (_control.SetNormalized(*target, position, SceneControl::AUDIO_THREAD))
            Remember(&_stale, *target, position);
    } else {
        Remember(&_waiting, *target, position);
    }
}

void MidiLearn::Remember(std::vector<Change>* changes, const ControlTarget& target, double position)
{
    for (Change& change : *changes) {
        if (change.target == target) {
            change.position = position;
            return;
        }
    }
    if (changes->size() < changes->capacity())
        changes->push_back({target, position});
}

bool MidiLearn::ApplyOnGui(ControlTarget* learned, int* channel, int* controller)
{
    for (const Change& change : _waiting)
        _control.SetNormalized(change.target, change.position, SceneControl::GUI_THREAD);
    _waiting.clear();
    for (const Change& change : _stale)
        _control.RefreshText(change.target);
    _stale.clear();
    if (!_learned)
        return false;
    _learned = false;
    *learned = _learnedTarget;
    *channel = _learnedChannel;
    *controller = _learnedController;
    return true;
}

void MidiLearn::ForgetSource(int index)
{
    _bindings.ForgetSource(index);
    // What waits for the GUI names sources by index too.
    FollowSourceRemoval(&_waiting, index);
    FollowSourceRemoval(&_stale, index);
    if (!_armed.FollowSourceRemoval(index))
        _armed = ControlTarget();
}

void MidiLearn::FollowSourceRemoval(std::vector<Change>* changes, int index)
{
    size_t kept = 0;
    for (Change& change : *changes) {
        if (change.target.FollowSourceRemoval(index))
            (*changes)[kept++] = change;
    }
    changes->resize(kept);
}

void MidiLearn::Reset()
{
    _bindings.Clear();
    _armed = ControlTarget();
    _waiting.clear();
    _stale.clear();
    _learned = false;
}

void MidiLearn::Serialize(Serializer* serializer) const
{
    _bindings.Serialize(serializer);
}

void MidiLearn::UnSerialize(Serializer* serializer, const std::vector<int>& rectPlaces)
{
    _bindings.UnSerialize(serializer);
    _bindings.MoveRects(rectPlaces);
    DropUnresolved();
}

void MidiLearn::DropUnresolved()
{
    for (int channel = 1; channel <= ControllerBindings::NUM_CHANNELS; channel++) {
        for (int controller = 0; controller < ControllerBindings::NUM_CONTROLLERS; controller++) {
            const ControlTarget* target = _bindings.Find(channel, controller);
            if (target != nullptr && _control.Find(*target) == nullptr)
                _bindings.Unbind(*target);
        }
    }
}
