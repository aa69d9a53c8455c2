#include "midi/OscServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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

bool OscServer::Start(int port, std::string* error)
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
    // Only this machine's programs reach the instrument.
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        *error = "cannot listen for OSC on localhost:" + std::to_string(port) + ": " + strerror(errno);
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
        const ssize_t size = recv(_socket, packet.data(), packet.size(), 0);
        if (size > 0)
            HandlePacket(packet.data(), size_t(size));
    }
}

void OscServer::HandlePacket(const void* data, size_t size)
{
    OscCommand command;
    std::string error;
    if (!OscParser::ParsePacket(data, size, &command, &error))
        _report->Report(error);
    else if (!_commands.Push(command))
        _report->Report("OSC: too many messages at once, one dropped");
}
