#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "midi/LockFreeRing.h"
#include "midi/OscCommand.h"

class RateLimitedReport;

// Listens for OSC messages over UDP on localhost only, on a thread of its
// own that never touches the scene: each message understood becomes an
// OscCommand in a lock-free ring, which the GUI thread drains as it drains
// MIDI notes; what is not understood is said on stderr (rate-limited).
class OscServer {
public:
    // Commands that can wait at once; a burst beyond that drops the newest.
    static constexpr size_t CAPACITY = 1024;

    explicit OscServer(RateLimitedReport* report);
    virtual ~OscServer();
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    // Binds 127.0.0.1:port and starts listening; false, with the reason, when it cannot.
    bool Start(int port, std::string* error);
    void Stop();
    bool IsRunning() const { return _thread.joinable(); }
    // GUI thread.
    bool PopCommand(OscCommand* out) { return _commands.Pop(out); }
    // One packet as the server thread handles it.
    void HandlePacket(const void* data, size_t size);

private:
    void Listen();

    RateLimitedReport* _report;
    LockFreeRing<OscCommand> _commands;
    int _socket;
    std::atomic<bool> _stopping;
    std::thread _thread;
};
