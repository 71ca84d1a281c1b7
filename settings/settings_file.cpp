#include "settings/settings_file.h"

#include <cstring>

#include "platform/platform.h"
#include "text/ansi_text.h"
#include "text/bounded_text.h"
#include "text/utf8_text.h"

namespace {

constexpr char LINE_FEED = '\n';
constexpr char CARRIAGE_RETURN = '\r';
constexpr char END_OF_DATA = 0x1A;  // Ctrl-Z
constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};
constexpr std::size_t SKIP_CHUNK = 64;

// Ends the data at a Ctrl-Z among the `length` bytes at `text`. Returns how
// many bytes come before it (all of them when there is none).
std::size_t stopAtEndOfData(SettingsSource& source, const char* text, std::size_t length) {
    const void* end = std::memchr(text, END_OF_DATA, length);
    if (end == nullptr) return length;
    source.ended = true;
    return static_cast<std::size_t>(static_cast<const char*>(end) - text);
}

// Copies the next bytes of `source` into `out`, raw, up to and including a
// line feed, at most `room` of them and none from a Ctrl-Z on, and returns
// how many; 0 at the end.
std::size_t takeThroughLineFeed(SettingsSource& source, char* out, std::size_t room) {
    if (source.file == nullptr) {
        std::size_t count = source.size - source.offset;
        if (count > room) count = room;
        const char* next = source.bytes + source.offset;
        if (const void* lineFeed = std::memchr(next, LINE_FEED, count)) {
            count = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - next) + 1;
        }
        source.offset += count;
        // Looked for in the data, not in the copy that is still being written.
        count = stopAtEndOfData(source, next, count);
        std::memcpy(out, next, count);
        return count;
    }
    std::size_t count = 0;
    int c = 0;
    while (count < room && (c = std::getc(source.file)) != EOF) {
        out[count++] = static_cast<char>(c);
        if (c == LINE_FEED) break;
    }
    return stopAtEndOfData(source, out, count);
}

// Skips what is left of a line whose start filled the line buffer. Returns
// whether anything but the end of the data followed.
bool skipRestOfLine(SettingsSource& source, char* line, std::size_t& length) {
    char rest[SKIP_CHUNK];
    std::size_t count = takeThroughLineFeed(source, rest, sizeof rest);
    if (count == 0) return false;
    // A carriage return kept last and a line feed read next are one line end.
    if (line[length - 1] == CARRIAGE_RETURN && rest[0] == LINE_FEED) {
        line[length - 1] = LINE_FEED;
        return false;
    }
    while (!source.ended && count == sizeof rest && rest[count - 1] != LINE_FEED) {
        count = takeThroughLineFeed(source, rest, sizeof rest);
    }
    return true;
}

// Skips a UTF-8 byte-order mark at the start, and says whether there was
// one; anything else is read again.
bool skipByteOrderMark(SettingsSource& source) {
    constexpr std::size_t markSize = sizeof BYTE_ORDER_MARK;
    if (source.file == nullptr) {
        const bool marked =
            source.size >= markSize && std::memcmp(source.bytes, BYTE_ORDER_MARK, markSize) == 0;
        source.offset = marked ? markSize : 0;
        return marked;
    }
    std::size_t matched = 0;
    while (matched < markSize && std::getc(source.file) == BYTE_ORDER_MARK[matched]) ++matched;
    if (matched == markSize) return true;
    std::fseek(source.file, 0, SEEK_SET);
    return false;
}

// Whether the `length` bytes stored at `text`, read as C text (up to a NUL),
// are valid UTF-8, noting in `multiByte` whether they hold a sequence longer
// than one byte. When the line buffer cut the line (`cut`), a last sequence
// it left incomplete counts as valid and is left out of `validLength`.
bool isUtf8(const char* text, std::size_t length, bool cut, bool& multiByte,
            std::size_t& validLength) {
    // Most lines are ASCII through and through.
    if (isAscii(text, length)) {
        validLength = length;
        return true;
    }
    const std::size_t textLength = std::strlen(text);
    const Utf8Scan scan = scanUtf8(text, textLength);
    multiByte |= scan.multiByte;
    validLength = scan.validLength;
    return scan.validLength == textLength || (scan.endsIncomplete && cut && textLength == length);
}

