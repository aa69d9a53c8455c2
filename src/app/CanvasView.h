#pragma once

#include <algorithm>

#include "app/Pt3d.h"

class Serializer;

// How the canvas is seen: the pan offset, the zoom, the window and screen
// sizes and the full-screen state, set and read by the toolkit thread.
class CanvasView {
public:
    CanvasView();
    virtual ~CanvasView();

    // Asks the window system for the display size and sizes the window to
    // a part of it; before the window is made.
    void ReadScreenSize();
    // Records the window size, as every reshape does; views read it through UIScreen.
    void SetWinSize(int w, int h);
    int GetWinWidth() const { return _winWidth; }
    int GetWinHeight() const { return _winHeight; }
    // The longer side of the display in pixels; 0 before the window system is asked.
    int GetLargestScreenSide() const { return (int)std::max(_screenWidth, _screenHeight); }

    // View offset (pan) in window pixels, and zoom.
    void TranslatePositionX(double pixels);
    void TranslatePositionY(double pixels);
    double GetPositionX() const { return _position._x * _winWidth; }
    double GetPositionY() const { return _position._y * _winHeight; }
    double GetZoom() const { return _zoom; }
    double GetXMoveSpeed() const { return _xMoveSpeed; }
    double GetYMoveSpeed() const { return _yMoveSpeed; }
    // Zooms by factor about (cx, cy), window pixels with y up; never below MIN_ZOOM.
    void ApplyZoom(double factor, double cx, double cy);

    void ToggleFullScreen();
    void SetWindowedMode();
    // The projection for a window of w by h pixels, then the view offset.
    void Reshape(int w, int h);
    // The model-view transform of a frame: the offset, then the zoom.
    void ApplyViewTransform() const;

    // Stroked text at window pixels with y down; DrawString's scale is in
    // thousandths of a stroke unit, DrawString2's in stroke units.
    void DrawString(double x, double y, double z, const char* text, double scale) const;
    void DrawString2(double x, double y, double z, const char* text, double scale) const;

    // The offset and zoom of a session, and the window size it was saved in.
    void SerializeOffsetAndZoom(Serializer* serializer) const;
    void SerializeWindow(Serializer* serializer) const;
    // Values out of range are refused one by one.
    void UnSerializeOffsetAndZoom(Serializer* serializer);

    static constexpr double MIN_ZOOM = 0.25;

private:
    void ApplyModelViewOffset() const;
    void DrawStroked(double x, double y, double z, const char* text, double scaleXY, double scaleZ) const;

    Pt3d _position;
    double _zoom;
    double _xMoveSpeed, _yMoveSpeed;
    unsigned int _screenWidth, _screenHeight;
    int _winWidth, _winHeight;
    bool _isFullScreen;
};
