#include "programs/settings-window/settings_document.h"

#include <cstring>

#include "platform/platform.h"
#include "text/unicode_text.h"

namespace {

constexpr char16_t LINE_FEED = u'\n';
constexpr char16_t CARRIAGE_RETURN = u'\r';
constexpr char16_t END_OF_DATA = 0x1A;  // Ctrl-Z
constexpr char UTF8_MARK[] = "\xEF\xBB\xBF";
constexpr std::size_t UTF8_MARK_SIZE = sizeof UTF8_MARK - 1;
constexpr const char16_t* WINDOWS_LINE_END = u"\r\n";
// The built-in wording as lines, for a file that lacks one.
const char16_t* const DEFAULT_LINES[SETTINGS_LINES_READ] = {u"2,watching [FILENAME]",
                                                            u"1,[FILENAME]"};
constexpr char16_t SETTINGS_FILE_NAME[] = u"velkar.ini";

bool isUtf16(SettingsFileEncoding encoding) {
    return encoding == SettingsFileEncoding::Utf16LittleEndian ||
           encoding == SettingsFileEncoding::Utf16BigEndian;
}

std::size_t unitSize(SettingsFileEncoding encoding) { return isUtf16(encoding) ? 2 : 1; }

// The unit at byte `at` of `bytes`: a byte, or a UTF-16 unit in the file's order.
char16_t unitAt(const std::string& bytes, std::size_t at, SettingsFileEncoding encoding) {
    const auto byte = [&](std::size_t index) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[index]));
    };
    if (!isUtf16(encoding)) return byte(at);
    const bool little = encoding == SettingsFileEncoding::Utf16LittleEndian;
    return static_cast<char16_t>(little ? byte(at) | byte(at + 1) << 8
                                        : byte(at) << 8 | byte(at + 1));
}

std::u16string ascii(const char* text) { return std::u16string(text, text + std::strlen(text)); }

// A line's bytes as the plug-in decodes them: a UTF-16 file's through UTF-8,
// as the plug-in converts it.
std::u16string decodeLine(const std::string& bytes, SettingsFileEncoding encoding) {
    std::string converted;
    const std::string* text = &bytes;
    if (isUtf16(encoding)) {
        converted.resize(bytes.size() / 2 * 3 + 4);
        const Utf16Order order = encoding == SettingsFileEncoding::Utf16LittleEndian
                                     ? Utf16Order::LittleEndian
                                     : Utf16Order::BigEndian;
        converted.resize(
            convertUtf16BytesToUtf8(reinterpret_cast<const unsigned char*>(bytes.data()),
                                    bytes.size(), order, &converted[0], converted.size()));
        text = &converted;
    }
    const SettingsEncoding decoding =
        encoding == SettingsFileEncoding::Ansi ? SettingsEncoding::Ansi : SettingsEncoding::Utf8;
    std::u16string wide(text->size() + 1, u'\0');
    wide.resize(decodeSettingsText(text->data(), text->size(), decoding, &wide[0], wide.size()));
    return wide;
}

// `text` in the ANSI code page, when every character of it fits: converted
// back, it is the same. Room for any code page, UTF-8 (65001) included.
bool toAnsi(const std::u16string& text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    out.resize(4 * text.size() + 4);
    out.resize(utf16ToAnsi(text.data(), text.size(), &out[0], out.size()));
    if (out.empty()) return false;
    std::u16string back(out.size() + 1, u'\0');
    back.resize(ansiToUtf16(out.data(), out.size(), &back[0], back.size()));
    return back == text;
}

