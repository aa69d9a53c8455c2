#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ui/PieMenuLayout.h"
#include "ui/UIOverlays.h"

namespace {

struct WindowSize {
    double width, height;
};
const WindowSize SIZES[] = {{800, 600}, {960, 600}, {1366, 768}, {1920, 1080}};

// The longest labels each kind of owner shows: a cloud's fifteen, a single
// grain's ten, a rect's four (the longest values of each, a typed value's caret included).
const std::vector<size_t> CLOUD_LABELS = {
    std::string("Voices: 100").size(),
    std::string("Duration: 4999.9 ms").size(),
    std::string("Envelope: HAND_DRAWN").size(),
    std::string("X: 99.99 %").size(),
    std::string("Y: 99.99 %").size(),
    std::string("XY: x3.999 (399.9 %, 399.9 %)").size(),
    std::string("Direction: BACKWARD").size(),
    std::string("Overlap: 0.999 (99.54 at once)").size(),
    std::string("Pitch: x4.999 (+27.9 st)").size(),
    std::string("LFO Freq: 0.999 Hz").size(),
    std::string("LFO Amount: +/-0.999").size(),
    std::string("Spatial Mode: AROUND").size(),
    std::string("Volume: -59.99 dB").size(),
    std::string("Range: 99.99 %").size(),
    std::string("Time Stretch: -1234567890_").size(),
};
const std::vector<size_t> GRAIN_LABELS(CLOUD_LABELS.begin() + 5, CLOUD_LABELS.end());
const std::vector<size_t> RECT_LABELS = {std::string("Type: SPECTROGRAM").size(), std::string("Range: x1.999").size(),
                                         std::string("Contrast: 0.999").size(),
                                         std::string("Orientation: HORIZONTAL").size()};

// The middle, the four edges and the four corners of a window, and points
// just off it, where a scrolled canvas can leave an owner.
std::vector<std::pair<double, double>> Centres(const WindowSize& size)
{
    std::vector<std::pair<double, double>> centres;
    for (double fx : {-0.05, 0.0, 0.02, 0.5, 0.98, 1.0, 1.05})
        for (double fy : {-0.05, 0.0, 0.02, 0.5, 0.98, 1.0, 1.05})
            centres.emplace_back(fx * size.width, fy * size.height);
    return centres;
}

std::string Where(const WindowSize& size, double x, double y, size_t count)
{
    return std::to_string(count) + " boxes in " + std::to_string(int(size.width)) + "x" +
           std::to_string(int(size.height)) + " around (" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

}  // namespace

TEST(PieMenuLayoutTest, EveryBoxIsInsideTheWindowWholeAndClearOfEveryOther)
{
    PieMenuLayout layout;
    for (const WindowSize& size : SIZES) {
        for (const auto& centre : Centres(size)) {
            for (const std::vector<size_t>* labels : {&CLOUD_LABELS, &GRAIN_LABELS, &RECT_LABELS}) {
                layout.Compute(size.width, size.height, centre.first, centre.second, 24.0, *labels);
                const std::vector<PieBox>& boxes = layout.GetBoxes();
                const std::string where = Where(size, centre.first, centre.second, labels->size());
                ASSERT_EQ(boxes.size(), labels->size());
                // At these sizes the text keeps its full size.
                EXPECT_DOUBLE_EQ(layout.GetTextScale(), PieMenuLayout::FULL_TEXT_SCALE) << where;
                for (size_t i = 0; i < boxes.size(); i++) {
                    const PieBox& box = boxes[i];
                    EXPECT_GE(box.left, 0.0) << where << ", box " << i;
                    EXPECT_GE(box.bottom, 0.0) << where << ", box " << i;
                    EXPECT_LE(box.Right(), size.width) << where << ", box " << i;
                    EXPECT_LE(box.Top(), size.height) << where << ", box " << i;
                    // The whole label and its padding fit in the box.
                    EXPECT_GE(box.width, double((*labels)[i]) * PieMenuLayout::CHAR_WIDTH) << where << ", box " << i;
                    for (size_t j = i + 1; j < boxes.size(); j++)
                        EXPECT_FALSE(box.Overlaps(boxes[j])) << where << ", boxes " << i << " and " << j;
                }
            }
        }
    }
}

TEST(PieMenuLayoutTest, InTheMiddleTheBoxesRingTheCentreClockwiseFromTheRight)
{
    PieMenuLayout layout;
    const double cx = 480, cy = 300;
    layout.Compute(960, 600, cx, cy, 24.0, CLOUD_LABELS);
    const std::vector<PieBox>& boxes = layout.GetBoxes();
    // Fifteen boxes 24 degrees apart: 0..3 and 12..14 lie right of the centre, 4..11 left.
    for (size_t i = 0; i < boxes.size(); i++) {
        const bool right = i <= 3 || i >= 12;
        if (right)
            EXPECT_GT(boxes[i].left, cx + 24.0) << i << " clears the owner on the right";
        else
            EXPECT_LT(boxes[i].Right(), cx - 24.0) << i << " clears the owner on the left";
    }
    // Clockwise on screen: down the right side from 12 to 3, up the left from 4 to 11.
    const size_t rightColumn[] = {12, 13, 14, 0, 1, 2, 3};
    for (size_t k = 1; k < 7; k++)
        EXPECT_LT(boxes[rightColumn[k]].Top(), boxes[rightColumn[k - 1]].bottom + 1e-9);
    for (size_t i = 5; i <= 11; i++)
        EXPECT_GT(boxes[i].bottom, boxes[i - 1].Top() - 1e-9);
    // The first box, straight right, bulges furthest out; the columns stand
    // about the centre's height.
    EXPECT_GT(boxes[0].left, boxes[12].left);
    EXPECT_GT(boxes[0].left, boxes[3].left);
    EXPECT_LT(boxes[12].bottom, 600.0);
    EXPECT_GT(boxes[12].Top(), cy);
    EXPECT_LT(boxes[3].bottom, cy);
}

TEST(PieMenuLayoutTest, NearAnEdgeTheBoxesOpenInwardBesideTheOwner)
{
    PieMenuLayout layout;
    for (const WindowSize& size : SIZES) {
        // An owner at the right edge: every box to its left, none over it.
        layout.Compute(size.width, size.height, size.width - 10, size.height / 2, 24.0, CLOUD_LABELS);
        for (const PieBox& box : layout.GetBoxes())
            EXPECT_LT(box.Right(), size.width - 10 - 24.0) << int(size.width);
        // At the left edge, every box to its right.
        layout.Compute(size.width, size.height, 10, size.height / 2, 24.0, CLOUD_LABELS);
        for (const PieBox& box : layout.GetBoxes())
            EXPECT_GT(box.left, 10 + 24.0) << int(size.width);
        // In the top right corner the columns come down into the window.
        layout.Compute(size.width, size.height, size.width, size.height, 24.0, CLOUD_LABELS);
        for (const PieBox& box : layout.GetBoxes()) {
            EXPECT_LT(box.Right(), size.width - 24.0) << int(size.width);
            EXPECT_LE(box.Top(), size.height) << int(size.width);
        }
    }
}

// The status line along the bottom names what the menu belongs to: an owner
// in a bottom corner or on the bottom edge (a scrolled canvas leaves it
// there) opens its boxes above the line, still apart and inside.
TEST(PieMenuLayoutTest, AtTheBottomTheBoxesKeepClearOfTheStatusLine)
{
    PieMenuLayout layout;
    for (const WindowSize& size : SIZES) {
        const double lineTop = UILoadMeterOverlay::LineTop(size.width);
        layout.KeepClearBelow(lineTop);
        for (double fx : {0.0, 0.02, 0.5, 0.98}) {
            for (const std::vector<size_t>* labels : {&CLOUD_LABELS, &GRAIN_LABELS, &RECT_LABELS}) {
                layout.Compute(size.width, size.height, fx * size.width, 0.0, 24.0, *labels);
                const std::vector<PieBox>& boxes = layout.GetBoxes();
                const std::string where = Where(size, fx * size.width, 0.0, labels->size());
                EXPECT_DOUBLE_EQ(layout.GetTextScale(), PieMenuLayout::FULL_TEXT_SCALE) << where;
                for (size_t i = 0; i < boxes.size(); i++) {
                    EXPECT_GE(boxes[i].bottom, lineTop) << where << ", box " << i;
                    EXPECT_LE(boxes[i].Top(), size.height) << where << ", box " << i;
                    for (size_t j = i + 1; j < boxes.size(); j++)
                        EXPECT_FALSE(boxes[i].Overlaps(boxes[j])) << where << ", boxes " << i << " and " << j;
                }
            }
        }
    }
}

TEST(PieMenuLayoutTest, AWindowTooSmallShrinksTheTextAndStillKeepsTheBoxesApartInside)
{
    PieMenuLayout layout;
    layout.Compute(400, 240, 200, 120, 24.0, CLOUD_LABELS);
    EXPECT_LT(layout.GetTextScale(), PieMenuLayout::FULL_TEXT_SCALE);
    const std::vector<PieBox>& boxes = layout.GetBoxes();
    for (size_t i = 0; i < boxes.size(); i++) {
        EXPECT_GE(boxes[i].left, 0.0);
        EXPECT_LE(boxes[i].Right(), 400.0);
        EXPECT_GE(boxes[i].bottom, 0.0);
        EXPECT_LE(boxes[i].Top(), 240.0);
        const double scale = layout.GetTextScale() / PieMenuLayout::FULL_TEXT_SCALE;
        EXPECT_GE(boxes[i].width, double(CLOUD_LABELS[i]) * PieMenuLayout::CHAR_WIDTH * scale);
        for (size_t j = i + 1; j < boxes.size(); j++)
            EXPECT_FALSE(boxes[i].Overlaps(boxes[j])) << i << " and " << j;
    }
}

TEST(PieMenuLayoutTest, ALargeOwnerDoesNotPushTheColumnsAway)
{
    // A sound rect's radius is half its height: the columns stay near its centre.
    PieMenuLayout layout;
    layout.Compute(960, 600, 480, 300, 250.0, RECT_LABELS);
    for (const PieBox& box : layout.GetBoxes()) {
        EXPECT_GE(box.left, 0.0);
        EXPECT_LE(box.Right(), 960.0);
        EXPECT_LT(std::min(std::fabs(box.left - 480), std::fabs(box.Right() - 480)), 100.0);
    }
}
