#include "sound/AnalysisCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>

#include <cerrno>
#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

#include "sound/ContentHash.h"
#include "sound/LoadProgress.h"
#include "sound/SoundLoader.h"
#include "spectral/MappedRegion.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

namespace {
const char MAGIC[8] = {'Z', 'F', 'A', 'N', 'A', 'L', 'Y', 'S'};
// Parts start on this boundary, a multiple of every usual page size.
const size_t SECTION_ALIGN = 65536;
const size_t HEADER_SPACE = SECTION_ALIGN;
// The payload is fingerprinted in pieces of this size, so that the pieces of
// a large entry can be checked on every core at once.
const size_t PIECE_BYTES = 16 << 20;
const int MAX_CHANNELS = 2;
const int IMAGE_CHANNEL = 0;
const int FFT_SIZE = SamplesToSpectro::FFT_SIZE;
const int NUM_BINS = FFT_SIZE / 2;
const char ENTRY_SUFFIX[] = ".analysis";
const char TEMPORARY_MARK[] = ".analysis.tmp.";
// A writer adds to its temporary file all the time; one untouched for this
// long belongs to a process that is gone, whatever now runs under its id.
const time_t ABANDONED_SECONDS = 3600;
const uint64_t PAYLOAD_SEED = 0x5A4F4C5441ULL;
const uint64_t HEADER_SEED = 0x46454E5249ULL;

struct EntryHeader {
    char magic[8];
    uint32_t version;
    uint32_t fftSize;
    uint64_t key;
    uint64_t numFrames;
    uint32_t numChans;
    uint32_t numCols;
    uint64_t totalBytes;
    uint64_t payloadHash;
    uint64_t headerHash;
};

// Where each part of an entry starts; the channel's magnitudes and phases
// follow each other, so they are mapped together.
struct Layout {
    size_t magns[MAX_CHANNELS];
    size_t phases[MAX_CHANNELS];
    size_t spectroImage;
    size_t chromaImage;
    size_t total;
};

size_t Align(size_t offset)
{
    return (offset + SECTION_ALIGN - 1) / SECTION_ALIGN * SECTION_ALIGN;
}

size_t NumValues(int numCols)
{
    return (size_t)numCols * NUM_BINS;
}

Layout MakeLayout(int numCols, int numChans)
{
    Layout layout = {};
    size_t n = NumValues(numCols);
    size_t cursor = HEADER_SPACE;
    for (int k = 0; k < numChans; k++) {
        layout.magns[k] = cursor;
        layout.phases[k] = Align(cursor + n * sizeof(uint16_t));
        cursor = Align(layout.phases[k] + n * sizeof(float));
    }
    layout.spectroImage = cursor;
    layout.chromaImage = Align(cursor + n);
    layout.total = layout.chromaImage + n;
    return layout;
}

// The pieces' fingerprints follow the header, within the header's space.
const size_t MAX_PIECES = (HEADER_SPACE - sizeof(EntryHeader)) / sizeof(uint64_t);

size_t NumPieces(size_t totalBytes)
{
    return (totalBytes - HEADER_SPACE + PIECE_BYTES - 1) / PIECE_BYTES;
}

uint64_t HeaderHash(const EntryHeader& header)
{
    return ContentHash::Of(&header, offsetof(EntryHeader, headerHash), HEADER_SEED);
}

bool ReadWhole(int fd, void* data, size_t size, off_t offset)
{
    char* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = pread(fd, p, size, offset);
        if (n <= 0)
            return false;
        p += n;
        size -= (size_t)n;
        offset += n;
    }
    return true;
}

// The entry's header, if it is whole, of this version and describes this sound.
bool ReadHeader(int fd, uint64_t key, long numFrames, int numChans, EntryHeader* header)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !ReadWhole(fd, header, sizeof(*header), 0))
        return false;
    int numCols = SamplesToSpectro::NumCols((int)numFrames);
    return std::memcmp(header->magic, MAGIC, sizeof(MAGIC)) == 0 && header->headerHash == HeaderHash(*header) &&
           header->version == AnalysisCache::ANALYSIS_VERSION && header->fftSize == (uint32_t)FFT_SIZE &&
           header->key == key && header->numFrames == (uint64_t)numFrames && header->numChans == (uint32_t)numChans &&
           header->numCols == (uint32_t)numCols && header->totalBytes == MakeLayout(numCols, numChans).total &&
           (uint64_t)info.st_size == header->totalBytes;
}

