#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "SineFile.h"
#include "app/App.h"
#include "app/AppControl.h"
#include "app/CanvasView.h"
#include "app/SceneStore.h"
#include "app/ScreenMessage.h"
#include "app/Selection.h"
#include "app/StyleSwitch.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "parameters/Parameter.h"
#include "session/Serializer.h"
#include "session/SessionTrailer.h"
#include "sound/SoundRect.h"
#include "sources/Envelope.h"
#include "sources/GrainCloud.h"
#include "sources/SingleVoiceSource.h"
#include "sources/Source.h"
#include "ui/UIGrainCloud.h"
#include "ui/UIParameter.h"
#include "ui/UISoundRect.h"

namespace {

const int W = 1000;
const int H = 500;
const int NUM_SOUNDS = 3;
// Bytes of the parts of a session, as the file format lays them out.
const long EMPTY_SESSION_BYTES = 4 + 4 + 64 + 420;
const long SOUND_RECT_BYTES = 284;
const long CLOUD_BYTES = 17604;
const long SINGLE_GRAIN_BYTES = 17372;
const long LOOP_SOURCE_BYTES = 17356;

long FileSize(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? long(info.st_size) : -1;
}

std::vector<char> ReadBytes(const std::string& path)
{
    Serializer reader;
    EXPECT_EQ(reader.ReadFile(path.c_str()), Serializer::READ_WHOLE) << path;
    return reader.GetStream();
}

// The scene's records of a saved file, which the trailing section follows:
// the file as the format without names and checksum lays it out.
std::vector<char> Records(const std::vector<char>& bytes)
{
    size_t end = 0;
    std::vector<SessionTrailer::Chunk> chunks;
    std::string why;
    EXPECT_EQ(SessionTrailer::Read(bytes, &end, &chunks, &why), SessionTrailer::WHOLE) << why;
    return std::vector<char>(bytes.begin(), bytes.begin() + long(end));
}

long RecordBytes(const std::vector<char>& bytes)
{
    return long(Records(bytes).size());
}

void WriteBytes(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), long(bytes.size()));
}

// Records followed by a trailing section of chunks, framed as version.
std::vector<char> WithTrailer(const std::vector<char>& records, const std::vector<SessionTrailer::Chunk>& chunks,
                              int version)
{
    Serializer writer;
    writer.OpenWriteMemory();
    writer.PutBytes(records);
    SessionTrailer::Append(chunks, &writer);
    std::vector<char> file = writer.GetStream();
    // The version follows the section's 8-byte mark; the checksum sits 16 bytes before the end.
    memcpy(file.data() + records.size() + 8, &version, sizeof(version));
    const uint64_t sum = SessionTrailer::Checksum(file.data(), file.size() - 16);
    memcpy(file.data() + file.size() - 16, &sum, sizeof(sum));
    return file;
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

// A folder of sounds, and instruments that load it the way the program does.
class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zoltasessionXXXXXX";
        _dir = mkdtemp(pattern);
        for (int i = 0; i < NUM_SOUNDS; i++)
            WriteSine(_dir + "/s" + std::to_string(i) + ".wav", 4410 * (i + 1));
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf " + _dir + " " + _dir + ".session*").c_str()), 0); }

    std::unique_ptr<App> NewApp()
    {
        std::unique_ptr<App> app(new App());
        app->SetWinSize(W, H);
        app->SetAudioPath(_dir + "/");
        app->GetStyles()->CreateStyles();
        testing::internal::CaptureStdout();
        EXPECT_TRUE(app->LoadSounds());
        testing::internal::GetCapturedStdout();
        return app;
    }
    static void AddCloudAt(App* app, double nx, double ny)
    {
        app->GetControl()->OnMousePassiveMotion(int(nx * W), int(H - ny * H));
        app->GetControl()->OnKeyboard('1', 0, 0, 0);
    }
    static std::vector<char> Save(App* app)
    {
        Serializer writer;
        writer.OpenWriteMemory();
        app->GetScenes()->SerializeSession(&writer);
        return writer.GetStream();
    }
    // Loads bytes into a new instrument; its console lines are dropped.
    std::unique_ptr<App> Load(const std::vector<char>& bytes)
    {
        std::unique_ptr<App> app = NewApp();
        Serializer reader;
        reader.OpenReadMemory(bytes);
        testing::internal::CaptureStdout();
        app->GetScenes()->UnSerializeSession(&reader);
        testing::internal::GetCapturedStdout();
        return app;
    }
    static UISoundRect* Rect(App* app, int i) { return app->GetSoundRects()[i]->GetUI(); }
    static GrainCloud* Cloud(App* app, int i) { return static_cast<GrainCloud*>(app->GetSources()[i]); }

    std::string _dir;
};

