#include "midi/RateLimitedReport.h"

#include <cstdio>

#include "app/PrintableText.h"

RateLimitedReport::RateLimitedReport(std::chrono::milliseconds interval)
    : _interval(interval), _printedOnce(false), _heldBack(0), _keepForTaking(false)
{
}

bool RateLimitedReport::Report(const std::string& text)
{
    return Report(text, std::chrono::steady_clock::now());
}

bool RateLimitedReport::Report(const std::string& text, std::chrono::steady_clock::time_point now)
{
    // The text quotes what the sender sent: its control characters are escaped.
    std::string line = PrintableText::Of(text);
    if (!Admit(&line, now))
        return false;
    std::lock_guard<std::mutex> lock(_mutex);
    if (_keepForTaking)
        _kept = line;
    else
        fprintf(stderr, "%s\n", line.c_str());
    return true;
}

bool RateLimitedReport::Admit(std::string* text)
{
    return Admit(text, std::chrono::steady_clock::now());
}

bool RateLimitedReport::Admit(std::string* text, std::chrono::steady_clock::time_point now)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_printedOnce && now - _lastPrinted < _interval) {
        _heldBack++;
        return false;
    }
    if (_heldBack > 0)
        *text += " (and " + std::to_string(_heldBack) + " more like it held back)";
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

void RateLimitedReport::KeepForTaking()
{
    std::lock_guard<std::mutex> lock(_mutex);
    _keepForTaking = true;
}

bool RateLimitedReport::TakeKept(std::string* line)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_kept.empty())
        return false;
    *line = _kept;
    _kept.clear();
    return true;
}