// Whether every piece of the payload matches its fingerprint, and the
// fingerprints the one the header holds. The pieces are read where the file
// is mapped, on every core.
bool PayloadMatches(int fd, const std::string& path, const EntryHeader& header)
{
    size_t numPieces = NumPieces(header.totalBytes);
    if (numPieces > MAX_PIECES)
        return false;
    std::vector<uint64_t> digests(numPieces);
    size_t tableBytes = numPieces * sizeof(uint64_t);
    if (!ReadWhole(fd, digests.data(), tableBytes, sizeof(EntryHeader)) ||
        ContentHash::Of(digests.data(), tableBytes, PAYLOAD_SEED) != header.payloadHash)
        return false;
    size_t payloadBytes = header.totalBytes - HEADER_SPACE;
    MappedRegion payload(path, HEADER_SPACE, payloadBytes);
    if (!payload.IsValid())
        return false;
    const char* data = static_cast<const char*>(payload.GetData());
    std::atomic<bool> matches(true);
    SoundLoader::ParallelFor(numPieces, [&](size_t i) {
        size_t size = std::min(PIECE_BYTES, payloadBytes - i * PIECE_BYTES);
        if (matches && ContentHash::Of(data + i * PIECE_BYTES, size, PAYLOAD_SEED) != digests[i])
            matches = false;
    });
    return matches;
}

// Writes into a file, zero padding up to section boundaries, and
// fingerprints all it writes after the header, piece by piece.
class EntryWriter {
public:
    explicit EntryWriter(int fd) : _fd(fd), _offset(0), _piece(PAYLOAD_SEED), _pieceBytes(0), _error(0) {}

    void PadTo(size_t offset)
    {
        static const char zeros[4096] = {};
        while (_offset < offset && _error == 0)
            Put(zeros, std::min(sizeof(zeros), offset - _offset));
    }
    void Put(const void* data, size_t size)
    {
        const char* p = static_cast<const char*>(data);
        Fingerprint(p, size);
        while (size > 0 && _error == 0) {
            ssize_t n = write(_fd, p, size);
            if (n < 0) {
                if (errno != EINTR)
                    _error = errno;
                continue;
            }
            p += n;
            size -= (size_t)n;
            _offset += (size_t)n;
        }
    }
    // The header, and after it the fingerprints of the pieces.
    bool WriteHeader(EntryHeader* header)
    {
        if (_pieceBytes > 0)
            _digests.push_back(_piece.Digest());
        size_t tableBytes = _digests.size() * sizeof(uint64_t);
        if (_digests.size() > MAX_PIECES && _error == 0)
            _error = EFBIG;
        header->payloadHash = ContentHash::Of(_digests.data(), tableBytes, PAYLOAD_SEED);
        header->headerHash = HeaderHash(*header);
        if (_error == 0 && (pwrite(_fd, header, sizeof(*header), 0) != (ssize_t)sizeof(*header) ||
                            pwrite(_fd, _digests.data(), tableBytes, sizeof(*header)) != (ssize_t)tableBytes))
            _error = errno != 0 ? errno : EIO;
        return _error == 0;
    }
    int GetError() const { return _error; }

private:
    void Fingerprint(const char* p, size_t size)
    {
        // The header is written last and is fingerprinted on its own.
        if (_offset < HEADER_SPACE) {
            size_t skipped = std::min(size, HEADER_SPACE - _offset);
            p += skipped;
            size -= skipped;
        }
        while (size > 0) {
            size_t take = std::min(size, PIECE_BYTES - _pieceBytes);
            _piece.Update(p, take);
            p += take;
            size -= take;
            _pieceBytes += take;
            if (_pieceBytes == PIECE_BYTES) {
                _digests.push_back(_piece.Digest());
                _piece = ContentHash(PAYLOAD_SEED);
                _pieceBytes = 0;
            }
        }
    }

