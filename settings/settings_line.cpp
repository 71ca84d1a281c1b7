#include "settings/settings_line.h"

#include <cstring>

#include "status/status_template.h"
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

SettingsProblems splitSettingsLine(const char16_t* line, std::size_t length, long& number,
                                   const char16_t*& templateText) {
    const char16_t* const lineEnd = line + length;
    const char16_t* comma = parseCategoryNumber(line, lineEnd, number);
    if (comma == nullptr) return SETTINGS_NO_NUMBER;
    while (comma < lineEnd && *comma != u',') ++comma;
    if (comma == lineEnd) return SETTINGS_NO_COMMA;
    templateText = comma + 1;
    return 0;
}

std::size_t settingsLineNumberEnd(const char16_t* line, std::size_t length) {
    long number = 0;
    const char16_t* end = parseCategoryNumber(line, line + length, number);
    return end == nullptr ? 0 : static_cast<std::size_t>(end - line);
}

SettingsProblems parseSettingsLine(const char16_t* line, std::size_t length, int lineNumber,
                                   StatusProfiles& profiles) {
    long number = 0;
    const char16_t* templateText = nullptr;
    const SettingsProblems unsplit = splitSettingsLine(line, length, number, templateText);
    if (unsplit != 0) return unsplit;
    const char16_t* const lineEnd = line + length;
    const std::size_t templateLength = static_cast<std::size_t>(lineEnd - templateText);
    const TemplateMarkers markers = findTemplateMarkers(templateText, templateLength);
    if (markers.count == 0) return SETTINGS_NO_MARKER;

    SettingsProblems problems = 0;
    StatusProfile& profile = settingsLineProfile(profiles, lineNumber);
    if (number < 1 || number > 4) problems |= SETTINGS_CATEGORY_OUT_OF_RANGE;
    std::memcpy(profile.categoryCode, categoryCodeFor(number), sizeof profile.categoryCode);

    // The line's own line feed must never reach the messenger's display line.
    const auto endLineAsSpace = [](char16_t* text, std::size_t length) {
        if (length > 0 && text[length - 1] == u'\n') text[length - 1] = u' ';
    };
    const bool aroundTitle =
        markers.count == 1 && (markers.first == MARKER_FILENAME || markers.first == MARKER_TAGS);
    profile.composedWhole = !aroundTitle;
    profile.titleFromTags = markers.usesTags;
    profile.readsFacts = markers.usesFacts;
    if (!aroundTitle) {
        profile.prefix[0] = u'\0';
        profile.suffix[0] = u'\0';
        profile.templateLength = copyBoundedCount(profile.templateText, PROFILE_TEMPLATE_CAPACITY,
                                                  templateText, templateLength);
        endLineAsSpace(profile.templateText, profile.templateLength);
        return problems;
    }
    profile.templateText[0] = u'\0';
    profile.templateLength = 0;
    const char16_t* marker = templateText + markers.firstAt;
    bool whole = true;
    storePiece(profile.prefix, templateText, marker, whole);
    if (!whole) problems |= SETTINGS_PREFIX_CUT;
    const std::size_t kept =
        storePiece(profile.suffix, marker + markers.firstLength, lineEnd, whole);
    if (!whole) problems |= SETTINGS_SUFFIX_CUT;
    endLineAsSpace(profile.suffix, kept);
    return problems;
}
