#include "status/duration_text.h"

namespace {

constexpr std::uint32_t SECONDS_PER_MINUTE = 60;
constexpr std::uint32_t SECONDS_PER_HOUR = 60 * SECONDS_PER_MINUTE;

// Writes `value` in decimal at `out`, at least `digits` digits. Returns the end.
char16_t* putNumber(char16_t* out, std::uint32_t value, unsigned digits) {
    char16_t reversed[10];
    unsigned count = 0;
    do {
        reversed[count++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < digits) reversed[count++] = u'0';
    while (count > 0) *out++ = reversed[--count];
    return out;
}

}  // namespace

std::size_t formatDuration(std::uint32_t seconds, char16_t (&out)[DURATION_TEXT_CAPACITY]) {
    char16_t* at = out;
    const std::uint32_t hours = seconds / SECONDS_PER_HOUR;
    const std::uint32_t minutes = seconds % SECONDS_PER_HOUR / SECONDS_PER_MINUTE;
    if (hours > 0) {
        at = putNumber(at, hours, 1);
        *at++ = u':';
    }
    at = putNumber(at, minutes, hours > 0 ? 2 : 1);
    *at++ = u':';
    at = putNumber(at, seconds % SECONDS_PER_MINUTE, 2);
    *at = u'\0';
    return static_cast<std::size_t>(at - out);
}
