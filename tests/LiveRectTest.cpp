#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "app/App.h"
#include "app/AppControl.h"
#include "app/AudioEngine.h"
#include "app/SceneStore.h"
#include "app/ScreenMessage.h"
#include "app/Selection.h"
#include "app/StyleSwitch.h"
#include "midi/ControllerBindings.h"
#include "midi/MidiLearn.h"
#include "parameters/Parameter.h"
#include "session/Serializer.h"
#include "session/SessionTrailer.h"
#include "sound/LiveAnalysis.h"
#include "sound/LiveRect.h"
#include "sound/LiveRing.h"
#include "sound/SpectralEnginePool.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "sources/GrainCloud.h"
#include "ui/UIGrainCloud.h"
#include "ui/UILiveRect.h"

namespace {
const double SAMPLE_RATE = 44100.0;
const unsigned BLOCK = 512;
const double PI = 3.141592653589793;

// The frequency of a tone from the zero crossings of samples [first, last).
double CrossingHz(const std::vector<float>& left, size_t first, size_t last)
{
    int crossings = 0;
    double firstCrossing = -1.0, lastCrossing = -1.0;
    for (size_t i = first + 1; i < last; i++) {
        if ((left[i - 1] < 0.0f) != (left[i] < 0.0f)) {
            const double at = i - 1 + left[i - 1] / (left[i - 1] - left[i]);
            if (firstCrossing < 0.0)
                firstCrossing = at;
            lastCrossing = at;
            crossings++;
        }
    }
    if (crossings < 3)
        return 0.0;
    return 0.5 * (crossings - 1) / ((lastCrossing - firstCrossing) / SAMPLE_RATE);
}

// A live rect over a tone that the test plays into the input, as the audio
// callback would: each block of input is captured before the voices play it.
class LiveRectTest : public testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        _view = std::make_unique<UILiveRect>(&_live, &_app, nullptr, _app.GetScreen(), 0.5, 0.5);
        _live.RegisterUI(_view.get());
        _view->SetLengthSeconds(2.0);
    }

    void CaptureBlock()
    {
        std::vector<float> block(BLOCK);
        for (unsigned i = 0; i < BLOCK; i++, _phase += 2.0 * PI * _toneHz / SAMPLE_RATE)
            block[i] = (float)(0.5 * std::sin(_phase));
        _live.Capture(block.data(), BLOCK, 1);
    }

    // Plays the tone in for a while, and lets the analysis catch up with it.
    void PlayIn(double seconds)
    {
        for (double t = 0.0; t < seconds; t += BLOCK / SAMPLE_RATE)
            CaptureBlock();
        const int64_t expected = (_live.GetRing()->GetSettled() - 2048) / 512 + 1;
        for (int i = 0; i < 5000 && _live.GetAnalysis()->GetPublished() < expected; i++) {
            _live.GetAnalysis()->Publish();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // A grain at a point of the rect (0 oldest ... 1 newest) at a pitch,
    // the input going on while it sounds; its frequency from the zero
    // crossings of its louder middle.
    double GrainHz(double along, double pitch)
    {
        AudioSource voice({&_live}, &_env, 150.0, pitch, 1.0);
        voice.SetDirection(1.0);
        voice.UpdateParams();
        // On a spectral view the whole band: every frequency, every pitch class.
        voice.SetRange(100.0);
        double posX = 0.0, posY = 0.0;
        const double x = _view->GetX() + (along - 0.5) * _view->GetWidth();
        EXPECT_TRUE(_view->GetNormedPosition(&posX, &posY, x, _view->GetY(), 0));
        posY = 1.0;
        voice.Play(&posX, &posY);
        std::vector<float> out;
        std::vector<float> left;
        while (voice.IsPlaying()) {
            out.assign(2 * BLOCK, 0.0f);
            CaptureBlock();
            voice.NextBuffer(&out, BLOCK, 0);
            for (unsigned i = 0; i < BLOCK; i++)
                left.push_back(out[2 * i]);
        }
        return CrossingHz(left, left.size() / 4, 3 * left.size() / 4);
    }

    // The left channel of a source playing for a while, the input going on.
    std::vector<float> Play(Source* source, double seconds)
    {
        std::vector<float> out, left;
        for (double t = 0.0; t < seconds; t += BLOCK / SAMPLE_RATE) {
            out.assign(2 * BLOCK, 0.0f);
            CaptureBlock();
            source->NextBuffer(&out, BLOCK);
            for (unsigned i = 0; i < BLOCK; i++)
                left.push_back(out[2 * i]);
        }
        return left;
    }

    App _app;
    LiveRect _live;
    std::unique_ptr<UILiveRect> _view;
    Envelope _env{2048};
    double _toneHz = 330.0;
    double _phase = 0.0;
};
}  // namespace

