#include "sound/SoundRect.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "session/Serializer.h"
#include "sound/EngineRate.h"
#include "sound/SpectralEnginePool.h"
#include "spectral/ChromaToSamplesOverlapAddProcessor.h"
#include "spectral/DSP.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Scale.h"
#include "spectral/SpectroToSamples.h"
#include "spectral/SpectroToSamplesOverlapAddProcessor.h"
#include "spectral/Spectrogram.h"
#include "ui/UISoundRect.h"

namespace {
// Frames the spectral engines need ahead of the end of a window.
const int SPECTRAL_BLOCK_MIN_SAMPLES = 2048;
const double PLAIN_COPY_TOLERANCE = 1e-15;
// A voice reads at most a half block at sixteen times the speed at once.
const size_t RESERVED_CHANNEL_FRAMES = SpectroToSamples::MAX_REQUEST_FRAMES;
const double FULL_BAND[2] = {0.0, 1.0};
const int FFT_SIZE = SamplesToSpectro::FFT_SIZE;

// A rect with no view (as in the unit tests) plays as a waveform.
UISoundRect::RectType ViewType(const UISoundRect* ui)
{
    return ui != nullptr ? ui->GetRectType() : UISoundRect::WAVEFORM;
}
}  // namespace

uint32_t SoundRect::_currentId = 0;

double SoundRect::SpectrogramLineToHz(double heightFraction)
{
    // The picture has one row per bin below Nyquist. Row m shows what a
    // triangle of the mel filter bank gathers around its peak, the edge
    // m + 1 of numRows + 2 edges spaced evenly in mels from the frequency of
    // the second bin to Nyquist; the bank places a frequency at (hz + low)
    // bins of (high - low) / (numRows + 1) Hz, and bin i, which holds
    // i * binHz, covers the positions i ... i + 1.
    const int numRows = FFT_SIZE / 2;
    const double rate = EngineRate::Get();
    const double nyquist = rate / 2.0;
    if (heightFraction <= 0.0)
        return 0.0;
    if (heightFraction >= 1.0)
        return nyquist;
    const double low = (float)rate / (float)numRows;
    const double edge = (heightFraction * numRows + 0.5) / (numRows + 1);
    const double lowMel = Scale::HzToMel(low);
    const double hz = Scale::MelToHz(lowMel + edge * (Scale::HzToMel(nyquist) - lowMel));
    const double position = (hz + low) * (numRows + 1) / (nyquist - low);
    return (position - 0.5) * Scale::HzPerBin(FFT_SIZE, rate);
}

SoundRect::SoundRect()
    : _uiRect(nullptr), _samples(&_ownSamples), _nFrames(0), _nChans(0), _paramY(1.0), _range(10.0),
      _id(_currentId++), _spectro{nullptr, nullptr}, _chroma{nullptr, nullptr}, _spectroToSamples{{nullptr, nullptr},
                                                                                                  {nullptr, nullptr}},
      _pool(nullptr), _isClone(false)
{
}

SoundRect::~SoundRect()
{
    for (auto& engines : _spectroToSamples)
        for (SpectroToSamples* engine : engines)
            delete engine;
    if (_isClone && _pool != nullptr)
        _pool->RemoveReader();
    if (!_isClone)
        delete _pool;
}

void SoundRect::AssociateSamples(const std::vector<float>& samples, unsigned long nFrames, unsigned nChans)
{
    size_t count = (size_t)nFrames * nChans;
    _ownSamples.assign(count, 0.0f);
    std::copy_n(samples.begin(), std::min(count, samples.size()), _ownSamples.begin());
    _samples = &_ownSamples;
    _nFrames = nFrames;
    _nChans = nChans;
}

void SoundRect::ShareSamples(const std::vector<float>* samples, unsigned long nFrames, unsigned nChans)
{
    std::vector<float>().swap(_ownSamples);
    // Never more frames than the buffer holds.
    _nFrames = nChans > 0 ? std::min<size_t>(nFrames, samples->size() / nChans) : 0;
    _nChans = nChans;
    _samples = samples;
}

const std::vector<float>* SoundRect::GetSamples(int* nFrames, int* nChans) const
{
    *nFrames = (int)_nFrames;
    *nChans = _nChans;
    return _samples;
}

void SoundRect::AssociateSpectrogram(int chan, Spectrogram* spectrogram)
{
    if (chan < 0 || chan >= MAX_SPECTRAL_CHANNELS || spectrogram == nullptr)
        return;
    _spectro[chan] = spectrogram;
    Associate(SPECTROGRAM, chan, spectrogram,
              new SpectroToSamples(new SpectroToSamplesOverlapAddProcessor(spectrogram)));
}

void SoundRect::AssociateChromagram(int chan, Spectrogram* chromagram)
{
    if (chan < 0 || chan >= MAX_SPECTRAL_CHANNELS || chromagram == nullptr)
        return;
    _chroma[chan] = chromagram;
    Associate(CHROMAGRAM, chan, chromagram,
              new SpectroToSamples(new ChromaToSamplesOverlapAddProcessor(FFT_SIZE, EngineRate::Get(), chromagram)));
}

