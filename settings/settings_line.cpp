#include "settings/settings_line.h"

#include <cstring>

#include "platform/platform.h"
#include "text/ansi_text.h"
#include "text/bounded_text.h"

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

// Stores the `length` bytes of ANSI text at `piece` into `field` (`capacity`
// bytes), cut between whole characters, always terminated. Returns the
// number of bytes stored, and whether all fitted.
std::size_t storeAnsiPiece(char* field, std::size_t capacity, const char* piece, std::size_t length,
                           AnsiCodePage codePage, bool& whole) {
    const std::size_t kept = wholeCharacterLength(codePage, piece, length, capacity - 1);
    whole = kept == length;
    return copyBoundedCount(field, capacity, piece, kept);
}

// As storeAnsiPiece, for UTF-8 text converted to the ANSI code page first.
std::size_t storeUtf8Piece(char* field, std::size_t capacity, const char* piece, std::size_t length,
                           AnsiCodePage codePage, bool& whole) {
    // A UTF-8 byte never yields more than one unit, nor a unit more than two bytes.
    char converted[2 * UTF8_CONVERSION_MAX_BYTES];
    const std::size_t convertedLength =
        length > 0 ? convertUtf8ToAnsi(piece, length, converted, sizeof converted) : 0;
    return storeAnsiPiece(field, capacity, converted, convertedLength, codePage, whole);
}

// Stores the `length` bytes at `piece`, in `encoding`, into `field`.
std::size_t storePiece(char* field, std::size_t capacity, const char* piece, std::size_t length,
                       SettingsEncoding encoding, AnsiCodePage codePage, bool& whole) {
    return encoding == SettingsEncoding::Utf8
               ? storeUtf8Piece(field, capacity, piece, length, codePage, whole)
               : storeAnsiPiece(field, capacity, piece, length, codePage, whole);
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
    const char* marker =
        encoding == SettingsEncoding::Utf8
            ? findBytes(templateText, templateLength, FILENAME_MARKER)
            : findAnsiWord(codePage, templateText, templateLength, FILENAME_MARKER);
    if (marker == nullptr) return SETTINGS_NO_MARKER;

    SettingsProblems problems = 0;
    StatusProfile& profile = settingsLineProfile(profiles, lineNumber);
    if (number < 1 || number > 4) problems |= SETTINGS_CATEGORY_OUT_OF_RANGE;
    std::memcpy(profile.categoryCode, categoryCodeFor(number), sizeof profile.categoryCode);

    bool whole = true;
    storePiece(profile.prefix, sizeof profile.prefix, templateText,
               static_cast<std::size_t>(marker - templateText), encoding, codePage, whole);
    if (!whole) problems |= SETTINGS_PREFIX_CUT;
    const char* suffix = marker + std::strlen(FILENAME_MARKER);
    const std::size_t kept =
        storePiece(profile.suffix, sizeof profile.suffix, suffix,
                   static_cast<std::size_t>(lineEnd - suffix), encoding, codePage, whole);
    if (!whole) problems |= SETTINGS_SUFFIX_CUT;
    // The line's own line feed must never reach the messenger's display line.
    if (kept > 0 && profile.suffix[kept - 1] == '\n') profile.suffix[kept - 1] = ' ';
    return problems;
}
