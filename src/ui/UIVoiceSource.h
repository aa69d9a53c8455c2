#pragma once

#include <vector>

#include "ui/UISource.h"

class SingleVoiceSource;
class SoundRect;
class UIGrain;
class UIScreen;
class UIStyle;

// The view of a single grain or a loop source: a breathing ring with one
// grain marker at its centre. Its grains land exactly on the centre, with
// no spread, on every sound rect the centre lies in.
class UIVoiceSource : public UISource {
public:
    // rects: the application's live list of sound rects.
    UIVoiceSource(SingleVoiceSource* source, UIStyle* style, UIScreen* screen, double x, double y,
                  std::vector<SoundRect*>* rects);
    virtual ~UIVoiceSource();
    UIVoiceSource(const UIVoiceSource&) = delete;
    UIVoiceSource& operator=(const UIVoiceSource&) = delete;

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
    const UIGrain* GetGrain() const { return _uiGrain; }

    // Audio thread: writes, for every rect i containing the centre, the
    // normalised time position to playPos[i] and the cross-axis position to
    // playVol[i] (other entries are left as they are), and flashes the
    // marker for dur milliseconds when at least one rect was hit.
    void GetTriggerPos(double* playPos, double* playVol, double dur);

private:
    // _isOn, _lambda and _targetRad change nothing on screen; they are kept
    // because the session file stores them.
    bool _isOn;
    bool _isSelected;
    double _startTime;
    double _freq;
    double _x, _y;
    double _selRad;
    double _lambda;
    double _maxSelRad;
    double _minSelRad;
    double _targetRad;
    UIGrain* _uiGrain;
    std::vector<SoundRect*>* _rects;
    UIStyle* _style;
    UIScreen* _screen;
    SingleVoiceSource* _source;
};
