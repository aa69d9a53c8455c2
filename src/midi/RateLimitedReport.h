#pragma once

#include <chrono>
#include <mutex>
#include <string>

// Complaints about what arrives from outside (OSC messages), on stderr or
// wherever the caller says them (Admit): at most one line per interval, so that a sender gone wrong cannot flood the
// terminal; the lines held back are counted in the next one printed.
// Control characters in a printed line are escaped (PrintableText). Any
// thread but the audio thread may report.
class RateLimitedReport {
public:
    explicit RateLimitedReport(std::chrono::milliseconds interval = std::chrono::milliseconds(1000));
    virtual ~RateLimitedReport() {}

    // Returns whether the line was printed.
    bool Report(const std::string& text);
    // The same at a given time, for the tests.
    bool Report(const std::string& text, std::chrono::steady_clock::time_point now);
    // For a line that goes elsewhere (on screen): whether it is due, with
    // the count of those held back added to *text when it is.
    bool Admit(std::string* text);
    bool Admit(std::string* text, std::chrono::steady_clock::time_point now);
    long GetHeldBack() const;

private:
    mutable std::mutex _mutex;
    std::chrono::milliseconds _interval;
    bool _printedOnce;
    std::chrono::steady_clock::time_point _lastPrinted;
    long _heldBack;
};