TEST_F(SessionTest, AnEmptySceneRoundTripsRectsViewStyleAndMasterChain)
{
    std::unique_ptr<App> saved = NewApp();
    Rect(saved.get(), 1)->SetDimensions(0.3, 0.2);
    Rect(saved.get(), 1)->UpdateRectPosition(0.25, 0.75);
    Rect(saved.get(), 2)->SetRectType(UISoundRect::SPECTROGRAM);
    Rect(saved.get(), 2)->SetOrientation(UISoundRect::VERTICAL);
    Rect(saved.get(), 2)->SetColorContrast(0.3);
    saved->GetView()->ApplyZoom(2.0, 100, 100);
    saved->GetView()->TranslatePositionX(37);
    saved->GetStyles()->NextStyle();
    saved->GetStyles()->NextStyle();
    EffectsBox* master = saved->GetMasterEffectsBox();
    master->GetEffect(EffectsBox::EFFECT_DELAY)->GetParameter(0)->SetValue(1.0);
    master->GetEffect(EffectsBox::EFFECT_DELAY)->GetParameter(1)->SetValue(750.0);

    std::vector<char> bytes = Save(saved.get());
    EXPECT_EQ(RecordBytes(bytes), EMPTY_SESSION_BYTES + NUM_SOUNDS * SOUND_RECT_BYTES);

    std::unique_ptr<App> loaded = Load(bytes);
    for (int i = 0; i < NUM_SOUNDS; i++) {
        EXPECT_DOUBLE_EQ(Rect(loaded.get(), i)->GetX(), Rect(saved.get(), i)->GetX()) << "rect " << i;
        EXPECT_DOUBLE_EQ(Rect(loaded.get(), i)->GetY(), Rect(saved.get(), i)->GetY()) << "rect " << i;
        EXPECT_DOUBLE_EQ(Rect(loaded.get(), i)->GetWidth(), Rect(saved.get(), i)->GetWidth()) << "rect " << i;
        EXPECT_DOUBLE_EQ(Rect(loaded.get(), i)->GetHeight(), Rect(saved.get(), i)->GetHeight()) << "rect " << i;
    }
    EXPECT_EQ(Rect(loaded.get(), 2)->GetRectType(), UISoundRect::SPECTROGRAM);
    EXPECT_EQ(Rect(loaded.get(), 2)->GetOrientation(), UISoundRect::VERTICAL);
    EXPECT_DOUBLE_EQ(Rect(loaded.get(), 2)->GetColorContrast(), 0.3);
    EXPECT_DOUBLE_EQ(loaded->GetView()->GetZoom(), saved->GetView()->GetZoom());
    EXPECT_DOUBLE_EQ(loaded->GetView()->GetPositionX(), saved->GetView()->GetPositionX());
    EXPECT_EQ(loaded->GetStyles()->GetStyleNum(), saved->GetStyles()->GetStyleNum());
    EffectsBox* restored = loaded->GetMasterEffectsBox();
    EXPECT_TRUE(restored->GetEffect(EffectsBox::EFFECT_DELAY)->IsOn());
    EXPECT_DOUBLE_EQ(restored->GetEffect(EffectsBox::EFFECT_DELAY)->GetParameter(1)->GetValue(), 750.0);
    EXPECT_TRUE(loaded->GetMessage()->GetText().empty()) << "a memory load shows nothing";
}

