#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "midi/MidiQueue.h"

// The MIDI input thread pushes while the GUI thread pops, with no lock
// between them: every message crosses whole and in order, and the race
// detector sees no unordered access to a slot.
TEST(MidiQueueRaceTest, PushAndPopOnTwoThreads)
{
    MidiQueue queue;
    const int count = 5000;
    std::thread input([&] {
        for (int i = 0; i < count;) {
            if (queue.PushMessage(0.001 * i, {0x90, (unsigned char)(i % 128), (unsigned char)(1 + i % 127)}))
                i++;
            else
                std::this_thread::yield();
        }
    });
    MidiQueue::MidiMessage message;
    for (int expected = 0; expected < count;) {
        if (!queue.PopMessage(&message)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(message.GetNoteNumber(), expected % 128);
        ASSERT_EQ(message.GetVelocity(), 1 + expected % 127);
        expected++;
    }
    input.join();
}