TEST_F(LiveRectTest, GrainsPlayTheInputAtTheirPitchAndFreezeKeepsTheCapturedMoment)
{
    PlayIn(3.0);
    EXPECT_NEAR(GrainHz(0.5, 1.0), 330.0, 3.0);
    EXPECT_NEAR(GrainHz(0.2, 2.0), 660.0, 6.0);
    EXPECT_NEAR(GrainHz(0.95, 1.0), 330.0, 3.0);

    // Frozen, the rect keeps the 330 Hz it holds whatever comes in.
    _view->SetFrozen(true);
    _toneHz = 550.0;
    PlayIn(3.0);
    for (double along : {0.05, 0.5, 0.95})
        EXPECT_NEAR(GrainHz(along, 1.0), 330.0, 3.0) << along;

    // Unfrozen, the new sound fills the rect within its length.
    _view->SetFrozen(false);
    PlayIn(_view->GetLengthSeconds() + 0.1);
    for (double along : {0.05, 0.5, 0.95})
        EXPECT_NEAR(GrainHz(along, 1.0), 550.0, 5.0) << along;
}

// A cloud placed while the scene had no rect, and a note copy of it, over
// the middle of a live rect added after them: both play the input.
TEST_F(LiveRectTest, SourcesPlacedBeforeTheLiveRectPlayFromItOnceItIsAdded)
{
    GrainCloud cloud(&_app, {}, 6);
    cloud.RegisterUI(new UIGrainCloud(&cloud, nullptr, _app.GetScreen(), _view->GetX(), _view->GetY(), 6, {}));
    cloud.SeedRandom(5);
    cloud.SetDurationMs(100.0);
    std::unique_ptr<Source> note(cloud.Clone());
    // A note copy fading out is not given new rects: it shares the view that
    // is, and keeps to the rects it had.
    std::unique_ptr<Source> fading(cloud.Clone());
    PlayIn(2.0);
    const std::vector<float> before = Play(&cloud, 0.5);
    EXPECT_TRUE(std::all_of(before.begin(), before.end(), [](float x) { return x == 0.0f; }));
    cloud.AddRect(&_live);
    note->AddRect(&_live);
    for (Source* source : {(Source*)&cloud, note.get()}) {
        const std::vector<float> left = Play(source, 1.0);
        double energy = 0.0;
        for (float x : left)
            energy += (double)x * x;
        EXPECT_GT(std::sqrt(energy / left.size()), 0.05) << (source == note.get() ? "note copy" : "cloud");
        // Past the first grains, which start as the rect is added.
        EXPECT_NEAR(CrossingHz(left, left.size() / 4, left.size()), 330.0, 5.0);
    }
    const std::vector<float> unheard = Play(fading.get(), 0.5);
    EXPECT_TRUE(std::all_of(unheard.begin(), unheard.end(), [](float x) { return x == 0.0f; }));
}

TEST_F(LiveRectTest, SpectralGrainsPlayTheInputAnalysedAsItArrives)
{
    for (UISoundRect::RectType type : {UISoundRect::SPECTROGRAM, UISoundRect::CHROMAGRAM}) {
        _view->SetRectType(type);
        _live.GetEnginePool()->Refill();
        // The whole length of the rect holds the tone.
        PlayIn(_view->GetLengthSeconds() + 0.5);
        EXPECT_NEAR(GrainHz(0.5, 1.0), _toneHz, 4.0) << type;
        EXPECT_NEAR(GrainHz(0.2, 1.0), _toneHz, 4.0) << type;
        _toneHz = 440.0;
    }
}

