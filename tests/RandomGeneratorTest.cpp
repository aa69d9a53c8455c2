#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "session/Serializer.h"
#include "sources/RandomGenerator.h"

// The C library's own generator is the reference: a source seeded like
// srand draws what rand would have drawn.
TEST(RandomGeneratorTest, DrawsTheSequenceOfTheCLibraryForTheSameSeed)
{
    for (unsigned seed : {0u, 1u, 7u, 23u, 4000000000u}) {
        std::srand(seed);
        RandomGenerator random(seed);
        for (int i = 0; i < 5000; i++)
            ASSERT_EQ(random.Next(), std::rand()) << "seed " << seed << " draw " << i;
    }
}

TEST(RandomGeneratorTest, ACopyContinuesTheSequenceAndReseedingStartsItOver)
{
    RandomGenerator random(11);
    for (int i = 0; i < 40; i++)
        random.Next();
    RandomGenerator copy = random;
    const int first = random.Next();
    EXPECT_EQ(copy.Next(), first);
    RandomGenerator fresh(11);
    random.Seed(11);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(random.Next(), fresh.Next());
}

// A saved state draws on, in another generator, what the saved one draws next;
// records that no seeding can give leave the generator as it was.
TEST(RandomGeneratorTest, ASavedStateDrawsOnWhereTheSavedGeneratorWas)
{
    RandomGenerator saved(29);
    for (int i = 0; i < 45; i++)
        saved.Next();
    Serializer writer;
    writer.OpenWriteMemory();
    saved.Serialize(&writer);
    RandomGenerator restored(3);
    Serializer reader;
    reader.OpenReadMemory(writer.GetStream());
    ASSERT_TRUE(restored.UnSerialize(&reader));
    for (int i = 0; i < 200; i++)
        ASSERT_EQ(restored.Next(), saved.Next()) << "draw " << i;

    std::vector<char> badIndex = writer.GetStream();
    badIndex[0] = 31;
    std::vector<char> allZero(writer.GetStream().size(), 0);
    std::vector<char> cut(writer.GetStream().begin(), writer.GetStream().end() - 4);
    for (const std::vector<char>& bytes : {badIndex, allZero, cut}) {
        RandomGenerator untouched(5), reference(5);
        Serializer bad;
        bad.OpenReadMemory(bytes);
        EXPECT_FALSE(untouched.UnSerialize(&bad));
        EXPECT_EQ(untouched.Next(), reference.Next());
    }
}
