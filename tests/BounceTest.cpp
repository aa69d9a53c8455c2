#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/AudioEngine.h"
#include "app/BounceRecorder.h"
#include "app/Time.h"
#include "sound/EngineRate.h"

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

// The samples of a WAV file, if it is stereo 32-bit float at the rate.
std::vector<float> ReadStereoFloatWav(const std::string& path, int rate = 44100)
{
    std::vector<float> data;
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (file == nullptr)
        return data;
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, rate);
    data.resize(size_t(info.frames) * 2);
    EXPECT_EQ(sf_readf_float(file, data.data(), info.frames), info.frames);
    sf_close(file);
    return data;
}

// Different in every sample, with values no rounding would leave alone.
std::vector<float> Signal(size_t count, unsigned seed)
{
    std::vector<float> samples(count);
    srand(seed);
    for (float& v : samples)
        v = float(rand()) / float(RAND_MAX) * 2.0f - 1.0f;
    return samples;
}

// Feeds the signal in blocks as the audio thread does, pausing as a real
// stream would between blocks, so that the writer has the time a disk gives it.
void RecordInBlocks(BounceRecorder* recorder, const std::vector<float>& signal, size_t blockFloats, int pauseUs)
{
    for (size_t i = 0; i < signal.size(); i += blockFloats) {
        recorder->Write(signal.data() + i, std::min(blockFloats, signal.size() - i));
        if (pauseUs > 0)
            usleep(pauseUs);
    }
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
    // The recordings in ./bounces/ with the given extension.
    std::vector<std::string> BounceFiles(const std::string& extension = ".raw")
    {
        std::vector<std::string> names;
        DIR* d = opendir("bounces");
        if (d == nullptr)
            return names;
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > extension.size() && n.compare(n.size() - extension.size(), extension.size(), extension) == 0)
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

// Sends stderr (the descriptor, so every thread's output) to a file while alive.
class StderrToFile {
public:
    explicit StderrToFile(const std::string& path) : _path(path)
    {
        fflush(stderr);
        _saved = dup(2);
        FILE* f = fopen(path.c_str(), "w");
        dup2(fileno(f), 2);
        fclose(f);
    }
    ~StderrToFile()
    {
        fflush(stderr);
        dup2(_saved, 2);
        close(_saved);
    }
    std::string Text() const
    {
        fflush(stderr);
        std::string text;
        FILE* f = fopen(_path.c_str(), "r");
        for (int c; f != nullptr && (c = fgetc(f)) != EOF;)
            text += char(c);
        if (f != nullptr)
            fclose(f);
        return text;
    }
    // Polls for a text for up to five seconds.
    bool WaitFor(const std::string& needle) const
    {
        for (int i = 0; i < 500; i++) {
            if (Text().find(needle) != std::string::npos)
                return true;
            usleep(10000);
        }
        return false;
    }

private:
    std::string _path;
    int _saved;
};

TEST_F(BounceRecorderTest, RawFileAndWavCopyHoldExactlyTheSamplesSent)
{
    // Three seconds sent as fast as possible: the ring, sized in seconds, takes
    // them even if the writer does not run meanwhile.
    std::vector<float> signal = Signal(3 * 44100 * 2, 7);
    BounceRecorder recorder;
    ASSERT_TRUE(recorder.Start("take.raw"));
    EXPECT_EQ(recorder.GetWavPath(), "take.wav");
    testing::internal::CaptureStdout();
    RecordInBlocks(&recorder, signal, 2 * 1024, 0);
    recorder.Stop();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(recorder.GetLostSamples(), 0u);
    EXPECT_EQ(ReadFloats("take.raw"), signal);
    EXPECT_EQ(ReadStereoFloatWav("take.wav"), signal);
    EXPECT_NE(out.find("Recorded 132300 frames to take.raw and take.wav"), std::string::npos) << out;
}

// A recording made at 96000 Hz says so in its header, so that it plays at
// its speed anywhere.
TEST_F(BounceRecorderTest, TheWavCopyCarriesTheEnginesRate)
{
    EngineRate::Set(96000);
    std::vector<float> signal = Signal(96000 * 2, 9);
    BounceRecorder recorder;
    ASSERT_TRUE(recorder.Start("fast.raw"));
    testing::internal::CaptureStdout();
    RecordInBlocks(&recorder, signal, 2 * 512, 0);
    recorder.Stop();
    testing::internal::GetCapturedStdout();
    EngineRate::Set(EngineRate::REFERENCE_RATE);
    EXPECT_EQ(ReadStereoFloatWav("fast.wav", 96000), signal);
}

TEST_F(BounceRecorderTest, AFullDiskIsReportedAtOnceWithTheCountAndTheWavCopyStaysWhole)
{
    // The raw file lands on /dev/full, which refuses every write as a full disk does.
    ASSERT_EQ(symlink("/dev/full", "full.raw"), 0);
    std::vector<float> signal = Signal(44100 * 2, 3);
    StderrToFile err("stderr.txt");
    BounceRecorder recorder;
    ASSERT_TRUE(recorder.Start("full.raw"));
    RecordInBlocks(&recorder, signal, 2 * 512, 0);
    // Said while the recording still runs, not only when it stops.
    EXPECT_TRUE(err.WaitFor("Recording full.raw: ")) << err.Text();
    EXPECT_TRUE(err.WaitFor("lost: No space left on device")) << err.Text();
    recorder.Stop();
    EXPECT_EQ(recorder.GetLostSamples(), signal.size());
    EXPECT_EQ(recorder.GetWriteError(), ENOSPC);
    EXPECT_EQ(recorder.DescribeLoss(), "44100 frames (1.00 s) lost: No space left on device");
    EXPECT_NE(err.Text().find("Recording full.raw ended: of 44100 frames, 44100 frames (1.00 s) lost"),
              std::string::npos)
        << err.Text();
    EXPECT_EQ(ReadStereoFloatWav("full.wav"), signal);
}

TEST_F(BounceRecorderTest, ARecordingThatCannotWriteAFrameLeavesNoFilesAndSaysSo)
{
    // Both files land on /dev/full; a take stopped at once has no frame either.
    ASSERT_EQ(symlink("/dev/full", "full.raw"), 0);
    ASSERT_EQ(symlink("/dev/full", "full.wav"), 0);
    std::vector<float> signal = Signal(2 * 4096, 4);
    StderrToFile err("stderr.txt");
    BounceRecorder recorder;
    ASSERT_TRUE(recorder.Start("full.raw"));
    RecordInBlocks(&recorder, signal, 2 * 512, 0);
    recorder.Stop();
    ASSERT_TRUE(recorder.Start("none.raw"));
    recorder.Stop();
    struct stat info;
    for (const char* name : {"full.raw", "full.wav", "none.raw", "none.wav"})
        EXPECT_NE(lstat(name, &info), 0) << name << " is left behind";
    EXPECT_NE(err.Text().find("Recording full.raw: not a single frame was written; no file is kept"), std::string::npos)
        << err.Text();
    EXPECT_NE(err.Text().find("Recording none.raw: not a single frame was written"), std::string::npos) << err.Text();
}

TEST_F(BounceRecorderTest, ADiskThatFillsUpKeepsWholeFramesUpToThatPointAndCountsTheRest)
{
    // A file size limit fails the writes from that byte on, as a disk filling
    // up mid-recording does (EFBIG instead of ENOSPC). It is not a multiple of
    // a frame, so the last frame is cut in two by the refusal.
    const rlim_t limit = 100004;
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = {limit, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::vector<float> sent = Signal(44100 * 2, 5);
    StderrToFile* err = new StderrToFile("stderr.txt");
    BounceRecorder recorder;
    bool started = recorder.Start("part.raw");
    RecordInBlocks(&recorder, sent, 2 * 512, 0);
    recorder.Stop();
    std::string text = err->Text();
    delete err;
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    ASSERT_TRUE(started);
    const size_t keptFrames = limit / 8;
    std::vector<float> raw = ReadFloats("part.raw");
    ASSERT_EQ(raw.size(), keptFrames * 2);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), sent.begin()));
    EXPECT_EQ(recorder.GetLostSamples(), sent.size() - raw.size());
    EXPECT_EQ(recorder.GetWriteError(), EFBIG);
    std::string ending = "Recording part.raw ended: of 44100 frames, " + std::to_string(44100 - keptFrames) + " frames";
    EXPECT_NE(text.find(ending), std::string::npos) << text;
    // The copy meets the same limit and says so instead of passing for whole.
    EXPECT_NE(text.find("The WAV copy part.wav is incomplete"), std::string::npos) << text;
    EXPECT_NE(text.find("(no complete WAV copy)"), std::string::npos) << text;
}

