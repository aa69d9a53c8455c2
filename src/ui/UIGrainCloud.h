#pragma once

#include <cstddef>
#include <vector>

#include "ui/UISourceView.h"

class GrainCloud;
class RandomGenerator;
class SoundRect;

// The view of a grain cloud: a breathing ring with one marker per voice.
// It owns the cloud's place and spatial spread, and for every grain the
// cloud starts it picks a random point within the spread (a triangular
// distribution that favours the centre) and reports where that point falls
// in each sound rect.
class UIGrainCloud : public UISourceView {
public:
    UIGrainCloud(GrainCloud* grain, UIStyle* style, UIScreen* screen, double x, double y, unsigned numVoices,
                 const std::vector<SoundRect*>& rects);

    // Audio thread: moves marker idx to a new point of the cloud, writes for
    // every rect i < numRects containing it the normalised time position to
    // playPos[i] and the cross-axis position to playVol[i] (other entries are
    // left as they are), and flashes the marker for dur milliseconds. The
    // point is drawn from the cloud's generator. A note copy fading out keeps
    // the rects it had, fewer than the view's.
    void GetTriggerPos(unsigned idx, double* playPos, double* playVol, size_t numRects, double dur,
                       RandomGenerator* random);

    // One marker per voice; the last one is never removed.
    void AddGrain();
    void RemoveGrain();

    double GetXRandExtent() const { return _xRandExtent; }
    double GetYRandExtent() const { return _yRandExtent; }
    void SetXRandExtent(double extent) { _xRandExtent = extent; }
    void SetYRandExtent(double extent) { _yRandExtent = extent; }
    double GetRandExtentCoeff() const { return _randExtentCoeff; }
    void SetRandExtentCoeff(double coeff) { _randExtentCoeff = coeff; }

protected:
    void SetCurrentParameter(int idx) override;
    void SerializeSpread(Serializer* serializer) override;
    void UnSerializeSpread(Serializer* serializer) override;

private:
    // Offset of a triangular distribution over +-extent.
    static double TriangularOffset(double extent, RandomGenerator* random);

    double _xRandExtent, _yRandExtent;
    double _randExtentCoeff;
    GrainCloud* _grain;
};
