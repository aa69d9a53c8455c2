#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "midi/LockFreeRing.h"

// Raw MIDI messages handed from the MIDI input thread to the thread that acts
// on them (the GUI thread for notes, the audio thread for controllers)
// without a lock, so neither allocates nor waits for the other (nor for the
// scene lock, which the audio thread takes).
class MidiQueue {
public:
    class MidiMessage {
    public:
        // The first MAX_BYTES bytes of every message are kept: all that a
        // note or the pitch wheel carries; longer (system exclusive)
        // messages keep their status byte.
        static constexpr size_t MAX_BYTES = 3;
        // Controllers that act on the notes of their channel.
        static constexpr int SUSTAIN_PEDAL = 64;
        static constexpr int ALL_SOUND_OFF = 120;
        static constexpr int RESET_ALL_CONTROLLERS = 121;
        static constexpr int ALL_NOTES_OFF = 123;

        MidiMessage() {}
        MidiMessage(double deltaTime, const unsigned char* bytes, size_t count);
        virtual ~MidiMessage() {}
        double GetTime() const { return _deltaTime; }
        int GetChannel() const;
        bool IsNoteOn() const { return Status() >> 4 == 9; }
        bool IsNoteOff() const { return Status() >> 4 == 8; }
        int GetNoteNumber() const { return DataByte(1); }
        int GetVelocity() const { return DataByte(2); }
        bool IsControlChange() const { return Status() >> 4 == 11; }
        int GetController() const { return DataByte(1); }
        int GetControllerValue() const { return DataByte(2); }
        // Controllers 120 to 127 set the channel's mode, they drive no knob.
        bool IsChannelMode() const { return IsControlChange() && GetController() >= ALL_SOUND_OFF; }
        bool IsSustainPedal() const { return IsControlChange() && GetController() == SUSTAIN_PEDAL; }
        bool IsProgramChange() const { return Status() >> 4 == 12; }
        int GetProgram() const { return DataByte(1); }
        bool IsSystemReset() const { return Status() == 0xFF; }
        bool IsPitchWheel() const { return Status() >> 4 == 14; }
        // -1 at full down, 0 centred, 1 at full up.
        double GetPitchWheel() const;

    private:
        int Status() const { return DataByte(0); }
        int DataByte(size_t i) const { return i < _size ? _bytes[i] : 0; }

        double _deltaTime = 0.0;
        unsigned char _bytes[MAX_BYTES] = {};
        size_t _size = 0;
    };

    // Messages that can wait at once; a burst beyond that drops the newest.
    static constexpr size_t CAPACITY = 1024;

    MidiQueue();
    virtual ~MidiQueue() {}
    MidiQueue(const MidiQueue&) = delete;
    MidiQueue& operator=(const MidiQueue&) = delete;

    // Whether bytes are one whole MIDI message: a status byte first, data
    // bytes (below 0x80) after it, as many as the status carries; a system
    // exclusive message ends with its end byte. Undefined status bytes
    // (0xF4, 0xF5, 0xF9, 0xFD) and a lone end of exclusive are no message.
    static bool IsWellFormed(const unsigned char* bytes, size_t count);

    // Input thread. False when the message was dropped: not well formed (a
    // data byte of 0x80 or more would play a note no note off can reach),
    // or the queue is full.
    bool PushMessage(double deltaTime, const std::vector<unsigned char>& message);
    // GUI thread.
    bool PopMessage(MidiMessage* out);
    size_t GetSize() const { return _ring.GetSize(); }
    // Messages dropped because the queue was full.
    size_t GetDropped() const { return _ring.GetDropped(); }
    // Messages dropped because they were not well formed.
    size_t GetMalformed() const { return _malformed.load(); }

private:
    LockFreeRing<MidiMessage> _ring;
    std::atomic<size_t> _malformed;
};
