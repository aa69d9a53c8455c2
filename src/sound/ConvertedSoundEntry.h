#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The file of one sound converted to the engine's rate, kept in the
// analysis cache's folder so that the next start at that rate reads it
// instead of reading the sound file and converting it again: a header naming
// the file it was converted from (its device, inode, size, and the times of
// its last change, which any write to it or any file put in its place
// moves), its channels, both rates, the converted samples' number and
// fingerprint and how many samples of the file were not numbers; then the
// converted samples as they lie in memory. A file that differs in any of
// these, or whose samples do not give the fingerprint, is never used.
class ConvertedSoundEntry {
public:
    // Changes whenever the conversion would give other samples.
    static const uint32_t VERSION = 1;

    // What a sound was converted from, and to.
    struct Origin {
        uint64_t device;
        uint64_t inode;
        uint64_t bytes;
        int64_t modifiedNs;
        int64_t changedNs;
        uint32_t numChans;
        uint32_t unused;
        double fromRate;
        double toRate;

        static Origin Of(const struct stat& file, int numChans, double fromRate, double toRate);
        // Names the entry among the others.
        uint64_t Digest() const;
    };
    // What the samples are, beside the samples themselves.
    struct Contents {
        uint64_t numSamples;
        // The fingerprint of the converted samples (see AudioFile::GetKey).
        uint64_t key;
        // Samples of the file that were not numbers and became silence.
        uint64_t replaced;
    };

    ConvertedSoundEntry(const std::string& path, const Origin& origin);
    virtual ~ConvertedSoundEntry() {}

    const std::string& GetPath() const { return _path; }
    // Reads the samples, in stretches on every core, into the room that
    // room(numSamples) gives (null to give up), and says what they are;
    // false when the entry cannot be used.
    bool Read(const std::function<float*(size_t numSamples)>& room, Contents* contents) const;
    // Writes the converted samples to the new file fd at tmpPath, then
    // renames it into place; 0, else the error's number.
    int Write(int fd, const std::string& tmpPath, const std::vector<float>& samples, const Contents& contents) const;

private:
    struct Header;
    Header MakeHeader(const Contents& contents) const;
    // Whether a header read is the one expected, its fingerprint included.
    static bool Matches(const Header& a, const Header& b);

    std::string _path;
    Origin _origin;
};
