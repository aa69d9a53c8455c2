#include "app/ScreenMessage.h"

#include <iostream>

#include "app/PrintableText.h"

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
    // Messages quote names from files and packets: shown as they are, their
    // control characters would drive the terminal.
    _text = PrintableText::Of(text);
    (isError ? std::cerr : std::cout) << _text << std::endl;
    _isError = isError;
    _until = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                    std::chrono::duration<double>(MESSAGE_SECONDS));
}
