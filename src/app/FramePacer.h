#pragma once

#include <chrono>

class LoadProgress;

// Paces the redraws and the sound-rect textures built in each frame; called
// on the toolkit thread, from the idle and display callbacks.
class FramePacer {
public:
    FramePacer(int frameRate, int loadingFrameRate, int texturesPerFrame);
    virtual ~FramePacer();

    // Sleeps until the next frame is due; while loading, at the slower rate,
    // and woken early when the loading ends.
    void WaitForNextFrame(bool loading, LoadProgress* progress);
    // A frame begins to draw: its texture allowance is whole again.
    void StartFrame() { _texturesBuiltThisFrame = 0; }
    // Whether a sound rect may build an image texture in this frame: a few
    // per frame, so that a canvas of long sounds never stalls a frame.
    bool MayBuildTexture();

private:
    int _fps;
    int _loadingFps;
    int _texturesPerFrame;
    std::chrono::steady_clock::time_point _nextFrameTime;
    int _texturesBuiltThisFrame;
};
