#include "session/Serializer.h"

#include <cstring>

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
    _file = fopen(name, "wb");
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

void Serializer::CloseFile()
{
    if (_file) {
        if (!_fileReadMode && !_stream.empty())
            fwrite(_stream.data(), 1, _stream.size(), _file);
        fclose(_file);
        _file = nullptr;
    }
    _stream.clear();
    _readIndex = 0;
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

bool Serializer::GetFloat(float* value)
{
    return Get(value, sizeof(*value));
}

void Serializer::Put(const void* bytes, size_t size)
{
    const char* first = static_cast<const char*>(bytes);
    _stream.insert(_stream.end(), first, first + size);
}

bool Serializer::Get(void* bytes, size_t size)
{
    // Once a value has been missing, the bytes after it no longer line up
    // with the fields they were written for: every later read fails too.
    if (_hasRunOut || _stream.size() - _readIndex < size) {
        if (!_hasRunOut)
            fprintf(stderr, "Session data ends early: %zu of %zu bytes read\n", _readIndex, _stream.size());
        _hasRunOut = true;
        return false;
    }
    memcpy(bytes, _stream.data() + _readIndex, size);
    _readIndex += size;
    return true;
}
