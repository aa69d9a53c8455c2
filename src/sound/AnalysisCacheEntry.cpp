#include "sound/AnalysisCacheEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "sound/AnalysisCache.h"
#include "sound/ContentHash.h"
#include "sound/SoundLoader.h"
#include "sound/WholeFileIO.h"
#include "spectral/MappedRegion.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

namespace {
const char MAGIC[8] = {'Z', 'F', 'A', 'N', 'A', 'L', 'Y', 'S'};
// Parts start on this boundary, a multiple of every usual page size.
const size_t SECTION_ALIGN = 65536;
const size_t HEADER_SPACE = SECTION_ALIGN;
// Each part is fingerprinted in pieces of this size, so that the pieces of
// a large entry can be checked on every core at once.
const size_t PIECE_BYTES = 16 << 20;
// What a check reads at a time: small enough to stay in the core's cache.
const size_t READ_BLOCK_BYTES = 256 << 10;
const int FFT_SIZE = SamplesToSpectro::FFT_SIZE;
const int NUM_BINS = FFT_SIZE / 2;
static_assert(AnalysisCacheEntry::Writer::IMAGE_STRETCH_COLS * (size_t)NUM_BINS == PIECE_BYTES,
              "a stretch of the images fills whole pieces of their fingerprints");
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
    double rate;
    uint64_t totalBytes;
    double clipGain;
    float clipThreshold;
    uint32_t clipped;
    uint64_t payloadHash;
    uint64_t headerHash;
};

// Where each part of an entry starts; the channel's magnitudes and phases
// follow each other, so they are mapped together.
struct Layout {
    size_t magns[AnalysisCacheEntry::MAX_CHANNELS];
    size_t phases[AnalysisCacheEntry::MAX_CHANNELS];
    size_t spectroImage;
    size_t chromaImage;
    size_t total;
};

// One stretch of the entry that is written and fingerprinted on its own.
struct PartSpan {
    size_t offset;
    size_t bytes;
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

// The parts in the order of the file: each channel's magnitudes and phases,
// then the two images.
enum PartKind { MAGNITUDES, PHASES };

int PartOf(int chan, PartKind kind)
{
    return 2 * chan + kind;
}

int SpectroImagePart(int numChans)
{
    return 2 * numChans;
}

int ChromaImagePart(int numChans)
{
    return 2 * numChans + 1;
}

std::vector<PartSpan> MakeParts(int numCols, int numChans)
{
    Layout layout = MakeLayout(numCols, numChans);
    size_t n = NumValues(numCols);
    std::vector<PartSpan> parts;
    for (int k = 0; k < numChans; k++) {
        parts.push_back({layout.magns[k], n * sizeof(uint16_t)});
        parts.push_back({layout.phases[k], n * sizeof(float)});
    }
    parts.push_back({layout.spectroImage, n});
    parts.push_back({layout.chromaImage, n});
    return parts;
}

// Every piece of every part, in the order of their fingerprints.
std::vector<PartSpan> MakePieces(int numCols, int numChans)
{
    std::vector<PartSpan> pieces;
    for (const PartSpan& part : MakeParts(numCols, numChans)) {
        for (size_t done = 0; done < part.bytes; done += PIECE_BYTES)
            pieces.push_back({part.offset + done, std::min(PIECE_BYTES, part.bytes - done)});
    }
    return pieces;
}

// The pieces' fingerprints follow the header, within the header's space.
const size_t MAX_PIECES = (HEADER_SPACE - sizeof(EntryHeader)) / sizeof(uint64_t);

uint64_t HeaderHash(const EntryHeader& header)
{
    return ContentHash::Of(&header, offsetof(EntryHeader, headerHash), HEADER_SEED);
}

// The entry's header, if it is whole, of this version and describes this sound.
bool ReadHeader(int fd, uint64_t key, long numFrames, int numChans, double rate, EntryHeader* header)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !WholeFileIO::ReadAt(fd, header, sizeof(*header), 0))
        return false;
    int numCols = SamplesToSpectro::NumCols((int)numFrames);
    return std::memcmp(header->magic, MAGIC, sizeof(MAGIC)) == 0 && header->headerHash == HeaderHash(*header) &&
           header->version == AnalysisCacheEntry::ANALYSIS_VERSION && header->fftSize == (uint32_t)FFT_SIZE &&
           header->key == key && header->numFrames == (uint64_t)numFrames && header->numChans == (uint32_t)numChans &&
           header->rate == rate && header->numCols == (uint32_t)numCols &&
           header->totalBytes == MakeLayout(numCols, numChans).total && (uint64_t)info.st_size == header->totalBytes;
}