// `text` in `encoding`. Returns false when a character does not fit an ANSI file.
bool encodeText(const std::u16string& text, SettingsFileEncoding encoding, std::string& out) {
    switch (encoding) {
        case SettingsFileEncoding::Ansi:
            return toAnsi(text, out);
        case SettingsFileEncoding::Utf8:
        case SettingsFileEncoding::Utf8WithMark:
            out.resize(4 * text.size() + 4);
            out.resize(convertUtf16ToUtf8(text.data(), text.size(), &out[0], out.size()));
            return true;
        case SettingsFileEncoding::Utf16LittleEndian:
        case SettingsFileEncoding::Utf16BigEndian: {
            const bool little = encoding == SettingsFileEncoding::Utf16LittleEndian;
            out.clear();
            for (const char16_t unit : text) {
                const char low = static_cast<char>(unit & 0xFF);
                const char high = static_cast<char>(unit >> 8);
                out += little ? low : high;
                out += little ? high : low;
            }
            return true;
        }
    }
    return false;
}

// Whether an ANSI line's bytes mean something in the code page: read and
// written back, they are the same.
bool ansiRoundTrips(const std::string& bytes) {
    if (bytes.empty()) return true;
    std::u16string wide(bytes.size() + 1, u'\0');
    wide.resize(ansiToUtf16(bytes.data(), bytes.size(), &wide[0], wide.size()));
    std::string back;
    return !wide.empty() && toAnsi(wide, back) && back == bytes;
}

// A profile line's category number and template, as the plug-in reads them:
// a number at the start (any other than 1 to 4 is Music), then what follows
// the first comma. Returns false for a line without them.
bool takeProfileLine(const std::u16string& line, int index, SettingsValues& values) {
    long number = 0;
    const char16_t* templateText = nullptr;
    if (splitSettingsLine(line.data(), line.size(), number, templateText) != 0) return false;
    values.category[index] = number >= 1 && number <= 4 ? static_cast<int>(number) : 1;
    values.templateText[index] = line.substr(static_cast<std::size_t>(templateText - line.data()));
    return true;
}

// The Discord values as the plug-in read them.
void takePresenceValues(const PresenceSettings& presence, SettingsValues& values) {
    values.discordApplicationId = ascii(presence.applicationId);
    for (int field = 0; field < PRESENCE_FIELDS; ++field) {
        values.discordTemplate[field] =
            std::u16string(presence.templates[field].text, presence.templates[field].length);
    }
    values.discordShows = presence.shows;
    values.discordTime = presence.time;
    const std::string image = presence.image;
    values.discordImage = std::u16string(image.size(), u'\0');
    values.discordImage.resize(
        convertUtf8ToUtf16(image.data(), image.size(), &values.discordImage[0], image.size()));
}

// The value of the line `name` that shows `values`.
std::u16string optionValue(const SettingsValues& values, int name) {
    switch (name) {
        case OPTION_FILE: return values.nowPlayingPath;
        case OPTION_TEXT: return values.nowPlayingText;
        case OPTION_WITHDRAWN: return values.withdrawnText;
        case OPTION_ENCODING:
            return ascii(NOW_PLAYING_ENCODING_NAMES[static_cast<int>(values.encoding)]);
        case OPTION_DISCORD_ID: return values.discordApplicationId;
        case OPTION_DISCORD_SHOWS:
            return ascii(PRESENCE_SHOWS_NAMES[static_cast<int>(values.discordShows)]);
        case OPTION_DISCORD_TIME:
            return ascii(PRESENCE_TIME_NAMES[static_cast<int>(values.discordTime)]);
        case OPTION_DISCORD_IMAGE: return values.discordImage;
        default: return values.discordTemplate[name - OPTION_DISCORD_DETAILS];
    }
}

void setDefaultValues(SettingsValues& values) {
    values = SettingsValues{};
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        takeProfileLine(DEFAULT_LINES[index], index, values);
    }
    values.encoding = NowPlayingEncoding::Utf8;
    PresenceSettings presence;
    setDefaultPresence(presence);
    takePresenceValues(presence, values);
}

