#pragma once

#include <cstdint>
#include <vector>

#include "sound/SamplesProvider.h"

class UISoundRect;

// The audio side of one rectangle on the canvas: one sound's samples, served
// to grain voices for the windows they ask for.
//
// The rect built at start-up owns the samples; its clones (one per grain
// voice) read the same immutable buffer, so memory does not grow with the
// number of voices. Originals live until the process ends, clones are
// deleted with their voices before that.
class SoundRect : public SamplesProvider {
public:
    SoundRect();
    virtual ~SoundRect() {}
    SoundRect(const SoundRect&) = delete;
    SoundRect& operator=(const SoundRect&) = delete;

    void RegisterUI(UISoundRect* ui) { _uiRect = ui; }
    // Copies the sound; called once, before any clone is made.
    void AssociateSamples(const std::vector<float>& samples, unsigned long nFrames, unsigned nChans);

    const std::vector<float>* GetSamples(int* nFrames, int* nChans) const;
    unsigned GetId() const { return _id; }
    UISoundRect* GetUI() const { return _uiRect; }

    SamplesProvider* Clone() override;
    void SetParamY(double paramY) override { _paramY = paramY; }
    void SetRange(double range) override { _range = range; }
    int GetNumSamples() override { return (int)(_nFrames * _nChans); }
    int GetNumChannels() override { return _nChans; }
    int GetNumFrames() override { return (int)_nFrames; }
    int GetBlockMinSamples() override;
    bool InternalPitchShift() override;
    void GetSamples(std::vector<float>* out, double start, double end, double timeStretch,
                    double direction, double pitch) override;

private:
    void CopyStoredSamples(std::vector<float>* out, double start, double end, double direction);

    UISoundRect* _uiRect;
    static uint32_t _currentId;
    uint32_t _id;
    std::vector<float> _ownSamples;
    const std::vector<float>* _samples;
    int64_t _nFrames;
    int _nChans;
    double _paramY;
    double _range;
    bool _isClone;
};
