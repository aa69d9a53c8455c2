#pragma once

#include <cstdint>
#include <vector>

#include "sound/SamplesProvider.h"

class Serializer;
class SpectralEnginePool;
class SpectroToSamples;
class Spectrogram;
class UISoundRect;

// The audio side of one rectangle on the canvas: one sound's samples, served
// to grain voices for the windows they ask for, and the spectrogram and
// chromagram of each channel, from which a band of frequencies or pitch
// classes is resynthesised when the view shows one of them.
//
// The rect built at start-up owns the samples; its clones (one per grain
// voice) read the same immutable buffer, so memory does not grow with the
// number of voices. The spectra are shared the same way (and owned by
// neither). Resynthesis engines carry the synthesis stream of one voice, so
// each clone owns its own, but only those its reads need: none for a plain
// waveform, the spectrogram's for a spectrogram view or a stretched
// waveform, the chromagram's for a chromagram view. They come from the
// original's engine pool (see SpectralEnginePool). Originals live until the
// process ends, clones are deleted with their voices before that.
class SoundRect : public SamplesProvider {
public:
    // First index of the resynthesis engines: the image they resynthesise.
    enum SpectrumType { SPECTROGRAM = 0, CHROMAGRAM = 1, NUM_SPECTRUM_TYPES = 2 };
    static constexpr int MAX_SPECTRAL_CHANNELS = 2;

    SoundRect();
    virtual ~SoundRect();
    SoundRect(const SoundRect&) = delete;
    SoundRect& operator=(const SoundRect&) = delete;

    void RegisterUI(UISoundRect* ui) { _uiRect = ui; }
    // Copies the sound; called once, before any clone is made.
    void AssociateSamples(const std::vector<float>& samples, unsigned long nFrames, unsigned nChans);
    // Reads the sound where it is, without a copy: samples must outlive the
    // rect and its clones and stay unchanged (the loaded sounds do).
    void ShareSamples(const std::vector<float>* samples, unsigned long nFrames, unsigned nChans);
    // The rect keeps the spectrum (not owned) and builds the channel's
    // resynthesis engine on it; channels from MAX_SPECTRAL_CHANNELS on are ignored.
    void AssociateSpectrogram(int chan, Spectrogram* spectrogram);
    void AssociateChromagram(int chan, Spectrogram* chromagram);
    Spectrogram* GetSpectrogram(int chan) const;
    Spectrogram* GetChromagram(int chan) const;

    const std::vector<float>* GetSamples(int* nFrames, int* nChans) const;
    // The frequency the spectrogram picture shows at a height fraction
    // (0 bottom, 1 top); the edges stand for all below and all above.
    static double SpectrogramLineToHz(double heightFraction);
    unsigned GetId() const { return _id; }
    UISoundRect* GetUI() const { return _uiRect; }

    // Identity and sound size (in frames at the reference rate, the same
    // sound's size at every rate), then the view's record.
    void Serialize(Serializer* serializer);
    // The rect keeps its own identity and the size of the sound it holds;
    // false when the record was saved for a sound of another size.
    bool UnSerialize(Serializer* serializer);
    long ReferenceLength() const;

    SamplesProvider* Clone() override;
    void PrepareToRead(double timeStretch) override;
    // The voices reading the rect will want the engines of its new view:
    // the GUI thread's next refill makes them.
    void ExpectView(int rectType);
    // The pool the rect's voices take engines from; null before any spectrum.
    SpectralEnginePool* GetEnginePool() const { return _pool; }
    void SetParamY(double paramY) override { _paramY = paramY; }
    void SetRange(double range) override { _range = range; }
    int GetNumSamples() override { return (int)(_nFrames * _nChans); }
    int GetNumChannels() override { return _nChans; }
    int GetNumFrames() override { return (int)_nFrames; }
    int GetBlockMinSamples() override;
    bool InternalPitchShift() override;
    void GetSamples(std::vector<float>* out, double start, double end, double timeStretch, double direction,
                    double pitch) override;
    bool GetStoredSamples(double timeStretch, const float** samples, float* gain) override;

private:
    // A plain waveform at its own speed: served as stored, times the cross-axis gain.
    bool IsPlainRead(double timeStretch) const;
    void Associate(SpectrumType type, int chan, Spectrogram* spectrum, SpectroToSamples* engine);
    // The engines a read in the current view at this stretch goes through.
    bool NeedsEngines(SpectrumType type, double timeStretch) const;
    bool HasEngines(SpectrumType type) const;
    // Whether the engines of the type are there to read with, taking a ready
    // set from the pool if need be (on the audio thread, without allocating).
    bool EnginesReady(SpectrumType type);
    bool TakeEngines(SpectrumType type);
    void CopyStoredSamples(std::vector<float>* out, double start, double end, double direction);
    // The stretched waveform: the whole band resynthesised at the stored level.
    void ResynthesiseWaveform(std::vector<float>* out, double start, double end, double timeStretch, double direction);
    // Resynthesises the window on every channel within band and interleaves
    // the channels into out.
    void Resynthesise(SpectrumType type, std::vector<float>* out, double start, double end, const double* band,
                      double timeStretch, double direction, double pitch);
    // The requested band of a spectrogram or chromagram as fractions of its
    // height: the cross-axis position plus and minus the range.
    void RequestedBand(double* band) const;
    // Room for the channel outputs of the longest reads of a voice, so that
    // serving them allocates nothing on the audio thread.
    void ReserveChannelOutputs();

    // What a voice's read looks at in every block comes first, within the
    // object's first cache line: thousands of clones are read per block,
    // and each further line they spread over is one more wait on memory.
    UISoundRect* _uiRect;
    const std::vector<float>* _samples;
    int64_t _nFrames;
    int _nChans;
    double _paramY;
    double _range;
    static uint32_t _currentId;
    uint32_t _id;
    std::vector<float> _ownSamples;
    Spectrogram* _spectro[MAX_SPECTRAL_CHANNELS];
    Spectrogram* _chroma[MAX_SPECTRAL_CHANNELS];
    // An original's are the prototypes its clones' engines are copied from.
    SpectroToSamples* _spectroToSamples[NUM_SPECTRUM_TYPES][MAX_SPECTRAL_CHANNELS];
    // Owned by the original, shared by its clones.
    SpectralEnginePool* _pool;
    // One resynthesised channel each, reused between requests.
    std::vector<float> _chanOutputs[MAX_SPECTRAL_CHANNELS];
    bool _isClone;
};
