#pragma once
// UTF-8 and UTF-16: which sequences are whole and valid, and the ways
// between them. Nothing here asks the system anything.
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

inline bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Returns how many of the first `length` units of UTF-16 at `text` to keep so
// that there are at most `limit` and a cut never parts a surrogate pair.
inline std::size_t wholeUtf16Length(const char16_t* text, std::size_t length, std::size_t limit) {
    if (length <= limit) return length;
    return limit > 0 && isHighSurrogate(text[limit - 1]) ? limit - 1 : limit;
}

// Converts the valid UTF-8 at the start of the `length` bytes at `text` (as
// scanUtf8 finds it: the first invalid or cut-short sequence ends it) to
// UTF-16 in `out`, writing at most `capacity` units, whole characters only,
// and no terminator. Returns the number of units written.
std::size_t convertUtf8ToUtf16(const char* text, std::size_t length, char16_t* out,
                               std::size_t capacity);

// Converts the `units` units of UTF-16 at `text` to UTF-8 in `out`, writing at
// most `capacity` bytes, whole characters only, and no terminator. A unit
// that is half of no surrogate pair becomes U+FFFD. Returns the number of
// bytes written.
std::size_t convertUtf16ToUtf8(const char16_t* text, std::size_t units, char* out,
                               std::size_t capacity);

// Byte order of UTF-16 held as bytes.
enum class Utf16Order { LittleEndian, BigEndian };

// Reads the `byteCount` bytes at `bytes` (an odd last byte is ignored) as
// UTF-16 in `order` into `out`, at most `capacity` units, whole characters
// only, no terminator. A unit that is half of no surrogate pair becomes
// U+FFFD. Returns the number of units written.
std::size_t readUtf16Bytes(const unsigned char* bytes, std::size_t byteCount, Utf16Order order,
                           char16_t* out, std::size_t capacity);

// Converts the `byteCount` bytes at `bytes`, UTF-16 in `order` (an odd last
// byte is ignored), to UTF-8 in `out`, writing at most `capacity` bytes,
// whole characters only, no terminator. A unit that is half of no surrogate
// pair becomes U+FFFD; U+0000 is kept. Returns the number of bytes written.
std::size_t convertUtf16BytesToUtf8(const unsigned char* bytes, std::size_t byteCount,
                                    Utf16Order order, char* out, std::size_t capacity);
