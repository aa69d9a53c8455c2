#include <gtest/gtest.h>
#include <lo/lo.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "SineFile.h"
#include "app/App.h"
#include "app/AppControl.h"
#include "app/Controllers.h"
#include "app/FloatingWindows.h"
#include "app/SceneStore.h"
#include "app/ScreenMessage.h"
#include "app/Selection.h"
#include "effects/DelayEffect.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "effects/VolumeEffect.h"
#include "midi/ControllerBindings.h"
#include "midi/MidiLearn.h"
#include "midi/MidiQueue.h"
#include "midi/OscCommand.h"
#include "midi/OscServer.h"
#include "midi/OscSubscribers.h"
#include "midi/RateLimitedReport.h"
#include "parameters/Parameter.h"
#include "session/Serializer.h"
#include "session/SessionTrailer.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "sources/Source.h"
#include "ui/UIEffect.h"
#include "ui/UIEffectWidget.h"
#include "ui/UIEffectsCanvas.h"
#include "ui/UISoundRect.h"

namespace {

const int W = 1000;
const int H = 500;
const int NO_MOD = 0;

// A scene of one sound rect and a grain cloud over it, played block by block
// as the audio callback plays it, with Control Changes arriving in between.
class MidiLearnTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zoltalearnXXXXXX";
        _dir = mkdtemp(pattern);
        WriteSine(_dir + "/s0.wav", 44100);
        _app.SetWinSize(W, H);
        _app.SetAudioPath(_dir + "/");
        testing::internal::CaptureStdout();
        ASSERT_TRUE(_app.LoadSounds());
        testing::internal::GetCapturedStdout();
        _app.GetSoundRects()[0]->GetUI()->SetDimensions(0.6, 0.6);
        _app.GetSoundRects()[0]->GetUI()->UpdateRectPosition(0.5, 0.5);
        _app.SetMenuFlag(false);
        AddCloud();
        _out.resize(2 * 1024);
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf " + _dir;
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    void AddCloud() { _app.AddGrainCloud(0.5 * W, 0.5 * H); }
    GrainCloud* Cloud(int i) { return static_cast<GrainCloud*>(_app.GetSources()[i]); }
    MidiLearn* Learn() { return _app.GetMidiLearn(); }
    void Pick(int param) { Cloud(_app.GetSelection()->GetSelectedSourceIndex())->SetCurrentParamIndex(param); }
    void PressF9(int modifiers = NO_MOD) { _app.GetControl()->OnSpecialKey(AppControl::KEY_F9, 0, 0, modifiers); }
    // A Control Change from the MIDI input thread, then one audio block.
    void ControlChange(int channel, int controller, int value)
    {
        Learn()->GetQueue()->PushMessage(
            0, {(unsigned char)(0xB0 + channel - 1), (unsigned char)controller, (unsigned char)value});
        Block();
    }
    void Block() { _app.OnAudio(_out.data(), nullptr, 1024, 0, 0, nullptr); }
    void Idle()
    {
        testing::internal::CaptureStdout();
        _app.GetControllers()->UpdateControllers();
        _lastMessage = testing::internal::GetCapturedStdout();
    }
    // OSC on a free port of localhost; 0 when none is.
    int StartOsc()
    {
        testing::internal::CaptureStdout();
        int port = 0;
        for (int p = 49000 + getpid() % 1000; port == 0 && p < 51000; p++) {
            if (_app.GetControllers()->StartOsc("127.0.0.1", p))
                port = p;
        }
        testing::internal::GetCapturedStdout();
        return port;
    }
    Parameter* MasterParam(int effect, int param)
    {
        return _app.GetMasterEffectsBox()->GetEffect(EffectsBox::EffectIdx(effect))->GetParameter(param);
    }

    App _app;
    std::string _dir;
    std::vector<float> _out;
    std::string _lastMessage;
};

