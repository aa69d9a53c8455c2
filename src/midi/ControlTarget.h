#pragma once

// One parameter of one object of the scene, as a controller reaches it:
// a source's own parameter, a parameter of a source's effects chain or of the
// master chain, or a sound rect view's parameter. Objects are named by their
// index in the scene's lists, so a target can be saved and read back.
struct ControlTarget {
    enum Kind { NONE = -1, SOURCE_PARAM = 0, SOURCE_EFFECT = 1, MASTER_EFFECT = 2, RECT_PARAM = 3, NUM_KINDS = 4 };

    int kind = NONE;
    // Index of the source or rect; unused (-1) for the master chain.
    int object = -1;
    // EffectsBox::EffectIdx for the effect kinds, else -1.
    int effect = -1;
    // The parameter's index in its owner's (or effect's) parameter array.
    int param = -1;

    static ControlTarget SourceParam(int source, int param) { return {SOURCE_PARAM, source, -1, param}; }
    static ControlTarget SourceEffect(int source, int effect, int param)
    {
        return {SOURCE_EFFECT, source, effect, param};
    }
    static ControlTarget MasterEffect(int effect, int param) { return {MASTER_EFFECT, -1, effect, param}; }
    static ControlTarget RectParam(int rect, int param) { return {RECT_PARAM, rect, -1, param}; }

    bool IsSet() const { return kind != NONE; }
    bool IsOfSource() const { return kind == SOURCE_PARAM || kind == SOURCE_EFFECT; }
    // The source at index has left the scene: false when this target was
    // one of its parameters; a target of a later source moves down one place.
    bool FollowSourceRemoval(int index)
    {
        if (!IsOfSource() || object < index)
            return true;
        if (object == index)
            return false;
        object--;
        return true;
    }
    bool operator==(const ControlTarget& other) const
    {
        return kind == other.kind && object == other.object && effect == other.effect && param == other.param;
    }
    bool operator!=(const ControlTarget& other) const { return !(*this == other); }
};
