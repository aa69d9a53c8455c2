#include "spectral/MappedRegion.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace {
// Every live region, so that a fault in one of them can be told from any
// other fault. A slot holds a region's first byte, or 0 when it is free.
const int MAX_REGIONS = 16384;
std::atomic<uintptr_t> g_starts[MAX_REGIONS];
std::atomic<size_t> g_lengths[MAX_REGIONS];
struct sigaction g_previousAction;
const char LOST_MESSAGE[] = "A cache entry was cut short by another program while in use: what was cut off now reads "
                            "as silence. Restart to analyse the sound again.\n";

uintptr_t PageStart(uintptr_t address)
{
    uintptr_t pageSize = (uintptr_t)sysconf(_SC_PAGESIZE);
    return address / pageSize * pageSize;
}

// A page of a mapped region whose file was truncated beneath it: the pages
// from there to the region's end become zeros, and the read that faulted is
// done again over them. Any other fault goes to the handler that was there
// before, or ends the program as it would have.
void OnBusError(int signal, siginfo_t* info, void* context)
{
    uintptr_t address = (uintptr_t)info->si_addr;
    for (int i = 0; i < MAX_REGIONS; i++) {
        uintptr_t start = g_starts[i].load(std::memory_order_acquire);
        size_t length = g_lengths[i].load(std::memory_order_acquire);
        if (start == 0 || address < start || address >= start + length)
            continue;
        uintptr_t from = PageStart(address);
        void* zeros =
            mmap((void*)from, start + length - from, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            ssize_t ignored = write(STDERR_FILENO, LOST_MESSAGE, sizeof(LOST_MESSAGE) - 1);
            (void)ignored;
            return;
        }
    }
    if ((g_previousAction.sa_flags & SA_SIGINFO) != 0 && g_previousAction.sa_sigaction != nullptr) {
        g_previousAction.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previousAction.sa_handler != SIG_DFL && g_previousAction.sa_handler != SIG_IGN) {
        g_previousAction.sa_handler(signal);
        return;
    }
    // The fault happens again on return, and now ends the program.
    sigaction(SIGBUS, &g_previousAction, nullptr);
}

void InstallBusErrorHandler()
{
    static std::once_flag installed;
    std::call_once(installed, []() {
        struct sigaction action;
        std::memset(&action, 0, sizeof(action));
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &g_previousAction);
    });
}

// A free slot's length is 0, so that it matches no fault until the region
// that claims it has set its own.
void Register(void* data, size_t length)
{
    for (int i = 0; i < MAX_REGIONS; i++) {
        uintptr_t expected = 0;
        if (g_starts[i].compare_exchange_strong(expected, (uintptr_t)data, std::memory_order_acq_rel)) {
            g_lengths[i].store(length, std::memory_order_release);
            return;
        }
    }
}

void Unregister(void* data)
{
    for (int i = 0; i < MAX_REGIONS; i++) {
        if (g_starts[i].load(std::memory_order_acquire) != (uintptr_t)data)
            continue;
        g_lengths[i].store(0, std::memory_order_release);
        g_starts[i].store(0, std::memory_order_release);
        return;
    }
}
}  // namespace

MappedRegion::MappedRegion(const std::string& path, size_t offset, size_t length) : _data(nullptr), _length(length)
{
    if (length == 0)
        return;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    InstallBusErrorHandler();
    void* data = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, (off_t)offset);
    // The mapping keeps the file's pages reachable after the descriptor is closed.
    close(fd);
    if (data == MAP_FAILED)
        return;
    _data = data;
    Register(_data, _length);
}

MappedRegion::~MappedRegion()
{
    if (_data == nullptr)
        return;
    Unregister(_data);
    munmap(_data, _length);
}

void MappedRegion::GiveBack(size_t offset, size_t length) const
{
    if (_data == nullptr || offset >= _length)
        return;
    uintptr_t first = PageStart((uintptr_t)_data + offset);
    uintptr_t end = (uintptr_t)_data + std::min(_length, offset + length);
    if (end < (uintptr_t)_data + _length)
        end = PageStart(end);
    if (end > first)
        madvise((void*)first, end - first, MADV_DONTNEED);
}
