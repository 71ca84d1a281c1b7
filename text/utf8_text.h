#pragma once
// UTF-8 and UTF-16 as bytes: which sequences are whole and valid, and the
// way from UTF-16 to UTF-8. Nothing here asks the system anything.
#include <cstddef>

// Whether all the `length` bytes at `text` are ASCII.
bool isAscii(const char* text, std::size_t length);

// What walking bytes as UTF-8 found.
struct Utf8Scan {
    std::size_t validLength;  // bytes from the start that form whole, valid sequences
    bool multiByte;           // one of those sequences is longer than a byte
    bool endsIncomplete;      // the walk stopped at a sequence the bytes end inside
};

// Walks the `length` bytes at `text` as UTF-8 (no overlong forms, no
// surrogates, nothing beyond U+10FFFF) and stops at the first byte that
// begins no valid sequence, or at a last sequence cut short. A NUL is an
// ordinary one-byte character here. Reads nothing past `length`.
Utf8Scan scanUtf8(const char* text, std::size_t length);

// Returns how many of the first `length` bytes of UTF-8 at `text` hold whole
// sequences only, at most `limit`: a cut there never splits a character.
// Assumes `text` is valid UTF-8 (as scanUtf8 found it).
std::size_t wholeUtf8Length(const char* text, std::size_t length, std::size_t limit);

// Byte order of UTF-16 text.
enum class Utf16Order { LittleEndian, BigEndian };

// Converts the `byteCount` bytes of UTF-16 at `bytes` (an odd last byte is
// ignored) to UTF-8 in `out`, writing at most `capacity` bytes, whole
// characters only, and no terminator. A unit that is half of no surrogate
// pair becomes U+FFFD. Stops before the first U+0000 and where `out` is full.
// Returns the number of bytes written.
std::size_t convertUtf16ToUtf8(const unsigned char* bytes, std::size_t byteCount, Utf16Order order,
                               char* out, std::size_t capacity);
