#pragma once

#include <atomic>
#include <string>
#include <thread>

#include <lo/lo.h>

#include "midi/LockFreeRing.h"
#include "midi/OscCommand.h"

class RateLimitedReport;

// Listens for OSC messages over UDP (on localhost unless told otherwise), on
// a thread of its own that never touches the scene: each message understood
// becomes an OscCommand in a lock-free ring, which the GUI thread drains as
// it drains MIDI notes; what is not understood is said on stderr
// (rate-limited) and sent back to the sender as /error.
class OscServer {
public:
    // Commands that can wait at once; a burst beyond that drops the newest.
    static constexpr size_t CAPACITY = 1024;

    explicit OscServer(RateLimitedReport* report);
    virtual ~OscServer();
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    // Binds listenAddress:port (an IPv4 address: 127.0.0.1 for this machine
    // alone, 0.0.0.0 for every network it is on) and starts listening;
    // false, with the reason, when it cannot.
    bool Start(const std::string& listenAddress, int port, std::string* error);
    void Stop();
    bool IsRunning() const { return _thread.joinable(); }
    // GUI thread.
    bool PopCommand(OscCommand* out) { return _commands.Pop(out); }
    // One packet as the server thread handles it.
    void HandlePacket(const void* data, size_t size, const OscSender& sender);
    // Replies from the listening socket, so they reach the sender's port;
    // any thread may call them (each is one sendto, whole or not at all).
    void SendValue(const OscSender& to, const std::string& path, float value);
    void SendError(const OscSender& to, const std::string& text);

private:
    void Listen();
    void Send(const OscSender& to, const char* path, lo_message message);

    RateLimitedReport* _report;
    LockFreeRing<OscCommand> _commands;
    int _socket;
    std::atomic<bool> _stopping;
    std::thread _thread;
};