TEST_F(SessionTest, CloudsComeBackInOrderWithSelectionParametersAndDrawnEnvelope)
{
    std::unique_ptr<App> saved = NewApp();
    AddCloudAt(saved.get(), 0.2, 0.3);
    AddCloudAt(saved.get(), 0.7, 0.6);
    GrainCloud* second = Cloud(saved.get(), 1);
    second->GetParameter(GrainCloud::NUMGRAINS)->SetValue(9.0);
    second->GetParameter(GrainCloud::DURATION)->SetValue(320.0);
    second->GetParameter(GrainCloud::PITCH)->SetValue(1.5);
    second->GetParameter(GrainCloud::VOLUME)->SetValue(-4.0);
    second->GetParameter(GrainCloud::DIRECTION)->SetValue(GrainCloud::BACKWARD);
    second->GetParameter(GrainCloud::ENVELOPE)->SetValue(Envelope::HAND_DRAWN);
    second->GetParameter(GrainCloud::TIME_STRETCH)->SetValue(0.5);
    second->GetParameter(GrainCloud::PITCH)->GetUI()->SetBox(PieBox{0.42 * W, 0.83 * H - 26.0, 200.0, 26.0}, 0.1);
    std::vector<float> drawn(2048);
    for (size_t i = 0; i < drawn.size(); i++)
        drawn[i] = float(i % 7) / 7.0f;
    second->GetEnvelope()->SetEnvelope(Envelope::HAND_DRAWN, drawn);
    second->SetMuted(true);
    second->GetEffectsBox()->GetEffect(EffectsBox::EFFECT_VOLUME)->GetParameter(1)->SetValue(-12.0);
    saved->GetSelection()->UpdateSourcePicking(0.2 * W, 0.3 * H);
    ASSERT_EQ(saved->GetSelection()->GetSelectedSourceIndex(), 0);

    std::vector<char> bytes = Save(saved.get());
    EXPECT_EQ(RecordBytes(bytes), EMPTY_SESSION_BYTES + NUM_SOUNDS * SOUND_RECT_BYTES + 2 * CLOUD_BYTES);

    std::unique_ptr<App> loaded = Load(bytes);
    ASSERT_EQ(loaded->GetSources().size(), 2u);
    EXPECT_EQ(loaded->GetNoteSources().size(), 2u);
    EXPECT_EQ(loaded->GetSelection()->GetSelectedSourceIndex(), 0);
    for (int i = 0; i < 2; i++) {
        EXPECT_DOUBLE_EQ(loaded->GetSources()[i]->GetUI()->GetX(), saved->GetSources()[i]->GetUI()->GetX());
        EXPECT_DOUBLE_EQ(loaded->GetSources()[i]->GetUI()->GetY(), saved->GetSources()[i]->GetUI()->GetY());
    }
    GrainCloud* cloud = Cloud(loaded.get(), 1);
    EXPECT_EQ(cloud->GetNumGrains(), 9u);
    EXPECT_DOUBLE_EQ(cloud->GetDurationMs(), 320.0);
    EXPECT_DOUBLE_EQ(cloud->GetPitch(), 1.5);
    EXPECT_DOUBLE_EQ(cloud->GetVolumeDb(), -4.0);
    EXPECT_EQ(cloud->GetDirection(), GrainCloud::BACKWARD);
    EXPECT_EQ(cloud->GetEnvelopeType(), Envelope::HAND_DRAWN);
    EXPECT_DOUBLE_EQ(cloud->GetTimeStretch(), 0.5);
    EXPECT_TRUE(cloud->IsMuted());
    EXPECT_EQ(cloud->GetEnvelope()->GetEnvelope(Envelope::HAND_DRAWN), drawn);
    EXPECT_DOUBLE_EQ(cloud->GetEffectsBox()->GetEffect(EffectsBox::EFFECT_VOLUME)->GetParameter(1)->GetValue(), -12.0);
    // The box's top left corner, in window fractions from the top left.
    const PieBox& box = cloud->GetParameter(GrainCloud::PITCH)->GetUI()->GetBox();
    EXPECT_NEAR(box.left / W, 0.42, 1e-12);
    EXPECT_NEAR(1.0 - box.Top() / H, 0.17, 1e-12);
    // Saved again, the restored scene gives the same bytes but for the clocks.
    EXPECT_EQ(Save(loaded.get()).size(), bytes.size());
}

// Settings that reach a cloud without passing its boxes (its band over a
// spectrogram, its spread): the save records what the cloud plays with, not
// what the boxes showed last.
TEST_F(SessionTest, WhatASourcePlaysWithIsSavedNotWhatItsBoxesLastShowed)
{
    std::unique_ptr<App> saved = NewApp();
    Rect(saved.get(), 0)->SetRectType(UISoundRect::SPECTROGRAM);
    AddCloudAt(saved.get(), Rect(saved.get(), 0)->GetX(), Rect(saved.get(), 0)->GetY());
    GrainCloud* cloud = Cloud(saved.get(), 0);
    UIGrainCloud* view = static_cast<UIGrainCloud*>(cloud->GetUI());
    cloud->SetRange(30.0);
    view->SetXRandExtent(0.05);

    std::unique_ptr<App> loaded = Load(Save(saved.get()));
    GrainCloud* restored = Cloud(loaded.get(), 0);
    UIGrainCloud* restoredView = static_cast<UIGrainCloud*>(restored->GetUI());
    EXPECT_DOUBLE_EQ(restored->GetRange(), 30.0);
    EXPECT_DOUBLE_EQ(restoredView->GetXRandExtent(), 0.05);
    EXPECT_DOUBLE_EQ(restoredView->GetYRandExtent(), view->GetYRandExtent());
    EXPECT_DOUBLE_EQ(restoredView->GetRandExtentCoeff(), view->GetRandExtentCoeff());
    EXPECT_EQ(restored->GetNumGrains(), cloud->GetNumGrains());
}

// A restored cloud draws its grains on from where the saved one's draws
// stood: every restore of one file plays the same grains, and the draws
// saved decide which (two restores made within one second would otherwise
// seed alike from the clock).
TEST_F(SessionTest, ARestoredCloudPlaysTheGrainsItsSavedDrawsGive)
{
    std::unique_ptr<App> saved = NewApp();
    AddCloudAt(saved.get(), Rect(saved.get(), 2)->GetX(), Rect(saved.get(), 2)->GetY());
    static_cast<UIGrainCloud*>(Cloud(saved.get(), 0)->GetUI())->SetXRandExtent(Rect(saved.get(), 2)->GetWidth() / 2);
    auto restoredOutput = [this](const std::vector<char>& bytes) {
        std::unique_ptr<App> loaded = Load(bytes);
        loaded->SetMenuFlag(false);
        std::vector<float> out(2 * 1024), all;
        for (int block = 0; block < 40; block++) {
            loaded->OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
            all.insert(all.end(), out.begin(), out.end());
        }
        return all;
    };
    Cloud(saved.get(), 0)->SeedRandom(7);
    const std::vector<char> bytes = Save(saved.get());
    const std::vector<float> first = restoredOutput(bytes);
    EXPECT_GT(*std::max_element(first.begin(), first.end()), 0.01f);
    EXPECT_EQ(restoredOutput(bytes), first);
    Cloud(saved.get(), 0)->SeedRandom(8);
    EXPECT_NE(restoredOutput(Save(saved.get())), first);
}

