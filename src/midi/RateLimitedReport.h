#pragma once

#include <chrono>
#include <mutex>
#include <string>

// Complaints about what arrives from outside (OSC messages), on stderr, or
// kept for the GUI thread to show (KeepForTaking), or wherever the caller
// says them (Admit): at most one line per interval, so that a sender gone wrong cannot flood the
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
    // From now on the lines Report admits wait for TakeKept instead of going
    // to stderr: the GUI thread shows them on screen (and stderr) itself.
    void KeepForTaking();
    // The last line admitted since the last take, if any.
    bool TakeKept(std::string* line);

private:
    mutable std::mutex _mutex;
    std::chrono::milliseconds _interval;
    bool _printedOnce;
    std::chrono::steady_clock::time_point _lastPrinted;
    long _heldBack;
    bool _keepForTaking;
    std::string _kept;
};
