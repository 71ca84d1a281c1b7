#include "settings/settings_option.h"

#include <cstring>

#include "status/presence_image.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

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

// The spaces around a word from a list mean nothing.
void trimSpaces(const char16_t*& begin, const char16_t*& end) {
    while (begin < end && isSpace(*begin)) ++begin;
    while (end > begin && isSpace(end[-1])) --end;
}

// Which of the `count` lower-case `words` [begin, end) is, in any letter
// case; `count` when none.
int wordIndex(const char16_t* begin, const char16_t* end, const char* const* words, int count) {
    int index = 0;
    while (index < count && !isWord(begin, end, words[index])) ++index;
    return index;
}

// An application id: 1 to 20 ASCII digits.
bool storeApplicationId(char (&id)[PRESENCE_ID_CAPACITY], const char16_t* begin,
                        const char16_t* end) {
    const std::size_t digits = static_cast<std::size_t>(end - begin);
    if (digits == 0 || digits >= PRESENCE_ID_CAPACITY) return false;
    for (const char16_t* at = begin; at < end; ++at) {
        if (*at < u'0' || *at > u'9') return false;
    }
    for (std::size_t i = 0; i < digits; ++i) id[i] = static_cast<char>(begin[i]);
    id[digits] = '\0';
    return true;
}

// Seconds, 0 to LONGEST_STALE_AFTER_SECONDS, or "never".
bool storeStaleAfter(PlaybackRules& rules, const char16_t* begin, const char16_t* end) {
    if (isWord(begin, end, STALE_AFTER_NEVER)) {
        rules.endsByItself = false;
        return true;
    }
    if (begin == end) return false;
    std::uint32_t seconds = 0;
    for (const char16_t* at = begin; at < end; ++at) {
        if (*at < u'0' || *at > u'9') return false;
        seconds = seconds * 10 + static_cast<std::uint32_t>(*at - u'0');
        if (seconds > LONGEST_STALE_AFTER_SECONDS) return false;
    }
    rules.endsByItself = true;
    rules.staleAfterSeconds = seconds;
    return true;
}

static_assert(OPTION_DISCORD_STATE - OPTION_DISCORD_DETAILS == PRESENCE_STATE &&
                  OPTION_DISCORD_IMAGE_TEXT - OPTION_DISCORD_DETAILS == PRESENCE_IMAGE_TEXT,
              "the template options follow the presence's fields");

int optionNamed(const char16_t* name, const char16_t* nameEnd) {
    int option = 0;
    while (option < SETTINGS_OPTION_NAMES &&
           !isWord(name, nameEnd, SETTINGS_OPTION_NAME_TEXTS[option])) {
        ++option;
    }
    return option;
}

}  // namespace

const char* const SETTINGS_OPTION_NAME_TEXTS[SETTINGS_OPTION_NAMES] = {"nowplaying-file",
                                                                       "nowplaying-text",
                                                                       "nowplaying-withdrawn",
                                                                       "nowplaying-encoding",
                                                                       "discord-application-id",
                                                                       "discord-details",
                                                                       "discord-state",
                                                                       "discord-image-text",
                                                                       "discord-shows",
                                                                       "discord-time",
                                                                       "discord-image",
                                                                       "discord",
                                                                       "nowplaying",
                                                                       "stale-after",
                                                                       "private",
                                                                       "audio-files",
                                                                       "nowplaying-json",
                                                                       "nowplaying-cover",
                                                                       "nowplaying-cover-missing"};
