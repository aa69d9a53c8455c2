#include "spectral/MappedRegion.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

MappedRegion::MappedRegion(const std::string& path, size_t offset, size_t length) : _data(nullptr), _length(length)
{
    if (length == 0)
        return;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    void* data = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, (off_t)offset);
    // The mapping keeps the file's pages reachable after the descriptor is closed.
    close(fd);
    if (data != MAP_FAILED)
        _data = data;
}

MappedRegion::~MappedRegion()
{
    if (_data != nullptr)
        munmap(_data, _length);
}
