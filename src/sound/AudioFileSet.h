#pragma once

#include <sndfile.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sound/ConvertedSoundEntry.h"
#include "sound/EngineRate.h"

class AnalysisCache;
class AudioFile;
class LoadProgress;
class Resampler;

// The sound library: loads every sound of a directory once, at start-up,
// converts it to the engine's rate, and conditions it (stereo, no isolated
// peaks, peak at half scale, faded ends).
class AudioFileSet {
public:
    AudioFileSet();
    virtual ~AudioFileSet();

    // Loads every sound file of dirPath, which ends in "/", in byte order of
    // the file names, each converted to targetRate (the engine's, frames per
    // second) where it was recorded at another. A cache, where given (not
    // owned), keeps each converted sound for the next start at that rate and
    // gives it back then. A sound that would not fit in the memory left is
    // refused, as an unreadable file is. 0 when the directory could be read
    // (even with no sound in it), 1 when not.
    int Load(const std::string& dirPath, double targetRate = EngineRate::REFERENCE_RATE,
             AnalysisCache* cache = nullptr);
    // Told the name of every file as it is read (not owned; null for none).
    void SetProgress(LoadProgress* progress) { _progress = progress; }
    void Stereoize();
    // Clips isolated peaks and brings every sound's peak to half scale, as
    // the sound's cache entry says where it has one.
    void Normalize(const AnalysisCache* cache = nullptr);
    void Fade();
    const std::vector<AudioFile*>& GetAudioFiles() const { return _fileSet; }
    // For a new engine rate while the instrument runs: every sound as it is
    // now (conditioned) converted to targetRate, channel by channel on every
    // core, in a new set of its own (the caller owns it) with the same
    // sounds in the same order, said in progress (null for none); this set
    // is only read, so the scene plays on from it meanwhile. Null, said on
    // the console, when a sound does not fit in the memory left or the
    // progress is cancelled. The new set's sounds then go through
    // SoundLoader for their analysis at the new rate.
    AudioFileSet* ConvertedTo(double targetRate, LoadProgress* progress = nullptr) const;

private:
    void LoadFile(const std::string& name, const std::string& path, double targetRate, AnalysisCache* cache);
    // Whether bytes more fit in memory; said as the file's refusal when not.
    static bool FitsInMemory(const std::string& name, uint64_t bytes);
    // Reads the sound of sf, and converts it with resampler where that
    // changes it; false, said, when it cannot be.
    bool ReadAndConvert(const std::string& name, SNDFILE* sf, const SF_INFO& info, const std::string& path,
                        const struct stat& file, const Resampler& resampler, std::vector<float>* samples,
                        ConvertedSoundEntry::Contents* contents);
    // Converts the sound samples with resampler into converted, with their
    // fingerprint in key, said in progress (null for none); false, said,
    // when they cannot be.
    static bool Convert(const std::string& name, const Resampler& resampler, unsigned numChans,
                        const std::vector<float>& samples, LoadProgress* progress, std::vector<float>* converted,
                        uint64_t* key);
    // The room for numSamples samples, its pages brought in on every core.
    static void AllocateOnEveryCore(size_t numSamples, std::vector<float>* samples);
    // The fingerprint of samples, its pieces on every core.
    static uint64_t FingerprintOnEveryCore(const std::vector<float>& samples);
    // A descriptor of the regular file at path, or -1, said on the console.
    static int OpenRegularFile(const std::string& name, const std::string& path);
    // The entry's name on the error stream, the reason on the output.
    static void ReportRefused(const std::string& name, const char* reason);
    // What a file read in order may have room reserved for at once.
    static uint64_t ReservedFrames(const SF_INFO& info, sf_count_t fileBytes);
    // The frames of a file whose frames lie at known places and can be read
    // from anywhere, as many as the file can hold; -1 for other files.
    static sf_count_t FramesAtFixedPlaces(const SF_INFO& info, sf_count_t fileBytes);
    // The ReadIn... functions read every whole frame of sf at half scale
    // into samples, with their fingerprint in key, and return how many
    // non-finite samples became silence. This one reads in order.
    static uint64_t ReadInOrder(SNDFILE* sf, const SF_INFO& info, sf_count_t fileBytes, std::vector<float>* samples,
                                uint64_t* key);
    // This one reads numFrames frames at fixed places, in stretches on every core.
    static uint64_t ReadInStretches(SNDFILE* sf, const SF_INFO& info, sf_count_t numFrames, const std::string& path,
                                    const struct stat& file, std::vector<float>* samples, uint64_t* key);
    // A stream of its own on the file that was opened as file; null when
    // the name no longer leads to it.
    static SNDFILE* OpenAgain(const std::string& path, const struct stat& file);
    // Brings the pages of a stretch of memory that is not yet used into memory.
    static void TouchPages(float* samples, size_t count);
    // Half scale, non-finite samples silenced; returns how many were.
    static uint64_t ScaleAsRead(float* samples, size_t count);
    // The mean of the channels of the block of frames from first on; returns
    // how many frames the block received.
    static size_t MixDown(const AudioFile& file, uint64_t first, std::vector<float>* block);
    // Brings a sound whose peak lies beyond full scale back within it.
    static void LimitPeak(float peak, std::vector<float>* block);
    static AudioFile* ToStereo(AudioFile* file);

    std::vector<AudioFile*> _fileSet;
    LoadProgress* _progress;
};
