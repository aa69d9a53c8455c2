#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "SineFile.h"
#include "app/App.h"
#include "app/AppControl.h"
#include "app/Controllers.h"
#include "app/SceneStore.h"
#include "app/ScreenMessage.h"
#include "app/Selection.h"
#include "app/SourceReleases.h"
#include "midi/MidiLearn.h"
#include "midi/MidiQueue.h"
#include "midi/MyRtMidiIn.h"
#include "midi/OscCommand.h"
#include "sound/SoundRect.h"
#include "sources/Source.h"
#include "ui/UISoundRect.h"

namespace {

const int W = 1000;
const int H = 500;

// MIDI as controllers send it, through the notes' queue as the input thread
// fills it: the note copies of a cloud, followed channel by channel.
class MidiChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zoltachannelsXXXXXX";
        _dir = mkdtemp(pattern);
        WriteSine(_dir + "/s0.wav", 44100);
        _app.reset(new App());
        _app->SetWinSize(W, H);
        _app->SetAudioPath(_dir + "/");
        testing::internal::CaptureStdout();
        ASSERT_TRUE(_app->LoadSounds());
        testing::internal::GetCapturedStdout();
        _app->GetScenes()->SetSessionPath(_dir + "/session.bin");
        _app->SetMenuFlag(false);
        UISoundRect* rect = _app->GetSoundRects()[0]->GetUI();
        rect->SetDimensions(0.6, 0.6);
        rect->UpdateRectPosition(0.5, 0.5);
        AddCloud();
    }
    void TearDown() override
    {
        _app.reset();
        ASSERT_EQ(system(("rm -rf " + _dir).c_str()), 0);
    }
    void AddCloud()
    {
        _app->GetControl()->OnMousePassiveMotion(W / 2, H / 2);
        _app->GetControl()->OnKeyboard('1', 0, 0, 0);
    }
    // Channels 1 to 16.
    void Send(std::vector<unsigned char> bytes)
    {
        _app->GetControllers()->GetMidiQueue()->PushMessage(0, bytes);
        _app->GetControllers()->UpdateMidiIn();
    }
    void NoteOn(int channel, int note) { Send({(unsigned char)(0x90 + channel - 1), (unsigned char)note, 100}); }
    void NoteOff(int channel, int note) { Send({(unsigned char)(0x80 + channel - 1), (unsigned char)note, 0}); }
    void Control(int channel, int controller, int value)
    {
        Send({(unsigned char)(0xB0 + channel - 1), (unsigned char)controller, (unsigned char)value});
    }
    void Wheel(int channel, int position)
    {
        Send({(unsigned char)(0xE0 + channel - 1), (unsigned char)(position & 0x7F), (unsigned char)(position >> 7)});
    }
    const std::vector<Source*>& Copies() const { return _app->GetNoteSources()[0]; }
    // The channels of the copies sounding, in the order they were struck.
    std::vector<int> SoundingChannels() const
    {
        std::vector<int> channels;
        for (const Source* copy : Copies())
            channels.push_back(copy->GetMidiChannel());
        return channels;
    }
    size_t Fading() const { return _app->GetReleases()->CountFading(); }

    std::string _dir;
    std::unique_ptr<App> _app;
};

double Semitones(double factor)
{
    return 12.0 * std::log2(factor);
}

// A note with nothing to play says so on screen, once until a source is
// selected: a keyboard played on would otherwise repeat it at every key.
TEST_F(MidiChannelTest, ANoteWithNoSourceSelectedSaysSoOnceUntilOneIs)
{
    const std::string noSource = "MIDI notes play the selected source, and none is selected";
    _app->GetSelection()->Deselect(Selection::SOURCE);
    testing::internal::CaptureStdout();
    NoteOn(1, 60);
    EXPECT_EQ(_app->GetMessage()->GetText(), noSource);
    // Another message (a Program Change beyond the slots) over it; the next note says nothing.
    testing::internal::CaptureStderr();
    Send({0xC0, 100});
    testing::internal::GetCapturedStderr();
    const std::string other = _app->GetMessage()->GetText();
    ASSERT_NE(other, noSource);
    NoteOn(1, 62);
    EXPECT_EQ(_app->GetMessage()->GetText(), other);
    EXPECT_TRUE(Copies().empty());
    _app->GetSelection()->SelectSource(0);
    NoteOn(1, 64);
    EXPECT_EQ(Copies().size(), 1u);
    _app->GetSelection()->Deselect(Selection::SOURCE);
    NoteOn(1, 65);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(_app->GetMessage()->GetText(), noSource);
}

