#pragma once

#include <cstddef>
#include <deque>
#include <vector>

// Raw MIDI messages handed from the MIDI input thread to the GUI thread.
// The owner locks the application mutex around every access.
class MidiQueue {
public:
    class MidiMessage {
    public:
        virtual ~MidiMessage() {}
        double GetTime() const { return _deltaTime; }
        int GetChannel() const;
        bool IsNoteOn() const { return Status() >> 4 == 9; }
        bool IsNoteOff() const { return Status() >> 4 == 8; }
        int GetNoteNumber() const { return DataByte(1); }
        int GetVelocity() const { return DataByte(2); }
        bool IsPitchWheel() const { return Status() >> 4 == 14; }
        // -1 at full down, 0 centred, 8191/8192 at full up.
        double GetPitchWheel() const;

        double _deltaTime = 0.0;
        std::vector<unsigned char> _message;

    private:
        int Status() const { return DataByte(0); }
        int DataByte(size_t i) const { return i < _message.size() ? _message[i] : 0; }
    };

    virtual ~MidiQueue() {}
    void PushMessage(double deltaTime, const std::vector<unsigned char>& message);
    size_t GetSize() const { return _messages.size(); }
    bool PopMessage(MidiMessage* out);

private:
    std::deque<MidiMessage> _messages;
};
