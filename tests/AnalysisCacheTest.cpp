#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "sound/AnalysisCache.h"
#include "sound/AnalysisCacheEntry.h"
#include "sound/AudioFile.h"
#include "sound/LoadProgress.h"
#include "sound/SoundLoader.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

namespace {
const int FRAMES = 66150;
const int CHANS = 2;
const double RATE = 44100.0;
const int NUM_BINS = SamplesToSpectro::FFT_SIZE / 2;

class TempFolder {
public:
    TempFolder()
    {
        char pattern[] = "/tmp/zoltacacheXXXXXX";
        _path = mkdtemp(pattern);
    }
    ~TempFolder() { std::system(("rm -rf '" + _path + "'").c_str()); }
    const std::string& Path() const { return _path; }

private:
    std::string _path;
};

// A chord on the left, noise on the right.
std::vector<float> MakeSound(unsigned seed)
{
    srand(seed);
    std::vector<float> x((size_t)CHANS * FRAMES);
    for (int i = 0; i < FRAMES; i++) {
        double t = i / 44100.0;
        x[2 * i] = (float)(0.2 * std::sin(2.0 * M_PI * 261.63 * t) + 0.2 * std::sin(2.0 * M_PI * 392.0 * t));
        x[2 * i + 1] = (float)(0.3 * (2.0 * std::rand() / RAND_MAX - 1.0));
    }
    return x;
}

struct Analysis {
    std::vector<Spectrogram*> spectros;
    std::vector<Spectrogram*> chromas;
    ~Analysis()
    {
        for (Spectrogram* chroma : chromas)
            delete chroma;
        for (Spectrogram* spectro : spectros)
            delete spectro;
    }
};

// As start-up does it: both channels, images for the first.
void Analyse(const std::vector<float>& sound, Analysis* out)
{
    out->spectros.assign(CHANS, nullptr);
    out->chromas.assign(CHANS, nullptr);
    for (int k = 0; k < CHANS; k++)
        SamplesToSpectro::AnalyseChannel(sound, FRAMES, CHANS, k, &out->spectros[k], &out->chromas[k], k == 0);
}

void ExpectSameImage(const Spectrogram* a, const Spectrogram* b)
{
    ASSERT_EQ(a->GetImageLevels() == nullptr, b->GetImageLevels() == nullptr);
    if (a->GetImageLevels() == nullptr)
        return;
    size_t n = (size_t)a->GetNumCols() * NUM_BINS;
    for (size_t i = 0; i < n; i++)
        ASSERT_EQ(a->GetImageLevels()[i], b->GetImageLevels()[i]) << i;
}

void ExpectSameAnalysis(const std::vector<Spectrogram*>& aSpectros, const std::vector<Spectrogram*>& aChromas,
                        const std::vector<Spectrogram*>& bSpectros, const std::vector<Spectrogram*>& bChromas)
{
    ASSERT_EQ(aSpectros.size(), bSpectros.size());
    ASSERT_EQ(aChromas.size(), bChromas.size());
    std::vector<float> va, vb;
    for (size_t k = 0; k < aSpectros.size(); k++) {
        ASSERT_EQ(aSpectros[k]->GetNumCols(), bSpectros[k]->GetNumCols());
        for (int c = 0; c < aSpectros[k]->GetNumCols(); c++) {
            aSpectros[k]->GetMagnCol(c, &va);
            bSpectros[k]->GetMagnCol(c, &vb);
            ASSERT_EQ(va, vb) << "chan " << k << " col " << c;
            aSpectros[k]->GetPhaseCol(c, &va);
            bSpectros[k]->GetPhaseCol(c, &vb);
            ASSERT_EQ(va, vb) << "chan " << k << " col " << c;
            aChromas[k]->GetCol(c + 0.3, &va);
            bChromas[k]->GetCol(c + 0.3, &vb);
            ASSERT_EQ(va, vb) << "chan " << k << " col " << c;
        }
        ExpectSameImage(aSpectros[k], bSpectros[k]);
        ExpectSameImage(aChromas[k], bChromas[k]);
    }
}

bool Read(const AnalysisCache& cache, uint64_t key, Analysis* out)
{
    return cache.Read(key, FRAMES, CHANS, RATE, &out->spectros, &out->chromas);
}

long FileSize(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (long)info.st_size : -1;
}

void FlipByte(const std::string& path, long offset)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(offset);
    char byte = 0;
    file.read(&byte, 1);
    byte ^= 0x10;
    file.seekp(offset);
    file.write(&byte, 1);
}

