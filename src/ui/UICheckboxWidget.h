#pragma once

#include "ui/UIEffectWidget.h"

// An on/off box: a left press flips the parameter between 0 and 1, a cross
// shows it is on.
class UICheckboxWidget : public UIEffectWidget {
public:
    UICheckboxWidget(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                     double height);
    virtual ~UICheckboxWidget();

    void OnMouse(int button, int state, double x, double y) override;
    void DrawWidget() override;
};
