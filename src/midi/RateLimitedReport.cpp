#include "midi/RateLimitedReport.h"

#include <cstdio>

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
    if (_heldBack > 0)
        fprintf(stderr, "%s (and %ld more like it held back)\n", text.c_str(), _heldBack);
    else
        fprintf(stderr, "%s\n", text.c_str());
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
