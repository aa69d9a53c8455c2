#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "midi/OscCommand.h"

class OscServer;

// The OSC clients that asked (/subscribe) to follow the instrument: each
// parameter's value is sent to all of them when it changes, from anywhere (a
// knob, MIDI, a scene recall, another client), at most MAX_RATE times a
// second per parameter so that a sweep does not flood a tablet; the last
// value of a sweep always follows. GUI thread only.
class OscSubscribers {
public:
    static constexpr int MAX_RATE = 30;
    // A few tablets and editors; a sender that keeps changing its port must
    // not make every change go out a thousand times.
    static constexpr size_t MAX_LISTENERS = 16;

    explicit OscSubscribers(OscServer* server);
    virtual ~OscSubscribers() {}

    // A new listener is sent every value once, as it cannot know them yet.
    // False when MAX_LISTENERS listen already.
    bool Add(const OscSender& listener);
    void Remove(const OscSender& listener);
    bool IsEmpty() const { return _listeners.empty(); }
    // One parameter's value as the scene holds it now: sent to every
    // listener when it differs from what was sent last and its turn has come.
    void Offer(const std::string& address, float value, std::chrono::steady_clock::time_point now);

private:
    struct Sent {
        float value;
        std::chrono::steady_clock::time_point when;
    };

    int Find(const OscSender& listener) const;

    OscServer* _server;
    std::vector<OscSender> _listeners;
    std::map<std::string, Sent> _sent;
};