void SoundRect::Associate(SpectrumType type, int chan, Spectrogram* spectrum, SpectroToSamples* engine)
{
    // Neighbouring columns are interpolated in magnitude and phase, from
    // phases held exactly as principal values.
    spectrum->PreProcessPhases();
    delete _spectroToSamples[type][chan];
    _spectroToSamples[type][chan] = engine;
    if (_pool == nullptr)
        _pool = new SpectralEnginePool();
    _pool->SetPrototype(type, chan, engine);
    ReserveChannelOutputs();
}

Spectrogram* SoundRect::GetSpectrogram(int chan) const
{
    return chan >= 0 && chan < MAX_SPECTRAL_CHANNELS ? _spectro[chan] : nullptr;
}

Spectrogram* SoundRect::GetChromagram(int chan) const
{
    return chan >= 0 && chan < MAX_SPECTRAL_CHANNELS ? _chroma[chan] : nullptr;
}

void SoundRect::ReserveChannelOutputs()
{
    size_t frames = std::min((size_t)std::max<int64_t>(_nFrames, 0), RESERVED_CHANNEL_FRAMES);
    for (std::vector<float>& output : _chanOutputs)
        output.reserve(frames);
}

SamplesProvider* SoundRect::Clone()
{
    SoundRect* clone = new SoundRect();
    clone->_isClone = true;
    clone->_uiRect = _uiRect;
    clone->_samples = _samples;
    clone->_nFrames = _nFrames;
    clone->_nChans = _nChans;
    clone->_paramY = _paramY;
    clone->_range = _range;
    for (int chan = 0; chan < MAX_SPECTRAL_CHANNELS; chan++) {
        clone->_spectro[chan] = _spectro[chan];
        clone->_chroma[chan] = _chroma[chan];
    }
    clone->_pool = _pool;
    if (_pool != nullptr)
        _pool->AddReader();
    clone->ReserveChannelOutputs();
    return clone;
}

void SoundRect::PrepareToRead(double timeStretch)
{
    for (int type = 0; type < NUM_SPECTRUM_TYPES; type++) {
        if (!NeedsEngines(SpectrumType(type), timeStretch) || HasEngines(SpectrumType(type)))
            continue;
        SpectralEnginePool::EngineSet set = _pool->MakeSet(type);
        std::copy_n(set.engines, MAX_SPECTRAL_CHANNELS, _spectroToSamples[type]);
    }
}

bool SoundRect::NeedsEngines(SpectrumType type, double timeStretch) const
{
    if (_pool == nullptr || !_pool->HasPrototype(type))
        return false;
    UISoundRect::RectType view = ViewType(_uiRect);
    if (type == CHROMAGRAM)
        return view == UISoundRect::CHROMAGRAM;
    return view == UISoundRect::SPECTROGRAM || (view == UISoundRect::WAVEFORM && !IsPlainRead(timeStretch));
}

bool SoundRect::HasEngines(SpectrumType type) const
{
    return _spectroToSamples[type][0] != nullptr || _spectroToSamples[type][1] != nullptr;
}

bool SoundRect::EnginesReady(SpectrumType type)
{
    // A rect without the spectrum has nothing to make engines from: its
    // reads of it are silent.
    if (HasEngines(type) || _pool == nullptr || !_pool->HasPrototype(type))
        return true;
    return TakeEngines(type);
}

bool SoundRect::TakeEngines(SpectrumType type)
{
    SpectralEnginePool::EngineSet set;
    if (_pool == nullptr || !_pool->Take(type, &set))
        return false;
    std::copy_n(set.engines, MAX_SPECTRAL_CHANNELS, _spectroToSamples[type]);
    return true;
}

void SoundRect::ExpectView(int rectType)
{
    if (_pool == nullptr || _isClone)
        return;
    if (rectType == UISoundRect::SPECTROGRAM)
        _pool->Expect(SPECTROGRAM, _pool->Readers());
    else if (rectType == UISoundRect::CHROMAGRAM)
        _pool->Expect(CHROMAGRAM, _pool->Readers());
}

int SoundRect::GetBlockMinSamples()
{
    return ViewType(_uiRect) != UISoundRect::WAVEFORM ? SPECTRAL_BLOCK_MIN_SAMPLES : 0;
}

bool SoundRect::InternalPitchShift()
{
    return ViewType(_uiRect) != UISoundRect::WAVEFORM;
}