const char* const NOW_PLAYING_ENCODING_NAMES[4] = {"utf-8", "utf-8-bom", "utf-16", "ansi"};
const char* const PRESENCE_SHOWS_NAMES[3] = {"name", "details", "state"};
const char* const PRESENCE_TIME_NAMES[3] = {"bar", "elapsed", "none"};
const char* const SWITCH_NAMES[2] = {"off", "on"};
const char* const STALE_AFTER_NEVER = "never";
const char* const AUDIO_FILES_NAMES[2] = {"extension", "content"};

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
                                          PresenceSettings& presence, PlaybackRules& rules,
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
    const char16_t* word = value;
    const char16_t* wordEnd = end;
    trimSpaces(word, wordEnd);
    bool stored = false;
    switch (option) {
        case OPTION_FILE:
            stored = storeWhole(nowPlaying.path, NOW_PLAYING_PATH_CAPACITY, value, end, nullptr);
            break;
        case OPTION_NOW_PLAYING_JSON:
            stored =
                storeWhole(nowPlaying.jsonPath, NOW_PLAYING_PATH_CAPACITY, value, end, nullptr);
            break;
        case OPTION_NOW_PLAYING_COVER:
        case OPTION_NOW_PLAYING_COVER_MISSING:
            stored = storeWhole(option == OPTION_NOW_PLAYING_COVER ? nowPlaying.coverPath
                                                                   : nowPlaying.coverMissingPath,
                                NOW_PLAYING_PATH_CAPACITY, value, end, nullptr);
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
        case OPTION_ENCODING: {
            const int encoding = wordIndex(word, wordEnd, NOW_PLAYING_ENCODING_NAMES, 4);
            stored = encoding < 4;
            if (stored) nowPlaying.encoding = ENCODINGS[encoding];
            break;
        }
        case OPTION_DISCORD_ID:
            stored = storeApplicationId(presence.applicationId, word, wordEnd);
            break;
        case OPTION_DISCORD_DETAILS:
        case OPTION_DISCORD_STATE:
        case OPTION_DISCORD_IMAGE_TEXT: {
            PresenceTemplate& given = presence.templates[option - OPTION_DISCORD_DETAILS];
            stored = storeWhole(given.text, PRESENCE_TEMPLATE_CAPACITY, value, end, &given.length);
            break;
        }
        case OPTION_DISCORD_SHOWS: {
            const int shows = wordIndex(word, wordEnd, PRESENCE_SHOWS_NAMES, 3);
            stored = shows < 3;
            if (stored) presence.shows = static_cast<PresenceShows>(shows);
            break;
        }
        case OPTION_DISCORD_TIME: {
            const int time = wordIndex(word, wordEnd, PRESENCE_TIME_NAMES, 3);
            stored = time < 3;
            if (stored) presence.time = static_cast<PresenceTime>(time);
            break;
        }
        case OPTION_DISCORD_IMAGE:
            stored = isPresenceImageLine(word, static_cast<std::size_t>(wordEnd - word)) &&
                     storeWhole(presence.image.text, PRESENCE_TEMPLATE_CAPACITY, word, wordEnd,
                                &presence.image.length);
            presence.imageGiven |= stored;
            break;
        case OPTION_DISCORD: {
            const int on = wordIndex(word, wordEnd, SWITCH_NAMES, 2);
            stored = on < 2;
            if (stored) presence.switched = on == 1 ? PresenceSwitch::On : PresenceSwitch::Off;
            break;
        }
        case OPTION_NOW_PLAYING: {
            const int on = wordIndex(word, wordEnd, SWITCH_NAMES, 2);
            stored = on < 2;
            if (stored) nowPlaying.switchedOff = on == 0;
            break;
        }
        case OPTION_STALE_AFTER:
            stored = storeStaleAfter(rules, word, wordEnd);
            break;
        case OPTION_PRIVATE:
            stored = storeWhole(rules.privatePatterns, PRIVATE_PATTERNS_CAPACITY, value, end,
                                &rules.privateLength);
            break;
        default: {
            const int kind = wordIndex(word, wordEnd, AUDIO_FILES_NAMES, 2);
            stored = kind < 2;
            if (stored) rules.audioFiles = static_cast<AudioFiles>(kind);
            break;
        }
    }
    if (!stored) return SettingsOptionProblem::BadValue;
    const unsigned bit = 1u << option;
    const bool repeated = (seen & bit) != 0;
    seen |= bit;
    return repeated ? SettingsOptionProblem::Repeated : SettingsOptionProblem::None;
}
