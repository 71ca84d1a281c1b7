#include "settings/settings_file.h"

#include <cstring>

#include "platform/platform.h"
#include "text/ansi_text.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

constexpr char LINE_FEED = '\n';
constexpr char CARRIAGE_RETURN = '\r';
constexpr char END_OF_DATA = 0x1A;  // Ctrl-Z
constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};

// The settings bytes not read yet.
struct SettingsSource {
    const char* bytes;
    std::size_t size;
    std::size_t offset;
    bool ended;  // the end of the data, or a Ctrl-Z, has been read
};

// Takes the next bytes of `source` up to and including a line feed, at most
// `room` of them and none from a Ctrl-Z on: sets `taken` to where they begin
// and returns how many; 0 at the end.
std::size_t takeThroughLineFeed(SettingsSource& source, std::size_t room, const char*& taken) {
    std::size_t count = source.size - source.offset;
    if (count > room) count = room;
    taken = source.bytes + source.offset;
    if (const void* lineFeed = std::memchr(taken, LINE_FEED, count)) {
        count = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - taken) + 1;
    }
    source.offset += count;
    if (const void* end = std::memchr(taken, END_OF_DATA, count)) {
        source.ended = true;
        count = static_cast<std::size_t>(static_cast<const char*>(end) - taken);
    }
    if (source.offset == source.size) source.ended = true;
    return count;
}

// Reads the next line of `source` into `line` (SETTINGS_LINE_CAPACITY
// bytes): at most SETTINGS_LINE_CAPACITY - 1 bytes, its line feed included
// when it fits, always terminated. The rest of a longer line is skipped and
// `cut` set. Returns the number of bytes stored: 0, with `line` empty, when
// the data has ended before the line began.
std::size_t readSettingsLine(SettingsSource& source, char (&line)[SETTINGS_LINE_CAPACITY],
                             bool& cut) {
    cut = false;
    constexpr std::size_t room = SETTINGS_LINE_CAPACITY - 1;
    const char* taken = nullptr;
    std::size_t length = source.ended ? 0 : takeThroughLineFeed(source, room, taken);
    if (length > 0) std::memcpy(line, taken, length);
    if (length > 0 && line[length - 1] == LINE_FEED) {
        // Text mode: a carriage return right before the line feed is dropped.
        if (length > 1 && line[length - 2] == CARRIAGE_RETURN) line[--length - 1] = LINE_FEED;
    } else if (length == room && !source.ended) {
        // The rest of the line, through its line feed, is skipped.
        const char* rest = nullptr;
        if (takeThroughLineFeed(source, source.size, rest) > 0) {
            // A carriage return kept last and a line feed read next are one line end.
            if (line[length - 1] == CARRIAGE_RETURN && rest[0] == LINE_FEED) {
                line[length - 1] = LINE_FEED;
            } else {
                cut = true;
            }
        }
    }
    line[length] = '\0';
    return length;
}

// Whether the `length` bytes stored at `text`, read as C text (up to a NUL),
// are valid UTF-8, noting in `multiByte` whether they hold a sequence longer
// than one byte. When the line buffer cut the line (`cut`), a last sequence
// it left incomplete counts as valid.
bool isUtf8(const char* text, std::size_t length, bool cut, bool& multiByte) {
    // Most lines are ASCII through and through.
    if (isAscii(text, length)) return true;
    const std::size_t textLength = std::strlen(text);
    const Utf8Scan scan = scanUtf8(text, textLength);
    multiByte |= scan.multiByte;
    return scan.validLength == textLength || (scan.endsIncomplete && cut && textLength == length);
}

// The `length` bytes of UTF-8 at `text` as UTF-16 in `out`: a byte that
// begins no valid sequence becomes U+FFFD, as in Windows' conversion, and a
// last character that the bytes end inside is left out. Returns the units.
std::size_t decodeUtf8Line(const char* text, std::size_t length,
                           char16_t (&out)[SETTINGS_LINE_CAPACITY]) {
    std::size_t written = 0;
    std::size_t at = 0;
    while (at < length && written < SETTINGS_LINE_CAPACITY) {
        const Utf8Scan scan = scanUtf8(text + at, length - at);
        written += convertUtf8ToUtf16(text + at, scan.validLength, out + written,
                                      SETTINGS_LINE_CAPACITY - written);
        at += scan.validLength;
        if (at == length || scan.endsIncomplete || written == SETTINGS_LINE_CAPACITY) break;
        out[written++] = u'\uFFFD';
        ++at;
    }
    return written;
}

// Converts a line as read (C text, up to a NUL) to UTF-16 in `out`: UTF-8
// loses a last character the cut left incomplete, ANSI a lead byte the cut
// parted from its second byte. Returns the number of units.
std::size_t decodeSettingsLine(const char* line, bool cut, SettingsEncoding encoding,
                               char16_t (&out)[SETTINGS_LINE_CAPACITY]) {
    std::size_t length = std::strlen(line);
    if (encoding == SettingsEncoding::Utf8) return decodeUtf8Line(line, length, out);
    if (cut) length = wholeAnsiLength(line, length, length);
    return storeAnsiAsUtf16(line, length, out, SETTINGS_LINE_CAPACITY);
}

