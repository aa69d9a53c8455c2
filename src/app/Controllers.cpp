// The scene from outside the mouse and keyboard. MIDI input: every note on
// starts a copy of the selected source at the note's pitch, its note off ends
// every copy of that note, and the pitch wheel (or the mouse, while notes
// sound) bends the copies. MIDI learn: F9 binds the next Control Change to the
// picked parameter, Shift+F9 clears its binding. OSC messages set parameters,
// play notes, record and recall scenes. All of it is drained on the toolkit
// thread with the scene lock held; Control Changes themselves are applied by
// the audio callback at the start of each block (MidiLearn).
#include "app/Controllers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/App.h"
#include "app/CommandLine.h"
#include "app/FloatingWindows.h"
#include "app/SceneStore.h"
#include "app/Selection.h"
#include "app/SourceReleases.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "midi/MidiLearn.h"
#include "midi/MidiQueue.h"
#include "midi/MidiSystem.h"
#include "midi/MyRtMidiIn.h"
#include "midi/MyRtMidiOut.h"
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

Controllers::Controllers(App* app)
    : _app(app), _midiIn(new MyRtMidiIn()), _midiOut(new MyRtMidiOut()), _midiLearn(new MidiLearn(app)),
      _oscReport(new RateLimitedReport()), _osc(new OscServer(_oscReport)), _virtualPitch(0), _midiInJack(false),
      _jackMidiLost(false), _lostMidiSaid(0), _malformedMidiSaid(0)
{
    _midiIn->SetControlQueue(_midiLearn->GetQueue());
}

Controllers::~Controllers()
{
    delete _midiIn;
    delete _midiOut;
    delete _osc;
    delete _oscReport;
    delete _midiLearn;
}

void Controllers::Close()
{
    _osc->Stop();
    delete _midiIn;
    _midiIn = nullptr;
    delete _midiOut;
    _midiOut = nullptr;
}

void Controllers::SendNoteOn(int note)
{
    if (_midiOut != nullptr)
        _midiOut->SendNoteOn(note);
}

void Controllers::SendNoteOff(int note)
{
    if (_midiOut != nullptr)
        _midiOut->SendNoteOff(note);
}

void Controllers::OpenMidi(const Options& options)
{
    _virtualPitch = 0;
    RtMidi::Api api;
    std::string message;
    if (!MidiSystem::Choose(options.midiApi, &api, &message)) {
        printf("%s\n", message.c_str());
        return;
    }
    _midiInJack = api == RtMidi::UNIX_JACK;
    if (options.midiPort < 0) {
        // Ports of the instrument's own: a controller is connected to the
        // input, and the letter keys' notes leave by the output.
        _midiOut->OpenOwnPort(api);
        _midiIn->OpenOwnPort(api);
    } else if (options.midiPort == 0) {
        // Port 0 out, and in at the index of the output count: with a MIDI
        // through port that loops the letter keys back into the instrument.
        _midiIn->Open(api, _midiOut->Open(api, 0));
    } else {
        _midiIn->Open(api, options.midiPort);
    }
}

void Controllers::LetGoOfDeadJackMidi()
{
    // A server that only dropped the audio client keeps the MIDI ports alive.
    if (!_midiInJack || _jackMidiLost || MidiSystem::JackServerRuns())
        return;
    _midiIn->Abandon();
    _midiOut->Abandon();
    _jackMidiLost = true;
}

void Controllers::ReopenJackMidi(const Options& options)
{
    if (!_jackMidiLost)
        return;
    _jackMidiLost = false;
    OpenMidi(options);
}

MidiQueue* Controllers::GetMidiQueue() const
{
    return _midiIn->GetMidiQueue();
}

void Controllers::UpdateMidiIn()
{
    MidiQueue* queue = GetMidiQueue();
    MidiQueue::MidiMessage message;
    while (queue->PopMessage(&message)) {
        // Most keyboards end a note with a note on of velocity 0: taken as a
        // note on, every key release would start a copy that never stops.
        if (message.IsNoteOn() && message.GetVelocity() > 0) {
            // Without a selected source a note has nothing to play.
            const int selected = _app->GetSelection()->GetSelectedSourceIndex();
            if (selected >= 0)
                StartNoteSource(selected, message.GetNoteNumber(), message.GetVelocity());
        } else if (message.IsNoteOff() || message.IsNoteOn()) {
            StopNoteSources(message.GetNoteNumber());
        } else if (message.IsPitchWheel()) {
            BendNoteSources(message.GetPitchWheel());
            if (Source* source = _app->GetCurrentSource())
                source->SetMidiPitchWheelValue(message.GetPitchWheel());
        }
    }
    if (!IsPlayingNoteSource())
        _virtualPitch = 0;
    ReportLostMidi();
}

