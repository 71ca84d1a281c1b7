#include "settings/settings_parser.h"

#include <cstring>

#include "status/bounded_text.h"

namespace {

constexpr char LINE_FEED = '\n';
constexpr char CARRIAGE_RETURN = '\r';
constexpr char END_OF_DATA = 0x1A;  // Ctrl-Z
constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};
constexpr std::size_t BYTE_ORDER_MARK_SIZE = sizeof BYTE_ORDER_MARK;
// Any magnitude beyond this is out of the category range; stopping here keeps
// the accumulation from overflowing however many digits follow.
constexpr long CATEGORY_NUMBER_CEILING = 1000;

void report(SettingsParser& parser, SettingsProblem problem) {
    SettingsDiagnostics* diagnostics = parser.diagnostics;
    if (diagnostics == nullptr || diagnostics->count == MAX_SETTINGS_DIAGNOSTICS) return;
    diagnostics->entries[diagnostics->count++] = {parser.lineNumber, problem};
}

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

// The first "[FILENAME]" in the `length` bytes of `text`, or null.
const char* findMarker(const char* text, std::size_t length) {
    const std::size_t markerLength = std::strlen(FILENAME_MARKER);
    const char* end = text + length;
    while (static_cast<std::size_t>(end - text) >= markerLength) {
        const void* bracket =
            std::memchr(text, FILENAME_MARKER[0], static_cast<std::size_t>(end - text));
        if (bracket == nullptr) return nullptr;
        text = static_cast<const char*>(bracket);
        if (static_cast<std::size_t>(end - text) < markerLength) return nullptr;
        if (std::memcmp(text, FILENAME_MARKER, markerLength) == 0) return text;
        ++text;
    }
    return nullptr;
}

StatusProfile& profileForLine(StatusProfiles& profiles, int lineNumber) {
    return lineNumber == 1 ? profiles.videoProfile : profiles.audioProfile;
}

void copyPiece(SettingsParser& parser, char* field, std::size_t capacity, const char* piece,
               std::size_t length, SettingsProblem problemWhenCut) {
    if (copyBoundedCount(field, capacity, piece, length) < length) report(parser, problemWhenCut);
}

// Uses the completed line. A line that lacks its number, comma or marker
// changes nothing, so its profile keeps the defaults.
void useLine(SettingsParser& parser, bool endedWithLineFeed) {
    if (parser.lineOverflowed) report(parser, SettingsProblem::LineCut);
    parser.line[parser.lineLength] = '\0';
    const char* line = parser.line;

    long number = 0;
    const char* afterNumber = parseCategoryNumber(line, number);
    if (afterNumber == nullptr) return report(parser, SettingsProblem::NoNumber);
    const char* lineEnd = line + parser.lineLength;
    const void* comma =
        std::memchr(afterNumber, ',', static_cast<std::size_t>(lineEnd - afterNumber));
    if (comma == nullptr) return report(parser, SettingsProblem::NoComma);
    const char* templateText = static_cast<const char*>(comma) + 1;
    const char* marker = findMarker(templateText, static_cast<std::size_t>(lineEnd - templateText));
    if (marker == nullptr) return report(parser, SettingsProblem::NoMarker);

    StatusProfile& profile = profileForLine(*parser.profiles, parser.lineNumber);
    if (number < 1 || number > 4) report(parser, SettingsProblem::CategoryOutOfRange);
    copyBounded(profile.categoryCode, sizeof profile.categoryCode, categoryCodeFor(number));
    copyPiece(parser, profile.prefix, sizeof profile.prefix, templateText,
              static_cast<std::size_t>(marker - templateText), SettingsProblem::PrefixCut);

    // The line's own line feed becomes a space: it must never reach the
    // messenger's display line.
    const char* suffix = marker + std::strlen(FILENAME_MARKER);
    const std::size_t suffixLength = static_cast<std::size_t>(lineEnd - suffix);
    // The space takes the terminator's place; the suffix is copied by length.
    if (endedWithLineFeed) parser.line[parser.lineLength] = ' ';
    copyPiece(parser, profile.suffix, sizeof profile.suffix, suffix,
              suffixLength + (endedWithLineFeed ? 1 : 0), SettingsProblem::SuffixCut);
}

void endLine(SettingsParser& parser, bool endedWithLineFeed) {
    useLine(parser, endedWithLineFeed);
    parser.lineLength = 0;
    parser.lineOverflowed = false;
    parser.lineStarted = false;
    ++parser.lineNumber;
    if (parser.lineNumber > SETTINGS_LINES_READ) parser.finished = true;
}

// Adds a run of line text, keeping what fits and noting the rest as cut.
void takeLineRun(SettingsParser& parser, const char* run, std::size_t length) {
    if (length == 0) return;
    parser.lineStarted = true;
    const std::size_t room = SETTINGS_LINE_KEPT - parser.lineLength;
    const std::size_t kept = length < room ? length : room;
    std::memcpy(parser.line + parser.lineLength, run, kept);
    parser.lineLength += kept;
    if (kept < length) parser.lineOverflowed = true;
}

