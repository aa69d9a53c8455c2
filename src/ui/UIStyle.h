#pragma once

// A fixed record of colours, line widths and a title that every view reads
// when it draws. Styles are pure data: views never branch on which one is
// current, so switching style is just handing out another record.
// Colours are red, green, blue, alpha in 0..1; widths are in pixels.
class UIStyle {
public:
    static constexpr int APP_NAME_SIZE = 512;

    virtual ~UIStyle();

    // appName must hold at least APP_NAME_SIZE bytes.
    void GetAppName(char* appName) const;
    void GetBackgroundColor(double color[4]) const { CopyColor(_backgroundColor, color); }
    double GetAxisLineWidth() const { return _axisLineWidth; }
    void GetAxisXColor(double color[4]) const { CopyColor(_axisXColor, color); }
    void GetAxisYColor(double color[4]) const { CopyColor(_axisYColor, color); }
    void GetAxisZColor(double color[4]) const { CopyColor(_axisZColor, color); }
    double GetTitleLineWidth() const { return _titleLineWidth; }
    void GetTitleAColorCoeff(double color[4]) const { CopyColor(_titleAColCoeff, color); }
    void GetTitleInsColorCoeff(double color[4]) const { CopyColor(_titleInsColCoeff, color); }
    double GetHelpLineWidth() const { return _helpLineWidth; }
    void GetHelpInsColor(double color[4]) const { CopyColor(_helpInsColor, color); }
    void GetHelpBackgroundColor(double color[4]) const { CopyColor(_helpBackgroundColor, color); }
    double GetParamLineWidth() const { return _paramLineWidth; }
    void GetParamColor(double color[4]) const { CopyColor(_paramColor, color); }
    double GetParamMeterLineWidth() const { return _paramMeterLineWidth; }
    void GetParamMeterColor(double color[4]) const { CopyColor(_paramMeterColor, color); }
    double GetParamLinkLineWidth() const { return _paramLinkLineWidth; }
    void GetParamLinkColor(double color[4]) const { CopyColor(_paramLinkColor, color); }
    void GetGrainColor(double color[4]) const { CopyColor(_grainColor, color); }
    void GetGrainColorSelected(double color[4]) const { CopyColor(_grainColorSelected, color); }
    void GetGrainDrawColor(double color[4]) const { CopyColor(_grainVisColor, color); }
    void GetGrainDrawDefColor(double color[4]) const { CopyColor(_grainVisDefColor, color); }
    void GetSoundRectColor(double color[4]) const { CopyColor(_soundRectColor, color); }
    void GetSoundRectBorderColor(double color[4]) const { CopyColor(_soundRectBorderColor, color); }
    void GetSoundRectBorderColorSelected(double color[4]) const { CopyColor(_soundRectBorderColorSelected, color); }
    double GetSoundRectLineWidth() const { return _soundRectLineWidth; }
    void GetWaveColor(double color[4]) const { CopyColor(_waveColor, color); }
    double GetWaveLineWidth() const { return _waveLineWidth; }
    double GetWavePointSize() const { return _wavePointSize; }
    void GetSoundRectNameColor(double color[4]) const { CopyColor(_soundRectNameColor, color); }
    void GetSoundRectNameColorSelected(double color[4]) const { CopyColor(_soundRectNameColorSelected, color); }
    void GetUIWindowBackgroundColor(double color[4]) const { CopyColor(_uiWindowBackgroundColor, color); }
    void GetUIWindowBorderColor(double color[4]) const { CopyColor(_uiWindowBorderColor, color); }
    double GetUIWindowBorderWidth() const { return _uiWindowBorderWidth; }
    void GetUIWindowTitleColor(double color[4]) const { CopyColor(_uiWindowTitleColor, color); }
    double GetUIWindowTitleBoxBorderWidth() const { return _uiWindowTitleBoxBorderWidth; }
    void GetUIWindowContentsColor(double color[4]) const { CopyColor(_uiWindowContentsColor, color); }
    double GetUIWindowContentsLineWidth() const { return _uiWindowContentsLineWidth; }
    // A typed value that is not applied yet.
    void GetPendingColor(double color[4]) const { CopyColor(_pendingColor, color); }
    // The ring or frame around the selected object, drawn over a dark
    // shadow so that it shows on every background.
    void GetSelectionColor(double color[4]) const { CopyColor(_selectionColor, color); }
    void GetSelectionShadowColor(double color[4]) const { CopyColor(_selectionShadowColor, color); }
    double GetSelectionLineWidth() const { return _selectionLineWidth; }

protected:
    // Leaves the values unset: only a built-in style, which fills in every
    // value, can be created.
    UIStyle();

    // Helpers for the subclass constructors.
    void SetAppName(const char* appName);
    static void SetColor(double color[4], double r, double g, double b, double a);
    // The values that all built-in styles have in common.
    void SetSharedValues();

    char _appName[APP_NAME_SIZE];
    double _backgroundColor[4];
    double _axisLineWidth;
    double _axisXColor[4];
    double _axisYColor[4];
    double _axisZColor[4];
    double _titleLineWidth;
    double _titleAColCoeff[4];
    double _titleInsColCoeff[4];
    double _helpLineWidth;
    double _helpInsColor[4];
    double _helpBackgroundColor[4];
    double _paramLineWidth;
    double _paramColor[4];
    double _grainColor[4];
    double _grainColorSelected[4];
    double _grainVisColor[4];
    double _grainVisDefColor[4];
    double _soundRectColor[4];
    double _soundRectBorderColor[4];
    double _soundRectBorderColorSelected[4];
    double _soundRectLineWidth;
    double _waveColor[4];
    double _waveLineWidth;
    double _wavePointSize;
    double _paramMeterLineWidth;
    double _paramMeterColor[4];
    double _paramLinkLineWidth;
    double _paramLinkColor[4];
    double _soundRectNameColor[4];
    double _soundRectNameColorSelected[4];
    double _uiWindowBackgroundColor[4];
    double _uiWindowBorderColor[4];
    double _uiWindowBorderWidth;
    double _uiWindowTitleColor[4];
    double _uiWindowTitleBoxBorderWidth;
    double _uiWindowContentsColor[4];
    double _uiWindowContentsLineWidth;
    double _pendingColor[4];
    double _selectionColor[4];
    double _selectionShadowColor[4];
    double _selectionLineWidth;

private:
    static void CopyColor(const double src[4], double dst[4]);
};

// Dark grey with teal sources.
class DefaultStyle : public UIStyle {
public:
    DefaultStyle();
    virtual ~DefaultStyle() {}
};

// Deep violet with pink text.
class PurpleStyle : public UIStyle {
public:
    PurpleStyle();
    virtual ~PurpleStyle() {}
};

// Bright cyan water with magenta rects.
class JellyfishStyle : public UIStyle {
public:
    JellyfishStyle();
    virtual ~JellyfishStyle() {}
};

// Black with blue sources and green rects.
class PsytranceStyle : public UIStyle {
public:
    PsytranceStyle();
    virtual ~PsytranceStyle() {}
};

// Black and white only; the start-up style.
class BlackNWhiteStyle : public UIStyle {
public:
    BlackNWhiteStyle();
    virtual ~BlackNWhiteStyle() {}
};

// Black with slate sources and red borders.
class SlugStyle : public UIStyle {
public:
    SlugStyle();
    virtual ~SlugStyle() {}
};
