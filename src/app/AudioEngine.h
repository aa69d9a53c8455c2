#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include <RtAudio.h>

namespace stk {
class Mutex;
}

class App;
struct Options;
class BounceRecorder;
class DcBlocker;
class LoadMeter;
class MyRtAudio;
class SafetyLimiter;
class SourceReleases;

// The audio side of the application: the audio thread calls RenderBlock to mix
// the scene's sources and their note copies through the master chain and the
// limiter into the device's block, step the clock and feed the recording; the
// GUI thread opens and closes the stream and starts and stops recordings.
class AudioEngine {
public:
    // The longest block the engine renders without making anything anew:
    // JACK's longest period.
    static const unsigned MAX_BLOCK_FRAMES = 8192;

    // The sources, the master chain and the title-screen flag are read from
    // app; releases belongs to the app, which hands removed sources to it.
    AudioEngine(App* app, stk::Mutex* sceneLock, SourceReleases* releases);
    virtual ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // Before the sounds load, which are converted to it: the rate the
    // options' audio system plays at (see MyRtAudio::ChooseRate); 0, with
    // the reason in error, when the system or device is not there.
    static unsigned ChooseRate(const Options& options, std::string* error);

    // Opens the output the options choose (audio system, device, block
    // size) at the engine's rate and starts calling callback; false, with
    // the reason for the performer in error, when the stream cannot open:
    // it is then tried again as a lost stream is.
    bool StartStream(RtAudioCallback callback, const Options& options, std::string* error);
    // Ends a running recording (whole, whatever the stream does), closes the
    // stream within CLOSE_SECONDS and says how loaded the callback was (when
    // it played). No block renders after it. False when the audio system
    // did not answer in time.
    bool StopStream();
    static constexpr double CLOSE_SECONDS = 1.0;
    unsigned int GetBlockSize() const { return _blockSize; }
    // "Audio: jack, 48000 Hz, 128 frames per block (2.7 ms)".
    std::string DescribeStream() const;

    // GUI thread, idle: a stream the audio system closed under the program
    // (a JACK server that stopped, dropped the client or changed its rate)
    // is opened again as the options chose it, every REOPEN_SECONDS, until
    // the system is back; back at another rate, the engine's rate is the
    // new one (STREAM_NEW_RATE, at the next call: the sounds are to be
    // converted to it). A new JACK period is taken while playing, and said.
    enum StreamChange { STREAM_UNCHANGED, STREAM_LOST, STREAM_BACK, STREAM_NEW_RATE, STREAM_NEW_PERIOD };
    static constexpr double REOPEN_SECONDS = 2.0;
    StreamChange KeepStreamOpen(RtAudioCallback callback, const Options& options);
    bool IsStreamLost() const { return _streamLost; }

    // Audio thread: one block of nFrames interleaved stereo frames, under the
    // scene lock; the block of input (null without one) goes to the live rects first.
    void RenderBlock(float* out, const float* in, unsigned int nFrames);
    // Input channels of the open stream; 0 without an input, and without a
    // stream the count it was told.
    unsigned int GetNumInputs() const;
    // What the live rects record, in words for the screen.
    std::string DescribeInput() const;
    // Without a stream (a test's engine): the input channels of the blocks
    // RenderBlock is given.
    void AssumeInputs(unsigned int numInputs) { _assumedInputs = numInputs; }

    // Recording of the master output to ./bounces/. A recording ends at
    // once and its writer finishes it on its own thread; a new one starts
    // only once the last one is written whole, so a toggle meanwhile is
    // refused (BOUNCE_BUSY) and the files made stay one pair per take.
    enum BounceToggle { BOUNCE_STARTED, BOUNCE_STOPPED, BOUNCE_FAILED, BOUNCE_BUSY };
    BounceToggle ToggleBounce();
    bool IsBouncing() const;
    const char* GetBounceFileName() const { return _bounceFileName; }
    const BounceRecorder* GetBounceRecorder() const { return _bounceRecorder; }

    SafetyLimiter* GetSafetyLimiter() const { return _limiter; }
    const LoadMeter* GetLoadMeter() const { return _loadMeter; }
    // The grains of every source and note copy that sounded at the end of
    // the last block; any thread.
    unsigned GetSoundingGrains() const { return _soundingGrains.load(std::memory_order_relaxed); }

private:
    // False, with the reason in error, when the stream cannot open. A
    // stream at another rate than the engine's sets it, before any block.
    bool OpenStream(RtAudioCallback callback, const Options& options, std::string* error);
    // Says what the audio system granted against what was asked for.
    void ReportBlockSize(const Options& options) const;
    // Lets go of the stream, closed or not; false when the audio system did
    // not answer in time.
    bool CloseStream();
    bool StartBounce();
    void EndBounceAtNewRate();
    void MixSources(float* out, unsigned int nFrames);

    App* _app;
    stk::Mutex* _sceneLock;
    SourceReleases* _releases;
    MyRtAudio* _stream;
    bool _streamLost;
    // The rate the stream came back at differed from the engine's.
    bool _rateChanged;
    // Set, under the scene lock, when the stream stops: the blocks the audio
    // system may still ask for are silent and touch nothing.
    bool _stopped;
    std::chrono::steady_clock::time_point _lastReopen;
    unsigned int _blockSize;
    unsigned int _assumedInputs;
    DcBlocker* _dcBlocker;
    SafetyLimiter* _limiter;
    LoadMeter* _loadMeter;
    // Counted by the audio callback, read by the drawing.
    std::atomic<unsigned> _soundingGrains;
    BounceRecorder* _bounceRecorder;
    bool _bouncing;
    char _bounceFileName[255];
    std::vector<float> _tmpBuf;
    // A second scratch block, for a note copy fading out.
    std::vector<float> _releaseBuf;
    // Whether the last block played the sources (off the title screen, or
    // fading out at its coming), and how far along that fade is.
    bool _sourcesSounding;
    unsigned _titleFadeFrames;
};
