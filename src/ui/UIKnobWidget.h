#pragma once

#include "ui/UIEffectWidget.h"

// A rotary knob: a ring with a pointer sweeping 240 degrees clockwise as the
// normalised value grows. Dragging turns it, horizontally or vertically.
class UIKnobWidget : public UIEffectWidget {
public:
    UIKnobWidget(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height);
    virtual ~UIKnobWidget();

    void OnMouseDrag(double x, double y, double fineDragFactor) override;
    void DrawWidget() override;
};
