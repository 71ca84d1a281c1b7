#include "outputs/now_playing_json.h"

#include "text/bounded_text.h"
#include "text/json_text.h"
#include "text/unicode_text.h"

namespace {

// A text of at most NOW_PLAYING_JSON_NAME_UNITS units as UTF-8: three bytes
// a unit at most (a pair takes four for two).
constexpr std::size_t UTF8_CAPACITY = 3 * NOW_PLAYING_JSON_NAME_UNITS;

// Begins the member `name`: the object's opening, or a comma, before it.
void appendName(JsonWriter& json, const char* name) {
    appendJsonRaw(json, json.length == 0 ? "{\"" : ",\"");
    appendJsonRaw(json, name);
    appendJsonRaw(json, "\":");
}

void appendText(JsonWriter& json, const char* name, const char16_t* text, std::size_t units) {
    static char utf8[UTF8_CAPACITY];
    if (units > NOW_PLAYING_JSON_NAME_UNITS) {
        units = wholeUtf16Length(text, units, NOW_PLAYING_JSON_NAME_UNITS);
    }
    const std::size_t length = convertUtf16ToUtf8(text, units, utf8, sizeof utf8);
    appendName(json, name);
    appendJsonString(json, utf8, length);
}

void appendRaw(JsonWriter& json, const char* name, const char* value) {
    appendName(json, name);
    appendJsonRaw(json, value);
}

void appendNumber(JsonWriter& json, const char* name, std::uint64_t value) {
    appendName(json, name);
    appendJsonNumber(json, value);
}

// Where the name of the `length` units at `path` begins: after its last separator.
std::size_t nameStart(const char16_t* path, std::size_t length) {
    std::size_t start = 0;
    for (std::size_t at = 0; at < length; ++at) {
        if (path[at] == u'\\' || path[at] == u'/') start = at + 1;
    }
    return start;
}

}  // namespace

std::size_t writeNowPlayingJsonFields(const ComposedStatus* composed, const AnnouncedPath* path,
                                      std::uint64_t startedSeconds, bool playing, char* out,
                                      std::size_t capacity) {
    JsonWriter json = startJson(out, capacity);
    if (composed == nullptr || path == nullptr) {
        static const char* const TEXTS[] = {"title", "artist", "album"};
        static const char* const NULLS[] = {"duration", "started", "media"};
        for (const char* name : TEXTS) appendText(json, name, u"", 0);
        for (const char* name : NULLS) appendRaw(json, name, "null");
        appendText(json, "file", u"", 0);
        appendRaw(json, "musicbrainz_albumid", "null");
        appendRaw(json, "playing", "false");
        return json.overflowed ? 0 : json.length;
    }
    appendText(json, "title", composed->tagTitle,
               boundedLength(composed->tagTitle, TAG_TEXT_CAPACITY));
    appendText(json, "artist", composed->tagArtist,
               boundedLength(composed->tagArtist, TAG_TEXT_CAPACITY));
    appendText(json, "album", composed->tagAlbum,
               boundedLength(composed->tagAlbum, TAG_TEXT_CAPACITY));
    if (composed->hasDuration) {
        appendNumber(json, "duration", composed->durationSeconds);
    } else {
        appendRaw(json, "duration", "null");
    }
    appendNumber(json, "started", startedSeconds);
    appendRaw(json, "media", composed->hasPictures ? "\"video\"" : "\"audio\"");
    const std::size_t start = nameStart(path->text, path->length);
    appendText(json, "file", path->text + start, path->length - start);
    appendName(json, "musicbrainz_albumid");
    if (composed->musicBrainzAlbumId[0] != '\0') {
        appendJsonString(json, composed->musicBrainzAlbumId,
                         boundedLength(composed->musicBrainzAlbumId, MUSICBRAINZ_ID_CAPACITY));
    } else {
        appendJsonRaw(json, "null");
    }
    appendRaw(json, "playing", playing ? "true" : "false");
    return json.overflowed ? 0 : json.length;
}