// F9 with the pitch picked, then a knob: the knob's controller and channel
// drive the cloud's pitch from the next block on, 0..127 along the range.
TEST_F(MidiLearnTest, TheNextControlChangeAfterF9DrivesThePickedParameterOverItsRange)
{
    Pick(GrainCloud::PITCH);
    testing::internal::CaptureStdout();
    PressF9();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Pitch of source 1"), std::string::npos);
    ASSERT_TRUE(Learn()->IsArmed());
    ControlChange(3, 21, 0);
    EXPECT_FALSE(Learn()->IsArmed());
    EXPECT_DOUBLE_EQ(Cloud(0)->GetPitch(), 0.1) << "the learning change already sets the value";
    Idle();
    EXPECT_NE(_lastMessage.find("controller 21 (channel 3) now drives Pitch of source 1"), std::string::npos)
        << _lastMessage;
    ControlChange(3, 21, 127);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetPitch(), 5.0);
    ControlChange(3, 21, 64);
    EXPECT_NEAR(Cloud(0)->GetPitch(), 0.1 + 4.9 * 64.0 / 127.0, 1e-12);
    ControlChange(4, 21, 0);
    ControlChange(3, 22, 0);
    EXPECT_NEAR(Cloud(0)->GetPitch(), 0.1 + 4.9 * 64.0 / 127.0, 1e-12) << "another channel or controller";
}

// The time stretch's curve has the exponent 2: mid-travel is a quarter of the range.
TEST_F(MidiLearnTest, AControllerFollowsTheParametersOwnCurve)
{
    Pick(GrainCloud::TIME_STRETCH);
    PressF9();
    ControlChange(1, 1, 0);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetTimeStretch(), 0.0);
    ControlChange(1, 1, 90);
    EXPECT_NEAR(Cloud(0)->GetTimeStretch(), 2.0 * std::pow(90.0 / 127.0, 2.0), 1e-12);
}

TEST_F(MidiLearnTest, RelearningMovesTheControllerAndShiftF9ClearsIt)
{
    Pick(GrainCloud::PITCH);
    PressF9();
    ControlChange(1, 7, 127);
    Pick(GrainCloud::VOLUME);
    PressF9();
    const Parameter* volume = Cloud(0)->GetParameter(GrainCloud::VOLUME);
    ControlChange(1, 7, 0);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetVolumeDb(), volume->GetMinValue());
    ControlChange(1, 7, 127);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetPitch(), 5.0) << "the pitch follows controller 7 no more";
    EXPECT_DOUBLE_EQ(Cloud(0)->GetVolumeDb(), volume->GetMaxValue());

    testing::internal::CaptureStdout();
    PressF9(AppControl::MOD_SHIFT);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("no controller any more"), std::string::npos);
    ControlChange(1, 7, 0);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetVolumeDb(), volume->GetMaxValue());
    EXPECT_EQ(Learn()->GetBindings()->GetCount(), 0);
}

// Note copies play the source's learned parameters as they play its dragged ones.
TEST_F(MidiLearnTest, NoteCopiesFollowALearnedParameter)
{
    _app.GetControllers()->GetMidiQueue()->PushMessage(0, {0x90, 72, 100});
    _app.GetControllers()->UpdateMidiIn();
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 1u);
    Pick(GrainCloud::PITCH);
    PressF9();
    ControlChange(1, 7, 127);
    auto* copy = static_cast<GrainCloud*>(_app.GetNoteSources()[0][0]);
    EXPECT_DOUBLE_EQ(copy->GetPitch(), 5.0);
}

// An effect's knob is set by the audio thread at once; its text, which the
// GUI thread draws, is written at the next idle call. A cloud's voice count
// changes its view and allocates, so it waits for the idle call altogether.
TEST_F(MidiLearnTest, KnobsSetAtOnceViewSettingsAtTheNextIdle)
{
    Learn()->Arm(ControlTarget::MasterEffect(EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM));
    Parameter* volume = MasterParam(EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM);
    ControlChange(1, 10, 127);
    EXPECT_DOUBLE_EQ(volume->GetValue(), 12.0);
    EXPECT_STREQ(volume->GetValueStr(), "0 dB");
    Idle();
    EXPECT_STREQ(volume->GetValueStr(), "12 dB");

    Pick(GrainCloud::NUMGRAINS);
    PressF9();
    const unsigned before = Cloud(0)->GetNumGrains();
    ControlChange(1, 11, 127);
    EXPECT_EQ(Cloud(0)->GetNumGrains(), before);
    Idle();
    EXPECT_EQ(Cloud(0)->GetNumGrains(), 100u);
}