TEST_F(SessionTest, SingleGrainsAndLoopsComeBackWithEveryParameter)
{
    std::unique_ptr<App> saved = NewApp();
    const double nx[] = {0.2, 0.5, 0.8};
    const char keys[] = {'2', '3', '1'};
    for (int i = 0; i < 3; i++) {
        saved->GetControl()->OnMousePassiveMotion(int(nx[i] * W), int(H - 0.4 * H));
        saved->GetControl()->OnKeyboard(keys[i], 0, 0, 0);
    }
    // Every parameter of both kinds a little off its default, within its
    // range; a parameter acts on the selected source.
    for (int kind = 0; kind < 2; kind++) {
        saved->GetSelection()->UpdateSourcePicking(nx[kind] * W, 0.4 * H);
        ASSERT_EQ(saved->GetSelection()->GetSelectedSourceIndex(), kind);
        Source* source = saved->GetSources()[kind];
        for (int p = 0; p < source->GetNumParams(); p++) {
            Parameter* param = source->GetParameter(p);
            param->SetValue(param->GetMinValue() + 0.3 * (param->GetMaxValue() - param->GetMinValue()));
        }
    }
    std::vector<char> bytes = Save(saved.get());
    EXPECT_EQ(RecordBytes(bytes), EMPTY_SESSION_BYTES + NUM_SOUNDS * SOUND_RECT_BYTES + SINGLE_GRAIN_BYTES +
                                      LOOP_SOURCE_BYTES + CLOUD_BYTES);

    std::unique_ptr<App> loaded = Load(bytes);
    ASSERT_EQ(loaded->GetSources().size(), 3u);
    const Source::SourceType kinds[] = {Source::SINGLE_GRAIN, Source::LOOP_SOURCE, Source::GRAIN_CLOUD};
    for (int i = 0; i < 3; i++) {
        Source* source = loaded->GetSources()[i];
        Source* original = saved->GetSources()[i];
        EXPECT_EQ(source->GetSourceType(), kinds[i]);
        EXPECT_DOUBLE_EQ(source->GetUI()->GetX(), original->GetUI()->GetX()) << i;
        for (int p = 0; p < source->GetNumParams(); p++)
            EXPECT_DOUBLE_EQ(source->GetParameter(p)->GetValue(), original->GetParameter(p)->GetValue())
                << "source " << i << ", parameter " << p;
    }
    const SingleVoiceSource* loop = static_cast<SingleVoiceSource*>(loaded->GetSources()[1]);
    EXPECT_DOUBLE_EQ(loop->GetDurationMs(), static_cast<SingleVoiceSource*>(saved->GetSources()[1])->GetDurationMs());
    EXPECT_EQ(loaded->GetSelection()->GetSelectedSourceIndex(), 1) << "the loop was selected last";
}

TEST_F(SessionTest, AStyleOutsideTheSixKeepsTheCurrentOne)
{
    std::unique_ptr<App> saved = NewApp();
    std::vector<char> bytes = Records(Save(saved.get()));
    const int badStyle = 9;
    memcpy(bytes.data() + bytes.size() - 420 - 4, &badStyle, sizeof(badStyle));
    std::unique_ptr<App> loaded = NewApp();
    loaded->GetStyles()->NextStyle();
    int before = loaded->GetStyles()->GetStyleNum();
    Serializer reader;
    reader.OpenReadMemory(bytes);
    loaded->GetScenes()->UnSerializeSession(&reader);
    EXPECT_EQ(loaded->GetStyles()->GetStyleNum(), before);
    EXPECT_FALSE(reader.HasRunOut());
}

