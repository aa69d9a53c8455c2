#pragma once

#include <vector>

#include "ui/UICanvas.h"

class App;

// A canvas that plots a buffer of floats as a polyline across its width,
// the low data value at its bottom and the high one at its top.
class UIBufferCanvas : public UICanvas {
public:
    UIBufferCanvas(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height,
                   double dataLo, double dataHi, int buffSize);
    virtual ~UIBufferCanvas();

    void DrawContents() override;
    const std::vector<float>& GetBuffer() const { return _buffer; }

protected:
    int _buffSize;
    std::vector<float> _buffer;
    double _dataLo, _dataHi;
};

// Ten seconds of the pitch LFO of the current source: amp * sin(2 pi f t).
class UILFOCanvas : public UIBufferCanvas {
public:
    static constexpr int NUM_POINTS = 256;

    UILFOCanvas(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height);

    // Each redraws the curve only when the value really changes, as the
    // application passes both on every idle call.
    void SetFreq(double freq);
    void SetAmp(double amp);

private:
    void GenerateContents();

    double _freq;
    double _amp;
};

// The grain envelope of the current source. The hand-drawn table is drawn
// here with the mouse: each drag step paints the segment it crossed, the top
// of the canvas being full level and the bottom silence.
class UIEnvelopeTypeCanvas : public UIBufferCanvas {
public:
    UIEnvelopeTypeCanvas(App* app, UIScreen* screen, UIStyle* style, const char* title, double x, double y,
                         double width, double height);

    // Reloads the plot from the current source's table of that type.
    void SetEnvelopeType(int type);
    int GetEnvelopeType() const { return _envelopeType; }

    // A border marks the hand-drawn table as editable.
    void Draw() override;
    // Called from the application's mouse handler, which holds the scene
    // lock: voices copy the table when a grain starts, under the same lock,
    // so they see the table either before or after a stroke, never half of it.
    void OnMouseDragNorm(double nx, double ny, double dx, double dy, bool inside) override;

private:
    void GenerateContents();

    App* _app;
    int _envelopeType;
    // The hand-drawn table being painted, reused between strokes.
    std::vector<float> _stroke;
};