// Bindings name sources by their place in the scene: a deleted source takes
// its bindings along, and a later source's bindings follow it down.
TEST_F(MidiLearnTest, ABindingGoesWithItsSourceAndLaterOnesFollowTheirs)
{
    Pick(GrainCloud::PITCH);
    PressF9();
    ControlChange(1, 1, 0);
    AddCloud();
    Learn()->Arm(ControlTarget::SourceEffect(1, EffectsBox::EFFECT_DELAY, 3));
    ControlChange(1, 2, 0);
    Pick(GrainCloud::PITCH);
    PressF9();
    ControlChange(1, 3, 127);
    ASSERT_EQ(Learn()->GetBindings()->GetCount(), 3);

    _app.GetSelection()->UpdateSourcePicking(0.5, 0.5);
    _app.GetSelection()->Deselect(Selection::SOURCE);
    _app.GetControl()->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, W / 2, H / 2, NO_MOD);
    _app.GetControl()->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_UP, W / 2, H / 2, NO_MOD);
    ASSERT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), 0);
    _app.DelSelectedSource();
    ASSERT_EQ(_app.GetSources().size(), 1u);
    EXPECT_EQ(Learn()->GetBindings()->GetCount(), 2);
    ControlChange(1, 3, 0);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetPitch(), 0.1) << "the second cloud, now the first, keeps its controller";
    ControlChange(1, 2, 127);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetEffectsBox()->GetEffect(EffectsBox::EFFECT_DELAY)->GetParameter(3)->GetValue(),
                     100.0);
}

// F9 with the effects window open learns the knob under the pointer, of
// the chain the window shows; elsewhere it learns the picked box, and with
// nothing picked it arms nothing.
TEST_F(MidiLearnTest, F9LearnsTheKnobUnderThePointerOfTheChainShown)
{
    _app.GetWindows()->BuildFloatingWindows();
    auto pressF9Over = [&](EffectsBox::EffectIdx effect, int knob) {
        const UIEffectWidget* w = _app.GetWindows()->GetEffectsCanvas()->GetEffect(effect)->GetWidget(knob);
        const int x = int((w->GetX() + 0.5 * w->GetWidth()) * W), y = int((w->GetY() + 0.5 * w->GetHeight()) * H);
        _app.GetControl()->OnSpecialKey(AppControl::KEY_F9, x, y, NO_MOD);
    };
    _app.GetWindows()->OpenEffectsWindow(false);
    pressF9Over(EffectsBox::EFFECT_DELAY, DelayEffect::WET_MIX_PARAM);
    EXPECT_EQ(Learn()->GetArmed(),
              ControlTarget::SourceEffect(0, EffectsBox::EFFECT_DELAY, DelayEffect::WET_MIX_PARAM));
    _app.GetWindows()->OpenEffectsWindow(true);
    pressF9Over(EffectsBox::EFFECT_STEREO, 1);
    EXPECT_EQ(Learn()->GetArmed(), ControlTarget::MasterEffect(EffectsBox::EFFECT_STEREO, 1));
    ControlChange(2, 5, 0);
    EXPECT_DOUBLE_EQ(MasterParam(EffectsBox::EFFECT_STEREO, 1)->GetValue(), -100.0);

    _app.GetWindows()->CloseEffectsWindow();
    Learn()->Disarm();
    Cloud(0)->ResetCurrentParameterIndex();
    testing::internal::CaptureStdout();
    PressF9();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("pick a parameter"), std::string::npos);
    EXPECT_FALSE(Learn()->IsArmed());
}

