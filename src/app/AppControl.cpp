#include "app/AppControl.h"

#include "app/App.h"
#include "app/CanvasView.h"
#include "app/Controllers.h"
#include "app/FloatingWindows.h"
#include "app/ParamValueEditor.h"
#include "app/SceneStore.h"
#include "app/Selection.h"
#include "app/StyleSwitch.h"

AppControl::AppControl(App* app)
    : _app(app), _leftMouseDown(false), _rightMouseDown(false), _middleMouseDown(false), _isDraggingBackground(false),
      _ctrlDown(false), _zoomCenterX(0), _zoomCenterY(0), _altPressed(false), _spacePressed(false),
      _shiftPressed(false), _mouseX(-1), _mouseY(-1), _veryHighNumber(50000000), _lastDragX(50000000),
      _lastDragY(50000000), _lastMouseX(-1), _lastMouseY(-1)
{
}

void AppControl::UpdateMouseCoords(int x, int y)
{
    _mouseX = int(_app->GetView()->GetPositionX() + x);
    _mouseY = int(_app->GetWinHeight() - (y - _app->GetView()->GetPositionY()));
    _mouseX = int(_mouseX / _app->GetView()->GetZoom());
    _mouseY = int(_mouseY / _app->GetView()->GetZoom());
}

void AppControl::OnKeyboard(unsigned char key, int, int, int modifiers)
{
    _app->SetMenuFlag(false);
    if (key == KEY_ESCAPE && (modifiers & MOD_SHIFT)) {
        _app->RequestQuit();
    } else if (key == KEY_SPACE) {
        _spacePressed = true;
        // Alt+Space shows the effects: the selected source's chain, else the master's.
        if (modifiers & MOD_ALT)
            _app->GetWindows()->OpenEffectsWindow(!_app->GetSelection()->IsSelectedSource());
        else
            _app->OpenPieMenu();
    } else if (IsResizeKey(key)) {
        _app->GetSelection()->SetSoundRectResizeMode();
    } else if (!(_app->GetParamEditor()->IsEditingParamString() && HandleTypedValueKey(key))) {
        HandleSceneKey(key);
    }
    CheckMidiNoteKey(key, true);
}

bool AppControl::HandleTypedValueKey(unsigned char key)
{
    if (key == '1' || key == KEY_AMPERSAND) {
        _app->GetParamEditor()->AddParamStringChar('1');
    } else if (key == KEY_QUOTE) {
        _app->GetParamEditor()->AddParamStringChar('3');
    } else if (key == KEY_APOSTROPHE) {
        _app->GetParamEditor()->AddParamStringChar('4');
    } else if (key >= '0' && key <= '9') {
        _app->GetParamEditor()->AddParamStringChar(char(key));
    } else if (key == KEY_POINT || key == KEY_SEMICOLON) {
        _app->GetParamEditor()->AddParamStringChar('.');
    } else if (key == KEY_MINUS || key == KEY_UNDERSCORE) {
        // The sign always goes in front, also when typed after the digits.
        _app->GetParamEditor()->InsertParamStringChar(0, "-");
    } else if (key == KEY_BACKSPACE || key == KEY_DELETE) {
        _app->GetParamEditor()->DelLastParamStringChar();
    } else if (key == KEY_ENTER) {
        _app->GetParamEditor()->ApplyParamString();
        CloseMenuUnlessSpaceHeld();
    } else if (key == KEY_ESCAPE) {
        _app->GetParamEditor()->ResetParamString();
        CloseMenuUnlessSpaceHeld();
    } else {
        return false;
    }
    return true;
}

bool AppControl::IsResizeKey(unsigned char key)
{
    return key == KEY_RESIZE || key == KEY_RESIZE_US || key == KEY_RESIZE_US_SHIFTED;
}

void AppControl::CloseMenuUnlessSpaceHeld()
{
    // The menu shows while Space is held: a value applied or dropped leaves it open.
    if (!_spacePressed)
        _app->ClosePieMenu();
}

