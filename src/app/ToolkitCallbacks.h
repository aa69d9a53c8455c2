#pragma once

#include <RtAudio.h>

class App;

// Hands the window toolkit's and the audio stream's plain-function callbacks
// to the one application: the toolkit's on the GUI thread, OnAudio on the
// audio thread.
class ToolkitCallbacks {
public:
    // The application every callback goes to; set once, before any callback.
    static void SetTarget(App* app);
    // GUI thread, once the window exists: every toolkit callback goes to the target.
    static void Register();
    static int OnAudio(void* outputBuffer, void* inputBuffer, unsigned int nFrames, double streamTime,
                       RtAudioStreamStatus status, void* userData);
};