TEST_F(MidiChannelTest, ANoteOffEndsThatNoteOnItsOwnChannelOnly)
{
    NoteOn(1, 84);
    NoteOn(2, 84);
    NoteOn(2, 60);
    NoteOff(2, 84);
    EXPECT_EQ(SoundingChannels(), (std::vector<int>{1, 2}));
    EXPECT_EQ(Copies()[0]->GetMidiNote(), 84);
    EXPECT_EQ(Copies()[1]->GetMidiNote(), 60);
    EXPECT_EQ(Fading(), 1u) << "the ended copy fades out";
    // A note off with a Note On of velocity 0, the way most keyboards send it.
    Send({0x90, 84, 0});
    EXPECT_EQ(SoundingChannels(), (std::vector<int>{2}));
}

TEST_F(MidiChannelTest, TheSustainPedalHoldsItsChannelsNotesUntilLifted)
{
    Control(1, 64, 127);
    NoteOn(1, 84);
    NoteOn(2, 72);
    NoteOff(1, 84);
    NoteOff(2, 72);
    EXPECT_EQ(SoundingChannels(), (std::vector<int>{1})) << "channel 1's pedal holds its note, not channel 2's";
    NoteOn(1, 79);
    Control(1, 64, 64);  // still down: 64 is the pedal's lowest "on"
    EXPECT_EQ(Copies().size(), 2u);
    Control(1, 64, 63);
    EXPECT_EQ(SoundingChannels(), (std::vector<int>{1})) << "the key still held sounds on";
    EXPECT_EQ(Copies()[0]->GetMidiNote(), 79);
    NoteOff(1, 79);
    EXPECT_TRUE(Copies().empty()) << "the lifted pedal holds nothing more";
}

TEST_F(MidiChannelTest, AllNotesOffFadesTheChannelOutAndAllSoundOffCutsIt)
{
    Control(1, 64, 127);
    NoteOn(1, 84);
    NoteOff(1, 84);  // held by the pedal
    NoteOn(1, 60);
    NoteOn(2, 60);
    Control(1, 123, 0);
    EXPECT_EQ(SoundingChannels(), (std::vector<int>{2})) << "held or not, channel 1's notes end";
    EXPECT_EQ(Fading(), 2u) << "with the note off's fade";
    NoteOn(3, 60);
    NoteOn(3, 67);
    Control(3, 120, 0);
    EXPECT_EQ(SoundingChannels(), (std::vector<int>{2}));
    EXPECT_EQ(Fading(), 2u) << "All Sound Off leaves nothing to fade: the notes stop within the block";
}

TEST_F(MidiChannelTest, SystemResetAndThePanicKeySilenceEveryChannel)
{
    Control(5, 64, 127);
    Wheel(5, 0x3FFF);
    for (int channel = 1; channel <= 16; channel++)
        NoteOn(channel, 60 + channel);
    Send({0xFF});
    EXPECT_TRUE(Copies().empty());
    EXPECT_EQ(Fading(), 0u);
    NoteOn(5, 70);
    NoteOff(5, 70);
    EXPECT_TRUE(Copies().empty()) << "the reset lifted the pedal";
    NoteOn(5, 70);
    EXPECT_EQ(Copies()[0]->GetPitchBendFactor(), 1.0) << "and centred the wheel";

    OscCommand oscNote;
    oscNote.kind = OscCommand::SOURCE_NOTE;
    oscNote.index = 0;
    oscNote.note = 72;
    oscNote.velocity = 100;
    _app->GetControllers()->ApplyOscCommand(oscNote);
    ASSERT_EQ(Copies().size(), 2u);
    const size_t fadingBefore = Fading();  // note 70's first note off
    _app->GetControl()->OnSpecialKey(AppControl::KEY_F7, 0, 0, 0);
    EXPECT_TRUE(Copies().empty()) << "F7 stops MIDI and OSC notes alike";
    EXPECT_EQ(Fading(), fadingBefore) << "unheard, as All Sound Off";
}

TEST_F(MidiChannelTest, ResetAllControllersCentresTheWheelAndLiftsThePedal)
{
    Control(1, 64, 127);
    NoteOn(1, 84);
    NoteOff(1, 84);
    NoteOn(1, 72);
    Wheel(1, 0);
    ASSERT_EQ(Copies().size(), 2u);
    Control(1, 121, 0);
    ASSERT_EQ(Copies().size(), 1u) << "the note the pedal held ends";
    EXPECT_EQ(Copies()[0]->GetMidiNote(), 72);
    EXPECT_EQ(Copies()[0]->GetPitchBendFactor(), 1.0);
}

