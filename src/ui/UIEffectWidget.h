#pragma once

#include "ui/UICanvas.h"

class Parameter;

// A control of the effects window bound to one parameter: draws its label
// above and the parameter's value text below the control. A right press
// restores the parameter's default.
class UIEffectWidget : public UICanvas {
public:
    UIEffectWidget(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                   double height);
    virtual ~UIEffectWidget();

    // Also refreshes the parameter from its owner, so the first frame shows
    // the live value.
    void SetParameter(Parameter* param);
    Parameter* GetParameter() const { return _param; }
    // The control's own label.
    const char* GetLabel() const { return _title; }
    // The width, in window widths, that the label and the value may take,
    // centred on the control; longer texts shrink to it.
    void SetTextRoom(double room) { _textRoom = room; }
    double GetTextRoom() const { return _textRoom; }
    // A switch whose state its panel shows draws no value text.
    void SetValueShown(bool shown) { _valueShown = shown; }

    void Draw() override;
    void OnMouse(int button, int state, double x, double y) override;
    virtual void DrawWidget();

protected:
    void DrawTitle();
    void DrawValue();

    // The widget's own label; the canvas title of a widget stays empty.
    char _title[255];
    bool _leftMouseDown;
    Parameter* _param;

private:
    void DrawCenteredText(double baselineY, const char* text);

    double _textRoom;
    bool _valueShown;
};
