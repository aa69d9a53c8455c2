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
    if (_selectedSource >= 0)
        _sources[_selectedSource]->GetUI()->SetSelectState(false);
    view->SetSelectState(true);
    source->RegisterUI(view);
    _sources.push_back(source);
    _noteSources.resize(_sources.size());
    _selectedSource = int(_sources.size()) - 1;
    _pieMenu->InitFromParameters();
}

void App::DelSelectedSource()
{
    // Backspace edits a value being typed instead of removing the source.
    if (_paramEditor->IsEditingParamString() || _paramEditor->GetParamValueString() != nullptr || _selectedSource < 0)
        return;
    ReleaseSource(size_t(_selectedSource));
    _selectedSource = -1;
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

void App::Deselect(int kind)
{
    if (kind == SOURCE) {
        if (_selectedSource >= 0)
            _sources[_selectedSource]->GetUI()->SetSelectState(false);
        _selectedSource = -1;
    } else if (kind == RECT) {
        if (_selectedRect >= 0)
            _soundRects[_selectedRect]->GetUI()->SetSelectState(false);
        _selectedRect = -1;
    }
}

int App::PickSourceIndex(double nx, double ny) const
{
    // Sources created earlier win over later ones where they overlap.
    for (size_t i = 0; i < _sources.size(); i++) {
        if (_sources[i]->GetUI()->Pick(nx, ny))
            return int(i);
    }
    return -1;
}

void App::SelectSource(int index)
{
    _selectedSource = index;
    if (index >= 0)
        _sources[index]->GetUI()->SetSelectState(true);
}

void App::SelectRect(int index)
{
    _selectedRect = index;
    if (index >= 0)
        _soundRects[index]->GetUI()->SetSelectState(true);
}

void App::UpdateSourcePicking(double x, double y)
{
    Deselect(SOURCE);
    SelectSource(PickSourceIndex(x / GetWinWidth(), y / GetWinHeight()));
}

void App::UpdateRectPicking(double x, double y)
{
    double nx = x / GetWinWidth(), ny = y / GetWinHeight();
    int previous = _selectedRect;
    Deselect(RECT);
    int source = PickSourceIndex(nx, ny);
    if (source >= 0) {
        // A source under the pointer always takes precedence over any rect.
        _selectedSource = source;
        return;
    }
    // The rect selected before the click stays selected while it is still
    // under the pointer; otherwise the first rect under it is chosen.
    int choice = -1;
    for (size_t i = 0; i < _soundRects.size(); i++) {
        if (!_soundRects[i]->GetUI()->Pick(nx, ny))
            continue;
        if (choice == -1 || int(i) == previous)
            choice = int(i);
    }
    SelectRect(choice);
}

void App::SourceMouseDrag(double dx, double dy)
{
    Source* source = GetCurrentSource();
    if (source == nullptr || source->GetCurrentParameter() != nullptr)
        return;
    UISource* view = source->GetUI();
    view->UpdatePosition(view->GetX() + dx / GetWinWidth(), view->GetY() + dy / GetWinHeight());
}

void App::RectMouseDrag(double dx, double dy)
{
    UISoundRect* view = GetCurrentSoundRect();
    if (view == nullptr || view->GetCurrentParameter() != nullptr)
        return;
    view->UpdateRectPosition(view->GetX() + dx / GetWinWidth(), view->GetY() + dy / GetWinHeight());
}

void App::ScaleSoundRect(double x, double y, double dx, double dy)
{
    UISoundRect* view = GetCurrentSoundRect();
    if (view == nullptr)
        return;
    // The corner on the pointer's side of the centre moves with the pointer.
    view->DragCorner(x >= GetWinWidth() * view->GetX(), y >= GetWinHeight() * view->GetY(), dx / GetWinWidth(),
                     dy / GetWinHeight());
}

Source* App::GetCurrentSource() const
{
    return _selectedSource >= 0 ? _sources[_selectedSource] : nullptr;
}

UISoundRect* App::GetCurrentSoundRect() const
{
    return _selectedRect >= 0 ? _soundRects[_selectedRect]->GetUI() : nullptr;
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
    for (Source* note : _noteSources[_selectedSource])
        param->SetValue(note, param->GetValue());
}

void App::OpenPieMenu()
{
    if (IsSelectedSource() || IsSelectedRect())
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
    Deselect(SOURCE);
    UpdateSourcePicking(x, y);
    UpdateRectPicking(x, y);
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
