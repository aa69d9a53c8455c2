#pragma once

#include <vector>

class Serializer;

// Spreads successive grains over the two output channels: UNITY sounds every
// grain on both, STEREO alternates left and right, AROUND sweeps over the
// channels and back. Each call to Next gives the gains of the next grain (or,
// for a loop, of its next cycle).
class Spatializer {
public:
    enum SpatialMode { UNITY = 0, STEREO = 1, AROUND = 2 };
    static constexpr int NUM_SPATIAL_MODES = 3;
    // Just under full scale, so that stacked grains keep a little headroom.
    static constexpr float CHANNEL_ON = 0.999f;

    Spatializer();
    virtual ~Spatializer() {}

    // Advances to the next grain in the given mode and returns its gains.
    const std::vector<float>& Next(int mode);
    const std::vector<float>& GetChannelMults() const { return _channelMults; }
    // Where the sweep stands: the channel, the stereo side and the direction.
    void Serialize(Serializer* serializer) const;

private:
    int _currentAroundChan;
    int _stereoSide;
    int _side;
    std::vector<float> _channelMults;
};
