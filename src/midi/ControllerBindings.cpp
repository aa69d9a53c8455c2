#include "midi/ControllerBindings.h"

#include <string>

#include "session/Serializer.h"

namespace {
// Every index a target holds stays below this: no scene has that many
// sources, rects, effects or parameters.
const int MAX_TARGET_INDEX = 1 << 20;

bool IsIndex(int v)
{
    return v >= 0 && v < MAX_TARGET_INDEX;
}

// -1 is the "none" of a target's object (the master chain's) and effect (a
// parameter of a source or rect itself) and nothing else: a rect or source
// numbered -1 names no place in any list.
bool IsValidTarget(const ControlTarget& t)
{
    if (!IsIndex(t.param))
        return false;
    switch (t.kind) {
    case ControlTarget::SOURCE_PARAM:
    case ControlTarget::RECT_PARAM:
        return IsIndex(t.object) && t.effect == -1;
    case ControlTarget::SOURCE_EFFECT:
        return IsIndex(t.object) && IsIndex(t.effect);
    case ControlTarget::MASTER_EFFECT:
        return t.object == -1 && IsIndex(t.effect);
    default:
        return false;
    }
}
}  // namespace

ControllerBindings::ControllerBindings()
{
}

bool ControllerBindings::IsValidSlot(int channel, int controller)
{
    return channel >= 1 && channel <= NUM_CHANNELS && controller >= 0 && controller < NUM_CONTROLLERS;
}

void ControllerBindings::Bind(int channel, int controller, const ControlTarget& target)
{
    if (!IsValidSlot(channel, controller))
        return;
    Unbind(target);
    _slots[SlotOf(channel, controller)] = target;
}

bool ControllerBindings::Unbind(const ControlTarget& target)
{
    bool found = false;
    for (ControlTarget& slot : _slots) {
        if (slot.IsSet() && slot == target) {
            slot = ControlTarget();
            found = true;
        }
    }
    return found;
}

void ControllerBindings::Clear()
{
    for (ControlTarget& slot : _slots)
        slot = ControlTarget();
}

const ControlTarget* ControllerBindings::Find(int channel, int controller) const
{
    if (!IsValidSlot(channel, controller))
        return nullptr;
    const ControlTarget& slot = _slots[SlotOf(channel, controller)];
    return slot.IsSet() ? &slot : nullptr;
}

bool ControllerBindings::FindController(const ControlTarget& target, int* channel, int* controller) const
{
    for (int i = 0; i < NUM_SLOTS; i++) {
        if (_slots[i].IsSet() && _slots[i] == target) {
            *channel = i / NUM_CONTROLLERS + 1;
            *controller = i % NUM_CONTROLLERS;
            return true;
        }
    }
    return false;
}

int ControllerBindings::GetCount() const
{
    int count = 0;
    for (const ControlTarget& slot : _slots)
        count += slot.IsSet() ? 1 : 0;
    return count;
}

void ControllerBindings::ForgetSource(int index)
{
    for (ControlTarget& slot : _slots) {
        if (!slot.FollowSourceRemoval(index))
            slot = ControlTarget();
    }
}

void ControllerBindings::MoveRects(const std::vector<int>& places)
{
    for (ControlTarget& slot : _slots) {
        if (slot.kind != ControlTarget::RECT_PARAM)
            continue;
        const bool placed = slot.object >= 0 && slot.object < int(places.size()) && places[slot.object] >= 0;
        if (placed)
            slot.object = places[slot.object];
        else
            slot = ControlTarget();
    }
}

void ControllerBindings::Serialize(Serializer* serializer) const
{
    serializer->PutInt(GetCount());
    for (int i = 0; i < NUM_SLOTS; i++) {
        const ControlTarget& t = _slots[i];
        if (!t.IsSet())
            continue;
        serializer->PutInt(i / NUM_CONTROLLERS + 1);
        serializer->PutInt(i % NUM_CONTROLLERS);
        serializer->PutInt(t.kind);
        serializer->PutInt(t.object);
        serializer->PutInt(t.effect);
        serializer->PutInt(t.param);
    }
}

void ControllerBindings::UnSerialize(Serializer* serializer)
{
    Clear();
    int count = 0;
    if (!serializer->GetInt(&count))
        return;
    if (count < 0 || count > NUM_SLOTS) {
        serializer->Refuse("a controller binding count of " + std::to_string(count));
        return;
    }
    for (int i = 0; i < count; i++) {
        int channel = 0, controller = 0;
        ControlTarget t;
        if (!serializer->GetInt(&channel) || !serializer->GetInt(&controller) || !serializer->GetInt(&t.kind) ||
            !serializer->GetInt(&t.object) || !serializer->GetInt(&t.effect) || !serializer->GetInt(&t.param))
            return;
        if (!IsValidSlot(channel, controller) || !IsValidTarget(t)) {
            serializer->Refuse("a controller binding that cannot be (channel " + std::to_string(channel) +
                               ", controller " + std::to_string(controller) + ")");
            return;
        }
        Bind(channel, controller, t);
    }
}
