#include <algorithm>
#include <string>

#include "app/App.h"
#include "app/AudioEngine.h"
#include "app/Selection.h"
#include "parameters/Parameter.h"
#include "session/Serializer.h"
#include "sound/LiveRect.h"
#include "sound/LiveRing.h"
#include "ui/UILiveRect.h"
#include "ui/UIPieMenu.h"

namespace {
// More than any performer places; a count beyond it is a damaged file.
const int MAX_LIVE_RECTS = 64;
}  // namespace

void App::AddLiveRect(double x, double y)
{
    if (_audio == nullptr || _audio->GetNumInputs() == 0) {
        ShowMessage("No live rect: the audio stream has no input channel", true);
        return;
    }
    NewLiveRect(x, y);
    _selection->Deselect(Selection::SOURCE);
    _selection->Deselect(Selection::RECT);
    _selection->SelectRect(int(_soundRects.size()) - 1);
    // Its pie menu lays its boxes out around it, as a new source's does.
    if (_pieMenu != nullptr)
        _pieMenu->InitFromParameters();
}

LiveRect* App::NewLiveRect(double x, double y)
{
    LiveRect* rect = new LiveRect();
    UILiveRect* view = new UILiveRect(rect, this, GetStyle(), _screen, x / GetWinWidth(), y / GetWinHeight());
    rect->RegisterUI(view);
    _soundRects.push_back(rect);
    _samplesProviders.push_back(rect);
    _liveRects.push_back(rect);
    return rect;
}

void App::SerializeLiveRects(Serializer* serializer)
{
    serializer->PutInt(int(_liveRects.size()));
    for (LiveRect* rect : _liveRects)
        rect->Serialize(serializer);
}

void App::UnSerializeLiveRects(Serializer* serializer)
{
    int count = 0;
    if (!serializer->GetInt(&count))
        return;
    if (count < 0 || count > MAX_LIVE_RECTS) {
        serializer->Refuse("it counts " + std::to_string(count) + " live rects");
        return;
    }
    // The live rects there are take the saved places first (a scene recalled
    // while playing); the others are made, empty, and fill as the input arrives.
    for (int i = 0; i < count && !serializer->HasRunOut(); i++) {
        LiveRect* rect = size_t(i) < _liveRects.size() ? _liveRects[i] : NewLiveRect(0.0, 0.0);
        rect->UnSerialize(serializer);
        // The record sets the parameters' values; the view takes them up here.
        UILiveRect* view = static_cast<UILiveRect*>(rect->GetUI());
        view->SetLengthSeconds(view->GetParameter(UILiveRect::LENGTH)->GetValue());
        view->SetFrozen(view->GetParameter(UILiveRect::FREEZE)->GetValue() >= 0.5);
        view->SetGainDb(view->GetParameter(UILiveRect::GAIN)->GetValue());
    }
}

void App::ToggleLiveFreeze()
{
    if (_liveRects.empty())
        return;
    const bool allFrozen = std::all_of(_liveRects.begin(), _liveRects.end(),
                                       [](const LiveRect* rect) { return rect->GetRing()->IsFrozen(); });
    // Through the views, whose names say whether they are frozen.
    for (LiveRect* rect : _liveRects)
        static_cast<UILiveRect*>(rect->GetUI())->SetFrozen(!allFrozen);
    ShowMessage(allFrozen ? "Live input running" : "Live input frozen", false);
}

void App::CaptureInput(const float* input, unsigned int numChannels, unsigned int nFrames)
{
    for (LiveRect* rect : _liveRects)
        rect->Capture(input, nFrames, numChannels);
}
