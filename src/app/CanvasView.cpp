#include "app/CanvasView.h"

#include <GL/freeglut.h>

#include "session/Serializer.h"

namespace {

// The windowed mode's share of the display on each side.
const double WINDOWED_SHARE = 0.6;

}  // namespace

CanvasView::CanvasView()
    : _zoom(1.0), _xMoveSpeed(10), _yMoveSpeed(10), _screenWidth(0), _screenHeight(0), _winWidth(0), _winHeight(0),
      _isFullScreen(false)
{
}

CanvasView::~CanvasView()
{
}

void CanvasView::ReadScreenSize()
{
    _screenWidth = glutGet(GLUT_SCREEN_WIDTH);
    _screenHeight = glutGet(GLUT_SCREEN_HEIGHT);
    SetWinSize(int(WINDOWED_SHARE * _screenWidth), int(WINDOWED_SHARE * _screenHeight));
}

void CanvasView::SetWinSize(int w, int h)
{
    _winWidth = w;
    _winHeight = h;
}

void CanvasView::TranslatePositionX(double pixels)
{
    _position._x += pixels / _winWidth;
}

void CanvasView::TranslatePositionY(double pixels)
{
    _position._y += pixels / _winHeight;
}

void CanvasView::ApplyZoom(double factor, double cx, double cy)
{
    double oldZoom = _zoom;
    if (oldZoom * factor < MIN_ZOOM)
        return;
    _zoom = oldZoom * factor;
    // Keep the canvas point under (cx, cy) where it is on the screen.
    _position._x = _zoom * (_position._x + cx / _winWidth) / oldZoom - cx / _winWidth;
    _position._y = _zoom * (_position._y + cy / _winHeight) / oldZoom - cy / _winHeight;
}

void CanvasView::SetWindowedMode()
{
    SetWinSize(int(WINDOWED_SHARE * _screenWidth), int(WINDOWED_SHARE * _screenHeight));
    glutReshapeWindow(_winWidth, _winHeight);
    glutPositionWindow(_screenWidth / 2 - _winWidth / 2, _screenHeight / 2 - _winHeight / 2);
}

void CanvasView::ToggleFullScreen()
{
    if (_isFullScreen) {
        SetWindowedMode();
        _isFullScreen = false;
    } else {
        glutFullScreen();
        _isFullScreen = true;
    }
}

void CanvasView::Reshape(int w, int h)
{
    glViewport(0, 0, w, h);
    SetWinSize(w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, _winWidth, 0, _winHeight, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ApplyModelViewOffset();
}

void CanvasView::ApplyViewTransform() const
{
    ApplyModelViewOffset();
    glScalef(_zoom, _zoom, 1);
}

void CanvasView::ApplyModelViewOffset() const
{
    glTranslatef(-_winWidth * _position._x, -_winHeight * _position._y, -_position._z);
}

void CanvasView::DrawString(double x, double y, double z, const char* text, double scale) const
{
    DrawStroked(x, y, z, text, 0.001 * scale, 0.001);
}

void CanvasView::DrawString2(double x, double y, double z, const char* text, double scale) const
{
    DrawStroked(x, y, z, text, scale, 1);
}

void CanvasView::DrawStroked(double x, double y, double z, const char* text, double scaleXY, double scaleZ) const
{
    glPushMatrix();
    glTranslatef(x, _winHeight - y, z);
    glScalef(scaleXY, scaleXY, scaleZ);
    for (const char* c = text; *c; c++)
        glutStrokeCharacter(GLUT_STROKE_MONO_ROMAN, *c);
    glPopMatrix();
}

void CanvasView::SerializeOffsetAndZoom(Serializer* serializer) const
{
    serializer->PutDouble(_position._x);
    serializer->PutDouble(_position._y);
    serializer->PutDouble(_zoom);
}

void CanvasView::SerializeWindow(Serializer* serializer) const
{
    serializer->PutInt(_winWidth);
    serializer->PutInt(_winHeight);
    serializer->PutBool(_isFullScreen);
}

void CanvasView::UnSerializeOffsetAndZoom(Serializer* serializer)
{
    serializer->GetDoubleIn(&_position._x, -Serializer::MAX_SCENE_EXTENT, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&_position._y, -Serializer::MAX_SCENE_EXTENT, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&_zoom, MIN_ZOOM, Serializer::MAX_SCENE_EXTENT);
}
