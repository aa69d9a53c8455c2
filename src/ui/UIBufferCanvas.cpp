#include "ui/UIBufferCanvas.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "app/App.h"
#include "sources/Envelope.h"
#include "sources/Source.h"
#include "ui/UIScreen.h"

namespace {
// Values closer than this count as unchanged.
const double SAME_VALUE = 1e-15;
// The LFO plot spans this many seconds.
const double LFO_SPAN_SECONDS = 10.0;
const int ENVELOPE_POINTS = 2048;
}  // namespace

UIBufferCanvas::UIBufferCanvas(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                               double height, double dataLo, double dataHi, int buffSize)
    : UICanvas(screen, style, title, x, y, width, height), _buffSize(buffSize), _buffer(buffSize, 0.0f),
      _dataLo(dataLo), _dataHi(dataHi)
{
}

UIBufferCanvas::~UIBufferCanvas()
{
}

void UIBufferCanvas::DrawContents()
{
    UICanvas::DrawContents();
    const double w = _screen->GetWidth();
    const double h = _screen->GetHeight();
    const double range = _dataHi - _dataLo;
    auto pixelX = [&](int j) { return w * (_x + _width * j / _buffSize); };
    auto pixelY = [&](int j) { return h * (1.0 - (_y + _height * (1.0 - (_buffer[j] - _dataLo) / range))); };
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_LINES);
    for (int i = 0; i + 1 < _buffSize; i++) {
        glVertex2d(pixelX(i), pixelY(i));
        glVertex2d(pixelX(i + 1), pixelY(i + 1));
    }
    glEnd();
}

UILFOCanvas::UILFOCanvas(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                         double height)
    : UIBufferCanvas(screen, style, title, x, y, width, height, -1.0, 1.0, NUM_POINTS), _freq(1.0), _amp(0.5)
{
    // So that a source whose LFO already has these values is not shown flat.
    GenerateContents();
}

void UILFOCanvas::SetFreq(double freq)
{
    if (std::fabs(freq - _freq) <= SAME_VALUE)
        return;
    _freq = freq;
    GenerateContents();
}

void UILFOCanvas::SetAmp(double amp)
{
    if (std::fabs(amp - _amp) <= SAME_VALUE)
        return;
    _amp = amp;
    GenerateContents();
}

void UILFOCanvas::GenerateContents()
{
    for (int i = 0; i < _buffSize; i++) {
        const double t = (double)i / (_buffSize - 1);
        _buffer[i] = (float)(_amp * std::sin(2.0 * M_PI * LFO_SPAN_SECONDS * _freq * t));
    }
}

UIEnvelopeTypeCanvas::UIEnvelopeTypeCanvas(App* app, UIScreen* screen, UIStyle* style, const char* title, double x,
                                           double y, double width, double height)
    : UIBufferCanvas(screen, style, title, x, y, width, height, 0.0, 1.0, ENVELOPE_POINTS), _app(app),
      _envelopeType(Envelope::HANNING)
{
}

void UIEnvelopeTypeCanvas::SetEnvelopeType(int type)
{
    _envelopeType = type;
    GenerateContents();
}

void UIEnvelopeTypeCanvas::GenerateContents()
{
    Source* source = _app->GetCurrentSource();
    if (source == nullptr)
        return;
    const std::vector<float>& table = source->GetEnvelope()->GetEnvelope(_envelopeType);
    std::copy_n(table.begin(), std::min((int)table.size(), _buffSize), _buffer.begin());
}

void UIEnvelopeTypeCanvas::Draw()
{
    _drawBorder = _envelopeType == Envelope::HAND_DRAWN;
    UIBufferCanvas::Draw();
}

void UIEnvelopeTypeCanvas::OnMouseDragNorm(double nx, double ny, double dx, double dy, bool)
{
    Source* source = _app->GetCurrentSource();
    if (source == nullptr || _envelopeType != Envelope::HAND_DRAWN || !_mouseDown)
        return;
    nx = std::clamp(nx, 0.0, 1.0);
    ny = std::clamp(ny, 0.0, 1.0);
    double x0 = nx - dx, y0 = ny - dy;
    double x1 = nx, y1 = ny;
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    // A step that began above or below the canvas still paints levels within
    // silence .. full scale: louder than the sound itself would clip every grain.
    y0 = std::clamp(y0, 0.0, 1.0);
    y1 = std::clamp(y1, 0.0, 1.0);
    Envelope* envelope = source->GetEnvelope();
    _stroke = envelope->GetEnvelope(Envelope::HAND_DRAWN);
    const int n = envelope->GetEnvelopeSize();
    const int i0 = std::clamp((int)(n * x0), 0, n - 1);
    const int i1 = std::clamp((int)(n * x1), 0, n - 1);
    for (int i = i0; i <= i1; i++) {
        const double t = i0 == i1 ? 1.0 : (double)(i - i0) / (i1 - i0 + 1);
        _stroke[i] = (float)(1.0 - (y0 + (y1 - y0) * t));
    }
    envelope->SetEnvelope(Envelope::HAND_DRAWN, _stroke);
    GenerateContents();
}