TEST_F(MidiChannelTest, TheWheelBendsItsChannelsCopiesInEqualSemitonesOverTheRange)
{
    Source* selected = _app->GetSources()[0];
    NoteOn(1, 84);
    NoteOn(2, 84);
    Wheel(1, 0x3FFF);
    EXPECT_NEAR(Semitones(Copies()[0]->GetPitchBendFactor()), 2.0, 1e-9) << "full up: 2 semitones by default";
    EXPECT_EQ(Copies()[1]->GetPitchBendFactor(), 1.0) << "channel 2's wheel is centred";
    EXPECT_EQ(selected->GetPitchBendFactor(), 1.0) << "the selected source itself is never bent";
    Wheel(1, 0x3000);
    EXPECT_NEAR(Semitones(Copies()[0]->GetPitchBendFactor()), 1.0, 1e-3) << "half up: half the range";
    Wheel(1, 0x0000);
    EXPECT_NEAR(Semitones(Copies()[0]->GetPitchBendFactor()), -2.0, 1e-9);
    NoteOn(1, 72);
    EXPECT_NEAR(Semitones(Copies()[2]->GetPitchBendFactor()), -2.0, 1e-9) << "a note struck while the wheel is held";

    _app->GetControllers()->SetBendRange(12);
    Wheel(2, 0x3FFF);
    EXPECT_NEAR(Copies()[1]->GetPitchBendFactor(), 2.0, 1e-9) << "--bend-range 12: an octave";
    Wheel(2, 0x2000);
    EXPECT_EQ(Copies()[1]->GetPitchBendFactor(), 1.0) << "centred: unbent";
    _app->GetControllers()->SetBendRange(100);
    Wheel(2, 0x3FFF);
    EXPECT_NEAR(Semitones(Copies()[1]->GetPitchBendFactor()), 48.0, 1e-9) << "the range stops at 48";
    EXPECT_NEAR(Semitones(Copies()[0]->GetPitchBendFactor()), -48.0, 1e-9) << "a new range bends the held wheels";
    // 250 pixels of the mouse: half an octave more on every channel's bend.
    _app->GetControllers()->ApplyVirtualPitchWheel(250, 0);
    EXPECT_NEAR(Semitones(Copies()[0]->GetPitchBendFactor()), -42.0, 1e-9);
    EXPECT_NEAR(Semitones(Copies()[1]->GetPitchBendFactor()), 54.0, 1e-9);
    EXPECT_EQ(selected->GetPitchBendFactor(), 1.0);
}

TEST_F(MidiChannelTest, ProgramChangesRecallTheSceneSlots)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    _app->GetControl()->OnSpecialKey(AppControl::KEY_F1 + 1, 0, 0, AppControl::MOD_CTRL | AppControl::MOD_SHIFT);
    _app->GetScenes()->WritePendingSession();
    AddCloud();
    AddCloud();
    ASSERT_EQ(_app->GetSources().size(), 3u);
    Send({0xC3, 8});
    _app->GetScenes()->RecallPendingScene();
    EXPECT_EQ(_app->GetSources().size(), 3u) << "program 8 has no slot";
    EXPECT_NE(_app->GetMessage()->GetText().find("Program Change 8: programs 0 to 7 recall scene slots 1 to 8"),
              std::string::npos);
    Send({0xC3, 1});
    _app->GetScenes()->RecallPendingScene();
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(_app->GetSources().size(), 1u) << "program 1 recalls slot 2, on any channel";
}

// The input thread's sorting: the pedal reaches the notes and MIDI learn,
// the channel mode messages only the notes, other controllers only MIDI learn.
TEST(MidiRoutingTest, ThePedalAndTheChannelModesReachTheNotesInTheirOrder)
{
    MyRtMidiIn input;
    MidiQueue learn;
    input.SetControlQueue(&learn);
    const std::vector<std::vector<unsigned char>> sent = {{0x90, 60, 100}, {0xB0, 64, 127}, {0xB1, 7, 90},
                                                          {0xB0, 123, 0},  {0xB2, 120, 0},  {0x80, 60, 0}};
    for (std::vector<unsigned char> message : sent)
        input.Callback(0, &message);
    std::vector<int> notes, learned;
    MidiQueue::MidiMessage m;
    while (input.GetMidiQueue()->PopMessage(&m))
        notes.push_back(m.IsControlChange() ? m.GetController() : m.GetNoteNumber());
    while (learn.PopMessage(&m))
        learned.push_back(m.GetController());
    EXPECT_EQ(notes, (std::vector<int>{60, 64, 123, 120, 60}));
    EXPECT_EQ(learned, (std::vector<int>{64, 7}));
}

}  // namespace
