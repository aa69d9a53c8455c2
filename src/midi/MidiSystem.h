#pragma once

#include <RtMidi.h>

#include <ostream>
#include <string>

// Which MIDI system the instrument's ports live in. The ALSA sequencer where
// the machine has one, else JACK where a server runs; a machine with neither
// plays without MIDI.
class MidiSystem {
public:
    // name: "alsa", "jack", or empty to choose as above. False, with the
    // reason in message, when MIDI stays off; api is then left alone.
    static bool Choose(const std::string& name, RtMidi::Api* api, std::string* message);
    // Every MIDI system built in, with its input and output ports.
    static void List(std::ostream& out);
    static bool JackServerRuns();

private:
    static bool HasAlsaSequencer();
    static bool IsBuiltIn(RtMidi::Api api);
};
