#pragma once

#include <sys/types.h>

#include <cstddef>

// Reads and writes at an offset that go on until the whole size is done:
// pread and pwrite may move fewer bytes than asked, or be interrupted by a
// signal, and a cache file is only of use whole.
namespace WholeFileIO {

// False at the end of the file or on an error.
bool ReadAt(int fd, void* data, size_t size, off_t offset);
// 0, or the error (EIO when the disk took nothing).
int WriteAt(int fd, const void* data, size_t size, off_t offset);

}  // namespace WholeFileIO
