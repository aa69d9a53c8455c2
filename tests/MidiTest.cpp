#include <gtest/gtest.h>

#include "midi/MidiQueue.h"

namespace {

MidiQueue::MidiMessage Message(std::vector<unsigned char> bytes)
{
    MidiQueue::MidiMessage m;
    m._message = bytes;
    return m;
}

TEST(MidiMessageTest, PitchWheelSpansMinusOneToJustBelowOne)
{
    EXPECT_EQ(Message({0xE0, 0x00, 0x40}).GetPitchWheel(), 0.0);
    EXPECT_EQ(Message({0xE0, 0x00, 0x00}).GetPitchWheel(), -1.0);
    EXPECT_EQ(Message({0xE0, 0x7F, 0x7F}).GetPitchWheel(), 8191.0 / 8192.0);
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
