#include "tools/settings-program/settings_document.h"

#include <cstring>

#include "platform/platform.h"
#include "text/unicode_text.h"

namespace {

constexpr char LINE_FEED = '\n';
constexpr char CARRIAGE_RETURN = '\r';
constexpr char END_OF_DATA = 0x1A;  // Ctrl-Z
constexpr unsigned char UTF8_MARK[] = {0xEF, 0xBB, 0xBF};
// The built-in wording as lines, for a file that lacks one.
const char16_t* const DEFAULT_LINES[SETTINGS_LINES_READ] = {u"2,watching [FILENAME]",
                                                            u"1,[FILENAME]"};

// A profile line's category number and template, as the plug-in reads them:
// a number at the start (any other than 1 to 4 is Music), then what follows
// the first comma. A line without them shows the built-in profile's.
void takeProfileLine(const std::u16string& line, int index, SettingsDocument& document) {
    long number = 0;
    const char16_t* templateText = nullptr;
    if (splitSettingsLine(line.data(), line.size(), number, templateText) != 0) {
        takeProfileLine(DEFAULT_LINES[index], index, document);
        return;
    }
    document.category[index] = number >= 1 && number <= 4 ? static_cast<int>(number) : 1;
    document.templateText[index] =
        line.substr(static_cast<std::size_t>(templateText - line.data()));
}

// The file's lines, as the plug-in reads them: after a UTF-8 mark, up to a
// Ctrl-Z, a carriage return before a line feed dropped.
std::vector<std::string> splitLines(const char* bytes, std::size_t size) {
    std::size_t start = size >= sizeof UTF8_MARK && std::memcmp(bytes, UTF8_MARK, 3) == 0 ? 3 : 0;
    if (const void* end = std::memchr(bytes + start, END_OF_DATA, size - start)) {
        size = static_cast<std::size_t>(static_cast<const char*>(end) - bytes);
    }
    std::vector<std::string> lines;
    while (start < size) {
        const void* found = std::memchr(bytes + start, LINE_FEED, size - start);
        std::size_t end = found != nullptr
                              ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes)
                              : size;
        const std::size_t next = found != nullptr ? end + 1 : size;
        if (found != nullptr && end > start && bytes[end - 1] == CARRIAGE_RETURN) --end;
        lines.emplace_back(bytes + start, end - start);
        start = next;
    }
    return lines;
}

std::u16string ascii(const char* text) { return std::u16string(text, text + std::strlen(text)); }

// Whether every unit of `text` fits the ANSI code page: converted to it and
// back, it is the same.
bool fitsAnsiCodePage(const std::u16string& text) {
    if (text.empty()) return true;
    std::string ansi(2 * text.size() + 2, '\0');
    const std::size_t bytes = utf16ToAnsi(text.data(), text.size(), &ansi[0], ansi.size());
    std::u16string back(bytes + 1, u'\0');
    const std::size_t units = ansiToUtf16(ansi.data(), bytes, &back[0], back.size());
    return bytes > 0 && back.compare(0, units, text) == 0 && units == text.size();
}

}  // namespace

void loadDefaultSettingsDocument(SettingsDocument& document) {
    document = SettingsDocument{};
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        document.lines.emplace_back(DEFAULT_LINES[index]);
        takeProfileLine(document.lines.back(), index, document);
    }
    document.encoding = NowPlayingEncoding::Utf8;
}

void loadSettingsDocument(const char* bytes, std::size_t size, SettingsDocument& document) {
    loadDefaultSettingsDocument(document);
    // The plug-in decides how the file is written.
    static PluginSettings read;
    SettingsReport report{};
    readSettingsBytes(bytes, size, read, &report);
    document.lines.clear();
    for (const std::string& line : splitLines(bytes, size)) {
        std::u16string wide(line.size() + 1, u'\0');
        wide.resize(
            decodeSettingsText(line.data(), line.size(), report.encoding, &wide[0], wide.size()));
        document.lines.push_back(wide);
    }
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        takeProfileLine(index < static_cast<int>(document.lines.size()) ? document.lines[index]
                                                                        : DEFAULT_LINES[index],
                        index, document);
    }
    for (std::size_t index = SETTINGS_LINES_READ; index < document.lines.size(); ++index) {
        const std::u16string& line = document.lines[index];
        std::size_t value = 0;
        const SettingsOptionName name = settingsOptionNameOf(line.data(), line.size(), value);
        if (name == OPTION_FILE) document.nowPlayingPath = line.substr(value);
        if (name == OPTION_TEXT) document.nowPlayingText = line.substr(value);
        if (name == OPTION_WITHDRAWN) document.withdrawnText = line.substr(value);
    }
    // The encoding as the plug-in takes it: a bad value does not count.
    document.encoding = read.nowPlaying.encoding;
}

std::string renderSettingsDocument(const SettingsDocument& document, bool& utf8) {
    std::vector<std::u16string> lines = document.lines;
    if (lines.size() < SETTINGS_LINES_READ) lines.resize(SETTINGS_LINES_READ);
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        lines[index] = ascii(std::to_string(document.category[index]).c_str()) + u"," +
                       document.templateText[index];
    }
    const std::u16string values[SETTINGS_OPTION_NAMES] = {
        document.nowPlayingPath, document.nowPlayingText, document.withdrawnText,
        ascii(NOW_PLAYING_ENCODING_NAMES[static_cast<int>(document.encoding)])};
    // A line is written where the file had one, or the value is not the default.
    const bool wanted[SETTINGS_OPTION_NAMES] = {
        !document.nowPlayingPath.empty(), !document.nowPlayingText.empty(),
        !document.withdrawnText.empty(), document.encoding != NowPlayingEncoding::Utf8};
    for (int name = 0; name < SETTINGS_OPTION_NAMES; ++name) {
        std::size_t last = lines.size();
        for (std::size_t index = lines.size(); index-- > SETTINGS_LINES_READ;) {
            std::size_t value = 0;
            if (settingsOptionNameOf(lines[index].data(), lines[index].size(), value) != name) {
                continue;
            }
            if (last == lines.size()) {
                last = index;
            } else {
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(index));
                --last;
            }
        }
        const std::u16string line = ascii(SETTINGS_OPTION_NAME_TEXTS[name]) + u"=" + values[name];
        // An empty template would leave the file empty while something plays.
        const bool dropped = name == OPTION_TEXT && values[name].empty();
        if (last < lines.size()) {
            if (dropped) {
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(last));
            } else {
                lines[last] = line;
            }
        } else if (wanted[name]) {
            lines.push_back(line);
        }
    }

    std::u16string text;
    for (const std::u16string& line : lines) text += line + u"\r\n";
    utf8 = !fitsAnsiCodePage(text);
    if (utf8) {
        std::string bytes(reinterpret_cast<const char*>(UTF8_MARK), sizeof UTF8_MARK);
        std::string converted(4 * text.size() + 1, '\0');
        converted.resize(
            convertUtf16ToUtf8(text.data(), text.size(), &converted[0], converted.size()));
        return bytes + converted;
    }
    std::string ansi(2 * text.size() + 1, '\0');
    ansi.resize(utf16ToAnsi(text.data(), text.size(), &ansi[0], ansi.size()));
    return ansi;
}

FailedSaveStep decideAfterFailedSave(bool accessDenied, bool elevated) {
    return accessDenied && !elevated ? FailedSaveStep::AskForAdministratorRights
                                     : FailedSaveStep::Report;
}
