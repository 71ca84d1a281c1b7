#include "programs/settings-window/settings_document.h"

#include <cstdint>
#include <cstdio>
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
    values.discordImage = std::u16string(presence.image.text, presence.image.length);
}

// The switches and rules as the words of their lines.
void takeRulesValues(const PresenceSettings& presence, const NowPlayingSettings& nowPlaying,
                     const PlaybackRules& rules, SettingsValues& values) {
    values.discordSwitch = presence.switched == PresenceSwitch::Unset
                               ? u""
                               : ascii(SWITCH_NAMES[presence.switched == PresenceSwitch::On]);
    values.nowPlayingSwitch = ascii(SWITCH_NAMES[!nowPlaying.switchedOff]);
    values.staleAfter = rules.endsByItself ? ascii(std::to_string(rules.staleAfterSeconds).c_str())
                                           : ascii(STALE_AFTER_NEVER);
    values.privatePatterns = std::u16string(rules.privatePatterns, rules.privateLength);
    values.audioFiles = ascii(AUDIO_FILES_NAMES[static_cast<int>(rules.audioFiles)]);
}

// The value of the line `name` that shows `values`.
std::u16string optionValue(const SettingsValues& values, int name) {
    switch (name) {
        case OPTION_FILE:
            return values.nowPlayingPath;
        case OPTION_TEXT:
            return values.nowPlayingText;
        case OPTION_WITHDRAWN:
            return values.withdrawnText;
        case OPTION_ENCODING:
            return ascii(NOW_PLAYING_ENCODING_NAMES[static_cast<int>(values.encoding)]);
        case OPTION_DISCORD_ID:
            return values.discordApplicationId;
        case OPTION_DISCORD_SHOWS:
            return ascii(PRESENCE_SHOWS_NAMES[static_cast<int>(values.discordShows)]);
        case OPTION_DISCORD_TIME:
            return ascii(PRESENCE_TIME_NAMES[static_cast<int>(values.discordTime)]);
        case OPTION_DISCORD_IMAGE:
            return values.discordImage;
        case OPTION_DISCORD:
            return values.discordSwitch;
        case OPTION_NOW_PLAYING:
            return values.nowPlayingSwitch;
        case OPTION_STALE_AFTER:
            return values.staleAfter;
        case OPTION_PRIVATE:
            return values.privatePatterns;
        case OPTION_AUDIO_FILES:
            return values.audioFiles;
        case OPTION_NOW_PLAYING_JSON:
            return values.nowPlayingJsonPath;
        case OPTION_NOW_PLAYING_COVER:
            return values.nowPlayingCoverPath;
        case OPTION_NOW_PLAYING_COVER_MISSING:
            return values.nowPlayingCoverMissingPath;
        default:
            return values.discordTemplate[name - OPTION_DISCORD_DETAILS];
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
    NowPlayingSettings nowPlaying;
    setDefaultNowPlaying(nowPlaying);
    PlaybackRules rules;
    setDefaultPlaybackRules(rules);
    takeRulesValues(presence, nowPlaying, rules, values);
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

// The values as the plug-in took them: its reading and what its report says
// it took.
void takeValues(const PluginSettings& read, const SettingsReport& report, SettingsValues& values) {
    setDefaultValues(values);
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        const bool filled = (report.lineProblems[index] & SETTINGS_PROFILE_UNFILLED) == 0;
        const std::u16string line(report.profileLines[index], report.profileLineLengths[index]);
        if (!filled || !takeProfileLine(line, index, values)) {
            takeProfileLine(DEFAULT_LINES[index], index, values);
        }
    }
    const NowPlayingSettings& nowPlaying = read.nowPlaying;
    values.nowPlayingPath = nowPlaying.path;
    values.nowPlayingText =
        nowPlaying.hasTextTemplate
            ? std::u16string(nowPlaying.textTemplate, nowPlaying.textTemplateLength)
            : std::u16string();
    values.withdrawnText = std::u16string(nowPlaying.withdrawnText, nowPlaying.withdrawnLength);
    values.encoding = nowPlaying.encoding;
    values.nowPlayingJsonPath = nowPlaying.jsonPath;
    values.nowPlayingCoverPath = nowPlaying.coverPath;
    values.nowPlayingCoverMissingPath = nowPlaying.coverMissingPath;
    takePresenceValues(read.presence, values);
    takeRulesValues(read.presence, nowPlaying, read.rules, values);
}

// A piece of a changed line: bytes kept as they were, or new text.
struct LinePiece {
    bool kept;
    std::string bytes;
    std::u16string text;
};

// A line being rendered: as read, or changed (its new text, and the pieces
// that make it in the file's own encoding); a new line ends as the file's
// lines do.
struct RenderedLine {
    SettingsFileLine line;
    bool changed;
    bool removed;
    bool added;
    std::vector<LinePiece> pieces;  // for a changed line: kept bytes and new text
    std::size_t fileIndex;          // where it stood in the file; NEW_LINE for a new one
};
constexpr std::size_t NEW_LINE = static_cast<std::size_t>(-1);

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

// The byte offset, in `bytes` of a line, of the first unit `wanted` (ASCII)
// from byte `from` on; npos when there is none. An ASCII byte is never part
// of another character in UTF-8, and never a second byte in the double-byte
// code pages (those are 0x40 and above).
std::size_t findUnit(const std::string& bytes, std::size_t from, char16_t wanted,
                     SettingsFileEncoding encoding) {
    const std::size_t unit = unitSize(encoding);
    for (std::size_t at = from; at + unit <= bytes.size(); at += unit) {
        if (unitAt(bytes, at, encoding) == wanted) return at;
    }
    return std::string::npos;
}

RenderedLine newLine(const std::u16string& text) {
    return {{std::string(), std::string(), text}, true, false, true, {{false, "", text}}, NEW_LINE};
}

// The lines with the window's values put in, not yet encoded; `removedText`
// names lines of the file (from 0) to leave out besides the one an emptied
// text removes.
std::vector<RenderedLine> changedLines(const SettingsDocument& document,
                                       const std::vector<std::size_t>& removedText) {
    const SettingsValues& values = document.values;
    const SettingsValues& loaded = document.loaded;
    const SettingsFileEncoding encoding = document.fileEncoding;
    const std::size_t unit = unitSize(encoding);
    std::vector<RenderedLine> lines;
    for (const SettingsFileLine& line : document.lines) {
        lines.push_back({line, false, false, false, {}, lines.size()});
    }
    for (const std::size_t index : removedText) {
        if (index < lines.size()) lines[index].removed = true;
    }
    const auto addProfileLines = [&]() {
        while (lines.size() < SETTINGS_LINES_READ) {
            lines.push_back(newLine(profileLineText(values, static_cast<int>(lines.size()))));
        }
    };
    if (document.load == SettingsLoad::Missing) addProfileLines();
    // Lines set aside from lines 1 and 2, which the profile lines take.
    std::vector<RenderedLine> setAside;
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        const bool categoryChanged = values.category[index] != loaded.category[index];
        const bool templateChanged = values.templateText[index] != loaded.templateText[index];
        if (!categoryChanged && !templateChanged) continue;
        if (index >= static_cast<int>(lines.size())) {
            while (static_cast<int>(lines.size()) <= index) {
                lines.push_back(newLine(profileLineText(values, static_cast<int>(lines.size()))));
            }
            continue;
        }
        RenderedLine& line = lines[static_cast<std::size_t>(index)];
        if (line.fileIndex == NEW_LINE) {
            // A line this save makes: written whole with the values.
            line = newLine(profileLineText(values, index));
            continue;
        }
        const std::u16string& text = line.line.text;
        long number = 0;
        const char16_t* templateText = nullptr;
        if (splitSettingsLine(text.data(), text.size(), number, templateText) != 0) {
            // A comment, or another line of the user's: the profile line
            // takes its place, and it follows the profile lines.
            setAside.push_back(line);
            line = newLine(profileLineText(values, index));
            continue;
        }
        // Only what changed is new: the number's bytes, or those after the comma.
        const std::size_t numberEnd = settingsLineNumberEnd(text.data(), text.size()) * unit;
        const std::size_t comma = findUnit(line.line.bytes, numberEnd, u',', encoding);
        const std::string& bytes = line.line.bytes;
        std::vector<LinePiece> pieces;
        if (categoryChanged) {
            pieces.push_back({false, "", ascii(std::to_string(values.category[index]).c_str())});
        } else {
            pieces.push_back({true, bytes.substr(0, numberEnd), u""});
        }
        if (templateChanged) {
            pieces.push_back({true, bytes.substr(numberEnd, comma + unit - numberEnd), u""});
            pieces.push_back({false, "", values.templateText[index]});
        } else {
            pieces.push_back({true, bytes.substr(numberEnd), u""});
        }
        const std::size_t commaUnits =
            static_cast<std::size_t>(templateText - text.data());  // after the comma
        const std::size_t numberEndUnits = numberEnd / unit;
        const std::u16string head =
            categoryChanged ? pieces[0].text : text.substr(0, numberEndUnits);
        line.line.text = templateChanged
                             ? head + text.substr(numberEndUnits, commaUnits - numberEndUnits) +
                                   values.templateText[index]
                             : head + text.substr(numberEndUnits);
        line.pieces = pieces;
        line.changed = true;
    }
    if (!setAside.empty()) {
        const std::size_t after =
            lines.size() < SETTINGS_LINES_READ ? lines.size() : SETTINGS_LINES_READ;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after), setAside.begin(),
                     setAside.end());
    }
    // Where the file's lines moved: a line's index in `lines` by its index in the file.
    const auto renderedIndex = [&](std::size_t fileIndex) {
        return fileIndex >= SETTINGS_LINES_READ ? fileIndex + setAside.size() : fileIndex;
    };

    for (int name = 0; name < SETTINGS_OPTION_NAMES; ++name) {
        const std::u16string value = optionValue(values, name);
        if (value == optionValue(loaded, name)) continue;
        // An emptied text: the line the plug-in takes goes (and any it would
        // take then: see removedText).
        const unsigned taken = document.optionLines[name];
        if (name == OPTION_TEXT && value.empty()) {
            if (taken > 0) lines[renderedIndex(taken - 1)].removed = true;
            continue;
        }
        if (taken > 0) {
            RenderedLine& line = lines[renderedIndex(taken - 1)];
            const std::string& bytes = line.line.bytes;
            const std::size_t equals = findUnit(bytes, 0, u'=', encoding);
            std::size_t valueStart = 0;
            settingsOptionNameOf(line.line.text.data(), line.line.text.size(), valueStart);
            line.pieces = {{true, bytes.substr(0, equals + unit), u""}, {false, "", value}};
            line.line.text = line.line.text.substr(0, valueStart) + value;
            line.changed = true;
        } else {
            // Lines after the profile lines need both before them.
            addProfileLines();
            lines.push_back(newLine(ascii(SETTINGS_OPTION_NAME_TEXTS[name]) + u"=" + value));
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
    SettingsSaveResult result{SettingsSaveProblem::None, 0, encoding, SettingsLineRefusal::None};
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
            return {SettingsSaveProblem::LineNotConvertible, index + 1, encoding,
                    SettingsLineRefusal::None};
        } else if (converted) {
            if (!encodeText(line.line.text, encoding, encoded)) {
                return {SettingsSaveProblem::LineNotConvertible, DOES_NOT_FIT, encoding,
                        SettingsLineRefusal::None};
            }
        } else {
            // The user's own bytes stay; only the new pieces are encoded.
            for (const LinePiece& piece : line.pieces) {
                std::string piece_bytes = piece.bytes;
                if (!piece.kept && !encodeText(piece.text, encoding, piece_bytes)) {
                    return {SettingsSaveProblem::LineNotConvertible, DOES_NOT_FIT, encoding,
                            SettingsLineRefusal::None};
                }
                encoded += piece_bytes;
            }
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

// The line (from 1) that gives a value other than shown, read back, and
// what the plug-in's reader says of it; 0 when none can be named.
std::size_t lineReadOtherwise(const SettingsDocument& document, const SettingsDocument& readBack,
                              const std::string& bytes, SettingsLineRefusal& refusal) {
    static PluginSettings read;
    static SettingsReport report;
    readSettingsBytes(bytes.data(), bytes.size(), read, &report);
    refusal = SettingsLineRefusal::None;
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        const SettingsProblems problems = report.lineProblems[index];
        const bool differs =
            document.values.category[index] != readBack.values.category[index] ||
            document.values.templateText[index] != readBack.values.templateText[index];
        const bool cut =
            (problems & (SETTINGS_LINE_CUT | SETTINGS_PREFIX_CUT | SETTINGS_SUFFIX_CUT)) != 0;
        const bool edited =
            document.values.category[index] != document.loaded.category[index] ||
            document.values.templateText[index] != document.loaded.templateText[index];
        if (!differs && !(edited && cut)) continue;
        if (cut) {
            refusal = SettingsLineRefusal::TooLong;
        } else if ((problems & (SETTINGS_NO_NUMBER | SETTINGS_NO_COMMA)) != 0) {
            refusal = SettingsLineRefusal::NotProfileLine;
        } else if ((problems & SETTINGS_NO_MARKER) != 0) {
            refusal = SettingsLineRefusal::NoMarker;
        }
        return static_cast<std::size_t>(index) + 1;
    }
    for (int name = 0; name < SETTINGS_OPTION_NAMES; ++name) {
        if (optionValue(document.values, name) == optionValue(readBack.values, name)) continue;
        // The last line of that name is the one meant: what does the reader say of it?
        for (std::size_t line = readBack.lines.size(); line > SETTINGS_LINES_READ; --line) {
            const std::u16string& text = readBack.lines[line - 1].text;
            std::size_t value = 0;
            if (settingsOptionNameOf(text.data(), text.size(), value) != name) continue;
            for (std::size_t at = 0; at < report.optionProblemCount && at < SETTINGS_OPTION_REPORTS;
                 ++at) {
                if (report.options[at].lineNumber != line) continue;
                if (report.options[at].problem == SettingsOptionProblem::LineTooLong) {
                    refusal = SettingsLineRefusal::TooLong;
                } else if (report.options[at].problem == SettingsOptionProblem::BadValue) {
                    refusal = SettingsLineRefusal::BadValue;
                }
            }
            return line;
        }
        return 0;
    }
    return 0;
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
    document.bytes.assign(bytes, size);
    // The plug-in decides how the file is written, and what each line gives.
    static PluginSettings read;
    static SettingsReport report;
    report = SettingsReport{};
    readSettingsBytes(bytes, size, read, &report);
    std::memcpy(document.optionLines, report.optionLines, sizeof document.optionLines);
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
    takeValues(read, report, document.loaded);
    document.values = document.loaded;
}

SettingsSaveResult renderSettingsDocument(const SettingsDocument& document, std::string& bytes) {
    bytes.clear();
    if (document.load == SettingsLoad::Unreadable) {
        return {SettingsSaveProblem::Unreadable, 0, document.fileEncoding,
                SettingsLineRefusal::None};
    }
    // Lines an emptied now-playing text takes away, each the one the plug-in
    // would take next; a file has no more of them than it has lines.
    std::vector<std::size_t> removedText;
    SettingsFileEncoding encoding = document.fileEncoding;
    for (std::size_t rounds = 0; rounds <= document.lines.size() + 1;) {
        const std::vector<RenderedLine> lines = changedLines(document, removedText);
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
            const unsigned textLine = readBack.optionLines[OPTION_TEXT];
            if (document.values.nowPlayingText.empty() && !document.loaded.nowPlayingText.empty() &&
                textLine > 0) {
                // Another line of that name counts now: it goes too. Lines
                // keep their places: only removed lines are left out.
                std::size_t fileIndex = NEW_LINE;
                for (std::size_t kept = 0, index = 0; index < lines.size(); ++index) {
                    if (lines[index].removed) continue;
                    if (++kept == textLine) fileIndex = lines[index].fileIndex;
                }
                if (fileIndex == NEW_LINE) break;
                removedText.push_back(fileIndex);
                ++rounds;
                continue;
            }
            const std::size_t different = firstDifferentLine(readBack, lines);
            SettingsLineRefusal refusal = SettingsLineRefusal::None;
            const std::size_t refused = lineReadOtherwise(document, readBack, bytes, refusal);
            if (readBack.load == SettingsLoad::Read && different == 0 && refused == 0 &&
                readBack.values == document.values) {
                return result;
            }
            if (mayBecomeUtf8 && refusal == SettingsLineRefusal::None) {
                encoding = SettingsFileEncoding::Utf8WithMark;
                continue;
            }
            result = {SettingsSaveProblem::ReadOtherwise, refused != 0 ? refused : different,
                      encoding, refusal};
        }
        bytes.clear();
        return result;
    }
    bytes.clear();
    return {SettingsSaveProblem::ReadOtherwise, 0, encoding, SettingsLineRefusal::None};
}

