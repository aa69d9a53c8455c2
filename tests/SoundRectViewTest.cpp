#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/App.h"
#include "sound/SoundRect.h"
#include "ui/UISoundRect.h"

namespace {

double RandomUnit()
{
    return static_cast<double>(rand()) / 2147483647.0;
}

class SoundRectViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        srand(1);
        _view = MakeView();
        // A rect with exact binary edges: x 0.375..0.625, y 0.25..0.75.
        _view->UpdateRectPosition(0.5, 0.5);
        _view->SetDimensions(0.25, 0.5);
    }

    std::unique_ptr<UISoundRect> MakeView()
    {
        return std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
    }

    App _app;
    SoundRect _rect;
    std::unique_ptr<UISoundRect> _view;
};

}  // namespace

TEST_F(SoundRectViewTest, PlacementAndSizeFollowTheSeededRandomDraws)
{
    for (unsigned seed : {3u, 17u, 2024u}) {
        srand(seed);
        const double rx = RandomUnit(), ry = RandomUnit(), rw = RandomUnit(), rh = RandomUnit();
        srand(seed);
        std::unique_ptr<UISoundRect> view = MakeView();
        // Margins of 100 and 50 pixels and a 60-pixel minimum, all in window widths.
        EXPECT_DOUBLE_EQ(view->GetX(), 0.1 + 0.8 * rx);
        EXPECT_DOUBLE_EQ(view->GetY(), 0.05 + 0.9 * ry);
        EXPECT_DOUBLE_EQ(view->GetWidth(), 0.06 + 0.5 * rw);
        EXPECT_DOUBLE_EQ(view->GetHeight(), 0.06 + 0.5 * rh);
    }
    for (int i = 0; i < 50; i++) {
        std::unique_ptr<UISoundRect> view = MakeView();
        EXPECT_GE(view->GetX(), 0.1);
        EXPECT_LE(view->GetX(), 0.9);
        EXPECT_GE(view->GetY(), 0.05);
        EXPECT_LE(view->GetY(), 0.95);
        EXPECT_GE(view->GetWidth(), 0.06);
        EXPECT_LE(view->GetWidth(), 0.56);
        EXPECT_GE(view->GetHeight(), 0.06);
        EXPECT_LE(view->GetHeight(), 0.56);
    }
}

TEST_F(SoundRectViewTest, StartsAsAnUnselectedHorizontalWaveform)
{
    std::unique_ptr<UISoundRect> view = MakeView();
    EXPECT_EQ(view->GetRectType(), UISoundRect::WAVEFORM);
    EXPECT_EQ(view->GetOrientation(), UISoundRect::HORIZONTAL);
    EXPECT_FALSE(view->GetSelectState());
    EXPECT_STREQ(view->GetName(), "");
}

TEST_F(SoundRectViewTest, PointsOnAnyEdgeAreOutside)
{
    EXPECT_TRUE(_view->Pick(0.5, 0.5));
    EXPECT_FALSE(_view->Pick(0.375, 0.5));
    EXPECT_FALSE(_view->Pick(0.625, 0.5));
    EXPECT_FALSE(_view->Pick(0.5, 0.25));
    EXPECT_FALSE(_view->Pick(0.5, 0.75));
    EXPECT_FALSE(_view->Pick(0.375, 0.75));
    EXPECT_FALSE(_view->Pick(0.625, 0.25));
    EXPECT_TRUE(_view->Pick(std::nextafter(0.375, 1.0), std::nextafter(0.25, 1.0)));
    EXPECT_TRUE(_view->Pick(std::nextafter(0.625, 0.0), std::nextafter(0.75, 0.0)));
    EXPECT_FALSE(_view->Pick(0.7, 0.5));
    EXPECT_FALSE(_view->Pick(0.5, 0.1));
}

TEST_F(SoundRectViewTest, NormedPositionPutsTimeIntoPosXInBothOrientations)
{
    const double x = 0.375 + 0.25 * 0.2;
    const double y = 0.25 + 0.5 * 0.7;
    double posX[3] = {-1.0, -1.0, -1.0};
    double posY[3] = {-1.0, -1.0, -1.0};

    ASSERT_TRUE(_view->GetNormedPosition(posX, posY, x, y, 1));
    EXPECT_NEAR(posX[1], 0.2, 1e-12);
    EXPECT_NEAR(posY[1], 0.7, 1e-12);

    _view->SetOrientation(UISoundRect::VERTICAL);
    ASSERT_TRUE(_view->GetNormedPosition(posX, posY, x, y, 2));
    EXPECT_NEAR(posX[2], 0.7, 1e-12);
    EXPECT_NEAR(posY[2], 0.2, 1e-12);
    EXPECT_EQ(posX[0], -1.0);
    EXPECT_EQ(posY[0], -1.0);
}