void AppControl::HandleSceneKey(unsigned char key)
{
    if (key == '1' || key == KEY_AMPERSAND) {
        _app->GetParamEditor()->ResetParamString();
        _app->GetSelection()->Deselect(Selection::RECT);
        _app->AddGrainCloud(_mouseX, _mouseY);
    } else if (key == '2') {
        _app->GetParamEditor()->ResetParamString();
        _app->GetSelection()->Deselect(Selection::RECT);
        _app->AddSingleGrain(_mouseX, _mouseY);
    } else if (key == '3' || key == KEY_QUOTE) {
        _app->GetParamEditor()->ResetParamString();
        _app->GetSelection()->Deselect(Selection::RECT);
        _app->AddLoopSource(_mouseX, _mouseY);
    } else if (key == '4' || key == KEY_APOSTROPHE) {
        _app->GetParamEditor()->ResetParamString();
        _app->AddLiveRect(_mouseX, _mouseY);
    } else if (key == KEY_BACKSPACE || key == KEY_DELETE) {
        _app->DelSelectedSource();
    } else if (key == KEY_ENTER) {
        _app->ClosePieMenu();
    }
}

void AppControl::OnKeyUp(unsigned char key, int, int)
{
    if (key == KEY_SPACE) {
        _spacePressed = false;
        _app->ClosePieMenu();
        _app->GetWindows()->CloseEffectsWindow();
    } else if (IsResizeKey(key)) {
        _app->GetSelection()->SetSoundRectMoveMode();
        // The next drag step starts from wherever the pointer is then.
        _lastDragX = _lastDragY = _veryHighNumber;
    }
    CheckMidiNoteKey(key, false);
}

int AppControl::NoteOfKey(unsigned char key)
{
    // Each row of a French keyboard is a chromatic run around note 72; the rows overlap.
    static const char* const ROWS[] = {"WXCVBN", "QSDFGHJKLM", "AZERTYUIOP"};
    static const int ROW_START[] = {-12, -7, 0};
    unsigned char upper = (key >= 'a' && key <= 'z') ? key - 'a' + 'A' : key;
    for (int row = 0; row < 3; row++) {
        for (int i = 0; ROWS[row][i] != 0; i++) {
            if (ROWS[row][i] == upper)
                return 72 + ROW_START[row] + i;
        }
    }
    return -1;
}

void AppControl::CheckMidiNoteKey(unsigned char key, bool down)
{
    int note = NoteOfKey(key);
    if (note < 0)
        return;
    if (down) {
        _app->GetControllers()->SendNoteOn(note);
    } else {
        _app->GetControllers()->SendNoteOff(note);
    }
}

