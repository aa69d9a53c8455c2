// The scene from outside the mouse and keyboard. MIDI input, as a synth
// takes it: every note on starts a copy of the selected source at the note's
// pitch, its note off ends that note's copies on its channel (or the
// channel's sustain pedal holds them), the channel's pitch wheel (or the
// mouse, while notes sound) bends its copies, the channel mode messages end
// them, and a Program Change recalls a scene slot. MIDI learn: F9 binds the
// next Control Change to the picked parameter, Shift+F9 clears its binding.
// OSC messages set parameters, play notes, record and recall scenes. All of
// it is drained on the toolkit thread with the scene lock held; Control
// Changes themselves are applied by the audio callback at the start of each
// block (MidiLearn), but for the pedal and the channel modes (MyRtMidiIn).
#include "app/Controllers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/CommandLine.h"
#include "app/FloatingWindows.h"
#include "app/SceneStore.h"
#include "app/Selection.h"
#include "app/SourceReleases.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "midi/MidiChannels.h"
#include "midi/MidiLearn.h"
#include "midi/MidiSystem.h"
#include "midi/MyRtMidiIn.h"
#include "midi/MyRtMidiOut.h"
#include "midi/OscCommand.h"
#include "midi/OscServer.h"
#include "midi/OscSubscribers.h"
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

namespace {
// The notes played over OSC follow no MIDI channel's pedal nor wheel.
const int OSC_CHANNEL = 0;
// The mouse's bend at either end of its travel, in semitones.
const double VIRTUAL_BEND_RANGE = 12.0;
}  // namespace

Controllers::Controllers(App* app)
    : _app(app), _midiIn(new MyRtMidiIn()), _midiOut(new MyRtMidiOut()), _midiLearn(new MidiLearn(app)),
      _channels(new MidiChannels()), _oscReport(new RateLimitedReport()), _osc(new OscServer(_oscReport)),
      _oscSubscribers(new OscSubscribers(_osc)), _virtualPitch(0), _midiInJack(false), _jackMidiLost(false),
      _notesStarted(0), _lostMidiSaid(0), _malformedMidiSaid(0), _noSourceForNotesSaid(false)
{
    _midiIn->SetControlQueue(_midiLearn->GetQueue());
    // A sender gone wrong is seen where the performer looks, not only in a
    // terminal: UpdateControllers shows the report's lines.
    _oscReport->KeepForTaking();
}

