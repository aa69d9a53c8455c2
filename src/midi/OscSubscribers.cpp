#include "midi/OscSubscribers.h"

#include <cstring>

#include "midi/OscServer.h"

OscSubscribers::OscSubscribers(OscServer* server) : _server(server)
{
}

bool OscSubscribers::Add(const OscSender& listener)
{
    if (Find(listener) < 0) {
        if (_listeners.size() >= MAX_LISTENERS)
            return false;
        _listeners.push_back(listener);
    }
    _sent.clear();
    return true;
}

void OscSubscribers::Remove(const OscSender& listener)
{
    const int index = Find(listener);
    if (index >= 0)
        _listeners.erase(_listeners.begin() + index);
}

void OscSubscribers::Offer(const std::string& address, float value, std::chrono::steady_clock::time_point now)
{
    const std::chrono::microseconds turn(1000000 / MAX_RATE);
    auto sent = _sent.find(address);
    if (sent != _sent.end() && (sent->second.value == value || now - sent->second.when < turn))
        return;
    for (const OscSender& listener : _listeners)
        _server->SendValue(listener, address, value);
    _sent[address] = {value, now};
}

int OscSubscribers::Find(const OscSender& listener) const
{
    for (size_t i = 0; i < _listeners.size(); i++) {
        if (_listeners[i].size == listener.size &&
            std::memcmp(&_listeners[i].address, &listener.address, listener.size) == 0)
            return int(i);
    }
    return -1;
}
