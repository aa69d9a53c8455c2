// Parameters under the performer's hands from outside the mouse and keyboard:
// MIDI learn (F9 binds the next Control Change to the picked parameter,
// Shift+F9 clears its binding) and OSC messages, drained on the toolkit
// thread with the scene lock held. Control Changes themselves are applied by
// the audio callback at the start of each block (MidiLearn).
#include <iostream>
#include <string>

#include "app/App.h"
#include "app/FloatingWindows.h"
#include "app/SceneStore.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "midi/MidiLearn.h"
#include "midi/OscCommand.h"
#include "midi/OscServer.h"
#include "midi/RateLimitedReport.h"
#include "parameters/Parameter.h"
#include "sound/SoundRect.h"
#include "sources/Source.h"
#include "ui/UIEffect.h"
#include "ui/UIEffectWidget.h"
#include "ui/UIEffectsCanvas.h"
#include "ui/UIParameter.h"
#include "ui/UISoundRect.h"
#include "ui/UIWindow.h"

bool App::StartOsc(int port)
{
    std::string error;
    if (!_osc->Start(port, &error)) {
        ShowMessage(error + "; the instrument goes on without OSC", true);
        return false;
    }
    std::cout << "Listening for OSC on localhost:" << port << std::endl;
    return true;
}

ControlTarget App::GetChainTarget(const EffectsBox* chain, int effect, int param) const
{
    if (chain == _masterEffectsBox)
        return ControlTarget::MasterEffect(effect, param);
    for (size_t i = 0; i < _sources.size(); i++) {
        if (_sources[i]->GetEffectsBox() == chain)
            return ControlTarget::SourceEffect(int(i), effect, param);
    }
    return ControlTarget();
}

ControlTarget App::GetKnobTargetAt(int x, int y) const
{
    const UIWindow* window = _windows->GetEffectsWindow();
    EffectsBox* chain = _windows->GetEffectsWindowChain();
    if (window == nullptr || !window->IsVisible() || chain == nullptr)
        return ControlTarget();
    const double nx = double(x) / GetWinWidth(), ny = double(y) / GetWinHeight();
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        UIEffect* panel = _windows->GetEffectsCanvas()->GetEffect(EffectsBox::EffectIdx(e));
        for (int k = 0; k < panel->GetNumWidgets(); k++) {
            if (panel->GetWidget(k)->Pick(nx, ny))
                return GetChainTarget(chain, e, k);
        }
    }
    return ControlTarget();
}

ControlTarget App::GetLearnTarget(int x, int y) const
{
    ControlTarget knob = GetKnobTargetAt(x, y);
    if (knob.IsSet())
        return knob;
    if (GetCurrentSourceParamIdx() >= 0)
        return ControlTarget::SourceParam(_selectedSource, GetCurrentSourceParamIdx());
    if (GetCurrentRectParamIdx() >= 0)
        return ControlTarget::RectParam(_selectedRect, GetCurrentRectParamIdx());
    return ControlTarget();
}

std::string App::DescribeTarget(const ControlTarget& target) const
{
    const Parameter* param = _midiLearn->GetSceneControl().Find(target);
    if (param == nullptr)
        return "nothing";
    const std::string object = std::to_string(target.object + 1);
    switch (target.kind) {
    case ControlTarget::SOURCE_PARAM:
        return std::string(param->GetUI()->GetName()) + " of source " + object;
    case ControlTarget::RECT_PARAM:
        return std::string(param->GetUI()->GetName()) + " of rect " + object;
    case ControlTarget::SOURCE_EFFECT:
        return std::string(OscParser::GetEffectName(target.effect)) + " " +
               OscParser::GetKnobName(target.effect, target.param) + " of source " + object;
    default:
        return std::string("master ") + OscParser::GetEffectName(target.effect) + " " +
               OscParser::GetKnobName(target.effect, target.param);
    }
}

void App::ArmMidiLearn(int x, int y)
{
    const ControlTarget target = GetLearnTarget(x, y);
    if (!target.IsSet()) {
        ShowMessage("MIDI learn: pick a parameter in the pie menu, or point at a knob of the effects window, then F9",
                    false);
        return;
    }
    _midiLearn->Arm(target);
    ShowMessage("MIDI learn: move a controller for " + DescribeTarget(target), false);
}

void App::ClearMidiBinding(int x, int y)
{
    const ControlTarget target = GetLearnTarget(x, y);
    if (!target.IsSet())
        return;
    if (_midiLearn->GetArmed() == target)
        _midiLearn->Disarm();
    const bool had = _midiLearn->Unbind(target);
    ShowMessage(DescribeTarget(target) + (had ? " follows no controller any more" : " had no controller"), false);
}

void App::UpdateControllers()
{
    ControlTarget learned;
    int channel = 0, controller = 0;
    if (_midiLearn->ApplyOnGui(&learned, &channel, &controller)) {
        ShowMessage("MIDI learn: controller " + std::to_string(controller) + " (channel " + std::to_string(channel) +
                        ") now drives " + DescribeTarget(learned),
                    false);
    }
    OscCommand command;
    while (_osc->PopCommand(&command))
        ApplyOscCommand(command);
}

int App::FindSourceParameter(int source, const char* addressName) const
{
    Source* s = _sources[source];
    for (int p = 0; p < s->GetNumParams(); p++) {
        const UIParameter* ui = s->GetParameter(p)->GetUI();
        if (ui != nullptr && OscParser::AddressName(ui->GetName()) == addressName)
            return p;
    }
    return -1;
}

void App::ApplyOscCommand(const OscCommand& command)
{
    const SceneControl& control = _midiLearn->GetSceneControl();
    const bool sourceExists = command.index >= 0 && command.index < int(_sources.size());
    switch (command.kind) {
    case OscCommand::SOURCE_PARAM: {
        const int param = sourceExists ? FindSourceParameter(command.index, command.name) : -1;
        if (param < 0) {
            _oscReport->Report("OSC /source/" + std::to_string(command.index) + "/" + command.name +
                               ": no such source or parameter");
            return;
        }
        control.Set(ControlTarget::SourceParam(command.index, param), command.value, SceneControl::GUI_THREAD);
        break;
    }
    case OscCommand::SOURCE_NOTE:
        if (!sourceExists) {
            _oscReport->Report("OSC /source/" + std::to_string(command.index) + "/note: no such source");
        } else if (command.velocity > 0) {
            StartNoteSource(command.index, command.note, command.velocity);
        } else {
            StopNoteSources(command.note);
        }
        break;
    case OscCommand::MASTER_EFFECT:
        control.Set(ControlTarget::MasterEffect(command.index, command.param), command.value, SceneControl::GUI_THREAD);
        break;
    case OscCommand::RECORD:
        if ((command.value > 0.5) != IsBouncing())
            ToggleAudioBounce();
        break;
    case OscCommand::SCENE_RECALL:
        if (command.index >= 1 && command.index <= SceneFiles::NUM_SLOTS)
            _scenes->RecallSceneSlot(command.index);
        else
            _oscReport->Report("OSC /scene/recall " + std::to_string(command.index) + ": the slots are 1 to " +
                               std::to_string(SceneFiles::NUM_SLOTS));
        break;
    default:
        break;
    }
}