void SoundRect::GetSamples(std::vector<float>* out, double start, double end, double timeStretch, double direction,
                           double pitch)
{
    if (start < 0.0)
        return;
    end = std::min(end, start + (double)(_nFrames - 1));
    if (end - start <= 0.0)
        return;
    out->resize((size_t)_nChans * (int)(end - start));
    DSP::Silent(out);

    // Stretched waveforms and the spectrogram and chromagram views are
    // resynthesised by the spectral engines; the plain waveform is read as stored.
    double band[2];
    switch (ViewType(_uiRect)) {
    case UISoundRect::WAVEFORM:
        // Until the engines for a stretch are ready, the grain plays as stored.
        if (IsPlainRead(timeStretch) || !EnginesReady(SPECTROGRAM))
            CopyStoredSamples(out, start, end, direction);
        else
            ResynthesiseWaveform(out, start, end, timeStretch, direction);
        break;
    case UISoundRect::SPECTROGRAM:
        RequestedBand(band);
        // A band reaching an edge of the picture keeps all that lies beyond it.
        for (double& edge : band)
            edge = SpectrogramLineToHz(edge) / (EngineRate::Get() / 2.0);
        Resynthesise(SPECTROGRAM, out, start, end, band, timeStretch, direction, pitch);
        break;
    case UISoundRect::CHROMAGRAM:
        RequestedBand(band);
        Resynthesise(CHROMAGRAM, out, start, end, band, timeStretch, direction, pitch);
        break;
    }
}

bool SoundRect::IsPlainRead(double timeStretch) const
{
    return ViewType(_uiRect) == UISoundRect::WAVEFORM && std::fabs(timeStretch - 1.0) < PLAIN_COPY_TOLERANCE;
}

bool SoundRect::GetStoredSamples(double timeStretch, const float** samples, float* gain)
{
    if (!IsPlainRead(timeStretch))
        return false;
    *samples = _samples->data();
    // The same gain CopyStoredSamples applies.
    *gain = (float)_paramY;
    return true;
}

void SoundRect::RequestedBand(double* band) const
{
    band[0] = std::clamp(_paramY - _range / 100.0, 0.0, 1.0);
    band[1] = std::clamp(_paramY + _range / 100.0, 0.0, 1.0);
}

void SoundRect::Resynthesise(SpectrumType type, std::vector<float>* out, double start, double end, const double* band,
                             double timeStretch, double direction, double pitch)
{
    // A voice whose engines are not made yet stays silent for this read.
    if (!EnginesReady(type))
        return;
    const double window[2] = {start, end};
    for (int chan = 0; chan < MAX_SPECTRAL_CHANNELS; chan++) {
        std::vector<float>* channel = &_chanOutputs[chan];
        SpectroToSamples* engine = _spectroToSamples[type][chan];
        if (engine != nullptr) {
            engine->Process(channel, window, band, timeStretch, direction, pitch);
        } else {
            // A channel without an engine is silent.
            channel->assign((size_t)(int)(end - start), 0.0f);
        }
    }
    if (_nChans == 1)
        *out = _chanOutputs[0];
    else
        DSP::Interleave(_chanOutputs[0], _chanOutputs[1], out);
}

void SoundRect::ResynthesiseWaveform(std::vector<float>* out, double start, double end, double timeStretch,
                                     double direction)
{
    // The voice reads a waveform faster or slower for its pitch, so the
    // stream keeps the sound's own pitch. The level is the stored sound's at
    // the cross-axis gain, as on the plain path.
    Resynthesise(SPECTROGRAM, out, start, end, FULL_BAND, timeStretch, direction, 1.0);
    float gain = (float)(_paramY / Scale::DbToAmp(SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB));
    for (float& x : *out)
        x *= gain;
}

void SoundRect::CopyStoredSamples(std::vector<float>* out, double start, double end, double direction)
{
    // Past the end of the sound the window stays silent.
    int64_t first = (int64_t)_nChans * (int)start;
    int64_t count = (int64_t)_nChans * (int)(end - start);
    int64_t available = (int64_t)_nChans * _nFrames - first;
    count = std::min(count, available);
    if (count > 0)
        std::copy_n(_samples->begin() + first, count, out->begin());

    // On a waveform the cross axis is the grain's level.
    float gain = (float)_paramY;
    for (float& x : *out)
        x *= gain;
    if (direction < 0.0)
        DSP::Reverse(out, _nChans);
}

void SoundRect::Serialize(Serializer* serializer)
{
    serializer->PutInt((int)_id);
    serializer->PutLong(ReferenceLength());
    serializer->PutInt(_nChans);
    _uiRect->Serialize(serializer);
}

bool SoundRect::UnSerialize(Serializer* serializer)
{
    int id = 0, nChans = _nChans;
    long nFrames = ReferenceLength();
    serializer->GetInt(&id);
    serializer->GetLong(&nFrames);
    serializer->GetInt(&nChans);
    _uiRect->UnSerialize(serializer);
    // A sound converted to another rate may come out a frame longer or shorter.
    return std::labs(nFrames - ReferenceLength()) <= 1 && nChans == _nChans;
}

long SoundRect::ReferenceLength() const
{
    return std::lround(EngineRate::ToReferenceFrames(double(_nFrames)));
}