// Read back into a scene, bindings to what it lacks are dropped; the rest
// drive their parameters as before.
TEST_F(MidiLearnTest, BindingsReadBackDropWhatTheSceneLacks)
{
    ControllerBindings* bindings = Learn()->GetBindings();
    bindings->Bind(1, 1, ControlTarget::SourceParam(0, GrainCloud::PITCH));
    bindings->Bind(1, 2, ControlTarget::SourceParam(3, GrainCloud::PITCH));
    bindings->Bind(1, 3, ControlTarget::SourceParam(0, 99));
    bindings->Bind(1, 4, ControlTarget::RectParam(0, UISoundRect::CONTRAST));
    bindings->Bind(1, 5, ControlTarget::MasterEffect(EffectsBox::EFFECT_VOLUME, 9));
    Serializer out;
    out.OpenWriteMemory();
    Learn()->Serialize(&out);
    Learn()->Reset();
    EXPECT_EQ(bindings->GetCount(), 0);
    Serializer in;
    in.OpenReadMemory(out.GetStream());
    Learn()->UnSerialize(&in, {0});
    EXPECT_EQ(bindings->GetCount(), 2);
    ControlChange(1, 1, 127);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetPitch(), 5.0);
    ControlChange(1, 4, 0);
    Idle();
    EXPECT_DOUBLE_EQ(_app.GetSoundRects()[0]->GetUI()->GetColorContrast(), 0.01) << "a rect's setting, at idle";
}

TEST_F(MidiLearnTest, AVelocityPlaysTheCopyAtTheSquareOfItsShareOf127)
{
    EXPECT_DOUBLE_EQ(Source::VelocityToLevel(127), 1.0);
    EXPECT_NEAR(Source::VelocityToLevel(64), 0.2539, 1e-4);
    EXPECT_NEAR(20 * std::log10(Source::VelocityToLevel(32)), -23.95, 0.01);
    _app.GetControllers()->GetMidiQueue()->PushMessage(0, {0x90, 60, 64});
    _app.GetControllers()->GetMidiQueue()->PushMessage(0, {0x90, 62, 127});
    _app.GetControllers()->GetMidiQueue()->PushMessage(0, {0x90, 64, 0});
    _app.GetControllers()->UpdateMidiIn();
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 2u) << "velocity 0 stays a note off";
    EXPECT_DOUBLE_EQ(_app.GetNoteSources()[0][0]->GetNoteLevel(), Source::VelocityToLevel(64));
    EXPECT_DOUBLE_EQ(_app.GetNoteSources()[0][1]->GetNoteLevel(), 1.0);
    EXPECT_DOUBLE_EQ(_app.GetSources()[0]->GetNoteLevel(), 1.0);
}

// A note on whose note number is no data byte (0xC8) would start a copy that
// no note off reaches: it is dropped whole at the queue, while a well-formed
// note on next to it plays, and its note off ends it.
TEST_F(MidiLearnTest, ANoteOnWithADataByteAbove127MakesNoCopy)
{
    MidiQueue* queue = _app.GetControllers()->GetMidiQueue();
    for (int i = 0; i < 100; i++)
        queue->PushMessage(0, {0x90, 0xC8, 0x7F});
    queue->PushMessage(0, {0x90, 60, 0x80});
    testing::internal::CaptureStderr();
    _app.GetControllers()->UpdateMidiIn();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(_app.GetNoteSources()[0].empty());
    EXPECT_NE(said.find("101 messages dropped that are not well-formed MIDI"), std::string::npos) << said;
    queue->PushMessage(0, {0x90, 60, 100});
    _app.GetControllers()->UpdateMidiIn();
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 1u);
    EXPECT_EQ(_app.GetNoteSources()[0][0]->GetMidiNote(), 60);
    queue->PushMessage(0, {0x80, 60, 0});
    _app.GetControllers()->UpdateMidiIn();
    EXPECT_TRUE(_app.GetNoteSources()[0].empty());
}

