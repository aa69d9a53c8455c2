#pragma once

#include <atomic>

class UIScreen;
class UIStyle;

// One grain marker: a dot at a scene position that flashes when a grain
// starts there, growing from 10 to 30 pixels while it fades out over the
// grain's duration.
//
// The audio thread moves and triggers the marker while the drawing thread
// reads it without the application lock. The marker's state is therefore
// held in atomics and published as a whole under a sequence counter, so a
// drawing always sees one trigger's position, time and duration together.
// Writers are serialised by the application lock (the audio block or a
// GUI handler); the reader never blocks a writer.
class UIGrain {
public:
    // What one frame of drawing shows of the marker.
    struct Flash {
        double x, y;
        double size;          // point size in pixels
        double colourFactor;  // applied to all four components of the flash colour
    };

    UIGrain(UIStyle* style, UIScreen* screen, double x, double y);
    virtual ~UIGrain() {}
    UIGrain(const UIGrain&) = delete;
    UIGrain& operator=(const UIGrain&) = delete;

    void Draw();
    void MoveTo(double x, double y);
    // Starts a flash at the current position for a grain of durMs milliseconds.
    void Trigger(double durMs);
    // Moves and starts a flash in one publication (the audio thread's call).
    void TriggerAt(double x, double y, double durMs);
    void UpdateStyle(UIStyle* style) { _style = style; }

    double GetX() const;
    double GetY() const;
    double GetTriggerTime() const;
    unsigned GetTriggerCount() const { return _triggerCount.load(); }

    // The drawing-thread side: the flash at clock time now, false when the
    // marker is dark. Ends the flash once its blue has faded out; that frame
    // is still shown.
    bool ComputeFlash(double now, Flash* flash);
    bool IsOn() const { return _triggerCount.load() != _fadedTrigger; }

private:
    struct State {
        double x, y, triggerTime, durSec;
        unsigned triggerCount;
    };

    State ReadState() const;
    void Publish(double x, double y, double triggerTime, double durSec, unsigned triggerCount);

    // Odd while a writer is publishing.
    std::atomic<unsigned> _sequence;
    std::atomic<double> _x, _y;
    std::atomic<double> _triggerTime;
    std::atomic<double> _durSec;
    std::atomic<unsigned> _triggerCount;
    // Drawing-thread state: the trigger whose flash has faded.
    unsigned _fadedTrigger;
    UIStyle* _style;
    UIScreen* _screen;
};