// The fingerprint of a stretch of the file, read in small blocks.
bool FingerprintOf(int fd, const PartSpan& piece, uint64_t* digest)
{
    std::vector<char> block(READ_BLOCK_BYTES);
    ContentHash hash(PAYLOAD_SEED);
    for (size_t done = 0; done < piece.bytes; done += block.size()) {
        size_t size = std::min(block.size(), piece.bytes - done);
        if (!WholeFileIO::ReadAt(fd, block.data(), size, (off_t)(piece.offset + done)))
            return false;
        hash.Update(block.data(), size);
    }
    *digest = hash.Digest();
    return true;
}

// Whether every piece of the entry matches its fingerprint, and the
// fingerprints the one the header holds. The pieces are read, not mapped,
// on every core.
bool PayloadMatches(int fd, const EntryHeader& header)
{
    std::vector<PartSpan> pieces = MakePieces((int)header.numCols, (int)header.numChans);
    if (pieces.size() > MAX_PIECES)
        return false;
    std::vector<uint64_t> digests(pieces.size());
    size_t tableBytes = pieces.size() * sizeof(uint64_t);
    if (!WholeFileIO::ReadAt(fd, digests.data(), tableBytes, sizeof(EntryHeader)) ||
        ContentHash::Of(digests.data(), tableBytes, PAYLOAD_SEED) != header.payloadHash)
        return false;
    std::atomic<bool> matches(true);
    SoundLoader::ParallelFor(pieces.size(), [&](size_t i) {
        uint64_t digest = 0;
        if (matches && (!FingerprintOf(fd, pieces[i], &digest) || digest != digests[i]))
            matches = false;
    });
    return matches;
}
}  // namespace

AnalysisCacheEntry::AnalysisCacheEntry(const std::string& path, uint64_t key, long numFrames, int numChans, double rate)
    : _path(path), _key(key), _numFrames(numFrames), _numChans(numChans), _rate(rate),
      _numCols(SamplesToSpectro::NumCols((int)numFrames))
{
}

bool AnalysisCacheEntry::HasShape(long numFrames, int numChans)
{
    return SamplesToSpectro::NumCols((int)numFrames) > 0 && numChans > 0 && numChans <= MAX_CHANNELS;
}

bool AnalysisCacheEntry::FitsHeader(long numFrames, int numChans)
{
    return MakePieces(SamplesToSpectro::NumCols((int)numFrames), numChans).size() <= MAX_PIECES;
}

