#include "app/FramePacer.h"

#include <algorithm>
#include <thread>

#include "sound/LoadProgress.h"

FramePacer::FramePacer(int frameRate, int loadingFrameRate, int texturesPerFrame)
    : _fps(frameRate), _loadingFps(loadingFrameRate), _texturesPerFrame(texturesPerFrame), _texturesBuiltThisFrame(0)
{
}

FramePacer::~FramePacer()
{
}

void FramePacer::WaitForNextFrame(bool loading, LoadProgress* progress)
{
    // Without a cap the toolkit redraws as fast as it can and, where drawing
    // is done in software, takes the cores the audio needs. The wait happens
    // outside the scene lock, so the audio callback never waits for a frame.
    if (_fps <= 0)
        return;
    // While the sounds load, the title and the progress bar need only a few
    // frames a second, and drawn in software they would take a core from
    // the analysis.
    int fps = loading ? _loadingFps : _fps;
    auto frame = std::chrono::microseconds(1000000 / fps);
    auto now = std::chrono::steady_clock::now();
    // The end of the loading cuts the wait short: the audio starts at once.
    if (loading && progress->WaitForFinish(_nextFrameTime))
        return;
    if (now < _nextFrameTime)
        std::this_thread::sleep_until(_nextFrameTime);
    _nextFrameTime = std::max(now, _nextFrameTime) + frame;
}

bool FramePacer::MayBuildTexture()
{
    if (_texturesBuiltThisFrame >= _texturesPerFrame)
        return false;
    _texturesBuiltThisFrame++;
    return true;
}
