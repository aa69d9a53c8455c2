#pragma once

class Serializer;
class UIStyle;

// The on-scene view of a sound source: it draws the source, answers mouse
// hit tests, carries the source's parameter boxes along when it moves and
// chooses where on the sound rects the source's grains land.
// Positions are scene units (x in window widths, y in window heights, y up).
class UISource {
public:
    virtual ~UISource() {}

    virtual void Draw() = 0;
    virtual void UpdateStyle(UIStyle* style) = 0;
    virtual void SetSelectState(bool selected) = 0;
    // True when (x, y) lies within the pick radius, measured in scene pixels.
    virtual bool Pick(double x, double y) = 0;
    virtual double GetX() = 0;
    virtual double GetY() = 0;
    // Moves the source to (x, y), its grain markers with it.
    virtual void UpdatePosition(double x, double y) = 0;
    // Hit test of the parameter boxes at (x, y) in window pixels (y up); the
    // box hit, or none, becomes the source's current parameter.
    virtual bool PickParameters(double x, double y) = 0;

    // The view's record follows its source's in the session file.
    virtual void Serialize(Serializer* serializer) = 0;
    virtual void UnSerialize(Serializer* serializer) = 0;
};
