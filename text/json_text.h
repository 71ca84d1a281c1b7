#pragma once
// JSON written by hand into a fixed buffer: the few objects the plug-in
// sends are simple, and only their strings need care.
#include <cstddef>
#include <cstdint>

// A JSON text under construction in `out` (`capacity` bytes). Once a piece
// does not fit, `overflowed` stays set and nothing more is written; what
// was written is never terminated.
struct JsonWriter {
    char* out;
    std::size_t capacity;
    std::size_t length;
    bool overflowed;
};

// A writer over `out`, `capacity` bytes, empty.
JsonWriter startJson(char* out, std::size_t capacity);

// Appends the `length` bytes at `text` as they are (punctuation, names).
void appendJsonRaw(JsonWriter& writer, const char* text, std::size_t length);

// Appends the terminated `text` as it is.
void appendJsonRaw(JsonWriter& writer, const char* text);

// Appends the `length` bytes of UTF-8 at `text` as a JSON string, in quotes:
// quotation marks and backslashes escaped, every control character below
// U+0020 as \b \f \n \r \t or \u00XX; every other byte as it is.
void appendJsonString(JsonWriter& writer, const char* text, std::size_t length);

// Appends `value` in decimal.
void appendJsonNumber(JsonWriter& writer, std::uint64_t value);
