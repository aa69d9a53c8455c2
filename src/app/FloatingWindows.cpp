#include <GL/gl.h>

#include <cstdio>

#include "app/FloatingWindows.h"

#include "app/App.h"
#include "app/AppControl.h"
#include "effects/EffectsBox.h"
#include "parameters/SourceParameters.h"
#include "sources/Envelope.h"
#include "sources/Source.h"
#include "ui/UIBufferCanvas.h"
#include "ui/UIEffectsCanvas.h"
#include "ui/UIParameter.h"
#include "ui/UIWindow.h"

namespace {
// The LFO and envelope windows share the top-left corner; the effects window
// fills most of the screen.
const double SMALL_WINDOW_POS = 0.01;
const double SMALL_WINDOW_SIZE = 0.25;
const double EFFECTS_WINDOW_POS = 0.1;
const double EFFECTS_WINDOW_SIZE = 0.8;
const double FINE_DRAG_NONE = 1.0;

// The first parameter of the provider that is of type T, or null. Parameters
// are told apart by their class, so this holds for every kind of source.
template <typename T>
T* FindParameter(ParameterProvider* provider)
{
    for (int i = 0; i < provider->GetNumParams(); i++) {
        if (T* param = dynamic_cast<T*>(provider->GetParameter(i)))
            return param;
    }
    return nullptr;
}

template <typename T>
bool IsCurrent(Source* source)
{
    return source != nullptr && dynamic_cast<T*>(source->GetCurrentParameter()) != nullptr;
}

bool IsLFOCurrent(Source* source)
{
    return IsCurrent<ParameterLFOFreq>(source) || IsCurrent<ParameterLFOAmp>(source);
}

// A window of its own with one canvas filling its contents, hidden.
template <typename Canvas, typename MakeCanvas>
UIWindow* MakeWindow(UIScreen* screen, UIStyle* style, const char* title, double pos, double size, Canvas** canvas,
                     MakeCanvas makeCanvas)
{
    UIWindow* window = new UIWindow(screen, style, title, pos, pos, size, size);
    double x, y, w, h;
    window->GetContentsRect(&x, &y, &w, &h);
    *canvas = makeCanvas(x, y, w, h);
    window->AddCanvas(*canvas);
    window->SetVisible(false);
    return window;
}
}  // namespace

FloatingWindows::FloatingWindows(App* app)
    : _app(app), _grainLFOWindow(nullptr), _grainLFOCanvas(nullptr), _envelopeTypeWindow(nullptr),
      _envelopeTypeCanvas(nullptr), _effectsWindow(nullptr), _effectsCanvas(nullptr), _effectsWindowChain(nullptr)
{
}

FloatingWindows::~FloatingWindows()
{
    DeleteFloatingWindows();
}

void FloatingWindows::BuildFloatingWindows()
{
    DeleteFloatingWindows();
    UIScreen* screen = _app->GetScreen();
    UIStyle* style = _app->GetStyle();
    _grainLFOWindow = MakeWindow(
        screen, style, "LFO", SMALL_WINDOW_POS, SMALL_WINDOW_SIZE, &_grainLFOCanvas,
        [=](double x, double y, double w, double h) { return new UILFOCanvas(screen, style, "", x, y, w, h); });
    _envelopeTypeWindow = MakeWindow(screen, style, "Envelope", SMALL_WINDOW_POS, SMALL_WINDOW_SIZE,
                                     &_envelopeTypeCanvas, [=](double x, double y, double w, double h) {
                                         return new UIEnvelopeTypeCanvas(_app, screen, style, "", x, y, w, h);
                                     });
    _effectsWindow = MakeWindow(
        screen, style, "Effects", EFFECTS_WINDOW_POS, EFFECTS_WINDOW_SIZE, &_effectsCanvas,
        [=](double x, double y, double w, double h) { return new UIEffectsCanvas(screen, style, "", x, y, w, h); });
}

void FloatingWindows::DeleteFloatingWindows()
{
    delete _grainLFOWindow;
    delete _grainLFOCanvas;
    delete _envelopeTypeWindow;
    delete _envelopeTypeCanvas;
    delete _effectsWindow;
    delete _effectsCanvas;
    _grainLFOWindow = _envelopeTypeWindow = _effectsWindow = nullptr;
    _grainLFOCanvas = nullptr;
    _envelopeTypeCanvas = nullptr;
    _effectsCanvas = nullptr;
    _effectsWindowChain = nullptr;
}

void FloatingWindows::OpenEffectsWindow(bool master)
{
    if (_effectsWindow == nullptr)
        return;
    _effectsWindow->SetVisible(true);
    if (master) {
        BindEffectsWindow(_app->GetMasterEffectsBox(), "Effects | Master");
    } else if (Source* source = _app->GetCurrentSource()) {
        BindEffectsWindow(source->GetEffectsBox(), "Effects | Source");
    } else {
        _effectsWindow->SetTitle("Effects | Source");
    }
}