Controllers::~Controllers()
{
    delete _midiIn;
    delete _midiOut;
    delete _oscSubscribers;
    delete _osc;
    delete _oscReport;
    delete _midiLearn;
    delete _channels;
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

std::string Controllers::OpenMidi(const Options& options)
{
    _virtualPitch = 0;
    RtMidi::Api api;
    std::string message;
    if (!MidiSystem::Choose(options.midiApi, &api, &message))
        return message;
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
    return "";
}

void Controllers::LetGoOfDeadJackMidi()
{
    // A server that only dropped the audio client keeps the MIDI ports alive.
    if (_midiInJack && !_jackMidiLost && !MidiSystem::JackServerRuns())
        LetGoOfJackMidi();
}

void Controllers::LetGoOfJackMidi()
{
    if (!_midiInJack || _jackMidiLost)
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
    const std::string off = OpenMidi(options);
    if (!off.empty())
        _app->ShowMessage(off, false);
}

MidiQueue* Controllers::GetMidiQueue() const
{
    return _midiIn->GetMidiQueue();
}

void Controllers::UpdateMidiIn()
{
    MidiQueue* queue = GetMidiQueue();
    MidiQueue::MidiMessage message;
    while (queue->PopMessage(&message))
        TakeMidiMessage(message);
    if (_app->GetSelection()->GetSelectedSourceIndex() >= 0)
        _noSourceForNotesSaid = false;
    if (!IsPlayingNoteSource())
        _virtualPitch = 0;
    ReportLostMidi();
}

void Controllers::TakeMidiMessage(const MidiQueue::MidiMessage& message)
{
    const int channel = message.GetChannel();
    // Most keyboards end a note with a note on of velocity 0: taken as a
    // note on, every key release would start a copy that never stops.
    if (message.IsNoteOn() && message.GetVelocity() > 0) {
        // Without a selected source a note has nothing to play.
        const int selected = _app->GetSelection()->GetSelectedSourceIndex();
        if (selected >= 0)
            StartNoteSource(selected, channel, message.GetNoteNumber(), message.GetVelocity());
        else
            SayNoSourceForNotes();
    } else if (message.IsNoteOff() || message.IsNoteOn()) {
        EndNote(channel, message.GetNoteNumber());
    } else if (message.IsControlChange()) {
        TakeControlChange(channel, message.GetController(), message.GetControllerValue());
    } else if (message.IsPitchWheel()) {
        _channels->SetWheel(channel, message.GetPitchWheel());
        BendNoteSources();
    } else if (message.IsProgramChange()) {
        RecallProgram(message.GetProgram());
    } else if (message.IsSystemReset()) {
        for (int c = 1; c <= MidiChannels::NUM_CHANNELS; c++)
            _channels->ResetControllers(c);
        SilenceAllNotes();
    }
}

void Controllers::TakeControlChange(int channel, int controller, int value)
{
    using Message = MidiQueue::MidiMessage;
    if (controller == Message::SUSTAIN_PEDAL) {
        const bool down = value >= 64;
        _channels->SetPedalDown(channel, down);
        if (!down)
            LiftPedal(channel);
    } else if (controller == Message::ALL_SOUND_OFF) {
        EndChannelNotes(channel, false);
    } else if (controller == Message::RESET_ALL_CONTROLLERS) {
        _channels->ResetControllers(channel);
        LiftPedal(channel);
        BendNoteSources();
    } else if (controller >= Message::ALL_NOTES_OFF) {
        // Omni and mono/poly mode changes (124 to 127) end the notes too.
        EndChannelNotes(channel, true);
    }
}

void Controllers::RecallProgram(int program)
{
    if (program < SceneFiles::NUM_SLOTS) {
        _app->GetScenes()->RecallSceneSlot(program + 1);
        return;
    }
    _app->ShowMessage("MIDI Program Change " + std::to_string(program) + ": programs 0 to " +
                          std::to_string(SceneFiles::NUM_SLOTS - 1) + " recall scene slots 1 to " +
                          std::to_string(SceneFiles::NUM_SLOTS) + ", the others nothing",
                      true);
}

void Controllers::SayNoSourceForNotes()
{
    // Once until a source is selected: a keyboard played on would repeat it
    // at every key.
    if (_noSourceForNotesSaid)
        return;
    _app->ShowMessage("MIDI notes play the selected source, and none is selected", false);
    _noSourceForNotesSaid = true;
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

void Controllers::StartNoteSource(int source, int channel, int note, int velocity)
{
    MakeRoomForANote(size_t(source));
    Source* copy = _app->GetSources()[source]->Clone();
    copy->SetMidiNote(note);
    copy->SetMidiChannel(channel);
    copy->SetPitchBend(BendOf(channel));
    copy->SetNoteOrder(_notesStarted++);
    copy->SetNoteLevel(Source::VelocityToLevel(velocity));
    _app->_noteSources[source].push_back(copy);
}

void Controllers::MakeRoomForANote(size_t source)
{
    const bool sourceFull = _app->_noteSources[source].size() >= MAX_NOTES_PER_SOURCE;
    if (!sourceFull && CountNoteSources() < MAX_NOTES)
        return;
    ReleaseNoteSource(sourceFull ? source : SourceOfTheOldestNote(), 0);
    // A burst of notes frees what it let go of as it goes, not at the next frame.
    _app->_releases->FreeFinished();
    const auto now = std::chrono::steady_clock::now();
    if (now - _notesFullSaidAt < std::chrono::seconds(1))
        return;
    _notesFullSaidAt = now;
    _app->ShowMessage("Notes: at most " + std::to_string(MAX_NOTES_PER_SOURCE) + " copies of a source and " +
                          std::to_string(MAX_NOTES) + " in all sound at once; the oldest fades out for a new one",
                      true);
}

size_t Controllers::CountNoteSources() const
{
    size_t count = 0;
    for (const std::vector<Source*>& notes : _app->_noteSources)
        count += notes.size();
    return count;
}

size_t Controllers::SourceOfTheOldestNote() const
{
    size_t oldest = 0;
    uint64_t oldestOrder = UINT64_MAX;
    for (size_t i = 0; i < _app->_noteSources.size(); i++) {
        const std::vector<Source*>& notes = _app->_noteSources[i];
        if (!notes.empty() && notes.front()->GetNoteOrder() < oldestOrder) {
            oldest = i;
            oldestOrder = notes.front()->GetNoteOrder();
        }
    }
    return oldest;
}

void Controllers::ReleaseNoteSource(size_t source, size_t index)
{
    std::vector<Source*>& notes = _app->_noteSources[source];
    // A burst evicts copies faster than blocks fade them: past a source's
    // worth of fades at once, the copy (barely started) ends unheard.
    const bool audible = _app->_releases->CountFading() < MAX_NOTES_PER_SOURCE;
    _app->_releases->Add(notes[index], _app->GetSources()[source]->GetEffectsBox(), audible);
    notes.erase(notes.begin() + long(index));
}

void Controllers::EndNote(int channel, int note)
{
    auto isTheNote = [channel, note](const Source* s) {
        return s->GetMidiChannel() == channel && s->GetMidiNote() == note;
    };
    if (!_channels->IsPedalDown(channel)) {
        EndNoteSourcesWhere(isTheNote, true);
        return;
    }
    for (std::vector<Source*>& notes : _app->_noteSources) {
        for (Source* s : notes) {
            if (isTheNote(s))
                s->SetHeldByPedal(true);
        }
    }
}

void Controllers::LiftPedal(int channel)
{
    _channels->SetPedalDown(channel, false);
    EndNoteSourcesWhere([channel](const Source* s) { return s->GetMidiChannel() == channel && s->IsHeldByPedal(); },
                        true);
}

void Controllers::EndChannelNotes(int channel, bool audible)
{
    // Held by the pedal or not: these are the messages that stop a hanging note.
    EndNoteSourcesWhere([channel](const Source* s) { return s->GetMidiChannel() == channel; }, audible);
}

void Controllers::SilenceAllNotes()
{
    EndNoteSourcesWhere([](const Source*) { return true; }, false);
}

void Controllers::EndNoteSourcesWhere(const std::function<bool(const Source*)>& ends, bool audible)
{
    // Whichever source a copy was cloned from, it ends through that source's chain.
    _app->_releases->FreeFinished();
    for (size_t i = 0; i < _app->_noteSources.size(); i++) {
        std::vector<Source*>& notes = _app->_noteSources[i];
        auto ended = std::stable_partition(notes.begin(), notes.end(), [&ends](Source* s) { return !ends(s); });
        for (auto it = ended; it != notes.end(); ++it)
            _app->_releases->Add(*it, _app->GetSources()[i]->GetEffectsBox(), audible);
        notes.erase(ended, notes.end());
    }
}

void Controllers::SetBendRange(int semitones)
{
    _channels->SetBendRange(semitones);
    BendNoteSources();
}

double Controllers::BendOf(int channel) const
{
    return _channels->GetBendSemitones(channel) + VIRTUAL_BEND_RANGE * _virtualPitch;
}

void Controllers::BendNoteSources()
{
    for (std::vector<Source*>& notes : _app->_noteSources) {
        for (Source* note : notes)
            note->SetPitchBend(BendOf(note->GetMidiChannel()));
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
    BendNoteSources();
}

bool Controllers::StartOsc(const std::string& listenAddress, int port)
{
    std::string error;
    if (!_osc->Start(listenAddress, port, &error)) {
        _app->ShowMessage(error + "; the instrument goes on without OSC", true);
        return false;
    }
    std::cout << "Listening for OSC on " << listenAddress << ":" << port << std::endl;
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
    if (!_oscSubscribers->IsEmpty())
        OfferParametersToSubscribers();
    std::string oscError;
    if (_oscReport->TakeKept(&oscError))
        _app->ShowMessage(oscError, true);
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
    const bool sourceExists = command.index >= 0 && command.index < int(_app->GetSources().size());
    switch (command.kind) {
    case OscCommand::SOURCE_PARAM: {
        const int param = sourceExists ? FindSourceParameter(command.index, command.name) : -1;
        if (param < 0)
            ReportOscError(command, OscParser::ParameterAddress(command) + ": no such source or parameter");
        else
            ApplyOscParameter(command, ControlTarget::SourceParam(command.index, param));
        break;
    }
    case OscCommand::SOURCE_NOTE:
        if (!sourceExists) {
            ReportOscError(command, "/source/" + std::to_string(command.index) + "/note: no such source");
        } else if (command.velocity > 0) {
            StartNoteSource(command.index, OSC_CHANNEL, command.note, command.velocity);
        } else {
            EndNote(OSC_CHANNEL, command.note);
        }
        break;
    case OscCommand::MASTER_EFFECT:
        ApplyOscParameter(command, ControlTarget::MasterEffect(command.index, command.param));
        break;
    case OscCommand::RECORD:
        if ((command.value > 0.5) != _app->IsBouncing())
            _app->ToggleAudioBounce();
        break;
    case OscCommand::SUBSCRIBE:
        if (!_oscSubscribers->Add(command.sender))
            ReportOscError(command,
                           "/subscribe: " + std::to_string(OscSubscribers::MAX_LISTENERS) + " clients listen already");
        break;
    case OscCommand::UNSUBSCRIBE:
        _oscSubscribers->Remove(command.sender);
        break;
    case OscCommand::SCENE_RECALL:
        if (command.index >= 1 && command.index <= SceneFiles::NUM_SLOTS)
            _app->GetScenes()->RecallSceneSlot(command.index);
        else
            ReportOscError(command, "/scene/recall " + std::to_string(command.index) + ": the slots are 1 to " +
                                        std::to_string(SceneFiles::NUM_SLOTS));
        break;
    default:
        break;
    }
}

void Controllers::ApplyOscParameter(const OscCommand& command, const ControlTarget& target)
{
    const SceneControl& control = _midiLearn->GetSceneControl();
    if (!command.query) {
        control.Set(target, command.value, SceneControl::GUI_THREAD);
        return;
    }
    const Parameter* parameter = control.Find(target);
    if (parameter == nullptr)
        ReportOscError(command, OscParser::ParameterAddress(command) + ": no such parameter");
    else
        _osc->SendValue(command.sender, OscParser::ParameterAddress(command), float(parameter->GetValue()));
}

void Controllers::OfferParametersToSubscribers()
{
    const auto now = std::chrono::steady_clock::now();
    const std::vector<Source*>& sources = _app->GetSources();
    for (size_t i = 0; i < sources.size(); i++) {
        for (int p = 0; p < sources[i]->GetNumParams(); p++) {
            const Parameter* parameter = sources[i]->GetParameter(p);
            if (parameter->GetUI() != nullptr)
                _oscSubscribers->Offer("/source/" + std::to_string(i) + "/" +
                                           OscParser::AddressName(parameter->GetUI()->GetName()),
                                       float(parameter->GetValue()), now);
        }
    }
    const EffectsBox* master = _app->GetMasterEffectsBox();
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        for (int k = 0; k < OscParser::GetNumKnobs(e); k++)
            _oscSubscribers->Offer(
                std::string("/master/") + OscParser::GetEffectName(e) + "/" + OscParser::GetKnobName(e, k),
                float(master->GetEffect(EffectsBox::EffectIdx(e))->GetParameter(k)->GetValue()), now);
    }
}

void Controllers::ReportOscError(const OscCommand& command, const std::string& text)
{
    const std::string line = "OSC " + text;
    _oscReport->Report(line);
    _osc->SendError(command.sender, line);
}
