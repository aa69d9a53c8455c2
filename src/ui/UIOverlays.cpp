#include "ui/UIOverlays.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/App.h"
#include "app/AppControl.h"
#include "app/AudioEngine.h"
#include "app/BounceRecorder.h"
#include "app/CanvasView.h"
#include "app/LoadMeter.h"
#include "app/Time.h"
#include "effects/SafetyLimiter.h"
#include "sound/LoadProgress.h"
#include "sources/Source.h"
#include "ui/KeyHelp.h"
#include "ui/UISoundRect.h"
#include "ui/UISourceView.h"
#include "ui/UIStyle.h"

namespace {

// Lost recording samples are said in red whatever the style.
const double WARNING_COLOR[4] = {1.0, 0.25, 0.2, 1.0};

}  // namespace

double UIOverlay::Pulse(double radPerSec)
{
    return 0.6 + 0.2 * sin(radPerSec * Time::Instance()->GetSeconds());
}

void UIOverlay::SetColor(const double rgba[4], double alphaFactor)
{
    glColor4f(rgba[0], rgba[1], rgba[2], rgba[3] * alphaFactor);
}

void UITitleOverlay::Draw(bool loading)
{
    UIStyle* style = _app->GetStyle();
    const int winWidth = _app->GetWinWidth(), winHeight = _app->GetWinHeight();
    glPushMatrix();
    glLoadIdentity();
    glLineWidth(style->GetTitleLineWidth());
    double color[4];
    char appName[512];
    style->GetAppName(appName);
    double x = winWidth / 2.0 + 0.2 * winWidth;
    style->GetTitleAColorCoeff(color);
    SetColor(color, Pulse(2.5132741928100586));
    _app->GetView()->DrawString(x, winHeight / 2.0, 0.5, appName, 0.1 * winWidth);
    style->GetTitleInsColorCoeff(color);
    // A click starts nothing until the sounds are there.
    if (!loading) {
        SetColor(color, Pulse(2.827433466911316));
        _app->GetView()->DrawString(x + 10, winHeight / 2.0 + 30, 0.5, "CLICK TO START", 0.04 * winWidth);
    }
    SetColor(color, Pulse(3.1415927410125732));
    _app->GetView()->DrawString(x + 10, winHeight / 2.0 + 50, 0.5, "SHIFT+ESCAPE TO QUIT", 0.04 * winWidth);
    glPopMatrix();
}

void UILoadProgressOverlay::Draw()
{
    UIStyle* style = _app->GetStyle();
    const int winWidth = _app->GetWinWidth(), winHeight = _app->GetWinHeight();
    const double left = 0.1 * winWidth;
    const double right = 0.9 * winWidth;
    const double bottom = 0.05 * winHeight;
    const double top = bottom + std::max(6.0, 0.02 * winHeight);
    const double fraction = std::clamp(_progress->GetFraction(), 0.0, 1.0);
    glPushMatrix();
    glLoadIdentity();
    double color[4];
    style->GetTitleInsColorCoeff(color);
    SetColor(color, 1.0);
    glBegin(GL_QUADS);
    glVertex3d(left, bottom, 0.5);
    glVertex3d(left + (right - left) * fraction, bottom, 0.5);
    glVertex3d(left + (right - left) * fraction, top, 0.5);
    glVertex3d(left, top, 0.5);
    glEnd();
    glLineWidth(1.0f);
    glBegin(GL_LINE_LOOP);
    glVertex3d(left, bottom, 0.5);
    glVertex3d(right, bottom, 0.5);
    glVertex3d(right, top, 0.5);
    glVertex3d(left, top, 0.5);
    glEnd();
    glLineWidth(style->GetHelpLineWidth());
    std::string text = _progress->GetText();
    _app->GetView()->DrawString(left, winHeight - top - 0.02 * winHeight, 0.5, text.c_str(), 0.06 * winWidth);
    glPopMatrix();
}

