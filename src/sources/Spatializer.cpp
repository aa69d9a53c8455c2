#include "sources/Spatializer.h"

#include "session/Serializer.h"

Spatializer::Spatializer() : _currentAroundChan(1), _stereoSide(0), _side(1), _channelMults(2, CHANNEL_ON)
{
}

const std::vector<float>& Spatializer::Next(int mode)
{
    switch (mode) {
    case STEREO:
        // Left, right, left ...
        _channelMults[0] = _stereoSide != 0 ? 0.0f : CHANNEL_ON;
        _channelMults[1] = _stereoSide != 0 ? CHANNEL_ON : 0.0f;
        _stereoSide = _stereoSide != 0 ? 0 : 1;
        break;
    case AROUND: {
        // Sweeps over the channels and back; with two of them: right, left, right ...
        _channelMults[0] = 0.0f;
        _channelMults[1] = 0.0f;
        _channelMults[_currentAroundChan] = CHANNEL_ON;
        const int next = _currentAroundChan + 2 * _side;
        if (next > 2 || next < 0) {
            _currentAroundChan -= _side;
            _side = -_side;
        } else {
            _currentAroundChan = next;
        }
        break;
    }
    default:
        _channelMults[0] = CHANNEL_ON;
        _channelMults[1] = CHANNEL_ON;
        break;
    }
    return _channelMults;
}

void Spatializer::Serialize(Serializer* serializer) const
{
    serializer->PutInt(_currentAroundChan);
    serializer->PutInt(_stereoSide);
    serializer->PutInt(_side);
}
