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
#include "app/SourceReleases.h"
#include "app/StyleSwitch.h"
#include "midi/MidiQueue.h"
#include "midi/OscCommand.h"
#include "sound/SoundRect.h"
#include "sources/Source.h"
#include "ui/UISoundRect.h"

namespace {

const int W = 1000;
const int H = 500;
const unsigned BLOCK = 64;

// Note copies held while their source goes away (a recall, a delete, a
// quit), for every kind of source: the copies fade out on the source's chain
// and read its envelope and view to the end of their fade. Under the address
// sanitizer, freeing the source first is caught as a use after free.
class NoteCopyLifetimeTest : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zoltanotesXXXXXX";
        _dir = mkdtemp(pattern);
        WriteSine(_dir + "/s0.wav", 44100);
        _app.reset(new App());
        _app->SetWinSize(W, H);
        _app->SetAudioPath(_dir + "/");
        _app->GetStyles()->CreateStyles();
        testing::internal::CaptureStdout();
        ASSERT_TRUE(_app->LoadSounds());
        testing::internal::GetCapturedStdout();
        _app->GetScenes()->SetSessionPath(_dir + "/session.bin");
        _app->SetMenuFlag(false);
        UISoundRect* rect = _app->GetSoundRects()[0]->GetUI();
        rect->SetDimensions(0.6, 0.6);
        rect->UpdateRectPosition(0.5, 0.5);
    }
    void TearDown() override
    {
        _app.reset();
        ASSERT_EQ(system(("rm -rf " + _dir).c_str()), 0);
    }
    void AddSourceWithHeldNotes()
    {
        _app->GetControl()->OnMousePassiveMotion(W / 2, H / 2);
        _app->GetControl()->OnKeyboard(GetParam(), 0, 0, 0);
        ASSERT_FALSE(_app->GetSources().empty());
        Note(0x90, 60);
        Note(0x90, 67);
        Render(8);
    }
    void Note(unsigned char status, unsigned char note)
    {
        _app->GetControllers()->GetMidiQueue()->PushMessage(0, {status, note, 100});
        _app->GetControllers()->UpdateMidiIn();
    }
    // Blocks shorter than the fade, each followed by what the idle call does
    // to the releases, so that a source freed too early is read afterwards.
    float Render(int blocks)
    {
        std::vector<float> out(2 * BLOCK);
        float peak = 0.0f;
        for (int b = 0; b < blocks; b++) {
            _app->OnAudio(out.data(), nullptr, BLOCK, 0, 0, nullptr);
            for (float v : out) {
                EXPECT_TRUE(std::isfinite(v));
                peak = std::max(peak, std::fabs(v));
            }
            Note(0x80, 1);  // a note off of nothing frees what has played out
        }
        return peak;
    }
    std::string _dir;
    std::unique_ptr<App> _app;
};

TEST_P(NoteCopyLifetimeTest, HeldCopiesFadeOutThroughARecallADeleteAndAQuit)
{
    // Slot 1 holds an empty scene.
    _app->GetControl()->OnSpecialKey(AppControl::KEY_F1, 0, 0, AppControl::MOD_CTRL | AppControl::MOD_SHIFT);
    testing::internal::CaptureStdout();
    _app->GetScenes()->WritePendingSession();
    for (int round = 0; round < 3; round++) {
        AddSourceWithHeldNotes();
        _app->GetControl()->OnSpecialKey(AppControl::KEY_F1, 0, 0, AppControl::MOD_CTRL);
        _app->GetScenes()->RecallPendingScene();
        ASSERT_TRUE(_app->GetSources().empty());
        Render(8);
    }
    testing::internal::GetCapturedStdout();

    AddSourceWithHeldNotes();
    _app->GetControl()->OnKeyboard(AppControl::KEY_DELETE, 0, 0, 0);
    ASSERT_TRUE(_app->GetSources().empty());
    Render(8);
    _app->GetReleases()->FreeFinished();
    EXPECT_TRUE(_app->GetReleases()->IsEmpty()) << "every copy and its source are freed once faded";

    AddSourceWithHeldNotes();
    _app.reset();
}

TEST_P(NoteCopyLifetimeTest, ABurstOfNotesKeepsTheNewestCopiesWithinTheBounds)
{
    for (int source = 0; source < 5; source++) {
        _app->GetControl()->OnMousePassiveMotion(W / 2, H / 2);
        _app->GetControl()->OnKeyboard(GetParam(), 0, 0, 0);
    }
    // Every note on the last source: that source's bound holds.
    testing::internal::CaptureStderr();
    for (int i = 0; i < 200; i++)
        Note(0x90, (unsigned char)(i % 128));
    const auto& notes = _app->GetNoteSources();
    ASSERT_EQ(notes[4].size(), Controllers::MAX_NOTES_PER_SOURCE);
    EXPECT_EQ(notes[4].back()->GetMidiNote(), 199 % 128) << "the newest note sounds";
    EXPECT_LE(_app->GetReleases()->CountFading(), Controllers::MAX_NOTES_PER_SOURCE);
    EXPECT_NE(_app->GetMessage()->GetText().find("at most 64 copies of a source and 256 in all"), std::string::npos);
    // Notes on every source: the bound of all holds, the oldest going first.
    for (int source = 0; source < 4; source++) {
        for (int i = 0; i < 60; i++) {
            OscCommand note;
            note.kind = OscCommand::SOURCE_NOTE;
            note.index = source;
            note.note = 40 + i;
            note.velocity = 100;
            _app->GetControllers()->ApplyOscCommand(note);
        }
    }
    testing::internal::GetCapturedStderr();
    size_t all = 0;
    for (const auto& copies : notes)
        all += copies.size();
    EXPECT_EQ(all, Controllers::MAX_NOTES);
    EXPECT_EQ(notes[4].size(), Controllers::MAX_NOTES - 4 * 60) << "the oldest copies made room";
    Render(8);
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfSource, NoteCopyLifetimeTest, ::testing::Values('1', '2', '3'));

}  // namespace