void FloatingWindows::BindEffectsWindow(EffectsBox* chain, const char* title)
{
    chain->RegisterUI(_effectsCanvas);
    _effectsWindowChain = chain;
    _effectsWindow->SetTitle(title);
}

void FloatingWindows::CloseEffectsWindow()
{
    if (_effectsWindow != nullptr)
        _effectsWindow->SetVisible(false);
}

void FloatingWindows::ForgetEffectsChain(EffectsBox* chain)
{
    // The controls would otherwise go on writing into the freed chain.
    if (_effectsWindow != nullptr && chain == _effectsWindowChain)
        BindEffectsWindow(_app->GetMasterEffectsBox(), "Effects | Master");
}

void FloatingWindows::UpdateParamWindows()
{
    Source* source = _app->GetCurrentSource();
    Parameter* param = source != nullptr ? source->GetCurrentParameter() : nullptr;
    if (param == nullptr || param->GetUI() == nullptr)
        return;
    UIWindow* window = nullptr;
    if (IsCurrent<ParameterEnvelope>(source))
        window = _envelopeTypeWindow;
    else if (IsLFOCurrent(source))
        window = _grainLFOWindow;
    if (window == nullptr)
        return;
    char title[512];
    snprintf(title, sizeof(title), "%s: %s", param->GetUI()->GetName(), param->GetUI()->GetValueStr());
    window->SetTitle(title);
}

void FloatingWindows::UpdateLFOWindow()
{
    if (_grainLFOWindow == nullptr)
        return;
    // Shown only while a selected source has an LFO parameter in hand: a
    // window left up after the selection went would hide the scene under it.
    Source* source = _app->GetCurrentSource();
    const bool shown = source != nullptr && IsLFOCurrent(source);
    _grainLFOWindow->SetVisible(shown);
    if (!shown)
        return;
    if (Parameter* freq = FindParameter<ParameterLFOFreq>(source))
        _grainLFOCanvas->SetFreq(freq->GetValue());
    if (Parameter* amp = FindParameter<ParameterLFOAmp>(source))
        _grainLFOCanvas->SetAmp(amp->GetValue());
}

void FloatingWindows::UpdateEnvelopeWindow()
{
    if (_envelopeTypeWindow == nullptr)
        return;
    // As the LFO window: only while a selected source has its envelope in hand.
    Source* source = _app->GetCurrentSource();
    const bool shown = source != nullptr && IsCurrent<ParameterEnvelope>(source);
    _envelopeTypeWindow->SetVisible(shown);
    if (!shown)
        return;
    _envelopeTypeCanvas->SetEnvelopeType((int)source->GetCurrentParameter()->GetValue());
}

void FloatingWindows::UpdateStyle(UIStyle* style)
{
    for (UIWindow* window : {_grainLFOWindow, _envelopeTypeWindow, _effectsWindow}) {
        if (window != nullptr)
            window->UpdateStyle(style);
    }
}

void FloatingWindows::DrawFloatingWindows()
{
    // The windows draw with their own identity matrix; the pie menu after
    // them needs the scene's pan and zoom back.
    glPushMatrix();
    for (UIWindow* window : {_grainLFOWindow, _envelopeTypeWindow, _effectsWindow}) {
        if (window != nullptr)
            window->Draw();
    }
    glPopMatrix();
}

bool FloatingWindows::IsOverFloatingWindow(int x, int y) const
{
    if (_effectsWindow == nullptr)
        return false;
    const double nx = (double)x / _app->GetWinWidth();
    const double ny = (double)y / _app->GetWinHeight();
    // The LFO window only shows; it takes no clicks but still hides the scene under it.
    return _grainLFOCanvas->Pick(nx, ny) || _envelopeTypeCanvas->Pick(nx, ny) || _effectsCanvas->Pick(nx, ny);
}

void FloatingWindows::RouteMouseToWindows(int button, int state, int x, int y)
{
    if (_effectsWindow == nullptr)
        return;
    const double nx = (double)x / _app->GetWinWidth();
    const double ny = (double)y / _app->GetWinHeight();
    _envelopeTypeCanvas->OnMouse(button, state, nx, ny);
    _effectsCanvas->OnMouse(button, state, nx, ny);
}

void FloatingWindows::RouteDragToWindows(int x, int y)
{
    if (_effectsWindow == nullptr)
        return;
    const double nx = (double)x / _app->GetWinWidth();
    const double ny = (double)y / _app->GetWinHeight();
    _envelopeTypeCanvas->OnMouseDrag(nx, ny, FINE_DRAG_NONE);
    _effectsCanvas->OnMouseDrag(nx, ny, _app->GetControl()->GetFineDragFactor());
}
