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

}  // namespace
