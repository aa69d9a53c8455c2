#pragma once

#include <vector>

#include "ui/UISource.h"

class GrainCloud;
class SoundRect;
class UIGrain;
class UIScreen;
class UIStyle;

// The view of a grain cloud: a breathing ring with one marker per voice.
// It owns the cloud's place and spatial spread, and for every grain the
// cloud starts it picks a random point within the spread (a triangular
// distribution that favours the centre) and reports where that point falls
// in each sound rect.
class UIGrainCloud : public UISource {
public:
    UIGrainCloud(GrainCloud* grain, UIStyle* style, UIScreen* screen, double x, double y, unsigned numVoices,
                 const std::vector<SoundRect*>& rects);
    virtual ~UIGrainCloud();
    UIGrainCloud(const UIGrainCloud&) = delete;
    UIGrainCloud& operator=(const UIGrainCloud&) = delete;

    void Draw() override;
    void UpdateStyle(UIStyle* style) override;
    void SetSelectState(bool selected) override { _isSelected = selected; }
    bool Pick(double x, double y) override;
    double GetX() override { return _x; }
    double GetY() override { return _y; }
    void UpdatePosition(double x, double y) override;
    bool PickParameters(double x, double y) override;

    // The ring breathes once per grain duration.
    void SetDuration(double durMs) { _freq = 1000.0 / durMs; }
    // Current ring radius in pixels.
    double GetRadius() const { return _selRad; }

    // Audio thread: moves marker idx to a new point of the cloud, writes for
    // every rect i containing it the normalised time position to playPos[i]
    // and the cross-axis position to playVol[i] (other entries are left as
    // they are), and flashes the marker for dur milliseconds.
    void GetTriggerPos(unsigned idx, double* playPos, double* playVol, double dur);

    // One marker per voice; the last one is never removed.
    void AddGrain();
    void RemoveGrain();
    unsigned GetNumGrains() const { return (unsigned)_uiGrains.size(); }
    UIGrain* GetGrain(unsigned idx) const { return _uiGrains[idx]; }

    double GetXRandExtent() const { return _xRandExtent; }
    double GetYRandExtent() const { return _yRandExtent; }
    void SetXRandExtent(double extent) { _xRandExtent = extent; }
    void SetYRandExtent(double extent) { _yRandExtent = extent; }
    double GetRandExtentCoeff() const { return _randExtentCoeff; }
    void SetRandExtentCoeff(double coeff) { _randExtentCoeff = coeff; }

private:
    // Offset of a triangular distribution over +-extent.
    static double TriangularOffset(double extent);

    // _isOn, _lambda and _targetRad change nothing on screen; they are kept
    // because the session file stores them.
    bool _isOn;
    bool _isSelected;
    double _startTime;
    double _xRandExtent, _yRandExtent;
    double _randExtentCoeff;
    double _freq;
    double _x, _y;
    double _selRad;
    double _lambda;
    double _targetRad;
    double _maxSelRad;
    double _minSelRad;
    std::vector<UIGrain*> _uiGrains;
    std::vector<SoundRect*> _rects;
    UIStyle* _style;
    UIScreen* _screen;
    GrainCloud* _grain;
};
