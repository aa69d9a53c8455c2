#pragma once

#include <string>

// Text that came from outside (a session's names, an OSC path or string)
// made safe to print and to show: control characters and bytes that are no
// UTF-8 are written as "\x1b", so that an escape sequence in a name cannot
// drive the terminal (move the cursor, retitle the window, hide a line).
// Letters of any script pass as they are.
class PrintableText {
public:
    virtual ~PrintableText() {}

    static std::string Of(const std::string& text);
};
