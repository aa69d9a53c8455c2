#pragma once

#include <cstdint>
#include <string>

// How much more memory the process can take: what the machine has available
// (free pages and the caches the kernel gives back), within the limits set
// on the process's address space and data. A sound that would need more is
// refused before anything is allocated for it.
class FreeMemory {
public:
    virtual ~FreeMemory() {}

    static uint64_t Bytes();
    // "26.0 GB", "512 MB".
    static std::string Describe(uint64_t bytes);

private:
    // MemAvailable, or the free pages where the kernel does not say it.
    static uint64_t MachineAvailable();
    // What is left under the limit of the resource, whose use is the
    // field-th of /proc/self/statm, in pages; UINT64_MAX without a limit.
    static uint64_t UnderLimit(int resource, int field);
};
