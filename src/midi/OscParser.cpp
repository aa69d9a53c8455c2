#include <lo/lo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "effects/EffectsBox.h"
#include "midi/OscCommand.h"

namespace {
struct EffectNames {
    const char* name;
    std::vector<const char*> knobs;
};

// In EffectsBox::EffectIdx order; each effect's knobs in its parameter order.
const EffectNames EFFECTS[EffectsBox::NUM_EFFECTS] = {
    {"bit-crush", {"on", "ratio"}},
    {"saturation", {"on", "ratio"}},
    {"delay", {"on", "time", "feedback", "wet"}},
    {"stereo", {"on", "pan", "width"}},
    {"reverb", {"on", "order", "feed-dry-in", "feed-wet-out", "dry-mix", "delay-time", "decay"}},
    {"volume", {"on", "volume", "mute"}},
};

// Nobody places this many sources or keeps this many scenes.
const long MAX_INDEX = 1000000;
const int MAX_MIDI_VALUE = 127;

// The path split at '/', without the empty part before the leading slash.
std::vector<std::string> SplitPath(const char* path)
{
    std::vector<std::string> parts;
    if (path == nullptr || path[0] != '/')
        return parts;
    const char* start = path + 1;
    for (const char* p = start;; p++) {
        if (*p == '/' || *p == '\0') {
            parts.emplace_back(start, p);
            if (*p == '\0')
                break;
            start = p + 1;
        }
    }
    return parts;
}

// A plain decimal index: digits only, within MAX_INDEX.
bool ReadIndex(const std::string& text, int* index)
{
    if (text.empty() || text.size() > 7)
        return false;
    long value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + (c - '0');
    }
    if (value >= MAX_INDEX)
        return false;
    *index = int(value);
    return true;
}

// liblo's arguments lie where the packet puts them, 4-byte aligned, while its
// lo_arg union asks for 8: they are copied out, never read through the union.
template <typename T>
T ArgAs(const lo_arg* arg)
{
    T value;
    std::memcpy(&value, arg, sizeof(value));
    return value;
}

// Any OSC number a controller sends: TouchOSC and Open Stage Control send
// floats even for notes, other clients ints, doubles or True/False.
bool ReadNumber(char type, const lo_arg* arg, double* value)
{
    switch (type) {
    case LO_FLOAT:
        *value = ArgAs<float>(arg);
        break;
    case LO_DOUBLE:
        *value = ArgAs<double>(arg);
        break;
    case LO_INT32:
        *value = ArgAs<int32_t>(arg);
        break;
    case LO_INT64:
        *value = double(ArgAs<int64_t>(arg));
        break;
    // True and False carry no bytes: the type tag is the value.
    case LO_TRUE:
        *value = 1.0;
        break;
    case LO_FALSE:
        *value = 0.0;
        break;
    default:
        return false;
    }
    return std::isfinite(*value);
}

// A whole number from any number type, the nearest one for a fraction (a
// fader's 83.99998 is note 84), held within MAX_INDEX either way.
bool ReadInt(char type, const lo_arg* arg, long* value)
{
    double number = 0.0;
    if (!ReadNumber(type, arg, &number))
        return false;
    *value = std::lround(std::clamp(number, -double(MAX_INDEX), double(MAX_INDEX)));
    return true;
}

int FindEffect(const std::string& name)
{
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        if (name == EFFECTS[e].name)
            return e;
    }
    return -1;
}

int FindKnob(int effect, const std::string& name)
{
    const std::vector<const char*>& knobs = EFFECTS[effect].knobs;
    for (size_t k = 0; k < knobs.size(); k++) {
        if (name == knobs[k])
            return int(k);
    }
    return -1;
}

class Reader {
public:
    Reader(const char* path, const char* types, lo_arg* const* argv, int argc, OscCommand* out, std::string* error)
        : _path(path), _types(types == nullptr ? "" : types), _argv(argv), _argc(argc), _out(out), _error(error)
    {
    }

    bool Read()
    {
        const std::vector<std::string> parts = SplitPath(_path);
        if (parts.size() == 3 && parts[0] == "source")
            return ReadSource(parts[1], parts[2]);
        if (parts.size() == 3 && parts[0] == "master")
            return ReadMaster(parts[1], parts[2]);
        if (parts.size() == 2 && parts[0] == "scene" && parts[1] == "recall")
            return ReadSceneRecall();
        if (parts.size() == 1 && parts[0] == "record")
            return ReadRecord();
        if (parts.size() == 1 && parts[0] == "subscribe")
            return ReadNoArgument(OscCommand::SUBSCRIBE);
        if (parts.size() == 1 && parts[0] == "unsubscribe")
            return ReadNoArgument(OscCommand::UNSUBSCRIBE);
        return Fail("unknown address");
    }

private:
    bool Fail(const std::string& why)
    {
        *_error = "OSC " + std::string(_path == nullptr ? "" : _path) + " " + _types + ": " + why;
        return false;
    }

    bool HasArgCount(int count) const { return _argc == count && int(std::strlen(_types)) == count; }

