#pragma once
// Copies and appends that never write past a fixed destination. Inline: they
// sit on every path of the host's thread, mostly over a few dozen bytes.
#include <cstddef>
#include <cstring>

// Returns the number of bytes before the first NUL of `text`, reading at most
// `capacity` bytes; returns `capacity` when there is no NUL among them.
inline std::size_t boundedLength(const char* text, std::size_t capacity) {
    const void* end = std::memchr(text, '\0', capacity);
    return end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - text)
                          : capacity;
}

// Copies at most min(count, capacity - 1) bytes of `source`, which need not be
// terminated, into `destination` and always terminates it (when capacity > 0).
// Returns the number of bytes copied.
inline std::size_t copyBoundedCount(char* destination, std::size_t capacity, const char* source,
                                    std::size_t count) {
    if (capacity == 0) return 0;
    const std::size_t length = count < capacity - 1 ? count : capacity - 1;
    std::memcpy(destination, source, length);
    destination[length] = '\0';
    return length;
}

// Copies at most capacity - 1 bytes of the NUL-terminated `source` into
// `destination` and always terminates it (when capacity > 0). Returns the
// number of bytes copied, not counting the terminator.
inline std::size_t copyBounded(char* destination, std::size_t capacity, const char* source) {
    if (capacity == 0) return 0;
    // Look no further than what can be copied: the source may be long.
    return copyBoundedCount(destination, capacity, source, boundedLength(source, capacity - 1));
}

// Appends `source` after the `length` bytes already in `destination`, writing at
// most capacity - length - 1 bytes, and always terminates. Returns the new length.
inline std::size_t appendBounded(char* destination, std::size_t capacity, std::size_t length,
                                 const char* source) {
    if (length >= capacity) return length;
    return length + copyBounded(destination + length, capacity - length, source);
}