// The settings path beside the host's "AppPath". A value stored without a
// terminator ends where its units end, when there is room to say so.
bool deriveSettingsPath(char16_t (&settingsPath)[SETTINGS_PATH_CAPACITY]) {
    char16_t hostPath[REGISTRY_VALUE_CAPACITY];
    std::size_t byteCount = 0;
    if (!readUserRegistryValue(HOST_REGISTRY_KEY, HOST_PATH_VALUE, hostPath, sizeof hostPath,
                               byteCount)) {
        return false;
    }
    const std::size_t units = byteCount / sizeof(char16_t);
    const std::size_t length = boundedLength(hostPath, units);
    if (length == REGISTRY_VALUE_CAPACITY) return false;  // no room for a terminator
    std::size_t lastBackslash = length;
    for (std::size_t at = 0; at < length; ++at) {
        if (hostPath[at] == u'\\') lastBackslash = at;
    }
    if (lastBackslash == length) return false;
    const std::size_t besideLength =
        boundedLength(SETTINGS_FILE_BESIDE_HOST, SETTINGS_PATH_CAPACITY);
    if (lastBackslash + besideLength >= SETTINGS_PATH_CAPACITY) return false;
    copyBoundedCount(settingsPath, SETTINGS_PATH_CAPACITY, hostPath, lastBackslash);
    appendBounded(settingsPath, SETTINGS_PATH_CAPACITY, lastBackslash, SETTINGS_FILE_BESIDE_HOST);
    return true;
}

}  // namespace

void findSettingsPath(char16_t (&settingsPath)[SETTINGS_PATH_CAPACITY]) {
    if (!deriveSettingsPath(settingsPath)) {
        copyBounded(settingsPath, SETTINGS_PATH_CAPACITY, FALLBACK_SETTINGS_PATH);
    }
}

void readSettingsBytes(const char* bytes, std::size_t size, StatusProfiles& profiles,
                       SettingsReport* report) {
    constexpr std::size_t markSize = sizeof BYTE_ORDER_MARK;
    const bool marked = size >= markSize && std::memcmp(bytes, BYTE_ORDER_MARK, markSize) == 0;
    SettingsSource source{bytes, size, marked ? markSize : 0, false};
    source.ended = source.offset == size;
    char lines[SETTINGS_LINES_READ][SETTINGS_LINE_CAPACITY];
    std::size_t stored[SETTINGS_LINES_READ];
    bool cut[SETTINGS_LINES_READ];
    for (int i = 0; i < SETTINGS_LINES_READ; ++i) {
        stored[i] = readSettingsLine(source, lines[i], cut[i]);
    }
    // UTF-8 with the mark, or without it when the lines read are valid UTF-8
    // with at least one character beyond ASCII; otherwise the ANSI code page.
    bool valid = true;
    bool multiByte = false;
    for (int i = 0; i < SETTINGS_LINES_READ; ++i) {
        if (stored[i] > 0) valid &= isUtf8(lines[i], stored[i], cut[i], multiByte);
    }
    const SettingsEncoding encoding =
        marked || (valid && multiByte) ? SettingsEncoding::Utf8 : SettingsEncoding::Ansi;
    for (int i = 0; i < SETTINGS_LINES_READ; ++i) {
        SettingsProblems problems = SETTINGS_MISSING_LINE;
        if (stored[i] > 0) {
            char16_t line[SETTINGS_LINE_CAPACITY];
            const std::size_t units = decodeSettingsLine(lines[i], cut[i], encoding, line);
            problems = parseSettingsLine(line, units, i + 1, profiles);
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

bool readSettingsFile(const char16_t* path, StatusProfiles& profiles, SettingsReport* report) {
    const PlatformFile file = openFileForReading(path);
    if (file == PLATFORM_NO_FILE) {
        setDefaultProfiles(profiles);
        if (report != nullptr) *report = SettingsReport{};
        return false;
    }
    // Static: pluginInit runs on the host's thread, whose stack is not ours to spend.
    static char bytes[SETTINGS_FILE_CAPACITY];
    std::size_t size = 0;
    std::size_t got = 0;
    while (size < sizeof bytes &&
           (got = readFileAt(file, size, bytes + size, sizeof bytes - size)) > 0) {
        size += got;
    }
    closeFile(file);
    readSettingsBytes(bytes, size, profiles, report);
    return true;
}

void loadSettings(StatusProfiles& profiles) {
    char16_t settingsPath[SETTINGS_PATH_CAPACITY];
    findSettingsPath(settingsPath);
    readSettingsFile(settingsPath, profiles, nullptr);
}
