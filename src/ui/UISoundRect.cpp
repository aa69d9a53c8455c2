#include "ui/UISoundRect.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/App.h"
#include "app/CanvasView.h"
#include "app/Time.h"
#include "parameters/SoundRectParameters.h"
#include "session/Serializer.h"
#include "sound/SoundRect.h"
#include "ui/UIParameter.h"
#include "ui/UIScreen.h"
#include "ui/UISoundRectPictures.h"
#include "ui/UIStyle.h"
#include "ui/UIWidget.h"

namespace {
// Uniform random number in 0..1 from the process-wide generator, so that a
// seeded run lays the rects out the same way every time.
double RandomUnit()
{
    return static_cast<double>(rand()) / 2147483647.0;
}

// Margins kept free around new rects, and their smallest side, in pixels.
const double PLACEMENT_MARGIN_X_PIXELS = 100.0;
const double PLACEMENT_MARGIN_Y_PIXELS = 50.0;
const double MIN_DIMENSION_PIXELS = 60.0;
// Random extent added to the smallest side of a new rect, in scene units.
const double RANDOM_EXTENT = 0.5;
// Rects pulse on a 4-second cycle; each starts at its own phase.
const double PULSE_RATE = 0.25;
const double PULSE_DEPTH = 0.5;
const double PULSE_PHASE_RANGE = 10.0;
// The selection frame stands this many window pixels outside the border.
const double SELECTION_GAP = 5.0;
// Name placement: inset from the left edge (screen widths) and below the top
// edge (screen heights), and the largest stroke scale.
const double NAME_INSET_X = 0.01;
const double NAME_INSET_Y = 0.03;
const double NAME_MAX_SCALE = 0.1;
// Pie-menu drag sensitivity of every display parameter.
const double PARAM_SENSITIVITY = 6.0;
// Range and contrast changes smaller than this do not rebuild the images.
const double SETTING_EPSILON = 1e-15;
}  // namespace

UISoundRect::UISoundRect(SoundRect* rect, App* app, UIStyle* style, UIScreen* screen)
    : ParameterProvider(SOUND_RECT), _rect(rect), _width(0.0), _height(0.0), _top(0.0), _bot(0.0), _left(0.0),
      _right(0.0), _x(0.0), _y(0.0), _z(0.0), _isSelected(false), _minDim(0.0),
      _startTime(Time::Instance()->GetSeconds()), _orientation(HORIZONTAL), _app(app), _style(style),
      _screen(screen), _name{}, _rectType(WAVEFORM), _colorRange(0.7), _colorContrast(0.99),
      _needUpdateTextures(true), _params{}, _currentParamIdx(NO_PARAMETER),
      _pictures(new UISoundRectPictures(this, rect, app)), _pulseTimeOffset(0.0)
{
    InitParameters();

    const double winWidth = _screen->GetWidth();
    const double marginX = PLACEMENT_MARGIN_X_PIXELS / winWidth;
    const double marginY = PLACEMENT_MARGIN_Y_PIXELS / winWidth;
    _x = marginX + (1.0 - 2.0 * marginX) * RandomUnit();
    _y = marginY + (1.0 - 2.0 * marginY) * RandomUnit();

    _minDim = MIN_DIMENSION_PIXELS / winWidth;
    const double width = _minDim + RANDOM_EXTENT * RandomUnit();
    const double height = _minDim + RANDOM_EXTENT * RandomUnit();
    SetDimensions(width, height);

    _pulseTimeOffset = PULSE_PHASE_RANGE * RandomUnit();
}

UISoundRect::~UISoundRect()
{
    delete _pictures;
    for (Parameter* param : _params)
        delete param;
}

void UISoundRect::InitParameters()
{
    _params[TYPE] = new ParameterSoundRectType(_app, TYPE);
    _params[RANGE] = new ParameterColorRange(_app, RANGE);
    _params[CONTRAST] = new ParameterColorContrast(_app, CONTRAST);
    _params[ORIENTATION] = new ParameterSoundRectOrientation(_app, ORIENTATION);
    for (Parameter* param : _params)
        param->SetSensivity(PARAM_SENSITIVITY);
}

Parameter* UISoundRect::GetParameter(int idx)
{
    if (idx < 0 || idx >= NUM_PARAMS)
        return nullptr;
    return _params[idx];
}

Parameter* UISoundRect::GetCurrentParameter()
{
    return GetParameter(_currentParamIdx);
}