// What a damaged or foreign file must never do: crash, create anything from
// a value it did not read, or write past a table.
TEST_F(SessionTest, DamagedFilesLoadWhatTheyHoldAndStop)
{
    std::unique_ptr<App> saved = NewApp();
    AddCloudAt(saved.get(), 0.2, 0.3);
    AddCloudAt(saved.get(), 0.6, 0.3);
    std::vector<char> bytes = Records(Save(saved.get()));
    const size_t sourcesStart = 4 + NUM_SOUNDS * SOUND_RECT_BYTES;

    // Cut in the second cloud's record: the first comes back whole, the
    // second is made (its kind was read) and keeps defaults for the rest.
    std::vector<char> cut(bytes.begin(), bytes.begin() + sourcesStart + 4 + CLOUD_BYTES + 100);
    std::unique_ptr<App> loaded = Load(cut);
    EXPECT_EQ(loaded->GetSources().size(), 2u);
    // Cut just after the count: no source made from a kind never read.
    cut.assign(bytes.begin(), bytes.begin() + sourcesStart + 4);
    EXPECT_EQ(Load(cut)->GetSources().size(), 0u);

    // An unknown kind stops the load there, keeping the sources before it.
    std::vector<char> foreign = bytes;
    const int unknownKind = 7;
    memcpy(foreign.data() + sourcesStart + 4 + CLOUD_BYTES, &unknownKind, sizeof(unknownKind));
    loaded = NewApp();
    Serializer reader;
    reader.OpenReadMemory(foreign);
    loaded->GetScenes()->UnSerializeSession(&reader);
    EXPECT_EQ(loaded->GetSources().size(), 1u);
    EXPECT_TRUE(reader.HasRunOut());
    EXPECT_NE(reader.GetError().find("unknown kind (7)"), std::string::npos) << reader.GetError();

    // A count beyond the sounds loaded: the extra rect records are stepped over.
    std::string moreRects(bytes.begin(), bytes.end());
    const int fiveRects = 5;
    moreRects.replace(0, sizeof(fiveRects), reinterpret_cast<const char*>(&fiveRects), sizeof(fiveRects));
    moreRects.insert(sourcesStart, moreRects.substr(4, 2 * SOUND_RECT_BYTES));
    EXPECT_EQ(Load(std::vector<char>(moreRects.begin(), moreRects.end()))->GetSources().size(), 2u);
}

TEST_F(SessionTest, HostileValuesAreHeldToWhatTheSettersAccept)
{
    std::unique_ptr<App> saved = NewApp();
    AddCloudAt(saved.get(), 0.2, 0.3);
    std::vector<char> bytes = Records(Save(saved.get()));
    const size_t appState = bytes.size() - 420 - 64;
    const double nan = std::nan(""), zero = 0.0;
    memcpy(bytes.data() + appState + 8, &nan, sizeof(nan));     // view offset x
    memcpy(bytes.data() + appState + 24, &zero, sizeof(zero));  // zoom
    const int farSource = 1000000;
    memcpy(bytes.data() + appState + 40, &farSource, sizeof(farSource));
    // The cloud's volume parameter, far out of range.
    const size_t cloudParams = 4 + NUM_SOUNDS * SOUND_RECT_BYTES + 4 + 4 + 16952;
    const double loud = 1e300;
    memcpy(bytes.data() + cloudParams + GrainCloud::VOLUME * 36 + 4, &loud, sizeof(loud));

    std::unique_ptr<App> loaded = Load(bytes);
    ASSERT_EQ(loaded->GetSources().size(), 1u);
    EXPECT_DOUBLE_EQ(loaded->GetView()->GetPositionX(), 0.0);
    EXPECT_DOUBLE_EQ(loaded->GetView()->GetZoom(), 1.0);
    EXPECT_EQ(loaded->GetSelection()->GetSelectedSourceIndex(), -1);
    EXPECT_DOUBLE_EQ(Cloud(loaded.get(), 0)->GetVolumeDb(), 6.0);

    // An envelope that claims a million points: the table keeps its size,
    // and the load stops where the data ends.
    const int hugeCount = 1000000;
    memcpy(bytes.data() + 4 + NUM_SOUNDS * SOUND_RECT_BYTES + 4 + 4 + 432, &hugeCount, sizeof(hugeCount));
    loaded = Load(bytes);
    ASSERT_EQ(loaded->GetSources().size(), 1u);
    EXPECT_EQ(Cloud(loaded.get(), 0)->GetEnvelope()->GetEnvelope(Envelope::HAND_DRAWN).size(), 2048u);
}

TEST_F(SessionTest, SavingGoesToTheFileWholeOrNotAtAll)
{
    std::unique_ptr<App> app = NewApp();
    AddCloudAt(app.get(), 0.5, 0.5);
    // Beside the sound folder, so that the instruments below do not take it for a sound.
    const std::string path = _dir + ".session.bin";
    std::string error;
    ASSERT_TRUE(app->GetScenes()->SerializeSession(path.c_str(), &error)) << error;
    const long size = FileSize(path);
    EXPECT_EQ(RecordBytes(ReadBytes(path)), EMPTY_SESSION_BYTES + NUM_SOUNDS * SOUND_RECT_BYTES + CLOUD_BYTES);
    EXPECT_EQ(FileSize(path + ".saving"), -1) << "no temporary file is left behind";

    // A save that cannot write keeps the previous file and says why.
    AddCloudAt(app.get(), 0.2, 0.2);
    ASSERT_EQ(mkdir((path + ".saving").c_str(), 0755), 0);
    EXPECT_FALSE(app->GetScenes()->SerializeSession(path.c_str(), &error));
    EXPECT_NE(error.find("session.bin.saving"), std::string::npos) << error;
    EXPECT_EQ(FileSize(path), size);
    Serializer reader;
    ASSERT_TRUE(reader.OpenReadFile(path.c_str()));
    std::unique_ptr<App> loaded = NewApp();
    loaded->GetScenes()->UnSerializeSession(&reader);
    EXPECT_EQ(loaded->GetSources().size(), 1u);
}

