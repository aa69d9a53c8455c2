#include "sound/WholeFileIO.h"

#include <unistd.h>

#include <cerrno>

namespace WholeFileIO {

bool ReadAt(int fd, void* data, size_t size, off_t offset)
{
    char* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = pread(fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= (size_t)n;
        offset += n;
    }
    return true;
}

int WriteAt(int fd, const void* data, size_t size, off_t offset)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = pwrite(fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        p += n;
        size -= (size_t)n;
        offset += n;
    }
    return 0;
}

}  // namespace WholeFileIO
