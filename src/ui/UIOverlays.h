#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class App;
class BounceRecorder;
class LoadMeter;
class LoadProgress;
class SafetyLimiter;

// The texts and meters the canvas draws over the scene, each a small view of
// the state it shows, in the app's current style and window size; the GUI
// thread draws them from the display callback.
class UIOverlay {
public:
    explicit UIOverlay(App* app) : _app(app) {}
    virtual ~UIOverlay() {}

protected:
    // A slow alpha pulse for the title and banner texts.
    static double Pulse(double radPerSec);
    static void SetColor(const double rgba[4], double alphaFactor);
    App* _app;
};

// The program's name, and what a click or Shift+Escape does (a click only once the sounds are there).
class UITitleOverlay : public UIOverlay {
public:
    using UIOverlay::UIOverlay;
    void Draw(bool loading);
};

// A bar across the bottom of the window and, above it, what the start-up loading is doing.
class UILoadProgressOverlay : public UIOverlay {
public:
    UILoadProgressOverlay(App* app, const LoadProgress* progress) : UIOverlay(app), _progress(progress) {}
    void Draw();
    void Follow(const LoadProgress* progress) { _progress = progress; }

private:
    const LoadProgress* _progress;
};

// The keys: the full list on the title screen, the short one over the scene.
class UIHelpOverlay : public UIOverlay {
public:
    using UIOverlay::UIOverlay;
    void Draw(bool overlay);
};

// The file being recorded to, and what the recording lost.
class UIRecordingOverlay : public UIOverlay {
public:
    UIRecordingOverlay(App* app, const BounceRecorder* recorder) : UIOverlay(app), _recorder(recorder) {}
    void DrawFile(const char* fileName);
    // Shown until the next recording starts, on the title screen too.
    void DrawLossIfAny();

private:
    const BounceRecorder* _recorder;
};

// The last message about the session, until its time is up.
class UIMessageOverlay : public UIOverlay {
public:
    using UIOverlay::UIOverlay;
    void Draw(const std::string& text, bool isError, std::chrono::steady_clock::time_point until);
};

// Lit while the safety limiter works, and a moment longer, so that a single
// loud grain is seen too.
class UILimiterLight : public UIOverlay {
public:
    UILimiterLight(App* app, const SafetyLimiter* limiter) : UIOverlay(app), _limiter(limiter), _limitedFramesSeen(0) {}
    void Draw();

private:
    const SafetyLimiter* _limiter;
    // What the light last saw, and until when it stays lit.
    uint64_t _limitedFramesSeen;
    std::chrono::steady_clock::time_point _litUntil;
};

// The status line along the bottom of the canvas: in the right corner the
// grains sounding, the sources and the audio callback's load; in the left one
// what is selected (a source's kind, a rect's name), a source over no rect
// said to be silent.
class UILoadMeterOverlay : public UIOverlay {
public:
    UILoadMeterOverlay(App* app, const LoadMeter* meter) : UIOverlay(app), _meter(meter) {}
    void Draw();
    // Pixels from the window's bottom to the top of the line's backing, in a
    // window winWidth pixels wide: what the pie menu keeps clear of.
    static double LineTop(double winWidth);
    // The two texts of the line; the left one is empty when nothing is selected.
    std::string DescribeSelection() const;
    std::string DescribeCounts() const;

private:
    // text on the help overlay's backing, its baseline at base pixels from
    // the top, from left pixels on, at the scale of App::DrawString.
    void DrawOnBacking(const std::string& text, double left, double base, double scale) const;

    const LoadMeter* _meter;
};

// All of the above, drawn in their layers: the title screen, the texts over
// the scene and, over everything, the states that show on any screen.
class UIOverlaySet {
public:
    UIOverlaySet(App* app, const LoadProgress* progress, const BounceRecorder* recorder, const SafetyLimiter* limiter,
                 const LoadMeter* meter);
    virtual ~UIOverlaySet();

    // The title with the load's progress, or with the full list of keys.
    void DrawTitleScreen(bool loading);
    // A new load (the sounds read again at a new rate) shows its own progress.
    void FollowLoadProgress(const LoadProgress* progress) { _loadProgress.Follow(progress); }
    // The recording's file name (null: not recording) and the short list of keys.
    void DrawOverScene(const char* bounceFileName, bool help);
    void DrawLoadMeter() { _loadMeter.Draw(); }
    // The recording's losses, the message and the limiter light.
    void DrawOverAll(const std::string& message, bool isError, std::chrono::steady_clock::time_point until);

private:
    UITitleOverlay _title;
    UILoadProgressOverlay _loadProgress;
    UIHelpOverlay _help;
    UIRecordingOverlay _recording;
    UIMessageOverlay _message;
    UILimiterLight _limiterLight;
    UILoadMeterOverlay _loadMeter;
};
