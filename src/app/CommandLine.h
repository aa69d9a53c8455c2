#pragma once

#include <functional>
#include <string>
#include <vector>

#include "midi/MidiChannels.h"

// What the performer asked for on the command line. Every field starts at
// what the program does when nothing is said.
struct Options {
    static const unsigned MIN_BLOCK = 32;
    static const unsigned MAX_BLOCK = 4096;
    static const unsigned DEFAULT_BLOCK = 1024;

    // Empty: the first audio system that has devices.
    std::string audioApi;
    // -1: the audio system's default output.
    int audioDevice = -1;
    // Frames per block; under JACK the server's period rules instead.
    unsigned blockSize = DEFAULT_BLOCK;
    bool blockSizeGiven = false;
    // Frames per second under PulseAudio and ALSA, one of
    // EngineRate::SUPPORTED_RATES; 0: the device's preferred rate. Under
    // JACK the server's rate rules instead.
    unsigned rate = 0;
    // Empty: the ALSA sequencer where it exists, else JACK where a server runs.
    std::string midiApi;
    // -1: MIDI input and output are ports of the instrument's own, for
    // anything to be connected to; otherwise the input port to connect to.
    int midiPort = -1;
    // Empty: session.bin in the working folder.
    std::string sessionPath;
    // 0: no OSC; otherwise the UDP port that OSC messages reach.
    int oscPort = 0;
    // The IPv4 address OSC listens on: this machine alone, unless 0.0.0.0
    // or one of its network addresses lets other machines in.
    std::string oscListen = "127.0.0.1";
    // The pitch wheel's reach each way, in semitones.
    int bendRange = MidiChannels::DEFAULT_BEND_RANGE;
    bool list = false;
    bool help = false;
};

// Reads the command line from a table of options, so that an option is one
// more row: its name, the name of its value (none for a flag), a line of help
// and what it sets. One bare number is the MIDI input port.
class CommandLine {
public:
    CommandLine();
    virtual ~CommandLine();

    // False, with the reason, for an unknown option, a missing or bad value
    // or a second bare argument; the options read before stay set.
    bool Parse(int argc, const char* const* argv, std::string* error);
    const Options& GetOptions() const { return _options; }
    // The usage lines of --help, one per option.
    std::string Usage(const std::string& program) const;

private:
    struct Option {
        const char* name;
        // Null for a flag.
        const char* valueName;
        const char* help;
        // Takes the value (empty for a flag); false when it is not one the option accepts.
        std::function<bool(const std::string&, Options*)> apply;
    };

    const Option* Find(const std::string& name) const;

    std::vector<Option> _table;
    Options _options;
};
