#pragma once

class App;
class EffectsBox;
class UIEffectsCanvas;
class UIEnvelopeTypeCanvas;
class UILFOCanvas;
class UIStyle;
class UIWindow;

// The LFO, envelope and effects windows that float over the canvas: built,
// shown, fed and drawn on the toolkit thread, for the App that owns them.
class FloatingWindows {
public:
    explicit FloatingWindows(App* app);
    virtual ~FloatingWindows();

    // Built once the window size is known (start-up), all hidden. Until then
    // every operation on them does nothing.
    void BuildFloatingWindows();
    void DeleteFloatingWindows();
    UIWindow* GetLFOWindow() const { return _grainLFOWindow; }
    UILFOCanvas* GetLFOCanvas() const { return _grainLFOCanvas; }
    UIWindow* GetEnvelopeWindow() const { return _envelopeTypeWindow; }
    UIEnvelopeTypeCanvas* GetEnvelopeCanvas() const { return _envelopeTypeCanvas; }
    UIWindow* GetEffectsWindow() const { return _effectsWindow; }
    UIEffectsCanvas* GetEffectsCanvas() const { return _effectsCanvas; }
    // Shows the effects window bound to the master chain, or to the selected
    // source's chain (without one, the chain bound before stays).
    void OpenEffectsWindow(bool master);
    void CloseEffectsWindow();
    // The chain the effects window edits, or null before its first opening.
    EffectsBox* GetEffectsWindowChain() const { return _effectsWindowChain; }
    // A chain about to be freed: the effects window moves to the master chain if it edits that one.
    void ForgetEffectsChain(EffectsBox* chain);
    // "Name: value" of the current envelope or LFO parameter as window title.
    void UpdateParamWindows();
    // Shown while the selected source's current parameter is its LFO
    // frequency or amount, hidden otherwise.
    void UpdateLFOWindow();
    // Shown while the selected source's current parameter is its envelope.
    void UpdateEnvelopeWindow();
    void UpdateStyle(UIStyle* style);
    void DrawFloatingWindows();
    // x, y in window pixels; a hidden window is never hit.
    bool IsOverFloatingWindow(int x, int y) const;
    // Every button event and drag goes to the windows, which pick for themselves.
    void RouteMouseToWindows(int button, int state, int x, int y);
    void RouteDragToWindows(int x, int y);

private:
    void BindEffectsWindow(EffectsBox* chain, const char* title);

    App* _app;
    UIWindow* _grainLFOWindow;
    UILFOCanvas* _grainLFOCanvas;
    UIWindow* _envelopeTypeWindow;
    UIEnvelopeTypeCanvas* _envelopeTypeCanvas;
    UIWindow* _effectsWindow;
    UIEffectsCanvas* _effectsCanvas;
    // The chain whose parameters the effects window's controls point at.
    EffectsBox* _effectsWindowChain;
};
