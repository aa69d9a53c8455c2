#include "midi/RateLimitedReport.h"

#include <cstdio>

#include "app/PrintableText.h"

RateLimitedReport::RateLimitedReport(std::chrono::milliseconds interval)
    : _interval(interval), _printedOnce(false), _heldBack(0)
{
}

bool RateLimitedReport::Report(const std::string& text)
{
    return Report(text, std::chrono::steady_clock::now());
}

bool RateLimitedReport::Report(const std::string& text, std::chrono::steady_clock::time_point now)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_printedOnce && now - _lastPrinted < _interval) {
        _heldBack++;
        return false;
    }
    // The text quotes what the sender sent: its control characters are escaped.
    const std::string printable = PrintableText::Of(text);
    if (_heldBack > 0)
        fprintf(stderr, "%s (and %ld more like it held back)\n", printable.c_str(), _heldBack);
    else
        fprintf(stderr, "%s\n", printable.c_str());
    _printedOnce = true;
    _lastPrinted = now;
    _heldBack = 0;
    return true;
}

long RateLimitedReport::GetHeldBack() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _heldBack;
}
