#include "session/Serializer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

// The session layout stores longs in 8 bytes.
static_assert(sizeof(long) == 8, "a long must take 8 bytes");

Serializer::Serializer() : _file(nullptr), _fileReadMode(true), _readIndex(0), _hasRunOut(false), _damaged(false)
{
}

Serializer::~Serializer()
{
    CloseFile();
}

namespace {

const char* KindOfFile(mode_t mode)
{
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

// Reads count bytes from fd into bytes; false with errno set when a read fails.
bool ReadAll(int fd, char* bytes, size_t count, size_t* got)
{
    *got = 0;
    while (*got < count) {
        ssize_t n = read(fd, bytes + *got, count - *got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        *got += size_t(n);
    }
    return true;
}

}  // namespace

bool Serializer::OpenWriteFile(const char* name)
{
    CloseFile();
    OpenWriteMemory();
    _error.clear();
    if (!FindSaveTarget(name))
        return false;
    // Same folder as the target, so the final rename never crosses file systems.
    _tempName = _targetName + ".saving";
    if (!RemoveStaleTemporary())
        return false;
    // Made anew, never followed nor waited on: whatever else took the name
    // since it was looked at is refused rather than written into.
    const int fd = open(_tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd >= 0 && (_file = fdopen(fd, "wb")) == nullptr)
        close(fd);
    if (_file == nullptr)
        Fail("cannot create", _tempName);
    return _file != nullptr;
}

bool Serializer::FindSaveTarget(const char* name)
{
    _targetName = name;
    struct stat info;
    if (lstat(name, &info) != 0)
        return true;
    // A link is written through: the file it leads to is replaced, whole,
    // by a file made beside it, and the link stays a link.
    if (S_ISLNK(info.st_mode)) {
        char* resolved = realpath(name, nullptr);
        if (resolved == nullptr || stat(resolved, &info) != 0) {
            Fail("cannot follow the link", _targetName);
            free(resolved);
            return false;
        }
        _targetName = resolved;
        free(resolved);
    }
    if (!S_ISREG(info.st_mode))
        RefuseToReplace(_targetName, info.st_mode);
    return _error.empty();
}

bool Serializer::RemoveStaleTemporary()
{
    struct stat info;
    if (lstat(_tempName.c_str(), &info) != 0)
        return true;
    // What an interrupted save left; anything else is someone's and is left alone.
    if (!S_ISREG(info.st_mode)) {
        RefuseToReplace(_tempName, info.st_mode);
        return false;
    }
    if (unlink(_tempName.c_str()) != 0) {
        Fail("cannot remove the unfinished", _tempName);
        return false;
    }
    return true;
}

void Serializer::RefuseToReplace(const std::string& path, mode_t mode)
{
    _error = path + " is not a regular file (it is " + KindOfFile(mode) + ") and is left as it is";
}

bool Serializer::OpenReadFile(const char* name)
{
    return ReadFile(name) == READ_WHOLE;
}

Serializer::ReadResult Serializer::ReadFile(const char* name)
{
    CloseFile();
    OpenReadMemory(std::vector<char>());
    // Non-blocking, so that a pipe or a device never holds the program up
    // before it is known to be one.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return READ_MISSING;
        _error = std::string("it cannot be opened: ") + strerror(errno);
        return READ_REFUSED;
    }
    struct stat info;
    std::vector<char> bytes;
    size_t got = 0;
    if (fstat(fd, &info) != 0)
        _error = std::string("it cannot be examined: ") + strerror(errno);
    else if (!S_ISREG(info.st_mode))
        _error = std::string("it is ") + KindOfFile(info.st_mode);
    else if (uint64_t(info.st_size) > MAX_FILE_BYTES)
        _error = "it holds " + std::to_string(uint64_t(info.st_size)) + " bytes, more than any scene (at most " +
                 std::to_string(MAX_FILE_BYTES) + ")";
    else {
        bytes.resize(size_t(info.st_size));
        if (!ReadAll(fd, bytes.data(), bytes.size(), &got))
            _error = std::string("it cannot be read: ") + strerror(errno);
        bytes.resize(got);
    }
    close(fd);
    if (!_error.empty())
        return READ_REFUSED;
    OpenReadMemory(bytes);
    return READ_WHOLE;
}

bool Serializer::CloseFile()
{
    bool ok = true;
    if (_file) {
        if (_fileReadMode)
            fclose(_file);
        else
            ok = CommitWrittenFile();
        _file = nullptr;
    }
    _stream.clear();
    _readIndex = 0;
    return ok;
}

bool Serializer::CommitWrittenFile()
{
    bool written =
        (_stream.empty() || fwrite(_stream.data(), 1, _stream.size(), _file) == _stream.size()) && fflush(_file) == 0;
    if (!written)
        Fail("cannot write", _tempName);
    else if (fsync(fileno(_file)) != 0)
        Fail("cannot flush to disk", _tempName);
    bool closed = fclose(_file) == 0;
    if (_error.empty() && !closed)
        Fail("cannot close", _tempName);
    if (_error.empty() && rename(_tempName.c_str(), _targetName.c_str()) != 0)
        Fail("cannot rename over", _targetName);
    if (!_error.empty())
        unlink(_tempName.c_str());
    return _error.empty();
}

void Serializer::Fail(const char* step, const std::string& path)
{
    _error = std::string(step) + " " + path + ": " + strerror(errno);
}

void Serializer::OpenWriteMemory()
{
    _fileReadMode = false;
    _stream.clear();
    _readIndex = 0;
    _hasRunOut = false;
    _damaged = false;
}

void Serializer::OpenReadMemory(const std::vector<char>& bytes)
{
    _fileReadMode = true;
    _error.clear();
    _stream = bytes;
    _readIndex = 0;
    _hasRunOut = false;
    _damaged = false;
}

void Serializer::PutText(const std::string& text)
{
    PutInt(int(text.size()));
    _stream.insert(_stream.end(), text.begin(), text.end());
}

void Serializer::PutInt(int value)
{
    Put(&value, sizeof(value));
}

// Bools take the room of an int, so records keep 4-byte steps.
void Serializer::PutBool(bool value)
{
    PutInt(value ? 1 : 0);
}

void Serializer::PutLong(long value)
{
    Put(&value, sizeof(value));
}

void Serializer::PutDouble(double value)
{
    Put(&value, sizeof(value));
}

void Serializer::PutFloat(float value)
{
    Put(&value, sizeof(value));
}

void Serializer::PutBytes(const std::vector<char>& bytes)
{
    _stream.insert(_stream.end(), bytes.begin(), bytes.end());
}

bool Serializer::GetInt(int* value)
{
    return Get(value, sizeof(*value));
}

bool Serializer::GetBool(bool* value)
{
    int stored = 0;
    if (!GetInt(&stored))
        return false;
    *value = stored != 0;
    return true;
}

bool Serializer::GetLong(long* value)
{
    return Get(value, sizeof(*value));
}

bool Serializer::GetDouble(double* value)
{
    return Get(value, sizeof(*value));
}

bool Serializer::GetDoubleIn(double* value, double low, double high)
{
    double stored = 0.0;
    if (!GetDouble(&stored))
        return false;
    if (stored >= low && stored <= high)
        *value = stored;
    return true;
}

bool Serializer::GetFloat(float* value)
{
    return Get(value, sizeof(*value));
}

bool Serializer::GetBytes(size_t count, std::vector<char>* bytes)
{
    if (!HasRoomFor(count))
        return false;
    bytes->assign(_stream.begin() + long(_readIndex), _stream.begin() + long(_readIndex + count));
    _readIndex += count;
    return true;
}

bool Serializer::GetText(std::string* text)
{
    int count = 0;
    if (!GetInt(&count))
        return false;
    if (count < 0 || count > MAX_TEXT_BYTES) {
        Refuse("a name of " + std::to_string(count) + " bytes");
        return false;
    }
    std::vector<char> bytes;
    if (!GetBytes(size_t(count), &bytes))
        return false;
    text->assign(bytes.begin(), bytes.end());
    return true;
}

void Serializer::EndAt(size_t end)
{
    if (end < _stream.size())
        _stream.resize(std::max(end, _readIndex));
}

void Serializer::MarkDamaged(const std::string& why)
{
    if (!IsDamaged())
        _error = why;
    _damaged = true;
}

void Serializer::Put(const void* bytes, size_t size)
{
    const char* first = static_cast<const char*>(bytes);
    _stream.insert(_stream.end(), first, first + size);
}

void Serializer::Refuse(const std::string& why)
{
    if (_hasRunOut)
        return;
    NoteFault(why);
    _hasRunOut = true;
}

void Serializer::NoteFault(const std::string& why)
{
    // A checksum that does not match says why the faults after it came.
    _error = _damaged ? _error + "; " + why : why;
}

bool Serializer::Skip(size_t bytes)
{
    if (!HasRoomFor(bytes))
        return false;
    _readIndex += bytes;
    return true;
}

bool Serializer::Get(void* bytes, size_t size)
{
    if (!HasRoomFor(size))
        return false;
    memcpy(bytes, _stream.data() + _readIndex, size);
    _readIndex += size;
    return true;
}

bool Serializer::HasRoomFor(size_t size)
{
    // Once a value has been missing, the bytes after it no longer line up
    // with the fields they were written for: every later read fails too.
    if (_hasRunOut || _stream.size() - _readIndex < size) {
        if (!_hasRunOut)
            NoteFault("it ends early, in the record at byte " + std::to_string(_readIndex));
        _hasRunOut = true;
        return false;
    }
    return true;
}
