#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

class ChannelAnalysis;
class LiveRing;
class Spectrogram;

// The spectrogram and chromagram of a live ring, analysed as the sound
// arrives: a worker thread analyses each new column (a frame every hop, as
// the loaded sounds are analysed) as soon as the ring holds its frame, and
// the audio thread takes the finished columns into the stores that grains
// and pictures read, at the start of its block. So the grains never meet a
// column half written: the only writer of the stores is the thread that
// plays them, and the pictures read only columns published before.
//
// The stores tile the ring with columns, twice over like the ring's own
// frames: column c covers the frames from c x hop on, whichever copy. The
// left channel is analysed, and both channels resynthesise from it.
// Columns not analysed yet read as silence: some way ahead of the newest,
// the columns of the sound that the ring overwrites are cleared.
class LiveAnalysis {
public:
    // Finished columns waiting for the audio thread, at most.
    static const int STAGED_COLUMNS = 64;

    // ring (not owned) must outlive the analysis; its capacity is a whole
    // number of hops.
    explicit LiveAnalysis(const LiveRing* ring);
    virtual ~LiveAnalysis();
    LiveAnalysis(const LiveAnalysis&) = delete;
    LiveAnalysis& operator=(const LiveAnalysis&) = delete;

    // The worker analyses what arrives until Stop (or the destruction).
    void Start();
    void Stop();
    // Analyses every column whose frame the ring holds, as long as there is
    // room to stage it; returns how many. The worker's step, and the tests'.
    int AnalyseArrived();
    // Audio thread: stores the staged columns where they are read and
    // clears the columns ahead. Allocates nothing.
    void Publish();

    // The doubled stores (not to be deleted): 2 x GetNumRingCols() columns.
    Spectrogram* GetSpectrogram() const { return _spectro; }
    Spectrogram* GetChromagram() const { return _chroma; }
    int GetNumRingCols() const { return _numCols; }
    // Columns published since the ring was made (release order): the
    // pictures may read every column up to the last of them.
    int64_t GetPublished() const { return _published.load(std::memory_order_acquire); }

private:
    void Run();
    // Copies column col (counted from the first) into both of its places.
    void StoreColumn(int64_t col);
    void ClearColumn(int64_t col);

    const LiveRing* _ring;
    int _numCols;
    Spectrogram* _spectro;
    Spectrogram* _chroma;
    // Where the worker analyses into, column col at col % STAGED_COLUMNS.
    Spectrogram* _stagedSpectro;
    Spectrogram* _stagedChroma;
    ChannelAnalysis* _analysis;
    // Worker only: the next column to analyse.
    int64_t _nextCol;
    std::atomic<int64_t> _analysed;
    std::atomic<int64_t> _published;
    std::atomic<bool> _running;
    std::thread _worker;
};
