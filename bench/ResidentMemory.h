#pragma once

#include <malloc.h>
#include <unistd.h>

#include <cstdio>

// Bytes of the process in physical memory, as the kernel counts them.
inline long ResidentBytesNow()
{
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr)
        return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    std::fclose(statm);
    return resident * sysconf(_SC_PAGESIZE);
}

// The same after the allocator has given every free page back, so that a
// reading before building something counts only what is really in use.
inline long TrimmedResidentBytes()
{
    malloc_trim(0);
    return ResidentBytesNow();
}
