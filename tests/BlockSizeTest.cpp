#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SineFile.h"
#include "app/App.h"
#include "app/AppControl.h"
#include "app/Controllers.h"
#include "app/SourceReleases.h"
#include "app/Time.h"
#include "effects/DcBlocker.h"
#include "effects/SafetyLimiter.h"
#include "midi/MidiQueue.h"
#include "sound/EngineRate.h"
#include "sound/SoundRect.h"
#include "sources/GrainSource.h"
#include "sources/Source.h"
#include "ui/UISoundRect.h"

// The sound does not depend on the block size the audio system asks for:
// the same scene, played in blocks of 32 frames or of 4096, gives the same
// samples through every fade, and the same level.
namespace {

const int W = 1000;
const int H = 500;
const int NO_MOD = 0;
const unsigned FADE = SourceReleases::FadeFrames();
// Frames played before the event: a whole number of blocks of every size.
const unsigned LEAD_IN = 16384;
// Frames heard after it: the fade, the limiter's look-ahead and a margin.
const unsigned TAIL = 8192;

// The fades happen before the DC blocker at the master's end, whose memory of
// what came before the event would otherwise mix with them: its exact inverse,
// x[n] = x[n-1] + y[n] - R y[n-1] over all that was heard from the start,
// gives back what reached it.
std::vector<float> UndoDcBlocker(const std::vector<float>& heard)
{
    const double pole = DcBlocker(EngineRate::Get()).GetPole();
    std::vector<float> reached(heard.size());
    double x = 0.0, last = 0.0;
    for (size_t n = 0; n < heard.size(); n++) {
        x += heard[n] - pole * last;
        last = heard[n];
        reached[n] = float(x);
    }
    return reached;
}

// One loaded sound rect in the middle of a window, and an instrument that
// plays it in blocks of one size.
class Scene {
public:
    Scene(const std::string& dir, unsigned block) : _block(block)
    {
        // Every scene starts on the same clock and the same random numbers,
        // so that its grains fall alike.
        Time::Instance()->AddSeconds(-Time::Instance()->GetSeconds());
        srand(1);
        _app.SetWinSize(W, H);
        _app.SetAudioPath(dir + "/");
        testing::internal::CaptureStdout();
        const bool loaded = _app.LoadSounds();
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(loaded);
        UISoundRect* view = _app.GetSoundRects()[0]->GetUI();
        view->SetDimensions(0.6, 0.6);
        view->UpdateRectPosition(0.5, 0.5);
        // Off the title screen, and the pointer over the rect, where sources are added.
        _app.SetMenuFlag(false);
        Control().OnMousePassiveMotion(W / 2, H / 2);
    }
    AppControl& Control() { return *_app.GetControl(); }
    App& Get() { return _app; }
    // Plays frames frames in blocks and appends the left channel to heard.
    void Play(unsigned frames, std::vector<float>* heard)
    {
        std::vector<float> out(2 * _block);
        for (unsigned done = 0; done < frames; done += _block) {
            _app.OnAudio(out.data(), nullptr, _block, 0, 0, nullptr);
            for (unsigned i = 0; i < _block; i++)
                heard->push_back(out[2 * i]);
        }
    }

private:
    App _app;
    unsigned _block;
};

class BlockSizeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zoltablockXXXXXX";
        _dir = mkdtemp(pattern);
        WriteSine(_dir + "/sine.wav", 44100);
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf " + _dir;
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    // What reaches the DC blocker after the event, when a scene set up by prepare is
    // played LEAD_IN frames, event happens (if there is one), and it plays
    // on, in blocks of block.
    std::vector<float> HearAfter(unsigned block, const std::function<void(Scene*)>& prepare,
                                 const std::function<void(Scene*)>& event)
    {
        Scene scene(_dir, block);
        prepare(&scene);
        std::vector<float> before, after;
        scene.Play(LEAD_IN, &before);
        if (event)
            event(&scene);
        scene.Play(TAIL, &after);
        const size_t eventAt = before.size();
        before.insert(before.end(), after.begin(), after.end());
        const std::vector<float> reached = UndoDcBlocker(before);
        return std::vector<float>(reached.begin() + long(eventAt), reached.end());
    }
    // At every block size, the event's sound is what the same scene without
    // it would have played, times gain (of the frame after the event, as
    // heard through the safety limiter's look-ahead).
    void ExpectGainAtEveryBlockSize(const std::function<void(Scene*)>& prepare,
                                    const std::function<void(Scene*)>& event,
                                    const std::function<float(unsigned)>& gain)
    {
        const unsigned latency = SafetyLimiter::GetLatencyFrames();
        for (unsigned block : {32u, 64u, 100u, 256u, 1024u, 4096u}) {
            const std::vector<float> without = HearAfter(block, prepare, nullptr);
            const std::vector<float> with = HearAfter(block, prepare, event);
            double ramp = 0.0;
            for (unsigned k = 0; k < TAIL; k++) {
                const float expected = gain(k < latency ? 0 : k - latency) * without[k];
                ASSERT_NEAR(with[k], expected, 1e-4f) << "block " << block << ", frame " << k;
                if (k >= latency && k < latency + FADE)
                    ramp += without[k] * without[k];
            }
            // Sound all along the ramp, or the check above says nothing.
            EXPECT_GT(ramp / FADE, 1e-3) << "block " << block;
        }
    }
    std::string _dir;
};

