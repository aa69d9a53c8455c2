#include "sound/FreeMemory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
// Fields of /proc/self/statm, counted from 0.
const int STATM_SIZE = 0;
const int STATM_DATA = 5;

uint64_t PageBytes()
{
    return (uint64_t)sysconf(_SC_PAGESIZE);
}
}  // namespace

uint64_t FreeMemory::Bytes()
{
    return std::min({MachineAvailable(), UnderLimit(RLIMIT_AS, STATM_SIZE), UnderLimit(RLIMIT_DATA, STATM_DATA)});
}

uint64_t FreeMemory::MachineAvailable()
{
    FILE* meminfo = std::fopen("/proc/meminfo", "r");
    char line[256];
    unsigned long long kib = 0;
    bool found = false;
    while (meminfo != nullptr && !found && std::fgets(line, sizeof(line), meminfo) != nullptr)
        found = std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
    if (meminfo != nullptr)
        std::fclose(meminfo);
    return found ? (uint64_t)kib * 1024 : (uint64_t)sysconf(_SC_AVPHYS_PAGES) * PageBytes();
}

uint64_t FreeMemory::UnderLimit(int resource, int field)
{
    rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return UINT64_MAX;
    unsigned long long pages[7] = {};
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        for (unsigned long long& value : pages) {
            if (std::fscanf(statm, "%llu", &value) != 1)
                break;
        }
        std::fclose(statm);
    }
    uint64_t used = (uint64_t)pages[field] * PageBytes();
    return (uint64_t)limit.rlim_cur > used ? (uint64_t)limit.rlim_cur - used : 0;
}

std::string FreeMemory::Describe(uint64_t bytes)
{
    const double GB = 1e9, MB = 1e6;
    char text[32];
    if (bytes >= GB)
        std::snprintf(text, sizeof(text), "%.1f GB", bytes / GB);
    else
        std::snprintf(text, sizeof(text), "%.0f MB", bytes / MB);
    return text;
}