// F12 only encodes the scene under the lock; the disk is written outside it.
TEST_F(SessionTest, F12EncodesAtOnceAndTheFileIsWrittenOutsideTheLock)
{
    std::unique_ptr<App> app = NewApp();
    AddCloudAt(app.get(), 0.5, 0.5);
    char* previous = getcwd(nullptr, 0);
    const std::string folder = _dir + ".session.bin.d";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    app->GetControl()->OnSpecialKey(AppControl::KEY_F12, 0, 0, 0);
    const long before = FileSize("session.bin");
    testing::internal::CaptureStdout();
    app->GetScenes()->WritePendingSession();
    const std::string said = testing::internal::GetCapturedStdout();
    const long after = RecordBytes(ReadBytes("session.bin"));
    ASSERT_EQ(chdir(previous), 0);
    free(previous);
    EXPECT_EQ(before, -1);
    EXPECT_EQ(after, EMPTY_SESSION_BYTES + NUM_SOUNDS * SOUND_RECT_BYTES + CLOUD_BYTES);
    EXPECT_NE(said.find("Session saved to session.bin"), std::string::npos) << said;
}

}  // namespace

namespace {

class SceneFilesTest : public SessionTest {
protected:
    UISoundRect* RectOfSound(App* app, const std::string& name)
    {
        for (SoundRect* rect : app->GetSoundRects())
            if (name == rect->GetUI()->GetName())
                return rect->GetUI();
        ADD_FAILURE() << "no rect of " << name;
        return Rect(app, 0);
    }
    std::string SessionPath() const { return _dir + ".session.bin"; }
    // A session path in a folder of its own, for its slots and the copies kept beside it.
    std::string SessionInFolder() const
    {
        const std::string folder = SessionPath() + ".d";
        EXPECT_EQ(mkdir(folder.c_str(), 0755), 0);
        return folder + "/session.bin";
    }
    static std::string Recall(App* app, int slot)
    {
        app->GetScenes()->RecallSceneSlot(slot);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        app->GetScenes()->RecallPendingScene();
        testing::internal::GetCapturedStdout();
        return testing::internal::GetCapturedStderr();
    }
};

TEST_F(SceneFilesTest, RectsFollowTheirSoundsWhenSoundsComeAndGo)
{
    std::unique_ptr<App> saved = NewApp();
    for (int i = 0; i < NUM_SOUNDS; i++)
        RectOfSound(saved.get(), "s" + std::to_string(i) + ".wav")->UpdateRectPosition(0.1 + 0.2 * i, 0.3);
    std::vector<char> bytes = Save(saved.get());

    // A sound whose name sorts first moves every other one a place on.
    WriteSine(_dir + "/a.wav", 4410);
    ASSERT_EQ(unlink((_dir + "/s1.wav").c_str()), 0);
    std::unique_ptr<App> loaded = Load(bytes);
    ASSERT_EQ(loaded->GetSoundRects().size(), size_t(NUM_SOUNDS));
    EXPECT_DOUBLE_EQ(RectOfSound(loaded.get(), "s0.wav")->GetX(), 0.1);
    EXPECT_DOUBLE_EQ(RectOfSound(loaded.get(), "s2.wav")->GetX(), 0.5);
    for (double savedX : {0.1, 0.3, 0.5})
        EXPECT_NE(RectOfSound(loaded.get(), "a.wav")->GetX(), savedX) << "the new sound took a saved layout";
    // The layout of the sound that is gone is kept, and saved again.
    ASSERT_EQ(loaded->GetScenes()->GetSceneFiles().GetKeptRects().size(), 1u);
    EXPECT_EQ(loaded->GetScenes()->GetSceneFiles().GetKeptRects()[0].name, "s1.wav");
    std::vector<char> again = Save(loaded.get());

    // Back in the folder, the sound finds its layout again.
    WriteSine(_dir + "/s1.wav", 8820);
    std::unique_ptr<App> back = Load(again);
    EXPECT_DOUBLE_EQ(RectOfSound(back.get(), "s1.wav")->GetX(), 0.3);
    EXPECT_DOUBLE_EQ(RectOfSound(back.get(), "s2.wav")->GetX(), 0.5);
    EXPECT_TRUE(back->GetScenes()->GetSceneFiles().GetKeptRects().empty());

    // A file without names (an older save) still loads in order.
    std::unique_ptr<App> inOrder = Load(Records(bytes));
    EXPECT_DOUBLE_EQ(Rect(inOrder.get(), 1)->GetX(), 0.3);
}

TEST_F(SceneFilesTest, EverySingleByteFlipIsFoundAndTheRestStillLoads)
{
    std::unique_ptr<App> saved = NewApp();
    AddCloudAt(saved.get(), 0.2, 0.3);
    std::vector<char> bytes = Save(saved.get());
    srand(22);
    for (int flip = 0; flip < 16; flip++) {
        std::vector<char> damaged = bytes;
        // Half of them in the trailing section and its footer.
        size_t at = flip % 2 == 0 ? size_t(rand()) % bytes.size() : bytes.size() - 1 - size_t(rand()) % 100;
        damaged[at] = char(damaged[at] ^ (1 << (rand() % 8)));
        std::unique_ptr<App> loaded = NewApp();
        Serializer reader;
        reader.OpenReadMemory(damaged);
        testing::internal::CaptureStdout();
        loaded->GetScenes()->UnSerializeSession(&reader);
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(reader.IsDamaged()) << "a flip at byte " << at << " of " << bytes.size() << " passed";
        EXPECT_LE(loaded->GetSources().size(), 1u);
    }
}

TEST_F(SceneFilesTest, WhatIsNoFileIsRefusedAtOnceAndNeverSavedOver)
{
    const std::string folder = SessionPath() + ".d/";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((folder + "fifo.bin").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((folder + "dir.bin").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/dev/zero", (folder + "dev.bin").c_str()), 0);
    // Sparse: no disk is used for the length it claims.
    FILE* big = fopen((folder + "big.bin").c_str(), "w");
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(ftruncate(fileno(big), off_t(300) << 20), 0);
    fclose(big);
    const char* kinds[][2] = {
        {"fifo", "a named pipe"}, {"dir", "a directory"}, {"dev", "a device"}, {"big", "more than any scene"}};
    for (auto& kind : kinds) {
        const std::string path = folder + kind[0] + ".bin", newPath = folder + kind[0] + "-saved.bin";
        std::unique_ptr<App> app = NewApp();
        app->GetScenes()->SetSessionPath(path);
        testing::internal::CaptureStderr();
        app->GetScenes()->UnSerializeSession();
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(kind[1]), std::string::npos) << said;
        EXPECT_NE(said.find("F12 saves to " + newPath), std::string::npos) << said;
        AddCloudAt(app.get(), 0.5, 0.5);
        app->GetScenes()->SaveCurrentSession();
        testing::internal::CaptureStdout();
        app->GetScenes()->WritePendingSession();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(app->GetScenes()->GetSceneFiles().GetSavePath(), newPath);
        EXPECT_EQ(Load(ReadBytes(newPath))->GetSources().size(), 1u);
    }
    struct stat info;
    ASSERT_EQ(stat((folder + "dir.bin").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST_F(SceneFilesTest, SlotsLieBesideTheSessionFileAndARecallReplacesTheScene)
{
    SceneFiles files;
    files.SetSessionPath("/a/b.c/session.bin");
    EXPECT_EQ(files.GetSlotPath(3), "/a/b.c/session-3.bin");
    files.SetSessionPath("/a/b.c/scene");
    EXPECT_EQ(files.GetSlotPath(8), "/a/b.c/scene-8");

    std::unique_ptr<App> app = NewApp();
    app->GetScenes()->SetSessionPath(SessionPath());
    AddCloudAt(app.get(), 0.2, 0.3);
    AddCloudAt(app.get(), 0.7, 0.6);
    app->GetControl()->OnSpecialKey(AppControl::KEY_F1 + 1, 0, 0, AppControl::MOD_CTRL | AppControl::MOD_SHIFT);
    testing::internal::CaptureStdout();
    app->GetScenes()->WritePendingSession();
    testing::internal::GetCapturedStdout();
    ASSERT_GT(FileSize(_dir + ".session-2.bin"), 0);
    for (int i = 0; i < 3; i++)
        AddCloudAt(app.get(), 0.5, 0.1 * i);
    app->GetControl()->OnSpecialKey(AppControl::KEY_F1 + 1, 0, 0, AppControl::MOD_CTRL);
    EXPECT_EQ(app->GetSources().size(), 5u) << "the recall waits for the file to be read outside the lock";
    testing::internal::CaptureStdout();
    app->GetScenes()->RecallPendingScene();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(app->GetSources().size(), 2u);
    EXPECT_DOUBLE_EQ(app->GetSources()[1]->GetUI()->GetX(), 0.7);

    // An empty slot leaves the scene as it is and says so.
    app->GetControl()->OnSpecialKey(AppControl::KEY_F1 + 6, 0, 0, AppControl::MOD_CTRL);
    testing::internal::CaptureStderr();
    app->GetScenes()->RecallPendingScene();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Scene 7 is empty"), std::string::npos);
    EXPECT_EQ(app->GetSources().size(), 2u);
}

TEST_F(SceneFilesTest, ASlotThatHoldsNoSceneLeavesTheSceneAsItIs)
{
    std::unique_ptr<App> app = NewApp();
    const std::string path = SessionInFolder();
    app->GetScenes()->SetSessionPath(path);
    AddCloudAt(app.get(), 0.2, 0.3);
    AddCloudAt(app.get(), 0.7, 0.6);
    std::vector<char> garbage(3000);
    srand(5);
    for (char& byte : garbage)
        byte = char(rand());
    std::vector<char> changed = Save(app.get());
    changed[100] = char(changed[100] ^ 1);
    WriteBytes(app->GetScenes()->GetSceneFiles().GetSlotPath(4), {});
    WriteBytes(app->GetScenes()->GetSceneFiles().GetSlotPath(5), garbage);
    WriteBytes(app->GetScenes()->GetSceneFiles().GetSlotPath(6), changed);
    for (int slot = 4; slot <= 6; slot++) {
        const std::string said = Recall(app.get(), slot);
        EXPECT_NE(said.find("Scene " + std::to_string(slot) + " cannot be read"), std::string::npos) << said;
        EXPECT_NE(said.find("the scene stays as it is"), std::string::npos) << said;
        EXPECT_EQ(app->GetSources().size(), 2u) << "slot " << slot;
    }
}

TEST_F(SceneFilesTest, AnEmptySlotIsSaidAtMostOnceASecondPerSlot)
{
    std::unique_ptr<App> app = NewApp();
    app->GetScenes()->SetSessionPath(SessionInFolder());
    std::string said;
    for (int i = 0; i < 3; i++)
        said += Recall(app.get(), 7);
    said += Recall(app.get(), 8);
    EXPECT_EQ(Occurrences(said, "Scene 7 is empty"), 1u) << said;
    EXPECT_EQ(Occurrences(said, "Scene 8 is empty"), 1u) << said;
}

TEST_F(SceneFilesTest, ALaterTrailingSectionIsKeptAsideBeforeASaveRewritesTheFile)
{
    std::unique_ptr<App> saved = NewApp();
    AddCloudAt(saved.get(), 0.5, 0.5);
    const std::vector<char> later = WithTrailer(Records(Save(saved.get())), {{"NEXT", {'x', 'y'}}}, 2);
    const std::string path = SessionInFolder();
    WriteBytes(path, later);

    std::unique_ptr<App> app = NewApp();
    app->GetScenes()->SetSessionPath(path);
    testing::internal::CaptureStderr();
    app->GetScenes()->UnSerializeSession();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(app->GetSources().size(), 1u);
    EXPECT_NE(said.find("trailing section is of version 2"), std::string::npos) << said;
    EXPECT_NE(said.find("kept as " + path + ".v2"), std::string::npos) << said;
    app->GetScenes()->SaveCurrentSession();
    testing::internal::CaptureStdout();
    app->GetScenes()->WritePendingSession();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadBytes(path + ".v2"), later);
    EXPECT_EQ(Load(ReadBytes(path))->GetSources().size(), 1u);
}

// A build before live rects had a chunk of their own named them in RNAM after
// the sounds' rects, which made the names outnumber the records.
TEST_F(SceneFilesTest, AFileAnEarlierBuildSavedWithLiveRectsLoadsWhole)
{
    std::unique_ptr<App> saved = NewApp();
    for (int i = 0; i < NUM_SOUNDS; i++)
        RectOfSound(saved.get(), "s" + std::to_string(i) + ".wav")->UpdateRectPosition(0.1 + 0.2 * i, 0.3);
    AddCloudAt(saved.get(), 0.5, 0.5);
    Serializer names;
    names.OpenWriteMemory();
    names.PutInt(NUM_SOUNDS + 2);
    for (int i = 0; i < NUM_SOUNDS; i++)
        names.PutText("s" + std::to_string(i) + ".wav");
    names.PutText("LIVE INPUT");
    names.PutText("LIVE INPUT (FROZEN)");
    const std::string path = SessionInFolder();
    WriteBytes(path, WithTrailer(Records(Save(saved.get())), {{"RNAM", names.GetStream()}}, 1));

    // A sound whose name sorts first: rects taken in order would go to the wrong sounds.
    WriteSine(_dir + "/a.wav", 4410);
    std::unique_ptr<App> app = NewApp();
    app->GetScenes()->SetSessionPath(path);
    testing::internal::CaptureStderr();
    app->GetScenes()->UnSerializeSession();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Session restored from " + path + ": 4 rects, 1 source"), std::string::npos) << said;
    EXPECT_NE(said.find("2 live rects"), std::string::npos) << said;
    for (int i = 0; i < NUM_SOUNDS; i++)
        EXPECT_DOUBLE_EQ(RectOfSound(app.get(), "s" + std::to_string(i) + ".wav")->GetX(), 0.1 + 0.2 * i);
    EXPECT_EQ(FileSize(path + ".damaged"), -1);
}

}  // namespace
