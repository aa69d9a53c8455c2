#pragma once

class Parameter;
class Serializer;
class UIScreen;
class UIStyle;

// The on-scene face of one parameter in the pie menu: a translucent box that
// reads "name: value", a meter under it for the normalised value, and a link
// line towards the parameter's owner. Its position is in box space: scene
// units with y downward, so a box at (x, y) sits at the scene point (x, 1 - y).
class UIParameter {
public:
    static constexpr int TEXT_SIZE = 255;

    UIParameter(Parameter* param, UIScreen* screen, UIStyle* style);
    virtual ~UIParameter();
    UIParameter(const UIParameter&) = delete;
    UIParameter& operator=(const UIParameter&) = delete;

    // Both texts are cut to TEXT_SIZE - 1 characters.
    void SetName(const char* name);
    const char* GetName() const { return _name; }
    void SetValueStr(const char* valueStr);
    const char* GetValueStr() const { return _valueStr; }

    void SetPosition(double x, double y);
    double GetPosX() const { return _x; }
    double GetPosY() const { return _y; }
    // The anchor, x then y.
    void Serialize(Serializer* serializer) const;
    void UnSerialize(Serializer* serializer);
    void TranslateX(double dx) { _x += dx; }
    void TranslateY(double dy) { _y += dy; }

    // (x, y) in box space. The pick area is a little wider than the drawn
    // box so that a click just past its right edge still catches it.
    bool Pick(double x, double y) const;

    // Length of the meter in screen widths for the parameter's normalised value.
    double GetMeterLength() const;
    // The link line in window pixels: from the left end of the meter towards
    // the owner's centre, stopping menuCenterOffset pixels short of it.
    void ComputeLinkLine(double menuCenterX, double menuCenterY, double menuCenterOffset, double from[2],
                         double to[2]) const;

    void Draw();
    // The owner's centre in scene units (y up) and its radius in pixels.
    void DrawPieMenuLink(double menuCenterX, double menuCenterY, double menuCenterOffset);
    void UpdateStyle(UIStyle* style) { _style = style; }

private:
    void DrawBox() const;
    void DrawLabel() const;
    void DrawMeter() const;

    char _name[TEXT_SIZE];
    char _valueStr[TEXT_SIZE];
    double _x, _y;
    Parameter* _param;
    UIScreen* _screen;
    UIStyle* _style;
};
