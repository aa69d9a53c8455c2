#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/BounceRecorder.h"
#include "app/Time.h"

namespace {

std::vector<float> ReadFloats(const std::string& path)
{
    std::vector<float> data;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr)
        return data;
    float v;
    while (fread(&v, sizeof(float), 1, f) == 1)
        data.push_back(v);
    fclose(f);
    return data;
}

// Runs each test in a fresh temporary folder, as the instrument runs in its own.
class InTempFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zoltaXXXXXX";
        _dir = mkdtemp(pattern);
        _oldDir = getcwd(nullptr, 0);
        ASSERT_EQ(chdir(_dir.c_str()), 0);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(_oldDir), 0);
        free(_oldDir);
        std::string cmd = "rm -rf " + _dir;
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::vector<std::string> BounceFiles()
    {
        std::vector<std::string> names;
        DIR* d = opendir("bounces");
        if (d == nullptr)
            return names;
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        closedir(d);
        return names;
    }
    std::string _dir;
    char* _oldDir = nullptr;
};

using BounceRecorderTest = InTempFolder;

TEST_F(BounceRecorderTest, WritesEveryQueuedSampleInOrderAcrossTheRingsEnd)
{
    // 1200 floats through a ring of 1000: the writes wrap around its end, and
    // the first 166 blocks fit even if the writer never got to run meanwhile.
    BounceRecorder recorder(1000);
    ASSERT_TRUE(recorder.Start("out.raw"));
    std::vector<float> expected;
    float block[6];
    for (int b = 0; b < 200; b++) {
        for (int i = 0; i < 6; i++)
            block[i] = float(b * 6 + i);
        size_t before = recorder.GetDroppedSamples();
        recorder.Write(block, 6);
        if (recorder.GetDroppedSamples() == before)
            expected.insert(expected.end(), block, block + 6);
        usleep(200);
    }
    recorder.Stop();
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_GE(expected.size(), 166u * 6);
    EXPECT_EQ(ReadFloats("out.raw"), expected);
    EXPECT_EQ(expected.size() + recorder.GetDroppedSamples(), 1200u);
}

TEST_F(BounceRecorderTest, AFullRingDropsWholeBlocksAndCountsThem)
{
    BounceRecorder recorder(8);
    ASSERT_TRUE(recorder.Start("out.raw"));
    // Larger than the ring: can never be queued.
    std::vector<float> huge(9, 2.0f);
    recorder.Write(huge.data(), huge.size());
    EXPECT_EQ(recorder.GetDroppedSamples(), 9u);
    // Blocks of 6 into a ring of 8, as fast as possible: whatever the writer
    // manages, each block is written whole or dropped whole.
    std::vector<float> block(6, 1.0f);
    const size_t writes = 2000;
    for (size_t i = 0; i < writes; i++)
        recorder.Write(block.data(), block.size());
    recorder.Stop();
    size_t dropped = recorder.GetDroppedSamples() - 9;
    EXPECT_EQ(dropped % 6, 0u);
    std::vector<float> written = ReadFloats("out.raw");
    EXPECT_EQ(written.size(), writes * 6 - dropped);
    for (float v : written)
        ASSERT_EQ(v, 1.0f);
}

TEST_F(BounceRecorderTest, StartFailsWhenTheFileCannotBeCreated)
{
    BounceRecorder recorder;
    EXPECT_FALSE(recorder.Start("no/such/folder/out.raw"));
    EXPECT_FALSE(recorder.IsRecording());
}

using AppAudioTest = InTempFolder;

TEST_F(AppAudioTest, AnEmptySceneGivesSilenceAndAdvancesTheClock)
{
    App app;
    std::vector<float> out(2 * 512, 0.7f);
    double before = Time::Instance()->GetSeconds();
    EXPECT_EQ(app.OnAudio(out.data(), nullptr, 512, 0.0, 0, nullptr), 0);
    for (float v : out)
        ASSERT_EQ(v, 0.0f);
    EXPECT_NEAR(Time::Instance()->GetSeconds() - before, 512.0 / 44100.0, 1e-12);
}

TEST_F(AppAudioTest, BounceCreatesTheFolderAndRecordsEveryBlockUntilToggledOff)
{
    App app;
    ASSERT_FALSE(app.IsBouncing());
    app.ToggleAudioBounce();
    ASSERT_TRUE(app.IsBouncing());
    std::string name = app.GetBounceFileName();
    EXPECT_EQ(name.rfind("./bounces/bounce-", 0), 0u) << name;
    std::vector<float> out(2 * 256);
    for (int i = 0; i < 5; i++)
        app.OnAudio(out.data(), nullptr, 256, 0.0, 0, nullptr);
    app.ToggleAudioBounce();
    EXPECT_FALSE(app.IsBouncing());
    EXPECT_STREQ(app.GetBounceFileName(), "");

    std::vector<std::string> files = BounceFiles();
    ASSERT_EQ(files.size(), 1u);
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 5 * 256 * 8);
    for (float v : ReadFloats(name))
        ASSERT_EQ(v, 0.0f);
}

TEST_F(AppAudioTest, ABounceThatCannotBeCreatedSaysSoAndStaysOff)
{
    // A plain file where the folder should be: neither folder nor recording can be made.
    FILE* f = fopen("bounces", "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    App app;
    testing::internal::CaptureStderr();
    app.ToggleAudioBounce();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(app.IsBouncing());
    EXPECT_NE(err.find("Cannot record"), std::string::npos) << err;
    // The next F11 tries again rather than switching an imaginary recording off.
    ASSERT_EQ(remove("bounces"), 0);
    app.ToggleAudioBounce();
    EXPECT_TRUE(app.IsBouncing());
    app.ToggleAudioBounce();
    EXPECT_EQ(BounceFiles().size(), 1u);
}

}  // namespace
