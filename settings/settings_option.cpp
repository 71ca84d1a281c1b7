#include "settings/settings_option.h"

#include <cstring>

#include "text/bounded_text.h"

namespace {

enum OptionName { OPTION_FILE, OPTION_TEXT, OPTION_WITHDRAWN, OPTION_ENCODING, OPTION_NAMES };

const char* const OPTION_NAME_TEXTS[OPTION_NAMES] = {"nowplaying-file", "nowplaying-text",
                                                     "nowplaying-withdrawn", "nowplaying-encoding"};

struct EncodingName {
    const char* name;
    NowPlayingEncoding encoding;
};
const EncodingName ENCODING_NAMES[] = {
    {"utf-8", NowPlayingEncoding::Utf8},
    {"utf-8-bom", NowPlayingEncoding::Utf8WithMark},
    {"utf-16", NowPlayingEncoding::Utf16},
    {"ansi", NowPlayingEncoding::Ansi},
};

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

}  // namespace

SettingsOptionProblem parseSettingsOption(const char16_t* line, std::size_t length,
                                          NowPlayingSettings& nowPlaying,
                                          SettingsOptionNames& seen) {
    const char16_t* const end = line + length;
    const char16_t* name = line;
    while (name < end && isSpace(*name)) ++name;
    if (name == end || *name == u';' || *name == u'#') return SettingsOptionProblem::None;
    const char16_t* equals = name;
    while (equals < end && *equals != u'=') ++equals;
    if (equals == end) return SettingsOptionProblem::NotNameValue;
    const char16_t* nameEnd = equals;
    while (nameEnd > name && isSpace(nameEnd[-1])) --nameEnd;
    int option = 0;
    while (option < OPTION_NAMES && !isWord(name, nameEnd, OPTION_NAME_TEXTS[option])) ++option;
    if (option == OPTION_NAMES) return SettingsOptionProblem::UnknownName;

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
            for (const EncodingName& encoding : ENCODING_NAMES) {
                if (isWord(word, wordEnd, encoding.name)) {
                    nowPlaying.encoding = encoding.encoding;
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