TEST_F(MidiLearnTest, OscCommandsSetParametersPlayNotesAndRefuseWhatTheSceneLacks)
{
    OscCommand pitch;
    pitch.kind = OscCommand::SOURCE_PARAM;
    pitch.index = 0;
    std::strcpy(pitch.name, "pitch");
    pitch.value = 2.5;
    _app.GetControllers()->ApplyOscCommand(pitch);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetPitch(), 2.5);
    std::strcpy(pitch.name, "lfo-freq");
    pitch.value = 0.5;
    _app.GetControllers()->ApplyOscCommand(pitch);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetPitchLFOFreq(), 0.5);

    testing::internal::CaptureStderr();
    std::strcpy(pitch.name, "colour");
    _app.GetControllers()->ApplyOscCommand(pitch);
    pitch.index = 1;
    std::strcpy(pitch.name, "pitch");
    _app.GetControllers()->ApplyOscCommand(pitch);
    // The idle shows the complaint on screen and stderr; the second one,
    // within the same second, is held back and counted.
    _app.GetControllers()->UpdateControllers();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "OSC /source/0/colour: no such source or parameter\n");
    EXPECT_EQ(_app.GetMessage()->GetText(), "OSC /source/0/colour: no such source or parameter");
    EXPECT_TRUE(_app.GetMessage()->IsError());
    EXPECT_DOUBLE_EQ(Cloud(0)->GetPitch(), 2.5);

    OscCommand master;
    master.kind = OscCommand::MASTER_EFFECT;
    master.index = EffectsBox::EFFECT_VOLUME;
    master.param = VolumeEffect::VOLUME_PARAM;
    master.value = -40.0;
    _app.GetControllers()->ApplyOscCommand(master);
    EXPECT_DOUBLE_EQ(MasterParam(EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM)->GetValue(), -12.0)
        << "held to the knob's range";

    OscCommand note;
    note.kind = OscCommand::SOURCE_NOTE;
    note.index = 0;
    note.note = 84;
    note.velocity = 32;
    _app.GetControllers()->ApplyOscCommand(note);
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 1u);
    EXPECT_DOUBLE_EQ(_app.GetNoteSources()[0][0]->GetMidiNotePitch(), 2.0);
    EXPECT_DOUBLE_EQ(_app.GetNoteSources()[0][0]->GetNoteLevel(), Source::VelocityToLevel(32));
    note.velocity = 0;
    _app.GetControllers()->ApplyOscCommand(note);
    EXPECT_TRUE(_app.GetNoteSources()[0].empty());
}

