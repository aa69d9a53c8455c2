#include "ui/UILiveRect.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "parameters/LiveRectParameters.h"
#include "sound/EngineRate.h"
#include "sound/LiveAnalysis.h"
#include "sound/LiveRect.h"
#include "sound/LiveRing.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Scale.h"
#include "spectral/Spectrogram.h"
#include "spectral/WaveformEnvelope.h"
#include "ui/UIScreen.h"
#include "ui/UISoundRectPictures.h"
#include "ui/UIStyle.h"

namespace {
const int HOP = SamplesToSpectro::HOP;
// A new live rect: wide enough to play along, in scene units.
const double INITIAL_WIDTH = 0.45;
const double INITIAL_HEIGHT = 0.18;
const double PARAM_SENSITIVITY = 6.0;
// Second marks, and the meter beside the write point, in pixels.
const double MARK_PIXELS = 8.0;
const double METER_PIXELS = 6.0;
// The meter shows -60 ... 0 dB and falls back by this factor per frame.
const double METER_FLOOR_DB = -60.0;
const double METER_FALL = 0.9;
// Columns taken into the image textures per frame at most: a whole ring
// (after a change of range or contrast) is taken over a few frames.
const int64_t COLUMNS_PER_FRAME = 512;
const int TEXEL_BYTES = 2;
}  // namespace

UILiveRect::UILiveRect(LiveRect* rect, App* app, UIStyle* style, UIScreen* screen, double x, double y)
    : UISoundRect(rect, app, style, screen), _live(rect), _ring(rect->GetRing()), _liveParams{}, _gainDb(0.0),
      _summarised(0), _uploaded(0), _liveSpectroTex(-1), _liveChromaTex(-1), _meterLevel(0.0)
{
    _liveParams[LENGTH - NUM_PARAMS] = new ParameterLiveLength(app, LENGTH);
    _liveParams[FREEZE - NUM_PARAMS] = new ParameterLiveFreeze(app, FREEZE);
    _liveParams[GAIN - NUM_PARAMS] = new ParameterLiveGain(app, GAIN);
    for (Parameter* param : _liveParams)
        param->SetSensivity(PARAM_SENSITIVITY);
    SetDimensions(INITIAL_WIDTH, INITIAL_HEIGHT);
    UpdateRectPosition(x, y);
    // The summaries are made while nothing writes the ring yet; from then on
    // only what arrives is summarised.
    _pictures->PrepareWaveform();
    _summarised = _ring->GetSettled();
    UpdateName();
}

UILiveRect::~UILiveRect()
{
    for (Parameter* param : _liveParams)
        delete param;
    for (int* tex : {&_liveSpectroTex, &_liveChromaTex})
        UISoundRectPictures::DeleteTexture(tex);
}

Parameter* UILiveRect::GetParameter(int idx)
{
    if (idx >= NUM_PARAMS && idx < NUM_LIVE_PARAMS)
        return _liveParams[idx - NUM_PARAMS];
    return UISoundRect::GetParameter(idx);
}

void UILiveRect::SetLengthSeconds(double seconds)
{
    _ring->SetLengthSeconds(seconds);
}

double UILiveRect::GetLengthSeconds() const
{
    return _ring->GetLengthSeconds();
}

void UILiveRect::SetFrozen(bool frozen)
{
    _ring->SetFrozen(frozen);
    UpdateName();
}

bool UILiveRect::IsFrozen() const
{
    return _ring->IsFrozen();
}

void UILiveRect::SetGainDb(double db)
{
    const Parameter* param = _liveParams[GAIN - NUM_PARAMS];
    _gainDb = std::isfinite(db) ? std::clamp(db, param->GetMinValue(), param->GetMaxValue()) : 0.0;
    _ring->SetGain((float)Scale::DbToAmp(_gainDb));
}

void UILiveRect::UpdateName()
{
    SetName(IsFrozen() ? "LIVE INPUT (FROZEN)" : "LIVE INPUT");
}

bool UILiveRect::GetNormedPosition(double* posX, double* posY, double x, double y, unsigned idx) const
{
    if (!UISoundRect::GetNormedPosition(posX, posY, x, y, idx))
        return false;
    // The voice starts one frame before the position it is given.
    posX[idx] = (_ring->FrameAt(posX[idx]) + 1.0) / (2.0 * _ring->GetCapacity());
    return true;
}

int64_t UILiveRect::ShownEnd() const
{
    return _ring->GetSettled();
}

void UILiveRect::Draw()
{
    const int64_t shownEnd = ShownEnd();
    DrawRectangle();
    _ring->RefreshEnvelope(_pictures->GetEnvelope(), _summarised, shownEnd);
    _summarised = shownEnd;
    switch (_rectType) {
    case WAVEFORM:
        _pictures->GetEnvelope()->SetWindow(_ring->OldestShownFrame(shownEnd), _ring->GetLength());
        _pictures->DrawWaveform();
        break;
    case SPECTROGRAM:
        UpdateImages(shownEnd);
        DrawImage(_liveSpectroTex, shownEnd);
        break;
    case CHROMAGRAM:
        UpdateImages(shownEnd);
        DrawImage(_liveChromaTex, shownEnd);
        break;
    }
    DrawTimeMarks(shownEnd);
    DrawMeter();
    DrawName();
}

