// Any bytes as the announced path, with a profile taken from the input, in
// Latin-1, in the double-byte code page 932 or in UTF-8 (65001): the status
// text ends inside its 320 units, begins with the category code and the
// fixed piece, ends with the closing "\0", holds no half of a surrogate pair
// (no cut parts one), the now-playing text is the display line as sent, and
// the record sent for it carries 2n + 2 bytes for its n units, the last two
// a terminator, the two before them the closing "\0". A profile may be a
// whole template (markers, groups), whose display line must be what a plain
// expansion of it gives, cut at its end; and the same template, given values
// for every marker from the input, expands as that plain expansion does.
//
// Input: [selector] [prefix or template] '\n' [suffix, or values split by '|'] '\n' [path]
// The text fields are UTF-8, read up to their first invalid byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "outputs/messenger.h"
#include "platform/standin.h"
#include "status/status_template.h"
#include "status/status_text.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

constexpr unsigned CODE_PAGES[] = {0, 932, 65001};  // 0: the stand-in's Latin-1
constexpr std::size_t FIELD_CAPACITY = 300;

void require(bool condition) {
    if (!condition) std::abort();
}

// Takes bytes up to the next line feed (or the end) into `field` as UTF-8.
std::size_t takeField(const std::uint8_t*& data, const std::uint8_t* end, char16_t* field,
                      std::size_t capacity) {
    const std::uint8_t* lineEnd = data;
    while (lineEnd < end && *lineEnd != '\n') ++lineEnd;
    const std::size_t units =
        convertUtf8ToUtf16(reinterpret_cast<const char*>(data),
                           static_cast<std::size_t>(lineEnd - data), field, capacity - 1);
    field[units] = u'\0';
    data = lineEnd < end ? lineEnd + 1 : end;
    return units;
}

// Whether the `units` units at `text` hold whole characters only.
bool wholeCharacters(const char16_t* text, std::size_t units) {
    for (std::size_t i = 0; i < units; ++i) {
        if (isHighSurrogate(text[i])) {
            if (i + 1 == units || !isLowSurrogate(text[i + 1])) return false;
            ++i;
        } else if (isLowSurrogate(text[i])) {
            return false;
        }
    }
    return true;
}

const std::u16string MARKER_NAMES[TEMPLATE_MARKERS] = {
    u"[FILENAME]",           u"[TAGS]", u"[TITLE]", u"[ARTIST]", u"[ALBUM]", u"[DURATION]",
    u"[MUSICBRAINZ_ALBUMID]"};

int markerAt(const std::u16string& text, std::size_t at) {
    for (int marker = 0; marker < TEMPLATE_MARKERS; ++marker) {
        if (text.compare(at, MARKER_NAMES[marker].size(), MARKER_NAMES[marker]) == 0) return marker;
    }
    return -1;
}

// The expansion written plainly, as the settings file's notes say it.
std::u16string plainExpansion(const std::u16string& text,
                              const std::u16string (&values)[TEMPLATE_MARKERS], bool groups) {
    std::u16string out;
    for (std::size_t at = 0; at < text.size();) {
        const int marker = markerAt(text, at);
        if (marker >= 0) {
            out += values[marker];
            at += MARKER_NAMES[marker].size();
            continue;
        }
        if (groups && text[at] == u'{') {
            const std::size_t close = text.find_first_of(u"{}", at + 1);
            if (close != std::u16string::npos && text[close] == u'}') {
                const std::u16string inner = text.substr(at + 1, close - at - 1);
                bool group = false;
                bool shown = true;
                for (std::size_t i = 0; i < inner.size(); ++i) {
                    const int inside = markerAt(inner, i);
                    if (inside == MARKER_ARTIST || inside == MARKER_ALBUM ||
                        inside == MARKER_DURATION || inside == MARKER_MUSICBRAINZ_ALBUMID) {
                        group = true;
                        shown &= !values[inside].empty();
                    }
                }
                if (group) {
                    if (shown) out += plainExpansion(inner, values, false);
                    at = close + 1;
                    continue;
                }
            }
        }
        out += text[at++];
    }
    return out;
}

