#include "text/ansi_text.h"

#include "platform/platform.h"
#include "text/bounded_text.h"

AnsiCodePage currentAnsiCodePage() {
    return ansiCodePageHasLeadBytes() ? AnsiCodePage::DoubleByte : AnsiCodePage::SingleByte;
}

bool isDoubleByteLead(char c) { return isAnsiLeadByte(static_cast<unsigned char>(c)); }

std::size_t doubleByteCharacterSize(const char* text, std::size_t left) {
    return left >= 2 && isAnsiLeadByte(static_cast<unsigned char>(*text)) ? 2 : 1;
}

const char* findLastDoubleByteCharacter(const char* text, char c) {
    const char* found = nullptr;
    const std::size_t length = std::strlen(text);
    for (std::size_t at = 0; at < length; at += doubleByteCharacterSize(text + at, length - at)) {
        if (text[at] == c) found = text + at;
    }
    return found;
}

const char* findDoubleByteWord(const char* text, std::size_t length, const char* word) {
    const std::size_t wordLength = std::strlen(word);
    for (std::size_t at = 0; length - at >= wordLength;
         at += doubleByteCharacterSize(text + at, length - at)) {
        if (std::memcmp(text + at, word, wordLength) == 0) return text + at;
    }
    return nullptr;
}

std::size_t wholeDoubleByteLength(const char* text, std::size_t end) {
    std::size_t at = 0;
    while (at < end) {
        const std::size_t size = isAnsiLeadByte(static_cast<unsigned char>(text[at])) ? 2 : 1;
        if (at + size > end) break;
        at += size;
    }
    return at;
}

std::size_t storeAnsiText(AnsiCodePage codePage, char* out, std::size_t capacity, const char* text,
                          std::size_t length, bool& whole) {
    const std::size_t kept = wholeCharacterLength(codePage, text, length, capacity - 1);
    whole = kept == length;
    return copyBoundedCount(out, capacity, text, kept);
}

std::size_t storeUtf8AsAnsi(AnsiCodePage codePage, char* out, std::size_t capacity,
                            const char* utf8, std::size_t length, bool& whole) {
    // A UTF-8 byte never yields more than one unit, nor a unit more than two bytes.
    char converted[2 * UTF8_CONVERSION_MAX_BYTES];
    const std::size_t convertedLength =
        length > 0 ? convertUtf8ToAnsi(utf8, length, converted, sizeof converted) : 0;
    return storeAnsiText(codePage, out, capacity, converted, convertedLength, whole);
}
