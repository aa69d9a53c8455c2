#include "midi/OscServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "midi/RateLimitedReport.h"

namespace {
// The largest UDP payload.
const size_t MAX_PACKET = 65536;
// How often the server looks whether it is asked to stop.
const int POLL_MS = 100;
}  // namespace

OscServer::OscServer(RateLimitedReport* report) : _report(report), _commands(CAPACITY), _socket(-1), _stopping(false)
{
}

OscServer::~OscServer()
{
    Stop();
}

bool OscServer::Start(const std::string& listenAddress, int port, std::string* error)
{
    if (port <= 0 || port > 65535) {
        *error = "the OSC port must be between 1 and 65535";
        return false;
    }
    _socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (_socket < 0) {
        *error = std::string("no UDP socket for OSC: ") + strerror(errno);
        return false;
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    const std::string where = listenAddress + ":" + std::to_string(port);
    if (inet_pton(AF_INET, listenAddress.c_str(), &address.sin_addr) != 1) {
        *error = "cannot listen for OSC on " + where + ": not an IPv4 address";
        close(_socket);
        _socket = -1;
        return false;
    }
    if (bind(_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        *error = "cannot listen for OSC on " + where + ": " + strerror(errno);
        close(_socket);
        _socket = -1;
        return false;
    }
    _stopping = false;
    _thread = std::thread(&OscServer::Listen, this);
    return true;
}

void OscServer::Stop()
{
    if (!_thread.joinable())
        return;
    _stopping = true;
    _thread.join();
    close(_socket);
    _socket = -1;
}

void OscServer::Listen()
{
    std::vector<char> packet(MAX_PACKET);
    pollfd ready = {_socket, POLLIN, 0};
    while (!_stopping) {
        if (poll(&ready, 1, POLL_MS) <= 0)
            continue;
        OscSender sender;
        sender.size = sizeof(sender.address);
        const ssize_t size = recvfrom(_socket, packet.data(), packet.size(), 0,
                                      reinterpret_cast<sockaddr*>(&sender.address), &sender.size);
        if (size > 0)
            HandlePacket(packet.data(), size_t(size), sender);
    }
}

void OscServer::HandlePacket(const void* data, size_t size, const OscSender& sender)
{
    OscCommand command;
    std::string error;
    if (!OscParser::ParsePacket(data, size, &command, &error)) {
        _report->Report(error);
        SendError(sender, error);
        return;
    }
    command.sender = sender;
    if (!_commands.Push(command)) {
        _report->Report("OSC: too many messages at once, one dropped");
        SendError(sender, "too many messages at once, one dropped");
    }
}

void OscServer::SendValue(const OscSender& to, const std::string& path, float value)
{
    lo_message message = lo_message_new();
    lo_message_add_float(message, value);
    Send(to, path.c_str(), message);
}

void OscServer::SendError(const OscSender& to, const std::string& text)
{
    lo_message message = lo_message_new();
    lo_message_add_string(message, text.c_str());
    Send(to, "/error", message);
}

void OscServer::Send(const OscSender& to, const char* path, lo_message message)
{
    size_t size = 0;
    void* bytes = to.size > 0 && _socket >= 0 ? lo_message_serialise(message, path, nullptr, &size) : nullptr;
    // A sender gone away is no fault of the instrument: what it misses is lost.
    if (bytes != nullptr)
        sendto(_socket, bytes, size, 0, reinterpret_cast<const sockaddr*>(&to.address), to.size);
    free(bytes);
    lo_message_free(message);
}
