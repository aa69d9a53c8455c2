#pragma once

class App;

// Turns the window toolkit's raw key and mouse events into operations on the
// application. Every handler runs on the toolkit thread with the scene lock held.
class AppControl {
public:
    // Key and button codes of the window toolkit.
    enum SpecialKey {
        KEY_F1 = 1,
        KEY_F5 = 5,
        KEY_F7 = 7,
        KEY_F8 = 8,
        KEY_F9 = 9,
        KEY_F10 = 10,
        KEY_F11 = 11,
        KEY_F12 = 12,
        KEY_LEFT = 100,
        KEY_UP = 101,
        KEY_RIGHT = 102,
        KEY_DOWN = 103,
        KEY_SHIFT_L = 112,
        KEY_CTRL_L = 114,
        KEY_CTRL_R = 115,
        KEY_ALT_L = 116
    };
    enum Modifier { MOD_SHIFT = 1, MOD_CTRL = 2, MOD_ALT = 4 };
    enum MouseButton { BUTTON_LEFT = 0, BUTTON_MIDDLE = 1, BUTTON_RIGHT = 2 };
    enum ButtonState { BUTTON_DOWN = 0, BUTTON_UP = 1 };
    enum OrdinaryKey {
        KEY_BACKSPACE = 8,
        KEY_ENTER = 13,
        KEY_ESCAPE = 27,
        KEY_SPACE = 32,
        KEY_QUOTE = 34,
        KEY_AMPERSAND = 38,
        KEY_APOSTROPHE = 39,
        KEY_MINUS = 45,
        KEY_POINT = 46,
        KEY_SEMICOLON = 59,
        KEY_UNDERSCORE = 95,
        KEY_DELETE = 127,
        // The key left of "1", held: drags resize rects. It types a backquote
        // on a US keyboard (a tilde with Shift) and a superscript two on a French one.
        KEY_RESIZE = 178,
        KEY_RESIZE_US = 96,
        KEY_RESIZE_US_SHIFTED = 126
    };

    explicit AppControl(App* app);
    virtual ~AppControl() {}

    // Modifiers are the toolkit's modifier bits at the time of the event.
    virtual void OnSpecialKey(int key, int x, int y, int modifiers);
    // Ctrl+Shift+F1 ... F8 save the scene to slot 1 ... 8, Ctrl+F1 ... F8 recall it.
    void OnSceneSlotKey(int slot, bool save);
    virtual void OnSpecialKeyUp(int key, int x, int y);
    virtual void OnKeyUp(unsigned char key, int x, int y);
    virtual void OnKeyboard(unsigned char key, int x, int y, int modifiers);
    virtual void OnMouse(int button, int state, int x, int y, int modifiers);
    virtual void OnMouseDrag(int x, int y);
    virtual void OnMousePassiveMotion(int x, int y);
    virtual void OnMouseWheel(int wheel, int direction, int x, int y);

    double GetFineDragFactor() const { return _shiftPressed ? 0.1 : 1.0; }
    void UpdateMouseCoords(int x, int y);
    int GetMouseX() const { return _mouseX; }
    int GetMouseY() const { return _mouseY; }
    // Letters play notes through the MIDI output: down sends note on, up note off.
    void CheckMidiNoteKey(unsigned char key, bool down);
    // The MIDI note of a letter key, or -1 for any other key.
    static int NoteOfKey(unsigned char key);

private:
    bool HandleTypedValueKey(unsigned char key);
    void HandleSceneKey(unsigned char key);
    // The key left of "1" on a US or a French keyboard.
    static bool IsResizeKey(unsigned char key);
    void CloseMenuUnlessSpaceHeld();
    void ApplyDragStep(double dx, double dy);

    App* _app;
    bool _leftMouseDown, _rightMouseDown, _middleMouseDown;
    bool _isDraggingBackground;
    bool _ctrlDown;
    double _zoomCenterX, _zoomCenterY;
    bool _altPressed;
    bool _spacePressed;
    bool _shiftPressed;
    int _mouseX, _mouseY;
    long _veryHighNumber;
    long _lastDragX, _lastDragY;
    int _lastMouseX, _lastMouseY;
};
