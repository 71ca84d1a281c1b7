// Any bytes as the settings file (Latin-1 being the ANSI code page; a
// UTF-16 file through a conversion of its own here): every
// profile field ends inside its storage and holds whole characters only,
// the category is one of the four codes, no line feed reaches a profile or a
// now-playing path or template, and the file reads exactly as its lines
// parsed one by one (the profile lines, then the name=value lines, a cut one
// ignored whole), split here by a separate, deliberately plain splitter and
// decoded by iconv; where no line was cut, the file counts as UTF-8 exactly
// when it has the mark, or when iconv reads its lines as UTF-8 and they hold
// a byte beyond ASCII.
#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "status/presence_image.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool terminatedWithin(const char16_t* field, std::size_t capacity) {
    return boundedLength(field, capacity) < capacity;
}

bool same(const char16_t* a, const char16_t* b) { return std::u16string(a) == std::u16string(b); }

bool hasUnit(const char16_t* text, char16_t unit) {
    return std::u16string(text).find(unit) != std::u16string::npos;
}

bool wholeCharacters(const char16_t* text) {
    const std::u16string units = text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (isHighSurrogate(units[i]) && (i + 1 == units.size() || !isLowSurrogate(units[++i]))) {
            return false;
        }
        if (isLowSurrogate(units[i]) && (i == 0 || !isHighSurrogate(units[i - 1]))) return false;
    }
    return true;
}

void checkProfile(const StatusProfile& profile) {
    require(terminatedWithin(profile.categoryCode, CATEGORY_CODE_CAPACITY));
    require(terminatedWithin(profile.prefix, PROFILE_TEXT_CAPACITY));
    require(terminatedWithin(profile.suffix, PROFILE_TEXT_CAPACITY));
    const char16_t* code = profile.categoryCode;
    require(same(code, CATEGORY_MUSIC) || same(code, CATEGORY_OFFICE) ||
            same(code, CATEGORY_GAMES) || same(code, CATEGORY_EMPTY));
    require(!hasUnit(profile.prefix, u'\n') && !hasUnit(profile.suffix, u'\n'));
    require(wholeCharacters(profile.prefix) && wholeCharacters(profile.suffix));
    require(profile.templateLength < PROFILE_TEMPLATE_CAPACITY);
    require(std::u16string(profile.templateText, profile.templateLength).find(u'\n') ==
            std::u16string::npos);
}

bool sameProfile(const StatusProfile& a, const StatusProfile& b) {
    return same(a.categoryCode, b.categoryCode) && same(a.prefix, b.prefix) &&
           same(a.suffix, b.suffix) && a.titleFromTags == b.titleFromTags &&
           a.readsFacts == b.readsFacts && a.composedWhole == b.composedWhole &&
           std::u16string(a.templateText, a.templateLength) ==
               std::u16string(b.templateText, b.templateLength);
}

// The text-mode rules over the whole file at once: the mark at the start
// goes, Ctrl-Z ends the data, a carriage return right before a line feed
// goes; then lines end after each line feed.
std::vector<std::string> splitLines(const std::string& file) {
    std::string text = file.compare(0, 3, "\xEF\xBB\xBF") == 0 ? file.substr(3) : file;
    text = text.substr(0, text.find('\x1A'));
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        plain += text[i];
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < plain.size()) {
        const std::size_t lineFeed = plain.find('\n', start);
        const std::size_t end = lineFeed == std::string::npos ? plain.size() : lineFeed + 1;
        lines.push_back(plain.substr(start, end - start));
        start = end;
    }
    return lines;
}

// How much of `text` iconv reads as UTF-8: all of it (`whole`), or up to a
// last sequence left incomplete (`incomplete`), or neither (an invalid byte).
struct Utf8Reading {
    bool whole;
    bool incomplete;
    std::size_t readLength;
};

Utf8Reading readUtf8(const std::string& text, std::u16string* decoded = nullptr) {
    static const iconv_t conversion = iconv_open("UTF-16LE", "UTF-8");
    std::string copy = text;
    char* in = &copy[0];
    std::size_t inLeft = copy.size();
    std::u16string out(copy.size() + 1, u'\0');
    char* next = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * sizeof(char16_t);
    const bool whole =
        iconv(conversion, &in, &inLeft, &next, &outLeft) != static_cast<std::size_t>(-1);
    const bool incomplete = !whole && errno == EINVAL;
    iconv(conversion, nullptr, nullptr, nullptr, nullptr);
    if (decoded != nullptr) *decoded = out.substr(0, out.size() - outLeft / sizeof(char16_t));
    return {whole, incomplete, static_cast<std::size_t>(in - &copy[0])};
}

// Whether iconv's "incomplete" last sequence of `text` could still become a
// character: some ending makes it read whole. (iconv also calls the start of
// a five- or six-byte form incomplete, which is no UTF-8 at all.)
bool completable(const std::string& text, std::size_t readLength) {
    const std::string tail = text.substr(readLength);
    for (const char* second : {"\x80", "\x90", "\xA0", "\xBF"}) {
        for (std::size_t added = 1; added <= 3; ++added) {
            std::string ending = tail.size() == 1 ? std::string(second) : std::string("\x80");
            ending.append(added - 1, '\x80');
            if (readUtf8(tail + ending).whole) return true;
        }
    }
    return false;
}

