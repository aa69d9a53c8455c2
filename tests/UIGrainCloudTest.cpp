#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/App.h"
#include "app/Time.h"
#include "parameters/Parameter.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "sources/RandomGenerator.h"
#include "ui/UIGrain.h"
#include "ui/UIGrainCloud.h"
#include "ui/UIParameter.h"
#include "ui/UISoundRect.h"
#include "ui/UIStyle.h"

namespace {

// The draw that the view makes: rand() / 2^31 in single precision.
float Draw()
{
    return (float)rand() / 2147483648.0f;
}

// Two rects in a 1000 x 600 window: A spans x 0.25 .. 0.75, y 0.25 .. 0.75
// (horizontal); B spans x 0.8 .. 0.9, y 0.5 .. 0.9 (vertical).
class UIGrainCloudTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        for (int i = 0; i < 2; i++) {
            _rects[i].AssociateSamples(std::vector<float>(2000, 0.1f), 1000, 2);
            _rectViews[i] = std::make_unique<UISoundRect>(&_rects[i], &_app, nullptr, _app.GetScreen());
            _rects[i].RegisterUI(_rectViews[i].get());
        }
        _rectViews[0]->UpdateRectPosition(0.5, 0.5);
        _rectViews[0]->SetDimensions(0.5, 0.5);
        _rectViews[1]->UpdateRectPosition(0.85, 0.7);
        _rectViews[1]->SetDimensions(0.1, 0.4);
        _rectViews[1]->SetOrientation(UISoundRect::VERTICAL);
        std::vector<SamplesProvider*> providers = {&_rects[0], &_rects[1]};
        _cloud = std::make_unique<GrainCloud>(&_app, providers, 6);
        _view = new UIGrainCloud(_cloud.get(), &_style, _app.GetScreen(), 0.5, 0.5, 6, {&_rects[0], &_rects[1]});
        _cloud->RegisterUI(_view);
    }

    App _app;
    PurpleStyle _style;
    SoundRect _rects[2];
    std::unique_ptr<UISoundRect> _rectViews[2];
    std::unique_ptr<GrainCloud> _cloud;
    UIGrainCloud* _view;  // owned by the cloud
    RandomGenerator _random{11};
};

TEST_F(UIGrainCloudTest, NewViewHasOneMarkerPerVoiceAtTheCentreAndAThreePixelSpread)
{
    EXPECT_EQ(_view->GetNumGrains(), 6u);
    for (unsigned i = 0; i < 6; i++) {
        EXPECT_DOUBLE_EQ(_view->GetGrain(i)->GetX(), 0.5);
        EXPECT_DOUBLE_EQ(_view->GetGrain(i)->GetY(), 0.5);
        EXPECT_FALSE(_view->GetGrain(i)->IsOn());
    }
    EXPECT_DOUBLE_EQ(_view->GetXRandExtent(), 3.0 / 1000.0);
    EXPECT_DOUBLE_EQ(_view->GetYRandExtent(), 3.0 / 600.0);
    EXPECT_DOUBLE_EQ(_view->GetRandExtentCoeff(), 1.0);
    EXPECT_DOUBLE_EQ(_cloud->GetUIX(), 0.5);
    EXPECT_DOUBLE_EQ(_cloud->GetUIY(), 0.5);
}

TEST_F(UIGrainCloudTest, TriggerPositionFollowsTheSeededDrawsAndMapsIntoTheRects)
{
    _view->SetXRandExtent(0.2);
    _view->SetYRandExtent(0.1);
    _view->SetRandExtentCoeff(0.5);
    for (unsigned seed : {1u, 5u, 99u}) {
        srand(seed);
        // Two draws for y, then two for x.
        const float y1 = Draw(), y2 = Draw(), x1 = Draw(), x2 = Draw();
        const double y = 0.5 + (y1 * 0.05 - y2 * 0.05);
        const double x = 0.5 + (x1 * 0.1 - x2 * 0.1);

        _random.Seed(seed);
        double pos[2] = {-7.0, -7.0}, vol[2] = {-7.0, -7.0};
        _view->GetTriggerPos(2, pos, vol, 2, 100.0, &_random);
        EXPECT_DOUBLE_EQ(_view->GetGrain(2)->GetX(), x);
        EXPECT_DOUBLE_EQ(_view->GetGrain(2)->GetY(), y);
        // Rect A is horizontal: time runs along x.
        EXPECT_NEAR(pos[0], (x - 0.25) / 0.5, 1e-12);
        EXPECT_NEAR(vol[0], (y - 0.25) / 0.5, 1e-12);
        // Rect B does not contain the point: its entries are left alone.
        EXPECT_EQ(pos[1], -7.0);
        EXPECT_EQ(vol[1], -7.0);
    }
}