void UILiveRect::CreateImageTextures()
{
    const int bins = SamplesToSpectro::FFT_SIZE / 2;
    const int rows = _live->GetAnalysis()->GetNumRingCols();
    // Black until the columns arrive; held only until the upload.
    const std::vector<unsigned char> black((size_t)bins * rows * TEXEL_BYTES, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int* tex : {&_liveSpectroTex, &_liveChromaTex}) {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        // Time runs round the ring.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE8_ALPHA8, bins, rows, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE,
                     black.data());
        *tex = (int)name;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void UILiveRect::UpdateImages(int64_t shownEnd)
{
    if (_liveSpectroTex < 0)
        CreateImageTextures();
    const LiveAnalysis* analysis = _live->GetAnalysis();
    const int64_t published = analysis->GetPublished();
    // Only the columns of the shown past: older ones may be being cleared.
    const int64_t oldestShown = std::max<int64_t>((shownEnd - _ring->GetLength()) / HOP, 0);
    if (_needUpdateTextures) {
        _uploaded = oldestShown;
        _needUpdateTextures = false;
    }
    const int64_t from = std::max(_uploaded, oldestShown);
    const int64_t to = std::min(published, from + COLUMNS_PER_FRAME);
    UploadColumns(_liveSpectroTex, analysis->GetSpectrogram(), from, to);
    UploadColumns(_liveChromaTex, analysis->GetChromagram(), from, to);
    _uploaded = std::max(_uploaded, to);
}

void UILiveRect::UploadColumns(int texId, const Spectrogram* image, int64_t from, int64_t to)
{
    const int numRingCols = _live->GetAnalysis()->GetNumRingCols();
    const int bins = image->GetNumBins();
    const uint8_t* levels = image->GetImageLevels();
    if (from >= to || levels == nullptr)
        return;
    UISoundRectPictures::ImageLevels column;
    column.bins = bins;
    column.rows = 1;
    glBindTexture(GL_TEXTURE_2D, (GLuint)texId);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int64_t col = from; col < to; col++) {
        const int row = (int)(col % numRingCols);
        column.levels.assign(levels + (size_t)row * bins, levels + (size_t)(row + 1) * bins);
        _pictures->BuildTexels(column, &_texels);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, row, bins, 1, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, _texels.data());
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void UILiveRect::DrawImage(int texId, int64_t shownEnd)
{
    if (texId < 0)
        return;
    // The rows of the shown past, wrapping round the ring's texture.
    const double numRingCols = _live->GetAnalysis()->GetNumRingCols();
    const double t0 = (double)(shownEnd - _ring->GetLength()) / HOP / numRingCols;
    const double t1 = (double)shownEnd / HOP / numRingCols;
    const double(*corners)[2] = UISoundRectPictures::CornerTexCoords(_orientation);
    double coords[4][2];
    for (int k = 0; k < 4; k++) {
        coords[k][0] = corners[k][0];
        coords[k][1] = t0 + (t1 - t0) * corners[k][1];
    }
    glColor4d(1.0, 1.0, 1.0, 1.0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, (GLuint)texId);
    glBegin(GL_QUADS);
    EmitCorners(_screen->GetWidth(), _screen->GetHeight(), false, coords);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void UILiveRect::AlongPoint(double along, double across, double* x, double* y) const
{
    const bool horizontal = _orientation == HORIZONTAL;
    *x = (horizontal ? _left + along * _width : _left + across * _width) * _screen->GetWidth();
    *y = (horizontal ? _bot + across * _height : _bot + along * _height) * _screen->GetHeight();
}

void UILiveRect::DrawTimeMarks(int64_t shownEnd)
{
    double color[4];
    _style->GetSoundRectBorderColorSelected(color);
    glColor4dv(color);
    glLineWidth((float)_style->GetSoundRectLineWidth());
    const double length = (double)_ring->GetLength();
    const double markAcross =
        MARK_PIXELS /
        ((_orientation == HORIZONTAL ? _height * _screen->GetHeight() : _width * _screen->GetWidth()) + 1e-9);
    double x = 0.0, y = 0.0;
    glBegin(GL_LINES);
    // The write point, across the whole rect at the newest end.
    AlongPoint(1.0, 0.0, &x, &y);
    glVertex2d(x, y);
    AlongPoint(1.0, 1.0, &x, &y);
    glVertex2d(x, y);
    // A mark at every whole second of input, carried along with the sound.
    const double oldest = (double)shownEnd - length;
    const double rate = EngineRate::Get();
    for (double second = std::ceil(oldest / rate); second * rate <= (double)shownEnd; second++) {
        const double along = (second * rate - oldest) / length;
        AlongPoint(along, 0.0, &x, &y);
        glVertex2d(x, y);
        AlongPoint(along, markAcross, &x, &y);
        glVertex2d(x, y);
    }
    glEnd();
}

void UILiveRect::DrawMeter()
{
    const double peak = _ring->TakePeak();
    _meterLevel = std::max(peak, _meterLevel * METER_FALL);
    const double db = 20.0 * std::log10(std::max(_meterLevel, 1e-9));
    const double fill = std::clamp(1.0 - db / METER_FLOOR_DB, 0.0, 1.0);
    if (fill <= 0.0)
        return;
    // Inside the rect beside the write point, rising across the time axis.
    const bool horizontal = _orientation == HORIZONTAL;
    const double width =
        METER_PIXELS / ((horizontal ? _width * _screen->GetWidth() : _height * _screen->GetHeight()) + 1e-9);
    double color[4];
    _style->GetParamMeterColor(color);
    glColor4dv(color);
    double x = 0.0, y = 0.0;
    const double corners[4][2] = {{1.0 - width, 0.0}, {1.0, 0.0}, {1.0, fill}, {1.0 - width, fill}};
    glBegin(GL_QUADS);
    for (const double* corner : corners) {
        AlongPoint(corner[0], corner[1], &x, &y);
        glVertex2d(x, y);
    }
    glEnd();
}