void UIHelpOverlay::Draw(bool overlay)
{
    UIStyle* style = _app->GetStyle();
    const int winWidth = _app->GetWinWidth(), winHeight = _app->GetWinHeight();
    glPushMatrix();
    glLoadIdentity();
    double color[4];
    if (overlay) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        style->GetHelpBackgroundColor(color);
        SetColor(color, 1.0);
        glBegin(GL_QUADS);
        glVertex2f(0, 0);
        glVertex2f(winWidth, 0);
        glVertex2f(winWidth, winHeight);
        glVertex2f(0, winHeight);
        glEnd();
    }
    glLineWidth(style->GetHelpLineWidth());
    style->GetHelpInsColor(color);
    SetColor(color, 1.0);
    size_t count = 0;
    const KeyHelp::Line* lines = overlay ? KeyHelp::GetShort(&count) : KeyHelp::GetFull(&count);
    const size_t keyWidth = KeyHelp::KeyWidth(lines, count);
    double x = (overlay ? 0.02 : 0.1) * winWidth;
    for (size_t i = 0; i < count; i++) {
        const std::string line = KeyHelp::Format(lines[i], keyWidth);
        _app->GetView()->DrawString(x, 0.15 * winHeight + double(i) * 0.01 * winWidth, 0.5, line.c_str(),
                                    0.06 * winWidth);
    }
    glPopMatrix();
}

void UIRecordingOverlay::DrawFile(const char* fileName)
{
    const int winWidth = _app->GetWinWidth(), winHeight = _app->GetWinHeight();
    double color[4];
    _app->GetStyle()->GetParamColor(color);
    SetColor(color, Pulse(2.5132741928100586));
    char text[300];
    snprintf(text, sizeof(text), "*** Bouncing to: %s ***", fileName);
    glPushMatrix();
    glTranslatef(_app->GetView()->GetPositionX(), _app->GetView()->GetPositionY(), 0);
    _app->GetView()->DrawString(0.02 * winWidth, winHeight - 0.02 * winHeight, 0.5, text, 0.1 * winWidth);
    glPopMatrix();
}

void UIRecordingOverlay::DrawLossIfAny()
{
    if (_recorder->GetLostSamples() == 0)
        return;
    const int winWidth = _app->GetWinWidth(), winHeight = _app->GetWinHeight();
    SetColor(WARNING_COLOR, Pulse(2.5132741928100586));
    std::string text = "*** Recording: " + _recorder->DescribeLoss() + " ***";
    glPushMatrix();
    glTranslatef(_app->GetView()->GetPositionX(), _app->GetView()->GetPositionY(), 0);
    _app->GetView()->DrawString(0.02 * winWidth, winHeight - 0.06 * winHeight, 0.5, text.c_str(), 0.1 * winWidth);
    glPopMatrix();
}

void UIMessageOverlay::Draw(const std::string& text, bool isError, std::chrono::steady_clock::time_point until)
{
    if (text.empty() || std::chrono::steady_clock::now() > until)
        return;
    const int winWidth = _app->GetWinWidth(), winHeight = _app->GetWinHeight();
    double color[4];
    if (isError)
        _app->GetStyle()->GetTitleAColorCoeff(color);
    else
        _app->GetStyle()->GetParamColor(color);
    SetColor(color, 1.0);
    glPushMatrix();
    glLoadIdentity();
    _app->GetView()->DrawString(0.02 * winWidth, winHeight - 0.05 * winHeight, 0.5, text.c_str(), 0.08 * winWidth);
    glPopMatrix();
}

void UILimiterLight::Draw()
{
    const auto hold = std::chrono::milliseconds(500);
    auto now = std::chrono::steady_clock::now();
    uint64_t limited = _limiter->GetLimitedFrames();
    if (limited != _limitedFramesSeen) {
        _limitedFramesSeen = limited;
        _litUntil = now + hold;
    }
    if (now >= _litUntil)
        return;
    const int winWidth = _app->GetWinWidth(), winHeight = _app->GetWinHeight();
    double color[4];
    _app->GetStyle()->GetParamColor(color);
    SetColor(color, 1.0);
    glPushMatrix();
    glLoadIdentity();
    _app->GetView()->DrawString(winWidth - 0.07 * winWidth, 0.03 * winHeight, 0.5, "LIMIT", 0.1 * winWidth);
    glPopMatrix();
}

std::string UILoadMeterOverlay::DescribeCounts() const
{
    char meter[80];
    // The meter would show the last block's load of a stream that is gone.
    if (_app->GetAudioEngine()->IsStreamLost())
        snprintf(meter, sizeof(meter), "NO AUDIO STREAM");
    else
        _meter->Describe(meter, sizeof(meter));
    char text[160];
    snprintf(text, sizeof(text), "grains %u  sources %zu  %s", _app->GetSoundingGrains(), _app->GetSources().size(),
             meter);
    return text;
}