// A real packet over the loopback: the server's thread reads it into a
// command that the GUI thread pops.
TEST(OscServerTest, APacketSentToLocalhostArrivesAsACommand)
{
    RateLimitedReport report;
    OscServer server(&report);
    std::string error;
    int port = 0;
    for (int p = 47000 + getpid() % 1000; port == 0 && p < 49000; p++) {
        if (server.Start("127.0.0.1", p, &error))
            port = p;
    }
    ASSERT_NE(port, 0) << error;
    lo_address to = lo_address_new("127.0.0.1", std::to_string(port).c_str());
    ASSERT_GE(lo_send(to, "/source/3/volume", "f", -3.0f), 0);
    OscCommand command;
    bool received = false;
    for (int i = 0; i < 500 && !received; i++) {
        received = server.PopCommand(&command);
        if (!received)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    lo_address_free(to);
    server.Stop();
    ASSERT_TRUE(received);
    EXPECT_EQ(command.kind, OscCommand::SOURCE_PARAM);
    EXPECT_EQ(command.index, 3);
    EXPECT_STREQ(command.name, "volume");
    EXPECT_EQ(command.value, -3.0);

    OscServer second(&report);
    EXPECT_FALSE(second.Start("127.0.0.1", port + 70000, &error));
    EXPECT_NE(error.find("between 1 and 65535"), std::string::npos);
    EXPECT_FALSE(second.Start("localhost", port, &error));
    EXPECT_NE(error.find("not an IPv4 address"), std::string::npos) << error;
}

// A client on a port of its own, as a tablet's OSC app is: what the
// instrument answers must come back to this port.
class OscClient {
public:
    OscClient() : _server(lo_server_new(nullptr, nullptr)) {}
    ~OscClient() { lo_server_free(_server); }

    void Send(int port, const char* path, lo_message message)
    {
        lo_address to = lo_address_new("127.0.0.1", std::to_string(port).c_str());
        EXPECT_GE(lo_send_message_from(to, _server, path, message), 0);
        lo_address_free(to);
        lo_message_free(message);
    }

    // The next message to path (any path: null) that arrives while the
    // instrument runs its idle: its path and first argument (a float or a
    // string), or "" after waitMs.
    std::string Receive(const std::function<void()>& idle, const char* path = nullptr, int waitMs = 2000)
    {
        _received.clear();
        lo_server_add_method(_server, path, nullptr, &OscClient::Take, this);
        for (int i = 0; i < waitMs / 10 && _received.empty(); i++) {
            idle();
            lo_server_recv_noblock(_server, 10);
        }
        lo_server_del_method(_server, path, nullptr);
        // What else came meanwhile is not what the caller waits for.
        while (lo_server_recv_noblock(_server, 0) > 0) {
        }
        return _received;
    }

private:
    static int Take(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* self)
    {
        std::string& received = static_cast<OscClient*>(self)->_received;
        received = path;
        if (argc > 0 && types[0] == LO_FLOAT)
            received += " f " + std::to_string(argv[0]->f);
        else if (argc > 0 && types[0] == LO_STRING)
            received += " s " + std::string(&argv[0]->s);
        return 0;
    }

    lo_server _server;
    std::string _received;
};

// Over real UDP through the instrument: a parameter's address alone is
// answered with its value, to the sender's port; what it cannot do is
// answered with /error, both from the server's thread (an unknown address)
// and from the GUI thread (a source the scene does not have).
TEST_F(MidiLearnTest, OscQueriesAreAnsweredWithTheValueAndFaultsWithError)
{
    AddCloud();
    const int port = StartOsc();
    ASSERT_NE(port, 0);
    const auto idle = [this]() { _app.GetControllers()->UpdateControllers(); };
    OscClient client;
    testing::internal::CaptureStderr();

    client.Send(port, "/source/0/pitch", lo_message_new());
    EXPECT_EQ(client.Receive(idle), "/source/0/pitch f " + std::to_string(1.0f));
    lo_message set = lo_message_new();
    lo_message_add_double(set, 1.5);
    client.Send(port, "/source/0/pitch", set);
    client.Send(port, "/source/0/pitch", lo_message_new());
    EXPECT_EQ(client.Receive(idle), "/source/0/pitch f " + std::to_string(1.5f));
    client.Send(port, "/master/volume/on", lo_message_new());
    EXPECT_EQ(client.Receive(idle), "/master/volume/on f " + std::to_string(0.0f)) << "the master Volume starts off";

    lo_message ff = lo_message_new();
    lo_message_add_float(ff, 84.0f);
    lo_message_add_float(ff, 127.0f);
    client.Send(port, "/source/0/note", ff);
    for (int i = 0; i < 200 && _app.GetNoteSources()[0].empty(); i++) {
        idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 1u) << "floats play a note";
    EXPECT_DOUBLE_EQ(_app.GetNoteSources()[0][0]->GetMidiNotePitch(), 2.0);

    client.Send(port, "/nothing", lo_message_new());
    EXPECT_EQ(client.Receive(idle), "/error s OSC /nothing : unknown address");
    client.Send(port, "/source/5/pitch", lo_message_new());
    EXPECT_EQ(client.Receive(idle), "/error s OSC /source/5/pitch: no such source or parameter");
    testing::internal::GetCapturedStderr();
}

// A fader swept at 1000 moves a second reaches a listener 30 times a
// second at most, and its last value always follows.
TEST(OscSubscribersTest, EachParameterIsSentAtMostThirtyTimesASecond)
{
    RateLimitedReport report;
    OscServer server(&report);
    std::string error;
    for (int p = 51000 + getpid() % 1000; !server.IsRunning() && p < 53000; p++)
        server.Start("127.0.0.1", p, &error);
    ASSERT_TRUE(server.IsRunning()) << error;
    lo_server client = lo_server_new(nullptr, nullptr);
    OscSender listener;
    sockaddr_in* address = reinterpret_cast<sockaddr_in*>(&listener.address);
    address->sin_family = AF_INET;
    address->sin_port = htons(uint16_t(lo_server_get_port(client)));
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    listener.size = sizeof(sockaddr_in);
    OscSubscribers subscribers(&server);
    ASSERT_TRUE(subscribers.Add(listener));
    ASSERT_TRUE(subscribers.Add(listener)) << "the same one again";
    OscSender other = listener;
    for (size_t i = 1; i < OscSubscribers::MAX_LISTENERS; i++) {
        reinterpret_cast<sockaddr_in*>(&other.address)->sin_port = htons(uint16_t(9 + i));
        ASSERT_TRUE(subscribers.Add(other));
    }
    reinterpret_cast<sockaddr_in*>(&other.address)->sin_port = htons(8);
    EXPECT_FALSE(subscribers.Add(other)) << "one too many";
    for (size_t i = 1; i < OscSubscribers::MAX_LISTENERS; i++) {
        reinterpret_cast<sockaddr_in*>(&other.address)->sin_port = htons(uint16_t(9 + i));
        subscribers.Remove(other);
    }

    int pitches = 0, volumes = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int ms = 0; ms < 1000; ms++) {
        const auto now = t0 + std::chrono::milliseconds(ms);
        subscribers.Offer("/source/0/pitch", float(ms), now);
        subscribers.Offer("/source/0/volume", -6.0f, now);
    }
    subscribers.Offer("/source/0/pitch", 999.0f, t0 + std::chrono::milliseconds(1100));
    float last = -1.0f;
    char packet[256];
    ssize_t size = 0;
    while ((size = recv(lo_server_get_socket_fd(client), packet, sizeof(packet), MSG_DONTWAIT)) > 0) {
        lo_message message = lo_message_deserialise(packet, size_t(size), nullptr);
        ASSERT_NE(message, nullptr);
        const std::string path = lo_get_path(packet, size);
        pitches += path == "/source/0/pitch";
        volumes += path == "/source/0/volume";
        if (path == "/source/0/pitch")
            last = lo_message_get_argv(message)[0]->f;
        lo_message_free(message);
    }
    lo_server_free(client);
    EXPECT_EQ(volumes, 1) << "an unchanged value is sent once";
    EXPECT_GE(pitches, 30);
    EXPECT_LE(pitches, 32);
    EXPECT_EQ(last, 999.0f);
}

