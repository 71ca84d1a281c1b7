#include "text/base64_text.h"

namespace {

constexpr int NOT_BASE64 = -1;
constexpr unsigned BITS_PER_CHARACTER = 6;

int valueOf(unsigned char character) {
    if (character >= 'A' && character <= 'Z') return character - 'A';
    if (character >= 'a' && character <= 'z') return character - 'a' + 26;
    if (character >= '0' && character <= '9') return character - '0' + 52;
    if (character == '+') return 62;
    if (character == '/') return 63;
    return NOT_BASE64;
}

}  // namespace

std::size_t decodeBase64Group(const unsigned char* group, unsigned char* out) {
    // "xx==" gives one byte, "xxx=" two; no padding elsewhere.
    std::size_t characters = BASE64_GROUP_CHARACTERS;
    if (group[3] == '=') characters = group[2] == '=' ? 2 : 3;
    unsigned long bits = 0;
    for (std::size_t at = 0; at < BASE64_GROUP_CHARACTERS; ++at) {
        const int value = at < characters ? valueOf(group[at]) : 0;
        if (value == NOT_BASE64) return 0;
        bits = bits << BITS_PER_CHARACTER | static_cast<unsigned long>(value);
    }
    out[0] = static_cast<unsigned char>(bits >> 16);
    out[1] = static_cast<unsigned char>(bits >> 8);
    out[2] = static_cast<unsigned char>(bits);
    return characters - 1;
}
