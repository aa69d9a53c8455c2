#pragma once

#include <array>
#include <vector>

class Envelope;
class SamplesProvider;

// One grain voice: plays one grain at a time from every sound the grain's
// point falls on, shapes the sum with an envelope and adds it, with a gain per
// channel, into a stereo block.
//
// A grain reads its sound continuously from its start to its end, forward or
// backward at its pitch: its window is exactly what it reads. A looping voice
// instead reads its window over and over, wrapping at the frame where the
// window ends, and never leaves it.
//
// Playback settings exist twice. Setters write the queued value; the owning
// source decides when the queue takes effect (UpdateParams), so a grain never
// changes in the middle of a rendered stretch.
class AudioSource {
public:
    // Each provider is cloned; the clones share the sounds' samples.
    AudioSource(const std::vector<SamplesProvider*>& providers, Envelope* envelope, double durationMs, double pitch,
                double timeStretch);
    virtual ~AudioSource();
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    void SetDurationMs(double durationMs);
    void SetPitch(double pitch);
    void SetTimeStretch(double timeStretch);
    void SetDirection(double direction);
    void SetEnvelopeType(unsigned type);
    // Always marks the queue, even with unchanged gains.
    void SetChannelMultipliers(const std::vector<float>& mults);
    // Waits for the next queue application without asking for one.
    void SetVolume(double volume);
    // The grain in flight too: only for a voice that has not sounded yet.
    void SetVolumeAtOnce(double volume);
    void SetRange(double range) { _range = range; }
    // A looping voice reserves room for a block of several window cycles.
    void SetLoop(bool loop);
    // Plays from one sound more, a clone of provider (a rect added to the
    // scene), from its next grain on. GUI thread, under the scene lock.
    void AddProvider(SamplesProvider* provider);

    // The most recently set values.
    double GetPitch() const { return _queuedPitch; }
    double GetTimeStretch() const { return _queuedTimeStretch; }
    // The values the voice plays with.
    double GetVolume() const { return _localAtten; }
    double GetDirection() const { return _direction; }
    double GetDurationSamps() const { return _durationSamps; }
    double GetEnvStep() const { return _envStep; }
    double GetEnvPos() const { return _envPos; }
    // Window and read position of the current grain in provider idx, in frames.
    double GetStartPosition(int idx) const { return _reads[idx].startPosition; }
    double GetEndPosition(int idx) const { return _reads[idx].endPosition; }
    double GetPosition(int idx) const { return _reads[idx].position; }
    bool IsPlaying() const { return _isPlaying; }
    bool IsClone() const { return _isClone; }
    const std::vector<SamplesProvider*>& GetSampleProviders() const { return _sampProviders; }

    // Applies the queued values.
    void UpdateParams();
    // Starts a grain at the normalised positions (-1 where the grain misses a
    // provider) and cross-axis positions; false while a grain is sounding.
    bool Play(const double* positions, const double* paramY);
    // Re-aims the sounding grain without restarting it.
    void Update(const double* positions, const double* paramY);
    // Adds numFrames frames into out from frame bufOffset on (out may be null:
    // the voice then advances without writing). True when a window was
    // wrapped during the block, i.e. a new loop cycle began.
    bool NextBuffer(std::vector<float>* out, unsigned numFrames, unsigned bufOffset);
    // A voice that continues the current grain exactly where this one is.
    AudioSource* Clone();

private:
    // Where a provider's frames for the current block are read: its fetch
    // buffer, or the stored sound itself when the provider serves that
    // unchanged (read backward through it when the grain runs backward).
    // Indices are those of the interleaved fetch buffer the read stands for.
    struct BlockFrames {
        const float* first = nullptr;
        long direction = 1;
        long size = 0;
        float gain = 1.0f;
        // The stored sound itself, all of it, rather than a block's fetch.
        bool stored = false;
        // Frames outside what was delivered sound as silence.
        float Sample(long idx) const
        {
            if (idx < 0 || idx >= size)
                return 0.0f;
            const long channel = idx & 1;
            return first[direction * (idx - channel) + channel] * gain;
        }
    };

    // How the voice reads one provider: the current grain's window and
    // read position, and the current block's frames.
    struct ProviderRead {
        // In frames of the provider: where the grain reads, and where the
        // current block started reading.
        double position = 0.0;
        double blockStart = 0.0;
        BlockFrames frames;
        // The frame before the read position, which the first frame of a
        // block interpolates from.
        double prevSamps[2] = {0.0, 0.0};
        double paramY = 0.0;
        // Frames played from the provider since the grain moved onto it,
        // while it fades in.
        unsigned framesSinceEntry = 0;
        // Whether the current grain plays from it, to tell a loop that has
        // just moved onto a sound.
        bool isActive = false;
        double startPosition = 0.0;
        double endPosition = 0.0;
        // Kept between blocks so rendering allocates nothing.
        std::vector<float> fetchBuffer;

        // The grain in flight of other, without its block's frames.
        void ContinueGrain(const ProviderRead& other)
        {
            position = other.position;
            prevSamps[0] = other.prevSamps[0];
            prevSamps[1] = other.prevSamps[1];
            paramY = other.paramY;
            framesSinceEntry = other.framesSinceEntry;
            isActive = other.isActive;
            startPosition = other.startPosition;
            endPosition = other.endPosition;
        }
    };

    void ReserveFetchRoom(int p);
    void AimWindows(const double* positions, const double* paramY);
    double WindowFrames(int p) const;
    void Fetch(int p, int count);
    bool ReadInPlace(int p);
    int FetchFrames(int p, double n, double spf) const;
    double ReadIncrement(int p, double spf) const;
    void UseFetchBuffer(int p);
    bool FetchLoop(int p, int count);
    void FetchLoopSegment(int p, double from, double to);
    double WrapIntoWindow(int p, double pos) const;
    void RestartInWindow(int p);
    unsigned RenderChunk(std::vector<float>* out, unsigned frames, unsigned offset, double spf);
    unsigned FillEnvelope(float* envelope, unsigned frames);
    void FillEnvelopeRun(float* envelope, double pos, unsigned run) const;
    void AddStoredFrames(int p, double increment, const float* envelope, unsigned frames, float* mix);
    const float* EnteringLevels(int p, const float* envelope, unsigned frames, float* faded);
    void AddProviderFrames(int p, double increment, const float* envelope, unsigned frames, float* mix);
    void WriteFrames(std::vector<float>* out, unsigned offset, const float* mix, unsigned frames) const;

    bool _loop;
    std::vector<SamplesProvider*> _sampProviders;
    bool _isPlaying;
    bool _newParam;
    double _durationMs, _queuedDurationMs;
    double _durationSamps;
    double _pitch, _queuedPitch;
    double _timeStretch, _queuedTimeStretch;
    double _direction, _queuedDirection;
    double _step;
    double _localAtten, _queuedLocalAtten;
    // Left and right gains, inside the object: every voice applies them at
    // every block, and a separate allocation would be one more wait on memory.
    std::array<float, 2> _chanMults, _queuedChanMults;
    std::vector<int> _activeSampProviders;
    unsigned _envelopeType, _queuedEnvelopeType;
    double _envStep;
    double _envPos;
    Envelope* _envelope;
    // The shape's table, shared with every voice of the source.
    const std::vector<float>* _envelopeTable;
    double _range;
    bool _isClone;
    // One per provider, side by side: a block's work on the voice then
    // touches a few neighbouring cache lines rather than a dozen lists.
    std::vector<ProviderRead> _reads;
    // One stretch of a looping window, before it joins the fetch buffer.
    std::vector<float> _segment;
};
