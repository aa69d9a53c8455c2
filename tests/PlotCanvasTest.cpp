#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/App.h"
#include "sources/Envelope.h"
#include "sources/Source.h"
#include "ui/UIBufferCanvas.h"

namespace {

const int BUTTON_LEFT = 0;
const int DOWN = 0;
const double CX = 0.1, CY = 0.2, CW = 0.4, CH = 0.5;

std::vector<float> LFOCurve(double freq, double amp)
{
    std::vector<float> curve(256);
    for (int i = 0; i < 256; i++)
        curve[i] = float(amp * std::sin(2 * M_PI * 10 * freq * i / 255.0));
    return curve;
}

}  // namespace

TEST(LFOCanvasTest, PlotsTenSecondsOfTheLFOAndRedrawsOnlyOnRealChanges)
{
    App app;
    app.SetWinSize(1000, 600);
    UILFOCanvas canvas(app.GetScreen(), nullptr, "", CX, CY, CW, CH);
    EXPECT_EQ(LFOCurve(1.0, 0.5), canvas.GetBuffer());
    canvas.SetFreq(1.0);
    EXPECT_EQ(LFOCurve(1.0, 0.5), canvas.GetBuffer());
    canvas.SetFreq(0.3);
    canvas.SetAmp(0.8);
    EXPECT_EQ(LFOCurve(0.3, 0.8), canvas.GetBuffer());
    canvas.SetAmp(0.0);
    EXPECT_EQ(std::vector<float>(256, 0.0f), canvas.GetBuffer()) << "flat on the middle line";
}

namespace {

// The envelope window of the application, over a grain cloud that is current.
class EnvelopeCanvasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        _app.AddGrainCloud(500, 300);
        _envelope = _app.GetCurrentSource()->GetEnvelope();
        _canvas = new UIEnvelopeTypeCanvas(&_app, _app.GetScreen(), nullptr, "", CX, CY, CW, CH);
        _canvas->SetVisible(true);
        _canvas->SetEnvelopeType(Envelope::HAND_DRAWN);
        _before = _envelope->GetEnvelope(Envelope::HAND_DRAWN);
    }
    void TearDown() override { delete _canvas; }

    // Window fractions of a point given relative to the canvas.
    static double X(double nx) { return CX + nx * CW; }
    static double Y(double ny) { return CY + ny * CH; }
    void PressAt(double nx, double ny) { _canvas->OnMouse(BUTTON_LEFT, DOWN, X(nx), Y(ny)); }
    void DragTo(double nx, double ny) { _canvas->OnMouseDrag(X(nx), Y(ny), 1.0); }
    const std::vector<float>& Table() { return _envelope->GetEnvelope(Envelope::HAND_DRAWN); }

    App _app;
    Envelope* _envelope = nullptr;
    UIEnvelopeTypeCanvas* _canvas = nullptr;
    std::vector<float> _before;
};

}  // namespace

TEST_F(EnvelopeCanvasTest, ADragPaintsTheSegmentItCrossedTopBeingFullLevel)
{
    const int n = _envelope->GetEnvelopeSize();
    PressAt(0.25, 0.8);
    DragTo(0.5, 0.2);
    // From (0.25, 0.8) to (0.5, 0.2): entries n/4 .. n/2, stopping one step short of 0.2.
    const int i0 = n / 4, i1 = n / 2;
    for (int i = i0; i <= i1; i++) {
        const double t = double(i - i0) / (i1 - i0 + 1);
        EXPECT_NEAR(1.0 - (0.8 - 0.6 * t), Table()[i], 1e-6) << i;
    }
    EXPECT_EQ(_before[i0 - 1], Table()[i0 - 1]);
    EXPECT_EQ(_before[i1 + 1], Table()[i1 + 1]);
    EXPECT_EQ(Table(), _canvas->GetBuffer()) << "the plot follows the table";
}

TEST_F(EnvelopeCanvasTest, ASingleEntrySegmentSetsOneMinusItsEnd)
{
    const int n = _envelope->GetEnvelopeSize();
    PressAt(0.5, 0.5);
    DragTo(0.5, 0.3);
    EXPECT_FLOAT_EQ(0.7f, Table()[n / 2]);
    EXPECT_EQ(_before[n / 2 + 1], Table()[n / 2 + 1]);
}

TEST_F(EnvelopeCanvasTest, AStrokeFromAboveTheCanvasNeverPaintsBeyondFullLevel)
{
    PressAt(0.5, 0.05);
    // One step of the drag starts far above the canvas top.
    _canvas->OnMouseDrag(X(0.5), Y(-3.0), 1.0);
    DragTo(0.6, 0.1);
    for (float v : Table()) {
        EXPECT_LE(v, 1.0f);
        EXPECT_GE(v, 0.0f);
    }
    EXPECT_NE(_before, Table());
}

TEST_F(EnvelopeCanvasTest, APressOutsideThenADragInsideDrawsNothing)
{
    _canvas->OnMouse(BUTTON_LEFT, DOWN, X(1.5), Y(0.5));
    DragTo(0.4, 0.4);
    DragTo(0.6, 0.9);
    EXPECT_EQ(_before, Table());
}

TEST_F(EnvelopeCanvasTest, OnlyTheHandDrawnTypeCanBeDrawn)
{
    _canvas->SetEnvelopeType(Envelope::TRIANGLE);
    EXPECT_EQ(_envelope->GetEnvelope(Envelope::TRIANGLE), _canvas->GetBuffer());
    PressAt(0.2, 0.2);
    DragTo(0.7, 0.9);
    EXPECT_EQ(_before, Table());
    EXPECT_EQ(_envelope->GetEnvelope(Envelope::TRIANGLE), _canvas->GetBuffer());
}