TEST_F(BounceRecorderTest, AWriterThatCannotKeepUpIsReportedAtOnceWithTheCount)
{
    // A block larger than the whole ring can never be queued: the writer
    // falling behind, in its surest form.
    StderrToFile err("stderr.txt");
    BounceRecorder recorder(2048);
    ASSERT_TRUE(recorder.Start("slow.raw"));
    std::vector<float> block = Signal(4096, 9);
    recorder.Write(block.data(), block.size());
    EXPECT_TRUE(err.WaitFor("Recording slow.raw: 2048 frames (0.05 s) lost: the disk does not keep up")) << err.Text();
    EXPECT_TRUE(recorder.IsRecording());
    std::vector<float> kept = Signal(1024, 10);
    recorder.Write(kept.data(), kept.size());
    recorder.Stop();
    EXPECT_EQ(ReadFloats("slow.raw"), kept);
    EXPECT_EQ(ReadStereoFloatWav("slow.wav"), kept);
    EXPECT_NE(err.Text().find("ended: of 2560 frames, 2048 frames (0.05 s) lost: the disk does not keep up"),
              std::string::npos)
        << err.Text();
}

// A recording ends at once, and its writer writes the rest on its own thread
// while the disk takes it (here a pipe nobody reads yet). Until that is done
// it is finishing (the engine starts no new recording meanwhile), and the
// files it leaves hold every sample.
TEST_F(BounceRecorderTest, ARecordingEndsAtOnceAndItsWriterFinishesItOnItsOwn)
{
    ASSERT_EQ(mkfifo("slow.raw", 0644), 0);
    const int reader = open("slow.raw", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    BounceRecorder recorder;
    ASSERT_TRUE(recorder.Start("slow.raw"));
    // Far more than a pipe holds: the writer waits in the disk's place.
    const std::vector<float> signal = Signal(44100 * BounceRecorder::CHANNELS, 5);
    RecordInBlocks(&recorder, signal, 1024, 0);
    recorder.Finish();
    EXPECT_FALSE(recorder.IsRecording());
    usleep(50000);
    EXPECT_TRUE(recorder.IsFinishing()) << "the rest cannot be written before it is read";

    std::vector<char> bytes;
    char chunk[65536];
    for (int waited = 0; waited < 10000;) {
        const ssize_t n = read(reader, chunk, sizeof(chunk));
        if (n == 0)
            break;
        if (n > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        } else {
            usleep(1000);
            waited++;
        }
    }
    close(reader);
    for (int i = 0; i < 10000 && recorder.IsFinishing(); i++)
        usleep(1000);
    EXPECT_FALSE(recorder.IsFinishing());
    ASSERT_EQ(bytes.size(), signal.size() * sizeof(float)) << "every sample, the queued rest too";
    EXPECT_EQ(memcmp(bytes.data(), signal.data(), bytes.size()), 0);
    EXPECT_EQ(ReadStereoFloatWav("slow.wav"), signal);
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
    // The writer finishes the files on its own thread.
    while (app.GetAudioEngine()->GetBounceRecorder()->IsFinishing())
        usleep(1000);

    std::vector<std::string> files = BounceFiles();
    ASSERT_EQ(files.size(), 1u);
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 5 * 256 * 8);
    for (float v : ReadFloats(name))
        ASSERT_EQ(v, 0.0f);
    // The WAV copy beside it, with the same name.
    ASSERT_EQ(BounceFiles(".wav").size(), 1u);
    std::string wav = name.substr(0, name.size() - 4) + ".wav";
    EXPECT_EQ(ReadStereoFloatWav(wav), std::vector<float>(5 * 256 * 2, 0.0f));
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
    std::vector<float> block(2 * 512);
    app.OnAudio(block.data(), nullptr, 512, 0.0, 0, nullptr);
    app.ToggleAudioBounce();
    EXPECT_EQ(BounceFiles().size(), 1u);
}

}  // namespace