// The file's body (after its mark) as lines, split as the plug-in splits
// them: at each line feed, up to a Ctrl-Z, a carriage return before a line
// feed part of the line end.
void splitLines(const std::string& body, SettingsDocument& document) {
    const SettingsFileEncoding encoding = document.fileEncoding;
    const std::size_t unit = unitSize(encoding);
    std::size_t end = body.size() - body.size() % unit;  // a UTF-16 file's odd byte is ignored
    for (std::size_t at = 0; at < end; at += unit) {
        if (unitAt(body, at, encoding) == END_OF_DATA) end = at;
    }
    document.tail = body.substr(end);
    for (std::size_t start = 0; start < end;) {
        std::size_t lineEnd = start;
        while (lineEnd < end && unitAt(body, lineEnd, encoding) != LINE_FEED) lineEnd += unit;
        const std::size_t next = lineEnd < end ? lineEnd + unit : end;
        if (lineEnd < end && lineEnd > start &&
            unitAt(body, lineEnd - unit, encoding) == CARRIAGE_RETURN) {
            lineEnd -= unit;
        }
        SettingsFileLine line;
        line.bytes = body.substr(start, lineEnd - start);
        line.end = body.substr(lineEnd, next - lineEnd);
        line.text = decodeLine(line.bytes, encoding);
        document.lines.push_back(line);
        start = next;
    }
}

// The values that the lines give, as the plug-in takes them.
void takeValues(const SettingsDocument& document, const PluginSettings& read,
                SettingsValues& values) {
    setDefaultValues(values);
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        if (index >= static_cast<int>(document.lines.size()) ||
            !takeProfileLine(document.lines[index].text, index, values)) {
            takeProfileLine(DEFAULT_LINES[index], index, values);
        }
    }
    for (std::size_t index = SETTINGS_LINES_READ; index < document.lines.size(); ++index) {
        const std::u16string& line = document.lines[index].text;
        std::size_t value = 0;
        const SettingsOptionName name = settingsOptionNameOf(line.data(), line.size(), value);
        if (name == OPTION_FILE) values.nowPlayingPath = line.substr(value);
        if (name == OPTION_TEXT) values.nowPlayingText = line.substr(value);
        if (name == OPTION_WITHDRAWN) values.withdrawnText = line.substr(value);
    }
    // The encoding as the plug-in takes it: a bad value does not count.
    values.encoding = read.nowPlaying.encoding;
    takePresenceValues(read.presence, values);
}

// A line being rendered: as read, or with a new text; a new line ends as
// the file's lines do.
struct RenderedLine {
    SettingsFileLine line;
    bool changed;
    bool removed;
    bool added;
};

std::u16string profileLineText(const SettingsValues& values, int index) {
    return ascii(std::to_string(values.category[index]).c_str()) + u"," +
           values.templateText[index];
}

// The line end new lines take: that of the file's first line that has one.
std::u16string lineEndStyle(const SettingsDocument& document) {
    for (const SettingsFileLine& line : document.lines) {
        if (!line.end.empty()) {
            return line.end.size() == unitSize(document.fileEncoding) ? u"\n" : WINDOWS_LINE_END;
        }
    }
    return WINDOWS_LINE_END;
}

