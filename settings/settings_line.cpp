#include "settings/settings_line.h"

#include <cstring>

#include "text/ansi_text.h"

namespace {

// Any magnitude beyond this is out of the category range; stopping here keeps
// the accumulation from overflowing however many digits follow.
constexpr long CATEGORY_NUMBER_CEILING = 1000;

bool isFormatSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

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

// Stores the `length` bytes at `piece`, in `encoding`, into `field`.
std::size_t storePiece(char* field, std::size_t capacity, const char* piece, std::size_t length,
                       SettingsEncoding encoding, AnsiCodePage codePage, bool& whole) {
    return encoding == SettingsEncoding::Utf8
               ? storeUtf8AsAnsi(codePage, field, capacity, piece, length, whole)
               : storeAnsiText(codePage, field, capacity, piece, length, whole);
}

bool startsWith(const char* text, std::size_t length, const char* word) {
    return length >= std::strlen(word) && std::memcmp(text, word, std::strlen(word)) == 0;
}

// Returns the first marker among the `length` bytes at `text`, and sets
// `tags` to whether it is "[TAGS]"; null when there is none.
const char* findMarker(const char* text, std::size_t length, AnsiCodePage walk, bool& tags) {
    const char* const end = text + length;
    for (const char* at = text; (at = findAnsiWord(walk, at, end - at, "[")) != nullptr; ++at) {
        tags = startsWith(at, end - at, TAGS_MARKER);
        if (tags || startsWith(at, end - at, FILENAME_MARKER)) return at;
    }
    return nullptr;
}

}  // namespace

SettingsProblems parseSettingsLine(const char* line, int lineNumber, SettingsEncoding encoding,
                                   StatusProfiles& profiles) {
    const char* const lineEnd = line + std::strlen(line);
    const AnsiCodePage codePage = currentAnsiCodePage();
    long number = 0;
    const char* afterNumber = parseCategoryNumber(line, number);
    if (afterNumber == nullptr) return SETTINGS_NO_NUMBER;
    // No second byte of a two-byte character is a comma, but one may be a
    // bracket; in UTF-8 no byte of a longer character is either.
    const char* comma = static_cast<const char*>(
        std::memchr(afterNumber, ',', static_cast<std::size_t>(lineEnd - afterNumber)));
    if (comma == nullptr) return SETTINGS_NO_COMMA;
    const char* templateText = comma + 1;
    const std::size_t templateLength = static_cast<std::size_t>(lineEnd - templateText);
    bool tags = false;
    const char* marker =
        findMarker(templateText, templateLength,
                   encoding == SettingsEncoding::Utf8 ? AnsiCodePage::SingleByte : codePage, tags);
    if (marker == nullptr) return SETTINGS_NO_MARKER;

    SettingsProblems problems = 0;
    StatusProfile& profile = settingsLineProfile(profiles, lineNumber);
    if (number < 1 || number > 4) problems |= SETTINGS_CATEGORY_OUT_OF_RANGE;
    std::memcpy(profile.categoryCode, categoryCodeFor(number), sizeof profile.categoryCode);

    bool whole = true;
    storePiece(profile.prefix, sizeof profile.prefix, templateText,
               static_cast<std::size_t>(marker - templateText), encoding, codePage, whole);
    if (!whole) problems |= SETTINGS_PREFIX_CUT;
    profile.titleFromTags = tags;
    const char* suffix = marker + std::strlen(tags ? TAGS_MARKER : FILENAME_MARKER);
    const std::size_t kept =
        storePiece(profile.suffix, sizeof profile.suffix, suffix,
                   static_cast<std::size_t>(lineEnd - suffix), encoding, codePage, whole);
    if (!whole) problems |= SETTINGS_SUFFIX_CUT;
    // The line's own line feed must never reach the messenger's display line.
    if (kept > 0 && profile.suffix[kept - 1] == '\n') profile.suffix[kept - 1] = ' ';
    return problems;
}
