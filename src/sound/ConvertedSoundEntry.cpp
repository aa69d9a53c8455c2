#include "sound/ConvertedSoundEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "sound/ContentHash.h"
#include "sound/SampleFingerprint.h"
#include "sound/SoundLoader.h"

namespace {
const char MAGIC[8] = {'Z', 'F', 'C', 'O', 'N', 'V', 'R', 'T'};
// The samples start on a page.
const size_t DATA_OFFSET = 4096;
// What a read asks for at a time: small enough to be fingerprinted while it
// is still in the core's cache.
const size_t READ_BLOCK_SAMPLES = 65536;
const uint64_t HEADER_SEED = 0x434F4E56ULL;
}  // namespace

struct ConvertedSoundEntry::Header {
    char magic[8];
    uint32_t version;
    uint32_t numChans;
    uint64_t sourceKey;
    uint64_t sourceFrames;
    double fromRate;
    double toRate;
    uint64_t numSamples;
    uint64_t key;
    uint64_t headerHash;
};

namespace {
uint64_t HeaderHash(const void* header, size_t bytes)
{
    return ContentHash::Of(header, bytes, HEADER_SEED);
}

bool ReadWhole(int fd, void* data, size_t size, off_t offset)
{
    char* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = pread(fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= (size_t)n;
        offset += n;
    }
    return true;
}

int WriteWhole(int fd, const void* data, size_t size, off_t offset)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = pwrite(fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        p += n;
        size -= (size_t)n;
        offset += n;
    }
    return 0;
}
}  // namespace

ConvertedSoundEntry::ConvertedSoundEntry(const std::string& path, uint64_t sourceKey, long sourceFrames,
                                         int numChans, double fromRate, double toRate)
    : _path(path), _sourceKey(sourceKey), _sourceFrames(sourceFrames), _numChans(numChans), _fromRate(fromRate),
      _toRate(toRate)
{
}

ConvertedSoundEntry::Header ConvertedSoundEntry::MakeHeader(size_t numSamples, uint64_t key) const
{
    Header header = {};
    std::memcpy(header.magic, MAGIC, sizeof(MAGIC));
    header.version = VERSION;
    header.numChans = (uint32_t)_numChans;
    header.sourceKey = _sourceKey;
    header.sourceFrames = (uint64_t)_sourceFrames;
    header.fromRate = _fromRate;
    header.toRate = _toRate;
    header.numSamples = numSamples;
    header.key = key;
    header.headerHash = HeaderHash(&header, offsetof(Header, headerHash));
    return header;
}

bool ConvertedSoundEntry::Read(float* samples, size_t numSamples, uint64_t* key) const
{
    int fd = open(_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    Header header;
    struct stat info;
    bool usable = fstat(fd, &info) == 0 && ReadWhole(fd, &header, sizeof(header), 0);
    // Everything but the fingerprint of the samples, which is only known once they are read.
    Header expected = MakeHeader(numSamples, header.key);
    usable = usable && std::memcmp(&header, &expected, sizeof(header)) == 0 &&
             (uint64_t)info.st_size == DATA_OFFSET + numSamples * sizeof(float);
    if (!usable) {
        close(fd);
        return false;
    }
    // In stretches on every core, each starting on a piece of the
    // fingerprint, as the sound files are read.
    const size_t unit = SampleFingerprint::PIECE_SAMPLES;
    const size_t numUnits = (numSamples + unit - 1) / unit;
    SampleFingerprint fingerprint(numSamples);
    std::atomic<bool> read(true);
    SoundLoader::ParallelFor(numUnits, [&](size_t u) {
        size_t end = std::min(numSamples, (u + 1) * unit);
        for (size_t at = u * unit; at < end && read; at += READ_BLOCK_SAMPLES) {
            size_t count = std::min(READ_BLOCK_SAMPLES, end - at);
            if (!ReadWhole(fd, samples + at, count * sizeof(float), (off_t)(DATA_OFFSET + at * sizeof(float))))
                read = false;
            fingerprint.Feed(at, samples + at, count);
        }
    });
    close(fd);
    if (!read || fingerprint.Digest(numSamples) != header.key)
        return false;
    *key = header.key;
    return true;
}

int ConvertedSoundEntry::Write(int fd, const std::string& tmpPath, const std::vector<float>& samples,
                               uint64_t key) const
{
    Header header = MakeHeader(samples.size(), key);
    int error = WriteWhole(fd, &header, sizeof(header), 0);
    if (error == 0)
        error = WriteWhole(fd, samples.data(), samples.size() * sizeof(float), DATA_OFFSET);
    if (error == 0 && ftruncate(fd, (off_t)(DATA_OFFSET + samples.size() * sizeof(float))) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(tmpPath.c_str(), _path.c_str()) != 0)
        error = errno;
    if (error != 0)
        unlink(tmpPath.c_str());
    return error;
}
