#include <gtest/gtest.h>

#include <string>

#include "app/LoadMeter.h"

namespace {
const unsigned BLOCK = 1024;
// The budget of one block in seconds.
const double BUDGET = BLOCK / 44100.0;
// Blocks in one second of audio, and in the peak's whole window.
const int BLOCKS_PER_SECOND = 44100 / BLOCK;
const int PEAK_WINDOW_BLOCKS = (int)(LoadMeter::PEAK_SECONDS * 44100.0 / BLOCK) + 1;
}  // namespace

TEST(LoadMeterTest, LoadIsTheShareOfTheBlocksBudget)
{
    LoadMeter meter;
    meter.Record(0.25 * BUDGET, BLOCK);
    EXPECT_NEAR(meter.GetCurrent(), 0.25, 1e-12);
    // A short block has a shorter budget.
    meter.Record(0.25 * BUDGET, BLOCK / 2);
    EXPECT_NEAR(meter.GetCurrent(), 0.5, 1e-12);
    EXPECT_NEAR(meter.GetPeak(), 0.5, 1e-12);
    EXPECT_EQ(meter.GetBlocks(), 2u);
    EXPECT_EQ(meter.GetBlocksOverBudget(), 0u);
    char text[80];
    meter.Describe(text, sizeof(text));
    EXPECT_EQ(std::string(text), "load 50% peak 50% over 0");
}

TEST(LoadMeterTest, BlocksOverBudgetAreCountedForGood)
{
    LoadMeter meter;
    meter.Record(1.5 * BUDGET, BLOCK);
    meter.Record(BUDGET * 0.999, BLOCK);
    meter.Record(3.0 * BUDGET, BLOCK);
    for (int b = 0; b < 10 * BLOCKS_PER_SECOND; b++)
        meter.Record(0.1 * BUDGET, BLOCK);
    EXPECT_EQ(meter.GetBlocksOverBudget(), 2u);
}

// A spike shows as the peak while it is recent and is forgotten once the
// window has passed over it; the current load follows every block.
TEST(LoadMeterTest, PeakHoldsForAFewSecondsOfAudio)
{
    LoadMeter meter;
    for (int b = 0; b < BLOCKS_PER_SECOND; b++)
        meter.Record(0.2 * BUDGET, BLOCK);
    meter.Record(0.9 * BUDGET, BLOCK);
    meter.Record(0.3 * BUDGET, BLOCK);
    EXPECT_NEAR(meter.GetCurrent(), 0.3, 1e-12);
    EXPECT_NEAR(meter.GetPeak(), 0.9, 1e-12);
    // Still within the window two seconds later.
    for (int b = 0; b < 2 * BLOCKS_PER_SECOND; b++)
        meter.Record(0.2 * BUDGET, BLOCK);
    EXPECT_NEAR(meter.GetPeak(), 0.9, 1e-12);
    for (int b = 0; b < PEAK_WINDOW_BLOCKS; b++)
        meter.Record(0.2 * BUDGET, BLOCK);
    EXPECT_NEAR(meter.GetPeak(), 0.2, 1e-12);
}

TEST(LoadMeterTest, MeasuredBlocksAreCountedAndAnEmptyOneIsIgnored)
{
    LoadMeter meter;
    meter.Start();
    meter.Stop(BLOCK);
    EXPECT_EQ(meter.GetBlocks(), 1u);
    EXPECT_GE(meter.GetCurrent(), 0.0);
    meter.Record(1.0, 0);
    EXPECT_EQ(meter.GetBlocks(), 1u);
}