int CountFiles(const std::string& dir)
{
    FILE* list = popen(("ls -A '" + dir + "' | wc -l").c_str(), "r");
    int count = -1;
    if (list != nullptr) {
        if (fscanf(list, "%d", &count) != 1)
            count = -1;
        pclose(list);
    }
    return count;
}

// The loader over one sound, as the application drives it.
void LoadThrough(AnalysisCache* cache, AudioFile* sound, std::vector<SoundLoader::Analysis>* results)
{
    SoundLoader(cache, nullptr).Analyse({sound}, {}, results);
}

void Release(std::vector<SoundLoader::Analysis>* results)
{
    for (SoundLoader::Analysis& a : *results) {
        for (Spectrogram* chroma : a.chromas)
            delete chroma;
        for (Spectrogram* spectro : a.spectros)
            delete spectro;
    }
    results->clear();
}
}  // namespace

TEST(AnalysisCacheTest, AWrittenEntryIsMappedBackAsTheSameAnalysis)
{
    TempFolder folder;
    AnalysisCache cache(folder.Path() + "/zoltafenri");
    std::vector<float> sound = MakeSound(1);
    uint64_t key = AnalysisCache::SoundKey(sound);
    Analysis computed, missing;
    Analyse(sound, &computed);
    EXPECT_FALSE(Read(cache, key, &missing));

    ASSERT_TRUE(cache.Write(key, FRAMES, CHANS, RATE, computed.spectros, computed.chromas));
    // Renamed into place: the entry and nothing else.
    EXPECT_GT(FileSize(cache.EntryPath(key, FRAMES, CHANS, RATE)), 0);
    EXPECT_EQ(CountFiles(cache.GetDir()), 1);

    Analysis mapped;
    ASSERT_TRUE(Read(cache, key, &mapped));
    ASSERT_EQ(mapped.spectros.size(), (size_t)CHANS);
    for (int k = 0; k < CHANS; k++) {
        EXPECT_TRUE(mapped.spectros[k]->IsMapped());
        EXPECT_TRUE(mapped.spectros[k]->ArePhasesPrepared());
        EXPECT_FALSE(mapped.chromas[k]->OwnsColumns());
    }
    ExpectSameAnalysis(computed.spectros, computed.chromas, mapped.spectros, mapped.chromas);
    // Read-only: a write to a mapped store is dropped.
    std::vector<float> before, after;
    mapped.spectros[0]->GetMagnCol(3, &before);
    mapped.spectros[0]->SetMagnCol(3, std::vector<float>(NUM_BINS, 1.0f));
    mapped.spectros[0]->GetMagnCol(3, &after);
    EXPECT_EQ(before, after);
}

