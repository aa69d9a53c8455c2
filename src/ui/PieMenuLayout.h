#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "ui/UIWidget.h"

// A rectangle in window pixels, y up.
struct PieBox {
    double left = 0.0, bottom = 0.0, width = 0.0, height = 0.0;

    double Right() const { return left + width; }
    double Top() const { return bottom + height; }
    double CenterX() const { return left + 0.5 * width; }
    double CenterY() const { return bottom + 0.5 * height; }
    // Left and bottom edges inside, right and top edges outside, so that
    // boxes that touch never both take a click.
    bool Contains(double x, double y) const { return x >= left && x < Right() && y >= bottom && y < Top(); }
    bool Overlaps(const PieBox& other) const
    {
        return left < other.Right() && other.left < Right() && bottom < other.Top() && other.bottom < Top();
    }
};

// Where the boxes of a pie menu go on screen. The boxes stand in two columns
// either side of the owner's centre, in the ring's clockwise order: the
// right column holds the boxes of the right half of the ring (its top
// included), read top to bottom, the left column the rest. The middle boxes
// bulge outward, so the columns read as a ring. A column that would leave
// the window goes to the other side, beside its twin, so that near an edge
// the menu opens inward; a window too small for the boxes shrinks their text.
// Every box lies wholly inside the window, above the band kept clear along
// its bottom (the status line), and no two overlap.
class PieMenuLayout {
public:
    // Stroke font scale of the text at full size, and the pixel sizes of a
    // box at that scale: a character's advance, the box's height, the label's
    // baseline and the meter's height above the box bottom.
    static constexpr double FULL_TEXT_SCALE = UIWidget::TEXT_SCALE;
    static constexpr double CHAR_WIDTH = UIWidget::TEXT_SCALE * UIWidget::CHAR_ADVANCE;
    static constexpr double BOX_HEIGHT = 26.0;
    static constexpr double BASELINE = 9.0;
    static constexpr double METER_HEIGHT = 3.0;
    static constexpr double TEXT_PADDING = 5.0;
    // Kept free around the window's edges, in pixels.
    static constexpr double MARGIN = 6.0;

    PieMenuLayout();
    virtual ~PieMenuLayout();

    // Keeps the boxes above a band this many pixels high along the bottom
    // (the status line), MARGIN above it; the next Compute takes it.
    void KeepClearBelow(double pixels) { _floor = std::max(pixels, 0.0) + MARGIN; }

    // Lays out one box per label length (in characters) around the centre
    // (centerX, centerY) of an owner ownerRadius pixels wide, in a window of
    // winWidth by winHeight pixels. A centre off the window counts as the
    // nearest point on it.
    void Compute(double winWidth, double winHeight, double centerX, double centerY, double ownerRadius,
                 const std::vector<size_t>& labelLengths);

    const std::vector<PieBox>& GetBoxes() const { return _boxes; }
    // Stroke font scale of the labels; below FULL_TEXT_SCALE when the window is small.
    double GetTextScale() const { return FULL_TEXT_SCALE * _shrink; }

private:
    enum Side { RIGHT, LEFT, NUM_SIDES };

    // The boxes of each column, top to bottom, by the ring's order.
    void SortIntoColumns(size_t count);
    // Places every box at the text size _shrink; false when they do not fit.
    bool Place(const std::vector<size_t>& labelLengths);
    double BoxWidth(size_t chars) const;
    double ColumnWidth(Side side, const std::vector<size_t>& labelLengths) const;
    // How far outward the box of ring index i bulges.
    double Bulge(size_t i) const;
    // The left edge of each column from the widths of both; false when
    // the window is too narrow for them side by side.
    bool PlaceColumnsAcross(const double width[NUM_SIDES], double left[NUM_SIDES]) const;
    // Stacks a column's boxes; false when the window is too low for them.
    bool PlaceColumnDown(Side side, const std::vector<size_t>& labelLengths, double columnLeft, double columnWidth);

    double _winWidth, _winHeight;
    // The lowest a box may reach.
    double _floor;
    double _centerX, _centerY;
    // Free space between the centre and the inner edges of the columns.
    double _innerGap;
    double _shrink;
    std::vector<size_t> _columns[NUM_SIDES];
    std::vector<double> _angles;
    std::vector<PieBox> _boxes;
};
