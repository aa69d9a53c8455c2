#pragma once

#include <cstddef>
#include <string>

// A stretch of a file mapped read-only into memory: its pages are read from
// the file when first touched and can be dropped by the system and read
// again at any time, so a large analysis costs resident memory only for
// what is in use.
//
// Should another program truncate the file while it is mapped, reading the
// part that was cut off would end the process with a bus error; instead,
// that part of the region becomes zeros (said once on the error stream per
// fault), and the program goes on.
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
    // Gives back the resident pages of a stretch read from start to end,
    // from the page that holds its first byte (and whatever came before it
    // there) to the last page it fills, or the region's end; they are read
    // from the file again if touched later.
    void GiveBack(size_t offset, size_t length) const;

private:
    void* _data;
    size_t _length;
};
