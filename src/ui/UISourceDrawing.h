#pragma once

class ParameterProvider;
class UIScreen;
class UIStyle;

// What every source view draws and answers alike: the breathing ring, the
// mute cross, the pick circle and the source's parameter boxes, which travel
// with the source. Positions are scene units, radii scene pixels.
namespace UISourceDrawing {

// Ring radius t seconds after the view was made: it breathes between the two
// radii freq times per second.
double BreathingRadius(double minRadius, double maxRadius, double freq, double t);
void DrawRing(const UIStyle* style, const UIScreen* screen, bool selected, double x, double y, double radius);
void DrawMuteCross(const UIStyle* style, const UIScreen* screen, bool selected, double x, double y);
// True when (x, y) lies less than radius scene pixels from (cx, cy).
bool IsWithin(const UIScreen* screen, double x, double y, double cx, double cy, double radius);

// Shifts every parameter box of the source by (dx, dy); the boxes use y downward.
void MoveParameterBoxes(ParameterProvider* source, double dx, double dy);
// The index of the first box of the source at (x, y) in box space, or -1.
int PickParameterBox(ParameterProvider* source, double x, double y);
void RestyleParameterBoxes(ParameterProvider* source, UIStyle* style);

}  // namespace UISourceDrawing
