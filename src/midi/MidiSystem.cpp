#include "midi/MidiSystem.h"

#include <RtAudio.h>
#include <unistd.h>

#include <vector>

namespace {

const char* SEQUENCER_DEVICE = "/dev/snd/seq";

// Lists the ports of one direction; a system that cannot be reached says why.
template <class Port>
void ListPorts(std::ostream& out, RtMidi::Api api, const char* direction)
{
    try {
        Port port(api, "zoltafenri-list");
        const unsigned int count = port.getPortCount();
        out << "  " << direction << " ports: " << count << std::endl;
        for (unsigned int i = 0; i < count; i++)
            out << "    " << i << ": " << port.getPortName(i) << std::endl;
    } catch (RtMidiError& e) {
        out << "  " << direction << " ports: unavailable (" << e.getMessage() << ")" << std::endl;
    }
}

}  // namespace

bool MidiSystem::HasAlsaSequencer()
{
    return access(SEQUENCER_DEVICE, R_OK | W_OK) == 0;
}

bool MidiSystem::JackServerRuns()
{
    // The audio library asks JACK without starting a server and without
    // JACK's complaints on the console when there is none.
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    bool built = false;
    for (RtAudio::Api api : apis)
        built |= api == RtAudio::UNIX_JACK;
    if (!built)
        return false;
    RtAudio jack(RtAudio::UNIX_JACK);
    jack.showWarnings(false);
    return jack.getDeviceCount() > 0;
}

bool MidiSystem::IsBuiltIn(RtMidi::Api api)
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (RtMidi::Api built : apis) {
        if (built == api)
            return true;
    }
    return false;
}

bool MidiSystem::Choose(const std::string& name, RtMidi::Api* api, std::string* message)
{
    const bool alsa = IsBuiltIn(RtMidi::LINUX_ALSA), jack = IsBuiltIn(RtMidi::UNIX_JACK);
    if (name == "alsa" || name == "jack") {
        const bool wantAlsa = name == "alsa";
        if (!(wantAlsa ? alsa : jack)) {
            *message = "MIDI off: " + name + " is not built into this program";
            return false;
        }
        if (wantAlsa ? !HasAlsaSequencer() : !JackServerRuns()) {
            *message = wantAlsa ? std::string("MIDI off: this machine has no ALSA sequencer (") + SEQUENCER_DEVICE + ")"
                                : std::string("MIDI off: no JACK server runs");
            return false;
        }
        *api = wantAlsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
        return true;
    }
    if (alsa && HasAlsaSequencer()) {
        *api = RtMidi::LINUX_ALSA;
        return true;
    }
    if (jack && JackServerRuns()) {
        *api = RtMidi::UNIX_JACK;
        return true;
    }
    *message = std::string("MIDI off: no ALSA sequencer (") + SEQUENCER_DEVICE + ") and no JACK server";
    return false;
}

void MidiSystem::List(std::ostream& out)
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (RtMidi::Api api : apis) {
        if (api != RtMidi::LINUX_ALSA && api != RtMidi::UNIX_JACK)
            continue;
        out << "MIDI system " << RtMidi::getApiName(api) << " (" << RtMidi::getApiDisplayName(api) << ")";
        const bool reachable = api == RtMidi::LINUX_ALSA ? HasAlsaSequencer() : JackServerRuns();
        if (!reachable) {
            out << ": not running here" << std::endl;
            continue;
        }
        out << std::endl;
        ListPorts<RtMidiIn>(out, api, "input");
        ListPorts<RtMidiOut>(out, api, "output");
    }
}
