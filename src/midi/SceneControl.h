#pragma once

#include "midi/ControlTarget.h"

class App;
class Parameter;
class ParameterProvider;

// Sets a parameter of the scene from outside the mouse and keyboard (a MIDI
// controller, an OSC message), as an edit in the pie menu or the effects
// window would: a source's value reaches the source and every MIDI note copy
// of it, an effect's value the chain its copies share too. Called with the
// scene lock held.
class SceneControl {
public:
    enum Thread { AUDIO_THREAD, GUI_THREAD };

    explicit SceneControl(App* app);
    virtual ~SceneControl() {}

    // The parameter a target names, or null when the scene has no such object or parameter.
    Parameter* Find(const ControlTarget& target) const;
    // Whether setting the target touches only the sound, so that the audio
    // thread may do it between blocks: a cloud's voice count and motion also
    // change its view (and a new voice is allocated), and a rect's settings
    // are those of a view, so they wait for the GUI thread.
    bool IsSoundOnly(const ControlTarget& target) const;
    // value in the parameter's own unit, clamped to its bounds; false when
    // the target does not exist. On the audio thread an effect parameter's
    // text is not written (the GUI thread draws it): call RefreshText there.
    bool Set(const ControlTarget& target, double value, Thread thread) const;
    // The same for a position 0..1 along the parameter's own curve.
    bool SetNormalized(const ControlTarget& target, double position, Thread thread) const;
    // Brings the parameter's shown value up to date (GUI thread).
    void RefreshText(const ControlTarget& target) const;

private:
    // The source or rect view that owns the target's parameter; null for effects.
    ParameterProvider* FindProvider(const ControlTarget& target) const;

    App* _app;
};