TEST_F(LiveRectTest, APointOfTheRectIsThatFarBackInThePastAndTheRestIsOutside)
{
    PlayIn(3.0);
    double posX[1] = {0.0}, posY[1] = {0.0};
    const LiveRing* ring = _live.GetRing();
    for (double along : {0.1, 0.5, 0.9}) {
        const double x = _view->GetX() + (along - 0.5) * _view->GetWidth();
        ASSERT_TRUE(_view->GetNormedPosition(posX, posY, x, _view->GetY(), 0));
        // The voice's first frame is the ring frame of that moment of the past.
        const double frame = std::floor(posX[0] * 2.0 * ring->GetCapacity() - 1.0);
        EXPECT_NEAR(frame, ring->FrameAt(along), 1.0);
        EXPECT_NEAR(posY[0], 0.5, 1e-9);
    }
    EXPECT_FALSE(_view->GetNormedPosition(posX, posY, _view->GetX() + _view->GetWidth(), _view->GetY(), 0));
    // Three parameters beyond the display settings, applied to the ring.
    ASSERT_EQ(_view->GetNumParams(), UILiveRect::NUM_LIVE_PARAMS);
    _view->GetParameter(UILiveRect::GAIN)->SetValue(_view.get(), 6.0);
    EXPECT_NEAR(ring->GetGain(), 1.9953, 1e-4);
    _view->GetParameter(UILiveRect::LENGTH)->SetValue(_view.get(), 12.0);
    EXPECT_NEAR(ring->GetLengthSeconds(), 12.0, 0.02);
    _view->GetParameter(UILiveRect::FREEZE)->SetValue(_view.get(), 1.0);
    EXPECT_TRUE(ring->IsFrozen());
}