TEST(AnalysisCacheTest, AChangedSoundOfTheSameSizeIsAnalysedAgain)
{
    TempFolder folder;
    AnalysisCache cache(folder.Path());
    std::vector<float> sound = MakeSound(2);
    Analysis computed;
    Analyse(sound, &computed);
    uint64_t key = AnalysisCache::SoundKey(sound);
    ASSERT_TRUE(cache.Write(key, FRAMES, CHANS, RATE, computed.spectros, computed.chromas));

    // One sample a little louder: another fingerprint, no entry for it.
    std::vector<float> changed = sound;
    changed[FRAMES] += 1e-6f;
    uint64_t changedKey = AnalysisCache::SoundKey(changed);
    EXPECT_NE(changedKey, key);
    Analysis none;
    EXPECT_FALSE(Read(cache, changedKey, &none));
    EXPECT_TRUE(none.spectros.empty());
    // The same samples taken as another length or channel count do not match either.
    EXPECT_FALSE(cache.Read(key, FRAMES - 1, CHANS, RATE, &none.spectros, &none.chromas));
    EXPECT_FALSE(cache.Read(key, FRAMES, 1, RATE, &none.spectros, &none.chromas));
    // Nor at another rate, where the same frames last another time.
    EXPECT_FALSE(cache.Read(key, FRAMES, CHANS, 48000.0, &none.spectros, &none.chromas));

    // Through the loader, the changed sound gets its own analysis and entry.
    AudioFile file("changed.wav", "changed.wav", CHANS, FRAMES, 44100.0, changed);
    std::vector<SoundLoader::Analysis> results;
    LoadThrough(&cache, &file, &results);
    Analysis direct;
    Analyse(changed, &direct);
    ExpectSameAnalysis(direct.spectros, direct.chromas, results[0].spectros, results[0].chromas);
    EXPECT_TRUE(results[0].spectros[0]->IsMapped());
    Release(&results);
    EXPECT_EQ(CountFiles(folder.Path()), 2);
}

TEST(AnalysisCacheTest, TruncatedDamagedAndStaleEntriesAreRebuiltNeverUsed)
{
    TempFolder folder;
    AnalysisCache cache(folder.Path());
    std::vector<float> sound = MakeSound(3);
    AudioFile file("a.wav", "a.wav", CHANS, FRAMES, 44100.0, sound);
    uint64_t key = AnalysisCache::SoundKey(sound);
    std::string path = cache.EntryPath(key, FRAMES, CHANS, RATE);
    Analysis direct;
    Analyse(sound, &direct);
    std::vector<SoundLoader::Analysis> results;
    LoadThrough(&cache, &file, &results);
    Release(&results);
    const long size = FileSize(path);
    ASSERT_GT(size, 65536);

    // What each kind of damage does to the file; every one must be refused,
    // and the next start must write a good entry again.
    struct Damage {
        const char* what;
        void (*apply)(const std::string&, long);
    };
    const Damage damages[] = {
        {"cut short", [](const std::string& p, long s) { ASSERT_EQ(truncate(p.c_str(), s / 2), 0); }},
        {"one byte longer", [](const std::string& p, long s) { ASSERT_EQ(truncate(p.c_str(), s + 1), 0); }},
        {"a changed phase", [](const std::string& p, long s) { FlipByte(p, s / 2); }},
        {"a changed image level", [](const std::string& p, long s) { FlipByte(p, s - 10); }},
        {"another analysis version", [](const std::string& p, long) { FlipByte(p, 8); }},
        {"a header for another sound", [](const std::string& p, long) { FlipByte(p, 16); }},
        {"emptied", [](const std::string& p, long) { ASSERT_EQ(truncate(p.c_str(), 0), 0); }},
    };
    for (const Damage& damage : damages) {
        damage.apply(path, size);
        Analysis refused;
        EXPECT_FALSE(Read(cache, key, &refused)) << damage.what;
        EXPECT_TRUE(refused.spectros.empty()) << damage.what;

        LoadThrough(&cache, &file, &results);
        ExpectSameAnalysis(direct.spectros, direct.chromas, results[0].spectros, results[0].chromas);
        Release(&results);
        EXPECT_EQ(FileSize(path), size) << damage.what;
        Analysis rebuilt;
        EXPECT_TRUE(Read(cache, key, &rebuilt)) << damage.what;
    }
}

