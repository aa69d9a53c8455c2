#include "sound/LiveAnalysis.h"

#include <chrono>

#include "sound/LiveRing.h"
#include "spectral/ChannelAnalysis.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

namespace {
const int FFT_SIZE = SamplesToSpectro::FFT_SIZE;
const int HOP = SamplesToSpectro::HOP;
// How long the worker rests when nothing new has arrived: a few
// milliseconds keep the columns well within 100 ms of their sound.
const std::chrono::milliseconds IDLE_WAIT(4);
// Columns cleared ahead of the newest one: more than the analysis lags
// behind the write point, less than the ring's margin behind the shown past.
const int CLEARED_AHEAD = 32;
}  // namespace

LiveAnalysis::LiveAnalysis(const LiveRing* ring)
    : _ring(ring), _numCols((int)(ring->GetCapacity() / HOP)), _spectro(new Spectrogram(FFT_SIZE, 2 * _numCols)),
      _chroma(new Spectrogram(_spectro)), _stagedSpectro(new Spectrogram(FFT_SIZE, STAGED_COLUMNS)),
      _stagedChroma(new Spectrogram(_stagedSpectro)),
      _analysis(new ChannelAnalysis(_stagedSpectro, _stagedChroma, true, true)), _nextCol(0), _analysed(0),
      _published(0), _running(false)
{
    // The phases are stored ready for resynthesis as each column is analysed,
    // and both images exist before any column is published into them.
    _spectro->MarkPhasesPrepared();
    _spectro->PrepareImage();
    _chroma->PrepareImage();
    _stagedSpectro->PrepareImage();
    _stagedChroma->PrepareImage();
}

LiveAnalysis::~LiveAnalysis()
{
    Stop();
    delete _analysis;
    delete _stagedChroma;
    delete _stagedSpectro;
    delete _chroma;
    delete _spectro;
}

void LiveAnalysis::Start()
{
    if (_running.exchange(true))
        return;
    _worker = std::thread(&LiveAnalysis::Run, this);
}

void LiveAnalysis::Stop()
{
    _running = false;
    if (_worker.joinable())
        _worker.join();
}

void LiveAnalysis::Run()
{
    while (_running.load()) {
        if (AnalyseArrived() == 0)
            std::this_thread::sleep_for(IDLE_WAIT);
    }
}

int LiveAnalysis::AnalyseArrived()
{
    const int64_t settled = _ring->GetSettled();
    const float* left = _ring->GetSamples().data();
    int count = 0;
    while (_nextCol * HOP + FFT_SIZE <= settled &&
           _nextCol - _published.load(std::memory_order_acquire) < STAGED_COLUMNS) {
        const long first = _ring->RingFrame(_nextCol * HOP);
        _analysis->AnalyseColumn((int)(_nextCol % STAGED_COLUMNS), left + (size_t)first * LiveRing::CHANNELS,
                                 LiveRing::CHANNELS);
        _nextCol++;
        _analysed.store(_nextCol, std::memory_order_release);
        count++;
    }
    return count;
}

void LiveAnalysis::Publish()
{
    const int64_t analysed = _analysed.load(std::memory_order_acquire);
    int64_t col = _published.load(std::memory_order_relaxed);
    for (; col < analysed; col++) {
        StoreColumn(col);
        ClearColumn(col + CLEARED_AHEAD);
    }
    _published.store(col, std::memory_order_release);
}

void LiveAnalysis::StoreColumn(int64_t col)
{
    const int staged = (int)(col % STAGED_COLUMNS);
    const int first = (int)(col % _numCols);
    for (int place : {first, first + _numCols}) {
        _spectro->CopyCol(*_stagedSpectro, staged, place);
        _chroma->CopyCol(*_stagedChroma, staged, place);
    }
}

void LiveAnalysis::ClearColumn(int64_t col)
{
    const int first = (int)(col % _numCols);
    for (int place : {first, first + _numCols}) {
        _spectro->ClearCol(place);
        _chroma->ClearCol(place);
    }
}
