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
#include "spectral/Scale.h"
#include "spectral/Spectrogram.h"
#include "spectral/WaveformEnvelope.h"
#include "ui/UIParameter.h"
#include "ui/UIScreen.h"
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
// From this many samples per pixel on, the waveform is drawn as the span of
// each pixel's samples rather than as a line through them.
const double BAND_SAMPLES_PER_PIXEL = 2.0;
// A band is never thinner than a pixel, so that silence still shows as a line.
const double MIN_BAND_PIXELS = 1.0;
// The most strokes of the line a band column stands for: about as many as
// cross each pixel of a dense waveform.
const double BAND_MAX_STROKES = 4.0;
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
// Grey and alpha: the texels are grey, and the texture keeps them so.
const int TEXEL_BYTES = 2;
// Rows of an image texture: the power of two that covers the screen's longer
// side, within these bounds, so that it stays quick to upload and small to keep.
const size_t MIN_TEXTURE_ROWS = 1024;
const size_t MAX_TEXTURE_ROWS = 4096;
// Texture coordinates of the corners, clockwise from top left: s runs
// across the bins, t along the analysis columns (time).
const double TEXTURE_COORDS[2][4][2] = {
    // Horizontal: time left to right, frequency upward.
    {{1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.0, 0.0}},
    // Vertical: time upward, frequency to the right.
    {{0.0, 1.0}, {1.0, 1.0}, {1.0, 0.0}, {0.0, 0.0}},
};

// Grey and alpha texel of one display level (its decibels normalised between
// -50 dB and full scale), scaled by range and shaped by the contrast curve.
void LevelToTexel(double level, double range, double contrast, unsigned char* texel)
{
    const double shaped = std::min(1.0, Scale::Sigmoid(range * level, contrast));
    const unsigned char grey = static_cast<unsigned char>(std::floor(255.0 * shaped));
    texel[0] = grey;
    texel[1] = shaped < BRIGHT_LEVEL ? grey : BRIGHT_ALPHA;
}

// Box average of in (width x height texels) into out, half the size each way
// (a side of one stays one); the last row or column of an odd side counts twice.
void HalveTexels(const std::vector<unsigned char>& in, int width, int height, std::vector<unsigned char>* out)
{
    const int w = std::max(1, width / 2), h = std::max(1, height / 2);
    out->resize(static_cast<size_t>(TEXEL_BYTES) * w * h);
    for (int y = 0; y < h; y++) {
        const unsigned char* row0 = in.data() + static_cast<size_t>(TEXEL_BYTES) * width * std::min(2 * y, height - 1);
        const unsigned char* row1 =
            in.data() + static_cast<size_t>(TEXEL_BYTES) * width * std::min(2 * y + 1, height - 1);
        unsigned char* dst = out->data() + static_cast<size_t>(TEXEL_BYTES) * w * y;
        for (int x = 0; x < w; x++) {
            const int x0 = TEXEL_BYTES * std::min(2 * x, width - 1);
            const int x1 = TEXEL_BYTES * std::min(2 * x + 1, width - 1);
            for (int b = 0; b < TEXEL_BYTES; b++)
                dst[TEXEL_BYTES * x + b] =
                    static_cast<unsigned char>((row0[x0 + b] + row0[x1 + b] + row1[x0 + b] + row1[x1 + b] + 2) / 4);
        }
    }
}
}  // namespace

UISoundRect::UISoundRect(SoundRect* rect, App* app, UIStyle* style, UIScreen* screen)
    : ParameterProvider(SOUND_RECT), _rect(rect), _width(0.0), _height(0.0), _top(0.0), _bot(0.0), _left(0.0),
      _right(0.0), _x(0.0), _y(0.0), _z(0.0), _isSelected(false), _minDim(0.0),
      _startTime(Time::Instance()->GetSeconds()), _orientation(HORIZONTAL), _app(app), _style(style),
      _screen(screen), _name{}, _rectType(WAVEFORM), _colorRange(0.7), _colorContrast(0.99), _waveformPrepared(false),
      _imagesPrepared(false), _needUpdateTextures(true), _spectroTexStale(true), _chromaTexStale(true),
      _spectroTexId(-1), _chromaTexId(-1), _params{}, _currentParamIdx(NO_PARAMETER), _envelope(new WaveformEnvelope()),
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

    _pulseTimeOffset = PULSE_PHASE_RANGE * RandomUnit();
}