void AppControl::OnSpecialKey(int key, int x, int y, int modifiers)
{
    _app->SetMenuFlag(false);
    bool ctrl = (modifiers & MOD_CTRL) != 0;
    if (ctrl && key >= KEY_F1 && key < KEY_F1 + SceneFiles::NUM_SLOTS) {
        OnSceneSlotKey(key - KEY_F1 + 1, (modifiers & MOD_SHIFT) != 0);
        return;
    }
    switch (key) {
    case KEY_F1:
        _app->ToggleDrawHelp(true);
        break;
    case KEY_F5:
        _app->GetView()->ToggleFullScreen();
        break;
    // Panic: whatever hangs on any channel stops now.
    case KEY_F7:
        _app->GetControllers()->SilenceAllNotes();
        break;
    case KEY_F8:
        _app->ToggleLiveFreeze();
        break;
    // The flag was cleared just above, so F10 always brings the title screen back.
    case KEY_F10:
        _app->SetMenuFlag(!_app->GetMenuFlag());
        break;
    case KEY_F11:
        _app->ToggleAudioBounce();
        break;
    case KEY_F12:
        _app->GetScenes()->SaveCurrentSession();
        break;
    // The letters are note keys, so learning has a key of its own.
    case KEY_F9:
        if ((modifiers & MOD_SHIFT) != 0)
            _app->GetControllers()->ClearMidiBinding(x, y);
        else
            _app->GetControllers()->ArmMidiLearn(x, y);
        break;
    case KEY_LEFT:
        if (ctrl) {
            _app->GetStyles()->PrevStyle();
        } else if (modifiers == 0) {
            _app->GetView()->TranslatePositionX(-_app->GetView()->GetXMoveSpeed());
            _mouseX = int(_mouseX - _app->GetView()->GetXMoveSpeed());
        }
        break;
    case KEY_RIGHT:
        if (ctrl) {
            _app->GetStyles()->NextStyle();
        } else if (modifiers == 0) {
            _app->GetView()->TranslatePositionX(_app->GetView()->GetXMoveSpeed());
            _mouseX = int(_mouseX + _app->GetView()->GetXMoveSpeed());
        }
        break;
    // The stored pointer moves against the scroll, as if the pointer stayed on
    // the same scene point; the next pointer motion recomputes it exactly.
    case KEY_UP:
        _app->GetView()->TranslatePositionY(_app->GetView()->GetYMoveSpeed());
        _mouseY = int(_mouseY - _app->GetView()->GetYMoveSpeed());
        break;
    case KEY_DOWN:
        _app->GetView()->TranslatePositionY(-_app->GetView()->GetYMoveSpeed());
        _mouseY = int(_mouseY + _app->GetView()->GetYMoveSpeed());
        break;
    case KEY_SHIFT_L:
        _shiftPressed = true;
        break;
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
    default:
        break;
    }
}

void AppControl::OnSceneSlotKey(int slot, bool save)
{
    if (save)
        _app->GetScenes()->SaveSceneSlot(slot);
    else
        _app->GetScenes()->RecallSceneSlot(slot);
}

void AppControl::OnSpecialKeyUp(int key, int, int)
{
    switch (key) {
    case KEY_F1:
        _app->ToggleDrawHelp(false);
        break;
    case KEY_SHIFT_L:
        _shiftPressed = false;
        break;
    case KEY_CTRL_L:
    case KEY_CTRL_R:
        _isDraggingBackground = false;
        _ctrlDown = false;
        break;
    case KEY_ALT_L:
        _altPressed = false;
        break;
    default:
        break;
    }
}

void AppControl::OnMouse(int button, int state, int x, int y, int modifiers)
{
    bool down = state == BUTTON_DOWN;
    if (button == BUTTON_LEFT)
        _leftMouseDown = down;
    if (button == BUTTON_RIGHT)
        _rightMouseDown = down;
    if (button == BUTTON_MIDDLE)
        _middleMouseDown = down;
    if (!(modifiers & MOD_ALT))
        _altPressed = false;
    // A click that leaves the title screen only leaves it: the selection
    // restored with the session stays.
    if (_leftMouseDown && _app->GetMenuFlag()) {
        _app->SetMenuFlag(false);
        return;
    }
    // A right click confirms a value being typed.
    if (_rightMouseDown && _app->GetParamEditor()->IsEditingParamString()) {
        _app->GetParamEditor()->ApplyParamString();
        CloseMenuUnlessSpaceHeld();
    }
    if (_app->GetParamEditor()->IsEditingParamString())
        return;
    UpdateMouseCoords(x, y);
    if (_rightMouseDown && _app->IsPieMenuOpen()) {
        _app->RightPickPieMenu(button, state, _mouseX, _mouseY);
        return;
    }
    if (_leftMouseDown || _middleMouseDown) {
        _lastMouseX = x;
        _lastMouseY = y;
    }
    _isDraggingBackground = _middleMouseDown || _ctrlDown;
    if (_isDraggingBackground)
        return;
    if (_altPressed && !_spacePressed && _leftMouseDown) {
        _zoomCenterX = x;
        _zoomCenterY = _app->GetWinHeight() - y;
    }
    if (_leftMouseDown && _app->IsPieMenuOpen()) {
        _app->LeftPickPieMenu(button, state, _mouseX, _mouseY);
        _lastDragX = _mouseX;
        _lastDragY = _mouseY;
        return;
    }
    if (_leftMouseDown) {
        _app->SetMenuFlag(false);
        _app->ResetCurrentParam();
        _app->GetSelection()->Deselect(Selection::SOURCE);
        _lastDragX = _mouseX;
        _lastDragY = _mouseY;
        _app->GetSelection()->UpdateSourcePicking(_mouseX, _mouseY);
        _app->GetSelection()->UpdateRectPicking(_mouseX, _mouseY);
    }
}