TEST_F(UIGrainCloudTest, VerticalRectMapsTimeAlongY)
{
    _view->UpdatePosition(0.82, 0.8);
    _view->SetRandExtentCoeff(0.0);
    double pos[2] = {-1.0, -1.0}, vol[2] = {0.0, 0.0};
    _view->GetTriggerPos(0, pos, vol, 2, 100.0, &_random);
    EXPECT_EQ(pos[0], -1.0);
    EXPECT_NEAR(pos[1], (0.8 - 0.5) / 0.4, 1e-12);
    EXPECT_NEAR(vol[1], (0.82 - 0.8) / 0.1, 1e-12);
}

TEST_F(UIGrainCloudTest, ZeroSpreadAlwaysLandsOnTheCentre)
{
    for (int zero = 0; zero < 2; zero++) {
        if (zero == 0) {
            _view->SetXRandExtent(0.0);
            _view->SetYRandExtent(0.0);
        } else {
            _view->SetXRandExtent(0.3);
            _view->SetYRandExtent(0.3);
            _view->SetRandExtentCoeff(0.0);
        }
        for (int i = 0; i < 50; i++) {
            double pos[2] = {-1.0, -1.0}, vol[2] = {0.0, 0.0};
            _view->GetTriggerPos(i % 6, pos, vol, 2, 50.0, &_random);
            EXPECT_DOUBLE_EQ(_view->GetGrain(i % 6)->GetX(), 0.5);
            EXPECT_DOUBLE_EQ(_view->GetGrain(i % 6)->GetY(), 0.5);
            EXPECT_DOUBLE_EQ(pos[0], 0.5);
            EXPECT_DOUBLE_EQ(vol[0], 0.5);
        }
    }
}

TEST_F(UIGrainCloudTest, SpreadIsTriangularWithinTheExtent)
{
    const double extent = 0.1;
    _view->SetXRandExtent(extent);
    _view->SetYRandExtent(extent);
    const int n = 8000;
    int innerHalf = 0;
    double sum = 0.0;
    for (int i = 0; i < n; i++) {
        double pos[2], vol[2];
        _view->GetTriggerPos(0, pos, vol, 2, 10.0, &_random);
        const double dx = _view->GetGrain(0)->GetX() - 0.5;
        const double dy = _view->GetGrain(0)->GetY() - 0.5;
        ASSERT_LE(std::fabs(dx), extent);
        ASSERT_LE(std::fabs(dy), extent);
        innerHalf += std::fabs(dx) < extent / 2;
        sum += dx;
    }
    // A triangle over +-a puts 3/4 of its mass within +-a/2 (a uniform spread would put 1/2).
    EXPECT_NEAR(innerHalf / (double)n, 0.75, 0.02);
    EXPECT_NEAR(sum / n, 0.0, 0.005);
}

TEST_F(UIGrainCloudTest, MarkerOutsideEveryRectStillFlashes)
{
    _view->UpdatePosition(0.1, 0.1);
    double pos[2] = {-1.0, -1.0}, vol[2] = {0.0, 0.0};
    _view->GetTriggerPos(4, pos, vol, 2, 200.0, &_random);
    EXPECT_EQ(pos[0], -1.0);
    EXPECT_EQ(pos[1], -1.0);
    EXPECT_TRUE(_view->GetGrain(4)->IsOn());
    EXPECT_EQ(_view->GetGrain(4)->GetTriggerCount(), 1u);
    EXPECT_DOUBLE_EQ(_view->GetGrain(4)->GetTriggerTime(), Time::Instance()->GetSeconds());
}

TEST_F(UIGrainCloudTest, TriggerForAMissingMarkerDoesNothing)
{
    double pos[2] = {-1.0, -1.0}, vol[2] = {0.0, 0.0};
    _view->GetTriggerPos(6, pos, vol, 2, 200.0, &_random);
    EXPECT_EQ(pos[0], -1.0);
    for (unsigned i = 0; i < 6; i++)
        EXPECT_EQ(_view->GetGrain(i)->GetTriggerCount(), 0u);
}

TEST_F(UIGrainCloudTest, RemovingMarkersStopsAtOne)
{
    _view->AddGrain();
    EXPECT_EQ(_view->GetNumGrains(), 7u);
    for (int i = 0; i < 10; i++)
        _view->RemoveGrain();
    EXPECT_EQ(_view->GetNumGrains(), 1u);
    _view->AddGrain();
    EXPECT_EQ(_view->GetNumGrains(), 2u);
}

TEST_F(UIGrainCloudTest, PickComparesInScenePixels)
{
    EXPECT_TRUE(_view->Pick(0.5 + 18.0 / 1000.0, 0.5));
    EXPECT_FALSE(_view->Pick(0.5 + 19.0 / 1000.0, 0.5));
    EXPECT_TRUE(_view->Pick(0.5, 0.5 - 18.0 / 600.0));
    EXPECT_FALSE(_view->Pick(0.5, 0.5 - 19.0 / 600.0));
    // 11 and 14 pixels: 17.8 from the centre; 12 and 15: 19.2.
    EXPECT_TRUE(_view->Pick(0.5 + 11.0 / 1000.0, 0.5 + 14.0 / 600.0));
    EXPECT_FALSE(_view->Pick(0.5 + 12.0 / 1000.0, 0.5 + 15.0 / 600.0));
}