UISoundRect::~UISoundRect()
{
    delete _envelope;
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
    PrepareWaveform();
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

const double (*UISoundRect::CornerTexCoords(Orientation orientation))[2]
{
    return TEXTURE_COORDS[orientation];
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

void UISoundRect::PrepareWaveform()
{
    if (_waveformPrepared)
        return;
    int nFrames = 0;
    int nChans = 0;
    const std::vector<float>* samples = _rect->GetSamples(&nFrames, &nChans);
    // Channel 0 is read in the sound itself, which lives as long as the rect.
    if (samples != nullptr)
        _envelope->SetChannel(*samples, nChans, 0);
    _waveformPrepared = true;
}

UISoundRect::WaveGeometry UISoundRect::MeasureWaveGeometry() const
{
    // The canvas is only ever shifted and scaled, so the model-view matrix
    // maps scene pixels to window pixels one axis at a time.
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double width = _screen->GetWidth();
    const double height = _screen->GetHeight();
    WaveGeometry g;
    g.horizontal = _orientation == HORIZONTAL;
    if (g.horizontal) {
        g.timeStart = m[0] * _left * width + m[12];
        g.timeEnd = m[0] * _right * width + m[12];
        g.windowEnd = viewport[2];
        g.centre = m[5] * _y * height + m[13];
        g.fullScale = 0.5 * m[5] * _height * height;
    } else {
        g.timeStart = m[5] * _bot * height + m[13];
        g.timeEnd = m[5] * _top * height + m[13];
        g.windowEnd = viewport[3];
        g.centre = m[0] * _x * width + m[12];
        g.fullScale = 0.5 * m[0] * _width * width;
    }
    return g;
}

void UISoundRect::BuildWaveVertices(const WaveGeometry& g, std::vector<float>* vertices, bool* band)
{
    vertices->clear();
    *band = false;
    const long numSamples = _envelope->GetNumSamples();
    const double length = g.timeEnd - g.timeStart;
    const double firstPixel = std::max(std::floor(g.timeStart), 0.0);
    const double endPixel = std::min(std::ceil(g.timeEnd), g.windowEnd);
    if (numSamples < 2 || length <= 0.0 || endPixel <= firstPixel)
        return;
    // Sample i lies at timeStart + i * pixelsPerSample, the last one at timeEnd.
    const double samplesPerPixel = static_cast<double>(numSamples - 1) / length;
    auto emit = [&](double along, double value) {
        const float across = static_cast<float>(g.centre + value * g.fullScale);
        vertices->push_back(g.horizontal ? static_cast<float>(along) : across);
        vertices->push_back(g.horizontal ? across : static_cast<float>(along));
    };
    if (samplesPerPixel < BAND_SAMPLES_PER_PIXEL) {
        const long first = std::max(0L, static_cast<long>(std::floor((firstPixel - g.timeStart) * samplesPerPixel)));
        const long last =
            std::min(numSamples - 1, static_cast<long>(std::ceil((endPixel - g.timeStart) * samplesPerPixel)));
        for (long i = first; i <= last; i++)
            emit(g.timeStart + static_cast<double>(i) / samplesPerPixel, _envelope->GetSample(i));
        return;
    }
    *band = true;
    const int numColumns = static_cast<int>(endPixel - firstPixel);
    _columnLows.resize(numColumns);
    _columnHighs.resize(numColumns);
    _envelope->GetColumns((firstPixel - g.timeStart) * samplesPerPixel, samplesPerPixel, numColumns, _columnLows.data(),
                          _columnHighs.data());
    const double minSpan = MIN_BAND_PIXELS / std::max(std::fabs(g.fullScale), 1e-9);
    for (int c = 0; c < numColumns; c++) {
        double low = _columnLows[c], high = _columnHighs[c];
        if (high - low < minSpan) {
            const double middle = 0.5 * (low + high);
            low = middle - 0.5 * minSpan;
            high = middle + 0.5 * minSpan;
        }
        const double along = firstPixel + c + 0.5;
        emit(along, low);
        emit(along, high);
    }
}

void UISoundRect::DrawWaveform()
{
    bool band = false;
    BuildWaveVertices(MeasureWaveGeometry(), &_waveVertices, &band);
    const GLsizei count = static_cast<GLsizei>(_waveVertices.size() / 2);
    if (count < 2)
        return;

    double color[4];
    _style->GetWaveColor(color);
    glLineWidth(static_cast<float>(_style->GetWaveLineWidth()));
    glColor4dv(color);
    if (band)
        ShadeColumns(color);

    // The vertices are in window pixels, which the projection maps one to one.
    glPushMatrix();
    glLoadIdentity();
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, _waveVertices.data());
    if (band) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, _waveColors.data());
    }
    glDrawArrays(band ? GL_QUAD_STRIP : GL_LINE_STRIP, 0, count);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
}