TEST(AnalysisCacheTest, AFolderThatCannotBeWrittenCostsOnlyTheSpeedUpWithOneMessage)
{
    TempFolder folder;
    // A plain file where the cache folder's parent should be: no folder can
    // be made there, whoever runs the test.
    std::string blocker = folder.Path() + "/blocker";
    std::ofstream(blocker) << "not a folder";
    AnalysisCache cache(blocker + "/zoltafenri");
    std::vector<float> sound = MakeSound(4);
    AudioFile first("a.wav", "a.wav", CHANS, FRAMES, 44100.0, sound);
    AudioFile second("b.wav", "b.wav", CHANS, FRAMES, 44100.0, MakeSound(5));

    testing::internal::CaptureStderr();
    std::vector<SoundLoader::Analysis> results;
    SoundLoader(&cache, nullptr).Analyse({&first, &second}, {}, &results);
    std::string messages = testing::internal::GetCapturedStderr();

    ASSERT_EQ(results.size(), 2u);
    Analysis direct;
    Analyse(sound, &direct);
    ExpectSameAnalysis(direct.spectros, direct.chromas, results[0].spectros, results[0].chromas);
    EXPECT_FALSE(results[0].spectros[0]->IsMapped());
    Release(&results);
    // Said once, however many sounds could not be stored.
    size_t at = messages.find("cannot be written");
    ASSERT_NE(at, std::string::npos) << messages;
    EXPECT_EQ(messages.find("cannot be written", at + 1), std::string::npos) << messages;
}

TEST(AnalysisCacheTest, TheCacheFolderFollowsXdgCacheHomeThenHome)
{
    const char* oldXdg = std::getenv("XDG_CACHE_HOME");
    const char* oldHome = std::getenv("HOME");
    std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    std::string savedHome = oldHome != nullptr ? oldHome : "";
    setenv("XDG_CACHE_HOME", "/somewhere/cache", 1);
    setenv("HOME", "/home/player", 1);
    EXPECT_EQ(AnalysisCache::DefaultDir(), "/somewhere/cache/zoltafenri");
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(AnalysisCache::DefaultDir(), "/home/player/.cache/zoltafenri");
    // A relative XDG_CACHE_HOME is not a valid base folder.
    setenv("XDG_CACHE_HOME", "relative", 1);
    EXPECT_EQ(AnalysisCache::DefaultDir(), "/home/player/.cache/zoltafenri");
    if (oldXdg != nullptr)
        setenv("XDG_CACHE_HOME", savedXdg.c_str(), 1);
    else
        unsetenv("XDG_CACHE_HOME");
    if (oldHome != nullptr)
        setenv("HOME", savedHome.c_str(), 1);
}

TEST(AnalysisCacheTest, TheLoaderSpreadsChannelsAndReportsProgressAndStopsWhenCancelled)
{
    std::vector<float> sound = MakeSound(6);
    AudioFile file("a.wav", "a.wav", CHANS, FRAMES, 44100.0, sound);
    LoadProgress progress;
    bool pictureMade = false;
    std::vector<SoundLoader::Analysis> results;
    SoundLoader(nullptr, &progress).Analyse({&file}, {[&]() { pictureMade = true; }}, &results);
    EXPECT_TRUE(pictureMade);
    EXPECT_DOUBLE_EQ(progress.GetFraction(), 1.0);
    EXPECT_NE(progress.GetText().find("'a.wav' (1 of 1)"), std::string::npos) << progress.GetText();
    Analysis direct;
    Analyse(sound, &direct);
    ExpectSameAnalysis(direct.spectros, direct.chromas, results[0].spectros, results[0].chromas);
    Release(&results);

    // Given up before it starts: nothing is analysed, nothing waits.
    LoadProgress cancelled;
    cancelled.Cancel();
    SoundLoader(nullptr, &cancelled).Analyse({&file}, {}, &results);
    ASSERT_EQ(results.size(), 1u);
    for (Spectrogram* spectro : results[0].spectros)
        EXPECT_EQ(spectro, nullptr);
    Release(&results);
}

