#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "session/Serializer.h"

namespace {

// A save's temporary file is the target's name with this after it.
const char* const SAVING = ".saving";

class SceneFilesSafetyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zoltasavesafetyXXXXXX";
        _dir = mkdtemp(pattern);
        // Somewhere that is none of the session's own files.
        ASSERT_EQ(mkdir(Path("elsewhere").c_str(), 0755), 0);
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf " + _dir).c_str()), 0); }

    std::string Path(const std::string& name) const { return _dir + "/" + name; }

    // Saves a scene that is only text; false, with the reason, when refused.
    static bool Save(const std::string& path, const std::string& text, std::string* error)
    {
        Serializer writer;
        bool saved = writer.OpenWriteFile(path.c_str());
        writer.PutText(text);
        saved = writer.CloseFile() && saved;
        *error = writer.GetError();
        return saved;
    }
    static std::string Saved(const std::string& path)
    {
        Serializer reader;
        std::string text;
        EXPECT_EQ(reader.ReadFile(path.c_str()), Serializer::READ_WHOLE) << path;
        EXPECT_TRUE(reader.GetText(&text)) << path;
        return text;
    }
    static std::string Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static mode_t KindAt(const std::string& path)
    {
        struct stat info;
        return lstat(path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
    }

    std::string _dir;
};

TEST_F(SceneFilesSafetyTest, APipeAtTheTemporaryNameIsRefusedNeitherOpenedNorRemoved)
{
    const std::string slot = Path("session-2.bin");
    std::string error;
    ASSERT_TRUE(Save(slot, "first", &error)) << error;
    ASSERT_EQ(mkfifo((slot + SAVING).c_str(), 0644), 0);
    // A reader holds the pipe open, so that a save opening it to write does
    // not wait for ever but shows what it sent.
    const int reader = open((slot + SAVING).c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    EXPECT_FALSE(Save(slot, "second", &error));
    EXPECT_NE(error.find("session-2.bin.saving is not a regular file (it is a named pipe)"), std::string::npos)
        << error;
    EXPECT_EQ(Saved(slot), "first");
    EXPECT_EQ(KindAt(slot + SAVING), mode_t(S_IFIFO));
    char byte = 0;
    EXPECT_LE(read(reader, &byte, 1), 0) << "the scene went into the pipe";
    close(reader);
}

TEST_F(SceneFilesSafetyTest, ALinkAtTheTemporaryNameIsRefusedAndWhereItLeadsIsUntouched)
{
    const std::string slot = Path("session-3.bin"), outside = Path("elsewhere/notes.txt");
    std::ofstream(outside) << "not a scene";
    ASSERT_EQ(symlink(outside.c_str(), (slot + SAVING).c_str()), 0);

    std::string error;
    EXPECT_FALSE(Save(slot, "scene", &error));
    EXPECT_NE(error.find("session-3.bin.saving is not a regular file (it is a symbolic link)"), std::string::npos)
        << error;
    EXPECT_EQ(Contents(outside), "not a scene");
    EXPECT_EQ(KindAt(slot + SAVING), mode_t(S_IFLNK));
    EXPECT_EQ(KindAt(slot), mode_t(0)) << "the link was renamed into the slot's place";
}

TEST_F(SceneFilesSafetyTest, ASlotThatIsALinkIsWrittenThroughToItsTargetWhole)
{
    const std::string slot = Path("session-4.bin"), target = Path("elsewhere/set.bin");
    std::string error;
    ASSERT_TRUE(Save(target, "old", &error)) << error;
    // What an interrupted save of the target left beside it.
    std::ofstream(target + SAVING) << "half a scene";
    ASSERT_EQ(symlink("elsewhere/set.bin", slot.c_str()), 0);

    ASSERT_TRUE(Save(slot, "new", &error)) << error;
    EXPECT_EQ(KindAt(slot), mode_t(S_IFLNK));
    EXPECT_EQ(Saved(target), "new");
    EXPECT_EQ(KindAt(target + SAVING), mode_t(0));
    EXPECT_EQ(KindAt(slot + SAVING), mode_t(0));

    // A link to what is no regular file is refused at once, and stays.
    const std::string pipeSlot = Path("session-5.bin"), pipe = Path("elsewhere/pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    ASSERT_EQ(symlink(pipe.c_str(), pipeSlot.c_str()), 0);
    EXPECT_FALSE(Save(pipeSlot, "scene", &error));
    EXPECT_NE(error.find("pipe is not a regular file"), std::string::npos) << error;
    EXPECT_EQ(KindAt(pipeSlot), mode_t(S_IFLNK));
    EXPECT_EQ(KindAt(pipe), mode_t(S_IFIFO));
}

}  // namespace
