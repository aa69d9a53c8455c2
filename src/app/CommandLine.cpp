#include "app/CommandLine.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "sound/EngineRate.h"

namespace {

// A whole decimal number from min to max, nothing before or after it.
bool ReadInteger(const std::string& text, long min, long max, long* value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const long number = strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || number < min || number > max)
        return false;
    *value = number;
    return true;
}

bool IsOneOf(const std::string& text, std::initializer_list<const char*> choices)
{
    for (const char* choice : choices) {
        if (text == choice)
            return true;
    }
    return false;
}

// The highest device or port number anybody could mean.
const long MAX_INDEX = 9999;
const long MAX_UDP_PORT = 65535;

}  // namespace

CommandLine::CommandLine()
{
    _table = {
        {"--audio-api", "jack|pulse|alsa", "audio system (default: the first that has devices)",
         [](const std::string& v, Options* o) {
             o->audioApi = v;
             return IsOneOf(v, {"jack", "pulse", "alsa"});
         }},
        {"--audio-device", "N", "output device number from --list (default: the system's default output)",
         [](const std::string& v, Options* o) {
             long n = 0;
             o->audioDevice = ReadInteger(v, 0, MAX_INDEX, &n) ? int(n) : -1;
             return o->audioDevice >= 0;
         }},
        {"--block", "N", "frames per audio block, 32 to 4096 (default 1024; under JACK the server's period)",
         [](const std::string& v, Options* o) {
             long n = 0;
             if (!ReadInteger(v, Options::MIN_BLOCK, Options::MAX_BLOCK, &n))
                 return false;
             o->blockSize = unsigned(n);
             o->blockSizeGiven = true;
             return true;
         }},
        {"--rate", "44100|48000|88200|96000",
         "frames per second (default: the device's preferred rate, else 48000; under JACK the server's rate)",
         [](const std::string& v, Options* o) {
             long n = 0;
             if (!ReadInteger(v, 1, 1000000, &n) || !EngineRate::IsSupported(unsigned(n)))
                 return false;
             o->rate = unsigned(n);
             return true;
         }},
        {"--midi-api", "jack|alsa", "MIDI system (default: ALSA where its sequencer exists, else JACK)",
         [](const std::string& v, Options* o) {
             o->midiApi = v;
             return IsOneOf(v, {"jack", "alsa"});
         }},
        {"--session", "FILE", "the scene file F12 saves to and the start restores (default: session.bin)",
         [](const std::string& v, Options* o) {
             o->sessionPath = v;
             return !v.empty();
         }},
        {"--osc-port", "N", "listen for OSC messages on UDP port N (default: no OSC)",
         [](const std::string& v, Options* o) {
             long n = 0;
             o->oscPort = ReadInteger(v, 1, MAX_UDP_PORT, &n) ? int(n) : 0;
             return o->oscPort > 0;
         }},
        {"--osc-listen", "ADDRESS",
         "the IPv4 address OSC listens on (default 127.0.0.1, this machine alone; 0.0.0.0: every network)",
         [](const std::string& v, Options* o) {
             in_addr address = {};
             o->oscListen = v;
             return inet_pton(AF_INET, v.c_str(), &address) == 1;
         }},
        {"--bend-range", "N", "semitones the pitch wheel bends each way, 1 to 48 (default 2)",
         [](const std::string& v, Options* o) {
             long n = 0;
             if (!ReadInteger(v, MidiChannels::MIN_BEND_RANGE, MidiChannels::MAX_BEND_RANGE, &n))
                 return false;
             o->bendRange = int(n);
             return true;
         }},
        {"--list", nullptr, "print the audio devices and MIDI ports, then exit",
         [](const std::string&, Options* o) { return o->list = true; }},
        {"--help", nullptr, "print this help, then exit",
         [](const std::string&, Options* o) { return o->help = true; }},
    };
}

CommandLine::~CommandLine()
{
}

const CommandLine::Option* CommandLine::Find(const std::string& name) const
{
    for (const Option& option : _table) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

bool CommandLine::Parse(int argc, const char* const* argv, std::string* error)
{
    bool portGiven = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg.compare(0, 2, "--") != 0) {
            long port = 0;
            if (portGiven || !ReadInteger(arg, 0, MAX_INDEX, &port)) {
                *error = "unexpected argument '" + arg + "' (only one MIDI input port number may stand alone)";
                return false;
            }
            _options.midiPort = int(port);
            portGiven = true;
            continue;
        }
        // Both "--block 256" and "--block=256".
        std::string value;
        const size_t equals = arg.find('=');
        const bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
        }
        const Option* option = Find(arg);
        if (option == nullptr) {
            *error = "unknown option " + arg;
            return false;
        }
        if (option->valueName == nullptr && inlineValue) {
            *error = arg + " takes no value";
            return false;
        }
        if (option->valueName != nullptr && !inlineValue) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value: " + option->valueName;
                return false;
            }
            value = argv[++i];
        }
        if (!option->apply(value, &_options)) {
            *error = "bad value '" + value + "' for " + arg + " (" + option->valueName + ": " + option->help + ")";
            return false;
        }
    }
    return true;
}

std::string CommandLine::Usage(const std::string& program) const
{
    std::ostringstream out;
    out << "usage: " << program << " [options] [MIDI input port number]\n";
    out << "  With no port number, MIDI input and output are ports of the instrument's own to connect to.\n";
    for (const Option& option : _table) {
        std::string left = option.name;
        if (option.valueName != nullptr)
            left += std::string(" ") + option.valueName;
        out << "  " << left << std::string(left.size() < 30 ? 30 - left.size() : 1, ' ') << option.help << "\n";
    }
    return out.str();
}