void carryOverChanges(const SettingsValues& loaded, const SettingsValues& edited,
                      SettingsValues& target) {
    for (int index = 0; index < SETTINGS_LINES_READ; ++index) {
        if (edited.category[index] != loaded.category[index]) {
            target.category[index] = edited.category[index];
        }
        if (edited.templateText[index] != loaded.templateText[index]) {
            target.templateText[index] = edited.templateText[index];
        }
    }
    const auto carry = [](const auto& before, const auto& after, auto& into) {
        if (after != before) into = after;
    };
    carry(loaded.nowPlayingPath, edited.nowPlayingPath, target.nowPlayingPath);
    carry(loaded.nowPlayingText, edited.nowPlayingText, target.nowPlayingText);
    carry(loaded.withdrawnText, edited.withdrawnText, target.withdrawnText);
    carry(loaded.encoding, edited.encoding, target.encoding);
    carry(loaded.discordApplicationId, edited.discordApplicationId, target.discordApplicationId);
    for (int field = 0; field < PRESENCE_FIELDS; ++field) {
        carry(loaded.discordTemplate[field], edited.discordTemplate[field],
              target.discordTemplate[field]);
    }
    carry(loaded.discordShows, edited.discordShows, target.discordShows);
    carry(loaded.discordTime, edited.discordTime, target.discordTime);
    carry(loaded.discordImage, edited.discordImage, target.discordImage);
    carry(loaded.discordSwitch, edited.discordSwitch, target.discordSwitch);
    carry(loaded.nowPlayingSwitch, edited.nowPlayingSwitch, target.nowPlayingSwitch);
    carry(loaded.staleAfter, edited.staleAfter, target.staleAfter);
    carry(loaded.privatePatterns, edited.privatePatterns, target.privatePatterns);
    carry(loaded.audioFiles, edited.audioFiles, target.audioFiles);
    carry(loaded.nowPlayingJsonPath, edited.nowPlayingJsonPath, target.nowPlayingJsonPath);
    carry(loaded.nowPlayingCoverPath, edited.nowPlayingCoverPath, target.nowPlayingCoverPath);
    carry(loaded.nowPlayingCoverMissingPath, edited.nowPlayingCoverMissingPath,
          target.nowPlayingCoverMissingPath);
}