std::u16string cut(const std::u16string& text, std::size_t room) {
    return text.substr(0, wholeUtf16Length(text.data(), text.size(), room));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = data + size;
    StatusProfile profile{};  // the title from the name: no file is opened
    const unsigned selector = size > 0 ? *data++ : 0;
    const unsigned codePage = CODE_PAGES[selector / 6 % 3];
    const bool whole = selector / 18 % 2 == 1;
    standin::reset();
    if (codePage != 0) require(standin::setAnsiCodePage(codePage));
    std::memcpy(profile.categoryCode, categoryCodeFor(static_cast<long>(selector % 6)),
                sizeof profile.categoryCode);
    char16_t first[FIELD_CAPACITY];
    char16_t second[FIELD_CAPACITY];
    const std::size_t firstLength = takeField(data, end, first, FIELD_CAPACITY);
    const std::size_t secondLength = takeField(data, end, second, FIELD_CAPACITY);
    if (whole) {
        profile.composedWhole = true;
        copyBounded(profile.templateText, PROFILE_TEMPLATE_CAPACITY, first);
        profile.templateLength = boundedLength(profile.templateText, PROFILE_TEMPLATE_CAPACITY);
    } else {
        // As the settings reader keeps them: whole characters, 127 units at most.
        copyBoundedCount(profile.prefix, PROFILE_TEXT_CAPACITY, first,
                         wholeUtf16Length(first, firstLength, PROFILE_TEXT_CAPACITY - 1));
        copyBoundedCount(profile.suffix, PROFILE_TEXT_CAPACITY, second,
                         wholeUtf16Length(second, secondLength, PROFILE_TEXT_CAPACITY - 1));
    }
    const StatusProfiles profiles{profile, profile};
    static NowPlayingSettings nowPlaying;
    setDefaultNowPlaying(nowPlaying);

    // The path as the host passes it: its own terminated copy.
    const std::size_t pathLength = static_cast<std::size_t>(end - data);
    char* hostPath = static_cast<char*>(std::malloc(pathLength + 1));
    std::memcpy(hostPath, data, pathLength);
    hostPath[pathLength] = '\0';
    static AnnouncedPath path;
    takeAnnouncedPath(hostPath, path);
    std::free(hostPath);
    require(path.length < ANNOUNCED_PATH_CAPACITY && path.text[path.length] == u'\0');

    static ComposedStatus composed;
    std::memset(&composed, 0x7F, sizeof composed);
    composeStatus(path, profiles, composed, &nowPlaying);

    const char16_t* text = composed.statusText;
    const std::size_t length = boundedLength(text, STATUS_TEXT_CAPACITY);
    require(length < STATUS_TEXT_CAPACITY && length == composed.statusLength);
    const std::size_t titleLength =
        boundedLength(composed.currentFileName, CURRENT_FILE_NAME_CAPACITY);
    require(titleLength < CURRENT_FILE_NAME_CAPACITY);
    const std::size_t codeLength = boundedLength(profile.categoryCode, CATEGORY_CODE_CAPACITY);
    require(std::memcmp(text, profile.categoryCode, codeLength * sizeof(char16_t)) == 0);
    require(std::memcmp(text + codeLength, STATUS_FIXED_PIECE, 10 * sizeof(char16_t)) == 0);
    require(length >= 2 && text[length - 2] == u'\\' && text[length - 1] == u'0');
    require(wholeCharacters(text, length));
    const std::u16string displayLine(text + codeLength + 10, length - codeLength - 12);
    require(std::u16string(composed.nowPlayingText, composed.nowPlayingLength) == displayLine);
    if (whole) {
        const std::u16string title(composed.currentFileName, titleLength);
        const std::u16string values[TEMPLATE_MARKERS] = {title, title, title, u"", u"", u"", u""};
        const std::u16string expected = cut(plainExpansion(profile.templateText, values, true),
                                            STATUS_TEXT_CAPACITY - 1 - codeLength - 12);
        require(displayLine == expected);
    }

    // The template again, every marker given a value from the input.
    std::u16string values[TEMPLATE_MARKERS];
    std::size_t value = 0;
    for (std::size_t i = 0; i < secondLength; ++i) {
        if (second[i] == u'|' && value < TEMPLATE_MARKERS - 1) {
            ++value;
        } else {
            values[value] += second[i];
        }
    }
    TemplateValues given;
    for (int marker = 0; marker < TEMPLATE_MARKERS; ++marker) {
        given.value[marker] = {values[marker].data(), values[marker].size()};
    }
    char16_t expanded[64];
    const std::size_t expandedLength =
        expandTemplate(first, firstLength, given, expanded, sizeof expanded / sizeof expanded[0]);
    require(expandedLength < 64 && expanded[expandedLength] == u'\0');
    require(std::u16string(expanded, expandedLength) ==
            cut(plainExpansion(std::u16string(first, firstLength), values, true), 63));

    standin::openWindow(MESSENGER_WINDOW_CLASS);
    sendStatus(text, length + 2, nullptr);
    require(standin::receivedCount() == 1);
    const standin::ReceivedRecord& record = standin::received(0);
    require(record.byteCount == 2 * length + 2);
    require(std::memcmp(record.bytes, text, 2 * length) == 0);
    const unsigned char* recordEnd = record.bytes + record.byteCount;
    require(recordEnd[-1] == 0 && recordEnd[-2] == 0);
    return 0;
}
