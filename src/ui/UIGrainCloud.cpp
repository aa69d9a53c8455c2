#include "ui/UIGrainCloud.h"

#include <algorithm>

#include "session/Serializer.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "sources/RandomGenerator.h"
#include "ui/UIGrain.h"
#include "ui/UIScreen.h"
#include "ui/UISoundRect.h"

namespace {
// Spread of a new cloud in pixels.
const double INITIAL_SPREAD_PIXELS = 3.0;
}  // namespace

UIGrainCloud::UIGrainCloud(GrainCloud* grain, UIStyle* style, UIScreen* screen, double x, double y, unsigned numVoices,
                           const std::vector<SoundRect*>& rects)
    : UISourceView(grain, style, screen, x, y, rects), _xRandExtent(INITIAL_SPREAD_PIXELS / screen->GetWidth()),
      _yRandExtent(INITIAL_SPREAD_PIXELS / screen->GetHeight()), _randExtentCoeff(1.0), _grain(grain)
{
    for (unsigned i = 0; i < numVoices; i++)
        AddGrain();
}

void UIGrainCloud::AddGrain()
{
    AddMarker();
}

void UIGrainCloud::RemoveGrain()
{
    if (_uiGrains.size() <= 1)
        return;
    delete _uiGrains.back();
    _uiGrains.pop_back();
}

void UIGrainCloud::SetCurrentParameter(int idx)
{
    _grain->SetCurrentParamIdx((GrainCloud::ParamIndex)idx);
}

double UIGrainCloud::TriangularOffset(double extent, RandomGenerator* random)
{
    // Two draws in a fixed order, so a seeded generator gives the same cloud.
    const float first = random->NextUnit();
    const float second = random->NextUnit();
    return first * extent - second * extent;
}

void UIGrainCloud::GetTriggerPos(unsigned idx, double* playPos, double* playVol, size_t numRects, double dur,
                                 RandomGenerator* random)
{
    if (idx >= _uiGrains.size())
        return;
    const double newY = _y + TriangularOffset(_yRandExtent * _randExtentCoeff, random);
    const double newX = _x + TriangularOffset(_xRandExtent * _randExtentCoeff, random);
    for (unsigned i = 0; i < std::min(_rects.size(), numRects); i++) {
        const UISoundRect* rectView = _rects[i]->GetUI();
        if (rectView != nullptr)
            rectView->GetNormedPosition(playPos, playVol, newX, newY, i);
    }
    // The marker flashes even where the grain misses every rect: the cloud
    // still spent a voice on it.
    _uiGrains[idx]->TriggerAt(newX, newY, dur);
}

void UIGrainCloud::SerializeSpread(Serializer* serializer)
{
    serializer->PutDouble(_xRandExtent);
    serializer->PutDouble(_yRandExtent);
    serializer->PutDouble(_randExtentCoeff);
}

void UIGrainCloud::UnSerializeSpread(Serializer* serializer)
{
    serializer->GetDoubleIn(&_xRandExtent, 0.0, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&_yRandExtent, 0.0, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&_randExtentCoeff, 0.0, Serializer::MAX_SCENE_EXTENT);
}
