#pragma once

// Where each MIDI channel's pitch wheel and sustain pedal stand between
// messages, so that a note struck on a channel starts at its wheel's bend
// and a note off waits for its pedal. Channels 1 to 16; channel 0 stands for
// the notes played over OSC, which have no wheel nor pedal.
class MidiChannels {
public:
    static constexpr int NUM_CHANNELS = 16;
    // The wheel's reach each way, in semitones.
    static constexpr int DEFAULT_BEND_RANGE = 2;
    static constexpr int MIN_BEND_RANGE = 1;
    static constexpr int MAX_BEND_RANGE = 48;

    MidiChannels();
    virtual ~MidiChannels() {}

    // Clamped to MIN_BEND_RANGE..MAX_BEND_RANGE.
    void SetBendRange(int semitones);
    int GetBendRange() const { return _bendRange; }
    // wheel: -1 at full down, 0 centred, 1 at full up.
    void SetWheel(int channel, double wheel);
    // The channel's bend in semitones: the range times the wheel's travel, so
    // every step of the wheel is the same interval.
    double GetBendSemitones(int channel) const;
    void SetPedalDown(int channel, bool down);
    bool IsPedalDown(int channel) const;
    // Reset All Controllers: the wheel centred, the pedal lifted.
    void ResetControllers(int channel);

private:
    static bool IsChannel(int channel) { return channel >= 1 && channel <= NUM_CHANNELS; }

    int _bendRange;
    // Indexed by channel; 0 (OSC) stays centred and lifted.
    double _wheel[NUM_CHANNELS + 1];
    bool _pedalDown[NUM_CHANNELS + 1];
};
