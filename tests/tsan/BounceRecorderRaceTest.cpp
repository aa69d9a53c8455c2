#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/BounceRecorder.h"

namespace {

// The audio thread queues blocks while the writer thread drains them to the
// file; under ThreadSanitizer any unsynchronised access between them fails.
TEST(BounceRecorderRaceTest, AudioAndWriterThreadsShareTheRingSafely)
{
    char pattern[] = "/tmp/zoltabounceXXXXXX";
    std::string dir = mkdtemp(pattern);
    std::string path = dir + "/bounce.raw";
    BounceRecorder recorder(4096);
    ASSERT_TRUE(recorder.Start(path));
    std::thread audio([&recorder] {
        std::vector<float> block(2 * 256);
        for (int b = 0; b < 2000; b++) {
            for (size_t i = 0; i < block.size(); i++)
                block[i] = float(b);
            recorder.Write(block.data(), block.size());
            if (b % 16 == 0)
                usleep(100);
        }
    });
    audio.join();
    recorder.Stop();

    // Whole blocks in order: every block that was not dropped arrives intact.
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<float> block(2 * 256);
    size_t blocks = 0;
    float previous = -1.0f;
    while (fread(block.data(), sizeof(float), block.size(), f) == block.size()) {
        for (float v : block)
            ASSERT_EQ(v, block[0]);
        ASSERT_GT(block[0], previous);
        previous = block[0];
        blocks++;
    }
    fclose(f);
    EXPECT_EQ(blocks * block.size() + recorder.GetDroppedSamples(), 2000u * block.size());
    std::string cmd = "rm -rf " + dir;
    ASSERT_EQ(system(cmd.c_str()), 0);
}

}  // namespace
