#include "settings/settings_line.h"

#include <cstring>

#include "text/bounded_text.h"

namespace {

// Any magnitude beyond this is out of the category range; stopping here keeps
// the accumulation from overflowing however many digits follow.
constexpr long CATEGORY_NUMBER_CEILING = 1000;

bool isFormatSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads an integer as a formatted read would: white space skipped, optional
// sign, then digits. Returns the position after it, or null without digits.
const char* parseCategoryNumber(const char* text, long& number) {
    while (isFormatSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    if (*text < '0' || *text > '9') return nullptr;
    long magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (magnitude < CATEGORY_NUMBER_CEILING) magnitude = magnitude * 10 + (*text - '0');
    }
    number = negative ? -magnitude : magnitude;
    return text;
}

// The first "[FILENAME]" among the `length` bytes at `text`, or null.
const char* findMarker(const char* text, std::size_t length) {
    const std::size_t markerLength = std::strlen(FILENAME_MARKER);
    const char* const end = text + length;
    while (static_cast<std::size_t>(end - text) >= markerLength) {
        text = static_cast<const char*>(
            std::memchr(text, FILENAME_MARKER[0], static_cast<std::size_t>(end - text)));
        if (text == nullptr || static_cast<std::size_t>(end - text) < markerLength) return nullptr;
        if (std::memcmp(text, FILENAME_MARKER, markerLength) == 0) return text;
        ++text;
    }
    return nullptr;
}

}  // namespace

SettingsProblems parseSettingsLine(const char* line, int lineNumber, StatusProfiles& profiles) {
    const char* const lineEnd = line + std::strlen(line);
    long number = 0;
    const char* afterNumber = parseCategoryNumber(line, number);
    if (afterNumber == nullptr) return SETTINGS_NO_NUMBER;
    const char* comma = static_cast<const char*>(
        std::memchr(afterNumber, ',', static_cast<std::size_t>(lineEnd - afterNumber)));
    if (comma == nullptr) return SETTINGS_NO_COMMA;
    const char* templateText = comma + 1;
    const char* marker = findMarker(templateText, static_cast<std::size_t>(lineEnd - templateText));
    if (marker == nullptr) return SETTINGS_NO_MARKER;

    SettingsProblems problems = 0;
    StatusProfile& profile = lineNumber == 1 ? profiles.videoProfile : profiles.audioProfile;
    if (number < 1 || number > 4) problems |= SETTINGS_CATEGORY_OUT_OF_RANGE;
    copyBounded(profile.categoryCode, sizeof profile.categoryCode, categoryCodeFor(number));

    const std::size_t prefixLength = static_cast<std::size_t>(marker - templateText);
    if (copyBoundedCount(profile.prefix, sizeof profile.prefix, templateText, prefixLength) <
        prefixLength) {
        problems |= SETTINGS_PREFIX_CUT;
    }
    const char* suffix = marker + std::strlen(FILENAME_MARKER);
    const std::size_t suffixLength = static_cast<std::size_t>(lineEnd - suffix);
    const std::size_t kept =
        copyBoundedCount(profile.suffix, sizeof profile.suffix, suffix, suffixLength);
    if (kept < suffixLength) problems |= SETTINGS_SUFFIX_CUT;
    // The line's own line feed must never reach the messenger's display line.
    if (kept > 0 && profile.suffix[kept - 1] == '\n') profile.suffix[kept - 1] = ' ';
    return problems;
}