// Whether `bytes` begin a character that more bytes could end.
bool startsCharacter(const std::string& bytes) {
    const Utf8Reading reading = readUtf8(bytes);
    return reading.incomplete && reading.readLength == 0 && completable(bytes, 0);
}

// A line as read, decoded: UTF-8 with one U+FFFD for each longest start of a
// character that does not go on (a byte that begins none alone), except that
// a last such start is dropped where the line buffer cut the line; the line
// feed is no part of the text before it. Latin-1 byte by byte.
std::u16string decode(const std::string& read, SettingsEncoding encoding, bool cut) {
    std::u16string line;
    if (encoding != SettingsEncoding::Utf8) {
        for (unsigned char c : read) line.push_back(c);
        return line;
    }
    const bool lineFeed = !read.empty() && read.back() == '\n';
    std::string rest = lineFeed ? read.substr(0, read.size() - 1) : read;
    for (;;) {
        std::u16string piece;
        const Utf8Reading reading = readUtf8(rest, &piece);
        line += piece;
        if (reading.whole) break;
        std::size_t invalid = 1;
        while (invalid < 3 && reading.readLength + invalid < rest.size() &&
               startsCharacter(rest.substr(reading.readLength, invalid + 1))) {
            ++invalid;
        }
        const bool last = reading.readLength + invalid == rest.size();
        if (last && cut && startsCharacter(rest.substr(reading.readLength))) break;
        line += u'\uFFFD';
        rest = rest.substr(reading.readLength + invalid);
    }
    if (lineFeed) line += u'\n';
    return line;
}

// A file with a UTF-16 mark as UTF-8 with its mark, converted here unit by
// unit (a surrogate pair to four bytes, a lone half to U+FFFD, an odd last
// byte dropped); any other file as it is.
std::string asUtf8(const std::string& file) {
    const bool little = file.compare(0, 2, "\xFF\xFE") == 0;
    if (!little && file.compare(0, 2, "\xFE\xFF") != 0) return file;
    std::vector<char32_t> units;
    for (std::size_t at = 2; at + 1 < file.size(); at += 2) {
        const unsigned first = static_cast<unsigned char>(file[at]);
        const unsigned second = static_cast<unsigned char>(file[at + 1]);
        units.push_back(little ? first | second << 8 : first << 8 | second);
    }
    std::string out = "\xEF\xBB\xBF";
    const auto put = [&](char32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            put(0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00));
        } else {
            put(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
    }
    return out;
}

void checkNowPlaying(const NowPlayingSettings& nowPlaying) {
    require(terminatedWithin(nowPlaying.path, NOW_PLAYING_PATH_CAPACITY));
    require(nowPlaying.textTemplateLength < NOW_PLAYING_TEMPLATE_CAPACITY);
    require(nowPlaying.withdrawnLength < NOW_PLAYING_TEMPLATE_CAPACITY);
    require(!hasUnit(nowPlaying.path, u'\n'));
    require(std::u16string(nowPlaying.textTemplate, nowPlaying.textTemplateLength).find(u'\n') ==
            std::u16string::npos);
}

void checkPresence(const PresenceSettings& presence) {
    require(std::memchr(presence.applicationId, '\0', PRESENCE_ID_CAPACITY) != nullptr);
    require(std::strspn(presence.applicationId, "0123456789") ==
            std::strlen(presence.applicationId));
    require(presence.image.length < PRESENCE_TEMPLATE_CAPACITY &&
            presence.image.text[presence.image.length] == u'\0');
    require(isPresenceImageLine(presence.image.text, presence.image.length));
    require(presence.imageGiven || presence.image.length == 0);
    for (const PresenceTemplate& given : presence.templates) {
        require(given.length < PRESENCE_TEMPLATE_CAPACITY && given.text[given.length] == u'\0');
    }
}

bool samePresence(const PresenceSettings& a, const PresenceSettings& b) {
    bool same = std::strcmp(a.applicationId, b.applicationId) == 0 &&
                std::u16string(a.image.text, a.image.length) ==
                    std::u16string(b.image.text, b.image.length) &&
                a.imageGiven == b.imageGiven && a.shows == b.shows && a.time == b.time &&
                a.switched == b.switched;
    for (int field = 0; field < PRESENCE_FIELDS; ++field) {
        same &= std::u16string(a.templates[field].text, a.templates[field].length) ==
                std::u16string(b.templates[field].text, b.templates[field].length);
    }
    return same;
}

bool sameRules(const PlaybackRules& a, const PlaybackRules& b) {
    return std::u16string(a.privatePatterns, a.privateLength) ==
               std::u16string(b.privatePatterns, b.privateLength) &&
           a.endsByItself == b.endsByItself && a.staleAfterSeconds == b.staleAfterSeconds &&
           a.audioFiles == b.audioFiles;
}

