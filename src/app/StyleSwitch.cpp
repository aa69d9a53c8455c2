#include "app/StyleSwitch.h"

#include <GL/freeglut.h>

#include "app/App.h"
#include "app/FloatingWindows.h"
#include "sound/SoundRect.h"
#include "sources/Source.h"
#include "ui/UISoundRect.h"
#include "ui/UISource.h"
#include "ui/UIStyle.h"
#include "ui/UIStyleManager.h"

StyleSwitch::StyleSwitch(App* app) : _app(app), _styleManager(nullptr), _style(nullptr), _windowCreated(false)
{
}

StyleSwitch::~StyleSwitch()
{
    DeleteStyles();
}

void StyleSwitch::CreateStyles()
{
    _styleManager = new UIStyleManager();
    _style = _styleManager->GetCurrentStyle();
}

void StyleSwitch::DeleteStyles()
{
    delete _styleManager;
    _styleManager = nullptr;
    _style = nullptr;
}

int StyleSwitch::GetStyleNum() const
{
    return _styleManager != nullptr ? _styleManager->GetCurrentStyleNum() : -1;
}

void StyleSwitch::NextStyle()
{
    _styleManager->NextStyle();
    UpdateStyle();
}

void StyleSwitch::PrevStyle()
{
    _styleManager->PrevStyle();
    UpdateStyle();
}

void StyleSwitch::RestoreStyle(int style)
{
    if (_styleManager == nullptr || style == _styleManager->GetCurrentStyleNum())
        return;
    _styleManager->SetStyleNum(style);
    if (_styleManager->GetCurrentStyleNum() == style)
        UpdateStyle();
}

void StyleSwitch::UpdateStyle()
{
    _style = _styleManager->GetCurrentStyle();
    for (SoundRect* rect : _app->GetSoundRects())
        rect->GetUI()->UpdateStyle(_style);
    for (Source* source : _app->GetSources())
        source->GetUI()->UpdateStyle(_style);
    _app->GetWindows()->UpdateStyle(_style);
    if (!_windowCreated)
        return;
    ApplyBackground();
    glutPostRedisplay();
}

void StyleSwitch::ApplyBackground() const
{
    double background[4];
    _style->GetBackgroundColor(background);
    glClearColor(background[0], background[1], background[2], background[3]);
}