// The lines with the window's values put in, not yet encoded.
std::vector<RenderedLine> changedLines(const SettingsDocument& document) {
    const SettingsValues& values = document.values;
    const SettingsValues& loaded = document.loaded;
    std::vector<RenderedLine> lines;
    for (const SettingsFileLine& line : document.lines) {
        lines.push_back({line, false, false, false});
    }
    const auto addLine = [&](const std::u16string& text) {
        lines.push_back({{std::string(), std::string(), text}, true, false, true});
    };
    // Lines after the profile lines need both profile lines before them.
    const auto addProfileLines = [&]() {
        while (lines.size() < SETTINGS_LINES_READ) {
            addLine(profileLineText(values, static_cast<int>(lines.size())));
        }
    };
    if (document.load == SettingsLoad::Missing) addProfileLines();

    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        const bool categoryChanged = values.category[index] != loaded.category[index];
        const bool templateChanged = values.templateText[index] != loaded.templateText[index];
        if (!categoryChanged && !templateChanged) continue;
        if (index >= static_cast<int>(lines.size())) {
            while (static_cast<int>(lines.size()) <= index) {
                addLine(profileLineText(values, static_cast<int>(lines.size())));
            }
            continue;
        }
        RenderedLine& line = lines[static_cast<std::size_t>(index)];
        std::u16string text = line.line.text;
        long number = 0;
        const char16_t* templateText = nullptr;
        if (splitSettingsLine(text.data(), text.size(), number, templateText) != 0) {
            text = profileLineText(values, index);  // a line the plug-in skipped: written whole
        } else {
            std::size_t comma = static_cast<std::size_t>(templateText - text.data()) - 1;
            if (categoryChanged) {
                const std::u16string digit = ascii(std::to_string(values.category[index]).c_str());
                const std::size_t numberEnd = settingsLineNumberEnd(text.data(), text.size());
                text = digit + text.substr(numberEnd);
                comma = comma - numberEnd + digit.size();
            }
            if (templateChanged) text = text.substr(0, comma + 1) + values.templateText[index];
        }
        line.line.text = text;
        line.changed = true;
    }

    for (int name = 0; name < SETTINGS_OPTION_NAMES; ++name) {
        const std::u16string value = optionValue(values, name);
        if (value == optionValue(loaded, name)) continue;
        std::size_t last = lines.size();
        std::size_t valueStart = 0;
        for (std::size_t index = SETTINGS_LINES_READ; index < lines.size(); ++index) {
            const std::u16string& text = lines[index].line.text;
            std::size_t start = 0;
            if (settingsOptionNameOf(text.data(), text.size(), start) != name) continue;
            // An emptied text: every line of its name goes, or an earlier one would count.
            if (name == OPTION_TEXT && value.empty()) lines[index].removed = true;
            last = index;
            valueStart = start;
        }
        if (name == OPTION_TEXT && value.empty()) continue;
        if (last < lines.size()) {
            lines[last].line.text = lines[last].line.text.substr(0, valueStart) + value;
            lines[last].changed = true;
        } else {
            addProfileLines();
            addLine(ascii(SETTINGS_OPTION_NAME_TEXTS[name]) + u"=" + value);
        }
    }
    return lines;
}

// Encodes `lines` in `encoding` into `bytes`. Returns NotFitting (as
// LineNotConvertible with line 0) when a changed line does not fit an
// ANSI file.
constexpr std::size_t DOES_NOT_FIT = 0;
SettingsSaveResult encodeLines(const SettingsDocument& document,
                               const std::vector<RenderedLine>& lines,
                               SettingsFileEncoding encoding, std::string& bytes) {
    SettingsSaveResult result{SettingsSaveProblem::None, 0, encoding};
    const bool converted = encoding != document.fileEncoding;
    bytes = converted ? (encoding == SettingsFileEncoding::Utf8WithMark ? UTF8_MARK : "")
                      : document.mark;
    std::string end;
    encodeText(lineEndStyle(document), encoding, end);
    std::size_t lastKept = 0;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (!lines[index].removed) lastKept = index;
    }
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const RenderedLine& line = lines[index];
        if (line.removed) continue;
        std::string encoded;
        if (!line.changed && !converted) {
            encoded = line.line.bytes;
        } else if (!line.changed && !ansiRoundTrips(line.line.bytes)) {
            // Only an ANSI file is converted, to UTF-8.
            return {SettingsSaveProblem::LineNotConvertible, index + 1, encoding};
        } else if (!encodeText(line.line.text, encoding, encoded)) {
            return {SettingsSaveProblem::LineNotConvertible, DOES_NOT_FIT, encoding};
        }
        bytes += encoded;
        // A line end read is ASCII in ANSI and UTF-8 alike, so it is kept; a
        // last line without one gets one when a line comes after it.
        if (line.added) {
            bytes += end;
        } else if (!line.line.end.empty()) {
            bytes += line.line.end;
        } else if (index != lastKept) {
            bytes += end;
        }
    }
    bytes += document.tail;
    return result;
}

