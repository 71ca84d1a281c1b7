#pragma once
// Text in the host's ANSI code page, taken by whole characters. In a
// double-byte code page (Japanese, Chinese, Korean) a lead byte and the byte
// after it are one character, and that second byte is never a backslash, an
// underscore or a bracket of its own; a lead byte without its second byte
// is not a whole character. In a single-byte code page every byte is one.
//
// The kind of code page is asked of the platform once per task and handed to
// the functions here, which then cost nothing extra in a single-byte one.
#include <cstddef>
#include <cstring>

enum class AnsiCodePage { SingleByte, DoubleByte };

// The kind of the host's ANSI code page now.
AnsiCodePage currentAnsiCodePage();

// Returns how many bytes the character at `text` takes, at most `left` (>= 1):
// 2 for a lead byte followed by its second byte, else 1. Double-byte only.
std::size_t doubleByteCharacterSize(const char* text, std::size_t left);

// Whether `c` begins a two-byte character. Double-byte only.
bool isDoubleByteLead(char c);

// The lowest byte any double-byte code page takes as a second byte; a lead
// byte followed by a lower one begins no character.
constexpr unsigned char LOWEST_SECOND_BYTE = 0x40;

// The double-byte halves of the functions below.
const char* findLastDoubleByteCharacter(const char* text, char c);
const char* findDoubleByteWord(const char* text, std::size_t length, const char* word);
std::size_t wholeDoubleByteLength(const char* text, std::size_t end);

// Returns the first place among the `length` bytes at `text` where `word`
// (ASCII, NUL-terminated) begins, byte by byte, whatever the code page; null
// when there is none. Inline, so that a constant word compares as one.
inline const char* findBytes(const char* text, std::size_t length, const char* word) {
    const std::size_t wordLength = std::strlen(word);
    const char* const end = text + length;
    while (static_cast<std::size_t>(end - text) >= wordLength) {
        text = static_cast<const char*>(
            std::memchr(text, word[0], static_cast<std::size_t>(end - text)));
        if (text == nullptr || static_cast<std::size_t>(end - text) < wordLength) return nullptr;
        if (std::memcmp(text, word, wordLength) == 0) return text;
        ++text;
    }
    return nullptr;
}

// Returns the last `c` (an ASCII character) of the NUL-terminated `text`
// that is a character of its own, or null.
inline const char* findLastAnsiCharacter(AnsiCodePage codePage, const char* text, char c) {
    return codePage == AnsiCodePage::SingleByte ? std::strrchr(text, c)
                                                : findLastDoubleByteCharacter(text, c);
}

// As findBytes, but `word` must begin at a character.
inline const char* findAnsiWord(AnsiCodePage codePage, const char* text, std::size_t length,
                                const char* word) {
    return codePage == AnsiCodePage::SingleByte ? findBytes(text, length, word)
                                                : findDoubleByteWord(text, length, word);
}

// Returns the largest number of bytes, at most min(length, limit), from the
// start of the `length` bytes at `text` that holds whole characters only: a
// lead byte whose second byte lies past that, or is missing, is left out.
inline std::size_t wholeCharacterLength(AnsiCodePage codePage, const char* text, std::size_t length,
                                        std::size_t limit) {
    const std::size_t end = length < limit ? length : limit;
    return codePage == AnsiCodePage::SingleByte ? end : wholeDoubleByteLength(text, end);
}

// Stores the `length` bytes of ANSI text at `text` into `out` (`capacity`
// bytes, at least 1), cut between whole characters, always terminated.
// Returns the number of bytes stored; `whole` says whether all of them fitted.
std::size_t storeAnsiText(AnsiCodePage codePage, char* out, std::size_t capacity, const char* text,
                          std::size_t length, bool& whole);

// As storeAnsiText, for the `length` bytes of UTF-8 at `utf8` converted to
// the ANSI code page first (nothing is stored from more than
// UTF8_CONVERSION_MAX_BYTES of them).
std::size_t storeUtf8AsAnsi(AnsiCodePage codePage, char* out, std::size_t capacity,
                            const char* utf8, std::size_t length, bool& whole);