std::string settingsFileFingerprint(const std::string& bytes) {
    constexpr std::uint64_t FNV_OFFSET = 0xCBF29CE484222325ull;
    constexpr std::uint64_t FNV_PRIME = 0x100000001B3ull;
    std::uint64_t hash = FNV_OFFSET;
    for (const char byte : bytes) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * FNV_PRIME;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%zu-%016llx", bytes.size(),
                  static_cast<unsigned long long>(hash));
    return text;
}

std::string settingsFileFingerprint(const SettingsDocument& document) {
    return document.load == SettingsLoad::Missing ? std::string(SETTINGS_FILE_MISSING)
                                                  : settingsFileFingerprint(document.bytes);
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
            if (result.lineNumber == 0) {
                return u"the plug-in would read the saved file otherwise than shown";
            }
            switch (result.refusal) {
                case SettingsLineRefusal::TooLong:
                    return u"line " + line + u" would be longer than the plug-in reads";
                case SettingsLineRefusal::NoMarker:
                    return u"the template of line " + line +
                           u" has no marker, such as [FILENAME] or [TAGS]";
                case SettingsLineRefusal::NotProfileLine:
                    return u"line " + line +
                           u" would be no profile line (a number, a comma, a "
                           u"template)";
                case SettingsLineRefusal::BadValue:
                    return u"the plug-in does not take the value of line " + line;
                case SettingsLineRefusal::None:
                    break;
            }
            return u"the plug-in would read line " + line + u" otherwise than shown";
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
