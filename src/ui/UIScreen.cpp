#include "ui/UIScreen.h"

#include "app/App.h"

double UIScreen::GetWidth() const
{
    return _app->GetWinWidth();
}

double UIScreen::GetHeight() const
{
    return _app->GetWinHeight();
}
