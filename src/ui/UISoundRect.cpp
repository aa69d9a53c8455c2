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
#include "app/Time.h"
#include "parameters/SoundRectParameters.h"
#include "session/Serializer.h"
#include "sound/SoundRect.h"
#include "spectral/Scale.h"
#include "spectral/Spectrogram.h"
#include "spectral/WaveformPyramid.h"
#include "ui/UIParameter.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"

namespace {
// Uniform random number in 0..1 from the process-wide generator, so that a
// seeded run lays the rects out the same way every time.
double RandomUnit()
{
    return static_cast<double>(rand()) / 2147483647.0;
}

// Levels above the full resolution: enough to draw a long sound zoomed out
// with a few thousand values at most.
const int PYRAMID_MAX_LEVEL = 8;
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
// Drawn waveform points per on-screen pixel of the rect's length.
const int WAVE_POINTS_PER_PIXEL = 4;
// Name placement: inset from the left edge (screen widths) and below the top
// edge (screen heights), and the largest stroke scale.
const double NAME_INSET_X = 0.01;
const double NAME_INSET_Y = 0.03;
const double NAME_MAX_SCALE = 0.1;
// Pie-menu drag sensitivity of every display parameter.
const double PARAM_SENSITIVITY = 6.0;
// Range and contrast changes smaller than this do not rebuild the images.
const double SETTING_EPSILON = 1e-15;

// Bright texels stay translucent so the rect's pulsing fill shows through.
const double BRIGHT_LEVEL = 0.7;
const unsigned char BRIGHT_ALPHA = 178;
const int TEXEL_BYTES = 4;
// Rows of an image texture at most: a screen never shows more of a rect,
// and the texture stays quick to build and small to keep.
const size_t MAX_TEXTURE_ROWS = 4096;
// Texture coordinates of the corners, clockwise from top left: s runs
// across the bins, t along the analysis columns (time).
const double TEXTURE_COORDS[2][4][2] = {
    // Horizontal: time left to right, frequency upward.
    {{1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.0, 0.0}},
    // Vertical: time upward, frequency to the right.
    {{0.0, 1.0}, {1.0, 1.0}, {1.0, 0.0}, {0.0, 0.0}},
};

// Grey RGBA texel of one display level (its decibels normalised between
// -50 dB and full scale), scaled by range and shaped by the contrast curve.
void LevelToTexel(double level, double range, double contrast, unsigned char* texel)
{
    const double shaped = std::min(1.0, Scale::Sigmoid(range * level, contrast));
    const unsigned char grey = static_cast<unsigned char>(std::floor(255.0 * shaped));
    texel[0] = texel[1] = texel[2] = grey;
    texel[3] = shaped < BRIGHT_LEVEL ? grey : BRIGHT_ALPHA;
}
}  // namespace

UISoundRect::UISoundRect(SoundRect* rect, App* app, UIStyle* style, UIScreen* screen)
    : ParameterProvider(SOUND_RECT), _rect(rect), _width(0.0), _height(0.0), _top(0.0), _bot(0.0), _left(0.0),
      _right(0.0), _x(0.0), _y(0.0), _z(0.0), _isSelected(false), _minDim(0.0),
      _startTime(Time::Instance()->GetSeconds()), _orientation(HORIZONTAL), _app(app), _style(style),
      _screen(screen), _name{}, _rectType(WAVEFORM), _colorRange(0.7), _colorContrast(0.99), _needUpdatePyramid(true),
      _needUpdateTextures(true), _spectroTexStale(true), _chromaTexStale(true), _spectroTexId(-1),
      _chromaTexId(-1), _params{}, _currentParamIdx(NO_PARAMETER), _pyramids{nullptr, nullptr}, _waveValuesCount(-1),
      _pulseTimeOffset(0.0)
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

    _pyramids[0] = new WaveformPyramid(PYRAMID_MAX_LEVEL);
    _pyramids[1] = new WaveformPyramid(PYRAMID_MAX_LEVEL);
    _pulseTimeOffset = PULSE_PHASE_RANGE * RandomUnit();
}

