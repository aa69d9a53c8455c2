#pragma once

// The rate the engine plays at: the audio system's (a JACK server's, or the
// rate asked of PulseAudio or ALSA). Every sound is converted to it when it
// is loaded, and every time constant is derived from it.
//
// The scene keeps its durations (grain lengths, delay times, the live rect's
// Length, ...) as frames at REFERENCE_RATE, as the session file stores them;
// what turns them into the engine's frames multiplies by Scale(), so a scene
// lasts as many seconds at every rate.
class EngineRate {
public:
    static constexpr double REFERENCE_RATE = 44100.0;
    // The rates a performer may choose.
    static constexpr unsigned SUPPORTED_RATES[] = {44100, 48000, 88200, 96000};

    virtual ~EngineRate();

    // Any thread: the current rate, REFERENCE_RATE until set.
    static double Get();
    // The GUI thread, with no block being rendered (no stream, or the scene
    // lock held): the rate the next blocks are made at.
    static void Set(double rate);
    // Engine frames per reference frame.
    static double Scale() { return Get() / REFERENCE_RATE; }
    static double FromReferenceFrames(double frames) { return frames * Scale(); }
    static double ToReferenceFrames(double frames) { return frames / Scale(); }
    // Whole engine frames lasting seconds (at least one).
    static unsigned FramesOf(double seconds);
    // Whole engine frames lasting as long as referenceFrames (at least one).
    static unsigned ScaledFrames(unsigned referenceFrames);
    static bool IsSupported(unsigned rate);
};
