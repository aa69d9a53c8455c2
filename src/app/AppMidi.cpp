// MIDI input as the scene sees it: every note on starts a copy of the selected
// source at the note's pitch, its note off ends every copy of that note, and
// the pitch wheel (or the mouse, while notes sound) bends the copies. Runs on
// the toolkit thread from the idle callback, with the scene lock held.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/App.h"
#include "app/SourceReleases.h"
#include "midi/MidiQueue.h"
#include "midi/MidiSystem.h"
#include "midi/MyRtMidiIn.h"
#include "midi/MyRtMidiOut.h"
#include "sources/Source.h"

void App::OpenMidi()
{
    RtMidi::Api api;
    std::string message;
    if (!MidiSystem::Choose(_options.midiApi, &api, &message)) {
        printf("%s\n", message.c_str());
        return;
    }
    if (_options.midiPort < 0) {
        // Ports of the instrument's own: a controller is connected to the
        // input, and the letter keys' notes leave by the output.
        _midiOut->OpenOwnPort(api);
        _midiIn->OpenOwnPort(api);
    } else if (_options.midiPort == 0) {
        // Port 0 out, and in at the index of the output count: with a MIDI
        // through port that loops the letter keys back into the instrument.
        _midiIn->Open(api, _midiOut->Open(api, 0));
    } else {
        _midiIn->Open(api, _options.midiPort);
    }
}

MidiQueue* App::GetMidiQueue() const
{
    return _midiIn->GetMidiQueue();
}

void App::UpdateMidiIn()
{
    MidiQueue* queue = GetMidiQueue();
    MidiQueue::MidiMessage message;
    while (queue->PopMessage(&message)) {
        // Most keyboards end a note with a note on of velocity 0: taken as a
        // note on, every key release would start a copy that never stops.
        if (message.IsNoteOn() && message.GetVelocity() > 0) {
            StartNoteSource(message.GetNoteNumber());
        } else if (message.IsNoteOff() || message.IsNoteOn()) {
            StopNoteSources(message.GetNoteNumber());
        } else if (message.IsPitchWheel()) {
            BendNoteSources(message.GetPitchWheel());
            if (Source* source = GetCurrentSource())
                source->SetMidiPitchWheelValue(message.GetPitchWheel());
        }
    }
    if (!IsPlayingNoteSource())
        _virtualPitch = 0;
}

void App::StartNoteSource(int note)
{
    // Without a selected source a note has nothing to play.
    if (_selectedSource < 0)
        return;
    Source* copy = _sources[_selectedSource]->Clone();
    copy->SetMidiNote(note);
    _noteSources[_selectedSource].push_back(copy);
}

void App::StopNoteSources(int note)
{
    // Every copy playing that note ends, whichever source it was cloned
    // from, fading out through its source's chain over the next block.
    _releases->FreeFinished();
    for (size_t i = 0; i < _noteSources.size(); i++) {
        std::vector<Source*>& notes = _noteSources[i];
        auto ended =
            std::stable_partition(notes.begin(), notes.end(), [note](Source* s) { return s->GetMidiNote() != note; });
        for (auto it = ended; it != notes.end(); ++it)
            _releases->Add(*it, _sources[i]->GetEffectsBox(), true);
        notes.erase(ended, notes.end());
    }
}

void App::BendNoteSources(double wheel)
{
    for (std::vector<Source*>& notes : _noteSources) {
        for (Source* note : notes)
            note->SetMidiPitchWheelValue(wheel);
    }
}

bool App::IsPlayingNoteSource() const
{
    return std::any_of(_noteSources.begin(), _noteSources.end(),
                       [](const std::vector<Source*>& notes) { return !notes.empty(); });
}

void App::ApplyVirtualPitchWheel(double dx, double dy)
{
    // The mouse is a pitch wheel while notes sound: 500 canvas pixels bend a full octave.
    _virtualPitch += 0.002 * (std::fabs(dx) > std::fabs(dy) ? dx : dy);
    _virtualPitch = std::clamp(_virtualPitch, -1.0, 1.0);
    BendNoteSources(_virtualPitch);
}