    int _fd;
    size_t _offset;
    ContentHash _piece;
    size_t _pieceBytes;
    std::vector<uint64_t> _digests;
    int _error;
};
}  // namespace

AnalysisCache::AnalysisCache(const std::string& dir, uint64_t maxBytes)
    : _dir(dir), _maxBytes(maxBytes), _reportedUnwritable(false)
{
}

std::string AnalysisCache::DefaultDir()
{
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/zoltafenri";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return std::string(home) + "/.cache/zoltafenri";
    return "";
}

uint64_t AnalysisCache::SoundKey(const std::vector<float>& samples)
{
    return ContentHash::Of(samples.data(), samples.size() * sizeof(float));
}

std::string AnalysisCache::EntryPath(uint64_t key, long numFrames, int numChans) const
{
    char name[96];
    snprintf(name, sizeof(name), "/%016" PRIx64 "-%ld-%d.analysis", key, numFrames, numChans);
    return _dir + name;
}

bool AnalysisCache::Read(uint64_t key, long numFrames, int numChans, std::vector<Spectrogram*>* spectros,
                         std::vector<Spectrogram*>* chromas) const
{
    int numCols = SamplesToSpectro::NumCols((int)numFrames);
    if (_dir.empty() || numCols <= 0 || numChans <= 0 || numChans > MAX_CHANNELS)
        return false;
    std::string path = EntryPath(key, numFrames, numChans);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    EntryHeader header;
    bool usable = ReadHeader(fd, key, numFrames, numChans, &header) && PayloadMatches(fd, path, header);
    close(fd);
    if (!usable)
        return false;

    Layout layout = MakeLayout(numCols, numChans);
    size_t n = NumValues(numCols);
    std::vector<Spectrogram*> madeSpectros, madeChromas;
    bool mapped = true;
    for (int k = 0; k < numChans && mapped; k++) {
        size_t length = layout.phases[k] + n * sizeof(float) - layout.magns[k];
        Spectrogram* spectro = Spectrogram::FromMappedColumns(
            FFT_SIZE, numCols, new MappedRegion(path, layout.magns[k], length), 0, layout.phases[k] - layout.magns[k]);
        mapped = spectro != nullptr;
        if (mapped) {
            madeSpectros.push_back(spectro);
            madeChromas.push_back(new Spectrogram(spectro));
        }
    }
    if (mapped) {
        mapped = madeSpectros[IMAGE_CHANNEL]->MapImage(new MappedRegion(path, layout.spectroImage, n), 0) &&
                 madeChromas[IMAGE_CHANNEL]->MapImage(new MappedRegion(path, layout.chromaImage, n), 0);
    }
    if (!mapped) {
        for (size_t k = 0; k < madeSpectros.size(); k++) {
            delete madeChromas[k];
            delete madeSpectros[k];
        }
        return false;
    }
    MarkUsed(path);
    *spectros = madeSpectros;
    *chromas = madeChromas;
    return true;
}

