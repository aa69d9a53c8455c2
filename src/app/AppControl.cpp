#include "app/AppControl.h"

#include "app/App.h"

namespace {

const int NUM_COMMANDS = 35;

const char* COMMANDS[NUM_COMMANDS] = {
    "--------------------------------------------",
    "Esc + Shift      Quit",
    "F1 key           Display help over the track",
    "F5               Toggle fullscreen",
    "F10 key          Hide/Show Title Screen",
    "F11              Toggle audio bounce",
    "F12              Save current session",
    " ",
    "Rectangles",
    "------------",
    "Left click       Select",
    "Drag             Move",
    "2/~ key + drag   Resize",
    " ",
    "Source Addition and Selection",
    "------------",
    "1 key            Add cloud",
    "2 key            Add single grain",
    "3 key            Add loop source",
    "Delete + Shift   Remove selected source",
    "Left click       Select",
    "Drag             Move",
    " ",
    "------------",
    "Spacebar        Pie Menu",
    "Spacebar + Alt  Effects menu",
    "Right + Pie     Enter Param Edit Mode",
    "Ctrl + arrows   Switch Style",
    " ",
    "------------",
    "Ctrl + Drag      Drag Background",
    "Middle + drag    Drag Background",
    "Alt + Drag       Zoom",
    "Middle           Zoom",
    "--------------------------------------------",
};

const char* COMMANDS_SHORT[NUM_COMMANDS] = {
    "------------------------------------",
    "Esc + Shift   Quit",
    "F1            Help",
    "F5            Fullscreen",
    "F10           Title Screen",
    "F11           Bounce Audio",
    "F12           Save Session",
    " ",
    "Rectangles",
    "------------",
    "Left Click    Select",
    "Drag          Move",
    "2/~           Resize",
    " ",
    "Cloud Addition + Selection",
    "------------",
    "1             Add Cloud",
    "2             Add Single Grain",
    "3             Add Loop Source",
    "Del + Shift   Remove Source",
    "Left          Select Source",
    "Drag          Move Source",
    " ",
    "------------",
    "Space          Pie Menu",
    "Space + Alt    Effects Menu",
    "Right + Pie    Enter Param Edit Mode",
    "Ctrl + Arrows  Switch Style",
    " ",
    "------------",
    "Ctrl + Drag    Drag Background",
    "Middle + drag  Drag Background",
    "Alt + Drag     Zoom",
    "Middle         Zoom",
    "------------------------------------",
};

}  // namespace

AppControl::AppControl(App* app)
    : _app(app), _leftMouseDown(false), _rightMouseDown(false), _middleMouseDown(false),
      _isDraggingBackground(false), _ctrlDown(false), _zoomCenterX(0), _zoomCenterY(0),
      _altPressed(false), _spacePressed(false), _shiftPressed(false), _mouseX(-1), _mouseY(-1),
      _veryHighNumber(50000000), _lastDragX(50000000), _lastDragY(50000000), _lastMouseX(-1),
      _lastMouseY(-1) {}

const char** AppControl::GetCommands() const { return COMMANDS; }

int AppControl::GetNumCommands() const { return NUM_COMMANDS; }

const char** AppControl::GetCommandsShort() const { return COMMANDS_SHORT; }

int AppControl::GetNumCommandsShort() const { return NUM_COMMANDS; }

void AppControl::UpdateMouseCoords(int x, int y) {
    _mouseX = int(_app->GetPositionX() + x);
    _mouseY = int(_app->GetWinHeight() - (y - _app->GetPositionY()));
    _mouseX = int(_mouseX / _app->GetZoom());
    _mouseY = int(_mouseY / _app->GetZoom());
}

void AppControl::OnKeyboard(unsigned char key, int, int, int modifiers) {
    _app->SetMenuFlag(false);
    if (key == KEY_ESCAPE && (modifiers & MOD_SHIFT)) _app->RequestQuit();
}

