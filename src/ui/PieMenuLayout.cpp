#include "ui/PieMenuLayout.h"

#include <algorithm>
#include <cmath>

namespace {
// Pixel sizes at full text size.
const double ROW_GAP = 4.0;
const double COLUMN_GAP = 10.0;
const double BULGE = 24.0;
// The columns keep clear of the owner's ring, but a large owner (a sound
// rect's half height) must not push them off the window.
const double MAX_OWNER_GAP = 40.0;
const double OWNER_CLEARANCE = 10.0;
// Each try that does not fit shrinks the text by this factor, down to the floor.
const double SHRINK_STEP = 0.9;
const double MIN_SHRINK = 0.2;
// cos of an angle this close to a quarter turn counts as zero.
const double ON_AXIS = 1e-9;
}  // namespace

PieMenuLayout::PieMenuLayout()
    : _winWidth(0.0), _winHeight(0.0), _floor(MARGIN), _centerX(0.0), _centerY(0.0), _innerGap(0.0), _shrink(1.0)
{
}

PieMenuLayout::~PieMenuLayout()
{
}

void PieMenuLayout::Compute(double winWidth, double winHeight, double centerX, double centerY, double ownerRadius,
                            const std::vector<size_t>& labelLengths)
{
    _winWidth = winWidth;
    _winHeight = winHeight;
    _centerX = std::clamp(centerX, MARGIN, std::max(MARGIN, winWidth - MARGIN));
    _centerY = std::clamp(centerY, MARGIN, std::max(MARGIN, winHeight - MARGIN));
    _innerGap = std::min(std::max(ownerRadius, 0.0), MAX_OWNER_GAP) + OWNER_CLEARANCE;
    _boxes.assign(labelLengths.size(), PieBox());
    SortIntoColumns(labelLengths.size());
    // The first size that fits; in a window too small for any, the smallest.
    for (_shrink = 1.0; _shrink * SHRINK_STEP >= MIN_SHRINK; _shrink *= SHRINK_STEP) {
        if (Place(labelLengths))
            return;
    }
    Place(labelLengths);
}

void PieMenuLayout::SortIntoColumns(size_t count)
{
    _angles.resize(count);
    for (std::vector<size_t>& column : _columns)
        column.clear();
    for (size_t i = 0; i < count; i++) {
        // With y downward on screen, growing angles run clockwise from the right.
        _angles[i] = 2.0 * M_PI * double(i) / double(count);
        const double cos = std::cos(_angles[i]);
        const bool top = std::sin(_angles[i]) < 0.0;
        const bool right = cos > ON_AXIS || (std::fabs(cos) <= ON_AXIS && top);
        _columns[right ? RIGHT : LEFT].push_back(i);
    }
    for (std::vector<size_t>& column : _columns) {
        std::stable_sort(column.begin(), column.end(),
                         [this](size_t a, size_t b) { return std::sin(_angles[a]) < std::sin(_angles[b]); });
    }
}

double PieMenuLayout::BoxWidth(size_t chars) const
{
    return (double(chars) * CHAR_WIDTH + 2.0 * TEXT_PADDING) * _shrink;
}

double PieMenuLayout::Bulge(size_t i) const
{
    return BULGE * _shrink * std::fabs(std::cos(_angles[i]));
}

double PieMenuLayout::ColumnWidth(Side side, const std::vector<size_t>& labelLengths) const
{
    double width = 0.0;
    for (size_t i : _columns[side])
        width = std::max(width, Bulge(i) + BoxWidth(labelLengths[i]));
    return width;
}

bool PieMenuLayout::Place(const std::vector<size_t>& labelLengths)
{
    double width[NUM_SIDES] = {ColumnWidth(RIGHT, labelLengths), ColumnWidth(LEFT, labelLengths)};
    double left[NUM_SIDES];
    if (!PlaceColumnsAcross(width, left))
        return false;
    return PlaceColumnDown(RIGHT, labelLengths, left[RIGHT], width[RIGHT]) &&
           PlaceColumnDown(LEFT, labelLengths, left[LEFT], width[LEFT]);
}

bool PieMenuLayout::PlaceColumnsAcross(const double width[NUM_SIDES], double left[NUM_SIDES]) const
{
    const double low = MARGIN, high = _winWidth - MARGIN;
    // Either side of the centre, as a ring.
    left[RIGHT] = _centerX + _innerGap;
    left[LEFT] = _centerX - _innerGap - width[LEFT];
    if (left[LEFT] >= low && left[RIGHT] + width[RIGHT] <= high)
        return true;
    // Near an edge both columns go to the roomier side, the left one first.
    const double gap = COLUMN_GAP * _shrink;
    const double total = width[LEFT] + gap + width[RIGHT];
    if (total > high - low)
        return false;
    double start;
    const bool roomOnTheRight = high - _centerX >= _centerX - low;
    if (roomOnTheRight && _centerX + _innerGap + total <= high)
        start = _centerX + _innerGap;
    else if (!roomOnTheRight && _centerX - _innerGap - total >= low)
        start = _centerX - _innerGap - total;
    else
        // Room on neither side: a window too narrow for the ring covers its centre.
        start = std::clamp(_centerX - 0.5 * total, low, high - total);
    left[LEFT] = start;
    left[RIGHT] = start + width[LEFT] + gap;
    return true;
}

bool PieMenuLayout::PlaceColumnDown(Side side, const std::vector<size_t>& labelLengths, double columnLeft,
                                    double columnWidth)
{
    const std::vector<size_t>& column = _columns[side];
    const double height = BOX_HEIGHT * _shrink;
    const double pitch = height + ROW_GAP * _shrink;
    const double total = double(column.size()) * pitch - ROW_GAP * _shrink;
    if (total > _winHeight - MARGIN - _floor)
        return false;
    // Centred on the centre's height, pushed back inside at the top and above the floor.
    const double top = std::clamp(_centerY + 0.5 * total, _floor + total, _winHeight - MARGIN);
    for (size_t row = 0; row < column.size(); row++) {
        const size_t i = column[row];
        PieBox& box = _boxes[i];
        box.width = BoxWidth(labelLengths[i]);
        box.height = height;
        box.bottom = top - double(row) * pitch - height;
        // The right column hangs from its left edge, the left one from its right edge.
        box.left = side == RIGHT ? columnLeft + Bulge(i) : columnLeft + columnWidth - Bulge(i) - box.width;
    }
    return true;
}
