#pragma once

#include <cstddef>
#include <string>

#include <lo/lo_osc_types.h>
#include <sys/socket.h>

// Where a message came from, so that a reply or an error goes back to the
// sender's address and port. size 0: nobody to answer.
struct OscSender {
    sockaddr_storage address = {};
    socklen_t size = 0;
};

// One OSC message understood, as it travels from the OSC server's thread to
// the GUI thread: plain fields, no allocation, so a lock-free ring carries it.
struct OscCommand {
    enum Kind { NONE, SOURCE_PARAM, SOURCE_NOTE, MASTER_EFFECT, SCENE_RECALL, RECORD, SUBSCRIBE, UNSUBSCRIBE };
    // Room for the longest parameter name and its terminator.
    static constexpr size_t NAME_SIZE = 32;

    Kind kind = NONE;
    // The source's index in the scene, the scene slot, or the effect (EffectsBox::EffectIdx).
    int index = -1;
    // The effect's parameter index.
    int param = -1;
    // A source parameter's name as the address spells it: the pie menu's
    // name in lower case with '-' for blanks.
    char name[NAME_SIZE] = {};
    // A parameter value in the parameter's own unit; for RECORD 1 starts, 0 stops.
    double value = 0.0;
    // SOURCE_PARAM and MASTER_EFFECT with no argument: the sender asks for the value.
    bool query = false;
    int note = 0;
    // 0 ends the note, as a MIDI Note On of velocity 0 does.
    int velocity = 0;
    OscSender sender;
};

// Reads OSC messages into commands. Every address the instrument answers:
//   /source/<i>/<parameter-name> <number>  a parameter of source i (0 = the first placed)
//   /source/<i>/note <note> <velocity>
//   /master/<effect>/<knob> <number>      the master chain
//   /scene/recall <slot>
//   /record <0|1>
//   /subscribe, /unsubscribe               the sender follows every parameter's changes, or no more
// A number may come as any OSC number type (int32, int64, float, double,
// True/False as 1/0); a whole number is rounded to the nearest. A
// parameter's address with no argument asks for its value.
class OscParser {
public:
    // The effect names of /master/<effect>/... in EffectsBox::EffectIdx order,
    // and the knob names of each effect in its parameter order.
    static const char* GetEffectName(int effect);
    static int GetNumKnobs(int effect);
    static const char* GetKnobName(int effect, int knob);
    // The address form of a pie-menu name: lower case, blanks as '-'.
    static std::string AddressName(const char* name);

    // One decoded message. False, with the reason, for an address it does
    // not know or arguments of the wrong number or type.
    static bool Parse(const char* path, const char* types, lo_arg* const* argv, int argc, OscCommand* out,
                      std::string* error);
    // One raw UDP packet: an OSC message, decoded with liblo. Bundles and
    // anything that is not a well-formed message are refused with the reason.
    static bool ParsePacket(const void* data, size_t size, OscCommand* out, std::string* error);
    // The address a command about a parameter came to, which its reply goes back to.
    static std::string ParameterAddress(const OscCommand& command);
};
