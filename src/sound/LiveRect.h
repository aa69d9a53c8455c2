#pragma once

#include "sound/SoundRect.h"

class LiveAnalysis;
class LiveRing;

// A sound rect over the audio input: its sound is a live ring of the last
// seconds of the input (see LiveRing), its spectrogram and chromagram are
// analysed as the sound arrives (see LiveAnalysis), and grain voices read
// both like those of any rect, through clones that share them.
//
// The rect's frames are the ring's doubled store; which of them stands for a
// point of the rect at a given moment is its view's business (UILiveRect),
// so that a grain keeps reading the sound it started on while new sound
// arrives. The rect and its ring live until the process ends.
class LiveRect : public SoundRect {
public:
    // The live rects a scene holds at most, made with the key or read from a
    // session alike: each keeps its ring and its analysis in memory for good
    // (about 70 MB) and its analysis thread running.
    static constexpr int MAX_IN_SCENE = 16;

    LiveRect();
    ~LiveRect() override;

    LiveRing* GetRing() const { return _ring; }
    LiveAnalysis* GetAnalysis() const { return _analysis; }

    // Audio thread, before the sources play the block: the block of input
    // (interleaved, numChannels channels) goes into the ring, and the
    // columns analysed since the last block into the spectral stores.
    void Capture(const float* input, unsigned numFrames, unsigned numChannels);

private:
    LiveRing* _ring;
    LiveAnalysis* _analysis;
};
