#include "text/bounded_text.h"

#include <cstring>

std::size_t boundedLength(const char* text, std::size_t capacity) {
    return strnlen(text, capacity);
}

std::size_t copyBoundedCount(char* destination, std::size_t capacity, const char* source,
                             std::size_t count) {
    if (capacity == 0) return 0;
    const std::size_t length = count < capacity - 1 ? count : capacity - 1;
    std::memcpy(destination, source, length);
    destination[length] = '\0';
    return length;
}

std::size_t copyBounded(char* destination, std::size_t capacity, const char* source) {
    if (capacity == 0) return 0;
    // Look no further than what can be copied: the source may be long.
    return copyBoundedCount(destination, capacity, source, boundedLength(source, capacity - 1));
}

std::size_t appendBounded(char* destination, std::size_t capacity, std::size_t length,
                          const char* source) {
    if (length >= capacity) return length;
    return length + copyBounded(destination + length, capacity - length, source);
}
