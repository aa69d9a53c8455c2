#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The file of one sound converted to the engine's rate, kept in the
// analysis cache's folder so that the next start at that rate reads it
// rather than converting the sound again: a header naming the samples it
// was converted from (their fingerprint, frames and channels), both rates,
// the converted frames and their fingerprint, then the converted samples as
// they lie in memory. A file that differs in any of these, or whose samples
// do not give the fingerprint, is never used.
class ConvertedSoundEntry {
public:
    // Changes whenever the conversion would give other samples.
    static const uint32_t VERSION = 1;

    ConvertedSoundEntry(const std::string& path, uint64_t sourceKey, long sourceFrames, int numChans, double fromRate,
                        double toRate);
    virtual ~ConvertedSoundEntry() {}

    const std::string& GetPath() const { return _path; }
    // The numSamples converted samples, read into samples in stretches on
    // every core, and their fingerprint; false when the entry cannot be used.
    bool Read(float* samples, size_t numSamples, uint64_t* key) const;
    // Writes the converted samples, whose fingerprint is key, to the new file
    // fd at tmpPath, then renames it into place; 0, else the error's number.
    int Write(int fd, const std::string& tmpPath, const std::vector<float>& samples, uint64_t key) const;

private:
    struct Header;
    Header MakeHeader(size_t numSamples, uint64_t key) const;

    std::string _path;
    uint64_t _sourceKey;
    long _sourceFrames;
    int _numChans;
    double _fromRate;
    double _toRate;
};
