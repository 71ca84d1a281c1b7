#include "text/json_text.h"

#include <cstring>

JsonWriter startJson(char* out, std::size_t capacity) { return {out, capacity, 0, false}; }

void appendJsonRaw(JsonWriter& writer, const char* text, std::size_t length) {
    if (writer.overflowed || length > writer.capacity - writer.length) {
        writer.overflowed = true;
        return;
    }
    std::memcpy(writer.out + writer.length, text, length);
    writer.length += length;
}

void appendJsonRaw(JsonWriter& writer, const char* text) {
    appendJsonRaw(writer, text, std::strlen(text));
}

void appendJsonString(JsonWriter& writer, const char* text, std::size_t length) {
    static const char HEX_DIGITS[] = "0123456789abcdef";
    appendJsonRaw(writer, "\"", 1);
    std::size_t plainFrom = 0;
    for (std::size_t at = 0; at < length; ++at) {
        const unsigned char byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
        appendJsonRaw(writer, text + plainFrom, at - plainFrom);
        plainFrom = at + 1;
        char escape[6] = {'\\', 0, 0, 0, 0, 0};
        std::size_t escapeLength = 2;
        switch (byte) {
            case '"': escape[1] = '"'; break;
            case '\\': escape[1] = '\\'; break;
            case '\b': escape[1] = 'b'; break;
            case '\f': escape[1] = 'f'; break;
            case '\n': escape[1] = 'n'; break;
            case '\r': escape[1] = 'r'; break;
            case '\t': escape[1] = 't'; break;
            default:
                std::memcpy(escape + 1, "u00", 3);
                escape[4] = HEX_DIGITS[byte >> 4];
                escape[5] = HEX_DIGITS[byte & 0xF];
                escapeLength = 6;
        }
        appendJsonRaw(writer, escape, escapeLength);
    }
    appendJsonRaw(writer, text + plainFrom, length - plainFrom);
    appendJsonRaw(writer, "\"", 1);
}

void appendJsonNumber(JsonWriter& writer, std::uint64_t value) {
    char digits[20];
    std::size_t count = 0;
    do {
        digits[sizeof digits - 1 - count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    appendJsonRaw(writer, digits + sizeof digits - count, count);
}
