#include "app/ScreenMessage.h"

#include <iostream>

namespace {

// Long enough to read a path and a reason once.
const double MESSAGE_SECONDS = 6.0;

}  // namespace

ScreenMessage::ScreenMessage() : _isError(false)
{
}

ScreenMessage::~ScreenMessage()
{
}

void ScreenMessage::Show(const std::string& text, bool isError)
{
    (isError ? std::cerr : std::cout) << text << std::endl;
    _text = text;
    _isError = isError;
    _until = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                    std::chrono::duration<double>(MESSAGE_SECONDS));
}