// The first line (counted from 1) whose text differs from `expected`'s, or
// the line after the last when only the count differs; 0 when all agree.
std::size_t firstDifferentLine(const SettingsDocument& readBack,
                               const std::vector<RenderedLine>& expected) {
    std::size_t index = 0;
    for (const RenderedLine& line : expected) {
        if (line.removed) continue;
        if (index >= readBack.lines.size() || readBack.lines[index].text != line.line.text) {
            return index + 1;
        }
        ++index;
    }
    return index < readBack.lines.size() ? index + 1 : 0;
}

}  // namespace

bool operator==(const SettingsValues& first, const SettingsValues& second) {
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        if (first.category[index] != second.category[index] ||
            first.templateText[index] != second.templateText[index]) {
            return false;
        }
    }
    for (int name = 0; name < SETTINGS_OPTION_NAMES; ++name) {
        if (optionValue(first, name) != optionValue(second, name)) return false;
    }
    return true;
}

void loadMissingSettingsDocument(SettingsDocument& document) {
    document = SettingsDocument{};
    document.load = SettingsLoad::Missing;
    document.fileEncoding = SettingsFileEncoding::Ansi;
    setDefaultValues(document.loaded);
    document.values = document.loaded;
}

void loadUnreadableSettingsDocument(SettingsUnreadable reason, SettingsDocument& document) {
    loadMissingSettingsDocument(document);
    document.load = SettingsLoad::Unreadable;
    document.unreadable = reason;
}

void loadSettingsDocument(const char* bytes, std::size_t size, SettingsDocument& document) {
    if (size > SETTINGS_FILE_CAPACITY) {
        loadUnreadableSettingsDocument(SettingsUnreadable::TooLarge, document);
        return;
    }
    loadMissingSettingsDocument(document);
    document.load = SettingsLoad::Read;
    // The plug-in decides how the file is written.
    static PluginSettings read;
    SettingsReport report{};
    readSettingsBytes(bytes, size, read, &report);
    std::size_t markSize = 0;
    switch (report.mark) {
        case SettingsMark::Utf16LittleEndian:
            document.fileEncoding = SettingsFileEncoding::Utf16LittleEndian;
            markSize = 2;
            break;
        case SettingsMark::Utf16BigEndian:
            document.fileEncoding = SettingsFileEncoding::Utf16BigEndian;
            markSize = 2;
            break;
        case SettingsMark::Utf8:
            document.fileEncoding = SettingsFileEncoding::Utf8WithMark;
            markSize = UTF8_MARK_SIZE;
            break;
        case SettingsMark::None:
            document.fileEncoding = report.encoding == SettingsEncoding::Utf8
                                        ? SettingsFileEncoding::Utf8
                                        : SettingsFileEncoding::Ansi;
            break;
    }
    const std::string all(bytes, size);
    document.mark = all.substr(0, markSize);
    splitLines(all.substr(markSize), document);
    for (const SettingsFileLine& line : document.lines) {
        if (line.text.find(u'\0') != std::u16string::npos) {
            loadUnreadableSettingsDocument(SettingsUnreadable::NulCharacters, document);
            return;
        }
    }
    takeValues(document, read, document.loaded);
    document.values = document.loaded;
}

