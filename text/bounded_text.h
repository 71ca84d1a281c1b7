#pragma once
// Copies and appends that never write past a fixed destination, for 8-bit
// text (char) and UTF-16 (char16_t) alike. Inline: they sit on every path of
// the host's thread, mostly over a few dozen units.
#include <cstddef>
#include <cstring>

// Returns the number of bytes before the first NUL of `text`, reading at most
// `capacity` bytes; returns `capacity` when there is no NUL among them.
inline std::size_t boundedLength(const char* text, std::size_t capacity) {
    const void* end = std::memchr(text, '\0', capacity);
    return end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - text)
                          : capacity;
}

// As above, in UTF-16 units: the units before the first U+0000, at most `capacity`.
inline std::size_t boundedLength(const char16_t* text, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && text[length] != u'\0') ++length;
    return length;
}

// The units of a string literal before its terminator, known when compiling.
template <typename Char, std::size_t N>
constexpr std::size_t literalLength(const Char (&)[N]) {
    return N - 1;
}

// Copies at most min(count, capacity - 1) units of `source`, which need not be
// terminated, into `destination` and always terminates it (when capacity > 0).
// Returns the number of units copied.
template <typename Char>
std::size_t copyBoundedCount(Char* destination, std::size_t capacity, const Char* source,
                             std::size_t count) {
    if (capacity == 0) return 0;
    const std::size_t length = count < capacity - 1 ? count : capacity - 1;
    std::memcpy(destination, source, length * sizeof(Char));
    destination[length] = Char{};
    return length;
}

// Copies at most capacity - 1 units of the terminated `source` into
// `destination` and always terminates it (when capacity > 0). Returns the
// number of units copied, not counting the terminator.
template <typename Char>
std::size_t copyBounded(Char* destination, std::size_t capacity, const Char* source) {
    if (capacity == 0) return 0;
    // Look no further than what can be copied: the source may be long.
    return copyBoundedCount(destination, capacity, source, boundedLength(source, capacity - 1));
}

// Appends `source` after the `length` units already in `destination`, writing at
// most capacity - length - 1 units, and always terminates. Returns the new length.
template <typename Char>
std::size_t appendBounded(Char* destination, std::size_t capacity, std::size_t length,
                          const Char* source) {
    if (length >= capacity) return length;
    return length + copyBounded(destination + length, capacity - length, source);
}