void Controllers::ReportLostMidi()
{
    const size_t burst = GetMidiQueue()->GetDropped() + _midiLearn->GetQueue()->GetDropped();
    const size_t malformed = GetMidiQueue()->GetMalformed() + _midiLearn->GetQueue()->GetMalformed();
    const auto now = std::chrono::steady_clock::now();
    if ((burst == _lostMidiSaid && malformed == _malformedMidiSaid) ||
        (_lostMidiSaid + _malformedMidiSaid > 0 && now - _lostMidiSaidAt < std::chrono::seconds(1)))
        return;
    std::string text = "MIDI input: ";
    if (burst != _lostMidiSaid)
        text += std::to_string(burst - _lostMidiSaid) + " messages lost, more came at once than the " +
                std::to_string(MidiQueue::CAPACITY) + " that can wait";
    if (malformed != _malformedMidiSaid)
        text += std::string(burst != _lostMidiSaid ? "; " : "") + std::to_string(malformed - _malformedMidiSaid) +
                " messages dropped that are not well-formed MIDI";
    _app->ShowMessage(text, true);
    _lostMidiSaid = burst;
    _malformedMidiSaid = malformed;
    _lostMidiSaidAt = now;
}

void Controllers::StartNoteSource(int source, int note, int velocity)
{
    Source* copy = _app->GetSources()[source]->Clone();
    copy->SetMidiNote(note);
    copy->SetNoteLevel(Source::VelocityToLevel(velocity));
    _app->_noteSources[source].push_back(copy);
}

void Controllers::StopNoteSources(int note)
{
    // Every copy playing that note ends, whichever source it was cloned
    // from, fading out through its source's chain over the next block.
    _app->_releases->FreeFinished();
    for (size_t i = 0; i < _app->_noteSources.size(); i++) {
        std::vector<Source*>& notes = _app->_noteSources[i];
        auto ended =
            std::stable_partition(notes.begin(), notes.end(), [note](Source* s) { return s->GetMidiNote() != note; });
        for (auto it = ended; it != notes.end(); ++it)
            _app->_releases->Add(*it, _app->GetSources()[i]->GetEffectsBox(), true);
        notes.erase(ended, notes.end());
    }
}

void Controllers::BendNoteSources(double wheel)
{
    for (std::vector<Source*>& notes : _app->_noteSources) {
        for (Source* note : notes)
            note->SetMidiPitchWheelValue(wheel);
    }
}

bool Controllers::IsPlayingNoteSource() const
{
    return std::any_of(_app->_noteSources.begin(), _app->_noteSources.end(),
                       [](const std::vector<Source*>& notes) { return !notes.empty(); });
}

void Controllers::ApplyVirtualPitchWheel(double dx, double dy)
{
    // The mouse is a pitch wheel while notes sound: 500 canvas pixels bend a full octave.
    _virtualPitch += 0.002 * (std::fabs(dx) > std::fabs(dy) ? dx : dy);
    _virtualPitch = std::clamp(_virtualPitch, -1.0, 1.0);
    BendNoteSources(_virtualPitch);
}

bool Controllers::StartOsc(int port)
{
    std::string error;
    if (!_osc->Start(port, &error)) {
        _app->ShowMessage(error + "; the instrument goes on without OSC", true);
        return false;
    }
    std::cout << "Listening for OSC on localhost:" << port << std::endl;
    return true;
}

ControlTarget Controllers::GetChainTarget(const EffectsBox* chain, int effect, int param) const
{
    if (chain == _app->GetMasterEffectsBox())
        return ControlTarget::MasterEffect(effect, param);
    for (size_t i = 0; i < _app->GetSources().size(); i++) {
        if (_app->GetSources()[i]->GetEffectsBox() == chain)
            return ControlTarget::SourceEffect(int(i), effect, param);
    }
    return ControlTarget();
}

