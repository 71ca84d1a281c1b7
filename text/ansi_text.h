#pragma once
// Text in the host's ANSI code page, where it enters: cut between whole
// characters, then converted to UTF-16 by the system. In a double-byte code
// page (Japanese, Chinese, Korean) a lead byte and the byte after it are one
// character; in any other every byte is one.
#include <cstddef>

// Returns the largest number of bytes, at most min(length, limit), from the
// start of the `length` bytes at `text` that holds whole characters only: a
// lead byte whose second byte lies past that is left out.
std::size_t wholeAnsiLength(const char* text, std::size_t length, std::size_t limit);

// Converts the `length` bytes of ANSI text at `text` (any bytes, NUL
// included), first cut between whole characters to at most `capacity` bytes,
// to UTF-16 in `out`, writing at most `capacity` units and no terminator (a
// byte never yields more than one unit). Returns the number of units written.
std::size_t storeAnsiAsUtf16(const char* text, std::size_t length, char16_t* out,
                             std::size_t capacity);
