#pragma once

#include <cstddef>
#include <string>

// A stretch of a file mapped read-only into memory: its pages are read from
// the file when first touched and can be dropped by the system and read
// again at any time, so a large analysis costs resident memory only for
// what is in use.
class MappedRegion {
public:
    // offset must be a multiple of the page size. Check IsValid afterwards.
    MappedRegion(const std::string& path, size_t offset, size_t length);
    virtual ~MappedRegion();
    MappedRegion(const MappedRegion&) = delete;
    MappedRegion& operator=(const MappedRegion&) = delete;

    bool IsValid() const { return _data != nullptr; }
    const void* GetData() const { return _data; }
    size_t GetLength() const { return _length; }

private:
    void* _data;
    size_t _length;
};
