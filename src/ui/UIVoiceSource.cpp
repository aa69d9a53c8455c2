#include "ui/UIVoiceSource.h"

#include <algorithm>

#include "sound/SoundRect.h"
#include "sources/SingleVoiceSource.h"
#include "ui/UIGrain.h"
#include "ui/UISoundRect.h"

UIVoiceSource::UIVoiceSource(SingleVoiceSource* source, UIStyle* style, UIScreen* screen, double x, double y,
                             std::vector<SoundRect*>* rects)
    : UISourceView(source, style, screen, x, y, *rects), _voiceSource(source)
{
    AddMarker();
}

void UIVoiceSource::GetTriggerPos(double* playPos, double* playVol, size_t numRects, double dur)
{
    bool hit = false;
    for (unsigned i = 0; i < std::min(_rects.size(), numRects); i++) {
        const UISoundRect* rectView = _rects[i]->GetUI();
        if (rectView != nullptr && rectView->GetNormedPosition(playPos, playVol, _x, _y, i))
            hit = true;
    }
    // Off every rect the grain is silent, and the marker shows no grain.
    UIGrain* marker = _uiGrains[0];
    if (hit)
        marker->TriggerAt(_x, _y, dur);
    else
        marker->MoveTo(_x, _y);
}

void UIVoiceSource::SetCurrentParameter(int idx)
{
    _voiceSource->SetCurrentParamIdx((SingleVoiceSource::ParamIndex)idx);
}