bool AnalysisCache::Write(uint64_t key, long numFrames, int numChans, const std::vector<Spectrogram*>& spectros,
                          const std::vector<Spectrogram*>& chromas, const LoadProgress* progress)
{
    int numCols = SamplesToSpectro::NumCols((int)numFrames);
    if (_dir.empty() || numCols <= 0 || numChans <= 0 || numChans > MAX_CHANNELS || (int)spectros.size() != numChans ||
        (int)chromas.size() != numChans || spectros[IMAGE_CHANNEL]->GetImageLevels() == nullptr ||
        chromas[IMAGE_CHANNEL]->GetImageLevels() == nullptr)
        return false;
    if (mkdir(_dir.c_str(), 0755) != 0 && errno != EEXIST) {
        // Parents first: the folder may be the first of its kind on the machine.
        std::string parent = _dir.substr(0, _dir.rfind('/'));
        if (parent.empty() || (mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) ||
            (mkdir(_dir.c_str(), 0755) != 0 && errno != EEXIST)) {
            ReportUnwritable(_dir, errno);
            return false;
        }
    }
    std::string path = EntryPath(key, numFrames, numChans);
    // Unique per process and thread, so that concurrent writers never share one.
    MarkUsed(path);
    std::string tmpPath = path + ".tmp." + std::to_string(getpid()) + "." +
                          std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()));
    int fd = open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        ReportUnwritable(_dir, errno);
        return false;
    }

    Layout layout = MakeLayout(numCols, numChans);
    size_t n = NumValues(numCols);
    EntryWriter writer(fd);
    writer.PadTo(HEADER_SPACE);
    bool cancelled = false;
    for (int k = 0; k < numChans && !cancelled; k++) {
        writer.PadTo(layout.magns[k]);
        writer.Put(spectros[k]->GetHalfMagnData(), n * sizeof(uint16_t));
        writer.PadTo(layout.phases[k]);
        writer.Put(spectros[k]->GetPhaseData(), n * sizeof(float));
        cancelled = progress != nullptr && progress->IsCancelled();
    }
    writer.PadTo(layout.spectroImage);
    writer.Put(spectros[IMAGE_CHANNEL]->GetImageLevels(), n);
    writer.PadTo(layout.chromaImage);
    writer.Put(chromas[IMAGE_CHANNEL]->GetImageLevels(), n);

    EntryHeader header = {};
    std::memcpy(header.magic, MAGIC, sizeof(MAGIC));
    header.version = ANALYSIS_VERSION;
    header.fftSize = FFT_SIZE;
    header.key = key;
    header.numFrames = (uint64_t)numFrames;
    header.numChans = (uint32_t)numChans;
    header.numCols = (uint32_t)numCols;
    header.totalBytes = layout.total;
    bool written = !cancelled && writer.WriteHeader(&header);
    int error = writer.GetError();
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(tmpPath.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(tmpPath.c_str());
        if (!cancelled)
            ReportUnwritable(_dir, error);
    }
    return written;
}

void AnalysisCache::MarkUsed(const std::string& path) const
{
    {
        std::lock_guard<std::mutex> lock(_usedMutex);
        _used.insert(path);
    }
    // Only the access time: the modification time says when it was written.
    const timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_OMIT}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

namespace {
bool EndsWith(const std::string& name, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return name.size() >= n && name.compare(name.size() - n, n, suffix) == 0;
}

// Whether a temporary file's writer, named by the process id after the
// mark, is gone.
bool WriterIsGone(const std::string& name, const struct stat& info)
{
    if (time(nullptr) - info.st_mtime > ABANDONED_SECONDS)
        return true;
    long pid = std::strtol(name.c_str() + name.find(TEMPORARY_MARK) + std::strlen(TEMPORARY_MARK), nullptr, 10);
    return pid > 0 && kill((pid_t)pid, 0) != 0 && errno == ESRCH;
}
}  // namespace

void AnalysisCache::Tidy()
{
    DIR* dir = _dir.empty() ? nullptr : opendir(_dir.c_str());
    if (dir == nullptr)
        return;
    struct Entry {
        std::string path;
        uint64_t bytes;
        timespec used;
    };
    std::vector<Entry> entries;
    uint64_t total = 0;
    while (dirent* item = readdir(dir)) {
        std::string name = item->d_name;
        std::string path = _dir + "/" + name;
        struct stat info;
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (name.find(TEMPORARY_MARK) != std::string::npos) {
            if (WriterIsGone(name, info))
                unlink(path.c_str());
        } else if (EndsWith(name, ENTRY_SUFFIX)) {
            entries.push_back({path, (uint64_t)info.st_size, info.st_atim});
            total += (uint64_t)info.st_size;
        }
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec : a.used.tv_nsec < b.used.tv_nsec;
    });
    std::lock_guard<std::mutex> lock(_usedMutex);
    for (const Entry& entry : entries) {
        if (total <= _maxBytes)
            break;
        if (_used.count(entry.path) == 0 && unlink(entry.path.c_str()) == 0)
            total -= entry.bytes;
    }
}

void AnalysisCache::ReportUnwritable(const std::string& what, int error)
{
    if (_reportedUnwritable.exchange(true))
        return;
    std::cerr << "The analysis cache " << what << " cannot be written (" << std::strerror(error)
              << "): the sounds will be analysed again at the next start." << std::endl;
}
