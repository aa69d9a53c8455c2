#pragma once

#include <vector>

#include "midi/ControlTarget.h"

class Serializer;

// Which parameter each MIDI controller drives: one slot per channel and
// controller number, held in a fixed table so that the audio thread can look
// a Control Change up without allocating. A controller drives at most one
// parameter and a parameter follows at most one controller: binding either
// again moves the binding.
class ControllerBindings {
public:
    static constexpr int NUM_CHANNELS = 16;
    static constexpr int NUM_CONTROLLERS = 128;
    static constexpr int NUM_SLOTS = NUM_CHANNELS * NUM_CONTROLLERS;

    ControllerBindings();
    virtual ~ControllerBindings() {}

    // channel 1..16, controller 0..127; out of range does nothing.
    void Bind(int channel, int controller, const ControlTarget& target);
    // False when the target had no controller.
    bool Unbind(const ControlTarget& target);
    void Clear();
    // The target of the controller, or null when it drives nothing.
    const ControlTarget* Find(int channel, int controller) const;
    // The controller of a target; false when it has none.
    bool FindController(const ControlTarget& target, int* channel, int* controller) const;
    int GetCount() const;

    // The source at index is gone: its bindings go with it, and those of the
    // sources after it follow them down one place in the list.
    void ForgetSource(int index);

    // Rects found in another order (a session read back by the rects'
    // sounds): a rect binding's index i becomes places[i]; a binding of a
    // rect that has no place (-1, or beyond the list) goes.
    void MoveRects(const std::vector<int>& places);

    // The record: the number of bindings, then channel, controller and the
    // target's kind, object, effect and parameter of each, as ints.
    void Serialize(Serializer* serializer) const;
    // Replaces every binding with those of the record. A binding that cannot
    // be (a channel, controller or kind out of range) refuses the record:
    // the bindings read before it stay.
    void UnSerialize(Serializer* serializer);

private:
    static bool IsValidSlot(int channel, int controller);
    static int SlotOf(int channel, int controller) { return (channel - 1) * NUM_CONTROLLERS + controller; }

    ControlTarget _slots[NUM_SLOTS];
};
