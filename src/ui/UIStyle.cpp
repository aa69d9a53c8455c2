#include "ui/UIStyle.h"

#include <cstdio>

UIStyle::UIStyle()
{
}

UIStyle::~UIStyle()
{
}

void UIStyle::GetAppName(char* appName) const
{
    snprintf(appName, APP_NAME_SIZE, "%s", _appName);
}

void UIStyle::CopyColor(const double src[4], double dst[4])
{
    for (int i = 0; i < 4; i++)
        dst[i] = src[i];
}

void UIStyle::SetAppName(const char* appName)
{
    snprintf(_appName, sizeof(_appName), "%s", appName);
}

void UIStyle::SetColor(double color[4], double r, double g, double b, double a)
{
    color[0] = r;
    color[1] = g;
    color[2] = b;
    color[3] = a;
}

void UIStyle::SetSharedValues()
{
    _axisLineWidth = 0.9;
    SetColor(_axisXColor, 1.0, 0.0, 0.0, 0.9);
    SetColor(_axisYColor, 0.0, 1.0, 0.0, 0.9);
    SetColor(_axisZColor, 0.0, 0.0, 1.0, 0.7);
    _titleLineWidth = 2.0;
    SetColor(_titleAColCoeff, 1.0, 1.0, 1.0, 1.0);
    SetColor(_titleInsColCoeff, 1.0, 1.0, 1.0, 1.0);
    _helpLineWidth = 2.0;
    SetColor(_helpBackgroundColor, 0.0, 0.0, 0.0, 0.5);
    _paramLineWidth = 2.0;
    _soundRectLineWidth = 3.0;
    SetColor(_waveColor, 1.0, 1.0, 1.0, 0.3);
    _waveLineWidth = 1.5;
    _wavePointSize = 1.0;
    _paramMeterLineWidth = 4.0;
    SetColor(_paramMeterColor, 1.0, 1.0, 1.0, 1.0);
    _paramLinkLineWidth = 2.0;
    SetColor(_paramLinkColor, 1.0, 1.0, 1.0, 1.0);
    SetColor(_soundRectNameColor, 1.0, 1.0, 1.0, 0.35);
    SetColor(_soundRectNameColorSelected, 1.0, 1.0, 1.0, 1.0);
    SetColor(_uiWindowBorderColor, 1.0, 1.0, 1.0, 1.0);
    _uiWindowBorderWidth = 2.5;
    SetColor(_uiWindowTitleColor, 1.0, 1.0, 1.0, 1.0);
    _uiWindowTitleBoxBorderWidth = 1.0;
    SetColor(_uiWindowContentsColor, 1.0, 1.0, 1.0, 1.0);
    _uiWindowContentsLineWidth = 2.0;
    SetColor(_pendingColor, 1.0, 0.7, 0.1, 1.0);
    SetColor(_selectionColor, 1.0, 0.85, 0.1, 1.0);
    SetColor(_selectionShadowColor, 0.0, 0.0, 0.0, 0.8);
    _selectionLineWidth = 3.0;
}

DefaultStyle::DefaultStyle()
{
    SetSharedValues();
    SetAppName("QUENDRAVOLT");
    SetColor(_backgroundColor, 0.15, 0.15, 0.15, 1.0);
    SetColor(_helpInsColor, 0.6, 0.6, 0.6, 0.6);
    SetColor(_paramColor, 1.0, 1.0, 1.0, 1.0);
    // The selected body is bluer but fainter than the unselected one.
    SetColor(_grainColor, 0.1, 0.7, 0.6, 0.35);
    SetColor(_grainColorSelected, 0.0, 0.4, 0.7, 0.3);
    SetColor(_grainVisColor, 1.0, 0.0, 0.0, 0.6);
    SetColor(_grainVisDefColor, 1.0, 0.0, 0.0, 1.0);
    SetColor(_soundRectColor, 1.0, 1.0, 1.0, 0.3);
    SetColor(_soundRectBorderColor, 0.7, 0.7, 0.7, 0.3);
    SetColor(_soundRectBorderColorSelected, 0.7, 0.7, 0.7, 0.7);
    SetColor(_uiWindowBackgroundColor, 1.0, 1.0, 1.0, 0.25);
}

PurpleStyle::PurpleStyle()
{
    SetSharedValues();
    SetAppName("OSTRAVELLE");
    SetColor(_backgroundColor, 0.23, 0.2, 0.46, 1.0);
    SetColor(_helpInsColor, 1.0, 1.0, 1.0, 0.6);
    SetColor(_paramColor, 0.98, 0.63, 0.92, 1.0);
    SetColor(_grainColor, 0.71, 0.4, 1.0, 0.5);
    SetColor(_grainColorSelected, 0.71, 0.4, 1.0, 0.9);
    SetColor(_grainVisColor, 0.81, 0.0, 1.0, 0.9);
    SetColor(_grainVisDefColor, 0.81, 0.0, 1.0, 1.0);
    SetColor(_soundRectColor, 1.0, 0.6, 1.0, 0.3);
    SetColor(_soundRectBorderColor, 0.8, 0.8, 0.5, 0.1);
    SetColor(_soundRectBorderColorSelected, 0.8, 0.8, 0.5, 0.7);
    SetColor(_uiWindowBackgroundColor, 1.0, 1.0, 1.0, 0.25);
}