void AppControl::OnSpecialKey(int key, int x, int y, int modifiers) {
    _app->SetMenuFlag(false);
    bool ctrl = (modifiers & MOD_CTRL) != 0;
    switch (key) {
        case KEY_F1: _app->ToggleDrawHelp(true); break;
        case KEY_F5: _app->ToggleFullScreen(); break;
        // The flag was cleared just above, so F10 always brings the title screen back.
        case KEY_F10: _app->SetMenuFlag(!_app->GetMenuFlag()); break;
        case KEY_F11: _app->ToggleAudioBounce(); break;
        case KEY_LEFT:
            if (ctrl) {
                _app->PrevStyle();
            } else if (modifiers == 0) {
                _app->TranslatePositionX(-_app->GetXMoveSpeed());
                _mouseX = int(_mouseX - _app->GetXMoveSpeed());
            }
            break;
        case KEY_RIGHT:
            if (ctrl) {
                _app->NextStyle();
            } else if (modifiers == 0) {
                _app->TranslatePositionX(_app->GetXMoveSpeed());
                _mouseX = int(_mouseX + _app->GetXMoveSpeed());
            }
            break;
        // The stored pointer moves against the scroll, as if the pointer stayed on
        // the same scene point; the next pointer motion recomputes it exactly.
        case KEY_UP:
            _app->TranslatePositionY(_app->GetYMoveSpeed());
            _mouseY = int(_mouseY - _app->GetYMoveSpeed());
            break;
        case KEY_DOWN:
            _app->TranslatePositionY(-_app->GetYMoveSpeed());
            _mouseY = int(_mouseY + _app->GetYMoveSpeed());
            break;
        case KEY_SHIFT_L: _shiftPressed = true; break;
        case KEY_CTRL_L:
        case KEY_CTRL_R:
            _isDraggingBackground = true;
            _ctrlDown = true;
            break;
        case KEY_ALT_L:
            _altPressed = true;
            _zoomCenterX = x;
            _zoomCenterY = _app->GetWinHeight() - y;
            _lastMouseX = x;
            _lastMouseY = y;
            break;
        default: break;
    }
}

void AppControl::OnSpecialKeyUp(int key, int, int) {
    switch (key) {
        case KEY_F1: _app->ToggleDrawHelp(false); break;
        case KEY_SHIFT_L: _shiftPressed = false; break;
        case KEY_CTRL_L:
        case KEY_CTRL_R:
            _isDraggingBackground = false;
            _ctrlDown = false;
            break;
        case KEY_ALT_L: _altPressed = false; break;
        default: break;
    }
}

void AppControl::OnMouse(int button, int state, int x, int y, int modifiers) {
    bool down = state == BUTTON_DOWN;
    if (button == BUTTON_LEFT) _leftMouseDown = down;
    if (button == BUTTON_RIGHT) _rightMouseDown = down;
    if (button == BUTTON_MIDDLE) _middleMouseDown = down;
    if (!(modifiers & MOD_ALT)) _altPressed = false;
    UpdateMouseCoords(x, y);
    if (_leftMouseDown || _middleMouseDown) {
        _lastMouseX = x;
        _lastMouseY = y;
    }
    _isDraggingBackground = _middleMouseDown || _ctrlDown;
    if (_isDraggingBackground) return;
    if (_leftMouseDown) {
        _app->SetMenuFlag(false);
        _lastDragX = _mouseX;
        _lastDragY = _mouseY;
    }
}

void AppControl::OnMouseDrag(int x, int y) {
    if (!(_leftMouseDown || _rightMouseDown || _middleMouseDown)) return;
    UpdateMouseCoords(x, y);
    _lastDragX = _mouseX;
    _lastDragY = _mouseY;
    if (_isDraggingBackground) {
        // The scene follows the pointer.
        double sx = (x - _lastMouseX) * GetFineDragFactor();
        double sy = (y - _lastMouseY) * GetFineDragFactor();
        _lastMouseX = x;
        _lastMouseY = y;
        _app->TranslatePositionX(-sx);
        _app->TranslatePositionY(sy);
    }
}

void AppControl::OnMousePassiveMotion(int x, int y) {
    UpdateMouseCoords(x, y);
    _lastDragX = _mouseX;
    _lastDragY = _mouseY;
}
