#include "settings/settings_line.h"

#include <cstring>

#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

// Any magnitude beyond this is out of the category range; stopping here keeps
// the accumulation from overflowing however many digits follow.
constexpr long CATEGORY_NUMBER_CEILING = 1000;

bool isFormatSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads an integer as a formatted read would: white space skipped, optional
// sign, then digits. Returns the position after it, or null without digits.
const char16_t* parseCategoryNumber(const char16_t* text, const char16_t* end, long& number) {
    while (text < end && isFormatSpace(*text)) ++text;
    bool negative = false;
    if (text < end && (*text == u'+' || *text == u'-')) negative = *text++ == u'-';
    if (text == end || !isDigit(*text)) return nullptr;
    long magnitude = 0;
    for (; text < end && isDigit(*text); ++text) {
        if (magnitude < CATEGORY_NUMBER_CEILING) magnitude = magnitude * 10 + (*text - u'0');
    }
    number = negative ? -magnitude : magnitude;
    return text;
}

template <std::size_t N>
bool startsWith(const char16_t* text, const char16_t* end, const char16_t (&word)[N]) {
    constexpr std::size_t length = N - 1;
    return static_cast<std::size_t>(end - text) >= length &&
           std::memcmp(text, word, length * sizeof(char16_t)) == 0;
}

// Returns the first marker in [text, end), and sets `tags` to whether it is
// "[TAGS]"; null when there is none.
const char16_t* findMarker(const char16_t* text, const char16_t* end, bool& tags) {
    for (const char16_t* at = text; at < end; ++at) {
        if (*at != u'[') continue;
        tags = startsWith(at, end, TAGS_MARKER);
        if (tags || startsWith(at, end, FILENAME_MARKER)) return at;
    }
    return nullptr;
}

// Stores [begin, end) into `field`, cut between whole characters. Returns
// the units stored; `whole` says whether all of them fitted.
std::size_t storePiece(char16_t (&field)[PROFILE_TEXT_CAPACITY], const char16_t* begin,
                       const char16_t* end, bool& whole) {
    const std::size_t length = static_cast<std::size_t>(end - begin);
    const std::size_t kept = wholeUtf16Length(begin, length, PROFILE_TEXT_CAPACITY - 1);
    whole = kept == length;
    return copyBoundedCount(field, PROFILE_TEXT_CAPACITY, begin, kept);
}

}  // namespace

SettingsProblems parseSettingsLine(const char16_t* line, std::size_t length, int lineNumber,
                                   StatusProfiles& profiles) {
    const char16_t* const lineEnd = line + length;
    long number = 0;
    const char16_t* afterNumber = parseCategoryNumber(line, lineEnd, number);
    if (afterNumber == nullptr) return SETTINGS_NO_NUMBER;
    const char16_t* comma = afterNumber;
    while (comma < lineEnd && *comma != u',') ++comma;
    if (comma == lineEnd) return SETTINGS_NO_COMMA;
    const char16_t* templateText = comma + 1;
    bool tags = false;
    const char16_t* marker = findMarker(templateText, lineEnd, tags);
    if (marker == nullptr) return SETTINGS_NO_MARKER;

    SettingsProblems problems = 0;
    StatusProfile& profile = settingsLineProfile(profiles, lineNumber);
    if (number < 1 || number > 4) problems |= SETTINGS_CATEGORY_OUT_OF_RANGE;
    std::memcpy(profile.categoryCode, categoryCodeFor(number), sizeof profile.categoryCode);

    bool whole = true;
    storePiece(profile.prefix, templateText, marker, whole);
    if (!whole) problems |= SETTINGS_PREFIX_CUT;
    profile.titleFromTags = tags;
    const char16_t* suffix =
        marker + (tags ? literalLength(TAGS_MARKER) : literalLength(FILENAME_MARKER));
    const std::size_t kept = storePiece(profile.suffix, suffix, lineEnd, whole);
    if (!whole) problems |= SETTINGS_SUFFIX_CUT;
    // The line's own line feed must never reach the messenger's display line.
    if (kept > 0 && profile.suffix[kept - 1] == u'\n') profile.suffix[kept - 1] = u' ';
    return problems;
}
