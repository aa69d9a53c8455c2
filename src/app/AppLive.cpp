#include <algorithm>
#include <string>

#include "app/App.h"
#include "app/AudioEngine.h"
#include "app/Selection.h"
#include "session/Serializer.h"
#include "sound/LiveRect.h"
#include "sound/LiveRing.h"
#include "sources/Source.h"
#include "ui/UILiveRect.h"
#include "ui/UIPieMenu.h"

void App::AddLiveRect(double x, double y)
{
    if (_audio == nullptr || _audio->GetNumInputs() == 0) {
        ShowMessage("No live rect: the audio stream has no input channel", true);
        return;
    }
    if (_liveRects.size() >= size_t(LiveRect::MAX_IN_SCENE)) {
        ShowMessage("No live rect: a scene holds at most " + std::to_string(LiveRect::MAX_IN_SCENE) +
                        " live rects, each about 70 MB of memory and a thread",
                    true);
        return;
    }
    NewLiveRect(x, y);
    // Which input it hears is the system's choice: said, lest the performer
    // play into a device that is not the one they think.
    ShowMessage(_audio->DescribeInput(), false);
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
    // Every source plays from every rect under it, the ones placed before too.
    for (size_t i = 0; i < _sources.size(); i++) {
        _sources[i]->AddRect(rect);
        for (Source* note : _noteSources[i])
            note->AddRect(rect);
    }
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
    if (count < 0 || count > LiveRect::MAX_IN_SCENE) {
        serializer->Refuse("it counts " + std::to_string(count) + " live rects, and a scene holds at most " +
                           std::to_string(LiveRect::MAX_IN_SCENE));
        return;
    }
    // The live rects there are take the saved places first (a scene recalled
    // while playing); the others are made, empty, and fill as the input arrives.
    for (int i = 0; i < count && !serializer->HasRunOut(); i++) {
        LiveRect* rect = size_t(i) < _liveRects.size() ? _liveRects[i] : NewLiveRect(0.0, 0.0);
        // The parameters of the record (length, freeze, gain) go to the rect
        // selected, as a source's go to the source just added.
        _selection->Deselect(Selection::RECT);
        _selection->SelectRect(int(std::find(_soundRects.begin(), _soundRects.end(), rect) - _soundRects.begin()));
        rect->UnSerialize(serializer);
    }
    _selection->Deselect(Selection::RECT);
}

void App::ToggleLiveFreeze()
{
    if (_liveRects.empty()) {
        ShowMessage("F8 freezes the live rects, and there is none (key 4 adds one)", false);
        return;
    }
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