TEST(AnalysisCacheTest, TidyingRemovesWhatCrashedWritersLeftAndOldVersionsButNotARunningWritersFile)
{
    TempFolder folder;
    const std::string dir = folder.Path() + "/zoltafenri";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    // A process that has ended: its id no longer runs.
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    const std::string entry = dir + "/00000000000000aa-66150-2.analysis";
    const std::string crashed = entry + ".tmp." + std::to_string(child) + ".7";
    const std::string running = entry + ".tmp." + std::to_string(getpid()) + ".8";
    const std::string abandoned = entry + ".tmp." + std::to_string(getpid()) + ".9";
    const std::string other = dir + "/notes.txt";
    for (const std::string& path : {crashed, running, abandoned, other})
        std::ofstream(path) << "partial";
    // An entry of the version before this one and a file that only has an entry's name.
    const std::string oldEntry = dir + "/00000000000000bb-66150-2.analysis";
    const std::string notAnEntry = dir + "/00000000000000cc-66150-2.analysis";
    const uint32_t oldVersion = AnalysisCacheEntry::ANALYSIS_VERSION - 1;
    std::ofstream(oldEntry).write("ZFANALYS", 8).write((const char*)&oldVersion, sizeof(oldVersion)) << "old columns";
    std::ofstream(notAnEntry) << "some other program's file";
    // Untouched for two hours: its writer is gone, whoever has its id now.
    const timespec old[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, abandoned.c_str(), old, 0), 0);

    AnalysisCache cache(dir);
    cache.Tidy();
    EXPECT_EQ(FileSize(crashed), -1);
    EXPECT_EQ(FileSize(abandoned), -1);
    EXPECT_GT(FileSize(running), 0);
    EXPECT_GT(FileSize(other), 0);
    EXPECT_EQ(FileSize(oldEntry), -1);
    EXPECT_GT(FileSize(notAnEntry), 0);

    // The loader tidies at every start.
    ASSERT_EQ(utimensat(AT_FDCWD, running.c_str(), old, 0), 0);
    std::vector<SoundLoader::Analysis> results;
    AudioFile sound("s", "s.wav", CHANS, FRAMES, 44100.0, MakeSound(3));
    LoadThrough(&cache, &sound, &results);
    EXPECT_EQ(FileSize(running), -1);
    Release(&results);
}

TEST(AnalysisCacheTest, BeyondItsBoundTheLeastRecentlyUsedEntriesGoButNeverOnesInUse)
{
    TempFolder folder;
    const std::string dir = folder.Path() + "/zoltafenri";
    std::vector<std::string> paths;
    {
        AnalysisCache writer(dir);
        for (unsigned s = 0; s < 3; s++) {
            std::vector<float> sound = MakeSound(20 + s);
            Analysis analysis;
            Analyse(sound, &analysis);
            uint64_t key = AnalysisCache::SoundKey(sound);
            ASSERT_TRUE(writer.Write(key, FRAMES, CHANS, RATE, analysis.spectros, analysis.chromas));
            paths.push_back(writer.EntryPath(key, FRAMES, CHANS, RATE));
        }
    }
    // Last used 300, 200 and 100 seconds ago.
    const long entryBytes = FileSize(paths[0]);
    for (size_t s = 0; s < paths.size(); s++) {
        const time_t when = time(nullptr) - 300 + 100 * (time_t)s;
        const timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, paths[s].c_str(), times, 0), 0);
    }

    // Room for two: the oldest goes.
    AnalysisCache roomForTwo(dir, 2 * (uint64_t)entryBytes + 1000);
    roomForTwo.Tidy();
    EXPECT_EQ(FileSize(paths[0]), -1);
    EXPECT_EQ(FileSize(paths[1]), entryBytes);
    EXPECT_EQ(FileSize(paths[2]), entryBytes);

    // Room for one: reading the older entry makes it the most recent, and an
    // entry in use is never removed, so the other one goes.
    AnalysisCache roomForOne(dir, (uint64_t)entryBytes);
    Analysis mapped;
    ASSERT_TRUE(Read(roomForOne, AnalysisCache::SoundKey(MakeSound(21)), &mapped));
    roomForOne.Tidy();
    EXPECT_EQ(FileSize(paths[1]), entryBytes);
    EXPECT_EQ(FileSize(paths[2]), -1);
    // Even with no room at all.
    AnalysisCache noRoom(dir, 0);
    Analysis mappedAgain;
    ASSERT_TRUE(Read(noRoom, AnalysisCache::SoundKey(MakeSound(21)), &mappedAgain));
    noRoom.Tidy();
    EXPECT_EQ(FileSize(paths[1]), entryBytes);
}

