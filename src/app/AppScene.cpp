// Scene editing and typed parameter values: the App operations that change
// the scene. All run on the toolkit thread inside an input handler, with the
// scene lock held, so the audio callback never sees a half-made change.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/App.h"
#include "app/CanvasView.h"
#include "app/FloatingWindows.h"
#include "app/ParamValueEditor.h"
#include "app/Selection.h"
#include "app/SourceReleases.h"
#include "midi/MidiLearn.h"
#include "parameters/Parameter.h"
#include "parameters/SourceParameters.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "sources/LoopSource.h"
#include "sources/SingleGrain.h"
#include "sources/Source.h"
#include "ui/UIGrainCloud.h"
#include "ui/UILoopSource.h"
#include "ui/UIPieMenu.h"
#include "ui/UISingleGrain.h"
#include "ui/UISoundRect.h"
#include "ui/UISource.h"

namespace {

const unsigned CLOUD_VOICES = 6;

}  // namespace

void App::AddGrainCloud(double x, double y)
{
    GrainCloud* cloud = new GrainCloud(this, _samplesProviders, CLOUD_VOICES);
    AddSource(cloud, new UIGrainCloud(cloud, GetStyle(), _screen, x / GetWinWidth(), y / GetWinHeight(), CLOUD_VOICES,
                                      _soundRects));
}

void App::AddSingleGrain(double x, double y)
{
    SingleGrain* grain = new SingleGrain(this, _samplesProviders);
    AddSource(grain,
              new UISingleGrain(grain, GetStyle(), _screen, x / GetWinWidth(), y / GetWinHeight(), &_soundRects));
}

void App::AddLoopSource(double x, double y)
{
    LoopSource* loop = new LoopSource(this, _samplesProviders);
    AddSource(loop, new UILoopSource(loop, GetStyle(), _screen, x / GetWinWidth(), y / GetWinHeight(), &_soundRects));
}

void App::AddSource(Source* source, UISource* view)
{
    if (Source* previous = GetCurrentSource())
        previous->GetUI()->SetSelectState(false);
    view->SetSelectState(true);
    source->RegisterUI(view);
    _sources.push_back(source);
    _noteSources.resize(_sources.size());
    _selection->SetSelectedSourceIndex(int(_sources.size()) - 1);
    _pieMenu->InitFromParameters();
}

void App::DelSelectedSource()
{
    // Backspace edits a value being typed instead of removing the source.
    const int selected = _selection->GetSelectedSourceIndex();
    if (_paramEditor->IsEditingParamString() || _paramEditor->GetParamValueString() != nullptr || selected < 0)
        return;
    ReleaseSource(size_t(selected));
    _selection->SetSelectedSourceIndex(-1);
}

void App::ReleaseSource(size_t index)
{
    Source* source = _sources[index];
    std::vector<Source*> noteSources = _noteSources[index];
    _sources.erase(_sources.begin() + index);
    _noteSources.erase(_noteSources.begin() + index);
    // Its bindings go with it; those of later sources follow their indices.
    GetMidiLearn()->ForgetSource(int(index));
    // The effects window lets go of the chain before the source goes.
    _windows->ForgetEffectsChain(source->GetEffectsBox());
    // The next block fades them out; the source releases its own view when
    // it is freed. Note copies first: their voices read their origin's envelopes.
    _releases->FreeFinished();
    EffectsBox* chain = source->GetEffectsBox();
    for (Source* note : noteSources)
        _releases->Add(note, chain, true);
    _releases->Add(source, chain, noteSources.empty());
}

Source* App::GetCurrentSource() const
{
    const int index = _selection->GetSelectedSourceIndex();
    return index >= 0 ? _sources[index] : nullptr;
}

UISoundRect* App::GetCurrentSoundRect() const
{
    const int index = _selection->GetSelectedRectIndex();
    return index >= 0 ? _soundRects[index]->GetUI() : nullptr;
}

ParameterProvider* App::GetCurrentParamProvider() const
{
    if (Source* source = GetCurrentSource())
        return source;
    return GetCurrentSoundRect();
}

bool App::PickParameters(double x, double y)
{
    if (Source* source = GetCurrentSource())
        return source->GetUI()->PickParameters(x, y);
    if (UISoundRect* view = GetCurrentSoundRect())
        return view->PickParameters(x, y);
    return false;
}

void App::OnCurrentParamValueUpdated()
{
    _windows->UpdateParamWindows();
    UpdateParamNoteSources();
}

void App::UpdateParamNoteSources()
{
    Source* source = GetCurrentSource();
    Parameter* param = source != nullptr ? source->GetCurrentParameter() : nullptr;
    if (param == nullptr)
        return;
    for (Source* note : _noteSources[_selection->GetSelectedSourceIndex()])
        param->SetValue(note, param->GetValue());
}

void App::OpenPieMenu()
{
    if (_selection->IsSelectedSource() || _selection->IsSelectedRect())
        _pieMenu->SetVisible(true);
}

void App::ClosePieMenu()
{
    if (_paramEditor->IsEditingParamString())
        return;
    _pieMenu->SetVisible(false);
    if (Source* source = GetCurrentSource())
        source->ResetCurrentParameterIndex();
    if (UISoundRect* view = GetCurrentSoundRect())
        view->ResetCurrentParameterIndex();
}

bool App::IsPieMenuOpen() const
{
    return _pieMenu->IsVisible();
}

void App::PieMenuMouseDrag(double dx, double dy)
{
    _pieMenu->OnMouseDrag(dx / GetWinWidth(), dy / GetWinHeight());
}

void App::LeftPickPieMenu(int button, int state, double x, double y)
{
    if (_pieMenu->OnMouse(button, state, x / GetWinWidth(), y / GetWinHeight()))
        return;
    _selection->Deselect(Selection::SOURCE);
    _selection->UpdateSourcePicking(x, y);
    _selection->UpdateRectPicking(x, y);
}

void App::RightPickPieMenu(int button, int state, double x, double y)
{
    if (!_pieMenu->IsVisible())
        return;
    _pieMenu->OnMouse(button, state, x / GetWinWidth(), y / GetWinHeight());
    _paramEditor->BeginParamStringEditing();
}

int App::GetCurrentSourceParamIdx() const
{
    Source* source = GetCurrentSource();
    Parameter* param = source != nullptr ? source->GetCurrentParameter() : nullptr;
    return param != nullptr ? param->GetIndex() : -1;
}

int App::GetCurrentRectParamIdx() const
{
    UISoundRect* view = GetCurrentSoundRect();
    Parameter* param = view != nullptr ? view->GetCurrentParameter() : nullptr;
    return param != nullptr ? param->GetIndex() : -1;
}

const char* App::GetParamValueString() const
{
    return _paramEditor->GetParamValueString();
}

void App::ResetCurrentParam()
{
    _paramEditor->ResetParamString();
    if (Source* source = GetCurrentSource())
        source->ResetCurrentParameterIndex();
    if (UISoundRect* view = GetCurrentSoundRect())
        view->ResetCurrentParameterIndex();
}
