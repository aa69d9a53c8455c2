#pragma once

class App;
class Parameter;
class ParameterProvider;
class UIScreen;

// The on-scene editor of the current source's or sound rect's parameters.
// Every parameter has a box on a ring around its owner, and the distance of
// the box from the owner's centre is the parameter's value: dragging a box
// outward raises the value, inward lowers it. The boxes keep their places
// between openings; the menu itself only remembers whether it is shown.
//
// Distances are in screen heights: horizontal box-space offsets are scaled by
// the window's aspect ratio, so the ring is a circle on screen.
class UIPieMenu {
public:
    // Distance of a box whose normalised value is 0.
    static constexpr double INNER_RADIUS = 0.2;

    UIPieMenu(App* app, UIScreen* screen);
    virtual ~UIPieMenu();
    UIPieMenu(const UIPieMenu&) = delete;
    UIPieMenu& operator=(const UIPieMenu&) = delete;

    bool IsVisible() const { return _visible; }
    void SetVisible(bool visible) { _visible = visible; }

    // Lays the current provider's boxes out evenly on the ring, the first one
    // straight to the right of its centre, each at the distance of its value.
    void InitFromParameters();
    // Moves the current parameter's box to the distance of its present value,
    // keeping its direction from the centre.
    void UpdateCurrentParamPos();
    void Draw();
    // A button event in scene units (y up); true when a box was picked.
    // Ignored while the menu is hidden.
    bool OnMouse(int button, int state, double x, double y);
    // Moves the current parameter's box by a pointer step in scene units
    // (y up) and sets the value from its new distance to the centre.
    void OnMouseDrag(double dx, double dy);

private:
    double GetAspect() const;
    // The current parameter of the current provider, or null.
    Parameter* GetCurrentParameter(ParameterProvider** provider) const;
    // Places box of param at distance along the unit direction (cos, sin) in
    // screen heights from the provider's centre.
    void PlaceBox(Parameter* param, ParameterProvider* provider, double cos, double sin, double distance) const;

    App* _app;
    UIScreen* _screen;
    bool _visible;
};
