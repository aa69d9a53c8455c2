#pragma once

#include <vector>

#include "ui/UISource.h"

class SoundRect;
class Source;
class UIGrain;
class UIScreen;
class UIStyle;

// What every source view draws and answers alike: a ring that breathes once
// per grain duration (dimmed while the source lies over no rect), the grain
// markers, the mute cross, the selection ring, the pick circle, and the hit
// test of the source's parameter boxes. Positions are scene units, radii
// scene pixels.
class UISourceView : public UISource {
public:
    virtual ~UISourceView();
    UISourceView(const UISourceView&) = delete;
    UISourceView& operator=(const UISourceView&) = delete;

    void Draw() override;
    void UpdateStyle(UIStyle* style) override;
    void SetSelectState(bool selected) override { _isSelected = selected; }
    bool Pick(double x, double y) override;
    double GetX() override { return _x; }
    double GetY() override { return _y; }
    void UpdatePosition(double x, double y) override;
    bool PickParameters(double x, double y) override;
    void Serialize(Serializer* serializer) override;
    // The place (and a cloud's spread) comes back; the ring's breathing is the
    // view's own and starts afresh.
    void UnSerialize(Serializer* serializer) override;

    // The ring breathes once per grain duration.
    void SetDuration(double durMs) { _freq = 1000.0 / durMs; }
    // Current ring radius in pixels.
    double GetRadius() const { return _selRad; }
    unsigned GetNumGrains() const { return (unsigned)_uiGrains.size(); }
    // A source whose centre lies over no rect plays nothing (a cloud only
    // what its spread reaches): it is drawn dimmed.
    bool LiesOverARect() const;
    UIGrain* GetGrain(unsigned idx) const { return _uiGrains[idx]; }
    // A rect added to the scene after the view: its grains land there too.
    void AddRect(SoundRect* rect) { _rects.push_back(rect); }

protected:
    // source: the model, whose mute flag and parameters the view shows;
    // rects: the scene's sound rects, where the grains land.
    UISourceView(Source* source, UIStyle* style, UIScreen* screen, double x, double y,
                 const std::vector<SoundRect*>& rects);

    // The model's current parameter becomes idx (-1: none).
    virtual void SetCurrentParameter(int idx) = 0;
    // One marker more, at the centre.
    void AddMarker();
    // What a kind keeps between the breathing's start and its frequency in
    // its record: nothing but for a cloud, whose spread goes there.
    virtual void SerializeSpread(Serializer*) {}
    virtual void UnSerializeSpread(Serializer*) {}

    // _isOn, _lambda and _targetRad change nothing on screen; they are kept
    // because the session file stores them.
    bool _isOn;
    bool _isSelected;
    double _startTime;
    double _freq;
    double _x, _y;
    double _selRad;
    double _lambda;
    double _targetRad;
    double _maxSelRad;
    double _minSelRad;
    std::vector<UIGrain*> _uiGrains;
    // The scene's sound rects, in the order of the source's play positions.
    std::vector<SoundRect*> _rects;
    UIStyle* _style;
    UIScreen* _screen;

private:
    // Moves the source and its markers.
    void PlaceAt(double x, double y);
    void DrawRing() const;
    void DrawMuteCross() const;
    void DrawSelectionRing() const;
    void SetRingColour() const;

    Source* _source;
};
