#pragma once

#include <cstdio>
#include <vector>

// Writes and reads the binary records of a session: ints, bools, longs,
// doubles and floats in the machine's byte order, without header or padding.
// Everything goes through the memory stream; a file is read whole when
// opened and written whole when closed, so a save or a load touches the
// disk once.
//
// A read past the end of the stream leaves its destination as it was,
// returns false and reports the short stream once; every read after it
// fails the same way, so a truncated session keeps the current values of
// everything it no longer holds.
class Serializer {
public:
    Serializer();
    virtual ~Serializer();
    Serializer(const Serializer&) = delete;
    Serializer& operator=(const Serializer&) = delete;

    // Truncates the file at once; its bytes are written by CloseFile.
    bool OpenWriteFile(const char* name);
    bool OpenReadFile(const char* name);
    // Writes the stream in write mode, then forgets the file and the stream.
    void CloseFile();

    // Memory streams, for copying state without a file.
    void OpenWriteMemory();
    void OpenReadMemory(const std::vector<char>& bytes);
    const std::vector<char>& GetStream() const { return _stream; }

    void PutInt(int value);
    void PutBool(bool value);
    void PutLong(long value);
    void PutDouble(double value);
    void PutFloat(float value);

    bool GetInt(int* value);
    bool GetBool(bool* value);
    bool GetLong(long* value);
    bool GetDouble(double* value);
    bool GetFloat(float* value);

    // True once a read has found the stream too short.
    bool HasRunOut() const { return _hasRunOut; }

private:
    void Put(const void* bytes, size_t size);
    bool Get(void* bytes, size_t size);

    FILE* _file;
    bool _fileReadMode;
    size_t _readIndex;
    std::vector<char> _stream;
    bool _hasRunOut;
};
