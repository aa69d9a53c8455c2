#pragma once

#include "effects/EffectsBox.h"
#include "ui/UICanvas.h"

class UIEffect;

// The contents of the effects window: the six effects of one chain as panels
// in two rows (Volume, Stereo, Sat and Crush above; Delay and the wide Reverb
// below). One set of panels serves every chain: binding a chain points the
// controls at its parameters.
class UIEffectsCanvas : public UICanvas {
public:
    UIEffectsCanvas(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                    double height);
    virtual ~UIEffectsCanvas();
    UIEffectsCanvas(const UIEffectsCanvas&) = delete;
    UIEffectsCanvas& operator=(const UIEffectsCanvas&) = delete;

    UIEffect* GetEffect(EffectsBox::EffectIdx idx) const { return _effects[idx]; }

    void SetVisible(bool visible) override;
    void OnMouse(int button, int state, double x, double y) override;
    void OnMouseDrag(double x, double y, double fineDragFactor) override;
    void DrawContents() override;
    void UpdateStyle(UIStyle* style) override;

private:
    void GenerateContents();

    UIEffect* _effects[EffectsBox::NUM_EFFECTS];
};