void AddLoop(Scene* scene)
{
    scene->Control().OnKeyboard('3', 0, 0, NO_MOD);
}

// The 5 ms ramps, by the frame since the event.
float FadingOut(unsigned k)
{
    return k < FADE ? 1.0f - float(k) / FADE : 0.0f;
}

float FadingIn(unsigned k)
{
    return k < FADE ? float(k) / FADE : 1.0f;
}

void NoteOn(Scene* scene, int note)
{
    scene->Get().GetControllers()->GetMidiQueue()->PushMessage(0, {0x90, (unsigned char)note, 100});
    scene->Get().GetControllers()->UpdateMidiIn();
}

void NoteOff(Scene* scene, int note)
{
    scene->Get().GetControllers()->GetMidiQueue()->PushMessage(0, {0x80, (unsigned char)note, 0});
    scene->Get().GetControllers()->UpdateMidiIn();
}

TEST_F(BlockSizeTest, ARemovedSourceFadesOutOver5msAtAnyBlockSize)
{
    ExpectGainAtEveryBlockSize(
        AddLoop, [](Scene* s) { s->Control().OnKeyboard(AppControl::KEY_DELETE, 0, 0, NO_MOD); }, FadingOut);
}

TEST_F(BlockSizeTest, TheTitleScreenFadesTheSourcesOutOver5msAtAnyBlockSize)
{
    ExpectGainAtEveryBlockSize(
        AddLoop, [](Scene* s) { s->Control().OnSpecialKey(AppControl::KEY_F10, 0, 0, NO_MOD); }, FadingOut);
}

TEST_F(BlockSizeTest, AnEndedNoteFadesOutOver5msAtAnyBlockSize)
{
    // The loop itself is muted: what is heard is its note copy.
    auto prepare = [](Scene* s) {
        AddLoop(s);
        s->Get().GetCurrentSource()->SetMuted(true);
        NoteOn(s, 79);
        s->Get().GetNoteSources()[0][0]->SetMuted(false);
    };
    ExpectGainAtEveryBlockSize(
        prepare, [](Scene* s) { NoteOff(s, 79); }, FadingOut);
}

TEST_F(BlockSizeTest, ASourceBackFromItsNoteFadesInOver5msAtAnyBlockSize)
{
    // Kept silent under a muted note, the loop keeps time: back, it plays
    // what it would have played all along, rising along the ramp.
    auto withNote = [](Scene* s) {
        AddLoop(s);
        NoteOn(s, 72);
        s->Get().GetNoteSources()[0][0]->SetMuted(true);
    };
    const unsigned latency = SafetyLimiter::GetLatencyFrames();
    for (unsigned block : {32u, 64u, 100u, 1024u, 4096u}) {
        const std::vector<float> alone = HearAfter(block, AddLoop, nullptr);
        const std::vector<float> back = HearAfter(block, withNote, [](Scene* s) { NoteOff(s, 72); });
        // Before the look-ahead has passed, the silence before the return is heard.
        for (unsigned k = latency; k < TAIL; k++)
            ASSERT_NEAR(back[k], FadingIn(k - latency) * alone[k], 1e-4f) << "block " << block << ", frame " << k;
    }
}

// A scene of a single grain and a loop over the sine, played for ten
// seconds: its level is that of the scene, not of the blocks it is cut into.
TEST_F(BlockSizeTest, ASceneHasTheSameLevelAtBlocksOf64_256And1024)
{
    auto grainAndLoop = [](Scene* s) {
        s->Control().OnKeyboard('2', 0, 0, NO_MOD);
        s->Control().OnMousePassiveMotion(W / 2 + 50, H / 2 + 20);
        AddLoop(s);
    };
    const unsigned seconds = 10;
    std::vector<double> levels;
    for (unsigned block : {64u, 256u, 1024u}) {
        Scene scene(_dir, block);
        grainAndLoop(&scene);
        std::vector<float> heard;
        scene.Play(seconds * 44100, &heard);
        double sum = 0.0;
        for (float v : heard)
            sum += double(v) * v;
        levels.push_back(10.0 * std::log10(sum / heard.size()));
        RecordProperty("level_dB_at_" + std::to_string(block), std::to_string(levels.back()));
    }
    EXPECT_GT(levels[2], -40.0) << "the scene is heard";
    EXPECT_NEAR(levels[0], levels[2], 0.5) << "64 against 1024 frames";
    EXPECT_NEAR(levels[1], levels[2], 0.5) << "256 against 1024 frames";
}

}  // namespace