TEST(AnalysisCacheTest, ALongSoundGoesIntoItsEntryBlockByBlockAsTheWholeAnalysis)
{
    // Long enough for its images to be made apart, in two stretches, and
    // ending in half a block of columns, the last one left unfilled (the
    // length is a whole number of hops). One channel keeps the test short.
    const int numCols = AnalysisCache::Writer::IMAGE_STRETCH_COLS + 5 * SamplesToSpectro::BLOCK_COLS / 2;
    const int frames = (numCols + 4) * SamplesToSpectro::HOP;
    std::vector<float> sound(frames);
    for (int i = 0; i < frames; i++)
        sound[i] = (float)(0.3 * std::sin(2.0 * M_PI * (200.0 + i / 2000.0) * i / 44100.0));
    TempFolder folder;
    AnalysisCache cache(folder.Path() + "/zoltafenri");
    AudioFile file("long.wav", "long.wav", 1, frames, 44100.0, sound);
    std::vector<SoundLoader::Analysis> streamed;
    LoadThrough(&cache, &file, &streamed);
    ASSERT_EQ(streamed.size(), 1u);
    ASSERT_EQ(streamed[0].spectros.size(), 1u);
    EXPECT_TRUE(streamed[0].spectros[0]->IsMapped());
    EXPECT_EQ(CountFiles(cache.GetDir()), 1);

    Analysis direct;
    direct.spectros.assign(1, nullptr);
    direct.chromas.assign(1, nullptr);
    SamplesToSpectro::AnalyseChannel(sound, frames, 1, 0, &direct.spectros[0], &direct.chromas[0], true);
    ExpectSameAnalysis(direct.spectros, direct.chromas, streamed[0].spectros, streamed[0].chromas);
    // The fingerprints written on the way hold: the next start reads the entry.
    Analysis again;
    EXPECT_TRUE(cache.Read(AnalysisCache::SoundKey(sound), frames, 1, RATE, &again.spectros, &again.chromas));
    Release(&streamed);
}

TEST(AnalysisCacheTest, AnEntryCutShortWhileInUseReadsAsSilenceAndTheProgramGoesOn)
{
    TempFolder folder;
    AnalysisCache cache(folder.Path());
    std::vector<float> sound = MakeSound(9);
    AudioFile file("a.wav", "a.wav", CHANS, FRAMES, 44100.0, sound);
    std::vector<SoundLoader::Analysis> results;
    LoadThrough(&cache, &file, &results);
    ASSERT_EQ(results[0].spectros.size(), (size_t)CHANS);
    std::string path = cache.EntryPath(AnalysisCache::SoundKey(sound), FRAMES, CHANS, RATE);
    Spectrogram* spectro = results[0].spectros[0];
    std::vector<float> before, after;
    spectro->GetMagnCol(2, &before);
    ASSERT_GT(*std::max_element(before.begin(), before.end()), 0.0f);

    // Another program empties the entry: every column and the image now read as zeros.
    testing::internal::CaptureStderr();
    ASSERT_EQ(truncate(path.c_str(), 0), 0);
    const int numCols = spectro->GetNumCols();
    for (int k = 0; k < CHANS; k++) {
        for (int c = 0; c < numCols; c++) {
            results[0].spectros[k]->GetMagnCol(c, &after);
            ASSERT_EQ(*std::max_element(after.begin(), after.end()), 0.0f) << k << " " << c;
        }
        results[0].chromas[k]->GetCol(numCols / 2 + 0.5, &after);
        EXPECT_EQ(*std::max_element(after.begin(), after.end()), 0.0f);
    }
    const uint8_t* image = results[0].chromas[0]->GetImageLevels();
    EXPECT_EQ(*std::max_element(image, image + (size_t)numCols * NUM_BINS), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cut short"), std::string::npos) << err;
    Release(&results);

    // The next start analyses the sound again.
    LoadThrough(&cache, &file, &results);
    results[0].spectros[0]->GetMagnCol(2, &after);
    EXPECT_EQ(before, after);
    Release(&results);
}
