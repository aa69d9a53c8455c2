#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

// The last seconds of the audio input, as a stereo sound that grains play
// from: the audio callback writes each block at the write point, over the
// oldest sound, and the sound before the write point is what a live rect
// shows and serves.
//
// Frames are kept twice, one copy after the other (frame f of the ring at f
// and at f + capacity), so that any stretch of up to a capacity of frames is
// one run of memory from some frame of the first copy on: readers (grain
// voices, the waveform summaries, the spectral analysis) never have to wrap.
// Positions in that doubled store are the ring's "frames".
//
// The ring always holds the longest length plus a margin; the length only
// chooses how much of the past is shown and played, so changing it never
// allocates. The margin lies between the oldest sound shown and the write
// point, so what is written never lands where a reader may be.
//
// Written on the audio thread only. The count of frames written is published
// with release order; the frames before the last SEAM_FRAMES of them never
// change again (an unfreeze crossfades the new input into those last ones),
// so another thread that reads the count may read every frame up to
// GetSettled().
class WaveformEnvelope;

class LiveRing {
public:
    static constexpr double MIN_SECONDS = 1.0;
    static constexpr double MAX_SECONDS = 30.0;
    static constexpr double DEFAULT_SECONDS = 8.0;
    static constexpr int CHANNELS = 2;
    // Frames of the crossfade where new sound meets the frozen one.
    static constexpr int SEAM_FRAMES = 256;

    // alignment: the capacity and the lengths are whole multiples of it (the
    // analysis hop, so that its columns tile the ring). The ring holds its
    // seconds at the engine's rate when it is made.
    explicit LiveRing(int alignment);
    virtual ~LiveRing() {}
    LiveRing(const LiveRing&) = delete;
    LiveRing& operator=(const LiveRing&) = delete;

    // Writes numFrames frames of interleaved input of numChannels channels:
    // one channel is heard on both sides, a third and more are ignored. Each
    // sample is scaled by the input gain; what is not a finite number is
    // silenced and what lies beyond full scale is clipped. While frozen
    // nothing is written, but the level is still measured.
    void Write(const float* input, unsigned numFrames, unsigned numChannels);

    // Seconds of the past shown and played, held to MIN_SECONDS ... MAX_SECONDS.
    void SetLengthSeconds(double seconds);
    double GetLengthSeconds() const;
    // Frames shown and played.
    long GetLength() const { return _length; }
    long GetCapacity() const { return _capacity; }
    // Freezing stops the writing; unfreezing starts it again where it stopped
    // (with the next Write): the first SEAM_FRAMES of new input overlap the
    // last frames of the frozen sound, fading in as it fades out, so the
    // seam has no step and no dip.
    void SetFrozen(bool frozen);
    bool IsFrozen() const { return _frozen; }
    void SetGain(float gain) { _gain = gain; }
    float GetGain() const { return _gain; }

    // Frames written since the ring was made (release order).
    int64_t GetWritten() const { return _written.load(std::memory_order_acquire); }
    // Frames written that will not change any more.
    int64_t GetSettled() const { return std::max<int64_t>(GetWritten() - SEAM_FRAMES, 0); }
    // The doubled store: 2 x capacity stereo frames.
    const std::vector<float>& GetSamples() const { return _samples; }
    // Where written frame w (counted from the first) lies in the first copy.
    long RingFrame(int64_t written) const;
    // Where the oldest frame shown lies in the first copy, written frames given.
    long OldestShownFrame(int64_t written) const;
    // The frame of the doubled store that stands for a point fraction along
    // the shown past (0 the oldest, 1 the newest) at this moment, placed so
    // that at least half a capacity of frames follows and precedes it: a grain
    // reads on from it in either direction without leaving the store.
    double FrameAt(double fraction) const;

    // Refreshes the summaries of envelope, made over the left channel of the
    // doubled store, where written frames [from, to) lie (in both copies):
    // a waveform follows the ring at the cost of what arrived.
    void RefreshEnvelope(WaveformEnvelope* envelope, int64_t from, int64_t to) const;

    // The loudest sample since the last call (after the gain), for a meter.
    float TakePeak();

private:
    // Stores one cleaned frame at the write point, in both copies.
    void Store(float left, float right);
    // Mixes one cleaned frame into the next frame of the seam, the stretch
    // of frozen sound before the write point that the new input overlaps.
    void MixIntoSeam(float left, float right);

    double _rate;
    int _alignment;
    long _capacity;
    long _length;
    std::vector<float> _samples;
    std::atomic<int64_t> _written;
    long _writeFrame;
    bool _frozen;
    // Unfrozen since the last Write: the seam is still to be made.
    bool _resuming;
    // Frames of the seam: SEAM_FRAMES, or fewer when less was written.
    int _seamLength;
    // Frames of the seam the new input has still to overlap.
    int _seamFramesLeft;
    float _gain;
    std::atomic<float> _peak;
};
