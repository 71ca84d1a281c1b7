#include "text/ansi_text.h"

#include "platform/platform.h"

std::size_t wholeAnsiLength(const char* text, std::size_t length, std::size_t limit) {
    const std::size_t end = length < limit ? length : limit;
    if (end == length || !ansiCodePageHasLeadBytes()) return end;
    std::size_t at = 0;
    while (at < end) {
        const std::size_t size = isAnsiLeadByte(static_cast<unsigned char>(text[at])) ? 2 : 1;
        if (at + size > end) break;
        at += size;
    }
    return at;
}

std::size_t storeAnsiAsUtf16(const char* text, std::size_t length, char16_t* out,
                             std::size_t capacity) {
    const std::size_t whole = wholeAnsiLength(text, length, capacity);
    return whole > 0 ? ansiToUtf16(text, whole, out, capacity) : 0;
}
