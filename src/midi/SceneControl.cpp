#include "midi/SceneControl.h"

#include <cmath>
#include <vector>

#include "app/App.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "parameters/Parameter.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "sources/Source.h"
#include "ui/UISoundRect.h"

namespace {
Parameter* EffectParameterOf(EffectsBox* chain, int effect, int param)
{
    if (chain == nullptr || effect < 0 || effect >= EffectsBox::NUM_EFFECTS)
        return nullptr;
    Effect* fx = chain->GetEffect(EffectsBox::EffectIdx(effect));
    return param >= 0 && param < fx->GetNumParams() ? fx->GetParameter(param) : nullptr;
}

Parameter* ProviderParameterOf(ParameterProvider* provider, int param)
{
    if (provider == nullptr || param < 0 || param >= provider->GetNumParams())
        return nullptr;
    return provider->GetParameter(param);
}
}  // namespace

SceneControl::SceneControl(App* app) : _app(app)
{
}

ParameterProvider* SceneControl::FindProvider(const ControlTarget& target) const
{
    const int i = target.object;
    if (target.kind == ControlTarget::SOURCE_PARAM && i >= 0 && i < int(_app->GetSources().size()))
        return _app->GetSources()[i];
    if (target.kind == ControlTarget::RECT_PARAM && i >= 0 && i < int(_app->GetSoundRects().size()))
        return _app->GetSoundRects()[i]->GetUI();
    return nullptr;
}

Parameter* SceneControl::Find(const ControlTarget& target) const
{
    switch (target.kind) {
    case ControlTarget::SOURCE_PARAM:
    case ControlTarget::RECT_PARAM:
        return ProviderParameterOf(FindProvider(target), target.param);
    case ControlTarget::SOURCE_EFFECT:
        if (target.object < 0 || target.object >= int(_app->GetSources().size()))
            return nullptr;
        return EffectParameterOf(_app->GetSources()[target.object]->GetEffectsBox(), target.effect, target.param);
    case ControlTarget::MASTER_EFFECT:
        return EffectParameterOf(_app->GetMasterEffectsBox(), target.effect, target.param);
    default:
        return nullptr;
    }
}

bool SceneControl::IsSoundOnly(const ControlTarget& target) const
{
    if (target.kind == ControlTarget::RECT_PARAM)
        return false;
    if (target.kind != ControlTarget::SOURCE_PARAM)
        return true;
    const ParameterProvider* provider = FindProvider(target);
    if (provider == nullptr || static_cast<const Source*>(provider)->GetSourceType() != Source::GRAIN_CLOUD)
        return true;
    switch (target.param) {
    case GrainCloud::NUMGRAINS:
    case GrainCloud::MOTIONX:
    case GrainCloud::MOTIONY:
    case GrainCloud::MOTIONXY:
        return false;
    default:
        return true;
    }
}

bool SceneControl::Set(const ControlTarget& target, double value, Thread thread) const
{
    Parameter* param = Find(target);
    if (param == nullptr || !std::isfinite(value))
        return false;
    ParameterProvider* provider = FindProvider(target);
    if (provider == nullptr) {
        // An effect parameter: the effect reads the value at its next block.
        if (thread == GUI_THREAD)
            param->SetValue(value);
        else
            param->SetValueCheckBounds(value);
        return true;
    }
    param->SetValue(provider, value);
    // The copies play the source's settings, as they do for a dragged value.
    if (target.kind == ControlTarget::SOURCE_PARAM) {
        for (Source* note : _app->GetNoteSources()[target.object])
            param->SetValue(note, param->GetValue());
    }
    return true;
}

bool SceneControl::SetNormalized(const ControlTarget& target, double position, Thread thread) const
{
    const Parameter* param = Find(target);
    return param != nullptr && Set(target, param->ValueAtNormalized(position), thread);
}

void SceneControl::RefreshText(const ControlTarget& target) const
{
    // Provider parameters read their text from the owner whenever they are
    // drawn; an effect's text is written when its value is.
    if (FindProvider(target) != nullptr)
        return;
    if (Parameter* param = Find(target))
        param->UpdateValue();
}
