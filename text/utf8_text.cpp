#include "text/utf8_text.h"

#include <cstdint>
#include <cstring>

namespace {

// The length of the UTF-8 sequence that `lead` begins, or 0 when it begins none.
std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Whether the second byte of a sequence led by `lead` may be `next`: no
// overlong forms, no surrogates, nothing beyond U+10FFFF.
bool utf8SecondByteFits(unsigned char lead, unsigned char next) {
    if (lead == 0xE0) return next >= 0xA0 && next <= 0xBF;
    if (lead == 0xED) return next >= 0x80 && next <= 0x9F;
    if (lead == 0xF0) return next >= 0x90 && next <= 0xBF;
    if (lead == 0xF4) return next >= 0x80 && next <= 0x8F;
    return next >= 0x80 && next <= 0xBF;
}

unsigned readUnit(const unsigned char* at, Utf16Order order) {
    return order == Utf16Order::LittleEndian ? at[0] | (at[1] << 8) : (at[0] << 8) | at[1];
}

// Writes `codePoint` as UTF-8 at `out` when its bytes fit in `room`.
// Returns how many bytes were written: 0 when they do not fit.
std::size_t putUtf8(unsigned long codePoint, char* out, std::size_t room) {
    unsigned char bytes[4];
    std::size_t size = 0;
    if (codePoint < 0x80) {
        bytes[size++] = static_cast<unsigned char>(codePoint);
    } else if (codePoint < 0x800) {
        bytes[size++] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
        bytes[size++] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        bytes[size++] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
        bytes[size++] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[size++] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    } else {
        bytes[size++] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
        bytes[size++] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
        bytes[size++] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[size++] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    }
    if (size > room) return 0;
    std::memcpy(out, bytes, size);
    return size;
}

}  // namespace

bool isAscii(const char* text, std::size_t length) {
    // Eight at a time, the last eight overlapping the ones before.
    constexpr std::uint64_t HIGH_BITS = 0x8080808080808080u;
    std::uint64_t seen = 0;
    std::uint64_t word = 0;
    if (length < sizeof word) {
        for (std::size_t at = 0; at < length; ++at) seen |= static_cast<unsigned char>(text[at]);
        return (seen & 0x80) == 0;
    }
    for (std::size_t at = 0; at + sizeof word <= length; at += sizeof word) {
        std::memcpy(&word, text + at, sizeof word);
        seen |= word;
    }
    std::memcpy(&word, text + length - sizeof word, sizeof word);
    return ((seen | word) & HIGH_BITS) == 0;
}

Utf8Scan scanUtf8(const char* text, std::size_t length) {
    Utf8Scan scan{0, false, false};
    std::size_t at = 0;
    while (at < length) {
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        const std::size_t size = utf8SequenceLength(lead);
        if (size == 0) break;
        const std::size_t present = size <= length - at ? size : length - at;
        std::size_t i = 1;
        for (; i < present; ++i) {
            const unsigned char next = static_cast<unsigned char>(text[at + i]);
            if (!(i == 1 ? utf8SecondByteFits(lead, next) : (next & 0xC0) == 0x80)) break;
        }
        if (i < present) break;
        if (present < size) {
            scan.endsIncomplete = true;
            break;
        }
        scan.multiByte |= size > 1;
        at += size;
    }
    scan.validLength = at;
    return scan;
}

std::size_t wholeUtf8Length(const char* text, std::size_t length, std::size_t limit) {
    std::size_t end = length < limit ? length : limit;
    if (end == length) return end;
    // Back over continuation bytes to the start of the character cut at `end`.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}

std::size_t convertUtf16ToUtf8(const unsigned char* bytes, std::size_t byteCount, Utf16Order order,
                               char* out, std::size_t capacity) {
    std::size_t written = 0;
    std::size_t at = 0;
    while (byteCount - at >= 2) {
        unsigned long codePoint = readUnit(bytes + at, order);
        at += 2;
        if (codePoint == 0) break;
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && byteCount - at >= 2 &&
            readUnit(bytes + at, order) >= 0xDC00 && readUnit(bytes + at, order) <= 0xDFFF) {
            codePoint =
                0x10000 + ((codePoint - 0xD800) << 10) + (readUnit(bytes + at, order) - 0xDC00);
            at += 2;
        } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
            codePoint = 0xFFFD;
        }
        const std::size_t size = putUtf8(codePoint, out + written, capacity - written);
        if (size == 0) break;
        written += size;
    }
    return written;
}