std::string UILoadMeterOverlay::DescribeSelection() const
{
    if (Source* source = _app->GetCurrentSource()) {
        static const char* const KINDS[] = {"single grain", "grain cloud", "loop source"};
        const int type = source->GetSourceType();
        std::string text = type >= 0 && type < 3 ? KINDS[type] : "source";
        const UISourceView* view = dynamic_cast<const UISourceView*>(source->GetUI());
        if (view != nullptr && !view->LiesOverARect())
            text += ", over no rect: silent";
        return "selected: " + text;
    }
    if (const UISoundRect* rect = _app->GetCurrentSoundRect())
        return std::string("selected: rect ") + rect->GetName();
    return "";
}

namespace {
// The status line's sizes, in fractions of the window's width.
const double STATUS_SCALE = 0.08;
const double STATUS_MARGIN = 0.01;
const double STATUS_PAD = 0.005;
// Stroke characters are 104.76 units wide and about 120 high before the scale.
const double STROKE_WIDTH = 104.76 * 0.001;
const double STROKE_HEIGHT = 120.0 * 0.001;
}  // namespace

double UILoadMeterOverlay::LineTop(double winWidth)
{
    return (STATUS_MARGIN + STROKE_HEIGHT * STATUS_SCALE + STATUS_PAD) * winWidth;
}

void UILoadMeterOverlay::DrawOnBacking(const std::string& text, double left, double base, double scale) const
{
    UIStyle* style = _app->GetStyle();
    const int winHeight = _app->GetWinHeight();
    const double width = double(text.size()) * STROKE_WIDTH * scale, height = STROKE_HEIGHT * scale;
    const double pad = STATUS_PAD * _app->GetWinWidth();
    double color[4];
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    style->GetHelpBackgroundColor(color);
    SetColor(color, 1.0);
    glRectd(left - pad, winHeight - base - pad, left + width + pad, winHeight - base + height + pad);
    style->GetHelpInsColor(color);
    SetColor(color, 1.0);
    glLineWidth(1.0f);
    _app->GetView()->DrawString(left, base, 0.5, text.c_str(), scale);
}

void UILoadMeterOverlay::Draw()
{
    const int winWidth = _app->GetWinWidth(), winHeight = _app->GetWinHeight();
    const double scale = STATUS_SCALE * winWidth;
    const double charWidth = STROKE_WIDTH * scale;
    const double margin = STATUS_MARGIN * winWidth, base = winHeight - margin;
    const std::string counts = DescribeCounts();
    const double countsLeft = winWidth - double(counts.size()) * charWidth - margin;
    glPushMatrix();
    glLoadIdentity();
    DrawOnBacking(counts, countsLeft, base, scale);
    const std::string selection = DescribeSelection();
    if (!selection.empty()) {
        // A long rect name shrinks to the room the counts leave.
        const double room = countsLeft - 3.0 * margin;
        const double fit = std::min(scale, scale * room / (double(selection.size()) * charWidth));
        DrawOnBacking(selection, margin, base, fit);
    }
    glPopMatrix();
}

UIOverlaySet::UIOverlaySet(App* app, const LoadProgress* progress, const BounceRecorder* recorder,
                           const SafetyLimiter* limiter, const LoadMeter* meter)
    : _title(app), _loadProgress(app, progress), _help(app), _recording(app, recorder), _message(app),
      _limiterLight(app, limiter), _loadMeter(app, meter)
{
}

UIOverlaySet::~UIOverlaySet()
{
}

void UIOverlaySet::DrawTitleScreen(bool loading)
{
    _title.Draw(loading);
    if (loading)
        _loadProgress.Draw();
    else
        _help.Draw(false);
}

void UIOverlaySet::DrawOverScene(const char* bounceFileName, bool help)
{
    if (bounceFileName != nullptr)
        _recording.DrawFile(bounceFileName);
    if (help)
        _help.Draw(true);
}

void UIOverlaySet::DrawOverAll(const std::string& message, bool isError, std::chrono::steady_clock::time_point until)
{
    _recording.DrawLossIfAny();
    _message.Draw(message, isError, until);
    _limiterLight.Draw();
}
