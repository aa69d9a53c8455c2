#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Records the master output to a raw file (interleaved stereo float32) without
// touching the disk on the audio thread: the audio callback copies each block
// into a lock-free ring and a writer thread drains the ring to the file.
class BounceRecorder {
public:
    // The ring holds about 12 seconds of stereo audio, far more than the
    // writer ever falls behind.
    explicit BounceRecorder(size_t capacityFloats = 1 << 20);
    virtual ~BounceRecorder();

    // Opens the file and starts the writer; false when the file cannot be created.
    bool Start(const std::string& path);
    // Writes what is still queued, stops the writer and closes the file.
    void Stop();
    bool IsRecording() const { return _file != nullptr; }

    // Audio thread: queue one block. Never blocks, never allocates; when the
    // writer cannot keep up the block is dropped and counted.
    void Write(const float* samples, size_t count);
    // Floats dropped since Start because the ring was full.
    size_t GetDroppedSamples() const { return _dropped.load(); }

private:
    void WriterLoop();
    size_t Drain();

    std::vector<float> _ring;
    std::atomic<size_t> _readPos;
    std::atomic<size_t> _writePos;
    std::atomic<size_t> _dropped;
    std::atomic<bool> _running;
    // Wakes the writer at once when recording stops, so that stopping (done
    // under the scene lock) never waits out the writer's nap.
    std::mutex _wakeMutex;
    std::condition_variable _wake;
    FILE* _file;
    std::thread _writer;
};
