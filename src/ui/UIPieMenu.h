#pragma once

#include <cstddef>
#include <vector>

#include "ui/PieMenuLayout.h"

class App;
class Parameter;
class ParameterProvider;
class UIScreen;

// The on-screen editor of the current source's or sound rect's parameters.
// Every parameter has a box around its owner, laid out in window pixels by
// PieMenuLayout so that the boxes keep their size at any zoom, stay inside
// the window and never overlap; a line links each box to the owner's centre.
// The meter along a box's bottom shows the value: dragging the box away
// from the centre raises it, towards the centre lowers it, sideways leaves
// it, 1 / sensitivity screen heights sweeping the whole range. The menu
// itself only remembers whether it is shown.
class UIPieMenu {
public:
    UIPieMenu(App* app, UIScreen* screen);
    virtual ~UIPieMenu();
    UIPieMenu(const UIPieMenu&) = delete;
    UIPieMenu& operator=(const UIPieMenu&) = delete;

    bool IsVisible() const { return _visible; }
    // Opening lays the boxes out at once, so that the first click finds them.
    void SetVisible(bool visible);

    // Lays the current provider's boxes out around its place on screen,
    // with their texts as they are now. Drawing and picking do it first.
    void InitFromParameters();
    // After a value was set elsewhere (typed): refreshes the current
    // parameter's text and what follows it.
    void RefreshCurrentParam();
    void Draw();
    // A button event in scene units (y up); true when a box was picked.
    // Ignored while the menu is hidden.
    bool OnMouse(int button, int state, double x, double y);
    // A pointer step in scene units (y up): changes the current parameter
    // by the step's part along the line from the owner's centre to its box.
    void OnMouseDrag(double dx, double dy);

private:
    // The current parameter of the current provider, or null.
    Parameter* GetCurrentParameter(ParameterProvider** provider) const;
    // A scene point (units, y up) in window pixels (y up), through the pan and zoom.
    void SceneToWindow(double x, double y, double* wx, double* wy) const;
    // The owner's centre in window pixels, where the layout puts it: on the window.
    void GetLayoutCenter(ParameterProvider* provider, double* x, double* y) const;

    App* _app;
    UIScreen* _screen;
    bool _visible;
    PieMenuLayout _layout;
    std::vector<size_t> _labelLengths;
    // The normalised value a drag has reached, and the parameter it drags:
    // kept here, not read back, so that the steps of a slow drag add up on
    // a parameter whose value moves in whole steps (voices, envelope types).
    const Parameter* _dragParam;
    double _dragValue;
};