void takeLineByte(SettingsParser& parser, char c) { takeLineRun(parser, &c, 1); }

// One byte after the byte-order mark check: the text-mode rules, then lines.
void takeTextByte(SettingsParser& parser, char c) {
    if (parser.carriageReturnPending) {
        parser.carriageReturnPending = false;
        if (c != LINE_FEED) takeLineByte(parser, CARRIAGE_RETURN);
    }
    if (c == END_OF_DATA) {
        finishSettings(parser);
    } else if (c == CARRIAGE_RETURN) {
        parser.carriageReturnPending = true;
    } else if (c == LINE_FEED) {
        endLine(parser, true);
    } else {
        takeLineByte(parser, c);
    }
}

// Bytes that began like a byte-order mark but were not one are ordinary text.
void replayPartialMark(SettingsParser& parser) {
    const std::size_t partialMark = parser.byteOrderMarkSeen;
    if (partialMark >= BYTE_ORDER_MARK_SIZE) return;
    parser.byteOrderMarkSeen = BYTE_ORDER_MARK_SIZE;
    for (std::size_t i = 0; i < partialMark; ++i) {
        takeTextByte(parser, static_cast<char>(BYTE_ORDER_MARK[i]));
    }
}

void takeByte(SettingsParser& parser, unsigned char byte) {
    const std::size_t offset = parser.offset++;
    if (offset < BYTE_ORDER_MARK_SIZE && parser.byteOrderMarkSeen == offset &&
        byte == BYTE_ORDER_MARK[offset]) {
        ++parser.byteOrderMarkSeen;
        return;
    }
    replayPartialMark(parser);
    if (!parser.finished) takeTextByte(parser, static_cast<char>(byte));
}

}  // namespace

void beginSettings(SettingsParser& parser, StatusProfiles& profiles,
                   SettingsDiagnostics* diagnostics) {
    // Every field but the line buffer, which is filled before it is read.
    parser.profiles = &profiles;
    parser.diagnostics = diagnostics;
    parser.lineLength = 0;
    parser.lineOverflowed = false;
    parser.lineStarted = false;
    parser.lineNumber = 1;
    parser.offset = 0;
    parser.byteOrderMarkSeen = 0;
    parser.carriageReturnPending = false;
    parser.finished = false;
    if (diagnostics != nullptr) diagnostics->count = 0;
    setDefaultProfiles(profiles);
}

bool feedSettings(SettingsParser& parser, const char* bytes, std::size_t size) {
    std::size_t i = 0;
    while (i < size && !parser.finished) {
        // The start of the file and a carriage return left from the previous
        // piece are rare: take those byte by byte.
        if (parser.offset < BYTE_ORDER_MARK_SIZE || parser.carriageReturnPending) {
            takeByte(parser, static_cast<unsigned char>(bytes[i++]));
            continue;
        }
        // Otherwise a whole run up to the next line feed at once.
        const char* run = bytes + i;
        const std::size_t rest = size - i;
        const void* lineFeed = std::memchr(run, LINE_FEED, rest);
        std::size_t runLength =
            lineFeed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lineFeed) - run)
                                : rest;
        if (const void* end = std::memchr(run, END_OF_DATA, runLength)) {
            takeLineRun(parser, run, static_cast<std::size_t>(static_cast<const char*>(end) - run));
            finishSettings(parser);
            break;
        }
        const bool endsWithCarriageReturn = runLength > 0 && run[runLength - 1] == CARRIAGE_RETURN;
        takeLineRun(parser, run, endsWithCarriageReturn ? runLength - 1 : runLength);
        parser.offset += runLength;
        i += runLength;
        if (lineFeed != nullptr) {
            // A carriage return just before the line feed is dropped.
            ++parser.offset;
            ++i;
            endLine(parser, true);
        } else {
            // Whether this carriage return precedes a line feed, the next piece tells.
            parser.carriageReturnPending = endsWithCarriageReturn;
        }
    }
    return !parser.finished;
}

void finishSettings(SettingsParser& parser) {
    if (parser.finished) return;
    replayPartialMark(parser);
    if (parser.carriageReturnPending) {
        parser.carriageReturnPending = false;
        takeLineByte(parser, CARRIAGE_RETURN);
    }
    if (parser.lineStarted) endLine(parser, false);
    for (; parser.lineNumber <= SETTINGS_LINES_READ; ++parser.lineNumber) {
        report(parser, SettingsProblem::MissingLine);
    }
    parser.finished = true;
}

void parseSettings(const char* bytes, std::size_t size, StatusProfiles& profiles,
                   SettingsDiagnostics* diagnostics) {
    SettingsParser parser;
    beginSettings(parser, profiles, diagnostics);
    feedSettings(parser, bytes, size);
    finishSettings(parser);
}
