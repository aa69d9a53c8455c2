#include "sources/Source.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "effects/EffectsBox.h"
#include "session/Serializer.h"
#include "sources/Envelope.h"

namespace {
const int NO_NOTE = -1;
const int UNTRANSPOSED_NOTE = 72;
const double SEMITONE = 1.0594630943592953;
const unsigned long ENVELOPE_SIZE = 2048;
// The time stretch parameter's range.
const double MAX_TIME_STRETCH = 2.0;
const int MAX_VELOCITY = 127;
}  // namespace

uint32_t Source::_currentId = 0;

Source::Source()
    : ParameterProvider(SOURCE), _sourceType(UNDEFINED_TYPE), _isClone(false), _id(_currentId++), _midiNote(NO_NOTE),
      _noteOrder(0), _midiChannel(0), _heldByPedal(false), _pitchBendFactor(1.0), _noteLevel(1.0), _timeStretch(1.0),
      _isMuted(false), _framesHeardAgain(UINT_MAX), _effectsBox(new EffectsBox()),
      _envelope(new Envelope(ENVELOPE_SIZE))
{
}

Source::~Source()
{
    delete _effectsBox;
    delete _envelope;
}

void Source::AddFramesHeard(unsigned numFrames)
{
    // Saturates: a source heard for days is still long past its fade.
    _framesHeardAgain = numFrames > UINT_MAX - _framesHeardAgain ? UINT_MAX : _framesHeardAgain + numFrames;
}

void Source::SetPitchBend(double semitones)
{
    _pitchBendFactor = std::pow(2.0, semitones / 12.0);
}

double Source::GetMidiNotePitch() const
{
    return _midiNote == NO_NOTE ? 1.0 : std::pow(SEMITONE, _midiNote - UNTRANSPOSED_NOTE);
}

double Source::VelocityToLevel(int velocity)
{
    const double v = std::clamp(velocity, 0, MAX_VELOCITY) / double(MAX_VELOCITY);
    return v * v;
}

void Source::Clone(Source* target) const
{
    target->_isClone = true;
    target->_isMuted = _isMuted;
    target->_sourceType = _sourceType;
    target->_id = _id;
    target->_midiNote = _midiNote;
    target->_timeStretch = _timeStretch;
}

void Source::Serialize(Serializer* serializer)
{
    serializer->PutBool(_isMuted);
    serializer->PutDouble(_timeStretch);
    _effectsBox->Serialize(serializer);
    _envelope->Serialize(serializer);
}

void Source::UnSerialize(Serializer* serializer)
{
    serializer->GetBool(&_isMuted);
    double timeStretch = _timeStretch;
    if (serializer->GetDouble(&timeStretch) && std::isfinite(timeStretch))
        _timeStretch = std::clamp(timeStretch, 0.0, MAX_TIME_STRETCH);
    _effectsBox->UnSerialize(serializer);
    _envelope->UnSerialize(serializer);
}
