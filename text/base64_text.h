#pragma once
// Base64 (RFC 4648, the standard alphabet, no line breaks), decoded a
// group of four characters at a time, so that a picture of megabytes is
// decoded piece by piece, never held whole.
#include <cstddef>

// Characters in a group, and the bytes they give.
constexpr std::size_t BASE64_GROUP_CHARACTERS = 4;
constexpr std::size_t BASE64_GROUP_BYTES = 3;

// Decodes the four characters at `group` into `out` (room for three).
// Returns the bytes it gave: 3, or 2 or 1 for a last group padded with
// "=" or "=="; 0 when the group is not base64 (any other character, or
// padding elsewhere).
std::size_t decodeBase64Group(const unsigned char* group, unsigned char* out);
