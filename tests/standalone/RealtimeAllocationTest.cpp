#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "app/App.h"
#include "app/Time.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "ui/UIGrainCloud.h"
#include "ui/UISoundRect.h"
#include "ui/UIStyle.h"

// Every allocation of the process goes through these, so a test can count
// what a stretch of audio rendering allocates.
namespace {
std::atomic<bool> g_counting(false);
std::atomic<long> g_allocations(0);

void* CountedAlloc(std::size_t size) {
    if (g_counting.load())
        g_allocations++;
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size) { return CountedAlloc(size); }
void* operator new[](std::size_t size) { return CountedAlloc(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_counting.load())
        g_allocations++;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

const unsigned BLOCK = 1024;

// A scene as the application builds it: a sound in a rect and a cloud over it.
class RealtimeAllocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        _app.SetWinSize(1000, 600);
        std::vector<float> samples(2 * 88200);
        for (size_t i = 0; i < samples.size(); i++)
            samples[i] = (float)((i % 200) / 200.0 - 0.5);
        _rect.AssociateSamples(samples, 88200, 2);
        _rectView = new UISoundRect(&_rect, &_app, nullptr, _app.GetScreen());
        _rect.RegisterUI(_rectView);
        _rectView->UpdateRectPosition(0.5, 0.5);
        _rectView->SetDimensions(0.5, 0.5);
    }

    void TearDown() override { delete _rectView; }

    // Renders like the audio callback: a cleared scratch block, then the clock.
    void RenderBlocks(Source* source, int count) {
        for (int b = 0; b < count; b++) {
            std::fill(_scratch.begin(), _scratch.end(), 0.0f);
            source->NextBuffer(&_scratch, BLOCK);
            Time::Instance()->AddSeconds(BLOCK / 44100.0);
        }
    }

    App _app;
    PurpleStyle _style;
    SoundRect _rect;
    UISoundRect* _rectView = nullptr;
    std::vector<float> _scratch = std::vector<float>(2 * BLOCK, 0.0f);
};

TEST_F(RealtimeAllocationTest, GrainCloudRendersWithoutAllocating) {
    GrainCloud cloud(&_app, {&_rect}, 6);
    cloud.RegisterUI(new UIGrainCloud(&cloud, &_style, _app.GetScreen(), 0.5, 0.5, 6, {&_rect}));
    static_cast<UIGrainCloud*>(cloud.GetUI())->SetRandExtentCoeff(20.0);
    cloud.SetSpatialMode(GrainCloud::AROUND, -1);
    cloud.SetDurationMs(120.0);
    for (int i = 0; i < 14; i++)
        cloud.AddGrain();

    // The pending voices arrive one per block, and every voice plays a few grains.
    RenderBlocks(&cloud, 100);
    ASSERT_EQ(cloud.GetNumVoices(), 20u);

    g_allocations = 0;
    g_counting = true;
    RenderBlocks(&cloud, 200);
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);

    // Adding a voice allocates on the GUI thread only; its arrival does not.
    cloud.AddGrain();
    g_allocations = 0;
    g_counting = true;
    RenderBlocks(&cloud, 1);
    g_counting = false;
    EXPECT_EQ(cloud.GetNumVoices(), 21u);
    EXPECT_EQ(g_allocations.load(), 0);

    // Nor does a removal free anything there: the voice is parked.
    cloud.RemoveGrain();
    g_allocations = 0;
    g_counting = true;
    RenderBlocks(&cloud, 1);
    g_counting = false;
    EXPECT_EQ(cloud.GetNumVoices(), 20u);
    EXPECT_EQ(g_allocations.load(), 0);
}

}  // namespace