TEST_F(UIGrainCloudTest, UpdatePositionMovesTheMarkers)
{
    _view->SetXRandExtent(0.05);
    _view->SetYRandExtent(0.05);
    double pos[2], vol[2];
    for (unsigned i = 0; i < 6; i++)
        _view->GetTriggerPos(i, pos, vol, 2, 10.0, &_random);
    std::vector<double> xs, ys;
    for (unsigned i = 0; i < 6; i++) {
        xs.push_back(_view->GetGrain(i)->GetX());
        ys.push_back(_view->GetGrain(i)->GetY());
    }
    _view->UpdatePosition(0.6, 0.3);
    EXPECT_DOUBLE_EQ(_view->GetX(), 0.6);
    EXPECT_DOUBLE_EQ(_view->GetY(), 0.3);
    for (unsigned i = 0; i < 6; i++) {
        EXPECT_NEAR(_view->GetGrain(i)->GetX(), xs[i] + 0.1, 1e-12);
        EXPECT_NEAR(_view->GetGrain(i)->GetY(), ys[i] - 0.2, 1e-12);
    }
}

TEST_F(UIGrainCloudTest, PickParametersSelectsTheBoxHit)
{
    // Boxes 100 by 20 pixels in a row along the bottom; Volume's above them.
    for (int i = 0; i < GrainCloud::NUM_PARAMS; i++)
        _cloud->GetParameter(i)->GetUI()->SetBox(PieBox{100.0 * i, 0.0, 100.0, 20.0}, 0.1);
    _cloud->GetParameter(GrainCloud::VOLUME)->GetUI()->SetBox(PieBox{300.0, 200.0, 100.0, 20.0}, 0.1);
    EXPECT_TRUE(_view->PickParameters(300.0, 200.0));
    EXPECT_EQ(_cloud->GetCurrentParameter(), _cloud->GetParameter(GrainCloud::VOLUME));
    EXPECT_FALSE(_view->PickParameters(300.0, 300.0));
    EXPECT_EQ(_cloud->GetCurrentParameter(), nullptr);
}

TEST_F(UIGrainCloudTest, FlashGrowsAndFadesWithTheGrainDuration)
{
    UIGrain* marker = _view->GetGrain(0);
    UIGrain::Flash flash{};
    EXPECT_FALSE(marker->ComputeFlash(Time::Instance()->GetSeconds(), &flash));

    marker->Trigger(100.0);
    const double t0 = marker->GetTriggerTime();
    ASSERT_TRUE(marker->ComputeFlash(t0, &flash));
    EXPECT_DOUBLE_EQ(flash.size, 10.0);
    EXPECT_DOUBLE_EQ(flash.colourFactor, 1.0);
    EXPECT_DOUBLE_EQ(flash.x, 0.5);
    // One time constant is 0.8 of the 0.1 s grain. The shared clock may be
    // large by now, so the time step is taken as the doubles hold it.
    const double step = (t0 + 0.08) - t0;
    ASSERT_TRUE(marker->ComputeFlash(t0 + 0.08, &flash));
    EXPECT_NEAR(flash.colourFactor, std::exp(-step / 0.08), 1e-12);
    EXPECT_NEAR(flash.size, 10.0 + 20.0 * (1.0 - std::exp(-step / 0.08)), 1e-12);
    EXPECT_TRUE(marker->IsOn());
    // Blue (1.0 in this style) below 0.001 after ln(1000) time constants:
    // that frame still shows, the next does not.
    ASSERT_TRUE(marker->ComputeFlash(t0 + 0.08 * 7.0, &flash));
    EXPECT_FALSE(marker->IsOn());
    EXPECT_FALSE(marker->ComputeFlash(t0 + 0.08 * 7.1, &flash));
    // A new trigger lights it again.
    marker->Trigger(100.0);
    EXPECT_TRUE(marker->ComputeFlash(marker->GetTriggerTime(), &flash));
}

TEST_F(UIGrainCloudTest, StyleWithoutBlueEndsTheFlashAfterOneFrame)
{
    DefaultStyle noBlue;
    _view->UpdateStyle(&noBlue);
    UIGrain* marker = _view->GetGrain(3);
    marker->Trigger(1000.0);
    UIGrain::Flash flash{};
    EXPECT_TRUE(marker->ComputeFlash(marker->GetTriggerTime(), &flash));
    EXPECT_FALSE(marker->ComputeFlash(marker->GetTriggerTime(), &flash));
    _view->UpdateStyle(&_style);
}

}  // namespace