    bool OneNumber(double* value)
    {
        if (!HasArgCount(1) || !ReadNumber(_types[0], _argv[0], value))
            return Fail("expects one finite number, or none to ask for the value");
        return true;
    }

    // A parameter's address with no argument asks for its value.
    bool ReadValueOrQuery()
    {
        _out->query = HasArgCount(0);
        return _out->query || OneNumber(&_out->value);
    }

    bool Ints(long* values, int count)
    {
        bool ok = HasArgCount(count);
        for (int i = 0; ok && i < count; i++)
            ok = ReadInt(_types[i], _argv[i], &values[i]);
        return ok || Fail("expects " + std::to_string(count) + (count == 1 ? " number" : " numbers"));
    }

    bool ReadSource(const std::string& index, const std::string& name)
    {
        if (!ReadIndex(index, &_out->index))
            return Fail("the source index is not a number");
        if (name == "note")
            return ReadNote();
        if (name.empty() || name.size() >= OscCommand::NAME_SIZE)
            return Fail("no such parameter");
        _out->kind = OscCommand::SOURCE_PARAM;
        std::memcpy(_out->name, name.c_str(), name.size() + 1);
        return ReadValueOrQuery();
    }

    bool ReadNote()
    {
        long values[2] = {0, 0};
        if (!Ints(values, 2))
            return false;
        if (values[0] < 0 || values[0] > MAX_MIDI_VALUE || values[1] < 0 || values[1] > MAX_MIDI_VALUE)
            return Fail("note and velocity go from 0 to 127");
        _out->kind = OscCommand::SOURCE_NOTE;
        _out->note = int(values[0]);
        _out->velocity = int(values[1]);
        return true;
    }

    bool ReadMaster(const std::string& effectName, const std::string& knobName)
    {
        const int effect = FindEffect(effectName);
        if (effect < 0)
            return Fail("no such effect");
        const int knob = FindKnob(effect, knobName);
        if (knob < 0)
            return Fail("no such knob");
        _out->kind = OscCommand::MASTER_EFFECT;
        _out->index = effect;
        _out->param = knob;
        return ReadValueOrQuery();
    }

    bool ReadSceneRecall()
    {
        long slot = 0;
        if (!Ints(&slot, 1))
            return false;
        if (slot < 0)
            return Fail("a slot is 0 or more");
        _out->kind = OscCommand::SCENE_RECALL;
        _out->index = int(slot);
        return true;
    }

    bool ReadRecord()
    {
        long on = 0;
        if (!Ints(&on, 1))
            return false;
        if (on != 0 && on != 1)
            return Fail("expects 0 (stop) or 1 (start)");
        _out->kind = OscCommand::RECORD;
        _out->value = double(on);
        return true;
    }

    bool ReadNoArgument(OscCommand::Kind kind)
    {
        if (!HasArgCount(0))
            return Fail("takes no argument");
        _out->kind = kind;
        return true;
    }

    const char* _path;
    const char* _types;
    lo_arg* const* _argv;
    int _argc;
    OscCommand* _out;
    std::string* _error;
};
}  // namespace

const char* OscParser::GetEffectName(int effect)
{
    return EFFECTS[effect].name;
}

int OscParser::GetNumKnobs(int effect)
{
    return int(EFFECTS[effect].knobs.size());
}

const char* OscParser::GetKnobName(int effect, int knob)
{
    return EFFECTS[effect].knobs[knob];
}

std::string OscParser::AddressName(const char* name)
{
    std::string address;
    for (const char* c = name; *c != '\0'; c++)
        address += *c == ' ' ? '-' : char(std::tolower(static_cast<unsigned char>(*c)));
    return address;
}

bool OscParser::Parse(const char* path, const char* types, lo_arg* const* argv, int argc, OscCommand* out,
                      std::string* error)
{
    *out = OscCommand();
    return Reader(path, types, argv, argc, out, error).Read();
}

bool OscParser::ParsePacket(const void* data, size_t size, OscCommand* out, std::string* error)
{
    static const char BUNDLE[] = "#bundle";
    if (size >= sizeof(BUNDLE) && std::memcmp(data, BUNDLE, sizeof(BUNDLE)) == 0) {
        *error = "OSC bundles are not understood: send single messages";
        return false;
    }
    // liblo reads the packet without changing it; its interface is not const.
    void* bytes = const_cast<void*>(data);
    int result = 0;
    lo_message message = lo_message_deserialise(bytes, size, &result);
    if (message == nullptr) {
        *error = "a UDP packet that is not an OSC message (liblo error " + std::to_string(result) + ")";
        return false;
    }
    const bool ok = Parse(lo_get_path(bytes, ssize_t(size)), lo_message_get_types(message),
                          lo_message_get_argv(message), lo_message_get_argc(message), out, error);
    lo_message_free(message);
    return ok;
}

std::string OscParser::ParameterAddress(const OscCommand& command)
{
    if (command.kind == OscCommand::MASTER_EFFECT)
        return std::string("/master/") + GetEffectName(command.index) + "/" + GetKnobName(command.index, command.param);
    return "/source/" + std::to_string(command.index) + "/" + command.name;
}