SettingsSaveResult renderSettingsDocument(const SettingsDocument& document, std::string& bytes) {
    bytes.clear();
    if (document.load == SettingsLoad::Unreadable) {
        return {SettingsSaveProblem::Unreadable, 0, document.fileEncoding};
    }
    const std::vector<RenderedLine> lines = changedLines(document);
    SettingsFileEncoding encoding = document.fileEncoding;
    for (;;) {
        SettingsSaveResult result = encodeLines(document, lines, encoding, bytes);
        const bool mayBecomeUtf8 = encoding == SettingsFileEncoding::Ansi;
        if (result.problem == SettingsSaveProblem::LineNotConvertible &&
            result.lineNumber == DOES_NOT_FIT && mayBecomeUtf8) {
            encoding = SettingsFileEncoding::Utf8WithMark;
            continue;
        }
        if (result.problem == SettingsSaveProblem::None) {
            SettingsDocument readBack;
            loadSettingsDocument(bytes.data(), bytes.size(), readBack);
            const std::size_t different = firstDifferentLine(readBack, lines);
            if (readBack.load == SettingsLoad::Read && different == 0 &&
                readBack.values == document.values) {
                return result;
            }
            if (mayBecomeUtf8) {
                encoding = SettingsFileEncoding::Utf8WithMark;
                continue;
            }
            result = {SettingsSaveProblem::ReadOtherwise, different, encoding};
        }
        bytes.clear();
        return result;
    }
}

std::u16string describeUnreadable(SettingsUnreadable reason) {
    switch (reason) {
        case SettingsUnreadable::None:
            break;
        case SettingsUnreadable::CannotOpen:
            return u"it cannot be opened: another program may hold it, or access is denied";
        case SettingsUnreadable::ReadError:
            return u"it could not be read to its end";
        case SettingsUnreadable::TooLarge:
            return u"it is larger than the 64 KiB the plug-in reads";
        case SettingsUnreadable::NulCharacters:
            return u"it holds NUL characters: it is no text file the plug-in reads as written";
    }
    return u"";
}

std::u16string describeSaveProblem(const SettingsSaveResult& result) {
    const std::u16string line = ascii(std::to_string(result.lineNumber).c_str());
    switch (result.problem) {
        case SettingsSaveProblem::None:
            break;
        case SettingsSaveProblem::Unreadable:
            return u"the file was not read, so it is not saved over";
        case SettingsSaveProblem::LineNotConvertible:
            return u"a new character needs UTF-8, but line " + line +
                   u" holds bytes that mean nothing in the code page, so it cannot be carried "
                   u"over";
        case SettingsSaveProblem::ReadOtherwise:
            return result.lineNumber == 0
                       ? u"the plug-in would read the saved file otherwise than shown"
                       : u"the plug-in would read line " + line + u" otherwise than shown";
    }
    return u"";
}

const char16_t* settingsFileEncodingName(SettingsFileEncoding encoding) {
    switch (encoding) {
        case SettingsFileEncoding::Ansi:
            return u"ANSI";
        case SettingsFileEncoding::Utf8:
            return u"UTF-8";
        case SettingsFileEncoding::Utf8WithMark:
            return u"UTF-8 with its mark";
        case SettingsFileEncoding::Utf16LittleEndian:
            return u"UTF-16LE";
        case SettingsFileEncoding::Utf16BigEndian:
            return u"UTF-16BE";
    }
    return u"";
}

FailedSaveStep decideAfterFailedSave(bool accessDenied, bool elevated) {
    return accessDenied && !elevated ? FailedSaveStep::AskForAdministratorRights
                                     : FailedSaveStep::Report;
}

bool mayWriteElevated(const char16_t* target, const char* contents, std::size_t size) {
    const std::u16string path = target;
    const bool fromDrive =
        path.size() >= 3 && path[1] == u':' && path[2] == u'\\' &&
        ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
    const std::size_t separator = path.find_last_of(u"\\/");
    std::u16string name = path.substr(separator + 1);
    for (char16_t& unit : name) {
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
    }
    if (!fromDrive || name != SETTINGS_FILE_NAME) return false;
    SettingsDocument document;
    loadSettingsDocument(contents, size, document);
    return document.load == SettingsLoad::Read;
}