TEST(LiveRectKeyTest, WithoutAnInputChannelTheKeySaysSoAndAddsNothing)
{
    App app;
    app.SetWinSize(1000, 600);
    testing::internal::CaptureStderr();
    app.GetControl()->OnKeyboard('4', 500, 300, 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(app.GetLiveRects().empty());
    EXPECT_TRUE(app.GetSoundRects().empty());
    EXPECT_NE(app.GetMessage()->GetText().find("no input channel"), std::string::npos) << app.GetMessage()->GetText();
    EXPECT_NE(said.find("no input channel"), std::string::npos);
    // F8 with no live rect changes nothing, and says why on screen.
    testing::internal::CaptureStdout();
    app.GetControl()->OnSpecialKey(AppControl::KEY_F8, 500, 300, 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("there is none"), std::string::npos);
    EXPECT_TRUE(app.GetLiveRects().empty());
    EXPECT_EQ(app.GetMessage()->GetText(), "F8 freezes the live rects, and there is none (key 4 adds one)");
}

namespace {
const int W = 1000;
const int H = 600;

// Instruments whose engines are told of one input channel, as a device with a
// microphone gives it, and which hear a tone through their audio callback.
class LiveSceneTest : public testing::Test {
protected:
    static std::unique_ptr<App> NewApp()
    {
        std::unique_ptr<App> app(new App());
        app->SetWinSize(W, H);
        app->GetStyles()->CreateStyles();
        app->GetAudioEngine()->AssumeInputs(1);
        app->SetMenuFlag(false);
        return app;
    }
    static void KeyAt(App* app, unsigned char key, double nx, double ny)
    {
        app->GetControl()->OnMousePassiveMotion(int(nx * W), int(H - ny * H));
        app->GetControl()->OnKeyboard(key, 0, 0, 0);
    }
    // Blocks of a 330 Hz tone through the callback; the left channel heard.
    std::vector<float> Play(App* app, double seconds)
    {
        std::vector<float> in(BLOCK), out(2 * BLOCK), left;
        for (double t = 0.0; t < seconds; t += BLOCK / SAMPLE_RATE) {
            for (unsigned i = 0; i < BLOCK; i++, _phase += 2.0 * PI * 330.0 / SAMPLE_RATE)
                in[i] = (float)(0.5 * std::sin(_phase));
            app->OnAudio(out.data(), in.data(), BLOCK, 0, 0, nullptr);
            for (unsigned i = 0; i < BLOCK; i++)
                left.push_back(out[2 * i]);
        }
        return left;
    }
    static double Rms(const std::vector<float>& x)
    {
        double energy = 0.0;
        for (float v : x)
            energy += (double)v * v;
        return std::sqrt(energy / x.size());
    }
    static UILiveRect* LiveView(App* app) { return static_cast<UILiveRect*>(app->GetLiveRects()[0]->GetUI()); }

    double _phase = 0.0;
};
}  // namespace

// Key 1 then key 4 at one spot: the cloud, placed first, plays the input
// from the live rect added under it.
TEST_F(LiveSceneTest, ACloudPlacedBeforeALiveRectPlaysFromIt)
{
    std::unique_ptr<App> app = NewApp();
    KeyAt(app.get(), '1', 0.5, 0.5);
    KeyAt(app.get(), '4', 0.5, 0.5);
    ASSERT_EQ(app->GetLiveRects().size(), 1u);
    ASSERT_EQ(app->GetSources().size(), 1u);
    // Which input it records is said on screen.
    EXPECT_EQ(app->GetMessage()->GetText(), "The live rects record the audio input, 1 channel");
    // Its middle is half the rect's length back in time.
    Play(app.get(), 0.5 * LiveView(app.get())->GetLengthSeconds() + 0.5);
    const std::vector<float> heard = Play(app.get(), 1.0);
    EXPECT_GT(Rms(heard), 0.01);
    EXPECT_NEAR(CrossingHz(heard, 0, heard.size()), 330.0, 5.0);
}

// Saved with a new place, size, view, length, freeze and gain, a live rect
// comes back with all of them, empty, and fills from the input once unfrozen.
TEST_F(LiveSceneTest, ALiveRectComesBackWithItsSettingsEmptyAndFillsAgain)
{
    std::unique_ptr<App> saved = NewApp();
    KeyAt(saved.get(), '4', 0.3, 0.6);
    Play(saved.get(), 1.0);
    UILiveRect* view = LiveView(saved.get());
    view->SetDimensions(0.5, 0.3);
    view->UpdateRectPosition(0.4, 0.55);
    view->SetRectType(UISoundRect::CHROMAGRAM);
    view->GetParameter(UILiveRect::LENGTH)->SetValue(view, 3.0);
    view->GetParameter(UILiveRect::GAIN)->SetValue(view, -6.0);
    view->GetParameter(UILiveRect::FREEZE)->SetValue(view, 1.0);
    saved->GetSelection()->Deselect(Selection::RECT);
    Serializer writer;
    writer.OpenWriteMemory();
    saved->GetScenes()->SerializeSession(&writer);

    std::unique_ptr<App> loaded = NewApp();
    Serializer reader;
    reader.OpenReadMemory(writer.GetStream());
    testing::internal::CaptureStdout();
    loaded->GetScenes()->UnSerializeSession(&reader);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(reader.IsDamaged()) << reader.GetError();
    ASSERT_EQ(loaded->GetLiveRects().size(), 1u);
    UILiveRect* back = LiveView(loaded.get());
    EXPECT_DOUBLE_EQ(back->GetX(), 0.4);
    EXPECT_DOUBLE_EQ(back->GetY(), 0.55);
    EXPECT_DOUBLE_EQ(back->GetWidth(), 0.5);
    EXPECT_DOUBLE_EQ(back->GetHeight(), 0.3);
    EXPECT_EQ(back->GetRectType(), UISoundRect::CHROMAGRAM);
    EXPECT_DOUBLE_EQ(back->GetLengthSeconds(), view->GetLengthSeconds());
    EXPECT_NEAR(back->GetLengthSeconds(), 3.0, 0.02);
    EXPECT_DOUBLE_EQ(back->GetGainDb(), -6.0);
    EXPECT_TRUE(back->IsFrozen());
    // Nothing selected that was not: the rect was only picked to read its record.
    EXPECT_EQ(loaded->GetCurrentSoundRect(), nullptr);

    // Empty, and frozen it stays so while the input plays.
    LiveRing* ring = back->GetLiveRect()->GetRing();
    Play(loaded.get(), 0.5);
    EXPECT_EQ(ring->GetWritten(), 0);
    const std::vector<float>& samples = ring->GetSamples();
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](float x) { return x == 0.0f; }));
    back->SetFrozen(false);
    Play(loaded.get(), 0.5);
    EXPECT_GT(ring->GetWritten(), (int64_t)(0.4 * SAMPLE_RATE));
    // At the saved gain: half scale 6 dB down.
    EXPECT_NEAR(ring->TakePeak(), 0.5 * 0.501, 0.01);
}