bool sameNowPlaying(const NowPlayingSettings& a, const NowPlayingSettings& b) {
    return same(a.path, b.path) && a.hasTextTemplate == b.hasTextTemplate &&
           std::u16string(a.textTemplate, a.textTemplateLength) ==
               std::u16string(b.textTemplate, b.textTemplateLength) &&
           std::u16string(a.withdrawnText, a.withdrawnLength) ==
               std::u16string(b.withdrawnText, b.withdrawnLength) &&
           a.encoding == b.encoding && a.switchedOff == b.switchedOff;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    static PluginSettings whole;
    static SettingsReport report;
    std::memset(&whole, 0x7F, sizeof whole);  // no stray terminators to hide a fault
    std::memset(&report, 0x7F, sizeof report);
    readSettingsBytes(bytes, size, whole, &report);
    checkProfile(whole.profiles.videoProfile);
    checkProfile(whole.profiles.audioProfile);
    checkNowPlaying(whole.nowPlaying);
    checkPresence(whole.presence);

    static PluginSettings byLine;
    setDefaultSettings(byLine);
    // A UTF-16 file reads as its text in UTF-8 with the mark would.
    const std::string file = asUtf8(std::string(bytes, size));
    const std::vector<std::string> lines = splitLines(file);
    // Each line as one read keeps it: 299 bytes for a profile line, 2047
    // for the lines after them, and up to a NUL as C text.
    std::vector<std::string> read(lines.size());
    std::vector<bool> cut(lines.size());
    bool valid = true;
    bool beyondAscii = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t kept =
            (i < SETTINGS_LINES_READ ? SETTINGS_LINE_CAPACITY : SETTINGS_OPTION_LINE_CAPACITY) - 1;
        cut[i] = lines[i].size() > kept;
        read[i] = lines[i].substr(0, kept);
        read[i].resize(std::strlen(read[i].c_str()));
        const Utf8Reading reading = readUtf8(read[i]);
        // Incomplete only where the line buffer ended it, not a NUL.
        valid &= reading.whole || (reading.incomplete && cut[i] && read[i].size() == kept &&
                                   completable(read[i], reading.readLength));
        for (std::size_t at = 0; at < reading.readLength; ++at) {
            beyondAscii |= static_cast<unsigned char>(read[i][at]) >= 0x80;
        }
    }
    const bool marked = file.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const SettingsEncoding encoding =
        marked || (valid && beyondAscii) ? SettingsEncoding::Utf8 : SettingsEncoding::Ansi;
    require(report.encoding == encoding);
    for (int lineNumber = 1; lineNumber <= SETTINGS_LINES_READ; ++lineNumber) {
        const std::size_t i = static_cast<std::size_t>(lineNumber) - 1;
        SettingsProblems problems = SETTINGS_MISSING_LINE;
        if (i < lines.size()) {
            const std::u16string line = decode(read[i], encoding, cut[i]);
            problems = parseSettingsLine(line.data(), line.size(), lineNumber, byLine.profiles);
            if (cut[i]) problems |= SETTINGS_LINE_CUT;
        }
        if ((problems & SETTINGS_PROFILE_UNFILLED) != 0) {
            settingsLineProfile(byLine.profiles, lineNumber) =
                settingsLineProfile(DEFAULT_PROFILES, lineNumber);
        }
        require(report.lineProblems[i] == problems);
    }
    require(sameProfile(whole.profiles.videoProfile, byLine.profiles.videoProfile));
    require(sameProfile(whole.profiles.audioProfile, byLine.profiles.audioProfile));

    // The lines after them, one by one: a cut one is ignored whole.
    SettingsOptionNames seen = 0;
    std::size_t problemCount = 0;
    for (std::size_t i = SETTINGS_LINES_READ; i < lines.size(); ++i) {
        SettingsOptionProblem problem = SettingsOptionProblem::LineTooLong;
        if (!cut[i]) {
            std::u16string line = decode(read[i], encoding, cut[i]);
            if (!line.empty() && line.back() == u'\n') line.pop_back();
            problem = parseSettingsOption(line.data(), line.size(), byLine.nowPlaying,
                                          byLine.presence, byLine.rules, seen);
        }
        if (problem == SettingsOptionProblem::None) continue;
        if (problemCount < SETTINGS_OPTION_REPORTS) {
            require(report.options[problemCount].lineNumber == i + 1);
            require(report.options[problemCount].problem == problem);
        }
        ++problemCount;
    }
    require(report.optionProblemCount == problemCount);
    require(sameNowPlaying(whole.nowPlaying, byLine.nowPlaying));
    require(samePresence(whole.presence, byLine.presence));
    require(sameRules(whole.rules, byLine.rules));
    require(whole.rules.privateLength < PRIVATE_PATTERNS_CAPACITY &&
            whole.rules.privatePatterns[whole.rules.privateLength] == u'\0');
    require(whole.rules.staleAfterSeconds <= LONGEST_STALE_AFTER_SECONDS);
    return 0;
}