bool AnalysisCacheEntry::Read(std::vector<Spectrogram*>* spectros, std::vector<Spectrogram*>* chromas) const
{
    int fd = open(_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    EntryHeader header;
    bool usable = ReadHeader(fd, _key, _numFrames, _numChans, _rate, &header) && PayloadMatches(fd, header);
    close(fd);
    return usable && Map(spectros, chromas);
}

bool AnalysisCacheEntry::ReadClipLevels(DSP::ClipLevels* levels) const
{
    int fd = open(_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    EntryHeader header;
    bool known = ReadHeader(fd, _key, _numFrames, _numChans, _rate, &header) && header.clipped != 0;
    close(fd);
    if (known)
        *levels = {header.clipThreshold, header.clipGain};
    return known;
}

bool AnalysisCacheEntry::IsOtherVersion(const std::string& path)
{
    EntryHeader header;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool read = WholeFileIO::ReadAt(fd, &header, offsetof(EntryHeader, fftSize), 0);
    close(fd);
    return read && std::memcmp(header.magic, MAGIC, sizeof(MAGIC)) == 0 && header.version != ANALYSIS_VERSION;
}

bool AnalysisCacheEntry::Map(std::vector<Spectrogram*>* spectros, std::vector<Spectrogram*>* chromas) const
{
    Layout layout = MakeLayout(_numCols, _numChans);
    size_t n = NumValues(_numCols);
    std::vector<Spectrogram*> madeSpectros, madeChromas;
    bool mapped = true;
    for (int k = 0; k < _numChans && mapped; k++) {
        size_t length = layout.phases[k] + n * sizeof(float) - layout.magns[k];
        Spectrogram* spectro =
            Spectrogram::FromMappedColumns(FFT_SIZE, _numCols, new MappedRegion(_path, layout.magns[k], length), 0,
                                           layout.phases[k] - layout.magns[k]);
        mapped = spectro != nullptr;
        if (mapped) {
            madeSpectros.push_back(spectro);
            madeChromas.push_back(new Spectrogram(spectro));
        }
    }
    if (mapped) {
        mapped = madeSpectros[IMAGE_CHANNEL]->MapImage(new MappedRegion(_path, layout.spectroImage, n), 0) &&
                 madeChromas[IMAGE_CHANNEL]->MapImage(new MappedRegion(_path, layout.chromaImage, n), 0);
    }
    if (!mapped) {
        for (size_t k = 0; k < madeSpectros.size(); k++) {
            delete madeChromas[k];
            delete madeSpectros[k];
        }
        return false;
    }
    *spectros = madeSpectros;
    *chromas = madeChromas;
    return true;
}

// One part of an entry as it is written, with the fingerprints of its
// pieces. Each piece is written from its start on, in order, by one thread
// at a time; different pieces may be written at once.
class AnalysisCacheEntry::Writer::Part {
public:
    explicit Part(const PartSpan& span) : _span(span), _pieces((span.bytes + PIECE_BYTES - 1) / PIECE_BYTES) {}
    virtual ~Part() {}

    // Writes size bytes from offset at of the part; errno's value when that
    // fails, EINVAL when they do not follow what their pieces hold, else 0.
    int Put(int fd, size_t at, const void* data, size_t size)
    {
        const char* p = static_cast<const char*>(data);
        if (at + size > _span.bytes)
            return EINVAL;
        while (size > 0) {
            Piece& piece = _pieces[at / PIECE_BYTES];
            if (piece.filled != at % PIECE_BYTES)
                return EINVAL;
            size_t take = std::min(size, PIECE_BYTES - piece.filled);
            piece.hash.Update(p, take);
            int error = WholeFileIO::WriteAt(fd, p, take, (off_t)(_span.offset + at));
            if (error != 0)
                return error;
            piece.filled += take;
            p += take;
            at += take;
            size -= take;
        }
        return 0;
    }
    // Zeros wherever nothing was written (the columns no analysis fills).
    int Complete(int fd)
    {
        static const char zeros[65536] = {};
        for (size_t i = 0; i < _pieces.size(); i++) {
            size_t pieceBytes = std::min(PIECE_BYTES, _span.bytes - i * PIECE_BYTES);
            while (_pieces[i].filled < pieceBytes) {
                size_t take = std::min(sizeof(zeros), pieceBytes - _pieces[i].filled);
                int error = Put(fd, i * PIECE_BYTES + _pieces[i].filled, zeros, take);
                if (error != 0)
                    return error;
            }
        }
        return 0;
    }
    void AddDigests(std::vector<uint64_t>* digests) const
    {
        for (const Piece& piece : _pieces)
            digests->push_back(piece.hash.Digest());
    }

private:
    struct Piece {
        ContentHash hash{PAYLOAD_SEED};
        size_t filled = 0;
    };

    PartSpan _span;
    std::vector<Piece> _pieces;
};

AnalysisCacheEntry::Writer::Writer(AnalysisCache* cache, const AnalysisCacheEntry& entry,
                                   const DSP::ClipLevels* clipLevels, int fd, const std::string& tmpPath)
    : _cache(cache), _entry(entry), _clipLevels(clipLevels != nullptr ? *clipLevels : DSP::ClipLevels()),
      _clipped(clipLevels != nullptr), _fd(fd), _tmpPath(tmpPath), _error(0)
{
    for (const PartSpan& span : MakeParts(_entry._numCols, _entry._numChans))
        _parts.push_back(new Part(span));
}

AnalysisCacheEntry::Writer::~Writer()
{
    for (Part* part : _parts)
        delete part;
    if (_fd >= 0) {
        close(_fd);
        unlink(_tmpPath.c_str());
    }
}

bool AnalysisCacheEntry::Writer::Append(int part, size_t at, const void* data, size_t size)
{
    if (_error == 0) {
        int error = _parts[part]->Put(_fd, at, data, size);
        if (error != 0)
            _error = error;
    }
    return _error == 0;
}

bool AnalysisCacheEntry::Writer::WriteColumns(int chan, int firstCol, int numCols, const Spectrogram& spectro)
{
    if (chan < 0 || chan >= _entry._numChans || firstCol < 0 || numCols < 0 || numCols > spectro.GetNumCols()) {
        _error = EINVAL;
        return false;
    }
    size_t first = NumValues(firstCol);
    size_t n = NumValues(numCols);
    return Append(PartOf(chan, MAGNITUDES), first * sizeof(uint16_t), spectro.GetHalfMagnData(),
                  n * sizeof(uint16_t)) &&
           Append(PartOf(chan, PHASES), first * sizeof(float), spectro.GetPhaseData(), n * sizeof(float));
}

bool AnalysisCacheEntry::Writer::WriteImages(int firstCol, int numCols, const Spectrogram& spectro,
                                             const Spectrogram& chroma)
{
    if (firstCol < 0 || numCols < 0 || numCols > spectro.GetNumCols() || spectro.GetImageLevels() == nullptr ||
        chroma.GetImageLevels() == nullptr) {
        _error = EINVAL;
        return false;
    }
    size_t first = NumValues(firstCol);
    size_t n = NumValues(numCols);
    return Append(SpectroImagePart(_entry._numChans), first, spectro.GetImageLevels(), n) &&
           Append(ChromaImagePart(_entry._numChans), first, chroma.GetImageLevels(), n);
}

bool AnalysisCacheEntry::Writer::Finish(std::vector<Spectrogram*>* spectros, std::vector<Spectrogram*>* chromas)
{
    std::vector<uint64_t> digests;
    for (Part* part : _parts) {
        int error = _error == 0 ? part->Complete(_fd) : 0;
        if (error != 0)
            _error = error;
        part->AddDigests(&digests);
    }
    EntryHeader header = {};
    std::memcpy(header.magic, MAGIC, sizeof(MAGIC));
    header.version = ANALYSIS_VERSION;
    header.fftSize = FFT_SIZE;
    header.key = _entry._key;
    header.numFrames = (uint64_t)_entry._numFrames;
    header.numChans = (uint32_t)_entry._numChans;
    header.numCols = (uint32_t)_entry._numCols;
    header.rate = _entry._rate;
    header.totalBytes = MakeLayout(_entry._numCols, _entry._numChans).total;
    header.clipGain = _clipLevels.gain;
    header.clipThreshold = _clipLevels.threshold;
    header.clipped = _clipped;
    size_t tableBytes = digests.size() * sizeof(uint64_t);
    header.payloadHash = ContentHash::Of(digests.data(), tableBytes, PAYLOAD_SEED);
    header.headerHash = HeaderHash(header);
    // The file takes its full size even when its last part ends in zeros.
    if (_error == 0 && (ftruncate(_fd, (off_t)header.totalBytes) != 0 ||
                        pwrite(_fd, &header, sizeof(header), 0) != (ssize_t)sizeof(header) ||
                        pwrite(_fd, digests.data(), tableBytes, sizeof(header)) != (ssize_t)tableBytes))
        _error = errno != 0 ? errno : EIO;
    if (close(_fd) != 0 && _error == 0)
        _error = errno;
    _fd = -1;
    if (_error == 0 && rename(_tmpPath.c_str(), _entry._path.c_str()) != 0)
        _error = errno;
    if (_error != 0) {
        unlink(_tmpPath.c_str());
        _cache->ReportUnwritable(_cache->GetDir(), _error);
        return false;
    }
    return spectros == nullptr || chromas == nullptr || _entry.Map(spectros, chromas);
}
