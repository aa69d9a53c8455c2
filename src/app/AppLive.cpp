#include <algorithm>

#include "app/App.h"
#include "app/AudioEngine.h"
#include "sound/LiveRect.h"
#include "sound/LiveRing.h"
#include "ui/UILiveRect.h"
#include "ui/UIPieMenu.h"

void App::AddLiveRect(double x, double y)
{
    if (_audio == nullptr || _audio->GetNumInputs() == 0) {
        ShowMessage("No live rect: the audio stream has no input channel", true);
        return;
    }
    LiveRect* rect = new LiveRect();
    UILiveRect* view = new UILiveRect(rect, this, GetStyle(), _screen, x / GetWinWidth(), y / GetWinHeight());
    rect->RegisterUI(view);
    _soundRects.push_back(rect);
    _samplesProviders.push_back(rect);
    _liveRects.push_back(rect);
    Deselect(SOURCE);
    Deselect(RECT);
    SelectRect(int(_soundRects.size()) - 1);
    // Its pie menu lays its boxes out around it, as a new source's does.
    if (_pieMenu != nullptr)
        _pieMenu->InitFromParameters();
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