// A subscribed client follows what a learned knob sets, once per change,
// and nothing after it unsubscribes.
TEST_F(MidiLearnTest, ASubscribedOscClientIsSentTheValuesAKnobSets)
{
    Pick(GrainCloud::PITCH);
    testing::internal::CaptureStdout();
    PressF9();
    testing::internal::GetCapturedStdout();
    ControlChange(1, 21, 0);
    Idle();
    const int port = StartOsc();
    ASSERT_NE(port, 0);
    const auto idle = [this]() { _app.GetControllers()->UpdateControllers(); };
    OscClient client;
    client.Send(port, "/subscribe", lo_message_new());
    EXPECT_EQ(client.Receive(idle, "/source/0/pitch"), "/source/0/pitch f " + std::to_string(0.1f))
        << "a new listener learns the values there are";

    ControlChange(1, 21, 127);
    EXPECT_EQ(client.Receive(idle, "/source/0/pitch"), "/source/0/pitch f " + std::to_string(5.0f));
    EXPECT_EQ(client.Receive(idle, "/source/0/pitch", 200), "") << "an unchanged value is not sent again";

    client.Send(port, "/unsubscribe", lo_message_new());
    EXPECT_EQ(client.Receive(idle, "/nothing-comes", 200), "");
    ControlChange(1, 21, 0);
    EXPECT_EQ(client.Receive(idle, nullptr, 300), "");
}

TEST(RateLimitedReportTest, OneLinePerIntervalAndTheRestCounted)
{
    RateLimitedReport report(std::chrono::milliseconds(1000));
    const auto t0 = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(report.Report("first", t0));
    EXPECT_FALSE(report.Report("second", t0 + std::chrono::milliseconds(10)));
    EXPECT_FALSE(report.Report("third", t0 + std::chrono::milliseconds(999)));
    EXPECT_EQ(report.GetHeldBack(), 2);
    EXPECT_TRUE(report.Report("fourth", t0 + std::chrono::milliseconds(1000)));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "first\nfourth (and 2 more like it held back)\n");
}

