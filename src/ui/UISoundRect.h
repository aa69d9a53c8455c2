#pragma once

#include "parameters/ParameterProvider.h"

class App;
class Parameter;
class Serializer;
class SoundRect;
class UIScreen;
class UISoundRectPictures;
class UIStyle;

// The on-screen body of a sound rect: a rectangle on the scene (x in window
// widths, y in window heights, y up) that shows one sound and tells sources
// where a scene point falls inside that sound. It owns the rect's display
// parameters, which the pie menu edits like those of a source, and the
// pictures it draws inside its edges.
class UISoundRect : public ParameterProvider {
public:
    enum RectType { WAVEFORM = 0, SPECTROGRAM = 1, CHROMAGRAM = 2 };
    enum Orientation { HORIZONTAL = 0, VERTICAL = 1 };
    enum ParamIndex { NO_PARAMETER = -1, TYPE = 0, RANGE = 1, CONTRAST = 2, ORIENTATION = 3, NUM_PARAMS = 4 };

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
    // Moves the rect by a step.
    void Move(double dx, double dy);
    // Moves the rect's centre to (x, y).
    void UpdateRectPosition(double x, double y);
    void SetDimensions(double width, double height);
    // Moves one corner by (dx, dy) scene units, the right or left one, the
    // top or bottom one; the opposite corner stays. An edge that would make
    // the rect smaller than its smallest size stays too.
    void DragCorner(bool right, bool top, double dx, double dy);
    void ToggleOrientation();
    bool Pick(double x, double y) const;
    bool GetSelectState() const { return _isSelected; }
    void SetSelectState(bool selected) { _isSelected = selected; }
    // The parameter boxes follow the new style too.
    void UpdateStyle(UIStyle* style);

    RectType GetRectType() const { return _rectType; }
    // The voices over the rect get the engines of the new view made for them.
    void SetRectType(RectType type);
    Orientation GetOrientation() const { return _orientation; }
    void SetOrientation(Orientation orientation) { _orientation = orientation; }
    double GetColorRange() const { return _colorRange; }
    // Values within 1e-15 of the current one keep the images as they are.
    void SetColorRange(double range);
    double GetColorContrast() const { return _colorContrast; }
    void SetColorContrast(double contrast);

    Parameter* GetCurrentParameter() override;
    // Null for NO_PARAMETER and any other index outside the array.
    Parameter* GetParameter(int idx) override;
    int GetNumParams() override { return NUM_PARAMS; }
    double GetUIX() override { return _x; }
    double GetUIY() override { return _y; }
    double GetUIRadius() override { return 0.5 * _height; }
    // (x, y) in window pixels (y up); the first parameter box hit becomes current.
    bool PickParameters(double x, double y);
    void ResetCurrentParameterIndex() { _currentParamIdx = NO_PARAMETER; }

    // Writes the position along the time axis to posX[idx] and across it to
    // posY[idx], both normalised; false (nothing written) when (x, y) is not inside.
    virtual bool GetNormedPosition(double* posX, double* posY, double x, double y, unsigned idx) const;

    virtual void Draw();

    // Geometry, selection, orientation, parameters and display settings.
    void Serialize(Serializer* serializer);
    // Every value is held to what the matching setter accepts; derived
    // geometry (edges, smallest size) and the pulse are the view's own.
    void UnSerialize(Serializer* serializer);

    // The waveform, spectrogram and chromagram the rect shows; the loader
    // prepares them beside the analysis.
    UISoundRectPictures* GetPictures() const { return _pictures; }
    // The edges in scene units, and what the pictures are drawn with.
    double GetLeft() const { return _left; }
    double GetRight() const { return _right; }
    double GetTop() const { return _top; }
    double GetBottom() const { return _bot; }
    UIStyle* GetStyle() const { return _style; }
    UIScreen* GetScreen() const { return _screen; }
    // Emits the four corners in pixels, clockwise from top left; closeLoop
    // repeats the first to close an outline. With texCoords, each corner
    // gets its texture coordinate first.
    void EmitCorners(double width, double height, bool closeLoop, const double (*texCoords)[2] = nullptr) const;

protected:
    void InitParameters();
    void UpdateEdges();
    void DrawRectangle();
    void DrawSelectionFrame() const;
    void DrawName();

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
    // The display settings in force; the range and contrast parameters read them back.
    double _colorRange;
    double _colorContrast;
    // Set when range or contrast change: the spectrogram and chromagram images need rebuilding.
    bool _needUpdateTextures;
    Parameter* _params[NUM_PARAMS];
    ParamIndex _currentParamIdx;
    UISoundRectPictures* _pictures;
    double _pulseTimeOffset;
};