UISoundRect::~UISoundRect()
{
    delete _pyramids[0];
    delete _pyramids[1];
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
    for (int i = 0; i < NUM_PARAMS; i++) {
        if (_params[i]->GetUI()->Pick(x, y)) {
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
    for (Parameter* param : _params)
        param->GetUI()->UpdateStyle(style);
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
    const double dx = x - _x;
    const double dy = y - _y;
    _x = x;
    _y = y;
    UpdateEdges();
    // The boxes live in box space, whose y axis points down.
    for (Parameter* param : _params) {
        param->GetUI()->TranslateX(dx);
        param->GetUI()->TranslateY(-dy);
    }
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
    PreparePyramid();
    UpdateTextures();
    switch (_rectType) {
    case WAVEFORM:
        DrawWaveform();
        break;
    case SPECTROGRAM:
        DrawTexture(_spectroTexId);
        break;
    case CHROMAGRAM:
        DrawTexture(_chromaTexId);
        break;
    }
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
}

void UISoundRect::PreparePyramid()
{
    if (!_needUpdatePyramid)
        return;
    int nFrames = 0;
    int nChans = 0;
    const std::vector<float>* samples = _rect->GetSamples(&nFrames, &nChans);
    // Channel 0 is read in the sound itself, which lives as long as the rect.
    _pyramids[0]->SetChannel(*samples, nChans, 0);
    _waveValuesCount = -1;
    _needUpdatePyramid = false;
}

void UISoundRect::DrawWaveform()
{
    const double width = _screen->GetWidth();
    const double height = _screen->GetHeight();
    const double length = _orientation == HORIZONTAL ? _width : _height;
    const long numValues = WAVE_POINTS_PER_PIXEL * static_cast<long>(_app->GetZoom() * width * length);

    double color[4];
    _style->GetWaveColor(color);
    glLineWidth(static_cast<float>(_style->GetWaveLineWidth()));
    glColor4dv(color);
    glPointSize(static_cast<float>(_style->GetWavePointSize()));

    // The whole sound at the same length draws the same points: they are
    // asked of the pyramid again only when the rect's on-screen length changes.
    if (numValues != _waveValuesCount) {
        _pyramids[0]->GetValues(0.0f, 1.0f, numValues, &_waveValues);
        _waveValuesCount = numValues;
    }
    const size_t count = _waveValues.size();
    if (count < 2)
        return;

    glPushMatrix();
    glTranslated(_x * width, _y * height, 0.0);
    glBegin(GL_LINE_STRIP);
    for (size_t i = 0; i < count; i++) {
        const double t = static_cast<double>(i) / static_cast<double>(count - 1) - 0.5;
        const double s = 0.5 * _waveValues[i];
        if (_orientation == HORIZONTAL)
            glVertex2d(_width * t * width, _height * s * height);
        else
            glVertex2d(_width * s * width, _height * t * height);
    }
    glEnd();
    glPopMatrix();
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
    _app->DrawString2((_left + NAME_INSET_X) * width, height - baselineY, 0.0, _name, scale);
}

void UISoundRect::UpdateTextures()
{
    if (_needUpdateTextures) {
        // Both images follow range and contrast, so they are always rebuilt together.
        _spectroTexStale = true;
        _chromaTexStale = true;
        _needUpdateTextures = false;
    }
    if (_spectroTexStale && _app->MayBuildTexture()) {
        DeleteTexture(&_spectroTexId);
        CreateSpectroTexture();
        _spectroTexStale = false;
    }
    if (_chromaTexStale && _app->MayBuildTexture()) {
        DeleteTexture(&_chromaTexId);
        CreateChromaTexture();
        _chromaTexStale = false;
    }
}

void UISoundRect::CreateSpectroTexture()
{
    _spectroTexId = CreateImageTexture(_rect->GetSpectrogram(0));
}

void UISoundRect::CreateChromaTexture()
{
    _chromaTexId = CreateImageTexture(_rect->GetChromagram(0));
}

int UISoundRect::CreateImageTexture(const Spectrogram* spectro)
{
    if (spectro == nullptr || spectro->GetNumCols() <= 0 || spectro->GetFFTSize() < 2 ||
        spectro->GetImageLevels() == nullptr)
        return -1;
    glEnable(GL_TEXTURE_2D);
    GLuint texName = 0;
    glGenTextures(1, &texName);
    CreateTexture(spectro, static_cast<int>(texName));
    glDisable(GL_TEXTURE_2D);
    return static_cast<int>(texName);
}

void UISoundRect::CreateTexture(const Spectrogram* spectro, int texId)
{
    // Held only until the upload: the texture keeps its own copy.
    std::vector<unsigned char> texels;
    BuildTexels(spectro, &texels);
    const int numBins = spectro->GetFFTSize() / 2;
    const int numRows = static_cast<int>(texels.size() / (TEXEL_BYTES * numBins));

    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texId));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Also rescales sizes that are not powers of two. The texels are grey,
    // so the texture keeps one grey and one alpha byte each: half the
    // memory, drawn the same.
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_LUMINANCE8_ALPHA8, numBins, numRows, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
}

