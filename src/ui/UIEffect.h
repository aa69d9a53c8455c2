#pragma once

#include <vector>

#include "ui/UICanvas.h"

class Parameter;
class UIEffectWidget;

// One effect of a chain as a bordered panel of controls: control i edits the
// effect's parameter i, and control 0 is always the on/off checkbox in the
// top-right corner. The panel owns its controls; the parameters belong to
// whichever chain was bound last.
class UIEffect : public UICanvas {
public:
    enum ParamIdx { ON_PARAM = 0 };

    UIEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height,
             int numParams);
    virtual ~UIEffect();
    UIEffect(const UIEffect&) = delete;
    UIEffect& operator=(const UIEffect&) = delete;

    // Ignored for an index the panel has no control for.
    void SetParameter(int idx, Parameter* param);
    UIEffectWidget* GetWidget(int idx) const { return _widgets[idx]; }
    int GetNumWidgets() const { return (int)_widgets.size(); }

    void SetVisible(bool visible) override;
    void OnMouse(int button, int state, double x, double y) override;
    void OnMouseDrag(double x, double y, double fineDragFactor) override;
    void DrawContents() override;
    // A panel whose effect is off is drawn dimmed.
    void Draw() override;
    void UpdateStyle(UIStyle* style) override;

protected:
    enum ControlKind { KNOB, CHECKBOX };
    struct ControlSpec {
        const char* label;
        ControlKind kind;
        // Centre of the control as a fraction of the panel width.
        double across;
    };

    // Controls 1, 2, ... in order: square boxes of the given width, their
    // bottoms on the panel's middle line.
    void AddControls(const ControlSpec* specs, int count, double size);
    template <int N>
    void AddControls(const ControlSpec (&specs)[N], double size)
    {
        AddControls(specs, N, size);
    }

private:
    // The width, in window widths, that the texts of control i may take.
    double TextRoom(const ControlSpec* specs, int count, int i) const;
    // Width over height of the window: a box of width k is k * aspect high to be square in pixels.
    double GetAspect() const;

    std::vector<UIEffectWidget*> _widgets;
};

// The panel of an effect with a single Ratio knob, which fills its narrow panel.
class UIRatioEffect : public UIEffect {
public:
    UIRatioEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height);
};

class UIBitCrushEffect : public UIRatioEffect {
public:
    using UIRatioEffect::UIRatioEffect;
};

class UISaturationEffect : public UIRatioEffect {
public:
    using UIRatioEffect::UIRatioEffect;
};

class UIDelayEffect : public UIEffect {
public:
    UIDelayEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height);
};

class UIStereoEffect : public UIEffect {
public:
    UIStereoEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                   double height);
};

// Twice as wide as the others: its knobs take their size from its height.
class UIReverbEffect : public UIEffect {
public:
    UIReverbEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                   double height);
};

class UIVolumeEffect : public UIEffect {
public:
    UIVolumeEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                   double height);
};
