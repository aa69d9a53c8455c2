#pragma once

#include <cstdint>
#include <vector>

#include "parameters/ParameterProvider.h"

class EffectsBox;
class Envelope;
class Serializer;
class SoundRect;
class UISource;

// Everything that makes sound on the canvas: a kind, an id, the MIDI note and
// pitch wheel that transpose it, its time stretch, a mute flag, its own
// effects chain and its own grain envelopes. The application asks every source once per audio block
// to add its sound into a stereo scratch block.
class Source : public ParameterProvider {
public:
    enum SourceType { UNDEFINED_TYPE = -1, SINGLE_GRAIN = 0, GRAIN_CLOUD = 1, LOOP_SOURCE = 2 };

    Source();
    virtual ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // A new source of the same kind that plays like this one (a MIDI note's copy).
    virtual Source* Clone() = 0;
    // Adds numFrames interleaved stereo frames into accumBuff; with a null
    // buffer the source keeps time without writing.
    virtual void NextBuffer(std::vector<float>* accumBuff, unsigned numFrames) = 0;
    virtual void RegisterUI(UISource* ui) = 0;
    virtual UISource* GetUI() = 0;
    // How many of its grains sound now; audio thread, between blocks.
    virtual unsigned CountSoundingGrains() const = 0;
    virtual void ResetCurrentParameterIndex() = 0;
    // A rect added to the scene after the source (a live rect): the source
    // plays from it as from the others, and so does each note copy it is
    // given to. GUI thread, under the scene lock.
    virtual void AddRect(SoundRect* rect) = 0;

    // The part of every kind's record: mute flag, time stretch, effects chain
    // and hand-drawn envelope. The kinds write their own fields after it.
    virtual void Serialize(Serializer* serializer);
    virtual void UnSerialize(Serializer* serializer);
    // Where the source's random draws (grain points, directions) stand, kept
    // beside the record so that a restored scene plays on with the grains the
    // saved one would have played next; nothing for a source that draws none.
    virtual void SerializeDraws(Serializer*) const {}
    virtual bool UnSerializeDraws(Serializer*) { return true; }

    SourceType GetSourceType() const { return _sourceType; }
    uint32_t GetId() const { return _id; }

    void SetMidiNote(int note) { _midiNote = note; }
    int GetMidiNote() const { return _midiNote; }
    // When a note copy started, counted in notes: the oldest has the least.
    void SetNoteOrder(uint64_t order) { _noteOrder = order; }
    uint64_t GetNoteOrder() const { return _noteOrder; }
    // The MIDI channel (1..16) a note copy was struck on, whose note offs,
    // pedal and wheel it follows; 0 for a note played over OSC.
    void SetMidiChannel(int channel) { _midiChannel = channel; }
    int GetMidiChannel() const { return _midiChannel; }
    // Its note off came while the channel's sustain pedal was down: it sounds
    // on until the pedal is lifted.
    void SetHeldByPedal(bool held) { _heldByPedal = held; }
    bool IsHeldByPedal() const { return _heldByPedal; }
    // A note copy's bend in semitones (the wheel's, the mouse's).
    void SetPitchBend(double semitones);
    // Its pitch factor: equal semitones, 2 at +12 (worked out once, not per grain).
    double GetPitchBendFactor() const { return _pitchBendFactor; }
    // Equal-tempered transposition relative to note 72; 1 without a note.
    double GetMidiNotePitch() const;
    // A note copy's level relative to its source's (1 for the source itself).
    virtual void SetNoteLevel(double level) { _noteLevel = level; }
    double GetNoteLevel() const { return _noteLevel; }
    // The level a note of velocity 1..127 plays at: the square of
    // velocity / 127, so that 127 is the source's own level, 64 about 12 dB
    // below it, and soft playing stays audible but clearly softer.
    static double VelocityToLevel(int velocity);

    double GetTimeStretch() const { return _timeStretch; }
    void SetTimeStretch(double timeStretch) { _timeStretch = timeStretch; }
    Envelope* GetEnvelope() const { return _envelope; }
    // The source's own chain; its note copies sound through it too.
    EffectsBox* GetEffectsBox() const { return _effectsBox; }
    void SetMuted(bool muted) { _isMuted = muted; }
    bool IsMuted() const { return _isMuted; }
    // While its MIDI notes sound, the source keeps time unheard; coming back
    // mid-grain, it fades in over its first frames heard again, however many
    // blocks they span. Frames heard since then; very many for a source
    // that was never kept silent.
    void KeepSilent() { _framesHeardAgain = 0; }
    unsigned GetFramesHeardAgain() const { return _framesHeardAgain; }
    void AddFramesHeard(unsigned numFrames);

protected:
    // The shared part of cloning: the copy plays as this source (same id,
    // kind, note, stretch and mute) but keeps its own envelopes, and the
    // wheel position is left to whoever bends the copy.
    void Clone(Source* target) const;

    SourceType _sourceType;
    bool _isClone;

private:
    static uint32_t _currentId;
    uint32_t _id;
    int _midiNote;
    uint64_t _noteOrder;
    int _midiChannel;
    bool _heldByPedal;
    double _pitchBendFactor;
    double _noteLevel;
    double _timeStretch;
    bool _isMuted;
    unsigned _framesHeardAgain;
    EffectsBox* _effectsBox;
    Envelope* _envelope;
};
