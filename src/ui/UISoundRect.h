#pragma once

#include <vector>

class App;
class SoundRect;
class UIScreen;
class UIStyle;
class WaveformPyramid;

// The on-screen body of a sound rect: a rectangle on the scene (x in window
// widths, y in window heights, y up) that shows one sound and tells sources
// where a scene point falls inside that sound.
class UISoundRect {
public:
    enum RectType { WAVEFORM = 0, SPECTROGRAM = 1, CHROMAGRAM = 2 };
    enum Orientation { HORIZONTAL = 0, VERTICAL = 1 };

    UISoundRect(SoundRect* rect, App* app, UIStyle* style, UIScreen* screen);
    virtual ~UISoundRect();
    UISoundRect(const UISoundRect&) = delete;
    UISoundRect& operator=(const UISoundRect&) = delete;

    void SetName(const char* name);
    const char* GetName() const { return _name; }

    double GetX() const { return _x; }
    double GetY() const { return _y; }
    double GetWidth() const { return _width; }
    double GetHeight() const { return _height; }
    void Move(double dx, double dy);
    void UpdateRectPosition(double x, double y);
    void SetDimensions(double width, double height);
    void ToggleOrientation();
    bool Pick(double x, double y) const;
    bool GetSelectState() const { return _isSelected; }
    void SetSelectState(bool selected) { _isSelected = selected; }
    void UpdateStyle(UIStyle* style) { _style = style; }

    RectType GetRectType() const { return _rectType; }
    void SetRectType(RectType type) { _rectType = type; }
    Orientation GetOrientation() const { return _orientation; }
    void SetOrientation(Orientation orientation) { _orientation = orientation; }

    // Writes the position along the time axis to posX[idx] and across it to
    // posY[idx], both normalised; false (nothing written) when (x, y) is not inside.
    bool GetNormedPosition(double* posX, double* posY, double x, double y, unsigned idx) const;

    void Draw();

private:
    void UpdateEdges();
    void DrawRectangle();
    void UpdatePyramid();
    void DrawWaveform();
    void DrawName();
    // Emits the four corners in pixels, clockwise from top left; closeLoop
    // repeats the first to close an outline.
    void EmitCorners(double width, double height, bool closeLoop) const;

    SoundRect* _rect;
    double _width, _height;
    double _top, _bot, _left, _right;
    double _x, _y, _z;
    bool _isSelected;
    double _minDim;
    double _startTime;
    Orientation _orientation;
    App* _app;
    UIStyle* _style;
    UIScreen* _screen;
    char _name[255];
    RectType _rectType;
    bool _needUpdatePyramid;
    WaveformPyramid* _pyramids[2];
    // The values of the last drawn waveform; kept so that drawing a frame
    // reuses its storage.
    std::vector<float> _waveValues;
    double _pulseTimeOffset;
};