bool UISoundRect::PickParameters(double x, double y)
{
    for (int i = 0; i < GetNumParams(); i++) {
        if (GetParameter(i)->GetUI()->Pick(x, y)) {
            _currentParamIdx = static_cast<ParamIndex>(i);
            return true;
        }
    }
    _currentParamIdx = NO_PARAMETER;
    return false;
}

void UISoundRect::UpdateStyle(UIStyle* style)
{
    _style = style;
    for (int i = 0; i < GetNumParams(); i++)
        GetParameter(i)->GetUI()->UpdateStyle(style);
}

void UISoundRect::SetRectType(RectType type)
{
    if (type != _rectType && _rect != nullptr)
        _rect->ExpectView(type);
    _rectType = type;
}

void UISoundRect::SetColorRange(double range)
{
    if (std::fabs(range - _colorRange) <= SETTING_EPSILON)
        return;
    _colorRange = range;
    _needUpdateTextures = true;
}

void UISoundRect::SetColorContrast(double contrast)
{
    if (std::fabs(contrast - _colorContrast) <= SETTING_EPSILON)
        return;
    _colorContrast = contrast;
    _needUpdateTextures = true;
}

void UISoundRect::SetName(const char* name)
{
    snprintf(_name, sizeof(_name), "%s", name);
}

void UISoundRect::UpdateEdges()
{
    _top = _y + _height / 2.0;
    _bot = _y - _height / 2.0;
    _right = _x + _width / 2.0;
    _left = _x - _width / 2.0;
}

void UISoundRect::Move(double dx, double dy)
{
    _x += dx;
    _y += dy;
    UpdateEdges();
}

void UISoundRect::UpdateRectPosition(double x, double y)
{
    // The pie menu lays the boxes out around the rect wherever it is.
    _x = x;
    _y = y;
    UpdateEdges();
}

void UISoundRect::DragCorner(bool right, bool top, double dx, double dy)
{
    double left = _left, rightEdge = _right, bottom = _bot, topEdge = _top;
    (right ? rightEdge : left) += dx;
    (top ? topEdge : bottom) += dy;
    if (rightEdge - left >= _minDim) {
        _width = rightEdge - left;
        _x = 0.5 * (left + rightEdge);
    }
    if (topEdge - bottom >= _minDim) {
        _height = topEdge - bottom;
        _y = 0.5 * (bottom + topEdge);
    }
    UpdateEdges();
}

void UISoundRect::SetDimensions(double width, double height)
{
    bool changed = false;
    if (width >= _minDim) {
        _width = width;
        changed = true;
    }
    if (height >= _minDim) {
        _height = height;
        changed = true;
    }
    if (changed)
        UpdateEdges();
}

void UISoundRect::ToggleOrientation()
{
    SetDimensions(_height, _width);
}

bool UISoundRect::Pick(double x, double y) const
{
    return _left < x && x < _right && _bot < y && y < _top;
}

bool UISoundRect::GetNormedPosition(double* posX, double* posY, double x, double y, unsigned idx) const
{
    if (!Pick(x, y))
        return false;
    const double u = (x - _left) / _width;
    const double v = (y - _bot) / _height;
    const bool horizontal = _orientation == HORIZONTAL;
    posX[idx] = horizontal ? u : v;
    posY[idx] = horizontal ? v : u;
    return true;
}

void UISoundRect::Draw()
{
    DrawRectangle();
    if (_needUpdateTextures)
        _pictures->MarkImagesStale();
    _needUpdateTextures = false;
    _pictures->Draw(_rectType);
    DrawName();
}

void UISoundRect::EmitCorners(double width, double height, bool closeLoop, const double (*texCoords)[2]) const
{
    const double xs[4] = {_left, _right, _right, _left};
    const double ys[4] = {_top, _top, _bot, _bot};
    const int numVertices = closeLoop ? 5 : 4;
    for (int k = 0; k < numVertices; k++) {
        if (texCoords != nullptr)
            glTexCoord2d(texCoords[k % 4][0], texCoords[k % 4][1]);
        glVertex2d(xs[k % 4] * width, ys[k % 4] * height);
    }
}

