#pragma once
// Copies and appends that never write past a fixed destination.
#include <cstddef>

// Returns the number of bytes before the first NUL of `text`, reading at most
// `capacity` bytes; returns `capacity` when there is no NUL among them.
std::size_t boundedLength(const char* text, std::size_t capacity);

// Copies at most capacity - 1 bytes of the NUL-terminated `source` into
// `destination` and always terminates it (when capacity > 0). Returns the
// number of bytes copied, not counting the terminator.
std::size_t copyBounded(char* destination, std::size_t capacity, const char* source);

// Copies at most min(count, capacity - 1) bytes of `source`, which need not be
// terminated, into `destination` and always terminates it (when capacity > 0).
// Returns the number of bytes copied.
std::size_t copyBoundedCount(char* destination, std::size_t capacity, const char* source,
                             std::size_t count);

// Appends `source` after the `length` bytes already in `destination`, writing at
// most capacity - length - 1 bytes, and always terminates. Returns the new length.
std::size_t appendBounded(char* destination, std::size_t capacity, std::size_t length,
                          const char* source);