// The settings path beside the host's "AppPath". A value stored without a
// terminator ends where its bytes end, when there is room to say so.
bool deriveSettingsPath(char (&settingsPath)[SETTINGS_PATH_CAPACITY]) {
    char hostPath[REGISTRY_VALUE_CAPACITY];
    std::size_t byteCount = 0;
    if (!readUserRegistryValue(HOST_REGISTRY_KEY, HOST_PATH_VALUE, hostPath, sizeof hostPath,
                               byteCount) ||
        ((byteCount == 0 || hostPath[byteCount - 1] != '\0') && byteCount == sizeof hostPath)) {
        return false;
    }
    if (byteCount < sizeof hostPath) hostPath[byteCount] = '\0';
    const char* lastBackslash = findLastAnsiCharacter(currentAnsiCodePage(), hostPath, '\\');
    if (lastBackslash == nullptr) return false;
    const std::size_t folderLength = static_cast<std::size_t>(lastBackslash - hostPath);
    if (folderLength + std::strlen(SETTINGS_FILE_BESIDE_HOST) >= sizeof settingsPath) return false;
    const std::size_t length =
        copyBoundedCount(settingsPath, sizeof settingsPath, hostPath, folderLength);
    appendBounded(settingsPath, sizeof settingsPath, length, SETTINGS_FILE_BESIDE_HOST);
    return true;
}

}  // namespace

std::size_t readSettingsLine(SettingsSource& source, char* line, std::size_t capacity, bool& cut) {
    cut = false;
    const std::size_t room = capacity - 1;
    std::size_t length = source.ended ? 0 : takeThroughLineFeed(source, line, room);
    if (length > 0 && line[length - 1] == LINE_FEED) {
        // Text mode: a carriage return right before the line feed is dropped.
        if (length > 1 && line[length - 2] == CARRIAGE_RETURN) line[--length - 1] = LINE_FEED;
    } else if (length == room && !source.ended) {
        cut = skipRestOfLine(source, line, length);
        // Half a two-byte character is no character: it goes with the rest.
        if (cut) length = wholeCharacterLength(currentAnsiCodePage(), line, length, length);
    }
    line[length] = '\0';
    return length;
}

void findSettingsPath(char (&settingsPath)[SETTINGS_PATH_CAPACITY]) {
    if (!deriveSettingsPath(settingsPath)) {
        copyBounded(settingsPath, sizeof settingsPath, FALLBACK_SETTINGS_PATH);
    }
}

void readSettings(SettingsSource& source, StatusProfiles& profiles, SettingsReport* report) {
    const bool marked = skipByteOrderMark(source);
    char lines[SETTINGS_LINES_READ][SETTINGS_LINE_CAPACITY];
    std::size_t stored[SETTINGS_LINES_READ];
    bool cut[SETTINGS_LINES_READ];
    for (int i = 0; i < SETTINGS_LINES_READ; ++i) {
        stored[i] = readSettingsLine(source, lines[i], SETTINGS_LINE_CAPACITY, cut[i]);
    }
    // UTF-8 with the mark, or without it when the lines read are valid UTF-8
    // with at least one character beyond ASCII; otherwise the ANSI code page.
    bool valid = true;
    bool multiByte = false;
    std::size_t validLength[SETTINGS_LINES_READ] = {};
    for (int i = 0; i < SETTINGS_LINES_READ; ++i) {
        if (stored[i] > 0) valid &= isUtf8(lines[i], stored[i], cut[i], multiByte, validLength[i]);
    }
    const SettingsEncoding encoding =
        marked || (valid && multiByte) ? SettingsEncoding::Utf8 : SettingsEncoding::Ansi;
    if (encoding == SettingsEncoding::Utf8 && valid) {
        for (int i = 0; i < SETTINGS_LINES_READ; ++i) lines[i][validLength[i]] = '\0';
    }
    for (int i = 0; i < SETTINGS_LINES_READ; ++i) {
        SettingsProblems problems = SETTINGS_MISSING_LINE;
        if (stored[i] > 0) {
            problems = parseSettingsLine(lines[i], i + 1, encoding, profiles);
            if (cut[i]) problems |= SETTINGS_LINE_CUT;
        }
        // A line that fills nothing leaves its profile to the defaults.
        if ((problems & SETTINGS_PROFILE_UNFILLED) != 0) {
            settingsLineProfile(profiles, i + 1) = settingsLineProfile(DEFAULT_PROFILES, i + 1);
        }
        if (report != nullptr) report->lineProblems[i] = problems;
    }
    if (report != nullptr) report->encoding = encoding;
}

void readSettingsBytes(const char* bytes, std::size_t size, StatusProfiles& profiles,
                       SettingsReport* report) {
    SettingsSource source{nullptr, bytes, size, 0, false};
    readSettings(source, profiles, report);
}

bool readSettingsFile(const char* path, StatusProfiles& profiles, SettingsReport* report) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        setDefaultProfiles(profiles);
        if (report != nullptr) *report = SettingsReport{};
        return false;
    }
    SettingsSource source{file, nullptr, 0, 0, false};
    readSettings(source, profiles, report);
    std::fclose(file);
    return true;
}

void loadSettings(StatusProfiles& profiles) {
    char settingsPath[SETTINGS_PATH_CAPACITY];
    findSettingsPath(settingsPath);
    readSettingsFile(settingsPath, profiles, nullptr);
}