void UISoundRect::DrawRectangle()
{
    const double width = _screen->GetWidth();
    const double height = _screen->GetHeight();
    const double t = Time::Instance()->GetSeconds();
    const double pulse = 1.0 + PULSE_DEPTH * std::sin(2.0 * M_PI * (PULSE_RATE * t + _pulseTimeOffset));

    double color[4];
    _style->GetSoundRectColor(color);
    glColor4d(color[0] * pulse, color[1] * pulse, color[2] * pulse, color[3] * pulse);
    glBegin(GL_QUADS);
    EmitCorners(width, height, false);
    glEnd();

    if (_isSelected)
        _style->GetSoundRectBorderColorSelected(color);
    else
        _style->GetSoundRectBorderColor(color);
    glColor4dv(color);
    glLineWidth(static_cast<float>(_style->GetSoundRectLineWidth()));
    glBegin(GL_LINE_STRIP);
    EmitCorners(width, height, true);
    glEnd();
    if (_isSelected)
        DrawSelectionFrame();
}

void UISoundRect::DrawSelectionFrame() const
{
    // A few pixels outside the border, so that the border and the picture stay as they are.
    const double gap = SELECTION_GAP / _app->GetView()->GetZoom();
    const double left = _left * _screen->GetWidth() - gap, right = _right * _screen->GetWidth() + gap;
    const double bottom = _bot * _screen->GetHeight() - gap, top = _top * _screen->GetHeight() + gap;
    const double corners[4][2] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    UIWidget::OutlineSelection(_style, corners, 4);
}

void UISoundRect::DrawName()
{
    const double width = _screen->GetWidth();
    const double height = _screen->GetHeight();
    double color[4];
    if (_isSelected)
        _style->GetSoundRectNameColorSelected(color);
    else
        _style->GetSoundRectNameColor(color);
    glLineWidth(1.0f);
    glColor4dv(color);

    // Long names shrink so that they never cover more than half the rect.
    const double nameLength = glutStrokeLength(GLUT_STROKE_MONO_ROMAN, reinterpret_cast<const unsigned char*>(_name));
    const double fit = std::min(1.0, width / nameLength);
    const double scale = std::min(NAME_MAX_SCALE, 0.5 * fit * (_width - NAME_INSET_X));

    // The string routine measures y from the top of the window.
    const double baselineY = (_top - NAME_INSET_Y) * height;
    _app->GetView()->DrawString2((_left + NAME_INSET_X) * width, height - baselineY, 0.0, _name, scale);
}

void UISoundRect::Serialize(Serializer* serializer)
{
    for (double value : {_width, _height, _top, _bot, _left, _right, _x, _y, _z})
        serializer->PutDouble(value);
    serializer->PutBool(_isSelected);
    serializer->PutDouble(_minDim);
    serializer->PutDouble(_startTime);
    serializer->PutInt(_orientation);
    SerializeParameters(serializer);
    serializer->PutInt(_currentParamIdx);
    serializer->PutInt(_rectType);
    serializer->PutDouble(_colorRange);
    serializer->PutDouble(_colorContrast);
}

void UISoundRect::UnSerialize(Serializer* serializer)
{
    double width = _width, height = _height;
    serializer->GetDoubleIn(&width, 0.0, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&height, 0.0, Serializer::MAX_SCENE_EXTENT);
    // The edges follow from the centre and size.
    serializer->Skip(4 * sizeof(double));
    serializer->GetDoubleIn(&_x, -Serializer::MAX_SCENE_EXTENT, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&_y, -Serializer::MAX_SCENE_EXTENT, Serializer::MAX_SCENE_EXTENT);
    SetDimensions(width, height);
    UpdateEdges();
    // Depth, then the selection, which the application restores itself.
    serializer->Skip(sizeof(double) + sizeof(int));
    // Smallest size and pulse start: this view's own.
    serializer->Skip(2 * sizeof(double));
    int orientation = _orientation;
    if (serializer->GetInt(&orientation) && (orientation == HORIZONTAL || orientation == VERTICAL))
        _orientation = Orientation(orientation);
    UnSerializeParameters(serializer);
    int paramIdx = _currentParamIdx;
    if (serializer->GetInt(&paramIdx))
        _currentParamIdx = (paramIdx >= 0 && paramIdx < GetNumParams()) ? ParamIndex(paramIdx) : NO_PARAMETER;
    int type = _rectType;
    if (serializer->GetInt(&type) && type >= WAVEFORM && type <= CHROMAGRAM)
        SetRectType(RectType(type));
    double range = _colorRange, contrast = _colorContrast;
    serializer->GetDoubleIn(&range, _params[RANGE]->GetMinValue(), _params[RANGE]->GetMaxValue());
    serializer->GetDoubleIn(&contrast, _params[CONTRAST]->GetMinValue(), _params[CONTRAST]->GetMaxValue());
    SetColorRange(range);
    SetColorContrast(contrast);
}
