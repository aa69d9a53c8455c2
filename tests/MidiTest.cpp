#include <gtest/gtest.h>

#include <thread>

#include "midi/MidiQueue.h"

namespace {

MidiQueue::MidiMessage Message(std::vector<unsigned char> bytes)
{
    return MidiQueue::MidiMessage(0.0, bytes.data(), bytes.size());
}

TEST(MidiMessageTest, PitchWheelSpansMinusOneToOne)
{
    EXPECT_EQ(Message({0xE0, 0x00, 0x40}).GetPitchWheel(), 0.0);
    EXPECT_EQ(Message({0xE0, 0x00, 0x00}).GetPitchWheel(), -1.0);
    EXPECT_EQ(Message({0xE0, 0x7F, 0x7F}).GetPitchWheel(), 1.0);
    EXPECT_EQ(Message({0xE0, 0x00, 0x60}).GetPitchWheel(), 4096.0 / 8191.0);
}

TEST(MidiMessageTest, KindAndChannelComeFromTheStatusByte)
{
    MidiQueue::MidiMessage on = Message({0x93, 60, 0});
    EXPECT_TRUE(on.IsNoteOn()) << "velocity 0 still counts as a note on";
    EXPECT_FALSE(on.IsNoteOff());
    EXPECT_EQ(on.GetChannel(), 4);
    EXPECT_EQ(on.GetNoteNumber(), 60);
    EXPECT_TRUE(Message({0x80, 60, 64}).IsNoteOff());
    EXPECT_TRUE(Message({0xEF, 0, 64}).IsPitchWheel());
    EXPECT_EQ(Message({0xF8}).GetChannel(), 0);
}

TEST(MidiQueueTest, PopsInArrivalOrderAndReportsEmpty)
{
    MidiQueue queue;
    MidiQueue::MidiMessage m;
    EXPECT_FALSE(queue.PopMessage(&m));
    queue.PushMessage(0.5, {0x90, 60, 100});
    queue.PushMessage(0.25, {0x80, 60, 0});
    EXPECT_EQ(queue.GetSize(), 2u);
    ASSERT_TRUE(queue.PopMessage(&m));
    EXPECT_TRUE(m.IsNoteOn());
    EXPECT_EQ(m.GetTime(), 0.5);
    ASSERT_TRUE(queue.PopMessage(&m));
    EXPECT_TRUE(m.IsNoteOff());
    EXPECT_EQ(queue.GetSize(), 0u);
}

}  // namespace

namespace {

// A full queue drops what arrives instead of growing; the GUI thread's pops
// make room again, and the ring carries on in order past its end.
TEST(MidiQueueTest, AFullQueueDropsNewMessagesAndWrapsAroundInOrder)
{
    MidiQueue queue;
    for (size_t i = 0; i < MidiQueue::CAPACITY; i++)
        ASSERT_TRUE(queue.PushMessage((double)i, {0x90, (unsigned char)(i % 128), 100}));
    EXPECT_FALSE(queue.PushMessage(-1.0, {0x80, 1, 0}));
    EXPECT_EQ(queue.GetDropped(), 1u);
    MidiQueue::MidiMessage m;
    for (size_t round = 0; round < 3 * MidiQueue::CAPACITY; round++) {
        ASSERT_TRUE(queue.PopMessage(&m));
        ASSERT_EQ(m.GetTime(), (double)round);
        ASSERT_EQ(m.GetNoteNumber(), (int)(round % 128));
        ASSERT_TRUE(queue.PushMessage((double)(round + MidiQueue::CAPACITY),
                                      {0x90, (unsigned char)((round + MidiQueue::CAPACITY) % 128), 100}));
    }
    EXPECT_EQ(queue.GetSize(), MidiQueue::CAPACITY);
}

// One thread pushes while another pops: every message arrives once, in order.
TEST(MidiQueueTest, MessagesCrossThreadsInOrder)
{
    MidiQueue queue;
    const int count = 20000;
    std::thread producer([&] {
        for (int i = 0; i < count;) {
            if (queue.PushMessage((double)i, {0xE0, (unsigned char)(i & 0x7F), (unsigned char)((i >> 7) & 0x7F)}))
                i++;
        }
    });
    MidiQueue::MidiMessage m;
    for (int expected = 0; expected < count;) {
        if (!queue.PopMessage(&m))
            continue;
        ASSERT_EQ(m.GetTime(), (double)expected);
        ASSERT_TRUE(m.IsPitchWheel());
        expected++;
    }
    producer.join();
    EXPECT_FALSE(queue.PopMessage(&m));
}

// System exclusive keeps its status byte; nothing beyond three bytes is read.
TEST(MidiQueueTest, LongMessagesKeepTheirFirstBytes)
{
    MidiQueue queue;
    queue.PushMessage(0.0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    MidiQueue::MidiMessage m;
    ASSERT_TRUE(queue.PopMessage(&m));
    EXPECT_EQ(m.GetChannel(), 0);
    EXPECT_FALSE(m.IsNoteOn() || m.IsNoteOff() || m.IsPitchWheel());
}

// Only whole messages pass: data bytes below 0x80, a status byte first and
// nowhere else, and as many data bytes as the status carries. Anything else
// is dropped whole and counted, never cut to something that plays.
TEST(MidiQueueTest, MessagesThatAreNotWellFormedAreDroppedWhole)
{
    const std::vector<std::vector<unsigned char>> wellFormed = {
        {0x90, 60, 100}, {0x8F, 0, 0}, {0xB0, 7, 127},     {0xE0, 0, 64},
        {0xC3, 5},       {0xD0, 90},   {0xF2, 0x10, 0x7F}, {0xF1, 0x21},
        {0xF8},          {0xFE},       {0xF0, 0xF7},       {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}};
    const std::vector<std::vector<unsigned char>> malformed = {{0x90, 0xC8, 0x7F},
                                                               {0x90, 60, 0x80},
                                                               {0xB0, 0x80, 0},
                                                               {0x90, 60},
                                                               {0x90, 60, 100, 5},
                                                               {0xC3},
                                                               {0xC3, 5, 6},
                                                               {60, 100},
                                                               {},
                                                               {0xF4},
                                                               {0xF5},
                                                               {0xF9},
                                                               {0xFD},
                                                               {0xF7},
                                                               {0xF8, 0},
                                                               {0xF0, 0x01},
                                                               {0xF0, 0x90, 0xF7},
                                                               {0xE0, 0, 0xFF}};
    MidiQueue queue;
    for (const std::vector<unsigned char>& message : malformed)
        EXPECT_FALSE(queue.PushMessage(0.0, message)) << testing::PrintToString(message);
    EXPECT_EQ(queue.GetSize(), 0u);
    EXPECT_EQ(queue.GetMalformed(), malformed.size());
    EXPECT_EQ(queue.GetDropped(), 0u) << "a malformed message is not a burst the queue could not hold";
    for (const std::vector<unsigned char>& message : wellFormed)
        EXPECT_TRUE(queue.PushMessage(0.0, message)) << testing::PrintToString(message);
    EXPECT_EQ(queue.GetSize(), wellFormed.size());
}

}  // namespace
