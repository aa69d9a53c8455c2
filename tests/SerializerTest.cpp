#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "session/Serializer.h"

namespace {
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/zoltaserializerXXXXXX";
        _path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf " + _path).c_str()); }
    std::string File(const char* name) const { return _path + "/" + name; }

private:
    std::string _path;
};

long FileSize(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (long)info.st_size : -1;
}

void WriteOneOfEach(Serializer* s)
{
    s->PutInt(-123456);
    s->PutBool(true);
    s->PutLong(-9876543210L);
    s->PutDouble(3.25e-7);
    s->PutFloat(-2.5f);
    s->PutBool(false);
}

void ExpectOneOfEach(Serializer* s)
{
    int i = 0;
    bool b = false, c = true;
    long l = 0;
    double d = 0.0;
    float f = 0.0f;
    EXPECT_TRUE(s->GetInt(&i));
    EXPECT_TRUE(s->GetBool(&b));
    EXPECT_TRUE(s->GetLong(&l));
    EXPECT_TRUE(s->GetDouble(&d));
    EXPECT_TRUE(s->GetFloat(&f));
    EXPECT_TRUE(s->GetBool(&c));
    EXPECT_EQ(-123456, i);
    EXPECT_TRUE(b);
    EXPECT_EQ(-9876543210L, l);
    EXPECT_EQ(3.25e-7, d);
    EXPECT_EQ(-2.5f, f);
    EXPECT_FALSE(c);
    EXPECT_FALSE(s->HasRunOut());
}
}  // namespace

TEST(SerializerTest, MemoryRoundTripAndSizes)
{
    Serializer writer;
    writer.OpenWriteMemory();
    WriteOneOfEach(&writer);
    EXPECT_EQ(4u + 4u + 8u + 8u + 4u + 4u, writer.GetStream().size());
    Serializer reader;
    reader.OpenReadMemory(writer.GetStream());
    ExpectOneOfEach(&reader);
}

TEST(SerializerTest, LittleEndianBytesWithoutPadding)
{
    Serializer writer;
    writer.OpenWriteMemory();
    writer.PutInt(0x01020304);
    writer.PutBool(true);
    writer.PutDouble(1.0);
    const std::vector<char>& bytes = writer.GetStream();
    ASSERT_EQ(16u, bytes.size());
    EXPECT_EQ((std::vector<char>{4, 3, 2, 1, 1, 0, 0, 0}), std::vector<char>(bytes.begin(), bytes.begin() + 8));
    // 1.0 is 0x3FF0000000000000.
    EXPECT_EQ((std::vector<char>{0, 0, 0, 0, 0, 0, (char)0xF0, 0x3F}),
              std::vector<char>(bytes.begin() + 8, bytes.end()));
}

TEST(SerializerTest, AnyNonZeroIntReadsAsTrue)
{
    Serializer writer;
    writer.OpenWriteMemory();
    writer.PutInt(7);
    writer.PutInt(0);
    Serializer reader;
    reader.OpenReadMemory(writer.GetStream());
    bool a = false, b = true;
    EXPECT_TRUE(reader.GetBool(&a));
    EXPECT_TRUE(reader.GetBool(&b));
    EXPECT_TRUE(a);
    EXPECT_FALSE(b);
}

// A short stream never reads outside its bytes: the value that does not fit
// is left as it was, and so is every value after it, even one that would fit
// in the bytes that are left.
TEST(SerializerTest, ReadingPastTheEndKeepsTheDestinations)
{
    Serializer reader;
    reader.OpenReadMemory(std::vector<char>{1, 0, 0, 0, 2, 0});
    int first = -1;
    EXPECT_TRUE(reader.GetInt(&first));
    EXPECT_EQ(1, first);
    double d = 4.5;
    EXPECT_FALSE(reader.GetDouble(&d));
    EXPECT_EQ(4.5, d);
    EXPECT_TRUE(reader.HasRunOut());
    float f = 1.5f;
    EXPECT_FALSE(reader.GetFloat(&f));
    EXPECT_EQ(1.5f, f);
    bool b = true;
    EXPECT_FALSE(reader.GetBool(&b));
    EXPECT_TRUE(b);
    long l = 9;
    EXPECT_FALSE(reader.GetLong(&l));
    EXPECT_EQ(9, l);

    Serializer empty;
    empty.OpenReadMemory({});
    int i = 42;
    EXPECT_FALSE(empty.GetInt(&i));
    EXPECT_EQ(42, i);
}

TEST(SerializerTest, FileRoundTrip)
{
    TempDir dir;
    std::string path = dir.File("session.bin");
    {
        Serializer writer;
        ASSERT_TRUE(writer.OpenWriteFile(path.c_str()));
        WriteOneOfEach(&writer);
        // Nothing reaches the file before it is closed: an earlier session
        // stays whole until the new one is complete.
        EXPECT_EQ(-1, FileSize(path));
        EXPECT_TRUE(writer.CloseFile());
        EXPECT_EQ(32, FileSize(path));
        EXPECT_EQ(-1, FileSize(path + ".saving"));
        EXPECT_TRUE(writer.GetStream().empty());
    }
    Serializer reader;
    ASSERT_TRUE(reader.OpenReadFile(path.c_str()));
    ExpectOneOfEach(&reader);
    int extra = 5;
    EXPECT_FALSE(reader.GetInt(&extra));
    EXPECT_EQ(5, extra);
}

TEST(SerializerTest, DestructorWritesTheFile)
{
    TempDir dir;
    std::string path = dir.File("closed-by-scope.bin");
    {
        Serializer writer;
        ASSERT_TRUE(writer.OpenWriteFile(path.c_str()));
        writer.PutLong(77);
    }
    EXPECT_EQ(8, FileSize(path));
    Serializer reader;
    ASSERT_TRUE(reader.OpenReadFile(path.c_str()));
    long l = 0;
    EXPECT_TRUE(reader.GetLong(&l));
    EXPECT_EQ(77, l);
}

TEST(SerializerTest, FilesThatCannotBeOpened)
{
    TempDir dir;
    Serializer serializer;
    EXPECT_FALSE(serializer.OpenReadFile(dir.File("missing.bin").c_str()));
    int i = 3;
    EXPECT_FALSE(serializer.GetInt(&i));
    EXPECT_EQ(3, i);
    EXPECT_FALSE(serializer.OpenWriteFile(dir.File("no/such/folder.bin").c_str()));
    // An empty file opens and holds nothing.
    std::string emptyPath = dir.File("empty.bin");
    fclose(fopen(emptyPath.c_str(), "wb"));
    EXPECT_TRUE(serializer.OpenReadFile(emptyPath.c_str()));
    EXPECT_FALSE(serializer.GetInt(&i));
    EXPECT_EQ(3, i);
}