// Key 4 makes live rects up to the cap and says so at the one after it; a
// scene holding the cap's worth saves and comes back whole, each rect at its
// place with its length and its controller, without a word of damage.
TEST_F(LiveSceneTest, ASceneHoldsSixteenLiveRectsAndTheyAllComeBack)
{
    ASSERT_EQ(LiveRect::MAX_IN_SCENE, 16);
    std::vector<char> bytes;
    std::vector<double> places, lengths;
    {
        std::unique_ptr<App> saved = NewApp();
        for (int i = 0; i < LiveRect::MAX_IN_SCENE; i++) {
            KeyAt(saved.get(), '4', 0.05 + 0.05 * i, 0.5);
            UILiveRect* view = static_cast<UILiveRect*>(saved->GetLiveRects().back()->GetUI());
            view->GetParameter(UILiveRect::LENGTH)->SetValue(view, 1.0 + i);
            places.push_back(view->GetX());
            lengths.push_back(view->GetLengthSeconds());
        }
        ASSERT_EQ(saved->GetLiveRects().size(), 16u);
        saved->GetMidiLearn()->GetBindings()->Bind(1, 9, ControlTarget::RectParam(15, UILiveRect::GAIN));
        testing::internal::CaptureStderr();
        KeyAt(saved.get(), '4', 0.9, 0.2);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(saved->GetLiveRects().size(), 16u);
        EXPECT_EQ(saved->GetSoundRects().size(), 16u);
        EXPECT_NE(said.find("at most 16 live rects"), std::string::npos) << said;
        EXPECT_NE(saved->GetMessage()->GetText().find("at most 16 live rects"), std::string::npos);
        Serializer writer;
        writer.OpenWriteMemory();
        saved->GetScenes()->SerializeSession(&writer);
        bytes = writer.GetStream();
    }

    std::unique_ptr<App> loaded = NewApp();
    Serializer reader;
    reader.OpenReadMemory(bytes);
    testing::internal::CaptureStdout();
    loaded->GetScenes()->UnSerializeSession(&reader);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(reader.IsDamaged()) << reader.GetError();
    ASSERT_EQ(loaded->GetLiveRects().size(), 16u);
    ASSERT_GT(lengths.back(), lengths.front() + 14.0) << "every rect of its own length";
    for (int i = 0; i < LiveRect::MAX_IN_SCENE; i++) {
        const UILiveRect* back = static_cast<UILiveRect*>(loaded->GetLiveRects()[i]->GetUI());
        EXPECT_DOUBLE_EQ(back->GetX(), places[i]) << i;
        EXPECT_DOUBLE_EQ(back->GetLengthSeconds(), lengths[i]) << i;
    }
    int channel = 0, controller = 0;
    EXPECT_TRUE(loaded->GetMidiLearn()->GetBindings()->FindController(ControlTarget::RectParam(15, UILiveRect::GAIN),
                                                                      &channel, &controller))
        << "the last live rect's gain follows its controller again";
    EXPECT_EQ(controller, 9);
    EXPECT_EQ(loaded->GetCurrentSoundRect(), loaded->GetLiveRects()[15]->GetUI()) << "the rect selected when saved";
}

// A file that counts one live rect beyond the cap is said to be damaged and
// makes none, whatever its records hold.
TEST_F(LiveSceneTest, ASessionOfSeventeenLiveRectsMakesNone)
{
    std::unique_ptr<App> saved = NewApp();
    KeyAt(saved.get(), '4', 0.5, 0.5);
    Serializer writer;
    writer.OpenWriteMemory();
    saved->GetScenes()->SerializeSession(&writer);
    size_t recordsEnd = 0;
    std::vector<SessionTrailer::Chunk> chunks;
    std::string why;
    ASSERT_EQ(SessionTrailer::Read(writer.GetStream(), &recordsEnd, &chunks, &why), SessionTrailer::WHOLE) << why;
    std::vector<char>* live = nullptr;
    for (SessionTrailer::Chunk& chunk : chunks)
        live = chunk.tag == "LIVE" ? &chunk.payload : live;
    ASSERT_NE(live, nullptr);
    const std::vector<char> record(live->begin() + sizeof(int), live->end());
    for (int i = 1; i < LiveRect::MAX_IN_SCENE + 1; i++)
        live->insert(live->end(), record.begin(), record.end());
    const int seventeen = LiveRect::MAX_IN_SCENE + 1;
    std::memcpy(live->data(), &seventeen, sizeof(seventeen));
    Serializer crafted;
    crafted.OpenWriteMemory();
    crafted.PutBytes(std::vector<char>(writer.GetStream().begin(), writer.GetStream().begin() + long(recordsEnd)));
    SessionTrailer::Append(chunks, &crafted);

    std::unique_ptr<App> loaded = NewApp();
    Serializer reader;
    reader.OpenReadMemory(crafted.GetStream());
    testing::internal::CaptureStdout();
    loaded->GetScenes()->UnSerializeSession(&reader);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(reader.IsDamaged());
    EXPECT_NE(reader.GetError().find("it counts 17 live rects, and a scene holds at most 16"), std::string::npos)
        << reader.GetError();
    EXPECT_TRUE(loaded->GetLiveRects().empty());
}
