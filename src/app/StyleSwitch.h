#pragma once

class App;
class UIStyle;
class UIStyleManager;

// The six styles and the switching between them: a new style goes to every
// view of the scene, to the floating windows and to the background; the
// toolkit thread calls it, inside the scene lock once the scene exists.
class StyleSwitch {
public:
    explicit StyleSwitch(App* app);
    virtual ~StyleSwitch();

    // The six styles, starting with the default one (start-up).
    void CreateStyles();
    // The views and windows that point at the styles go first.
    void DeleteStyles();
    // From now on a change of style repaints the window's background too.
    void OnWindowCreated() { _windowCreated = true; }

    UIStyle* GetStyle() const { return _style; }
    // The current style's number, or -1 before the styles exist.
    int GetStyleNum() const;
    void NextStyle();
    void PrevStyle();
    // A stored style number; one that does not exist changes nothing.
    void RestoreStyle(int style);
    // Clears the window to the current style's background.
    void ApplyBackground() const;

private:
    void UpdateStyle();

    App* _app;
    UIStyleManager* _styleManager;
    UIStyle* _style;
    bool _windowCreated;
};
