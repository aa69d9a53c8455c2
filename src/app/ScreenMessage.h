#pragma once

#include <chrono>
#include <string>

// The last word to the performer (a save, a restore, a learn, a refusal):
// printed, errors to stderr, and shown over the canvas for a few seconds,
// its control characters escaped (PrintableText); toolkit thread.
class ScreenMessage {
public:
    ScreenMessage();
    virtual ~ScreenMessage();

    void Show(const std::string& text, bool isError);
    const std::string& GetText() const { return _text; }
    bool IsError() const { return _isError; }
    // When it leaves the screen.
    std::chrono::steady_clock::time_point GetUntil() const { return _until; }

private:
    std::string _text;
    bool _isError;
    std::chrono::steady_clock::time_point _until;
};
