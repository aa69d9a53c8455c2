#pragma once

#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Records the master output to a raw file (interleaved stereo float32) without
// touching the disk on the audio thread: the audio callback copies each block
// into a lock-free ring and a writer thread drains the ring to the file. The
// writer also writes a WAV copy beside it (same samples, 32-bit float, stereo,
// at the engine's rate) that any sound editor opens; it is complete once the
// recording stops.
//
// Nothing is lost without a word: samples the ring had no room for (the disk
// does not keep up) and samples the disk refused (full disk, I/O error) are
// counted, said on stderr as soon as the writer sees them, and offered to the
// screen through GetLostSamples.
class BounceRecorder {
public:
    static const int CHANNELS = 2;
    // A disk may stall for this long without any sample being dropped, at
    // the highest rate the engine plays.
    static const int RING_SECONDS = 10;
    static const int MAX_RATE = 96000;

    explicit BounceRecorder(size_t capacityFloats = size_t(RING_SECONDS) * MAX_RATE * CHANNELS);
    virtual ~BounceRecorder();

    // Creates the raw file and its WAV copy, whose header says the engine's
    // rate of the moment, and starts the writer; false when
    // the raw file cannot be created (a WAV copy that cannot be made is said on
    // stderr and the raw recording goes on).
    bool Start(const std::string& rawPath);
    // Ends the recording at once: the writer writes what is still queued,
    // closes both files and ends on its own thread, so that the scene lock
    // held here never waits for the disk. A recording that holds no frame at
    // all leaves no files behind, and says so.
    void Finish();
    // Finishes and waits until the writer has written the recording whole.
    void Stop();
    bool IsRecording() const { return _recording.load(); }
    // The last recording has ended but its writer is still writing it.
    bool IsFinishing() const { return _writing.load() && !_recording.load(); }
    const std::string& GetWavPath() const { return _wavPath; }

    // Audio thread: queue one block. Never blocks, never allocates; when the
    // writer cannot keep up the block is dropped and counted.
    void Write(const float* samples, size_t count);
    // Floats dropped since Start because the ring was full.
    size_t GetDroppedSamples() const { return _dropped.load(); }
    // Floats of this recording (or of the last one, once stopped) that are not
    // in the raw file: dropped ones and ones the disk refused.
    size_t GetLostSamples() const { return _dropped.load() + _failed.load(); }
    // Why samples were lost: the error of the failed write (e.g. ENOSPC), or 0
    // when the disk only did not keep up.
    int GetWriteError() const { return _writeError.load(); }
    // Text for the performer: how much was lost and why.
    std::string DescribeLoss() const;

private:
    void WriterLoop();
    size_t Drain();
    void WriteRaw(const float* samples, size_t count);
    void WriteWav(const float* samples, size_t count);
    void ReportLossIfNew();
    void CloseFiles();
    void ReportEnd();
    // Removes the files that hold no frame; true when the raw file was one.
    bool RemoveEmptyFiles();
    std::string WavPathFor(const std::string& rawPath) const;

    // Left uninitialised: seconds of audio that take memory only once a
    // recording has filled them, not from the start of the program.
    float* _ring;
    size_t _capacity;
    std::atomic<size_t> _readPos;
    std::atomic<size_t> _writePos;
    std::atomic<size_t> _dropped;
    std::atomic<size_t> _failed;
    std::atomic<int> _writeError;
    std::atomic<bool> _running;
    std::atomic<bool> _recording;
    // From Start until the writer has closed the files.
    std::atomic<bool> _writing;
    // Wakes the writer at once when recording stops, so that stopping (done
    // under the scene lock) never waits out the writer's nap.
    std::mutex _wakeMutex;
    std::condition_variable _wake;
    // Frames per second of the recording running (or of the last one).
    int _rate;
    std::string _rawPath;
    std::string _wavPath;
    int _rawFd;
    SNDFILE* _wav;
    bool _wavFailed;
    // Writer thread only.
    size_t _written;
    size_t _wavWritten;
    size_t _reportedLost;
    std::chrono::steady_clock::time_point _lastReport;
    std::thread _writer;
};
