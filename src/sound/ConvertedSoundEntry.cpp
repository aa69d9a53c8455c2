#include "sound/ConvertedSoundEntry.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "sound/ContentHash.h"
#include "sound/SampleFingerprint.h"
#include "sound/SoundLoader.h"
#include "sound/WholeFileIO.h"

namespace {
const char MAGIC[8] = {'Z', 'F', 'C', 'O', 'N', 'V', 'R', 'T'};
// The samples start on a page.
const size_t DATA_OFFSET = 4096;
// What a read asks for at a time: small enough to be fingerprinted while it
// is still in the core's cache.
const size_t READ_BLOCK_SAMPLES = 65536;
const uint64_t HEADER_SEED = 0x434F4E56ULL;
// Beyond any sound a machine holds: a header claiming more is damaged.
const uint64_t MAX_SAMPLES = 1ULL << 40;
}  // namespace

struct ConvertedSoundEntry::Header {
    char magic[8];
    uint32_t version;
    uint32_t unused;
    Origin origin;
    Contents contents;
    uint64_t headerHash;
};

ConvertedSoundEntry::Origin ConvertedSoundEntry::Origin::Of(const struct stat& file, int numChans, double fromRate,
                                                            double toRate)
{
    Origin origin = {};
    origin.device = (uint64_t)file.st_dev;
    origin.inode = (uint64_t)file.st_ino;
    origin.bytes = (uint64_t)file.st_size;
    origin.modifiedNs = (int64_t)file.st_mtim.tv_sec * 1000000000 + file.st_mtim.tv_nsec;
    origin.changedNs = (int64_t)file.st_ctim.tv_sec * 1000000000 + file.st_ctim.tv_nsec;
    origin.numChans = (uint32_t)numChans;
    origin.fromRate = fromRate;
    origin.toRate = toRate;
    return origin;
}

uint64_t ConvertedSoundEntry::Origin::Digest() const
{
    return ContentHash::Of(this, sizeof(*this), HEADER_SEED);
}

bool ConvertedSoundEntry::Matches(const Header& a, const Header& b)
{
    const Origin& x = a.origin;
    const Origin& y = b.origin;
    return std::memcmp(a.magic, b.magic, sizeof(a.magic)) == 0 && a.version == b.version && x.device == y.device &&
           x.inode == y.inode && x.bytes == y.bytes && x.modifiedNs == y.modifiedNs && x.changedNs == y.changedNs &&
           x.numChans == y.numChans && x.fromRate == y.fromRate && x.toRate == y.toRate && a.headerHash == b.headerHash;
}

ConvertedSoundEntry::ConvertedSoundEntry(const std::string& path, const Origin& origin) : _path(path), _origin(origin)
{
}

ConvertedSoundEntry::Header ConvertedSoundEntry::MakeHeader(const Contents& contents) const
{
    Header header = {};
    std::memcpy(header.magic, MAGIC, sizeof(MAGIC));
    header.version = VERSION;
    header.origin = _origin;
    header.contents = contents;
    header.headerHash = ContentHash::Of(&header, offsetof(Header, headerHash), HEADER_SEED);
    return header;
}

bool ConvertedSoundEntry::Read(const std::function<float*(size_t numSamples)>& room, Contents* contents) const
{
    int fd = open(_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    Header header = {};
    struct stat info;
    bool usable = fstat(fd, &info) == 0 && WholeFileIO::ReadAt(fd, &header, sizeof(header), 0);
    // A whole header of this version, for this sound, saying the file's size.
    Header expected = MakeHeader(header.contents);
    const size_t numSamples = (size_t)header.contents.numSamples;
    usable = usable && Matches(header, expected) && numSamples <= MAX_SAMPLES &&
             (uint64_t)info.st_size == DATA_OFFSET + numSamples * sizeof(float);
    float* samples = usable ? room(numSamples) : nullptr;
    if (samples == nullptr) {
        close(fd);
        return false;
    }
    // In stretches on every core, each starting on a piece of the
    // fingerprint, as the sound files are read.
    const size_t unit = SampleFingerprint::PIECE_SAMPLES;
    SampleFingerprint fingerprint(numSamples);
    std::atomic<bool> read(true);
    SoundLoader::ParallelFor((numSamples + unit - 1) / unit, [&](size_t u) {
        size_t end = std::min(numSamples, (u + 1) * unit);
        for (size_t at = u * unit; at < end && read; at += READ_BLOCK_SAMPLES) {
            size_t count = std::min(READ_BLOCK_SAMPLES, end - at);
            if (!WholeFileIO::ReadAt(fd, samples + at, count * sizeof(float),
                                     (off_t)(DATA_OFFSET + at * sizeof(float))))
                read = false;
            fingerprint.Feed(at, samples + at, count);
        }
    });
    close(fd);
    if (!read || fingerprint.Digest(numSamples) != header.contents.key)
        return false;
    *contents = header.contents;
    return true;
}

int ConvertedSoundEntry::Write(int fd, const std::string& tmpPath, const std::vector<float>& samples,
                               const Contents& contents) const
{
    Header header = MakeHeader(contents);
    int error = WholeFileIO::WriteAt(fd, &header, sizeof(header), 0);
    if (error == 0)
        error = WholeFileIO::WriteAt(fd, samples.data(), samples.size() * sizeof(float), DATA_OFFSET);
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