// A line said elsewhere (a refused recording, on screen) is paced the same
// way, and nothing of it goes to stderr.
TEST(RateLimitedReportTest, AdmittedLinesArePacedAndCountedButNotPrinted)
{
    RateLimitedReport report(std::chrono::milliseconds(1000));
    const auto t0 = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    std::string line = "busy";
    EXPECT_TRUE(report.Admit(&line, t0));
    EXPECT_EQ(line, "busy");
    for (int i = 1; i <= 3; i++) {
        line = "busy";
        EXPECT_FALSE(report.Admit(&line, t0 + std::chrono::milliseconds(300 * i)));
    }
    line = "busy";
    EXPECT_TRUE(report.Admit(&line, t0 + std::chrono::milliseconds(1000)));
    EXPECT_EQ(line, "busy (and 3 more like it held back)");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Lines kept for the screen are paced the same way, wait to be taken once
// each, and nothing of them goes to stderr.
TEST(RateLimitedReportTest, KeptLinesWaitToBeTakenOnceInsteadOfPrinted)
{
    RateLimitedReport report(std::chrono::milliseconds(1000));
    report.KeepForTaking();
    const auto t0 = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    std::string line;
    EXPECT_FALSE(report.TakeKept(&line));
    EXPECT_TRUE(report.Report("first", t0));
    EXPECT_FALSE(report.Report("second", t0 + std::chrono::milliseconds(500)));
    ASSERT_TRUE(report.TakeKept(&line));
    EXPECT_EQ(line, "first");
    EXPECT_FALSE(report.TakeKept(&line));
    EXPECT_TRUE(report.Report("third", t0 + std::chrono::milliseconds(1000)));
    ASSERT_TRUE(report.TakeKept(&line));
    EXPECT_EQ(line, "third (and 1 more like it held back)");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace

namespace {

// Bindings are saved with the scene and come back with it, still driving
// their parameters; restoring a scene saved without bindings leaves none.
TEST_F(MidiLearnTest, BindingsAreSavedWithTheSceneAndComeBackWithIt)
{
    Pick(GrainCloud::PITCH);
    PressF9();
    ControlChange(2, 21, 0);
    Learn()->Arm(ControlTarget::MasterEffect(EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM));
    ControlChange(1, 7, 127);
    ASSERT_EQ(Learn()->GetBindings()->GetCount(), 2);
    Serializer withBindings;
    withBindings.OpenWriteMemory();
    _app.GetScenes()->SerializeSession(&withBindings);

    Learn()->Reset();
    Serializer reader;
    reader.OpenReadMemory(withBindings.GetStream());
    _app.GetScenes()->UnSerializeSession(&reader);
    EXPECT_FALSE(reader.IsDamaged()) << reader.GetError();
    ASSERT_EQ(Learn()->GetBindings()->GetCount(), 2);
    ControlChange(2, 21, 127);
    EXPECT_DOUBLE_EQ(Cloud(0)->GetPitch(), 5.0);
    ControlChange(1, 7, 0);
    EXPECT_DOUBLE_EQ(MasterParam(EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM)->GetValue(),
                     MasterParam(EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM)->GetMinValue());

    Learn()->Reset();
    Serializer without;
    without.OpenWriteMemory();
    _app.GetScenes()->SerializeSession(&without);
    Pick(GrainCloud::PITCH);
    PressF9();
    ControlChange(2, 21, 0);
    Serializer reread;
    reread.OpenReadMemory(without.GetStream());
    _app.GetScenes()->UnSerializeSession(&reread);
    EXPECT_EQ(Learn()->GetBindings()->GetCount(), 0);
}

// A session of 76 bytes: no rect record, and a MIDI learn chunk that binds
// a controller to rect -1. Read at start, it is said to be damaged and the
// binding is refused; nothing reads before the list of rects.
TEST_F(MidiLearnTest, ABindingOfRectMinusOneInASessionIsRefusedWithAMessage)
{
    Serializer crafted;
    crafted.OpenWriteMemory();
    crafted.PutInt(0);
    Serializer binding;
    binding.OpenWriteMemory();
    for (int v : {1, 1, 7, int(ControlTarget::RECT_PARAM), -1, -1, 0})
        binding.PutInt(v);
    SessionTrailer::Append({{"MIDI", binding.GetStream()}}, &crafted);
    ASSERT_EQ(crafted.GetStream().size(), 76u);
    const std::string path = _dir + "/session.bin";
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(fwrite(crafted.GetStream().data(), 1, 76, file), 76u);
    fclose(file);

    _app.GetScenes()->SetSessionPath(path);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    _app.GetScenes()->UnSerializeSession();
    testing::internal::GetCapturedStdout();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("could not be read whole"), std::string::npos) << said;
    EXPECT_EQ(Learn()->GetBindings()->GetCount(), 0);
    ControlChange(1, 7, 127);
    EXPECT_EQ(_app.GetSoundRects().size(), 1u);
}

}  // namespace
