#pragma once

#include <cstddef>
#include <vector>

// Buffer helpers shared by the sound library, the rects and the effects.
// Interleaved buffers hold frame 0 channel 0, frame 0 channel 1, frame 1 channel 0, ...
class DSP {
public:
    virtual ~DSP() {}

    // Scales the buffer so that its loudest sample sits at +-0.5.
    static void Normalize(std::vector<float>* buf);
    // Tames isolated peaks: samples louder than twice the mean level plus its
    // mean deviation are clipped to that threshold, so that one click does not
    // decide the gain of the whole sound on normalisation.
    static void AutomaticClipping(std::vector<float>* buf);
    // AutomaticClipping then Normalize, to the same bits, in three passes
    // over the buffer instead of five: the clipping can only bring the peak
    // down to its threshold, so the gain is known before anything is clipped.
    static void ClipAndNormalize(std::vector<float>* buf);
    // The two halves of ClipAndNormalize: what the whole sound decides (its
    // clipping threshold and gain), then what each sample gets, which any
    // stretch of the sound can be given on its own.
    struct ClipLevels {
        float threshold;
        double gain;
    };
    static ClipLevels MeasureClipAndNormalize(const float* x, size_t n);
    static void ApplyClipAndNormalize(const ClipLevels& levels, float* x, size_t n);
    // Linear ramps over the first / last fadeFrames frames; sounds no longer
    // than the ramp are left alone.
    static void FadeIn(std::vector<float>* buf, int nChans, int fadeFrames);
    static void FadeOut(std::vector<float>* buf, int nChans, int fadeFrames);
    // Stereo pair <-> interleaved stereo, over the frames that fit in every buffer.
    static void Interleave(const std::vector<float>& left, const std::vector<float>& right, std::vector<float>* out);
    static void DeInterleave(const std::vector<float>& in, std::vector<float>* left, std::vector<float>* right);
    // Plays the frames backwards; the channels of each frame keep their places.
    static void Reverse(std::vector<float>* buf, int nChans);
    static void Silent(std::vector<float>* buf);

    // Constant-power pan of an interleaved buffer whose first two channels
    // are left and right: balance -1 is all left, 1 all right; at 0 both
    // channels keep unity gain, at the sides the remaining one gains sqrt(2).
    static void Balance(std::vector<float>* buf, int nChans, double balance);
    // The same over the first nFrames frames, with the gains gliding from
    // those of fromBalance to those of toBalance, reached on the last frame.
    static void Balance(std::vector<float>* buf, int nChans, double fromBalance, double toBalance, size_t nFrames);
    // Quantises every sample downward onto 2^(1 + 15 (1 - ratio)) / 2 + 1 levels
    // between -1 and 1; ratio 0 leaves the buffer alone, ratio 1 keeps two levels.
    static void BitCrush(std::vector<float>* buf, double ratio);
    // Hard clip at +-(1 - ratio) with make-up gain, so the clip level plays at
    // +-1. At ratio 1 the gain would be infinite: every sample then goes to
    // its sign (+-1, silence stays silent), the limit of the curve.
    static void Saturation(std::vector<float>* buf, double ratio);
    // Keeps every sample within +-1.
    static void Clip(std::vector<float>* buf);
    // NaN and infinite samples become silence; returns how many there were.
    // Cheap when there are none, as on every block of a sane signal.
    static size_t SilenceNonFinite(float* samples, size_t n);

private:
    static void Ramp(std::vector<float>* buf, int nChans, int fadeFrames, bool rising);
};