ControlTarget Controllers::GetKnobTargetAt(int x, int y) const
{
    const UIWindow* window = _app->GetWindows()->GetEffectsWindow();
    EffectsBox* chain = _app->GetWindows()->GetEffectsWindowChain();
    if (window == nullptr || !window->IsVisible() || chain == nullptr)
        return ControlTarget();
    const double nx = double(x) / _app->GetWinWidth(), ny = double(y) / _app->GetWinHeight();
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        UIEffect* panel = _app->GetWindows()->GetEffectsCanvas()->GetEffect(EffectsBox::EffectIdx(e));
        for (int k = 0; k < panel->GetNumWidgets(); k++) {
            if (panel->GetWidget(k)->Pick(nx, ny))
                return GetChainTarget(chain, e, k);
        }
    }
    return ControlTarget();
}

ControlTarget Controllers::GetLearnTarget(int x, int y) const
{
    ControlTarget knob = GetKnobTargetAt(x, y);
    if (knob.IsSet())
        return knob;
    if (_app->GetCurrentSourceParamIdx() >= 0)
        return ControlTarget::SourceParam(_app->GetSelection()->GetSelectedSourceIndex(),
                                          _app->GetCurrentSourceParamIdx());
    if (_app->GetCurrentRectParamIdx() >= 0)
        return ControlTarget::RectParam(_app->GetSelection()->GetSelectedRectIndex(), _app->GetCurrentRectParamIdx());
    return ControlTarget();
}

std::string Controllers::DescribeTarget(const ControlTarget& target) const
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

void Controllers::ArmMidiLearn(int x, int y)
{
    const ControlTarget target = GetLearnTarget(x, y);
    if (!target.IsSet()) {
        _app->ShowMessage(
            "MIDI learn: pick a parameter in the pie menu, or point at a knob of the effects window, then F9", false);
        return;
    }
    _midiLearn->Arm(target);
    _app->ShowMessage("MIDI learn: move a controller for " + DescribeTarget(target), false);
}

void Controllers::ClearMidiBinding(int x, int y)
{
    const ControlTarget target = GetLearnTarget(x, y);
    if (!target.IsSet())
        return;
    if (_midiLearn->GetArmed() == target)
        _midiLearn->Disarm();
    const bool had = _midiLearn->Unbind(target);
    _app->ShowMessage(DescribeTarget(target) + (had ? " follows no controller any more" : " had no controller"), false);
}

void Controllers::UpdateControllers()
{
    ControlTarget learned;
    int channel = 0, controller = 0;
    if (_midiLearn->ApplyOnGui(&learned, &channel, &controller)) {
        _app->ShowMessage("MIDI learn: controller " + std::to_string(controller) + " (channel " +
                              std::to_string(channel) + ") now drives " + DescribeTarget(learned),
                          false);
    }
    OscCommand command;
    while (_osc->PopCommand(&command))
        ApplyOscCommand(command);
}

int Controllers::FindSourceParameter(int source, const char* addressName) const
{
    Source* s = _app->GetSources()[source];
    for (int p = 0; p < s->GetNumParams(); p++) {
        const UIParameter* ui = s->GetParameter(p)->GetUI();
        if (ui != nullptr && OscParser::AddressName(ui->GetName()) == addressName)
            return p;
    }
    return -1;
}

void Controllers::ApplyOscCommand(const OscCommand& command)
{
    const SceneControl& control = _midiLearn->GetSceneControl();
    const bool sourceExists = command.index >= 0 && command.index < int(_app->GetSources().size());
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
        if ((command.value > 0.5) != _app->IsBouncing())
            _app->ToggleAudioBounce();
        break;
    case OscCommand::SCENE_RECALL:
        if (command.index >= 1 && command.index <= SceneFiles::NUM_SLOTS)
            _app->GetScenes()->RecallSceneSlot(command.index);
        else
            _oscReport->Report("OSC /scene/recall " + std::to_string(command.index) + ": the slots are 1 to " +
                               std::to_string(SceneFiles::NUM_SLOTS));
        break;
    default:
        break;
    }
}