TEST_F(SoundRectViewTest, NormedPositionOutsideOrOnTheEdgeWritesNothing)
{
    double posX[1] = {-1.0};
    double posY[1] = {-1.0};
    EXPECT_FALSE(_view->GetNormedPosition(posX, posY, 0.9, 0.5, 0));
    EXPECT_FALSE(_view->GetNormedPosition(posX, posY, 0.375, 0.5, 0));
    EXPECT_FALSE(_view->GetNormedPosition(posX, posY, 0.5, 0.75, 0));
    EXPECT_EQ(posX[0], -1.0);
    EXPECT_EQ(posY[0], -1.0);
}

TEST_F(SoundRectViewTest, DimensionsBelowSixtyPixelsAreKeptAsTheyWere)
{
    _view->SetDimensions(0.05, 0.3);
    EXPECT_DOUBLE_EQ(_view->GetWidth(), 0.25);
    EXPECT_DOUBLE_EQ(_view->GetHeight(), 0.3);
    // The accepted height moved the top and bottom edges.
    EXPECT_TRUE(_view->Pick(0.5, 0.36));
    EXPECT_FALSE(_view->Pick(0.5, 0.7));

    _view->SetDimensions(0.06, 0.01);
    EXPECT_DOUBLE_EQ(_view->GetWidth(), 0.06);
    EXPECT_DOUBLE_EQ(_view->GetHeight(), 0.3);

    _view->SetDimensions(0.0, -1.0);
    EXPECT_DOUBLE_EQ(_view->GetWidth(), 0.06);
    EXPECT_DOUBLE_EQ(_view->GetHeight(), 0.3);
}

TEST_F(SoundRectViewTest, MinimumSizeIsSixtyPixelsOfTheWindowAtCreation)
{
    _app.SetWinSize(500, 600);
    std::unique_ptr<UISoundRect> view = MakeView();
    view->SetDimensions(0.25, 0.25);
    view->SetDimensions(0.1, 0.1);
    EXPECT_DOUBLE_EQ(view->GetWidth(), 0.25);
    EXPECT_DOUBLE_EQ(view->GetHeight(), 0.25);
    view->SetDimensions(0.12, 0.12);
    EXPECT_DOUBLE_EQ(view->GetWidth(), 0.12);
}

TEST_F(SoundRectViewTest, ToggleOrientationSwapsTheSizeButNotTheTimeDirection)
{
    _view->ToggleOrientation();
    EXPECT_DOUBLE_EQ(_view->GetWidth(), 0.5);
    EXPECT_DOUBLE_EQ(_view->GetHeight(), 0.25);
    EXPECT_EQ(_view->GetOrientation(), UISoundRect::HORIZONTAL);
    EXPECT_TRUE(_view->Pick(0.7, 0.5));
    EXPECT_FALSE(_view->Pick(0.5, 0.7));

    _view->ToggleOrientation();
    EXPECT_DOUBLE_EQ(_view->GetWidth(), 0.25);
    EXPECT_DOUBLE_EQ(_view->GetHeight(), 0.5);
    EXPECT_EQ(_view->GetOrientation(), UISoundRect::HORIZONTAL);

    _view->SetOrientation(UISoundRect::VERTICAL);
    _view->ToggleOrientation();
    EXPECT_EQ(_view->GetOrientation(), UISoundRect::VERTICAL);
}

TEST_F(SoundRectViewTest, MovingRecomputesTheEdges)
{
    _view->Move(0.25, -0.125);
    EXPECT_DOUBLE_EQ(_view->GetX(), 0.75);
    EXPECT_DOUBLE_EQ(_view->GetY(), 0.375);
    EXPECT_FALSE(_view->Pick(0.6, 0.375));
    EXPECT_TRUE(_view->Pick(0.7, 0.2));
    EXPECT_FALSE(_view->Pick(0.625, 0.3));

    _view->UpdateRectPosition(0.25, 0.75);
    EXPECT_DOUBLE_EQ(_view->GetX(), 0.25);
    EXPECT_DOUBLE_EQ(_view->GetY(), 0.75);
    EXPECT_TRUE(_view->Pick(0.2, 0.95));
    EXPECT_FALSE(_view->Pick(0.25, 0.5));
    EXPECT_FALSE(_view->Pick(0.7, 0.5));
}

TEST_F(SoundRectViewTest, NameIsCutAt254Characters)
{
    _view->SetName("drums.wav");
    EXPECT_STREQ(_view->GetName(), "drums.wav");

    const std::string longName(300, 'x');
    _view->SetName(longName.c_str());
    EXPECT_EQ(std::strlen(_view->GetName()), 254u);
    EXPECT_EQ(std::string(_view->GetName()), longName.substr(0, 254));
}
