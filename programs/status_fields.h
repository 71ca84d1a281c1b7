#pragma once
// Reads a status text as the messenger does: fields split at every "\0"
// (backslash, zero). Field 1 is the category name, field 4 the display line.
#include <cstddef>

struct StatusField {
    const char16_t* begin;  // inside the text read; null when the field is absent
    std::size_t length;
};

struct StatusDisplay {
    StatusField category;
    StatusField displayLine;
};

// Returns views into the `units` units of UTF-16 at `text` of the category
// and the display line.
StatusDisplay readStatusDisplay(const char16_t* text, std::size_t units);
