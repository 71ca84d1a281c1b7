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
constexpr unsigned char UTF16_LITTLE_ENDIAN_MARK[] = {0xFF, 0xFE};
constexpr unsigned char UTF16_BIG_ENDIAN_MARK[] = {0xFE, 0xFF};
// A UTF-16 file as UTF-8: each unit of the file's 64 KiB takes three bytes
// at most (a pair's four bytes stand for two units), after the UTF-8 mark.
constexpr std::size_t CONVERTED_CAPACITY = sizeof BYTE_ORDER_MARK + SETTINGS_FILE_CAPACITY / 2 * 3;

bool beginsWith(const char* bytes, std::size_t size, const unsigned char* mark,
                std::size_t markSize) {
    return size >= markSize && std::memcmp(bytes, mark, markSize) == 0;
}

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

// Reads the next line of `source` into `line` (`capacity` bytes, at least
// 2): at most capacity - 1 bytes, its line feed included when it fits, always
// terminated. The rest of a longer line is skipped and `cut` set. Returns
// the number of bytes stored: 0, with `line` empty, when the data has ended
// before the line began.
std::size_t readSettingsLine(SettingsSource& source, char* line, std::size_t capacity, bool& cut) {
    cut = false;
    const std::size_t room = capacity - 1;
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

// The most bytes that can begin a UTF-8 character without ending it.
constexpr std::size_t UTF8_LONGEST_START = 3;

// How many of the last bytes of the `length` at `text` begin a UTF-8
// sequence that they end inside, whatever comes before them; 0 when the
// last sequence is whole or invalid.
std::size_t incompleteUtf8Tail(const char* text, std::size_t length) {
    for (std::size_t back = 1; back <= UTF8_LONGEST_START && back <= length; ++back) {
        const unsigned char byte = static_cast<unsigned char>(text[length - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: its lead lies further back
        const Utf8Scan scan = scanUtf8(text + length - back, back);
        return scan.validLength == 0 && scan.endsIncomplete ? back : 0;
    }
    return 0;
}

// Converts a line as read (C text, up to a NUL) to UTF-16 in `out`
// (`capacity` units, at least the line's bytes). Its text is decoded
// without its line feed, as the settings program decodes it, so a line
// reads the same whether a line follows it or not; a line the buffer cut
// loses a last character the cut parted (UTF-8's sequence, ANSI's lead
// byte). Returns the number of units, the line feed last where it had one.
std::size_t decodeSettingsLine(const char* line, bool cut, SettingsEncoding encoding, char16_t* out,
                               std::size_t capacity) {
    std::size_t length = std::strlen(line);
    const bool lineFeed = length > 0 && line[length - 1] == LINE_FEED;
    if (lineFeed) --length;
    if (cut && encoding == SettingsEncoding::Ansi) length = wholeAnsiLength(line, length, length);
    if (cut && encoding == SettingsEncoding::Utf8) length -= incompleteUtf8Tail(line, length);
    std::size_t units = decodeSettingsText(line, length, encoding, out, capacity);
    if (lineFeed && units < capacity) out[units++] = u'\n';
    return units;
}

// Whether `path` is relative: neither from a drive ("C:"), nor from a root
// ("\", "/"), nor a network path.
bool isRelativePath(const char16_t* path) {
    return path[0] != u'\\' && path[0] != u'/' && !(path[0] != u'\0' && path[1] == u':');
}

// Puts the folder of `settingsPath` before a relative now-playing path; a
// path that would not fit sets no file.
// A relative `path` (NOW_PLAYING_PATH_CAPACITY units) is made one in the
// settings file's folder; one that would not fit is emptied: no file.
void resolveOutputPath(const char16_t* settingsPath, char16_t* path) {
    if (path[0] == u'\0' || !isRelativePath(path)) return;
    const std::size_t settingsLength = boundedLength(settingsPath, SETTINGS_PATH_CAPACITY);
    std::size_t folderLength = 0;  // through the last separator
    for (std::size_t at = 0; at < settingsLength; ++at) {
        if (settingsPath[at] == u'\\' || settingsPath[at] == u'/') folderLength = at + 1;
    }
    const std::size_t relativeLength = boundedLength(path, NOW_PLAYING_PATH_CAPACITY);
    if (folderLength + relativeLength >= NOW_PLAYING_PATH_CAPACITY) {
        path[0] = u'\0';
        return;
    }
    std::memmove(path + folderLength, path, (relativeLength + 1) * sizeof(char16_t));
    std::memcpy(path, settingsPath, folderLength * sizeof(char16_t));
}

// Expands the environment's variables in `path` (NOW_PLAYING_PATH_CAPACITY
// units), then places it in the settings file's folder where it is
// relative. Returns whether it names that settings file.
bool placeOutputPath(const char16_t* settingsPath, char16_t* path) {
    // Static: pluginInit runs on the host's thread, whose stack is not ours to spend.
    static char16_t expanded[NOW_PLAYING_PATH_CAPACITY];
    if (!expandEnvironmentVariables(path, expanded, NOW_PLAYING_PATH_CAPACITY)) {
        path[0] = u'\0';  // a path too long to write sets no file
        return false;
    }
    copyBounded(path, NOW_PLAYING_PATH_CAPACITY, expanded);
    resolveOutputPath(settingsPath, path);
    return path[0] != u'\0' && isSamePath(settingsPath, path);
}

void noteOptionProblem(SettingsReport* report, unsigned lineNumber, SettingsOptionProblem problem) {
    if (report == nullptr || problem == SettingsOptionProblem::None) return;
    if (report->optionProblemCount < SETTINGS_OPTION_REPORTS) {
        report->options[report->optionProblemCount] = {lineNumber, problem};
    }
    ++report->optionProblemCount;
}

// The line buffer a line takes: the profile lines', or the longer one of
// the lines after them.
std::size_t lineCapacity(unsigned index) {
    return index < SETTINGS_LINES_READ ? SETTINGS_LINE_CAPACITY : SETTINGS_OPTION_LINE_CAPACITY;
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

// `folder` with `name` (beginning with its separator) after it, into `path`.
// Returns false when it does not fit.
bool inFolder(const char16_t* folder, const char16_t* name,
              char16_t (&path)[SETTINGS_PATH_CAPACITY]) {
    const std::size_t folderLength = boundedLength(folder, SETTINGS_PATH_CAPACITY);
    const std::size_t nameLength = boundedLength(name, SETTINGS_PATH_CAPACITY);
    if (folderLength + nameLength >= SETTINGS_PATH_CAPACITY) return false;
    copyBoundedCount(path, SETTINGS_PATH_CAPACITY, folder, folderLength);
    appendBounded(path, SETTINGS_PATH_CAPACITY, folderLength, name);
    return true;
}

}  // namespace

std::size_t decodeSettingsText(const char* text, std::size_t length, SettingsEncoding encoding,
                               char16_t* out, std::size_t capacity) {
    if (encoding == SettingsEncoding::Ansi) return storeAnsiAsUtf16(text, length, out, capacity);
    std::size_t written = 0;
    std::size_t at = 0;
    while (at < length && written < capacity) {
        const Utf8Scan scan = scanUtf8(text + at, length - at);
        written +=
            convertUtf8ToUtf16(text + at, scan.validLength, out + written, capacity - written);
        at += scan.validLength;
        if (at == length || written == capacity) break;
        // One U+FFFD for the longest start of a character found here (a byte
        // that begins none is one on its own), as Unicode recommends: the same
        // bytes read the same whether a line ends after them or not.
        std::size_t invalid = 1;
        while (invalid < UTF8_LONGEST_START && at + invalid < length) {
            const Utf8Scan longer = scanUtf8(text + at, invalid + 1);
            if (longer.validLength != 0 || !longer.endsIncomplete) break;
            ++invalid;
        }
        out[written++] = u'\uFFFD';
        at += invalid;
    }
    return written;
}

void findSettingsPath(char16_t (&settingsPath)[SETTINGS_PATH_CAPACITY],
                      const char16_t* pluginFolder) {
    if (deriveSettingsPath(settingsPath)) return;
    // Setup puts velkar.ini beside the DLL where it found no player: read it
    // there rather than a file of the same name nobody installed. Opened as
    // the reading opens it, and closed at once.
    if (pluginFolder != nullptr &&
        inFolder(pluginFolder, SETTINGS_FILE_BESIDE_PLUGIN, settingsPath)) {
        const PlatformFile beside = openFileForReading(settingsPath);
        if (beside != PLATFORM_NO_FILE) {
            closeFile(beside);
            return;
        }
    }
    copyBounded(settingsPath, SETTINGS_PATH_CAPACITY, FALLBACK_SETTINGS_PATH);
}

bool findPluginFolder(char16_t (&pluginFolder)[SETTINGS_PATH_CAPACITY]) {
    char16_t own[SETTINGS_PATH_CAPACITY];
    if (!ownModuleFolder(own, SETTINGS_PATH_CAPACITY)) return false;
    char16_t candidate[SETTINGS_PATH_CAPACITY];
    const char16_t* const places[] = {u"", PLUGIN_FOLDER_BESIDE_PROGRAMS};
    for (const char16_t* below : places) {
        char16_t dll[SETTINGS_PATH_CAPACITY];
        PathFacts facts;
        if (inFolder(own, below, candidate) && inFolder(candidate, PLUGIN_FILE_NAME, dll) &&
            readPathFacts(dll, facts) && facts.exists && !facts.directory) {
            copyBounded(pluginFolder, SETTINGS_PATH_CAPACITY, candidate);
            return true;
        }
    }
    return false;
}

void setDefaultSettings(PluginSettings& settings) {
    setDefaultProfiles(settings.profiles);
    setDefaultNowPlaying(settings.nowPlaying);
    setDefaultPresence(settings.presence);
    setDefaultPlaybackRules(settings.rules);
}

SettingsMark settingsMarkOf(const char* bytes, std::size_t size) {
    if (beginsWith(bytes, size, BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK)) return SettingsMark::Utf8;
    if (beginsWith(bytes, size, UTF16_LITTLE_ENDIAN_MARK, sizeof UTF16_LITTLE_ENDIAN_MARK)) {
        return SettingsMark::Utf16LittleEndian;
    }
    if (beginsWith(bytes, size, UTF16_BIG_ENDIAN_MARK, sizeof UTF16_BIG_ENDIAN_MARK)) {
        return SettingsMark::Utf16BigEndian;
    }
    return SettingsMark::None;
}

void readSettingsBytes(const char* bytes, std::size_t size, PluginSettings& settings,
                       SettingsReport* report) {
    const SettingsMark fileMark = settingsMarkOf(bytes, size);
    if (report != nullptr) report->mark = fileMark;
    if (fileMark == SettingsMark::Utf16LittleEndian || fileMark == SettingsMark::Utf16BigEndian) {
        // Static: pluginInit runs on the host's thread, whose stack is not ours to spend.
        static char converted[CONVERTED_CAPACITY];
        std::memcpy(converted, BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK);
        const Utf16Order order = fileMark == SettingsMark::Utf16LittleEndian
                                     ? Utf16Order::LittleEndian
                                     : Utf16Order::BigEndian;
        const std::size_t taken = size < SETTINGS_FILE_CAPACITY ? size : SETTINGS_FILE_CAPACITY;
        const std::size_t markSize = sizeof UTF16_LITTLE_ENDIAN_MARK;
        size = sizeof BYTE_ORDER_MARK +
               convertUtf16BytesToUtf8(reinterpret_cast<const unsigned char*>(bytes) + markSize,
                                       taken - markSize, order, converted + sizeof BYTE_ORDER_MARK,
                                       sizeof converted - sizeof BYTE_ORDER_MARK);
        bytes = converted;
    }
    constexpr std::size_t markSize = sizeof BYTE_ORDER_MARK;
    const bool marked = size >= markSize && std::memcmp(bytes, BYTE_ORDER_MARK, markSize) == 0;
    const SettingsSource start{bytes, size, marked ? markSize : 0, size <= markSize && marked};
    char line[SETTINGS_OPTION_LINE_CAPACITY];
    bool cut = false;

    // UTF-8 with the mark, or without it when every line as read is valid
    // UTF-8 and one holds a character beyond ASCII; otherwise the ANSI code
    // page. Every line read takes a byte at least, so this ends.
    bool valid = true;
    bool multiByte = false;
    SettingsSource source = start;
    source.ended |= source.offset == size;
    // Most files are ASCII through and through: no line need be looked at.
    if (isAscii(bytes + start.offset, size - start.offset)) source.ended = true;
    for (unsigned index = 0; valid && !source.ended; ++index) {
        const std::size_t stored = readSettingsLine(source, line, lineCapacity(index), cut);
        valid = isUtf8(line, stored, cut, multiByte);
    }
    const SettingsEncoding encoding =
        marked || (valid && multiByte) ? SettingsEncoding::Utf8 : SettingsEncoding::Ansi;

    setDefaultNowPlaying(settings.nowPlaying);
    setDefaultPresence(settings.presence);
    setDefaultPlaybackRules(settings.rules);
    if (report != nullptr) {
        report->optionProblemCount = 0;
        for (unsigned& line : report->optionLines) line = 0;
    }
    SettingsOptionNames seen = 0;
    char16_t wide[SETTINGS_OPTION_LINE_CAPACITY];
    source = start;
    source.ended |= source.offset == size;
    for (unsigned index = 0; index < SETTINGS_LINES_READ || !source.ended; ++index) {
        const std::size_t stored = readSettingsLine(source, line, lineCapacity(index), cut);
        if (index >= SETTINGS_LINES_READ) {
            SettingsOptionProblem problem = SettingsOptionProblem::LineTooLong;
            if (!cut) {
                std::size_t units =
                    decodeSettingsLine(line, cut, encoding, wide, sizeof wide / sizeof wide[0]);
                if (units > 0 && wide[units - 1] == u'\n') --units;  // not part of the value
                problem = parseSettingsOption(wide, units, settings.nowPlaying, settings.presence,
                                              settings.rules, seen);
                std::size_t value = 0;
                const SettingsOptionName name = settingsOptionNameOf(wide, units, value);
                const bool counts = problem == SettingsOptionProblem::None ||
                                    problem == SettingsOptionProblem::Repeated;
                if (report != nullptr && counts && name != SETTINGS_OPTION_NAMES) {
                    report->optionLines[name] = index + 1;
                }
            }
            noteOptionProblem(report, index + 1, problem);
            continue;
        }
        SettingsProblems problems = SETTINGS_MISSING_LINE;
        if (report != nullptr) report->profileLineLengths[index] = 0;
        if (stored > 0) {
            const std::size_t units =
                decodeSettingsLine(line, cut, encoding, wide, SETTINGS_LINE_CAPACITY);
            if (report != nullptr) {
                const std::size_t text = units > 0 && wide[units - 1] == u'\n' ? units - 1 : units;
                std::memcpy(report->profileLines[index], wide, text * sizeof(char16_t));
                report->profileLineLengths[index] = text;
            }
            problems =
                parseSettingsLine(wide, units, static_cast<int>(index) + 1, settings.profiles);
            if (cut) problems |= SETTINGS_LINE_CUT;
        }
        // A line that fills nothing leaves its profile to the defaults.
        const int lineNumber = static_cast<int>(index) + 1;
        if ((problems & SETTINGS_PROFILE_UNFILLED) != 0) {
            settingsLineProfile(settings.profiles, lineNumber) =
                settingsLineProfile(DEFAULT_PROFILES, lineNumber);
        }
        if (report != nullptr) report->lineProblems[index] = problems;
    }
    if (report != nullptr) report->encoding = encoding;
}

bool readSettingsFile(const char16_t* path, PluginSettings& settings, SettingsReport* report) {
    const PlatformFile file = openFileForReading(path);
    if (file == PLATFORM_NO_FILE) {
        setDefaultSettings(settings);
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
    readSettingsBytes(bytes, size, settings, report);
    placeNowPlayingPath(path, settings.nowPlaying);
    return true;
}

void placeNowPlayingPath(const char16_t* settingsPath, NowPlayingSettings& nowPlaying) {
    nowPlaying.namesSettingsFile = placeOutputPath(settingsPath, nowPlaying.path);
    nowPlaying.jsonNamesSettingsFile = placeOutputPath(settingsPath, nowPlaying.jsonPath);
    // The settings file is no image: the cover's name check keeps it safe.
    placeOutputPath(settingsPath, nowPlaying.coverPath);
    placeOutputPath(settingsPath, nowPlaying.coverMissingPath);
}
