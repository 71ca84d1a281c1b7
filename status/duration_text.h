#pragma once
// How long a file plays, as the templates show it.
#include <cstddef>
#include <cstdint>

// Room for the longest duration shown, "1193046:28:15" (2^32 - 1 seconds),
// and a terminator.
constexpr std::size_t DURATION_TEXT_CAPACITY = 16;

// Writes `seconds` into `out` as "m:ss" below an hour and "h:mm:ss" from
// one hour on (hours as many digits as they take), terminated. Returns its length.
std::size_t formatDuration(std::uint32_t seconds, char16_t (&out)[DURATION_TEXT_CAPACITY]);
