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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

#include "sound/ConvertedSoundEntry.h"
#include "sound/LoadProgress.h"
#include "sound/SampleFingerprint.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

namespace {
const char ENTRY_SUFFIX[] = ".analysis";
const char CONVERTED_SUFFIX[] = ".converted";
// Written under the entry's name with this and the writer's process and thread after it.
const char TEMPORARY_MARK[] = ".tmp.";
// A writer adds to its temporary file all the time; one untouched for this
// long belongs to a process that is gone, whatever now runs under its id.
const time_t ABANDONED_SECONDS = 3600;
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
    return SampleFingerprint::Of(samples.data(), samples.size());
}

std::string AnalysisCache::EntryPath(uint64_t key, long numFrames, int numChans, double rate) const
{
    char name[96];
    snprintf(name, sizeof(name), "/%016" PRIx64 "-%ld-%d-%.0f%s", key, numFrames, numChans, rate, ENTRY_SUFFIX);
    return _dir + name;
}

std::string AnalysisCache::ConvertedPath(const ConvertedSoundEntry::Origin& origin) const
{
    char name[96];
    snprintf(name, sizeof(name), "/%016" PRIx64 "-%.0f%s", origin.Digest(), origin.toRate, CONVERTED_SUFFIX);
    return _dir + name;
}

std::string AnalysisCache::TemporaryPath(const std::string& path)
{
    return path + TEMPORARY_MARK + std::to_string(getpid()) + "." +
           std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()));
}

bool AnalysisCache::Read(uint64_t key, long numFrames, int numChans, double rate, std::vector<Spectrogram*>* spectros,
                         std::vector<Spectrogram*>* chromas) const
{
    if (_dir.empty() || !AnalysisCacheEntry::HasShape(numFrames, numChans))
        return false;
    AnalysisCacheEntry entry(EntryPath(key, numFrames, numChans, rate), key, numFrames, numChans, rate);
    if (!entry.Read(spectros, chromas))
        return false;
    MarkUsed(entry.GetPath());
    return true;
}

bool AnalysisCache::ReadClipLevels(uint64_t key, long numFrames, int numChans, double rate,
                                   DSP::ClipLevels* levels) const
{
    if (_dir.empty() || !AnalysisCacheEntry::HasShape(numFrames, numChans))
        return false;
    return AnalysisCacheEntry(EntryPath(key, numFrames, numChans, rate), key, numFrames, numChans, rate)
        .ReadClipLevels(levels);
}

bool AnalysisCache::ReadConverted(const ConvertedSoundEntry::Origin& origin,
                                  const std::function<float*(size_t numSamples)>& room,
                                  ConvertedSoundEntry::Contents* contents) const
{
    if (_dir.empty())
        return false;
    ConvertedSoundEntry entry(ConvertedPath(origin), origin);
    if (!entry.Read(room, contents))
        return false;
    MarkUsed(entry.GetPath());
    return true;
}

void AnalysisCache::WriteConverted(const ConvertedSoundEntry::Origin& origin, const std::vector<float>& samples,
                                   const ConvertedSoundEntry::Contents& contents)
{
    if (_dir.empty() || !MakeFolder())
        return;
    ConvertedSoundEntry entry(ConvertedPath(origin), origin);
    MarkUsed(entry.GetPath());
    std::string tmpPath = TemporaryPath(entry.GetPath());
    int fd = open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int error = fd < 0 ? errno : entry.Write(fd, tmpPath, samples, contents);
    if (error != 0)
        ReportUnwritable(_dir, error);
}

bool AnalysisCache::Write(uint64_t key, long numFrames, int numChans, double rate,
                          const std::vector<Spectrogram*>& spectros, const std::vector<Spectrogram*>& chromas,
                          const LoadProgress* progress)
{
    if (!AnalysisCacheEntry::HasShape(numFrames, numChans) || (int)spectros.size() != numChans ||
        (int)chromas.size() != numChans)
        return false;
    int numCols = SamplesToSpectro::NumCols((int)numFrames);
    Writer* writer = StartWriting(key, numFrames, numChans, rate);
    if (writer == nullptr)
        return false;
    bool written = true;
    for (int k = 0; k < numChans && written; k++) {
        written =
            writer->WriteColumns(k, 0, numCols, *spectros[k]) && !(progress != nullptr && progress->IsCancelled());
    }
    written = written && writer->WriteImages(0, numCols, *spectros[AnalysisCacheEntry::IMAGE_CHANNEL],
                                             *chromas[AnalysisCacheEntry::IMAGE_CHANNEL]);
    written = written && writer->Finish();
    delete writer;
    return written;
}

bool AnalysisCache::MakeFolder()
{
    if (mkdir(_dir.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    // Parents first: the folder may be the first of its kind on the machine.
    std::string parent = _dir.substr(0, _dir.rfind('/'));
    if (parent.empty() || (mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) ||
        (mkdir(_dir.c_str(), 0755) != 0 && errno != EEXIST)) {
        ReportUnwritable(_dir, errno);
        return false;
    }
    return true;
}

AnalysisCache::Writer* AnalysisCache::StartWriting(uint64_t key, long numFrames, int numChans, double rate,
                                                   const DSP::ClipLevels* clipLevels)
{
    if (_dir.empty() || !AnalysisCacheEntry::HasShape(numFrames, numChans) ||
        !AnalysisCacheEntry::FitsHeader(numFrames, numChans) || !MakeFolder())
        return nullptr;
    std::string path = EntryPath(key, numFrames, numChans, rate);
    // Unique per process and thread, so that concurrent writers never share one.
    MarkUsed(path);
    std::string tmpPath = TemporaryPath(path);
    int fd = open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        ReportUnwritable(_dir, errno);
        return nullptr;
    }
    return new Writer(this, AnalysisCacheEntry(path, key, numFrames, numChans, rate), clipLevels, fd, tmpPath);
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
        } else if (EndsWith(name, ENTRY_SUFFIX) && AnalysisCacheEntry::IsOtherVersion(path)) {
            // This version never reads it: after an update, the old entries of
            // long sounds would otherwise hold gigabytes until the bound made them go.
            unlink(path.c_str());
        } else if (EndsWith(name, ENTRY_SUFFIX) || EndsWith(name, CONVERTED_SUFFIX)) {
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