void UISoundRect::ShadeColumns(const double color[4])
{
    // A translucent line through many samples crosses the pixels of a tall
    // column over and over, and lights them more than a single stroke does:
    // each column is as opaque as that many strokes, up to a few.
    const size_t numColumns = _waveVertices.size() / 4;
    const int across = _orientation == HORIZONTAL ? 1 : 0;
    _waveColors.resize(8 * numColumns);
    for (size_t c = 0; c < numColumns; c++) {
        const double span = std::fabs(_waveVertices[4 * c + 2 + across] - _waveVertices[4 * c + across]);
        const double strokes = std::clamp(span, 1.0, BAND_MAX_STROKES);
        const float alpha = static_cast<float>(1.0 - std::pow(1.0 - color[3], strokes));
        float* out = &_waveColors[8 * c];
        for (int v = 0; v < 2; v++) {
            out[4 * v] = static_cast<float>(color[0]);
            out[4 * v + 1] = static_cast<float>(color[1]);
            out[4 * v + 2] = static_cast<float>(color[2]);
            out[4 * v + 3] = alpha;
        }
    }
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

void UISoundRect::PrepareImages(const Spectrogram* spectro, const Spectrogram* chroma)
{
    const size_t maxRows = MaxImageRows();
    PoolImageRows(spectro, maxRows, &_spectroImage);
    PoolImageRows(chroma, maxRows, &_chromaImage);
    _imagesPrepared = true;
}

size_t UISoundRect::MaxImageRows() const
{
    const size_t side = static_cast<size_t>(std::max(0, _app->GetView()->GetLargestScreenSide()));
    size_t rows = MIN_TEXTURE_ROWS;
    while (rows < side && rows < MAX_TEXTURE_ROWS)
        rows *= 2;
    return rows;
}

void UISoundRect::UpdateTextures()
{
    if (_needUpdateTextures) {
        // Both images follow range and contrast, so they are always rebuilt together.
        _spectroTexStale = true;
        _chromaTexStale = true;
        _needUpdateTextures = false;
    }
    if (!_spectroTexStale && !_chromaTexStale)
        return;
    // A rect the loader did not prepare pools its images here, once.
    if (!_imagesPrepared)
        PrepareImages(_rect->GetSpectrogram(0), _rect->GetChromagram(0));
    if (_spectroTexStale && _app->MayBuildTexture()) {
        DeleteTexture(&_spectroTexId);
        _spectroTexId = CreateImageTexture(_spectroImage);
        _spectroTexStale = false;
    }
    if (_chromaTexStale && _app->MayBuildTexture()) {
        DeleteTexture(&_chromaTexId);
        _chromaTexId = CreateImageTexture(_chromaImage);
        _chromaTexStale = false;
    }
}

int UISoundRect::CreateImageTexture(const ImageLevels& image)
{
    if (image.rows <= 0 || image.bins <= 0)
        return -1;
    // Held only until the upload: the texture keeps its own copy.
    std::vector<unsigned char> texels;
    BuildTexels(image, &texels);
    glEnable(GL_TEXTURE_2D);
    GLuint texName = 0;
    glGenTextures(1, &texName);
    glBindTexture(GL_TEXTURE_2D, texName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    UploadWithMipmaps(&texels, image.bins, image.rows);
    glDisable(GL_TEXTURE_2D);
    return static_cast<int>(texName);
}

void UISoundRect::UploadWithMipmaps(std::vector<unsigned char>* texels, int width, int height)
{
    // Rows of grey and alpha bytes are packed, whatever their width.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    std::vector<unsigned char> smaller;
    for (int level = 0;; level++) {
        glTexImage2D(GL_TEXTURE_2D, level, GL_LUMINANCE8_ALPHA8, width, height, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE,
                     texels->data());
        if (width == 1 && height == 1)
            break;
        HalveTexels(*texels, width, height, &smaller);
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        texels->swap(smaller);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void UISoundRect::DeleteTexture(int* texId)
{
    if (*texId < 0)
        return;
    const GLuint texName = static_cast<GLuint>(*texId);
    glDeleteTextures(1, &texName);
    *texId = -1;
}

void UISoundRect::PoolImageRows(const Spectrogram* spectro, size_t maxRows, ImageLevels* image)
{
    image->levels.clear();
    image->bins = 0;
    image->rows = 0;
    if (spectro == nullptr || maxRows == 0)
        return;
    const size_t numBins = static_cast<size_t>(std::max(0, spectro->GetFFTSize() / 2));
    const size_t numCols = static_cast<size_t>(std::max(0, spectro->GetNumCols()));
    const uint8_t* levels = spectro->GetImageLevels();
    if (levels == nullptr || numBins == 0 || numCols == 0)
        return;
    const size_t numRows = std::min(numCols, maxRows);
    image->levels.resize(numBins * numRows);
    for (size_t r = 0; r < numRows; r++) {
        const size_t first = r * numCols / numRows;
        const size_t end = std::max(first + 1, (r + 1) * numCols / numRows);
        uint8_t* row = image->levels.data() + r * numBins;
        std::copy_n(levels + first * numBins, numBins, row);
        for (size_t c = first + 1; c < end; c++) {
            const uint8_t* col = levels + c * numBins;
            for (size_t i = 0; i < numBins; i++)
                row[i] = std::max(row[i], col[i]);
        }
        // Only the pooled rows are drawn: the full image goes back as it is read.
        spectro->GiveBackImage(static_cast<int>(first), static_cast<int>(end));
    }
    image->bins = static_cast<int>(numBins);
    image->rows = static_cast<int>(numRows);
}

void UISoundRect::BuildTexels(const ImageLevels& image, std::vector<unsigned char>* texels) const
{
    // Every texel is one of 256 greys: shape each level once.
    unsigned char palette[Spectrogram::NUM_LEVELS][TEXEL_BYTES];
    for (int q = 0; q < Spectrogram::NUM_LEVELS; q++)
        LevelToTexel(static_cast<double>(q) / (Spectrogram::NUM_LEVELS - 1), _colorRange, _colorContrast, palette[q]);
    texels->resize(TEXEL_BYTES * image.levels.size());
    unsigned char* out = texels->data();
    for (uint8_t level : image.levels) {
        out[0] = palette[level][0];
        out[1] = palette[level][1];
        out += TEXEL_BYTES;
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
