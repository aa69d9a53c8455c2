#include "app/PrintableText.h"

#include <cstdint>
#include <cstdio>

namespace {

bool IsContinuation(uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the UTF-8 character of a printable letter at text[at], 0 for
// anything to escape: a control character, a C1 control (U+0080 to U+009F,
// which some terminals obey as ESC [), a byte that starts no character or a
// character cut short.
size_t PrintableCharLength(const std::string& text, size_t at)
{
    const uint8_t lead = uint8_t(text[at]);
    if (lead < 0x20 || lead == 0x7F)
        return 0;
    if (lead < 0x80)
        return 1;
    const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (size_t i = 1; i < length; i++)
        if (!IsContinuation(uint8_t(text[at + i])))
            return 0;
    if (lead == 0xC2 && uint8_t(text[at + 1]) < 0xA0)
        return 0;
    return length;
}

}  // namespace

std::string PrintableText::Of(const std::string& text)
{
    std::string printable;
    printable.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = PrintableCharLength(text, at);
        if (length > 0) {
            printable.append(text, at, length);
            at += length;
            continue;
        }
        char escaped[5];
        snprintf(escaped, sizeof(escaped), "\\x%02x", unsigned(uint8_t(text[at])));
        printable += escaped;
        at++;
    }
    return printable;
}
