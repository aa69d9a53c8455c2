#pragma once

#include <cstddef>

#include "ui/PieMenuLayout.h"

class Parameter;
class Serializer;
class UIScreen;
class UIStyle;

// The on-screen face of one parameter in the pie menu: a box that reads
// "name: value", a meter along its bottom for the normalised value, and a
// link line towards the parameter's owner. The pie menu lays the box out in
// window pixels (y up), whatever the canvas's pan and zoom, so that it keeps
// its size and stays inside the window.
class UIParameter {
public:
    static constexpr int TEXT_SIZE = 255;
    // What a pending typed value ends with: the place the next digit goes.
    static constexpr char CARET = '_';

    UIParameter(Parameter* param, UIScreen* screen, UIStyle* style);
    virtual ~UIParameter();
    UIParameter(const UIParameter&) = delete;
    UIParameter& operator=(const UIParameter&) = delete;

    // Both texts are cut to TEXT_SIZE - 1 characters.
    void SetName(const char* name);
    const char* GetName() const { return _name; }
    void SetValueStr(const char* valueStr);
    const char* GetValueStr() const { return _valueStr; }
    // A typed value not applied yet shows in the pending colour with a caret.
    void SetPending(bool pending) { _pending = pending; }
    bool IsPending() const { return _pending; }
    // "name: value", and the caret while pending.
    void GetLabel(char* label, size_t size) const;
    size_t GetLabelLength() const;

    // Where the pie menu laid the box out, and the stroke scale of its text.
    void SetBox(const PieBox& box, double textScale);
    const PieBox& GetBox() const { return _box; }
    // The box's top left corner in window fractions (x from the left, y
    // from the top), then restored from them.
    void Serialize(Serializer* serializer) const;
    void UnSerialize(Serializer* serializer);

    // (x, y) in window pixels, y up.
    bool Pick(double x, double y) const { return _box.Contains(x, y); }

    // Length of the meter in pixels: a stub at 0, the box's inner width at 1.
    double GetMeterLength() const;
    // The link line in window pixels: from the middle of the box's edge that
    // faces the owner's centre towards it, stopping ownerRadius pixels short
    // (and nowhere when the box lies within that radius).
    void ComputeLinkLine(double centerX, double centerY, double ownerRadius, double from[2], double to[2]) const;

    // Both draw in window pixels.
    void Draw();
    void DrawPieMenuLink(double centerX, double centerY, double ownerRadius);
    void UpdateStyle(UIStyle* style) { _style = style; }

private:
    void DrawBox() const;
    void DrawLabel() const;
    void DrawMeter() const;
    // Box sizes scale with the text.
    double Shrink() const { return _textScale / PieMenuLayout::FULL_TEXT_SCALE; }

    char _name[TEXT_SIZE];
    char _valueStr[TEXT_SIZE];
    bool _pending;
    PieBox _box;
    double _textScale;
    Parameter* _param;
    UIScreen* _screen;
    UIStyle* _style;
};
