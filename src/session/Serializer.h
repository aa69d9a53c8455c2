#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
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
    // Places and sizes on the canvas, in window sizes, are refused beyond this
    // when read: no zoom or pan reaches them.
    static constexpr double MAX_SCENE_EXTENT = 1e6;
    // No scene comes near this; a larger file is refused unread.
    static const size_t MAX_FILE_BYTES = size_t(256) << 20;
    // The longest text a record may hold (a file name).
    static const int MAX_TEXT_BYTES = 4096;

    // What reading a file found.
    enum ReadResult { READ_WHOLE, READ_MISSING, READ_REFUSED };

    Serializer();
    virtual ~Serializer();
    Serializer(const Serializer&) = delete;
    Serializer& operator=(const Serializer&) = delete;

    // Opens a temporary file (name + ".saving") beside name; the file called
    // name is only replaced, whole, when CloseFile has written and flushed
    // everything. Where name is a symbolic link, the file it leads to is
    // replaced and the temporary file lies beside that one. A temporary file
    // left by an interrupted save is removed; anything else at its name (a
    // pipe, a link, a directory), or a target that is no regular file, is
    // refused, left as it is and never waited on: false, with the reason in
    // GetError().
    bool OpenWriteFile(const char* name);
    bool OpenReadFile(const char* name);
    // Reads the file whole, without ever waiting on it: a directory, a pipe,
    // a device, a file it may not read or one beyond MAX_FILE_BYTES is
    // refused, with the reason in GetError(). A missing file is no error.
    ReadResult ReadFile(const char* name);
    // In write mode: writes the stream to the temporary file, flushes it to
    // the disk and renames it over the target, so a save that fails half way
    // (full disk, crash, power loss) leaves the previous file as it was.
    // False, with the reason in GetError(), when any step fails; the
    // temporary file is removed then. Forgets the file and the stream.
    bool CloseFile();
    // Why the last write failed, empty when it did not.
    const std::string& GetError() const { return _error; }

    // Memory streams, for copying state without a file.
    void OpenWriteMemory();
    void OpenReadMemory(const std::vector<char>& bytes);
    const std::vector<char>& GetStream() const { return _stream; }

    void PutInt(int value);
    void PutBool(bool value);
    void PutLong(long value);
    void PutDouble(double value);
    void PutFloat(float value);
    // Appends bytes already encoded, for instance a scene encoded earlier.
    void PutBytes(const std::vector<char>& bytes);
    // An Int count of bytes, then the bytes.
    void PutText(const std::string& text);

    bool GetInt(int* value);
    bool GetBool(bool* value);
    bool GetLong(long* value);
    bool GetDouble(double* value);
    bool GetFloat(float* value);
    bool GetBytes(size_t count, std::vector<char>* bytes);
    // Refuses a count beyond MAX_TEXT_BYTES.
    bool GetText(std::string* text);
    // Reads a double but stores it only when it is a number within
    // [low, high]; a value out of range is read past and the destination
    // keeps what it had.
    bool GetDoubleIn(double* value, double low, double high);

    // Steps over bytes that are read but not used, with the same end rule as the reads.
    bool Skip(size_t bytes);

    // True once a read has found the stream too short, or the reader refused it.
    bool HasRunOut() const { return _hasRunOut; }
    // Reads end at byte end from now on; what lies beyond is another part of
    // the file, read by its own reader.
    void EndAt(size_t end);
    size_t GetReadIndex() const { return _readIndex; }
    // The stream holds something wrong that the reads go on past (a checksum
    // that does not match, bytes that nothing explains): said in GetError()
    // unless an earlier fault is said there already.
    void MarkDamaged(const std::string& why);
    // Whether what was read cannot be trusted whole.
    bool IsDamaged() const { return _hasRunOut || _damaged; }
    // A record holds what no writer of this format writes (a count or a kind
    // that cannot be): why goes to GetError() and every later read fails, so
    // the loader stops there and keeps what it has read so far.
    void Refuse(const std::string& why);

private:
    void Put(const void* bytes, size_t size);
    bool Get(void* bytes, size_t size);
    bool HasRoomFor(size_t size);
    // Sets _targetName to the file a save to name replaces; false when that is no regular file.
    bool FindSaveTarget(const char* name);
    bool RemoveStaleTemporary();
    void RefuseToReplace(const std::string& path, mode_t mode);
    bool CommitWrittenFile();
    void Fail(const char* step, const std::string& path);
    void NoteFault(const std::string& why);

    FILE* _file;
    std::string _targetName;
    std::string _tempName;
    std::string _error;
    bool _fileReadMode;
    size_t _readIndex;
    std::vector<char> _stream;
    bool _hasRunOut;
    bool _damaged;
};
