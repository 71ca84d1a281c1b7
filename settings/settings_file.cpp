#include "settings/settings_file.h"

#include <cstring>

#include "platform/platform.h"
#include "text/bounded_text.h"

namespace {

constexpr char LINE_FEED = '\n';
constexpr char CARRIAGE_RETURN = '\r';
constexpr char END_OF_DATA = 0x1A;  // Ctrl-Z
constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};
constexpr std::size_t SKIP_CHUNK = 64;

// Copies the next bytes of `source` into `out`, raw, up to and including a
// line feed, at most `room` of them, and returns how many; 0 at the end.
std::size_t takeThroughLineFeed(SettingsSource& source, char* out, std::size_t room) {
    if (source.file == nullptr) {
        std::size_t count = source.size - source.offset;
        if (count > room) count = room;
        const char* next = source.bytes + source.offset;
        if (const void* lineFeed = std::memchr(next, LINE_FEED, count)) {
            count = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - next) + 1;
        }
        std::memcpy(out, next, count);
        source.offset += count;
        return count;
    }
    std::size_t count = 0;
    int c = 0;
    while (count < room && (c = std::getc(source.file)) != EOF) {
        out[count++] = static_cast<char>(c);
        if (c == LINE_FEED) break;
    }
    return count;
}

// Ends the data at a Ctrl-Z among the `length` bytes taken into `text`.
// Returns how many bytes come before it (all of them when there is none).
std::size_t stopAtEndOfData(SettingsSource& source, const char* text, std::size_t length) {
    const void* end = std::memchr(text, END_OF_DATA, length);
    if (end == nullptr) return length;
    source.ended = true;
    return static_cast<std::size_t>(static_cast<const char*>(end) - text);
}

// Skips what is left of a line whose start filled the line buffer. Returns
// whether anything but the end of the data followed.
bool skipRestOfLine(SettingsSource& source, char* line, std::size_t& length) {
    char rest[SKIP_CHUNK];
    std::size_t count = takeThroughLineFeed(source, rest, sizeof rest);
    count = stopAtEndOfData(source, rest, count);
    if (count == 0) return false;
    // A carriage return kept last and a line feed read next are one line end.
    if (line[length - 1] == CARRIAGE_RETURN && rest[0] == LINE_FEED) {
        line[length - 1] = LINE_FEED;
        return false;
    }
    while (!source.ended && count == sizeof rest && rest[count - 1] != LINE_FEED) {
        count = stopAtEndOfData(source, rest, takeThroughLineFeed(source, rest, sizeof rest));
    }
    return true;
}

// Skips a UTF-8 byte-order mark at the start; anything else is read again.
void skipByteOrderMark(SettingsSource& source) {
    char start[sizeof BYTE_ORDER_MARK];
    if (takeThroughLineFeed(source, start, sizeof start) == sizeof start &&
        std::memcmp(start, BYTE_ORDER_MARK, sizeof start) == 0) {
        return;
    }
    if (source.file != nullptr) std::fseek(source.file, 0, SEEK_SET);
    source.offset = 0;
}

// The host's "AppPath" as text. A value stored without a terminator ends
// where its bytes end, when there is room to say so.
bool readHostPath(char (&hostPath)[REGISTRY_VALUE_CAPACITY]) {
    std::size_t byteCount = 0;
    if (!readUserRegistryValue(HOST_REGISTRY_KEY, HOST_PATH_VALUE, hostPath, sizeof hostPath,
                               byteCount)) {
        return false;
    }
    if (byteCount == 0 || hostPath[byteCount - 1] != '\0') {
        if (byteCount == sizeof hostPath) return false;
        hostPath[byteCount] = '\0';
    }
    return true;
}

bool deriveSettingsPath(char (&settingsPath)[SETTINGS_PATH_CAPACITY]) {
    char hostPath[REGISTRY_VALUE_CAPACITY];
    if (!readHostPath(hostPath)) return false;
    const char* lastBackslash = std::strrchr(hostPath, '\\');
    if (lastBackslash == nullptr) return false;
    const std::size_t folderLength = static_cast<std::size_t>(lastBackslash - hostPath);
    if (folderLength + std::strlen(SETTINGS_FILE_BESIDE_HOST) >= sizeof settingsPath) return false;
    const std::size_t length =
        copyBoundedCount(settingsPath, sizeof settingsPath, hostPath, folderLength);
    appendBounded(settingsPath, sizeof settingsPath, length, SETTINGS_FILE_BESIDE_HOST);
    return true;
}

}  // namespace

bool readSettingsLine(SettingsSource& source, char* line, std::size_t capacity, bool& cut) {
    cut = false;
    const std::size_t room = capacity - 1;
    std::size_t length = source.ended ? 0 : takeThroughLineFeed(source, line, room);
    length = stopAtEndOfData(source, line, length);
    const bool began = length > 0;
    if (length > 0 && line[length - 1] == LINE_FEED) {
        // Text mode: a carriage return right before the line feed is dropped.
        if (length > 1 && line[length - 2] == CARRIAGE_RETURN) line[--length - 1] = LINE_FEED;
    } else if (length == room && !source.ended) {
        cut = skipRestOfLine(source, line, length);
    }
    line[length] = '\0';
    return began;
}

void findSettingsPath(char (&settingsPath)[SETTINGS_PATH_CAPACITY]) {
    if (!deriveSettingsPath(settingsPath)) {
        copyBounded(settingsPath, sizeof settingsPath, FALLBACK_SETTINGS_PATH);
    }
}

void readSettings(SettingsSource& source, StatusProfiles& profiles, SettingsReport* report) {
    setDefaultProfiles(profiles);
    skipByteOrderMark(source);
    for (int lineNumber = 1; lineNumber <= SETTINGS_LINES_READ; ++lineNumber) {
        char line[SETTINGS_LINE_CAPACITY];
        bool cut = false;
        SettingsProblems problems = SETTINGS_MISSING_LINE;
        if (readSettingsLine(source, line, sizeof line, cut)) {
            problems = parseSettingsLine(line, lineNumber, profiles);
            if (cut) problems |= SETTINGS_LINE_CUT;
        }
        if (report != nullptr) report->lineProblems[lineNumber - 1] = problems;
    }
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
