#include "text/unicode_text.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

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

// The size of the valid sequence at `text` (`left` bytes there), or 0 when
// none begins there; `incomplete` tells a sequence cut short by the end.
std::size_t validSequenceAt(const unsigned char* text, std::size_t left, bool& incomplete) {
    incomplete = false;
    const std::size_t size = utf8SequenceLength(text[0]);
    if (size == 0) return 0;
    const std::size_t present = size <= left ? size : left;
    for (std::size_t i = 1; i < present; ++i) {
        if (!(i == 1 ? utf8SecondByteFits(text[0], text[1]) : (text[i] & 0xC0) == 0x80)) return 0;
    }
    if (present < size) {
        incomplete = true;
        return 0;
    }
    return size;
}

char32_t decodeSequence(const unsigned char* text, std::size_t size) {
    static constexpr unsigned char LEAD_BITS[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t codePoint = text[0] & LEAD_BITS[size];
    for (std::size_t i = 1; i < size; ++i) codePoint = codePoint << 6 | (text[i] & 0x3F);
    return codePoint;
}

// Writes `codePoint` as UTF-8 at `out` when its bytes fit in `room`.
// Returns how many bytes were written: 0 when they do not fit.
std::size_t putUtf8(char32_t codePoint, char* out, std::size_t room) {
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

// Writes `codePoint` as UTF-16 at `out` when its units fit in `room`.
// Returns how many units were written: 0 when they do not fit.
std::size_t putUtf16(char32_t codePoint, char16_t* out, std::size_t room) {
    if (codePoint < 0x10000) {
        if (room < 1) return 0;
        out[0] = static_cast<char16_t>(codePoint);
        return 1;
    }
    if (room < 2) return 0;
    codePoint -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (codePoint >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    return 2;
}

// The code point of the UTF-16 character at `text` (`left` units there, at
// least one), and in `size` how many units it takes; half of no pair is U+FFFD.
char32_t utf16CodePoint(const char16_t* text, std::size_t left, std::size_t& size) {
    size = 1;
    const char16_t unit = text[0];
    if (isHighSurrogate(unit) && left >= 2 && isLowSurrogate(text[1])) {
        size = 2;
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[1] - 0xDC00);
    }
    return isHighSurrogate(unit) || isLowSurrogate(unit) ? REPLACEMENT_CHARACTER : unit;
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
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t at = 0;
    while (at < length) {
        const std::size_t size = validSequenceAt(bytes + at, length - at, scan.endsIncomplete);
        if (size == 0) break;
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

std::size_t convertUtf8ToUtf16(const char* text, std::size_t length, char16_t* out,
                               std::size_t capacity) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t written = 0;
    std::size_t at = 0;
    while (at < length) {
        // ASCII, by far the most of any text, needs no decoding.
        if (bytes[at] < 0x80) {
            if (written == capacity) break;
            out[written++] = bytes[at++];
            continue;
        }
        bool incomplete = false;
        const std::size_t size = validSequenceAt(bytes + at, length - at, incomplete);
        if (size == 0) break;
        const std::size_t units =
            putUtf16(decodeSequence(bytes + at, size), out + written, capacity - written);
        if (units == 0) break;
        written += units;
        at += size;
    }
    return written;
}

std::size_t convertUtf16ToUtf8(const char16_t* text, std::size_t units, char* out,
                               std::size_t capacity) {
    std::size_t written = 0;
    std::size_t at = 0;
    while (at < units) {
        std::size_t size = 0;
        const char32_t codePoint = utf16CodePoint(text + at, units - at, size);
        const std::size_t bytes = putUtf8(codePoint, out + written, capacity - written);
        if (bytes == 0) break;
        written += bytes;
        at += size;
    }
    return written;
}

std::size_t readUtf16Bytes(const unsigned char* bytes, std::size_t byteCount, Utf16Order order,
                           char16_t* out, std::size_t capacity) {
    const std::size_t first = order == Utf16Order::LittleEndian ? 0 : 1;
    std::size_t written = 0;
    for (std::size_t at = 0; byteCount - at >= 2 && written < capacity; at += 2) {
        out[written++] = static_cast<char16_t>(bytes[at + first] | bytes[at + 1 - first] << 8);
    }
    // Whole pairs only, and no half of one: a pair whose second half did not
    // fit is left out, and half of no pair becomes U+FFFD.
    const bool cutShort = byteCount / 2 > written;
    std::size_t kept = 0;
    for (std::size_t at = 0; at < written;) {
        std::size_t size = 0;
        const char32_t codePoint = utf16CodePoint(out + at, written - at, size);
        if (cutShort && at + 1 == written && isHighSurrogate(out[at])) break;
        kept += putUtf16(codePoint, out + kept, size);
        at += size;
    }
    return kept;
}

std::size_t convertUtf16BytesToUtf8(const unsigned char* bytes, std::size_t byteCount,
                                    Utf16Order order, char* out, std::size_t capacity) {
    const std::size_t first = order == Utf16Order::LittleEndian ? 0 : 1;
    const auto unitAt = [&](std::size_t at) {
        return static_cast<char16_t>(bytes[at + first] | bytes[at + 1 - first] << 8);
    };
    std::size_t written = 0;
    for (std::size_t at = 0; byteCount - at >= 2;) {
        char16_t pair[2] = {unitAt(at), 0};
        std::size_t available = 1;
        if (byteCount - at >= 4) {
            pair[1] = unitAt(at + 2);
            available = 2;
        }
        std::size_t size = 0;
        const char32_t codePoint = utf16CodePoint(pair, available, size);
        const std::size_t put = putUtf8(codePoint, out + written, capacity - written);
        if (put == 0) break;
        written += put;
        at += 2 * size;
    }
    return written;
}