void UISoundRect::DeleteTexture(int* texId)
{
    if (*texId < 0)
        return;
    const GLuint texName = static_cast<GLuint>(*texId);
    glDeleteTextures(1, &texName);
    *texId = -1;
}

void UISoundRect::BuildTexels(const Spectrogram* spectro, std::vector<unsigned char>* texels) const
{
    const size_t numBins = std::max(0, spectro->GetFFTSize() / 2);
    const size_t numCols = static_cast<size_t>(std::max(0, spectro->GetNumCols()));
    const uint8_t* levels = spectro->GetImageLevels();
    if (levels == nullptr || numBins == 0 || numCols == 0) {
        texels->clear();
        return;
    }
    // Every texel is one of 256 greys: shape each level once.
    unsigned char palette[Spectrogram::NUM_LEVELS][TEXEL_BYTES];
    for (int q = 0; q < Spectrogram::NUM_LEVELS; q++)
        LevelToTexel(static_cast<double>(q) / (Spectrogram::NUM_LEVELS - 1), _colorRange, _colorContrast, palette[q]);
    // A long sound's columns are pooled into at most MAX_TEXTURE_ROWS rows,
    // each showing the loudest of its columns, so that transients stay.
    const size_t numRows = std::min(numCols, MAX_TEXTURE_ROWS);
    texels->resize(TEXEL_BYTES * numBins * numRows);
    std::vector<uint8_t> row(numBins);
    for (size_t r = 0; r < numRows; r++) {
        const size_t first = r * numCols / numRows;
        const size_t end = std::max(first + 1, (r + 1) * numCols / numRows);
        std::copy_n(levels + first * numBins, numBins, row.begin());
        for (size_t c = first + 1; c < end; c++) {
            const uint8_t* col = levels + c * numBins;
            for (size_t i = 0; i < numBins; i++)
                row[i] = std::max(row[i], col[i]);
        }
        unsigned char* out = texels->data() + TEXEL_BYTES * numBins * r;
        for (size_t i = 0; i < numBins; i++)
            std::memcpy(out + TEXEL_BYTES * i, palette[row[i]], TEXEL_BYTES);
    }
}

void UISoundRect::DrawTexture(int texId) const
{
    if (texId < 0)
        return;
    glColor4d(1.0, 1.0, 1.0, 1.0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texId));
    glBegin(GL_QUADS);
    EmitCorners(_screen->GetWidth(), _screen->GetHeight(), false, TEXTURE_COORDS[_orientation]);
    glEnd();
    glDisable(GL_TEXTURE_2D);
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
        _currentParamIdx = (paramIdx >= 0 && paramIdx < NUM_PARAMS) ? ParamIndex(paramIdx) : NO_PARAMETER;
    int type = _rectType;
    if (serializer->GetInt(&type) && type >= WAVEFORM && type <= CHROMAGRAM)
        SetRectType(RectType(type));
    double range = _colorRange, contrast = _colorContrast;
    serializer->GetDoubleIn(&range, _params[RANGE]->GetMinValue(), _params[RANGE]->GetMaxValue());
    serializer->GetDoubleIn(&contrast, _params[CONTRAST]->GetMinValue(), _params[CONTRAST]->GetMaxValue());
    SetColorRange(range);
    SetColorContrast(contrast);
}
