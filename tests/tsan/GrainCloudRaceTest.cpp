#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/App.h"
#include "app/Time.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "ui/UIGrain.h"
#include "ui/UIGrainCloud.h"
#include "ui/UISoundRect.h"
#include "ui/UIStyle.h"

namespace {

const unsigned BLOCK = 256;

// The audio thread triggers grains (moving and flashing their markers) while
// the drawing thread reads the markers without the application lock.
TEST(GrainCloudRaceTest, MarkersAreReadWhileTheAudioThreadTriggersGrains)
{
    App app;
    app.SetWinSize(800, 600);
    PurpleStyle style;
    SoundRect rect;
    rect.AssociateSamples(std::vector<float>(2 * 22050, 0.25f), 22050, 2);
    UISoundRect rectView(&rect, &app, nullptr, app.GetScreen());
    rect.RegisterUI(&rectView);
    rectView.UpdateRectPosition(0.5, 0.5);
    rectView.SetDimensions(0.6, 0.6);

    GrainCloud cloud(&app, {&rect}, 6);
    auto* view = new UIGrainCloud(&cloud, &style, app.GetScreen(), 0.5, 0.5, 6, {&rect});
    cloud.RegisterUI(view);
    // The cloud seeds its generator with the time; fix it, and the voices' directions with it.
    cloud.SeedRandom(17);
    cloud.SetDirection(GrainCloud::RANDOM_DIR);
    view->SetRandExtentCoeff(30.0);
    // Short grains: a trigger at almost every half-block.
    cloud.SetDurationMs(3.0);

    std::atomic<bool> done(false);
    std::atomic<bool> readerStarted(false);
    std::thread audio([&] {
        // Both threads run at the same time, whatever the scheduler does first.
        while (!readerStarted.load())
            std::this_thread::yield();
        std::vector<float> block(2 * BLOCK);
        for (int b = 0; b < 3000; b++) {
            std::fill(block.begin(), block.end(), 0.0f);
            cloud.NextBuffer(&block, BLOCK);
            Time::Instance()->AddSeconds(BLOCK / 44100.0);
        }
        done = true;
    });

    // What drawing does: every marker's flash at the current clock.
    long flashes = 0;
    bool consistent = true;
    readerStarted = true;
    while (!done.load()) {
        for (unsigned i = 0; i < view->GetNumGrains(); i++) {
            UIGrain::Flash flash;
            if (!view->GetGrain(i)->ComputeFlash(Time::Instance()->GetSeconds(), &flash))
                continue;
            flashes++;
            consistent = consistent && std::isfinite(flash.size) && flash.size >= 10.0 && flash.size <= 30.0 &&
                         std::fabs(flash.x - 0.5) < 0.2;
        }
    }
    audio.join();

    EXPECT_TRUE(consistent);
    EXPECT_GT(flashes, 0);
    EXPECT_GT(view->GetGrain(0)->GetTriggerCount(), 100u);
}

}  // namespace
