#include "settings/settings_option.h"

#include <cstring>

#include "text/bounded_text.h"

namespace {

constexpr NowPlayingEncoding ENCODINGS[] = {NowPlayingEncoding::Utf8,
                                            NowPlayingEncoding::Utf8WithMark,
                                            NowPlayingEncoding::Utf16, NowPlayingEncoding::Ansi};

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

// Whether [begin, end) is `lowerCaseWord` (ASCII) in any letter case.
bool isWord(const char16_t* begin, const char16_t* end, const char* lowerCaseWord) {
    if (static_cast<std::size_t>(end - begin) != std::strlen(lowerCaseWord)) return false;
    for (const char16_t* at = begin; at < end; ++at, ++lowerCaseWord) {
        if (asciiLower(*at) != static_cast<unsigned char>(*lowerCaseWord)) return false;
    }
    return true;
}

// Stores [begin, end) into `field` (`capacity` units) when all of it fits.
bool storeWhole(char16_t* field, std::size_t capacity, const char16_t* begin, const char16_t* end,
                std::size_t* length) {
    const std::size_t units = static_cast<std::size_t>(end - begin);
    if (units >= capacity) return false;
    copyBoundedCount(field, capacity, begin, units);
    if (length != nullptr) *length = units;
    return true;
}

// Where the name of a name=value line begins, and its "=": the name's end
// and the value's start. Returns false for a comment or a blank line, and
// sets `equals` to `end` for a line without "=".
bool splitNameValue(const char16_t* line, const char16_t* end, const char16_t*& name,
                    const char16_t*& nameEnd, const char16_t*& equals) {
    name = line;
    while (name < end && isSpace(*name)) ++name;
    if (name == end || *name == u';' || *name == u'#') return false;
    equals = name;
    while (equals < end && *equals != u'=') ++equals;
    nameEnd = equals;
    while (nameEnd > name && isSpace(nameEnd[-1])) --nameEnd;
    return true;
}

int optionNamed(const char16_t* name, const char16_t* nameEnd) {
    int option = 0;
    while (option < SETTINGS_OPTION_NAMES &&
           !isWord(name, nameEnd, SETTINGS_OPTION_NAME_TEXTS[option])) {
        ++option;
    }
    return option;
}

}  // namespace

const char* const SETTINGS_OPTION_NAME_TEXTS[SETTINGS_OPTION_NAMES] = {
    "nowplaying-file", "nowplaying-text", "nowplaying-withdrawn", "nowplaying-encoding"};
const char* const NOW_PLAYING_ENCODING_NAMES[4] = {"utf-8", "utf-8-bom", "utf-16", "ansi"};

SettingsOptionName settingsOptionNameOf(const char16_t* line, std::size_t length,
                                        std::size_t& value) {
    const char16_t* name = nullptr;
    const char16_t* nameEnd = nullptr;
    const char16_t* equals = nullptr;
    if (!splitNameValue(line, line + length, name, nameEnd, equals) || equals == line + length) {
        return SETTINGS_OPTION_NAMES;
    }
    value = static_cast<std::size_t>(equals + 1 - line);
    return static_cast<SettingsOptionName>(optionNamed(name, nameEnd));
}

SettingsOptionProblem parseSettingsOption(const char16_t* line, std::size_t length,
                                          NowPlayingSettings& nowPlaying,
                                          SettingsOptionNames& seen) {
    const char16_t* const end = line + length;
    const char16_t* name = nullptr;
    const char16_t* nameEnd = nullptr;
    const char16_t* equals = nullptr;
    if (!splitNameValue(line, end, name, nameEnd, equals)) return SettingsOptionProblem::None;
    if (equals == end) return SettingsOptionProblem::NotNameValue;
    const int option = optionNamed(name, nameEnd);
    if (option == SETTINGS_OPTION_NAMES) return SettingsOptionProblem::UnknownName;

    const char16_t* value = equals + 1;
    bool stored = false;
    switch (option) {
        case OPTION_FILE:
            stored = storeWhole(nowPlaying.path, NOW_PLAYING_PATH_CAPACITY, value, end, nullptr);
            break;
        case OPTION_TEXT:
            stored = storeWhole(nowPlaying.textTemplate, NOW_PLAYING_TEMPLATE_CAPACITY, value, end,
                                &nowPlaying.textTemplateLength);
            nowPlaying.hasTextTemplate |= stored;
            break;
        case OPTION_WITHDRAWN:
            stored = storeWhole(nowPlaying.withdrawnText, NOW_PLAYING_TEMPLATE_CAPACITY, value, end,
                                &nowPlaying.withdrawnLength);
            break;
        default: {
            // A word from a list: spaces around it mean nothing.
            const char16_t* word = value;
            const char16_t* wordEnd = end;
            while (word < wordEnd && isSpace(*word)) ++word;
            while (wordEnd > word && isSpace(wordEnd[-1])) --wordEnd;
            for (int encoding = 0; encoding < 4; ++encoding) {
                if (isWord(word, wordEnd, NOW_PLAYING_ENCODING_NAMES[encoding])) {
                    nowPlaying.encoding = ENCODINGS[encoding];
                    stored = true;
                }
            }
            break;
        }
    }
    if (!stored) return SettingsOptionProblem::BadValue;
    const unsigned bit = 1u << option;
    const bool repeated = (seen & bit) != 0;
    seen |= bit;
    return repeated ? SettingsOptionProblem::Repeated : SettingsOptionProblem::None;
}