void AppControl::OnMouseDrag(int x, int y)
{
    if (!(_leftMouseDown || _rightMouseDown || _middleMouseDown))
        return;
    if (_app->GetParamEditor()->IsEditingParamString())
        return;
    UpdateMouseCoords(x, y);
    if (_lastDragX == _veryHighNumber)
        _lastDragX = _mouseX;
    if (_lastDragY == _veryHighNumber)
        _lastDragY = _mouseY;
    double f = GetFineDragFactor();
    double dx = (_mouseX - _lastDragX) * f;
    double dy = (_mouseY - _lastDragY) * f;
    _lastDragX = _mouseX;
    _lastDragY = _mouseY;
    if (_isDraggingBackground) {
        // The scene follows the pointer.
        double sx = (x - _lastMouseX) * f;
        double sy = (y - _lastMouseY) * f;
        _lastMouseX = x;
        _lastMouseY = y;
        _app->GetView()->TranslatePositionX(-sx);
        _app->GetView()->TranslatePositionY(sy);
    } else if (_altPressed && !_spacePressed) {
        _app->GetView()->ApplyZoom(1 - 0.005 * dy, _zoomCenterX, _zoomCenterY);
    } else {
        ApplyDragStep(dx, dy);
    }
}

void AppControl::ApplyDragStep(double dx, double dy)
{
    // A drag with a picked box edits its value; the source or rect under the
    // menu stays where it is, since a current parameter holds it in place.
    if (_leftMouseDown && _app->IsPieMenuOpen())
        _app->PieMenuMouseDrag(dx, dy);
    if (_app->GetSelection()->IsSelectedSource()) {
        _app->GetSelection()->SourceMouseDrag(dx, dy);
    } else if (_app->GetSelection()->IsSelectedRect()) {
        // With the resize key held the drag resizes and does not move.
        if (_app->GetSelection()->GetDragMode() == 1)
            _app->GetSelection()->ScaleSoundRect(_mouseX, _mouseY, dx, dy);
        else
            _app->GetSelection()->RectMouseDrag(dx, dy);
    }
}

void AppControl::OnMousePassiveMotion(int x, int y)
{
    UpdateMouseCoords(x, y);
    // Without a previous position (after the resize key) there is no step to bend by.
    bool hasStep = _lastDragX != _veryHighNumber && _lastDragY != _veryHighNumber;
    double dx = _mouseX - _lastDragX, dy = _mouseY - _lastDragY;
    _lastDragX = _mouseX;
    _lastDragY = _mouseY;
    // Moving the pointer bends the notes that are playing.
    if (hasStep && _app->GetControllers()->IsPlayingNoteSource())
        _app->GetControllers()->ApplyVirtualPitchWheel(dx, dy);
}

void AppControl::OnMouseWheel(int, int direction, int x, int y)
{
    if (_app->GetParamEditor()->IsEditingParamString())
        return;
    _zoomCenterX = x;
    _zoomCenterY = _app->GetWinHeight() - y;
    // Each wheel step zooms by 10 % about the pointer.
    _app->GetView()->ApplyZoom(1 + 0.1 * direction, x, _app->GetWinHeight() - y);
}
