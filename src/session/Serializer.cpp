#include "session/Serializer.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

// The session layout stores longs in 8 bytes.
static_assert(sizeof(long) == 8, "a long must take 8 bytes");

Serializer::Serializer() : _file(nullptr), _fileReadMode(true), _readIndex(0), _hasRunOut(false)
{
}

Serializer::~Serializer()
{
    CloseFile();
}

bool Serializer::OpenWriteFile(const char* name)
{
    CloseFile();
    OpenWriteMemory();
    _error.clear();
    _targetName = name;
    // Same folder as the target, so the final rename never crosses file systems.
    _tempName = _targetName + ".saving";
    _file = fopen(_tempName.c_str(), "wb");
    if (_file == nullptr)
        Fail("cannot create", _tempName);
    return _file != nullptr;
}

bool Serializer::OpenReadFile(const char* name)
{
    CloseFile();
    _fileReadMode = true;
    FILE* file = fopen(name, "rb");
    if (!file)
        return false;
    std::vector<char> bytes;
    if (fseek(file, 0, SEEK_END) == 0) {
        long length = ftell(file);
        if (length > 0) {
            bytes.resize(length);
            rewind(file);
            bytes.resize(fread(bytes.data(), 1, bytes.size(), file));
        }
    }
    fclose(file);
    OpenReadMemory(bytes);
    return true;
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
}

void Serializer::OpenReadMemory(const std::vector<char>& bytes)
{
    _fileReadMode = true;
    _error.clear();
    _stream = bytes;
    _readIndex = 0;
    _hasRunOut = false;
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

void Serializer::Put(const void* bytes, size_t size)
{
    const char* first = static_cast<const char*>(bytes);
    _stream.insert(_stream.end(), first, first + size);
}

void Serializer::Refuse(const std::string& why)
{
    if (_hasRunOut)
        return;
    _error = why;
    _hasRunOut = true;
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
            _error = "it ends early, in the record at byte " + std::to_string(_readIndex);
        _hasRunOut = true;
        return false;
    }
    return true;
}
