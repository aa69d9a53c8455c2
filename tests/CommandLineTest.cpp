#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MyRtAudio.h"

namespace {

// Parses the arguments after the program's name; error holds the reason when it fails.
bool Parse(CommandLine* line, std::vector<const char*> args, std::string* error)
{
    args.insert(args.begin(), "zoltafenri");
    return line->Parse(int(args.size()), args.data(), error);
}

TEST(CommandLineTest, NothingGivenKeepsTheDefaults)
{
    CommandLine line;
    std::string error;
    ASSERT_TRUE(Parse(&line, {}, &error));
    const Options& o = line.GetOptions();
    EXPECT_EQ(o.audioApi, "");
    EXPECT_EQ(o.audioDevice, -1);
    EXPECT_EQ(o.blockSize, 1024u);
    EXPECT_FALSE(o.blockSizeGiven);
    EXPECT_EQ(o.rate, 0u) << "the device's preferred rate";
    EXPECT_EQ(o.midiApi, "");
    EXPECT_EQ(o.midiPort, -1) << "no port: the instrument's own MIDI ports";
    EXPECT_FALSE(o.list);
    EXPECT_FALSE(o.help);
    EXPECT_EQ(o.sessionPath, "") << "session.bin in the working folder";
    EXPECT_EQ(o.bendRange, 2) << "the wheel bends 2 semitones each way";
    EXPECT_EQ(o.oscListen, "127.0.0.1") << "OSC from this machine alone";
}

TEST(CommandLineTest, EveryOptionAndThePortAreRead)
{
    CommandLine line;
    std::string error;
    ASSERT_TRUE(
        Parse(&line,
              {"--audio-api", "jack", "--audio-device=3", "--block", "32", "--midi-api", "alsa", "2", "--list",
               "--session", "sets/live.bin", "--osc-port", "57120", "--bend-range", "48", "--osc-listen", "0.0.0.0"},
              &error))
        << error;
    const Options& o = line.GetOptions();
    EXPECT_EQ(o.audioApi, "jack");
    EXPECT_EQ(o.audioDevice, 3);
    EXPECT_EQ(o.blockSize, 32u);
    EXPECT_TRUE(o.blockSizeGiven);
    EXPECT_EQ(o.midiApi, "alsa");
    EXPECT_EQ(o.midiPort, 2);
    EXPECT_TRUE(o.list);
    EXPECT_EQ(o.sessionPath, "sets/live.bin");
    EXPECT_EQ(o.oscPort, 57120);
    EXPECT_EQ(o.oscListen, "0.0.0.0");
    EXPECT_EQ(o.bendRange, 48);

    CommandLine zero;
    ASSERT_TRUE(Parse(&zero, {"0", "--block=4096", "--help", "--rate", "88200"}, &error)) << error;
    EXPECT_EQ(zero.GetOptions().midiPort, 0) << "port 0 is a port, not the default";
    EXPECT_EQ(zero.GetOptions().blockSize, 4096u);
    EXPECT_EQ(zero.GetOptions().rate, 88200u);
    EXPECT_TRUE(zero.GetOptions().help);
}

TEST(CommandLineTest, UnknownOptionsAndBadValuesAreRefusedWithTheReason)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--block", "31"},
        {"--osc-port", "0"},
        {"--osc-port", "65536"},
        {"--osc-listen", "localhost"},
        {"--osc-listen", "10.0.0.256"},
        {"--bend-range", "0"},
        {"--bend-range", "49"},
        {"--block", "4097"},
        {"--block", "256k"},
        {"--block", "-64"},
        {"--rate", "22050"},
        {"--rate", "48k"},
        {"--rate", "192000"},
        {"--rate"},
        {"--block"},
        {"--audio-api", "oss"},
        {"--audio-api", "JACK"},
        {"--midi-api", "pulse"},
        {"--audio-device", "-1"},
        {"--audio-device", "two"},
        {"--list=yes"},
        {"--verbose"},
        {"-h"},
        {"1", "2"},
        {"port"},
        {"--block", ""},
        {"--session"},
        {"--session", ""},
        {"--audio-device", "1e3"},
        {"99999999999999999999"},
    };
    for (const std::vector<const char*>& args : bad) {
        CommandLine line;
        std::string error;
        EXPECT_FALSE(Parse(&line, args, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
    CommandLine line;
    std::string error;
    Parse(&line, {"--block", "16"}, &error);
    EXPECT_NE(error.find("--block"), std::string::npos) << error;
    EXPECT_NE(error.find("16"), std::string::npos) << error;
}

// Under PulseAudio and ALSA the rate is --rate's, else the device's
// preferred one where the engine plays it (a card that prefers 192000 or
// names none gets 48000).
TEST(CommandLineTest, TheRateIsTheOneAskedForElseTheDevicesPreferredElse48000)
{
    EXPECT_EQ(MyRtAudio::RateFor(96000, 44100), 96000u);
    EXPECT_EQ(MyRtAudio::RateFor(0, 44100), 44100u);
    EXPECT_EQ(MyRtAudio::RateFor(0, 88200), 88200u);
    EXPECT_EQ(MyRtAudio::RateFor(0, 192000), 48000u);
    EXPECT_EQ(MyRtAudio::RateFor(0, 0), 48000u);
}

TEST(CommandLineTest, TheUsageHasALineForEveryOption)
{
    const std::string usage = CommandLine().Usage("zoltafenri");
    EXPECT_EQ(usage.compare(0, 17, "usage: zoltafenri"), 0) << usage;
    for (const char* line :
         {"--audio-api jack|pulse|alsa", "--audio-device N", "--block N", "--rate 44100|48000|88200|96000",
          "--midi-api jack|alsa", "--session FILE", "--bend-range N", "--list", "--help"})
        EXPECT_NE(usage.find(line), std::string::npos) << line;
}

}  // namespace
