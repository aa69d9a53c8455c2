#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

class AudioFile;
class LoadProgress;

// The sound library: loads every sound of a directory once, at start-up, and
// conditions it (stereo, no isolated peaks, peak at half scale, faded ends).
class AudioFileSet {
public:
    AudioFileSet();
    virtual ~AudioFileSet();

    // Loads every sound file of dirPath, which ends in "/". 0 when the
    // directory could be read (even with no sound in it), 1 when not.
    int Load(const std::string& dirPath);
    // Told the name of every file as it is read (not owned; null for none).
    void SetProgress(LoadProgress* progress) { _progress = progress; }
    void Stereoize();
    void Normalize();
    void Fade();
    const std::vector<AudioFile*>& GetAudioFiles() const { return _fileSet; }

private:
    void LoadFile(const std::string& name, const std::string& path);
    // A descriptor of the regular file at path, or -1, said on the console.
    static int OpenRegularFile(const std::string& name, const std::string& path);
    // The entry's name on the error stream, the reason on the output.
    static void ReportRefused(const std::string& name, const char* reason);
    // Appends every whole frame of sf, at half scale; returns how many
    // non-finite samples became silence.
    static uint64_t ReadFrames(SNDFILE* sf, const SF_INFO& info, sf_count_t fileBytes, std::vector<float>* samples);
    // The mean of the channels of the block of frames from first on; returns
    // how many frames the block received.
    static size_t MixDown(const AudioFile& file, uint64_t first, std::vector<float>* block);
    // Brings a sound whose peak lies beyond full scale back within it.
    static void LimitPeak(float peak, std::vector<float>* block);
    static AudioFile* ToStereo(AudioFile* file);

    std::vector<AudioFile*> _fileSet;
    LoadProgress* _progress;
};