JellyfishStyle::JellyfishStyle()
{
    SetSharedValues();
    SetAppName("VORIKA");
    SetColor(_backgroundColor, 0.0, 1.0, 1.0, 1.0);
    SetColor(_helpInsColor, 1.0, 1.0, 1.0, 0.6);
    SetColor(_paramColor, 1.0, 1.0, 1.0, 1.0);
    SetColor(_grainColor, 1.0, 1.0, 1.0, 0.5);
    SetColor(_grainColorSelected, 1.0, 1.0, 1.0, 0.9);
    SetColor(_grainVisColor, 0.42, 0.34, 1.0, 0.9);
    SetColor(_grainVisDefColor, 0.42, 0.34, 1.0, 1.0);
    SetColor(_soundRectColor, 1.0, 0.0, 1.0, 0.3);
    SetColor(_soundRectBorderColor, 1.0, 0.0, 1.0, 0.3);
    SetColor(_soundRectBorderColorSelected, 1.0, 0.0, 1.0, 0.6);
    SetColor(_uiWindowBackgroundColor, 0.0, 0.0, 0.0, 0.5);
}

PsytranceStyle::PsytranceStyle()
{
    SetSharedValues();
    SetAppName("OSTRAVELLE");
    SetColor(_backgroundColor, 0.0, 0.0, 0.0, 1.0);
    SetColor(_helpInsColor, 1.0, 1.0, 1.0, 0.6);
    SetColor(_paramColor, 1.0, 1.0, 1.0, 1.0);
    SetColor(_grainColor, 0.0, 0.33, 1.0, 0.5);
    SetColor(_grainColorSelected, 0.0, 0.33, 1.0, 0.9);
    SetColor(_grainVisColor, 1.0, 0.0, 1.0, 0.9);
    SetColor(_grainVisDefColor, 1.0, 0.0, 1.0, 1.0);
    SetColor(_soundRectColor, 0.0, 1.0, 0.0, 0.3);
    SetColor(_soundRectBorderColor, 0.0, 1.0, 0.0, 0.3);
    SetColor(_soundRectBorderColorSelected, 0.0, 1.0, 0.0, 1.0);
    SetColor(_uiWindowBackgroundColor, 0.0, 0.0, 0.0, 0.5);
}

BlackNWhiteStyle::BlackNWhiteStyle()
{
    SetSharedValues();
    SetAppName("ZOLTA FENRI");
    SetColor(_backgroundColor, 0.0, 0.0, 0.0, 1.0);
    SetColor(_helpInsColor, 1.0, 1.0, 1.0, 0.6);
    SetColor(_paramColor, 1.0, 1.0, 1.0, 1.0);
    SetColor(_grainColor, 1.0, 1.0, 1.0, 0.5);
    SetColor(_grainColorSelected, 1.0, 1.0, 1.0, 0.9);
    SetColor(_grainVisColor, 1.0, 1.0, 1.0, 0.9);
    SetColor(_grainVisDefColor, 1.0, 1.0, 1.0, 1.0);
    SetColor(_soundRectColor, 0.0, 0.0, 0.0, 0.3);
    SetColor(_soundRectBorderColor, 1.0, 1.0, 1.0, 0.3);
    SetColor(_soundRectBorderColorSelected, 1.0, 1.0, 1.0, 1.0);
    SetColor(_uiWindowBackgroundColor, 0.0, 0.0, 0.0, 0.5);
}

SlugStyle::SlugStyle()
{
    SetSharedValues();
    SetAppName("BRASK OLUMI");
    SetColor(_backgroundColor, 0.0, 0.0, 0.0, 1.0);
    SetColor(_helpInsColor, 1.0, 1.0, 1.0, 0.6);
    SetColor(_paramColor, 1.0, 1.0, 1.0, 1.0);
    SetColor(_grainColor, 0.45, 0.58, 0.62, 0.5);
    SetColor(_grainColorSelected, 0.45, 0.58, 0.62, 0.9);
    SetColor(_grainVisColor, 0.45, 0.58, 0.62, 0.9);
    SetColor(_grainVisDefColor, 0.45, 0.58, 0.62, 1.0);
    SetColor(_soundRectColor, 0.0, 0.0, 0.0, 0.3);
    SetColor(_soundRectBorderColor, 1.0, 0.0, 0.0, 0.3);
    SetColor(_soundRectBorderColorSelected, 1.0, 0.0, 0.0, 1.0);
    SetColor(_uiWindowBackgroundColor, 0.0, 0.0, 0.0, 0.5);
}
