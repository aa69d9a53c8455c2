#include <gtest/gtest.h>
#include <lo/lo.h>

#include <cmath>
#include <string>
#include <vector>

#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "midi/OscCommand.h"

namespace {

// A message as a sender puts it on the wire, read back by the parser.
class OscPacket {
public:
    explicit OscPacket(const char* path) : _path(path), _message(lo_message_new()) {}
    ~OscPacket() { lo_message_free(_message); }
    OscPacket& Float(float v) { return Add(lo_message_add_float(_message, v)); }
    OscPacket& Double(double v) { return Add(lo_message_add_double(_message, v)); }
    OscPacket& Int(int v) { return Add(lo_message_add_int32(_message, v)); }
    OscPacket& Long(long v) { return Add(lo_message_add_int64(_message, v)); }
    OscPacket& String(const char* v) { return Add(lo_message_add_string(_message, v)); }
    OscPacket& True() { return Add(lo_message_add_true(_message)); }
    OscPacket& False() { return Add(lo_message_add_false(_message)); }
    bool Parse(OscCommand* out, std::string* error)
    {
        size_t size = 0;
        void* bytes = lo_message_serialise(_message, _path, nullptr, &size);
        bool ok = OscParser::ParsePacket(bytes, size, out, error);
        free(bytes);
        return ok;
    }

private:
    OscPacket& Add(int result)
    {
        EXPECT_EQ(result, 0);
        return *this;
    }
    const char* _path;
    lo_message _message;
};

TEST(OscParserTest, EveryAddressReadsIntoItsCommand)
{
    OscCommand c;
    std::string error;
    ASSERT_TRUE(OscPacket("/source/2/pitch").Float(1.5f).Parse(&c, &error)) << error;
    EXPECT_EQ(c.kind, OscCommand::SOURCE_PARAM);
    EXPECT_EQ(c.index, 2);
    EXPECT_STREQ(c.name, "pitch");
    EXPECT_EQ(c.value, 1.5);

    ASSERT_TRUE(OscPacket("/source/0/lfo-amount").Double(0.25).Parse(&c, &error)) << error;
    EXPECT_STREQ(c.name, "lfo-amount");
    EXPECT_EQ(c.value, 0.25);

    ASSERT_TRUE(OscPacket("/source/11/note").Int(60).Int(100).Parse(&c, &error)) << error;
    EXPECT_EQ(c.kind, OscCommand::SOURCE_NOTE);
    EXPECT_EQ(c.index, 11);
    EXPECT_EQ(c.note, 60);
    EXPECT_EQ(c.velocity, 100);

    ASSERT_TRUE(OscPacket("/master/volume/volume").Int(-6).Parse(&c, &error)) << "an int is a number too";
    EXPECT_EQ(c.kind, OscCommand::MASTER_EFFECT);
    EXPECT_EQ(c.index, EffectsBox::EFFECT_VOLUME);
    EXPECT_EQ(c.param, 1);
    EXPECT_EQ(c.value, -6.0);

    ASSERT_TRUE(OscPacket("/master/reverb/feed-wet-out").Float(0.5f).Parse(&c, &error)) << error;
    EXPECT_EQ(c.index, EffectsBox::EFFECT_REVERB);
    EXPECT_EQ(c.param, 3);

    ASSERT_TRUE(OscPacket("/scene/recall").Long(3).Parse(&c, &error)) << error;
    EXPECT_EQ(c.kind, OscCommand::SCENE_RECALL);
    EXPECT_EQ(c.index, 3);

    ASSERT_TRUE(OscPacket("/record").Int(1).Parse(&c, &error)) << error;
    EXPECT_EQ(c.kind, OscCommand::RECORD);
    EXPECT_EQ(c.value, 1.0);
}

// What TouchOSC and Open Stage Control send by default: floats, even for a
// note; other clients send doubles, 64-bit ints or True/False.
TEST(OscParserTest, EveryNumberTypeIsTakenWhereverANumberIs)
{
    OscCommand c;
    std::string error;
    ASSERT_TRUE(OscPacket("/source/0/note").Float(84.0f).Float(127.0f).Parse(&c, &error)) << error;
    EXPECT_EQ(c.kind, OscCommand::SOURCE_NOTE);
    EXPECT_EQ(c.note, 84);
    EXPECT_EQ(c.velocity, 127);

    ASSERT_TRUE(OscPacket("/source/0/note").Double(59.9999).Long(0).Parse(&c, &error)) << error;
    EXPECT_EQ(c.note, 60) << "a fader's near-whole value is the nearest note";
    EXPECT_EQ(c.velocity, 0);

    ASSERT_TRUE(OscPacket("/scene/recall").Float(2.0f).Parse(&c, &error)) << error;
    EXPECT_EQ(c.index, 2);
    ASSERT_TRUE(OscPacket("/record").True().Parse(&c, &error)) << error;
    EXPECT_EQ(c.value, 1.0);
    ASSERT_TRUE(OscPacket("/record").Double(0.0).Parse(&c, &error)) << error;
    EXPECT_EQ(c.value, 0.0);
    ASSERT_TRUE(OscPacket("/master/volume/on").True().Parse(&c, &error)) << error;
    EXPECT_EQ(c.value, 1.0);
    ASSERT_TRUE(OscPacket("/master/volume/mute").False().Parse(&c, &error)) << error;
    EXPECT_EQ(c.value, 0.0);
    EXPECT_FALSE(c.query);

    EXPECT_FALSE(OscPacket("/source/0/note").Float(1e30f).Float(100.0f).Parse(&c, &error)) << "a huge float is no note";
    EXPECT_NE(error.find("0 to 127"), std::string::npos) << error;
}

// A parameter's address with nothing after it asks for the value, to be
// answered at the same address.
TEST(OscParserTest, AParameterAddressWithNoArgumentIsAQuery)
{
    OscCommand c;
    std::string error;
    ASSERT_TRUE(OscPacket("/source/3/lfo-amount").Parse(&c, &error)) << error;
    EXPECT_EQ(c.kind, OscCommand::SOURCE_PARAM);
    EXPECT_TRUE(c.query);
    EXPECT_EQ(OscParser::ParameterAddress(c), "/source/3/lfo-amount");

    ASSERT_TRUE(OscPacket("/master/reverb/decay").Parse(&c, &error)) << error;
    EXPECT_EQ(c.kind, OscCommand::MASTER_EFFECT);
    EXPECT_TRUE(c.query);
    EXPECT_EQ(OscParser::ParameterAddress(c), "/master/reverb/decay");
}

// Each refusal names the address and says what was wrong.
TEST(OscParserTest, UnknownAddressesAndWrongArgumentsAreRefusedWithTheReason)
{
    struct Case {
        const char* path;
        std::vector<char> types;
        const char* reason;
    };
    const Case cases[] = {
        {"/nothing", {'f'}, "unknown address"},
        {"/source/x/pitch", {'f'}, "index"},
        {"/source/-1/pitch", {'f'}, "index"},
        {"/source/99999999/pitch", {'f'}, "index"},
        {"/source/0/pitch", {'s'}, "number"},
        {"/source/0/pitch", {'f', 'f'}, "number"},
        {"/source/0/a-name-far-too-long-for-any-parameter", {'f'}, "parameter"},
        {"/source/0/note", {'i'}, "2 numbers"},
        {"/source/0/note", {'s', 'i'}, "2 numbers"},
        {"/source/0/note", {}, "2 numbers"},
        {"/source/0/note", {'i', 'i'}, "0 to 127"},
        {"/master/flanger/on", {'f'}, "effect"},
        {"/master/delay/speed", {'f'}, "knob"},
        {"/master/delay", {'f'}, "unknown address"},
        {"/scene/recall", {'s'}, "1 number"},
        {"/record", {'i'}, "0 (stop) or 1"},
        {"/record/now", {'i'}, "unknown address"},
        {"/subscribe", {'i'}, "takes no argument"},
    };
    for (const Case& c : cases) {
        OscPacket packet(c.path);
        for (char t : c.types) {
            if (t == 'f')
                packet.Float(1.0f);
            else if (t == 'i')
                packet.Int(200);
            else
                packet.String("x");
        }
        OscCommand command;
        std::string error;
        EXPECT_FALSE(packet.Parse(&command, &error)) << c.path;
        EXPECT_NE(error.find(c.path), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.path << ": " << error;
    }
}

TEST(OscParserTest, NonFiniteValuesBundlesAndGarbageAreRefused)
{
    OscCommand c;
    std::string error;
    EXPECT_FALSE(OscPacket("/source/0/pitch").Float(NAN).Parse(&c, &error));
    EXPECT_FALSE(OscPacket("/master/volume/volume").Double(INFINITY).Parse(&c, &error));

    const char bundle[] = "#bundle\0\0\0\0\0\0\0\0\1";
    EXPECT_FALSE(OscParser::ParsePacket(bundle, sizeof(bundle), &c, &error));
    EXPECT_NE(error.find("bundle"), std::string::npos);

    const char garbage[] = "/source/0/pitch\0,f\0\0\x40";
    EXPECT_FALSE(OscParser::ParsePacket(garbage, sizeof(garbage) - 1, &c, &error));
    EXPECT_FALSE(OscParser::ParsePacket("", 0, &c, &error));
}

// The addresses of the master chain name every parameter of every effect, once.
TEST(OscParserTest, KnobNamesCoverEachEffectsParameters)
{
    EffectsBox chain;
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        EXPECT_EQ(OscParser::GetNumKnobs(e), chain.GetEffect(EffectsBox::EffectIdx(e))->GetNumParams())
            << OscParser::GetEffectName(e);
        EXPECT_STREQ(OscParser::GetKnobName(e, 0), "on");
    }
    EXPECT_EQ(OscParser::AddressName("LFO Freq"), "lfo-freq");
    EXPECT_EQ(OscParser::AddressName("Spatial Mode"), "spatial-mode");
}

}  // namespace
