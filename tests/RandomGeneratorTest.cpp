#include <gtest/gtest.h>

#include <cstdlib>

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
