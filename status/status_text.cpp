#include "status/status_text.h"

#include <algorithm>
#include <cstring>

#include "status/duration_text.h"
#include "status/status_template.h"
#include "tags/media_tags.h"
#include "text/ansi_text.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

constexpr std::size_t AUDIO_EXTENSION_LENGTH = 4;
constexpr const char16_t* AUDIO_EXTENSIONS[] = {u".MP3", u".WAV"};

// Upper-cases a to z only: the extension test must not depend on the locale.
char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

bool equalsIgnoringAsciiCase(const char16_t* text, const char16_t* upperCaseWord,
                             std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (asciiUpper(text[i]) != upperCaseWord[i]) return false;
    }
    return true;
}

// The last `c` among the `length` units at `text`, or null.
const char16_t* findLast(const char16_t* text, std::size_t length, char16_t c) {
    for (std::size_t at = length; at > 0; --at) {
        if (text[at - 1] == c) return text + at - 1;
    }
    return nullptr;
}

void spaceOutTitle(char16_t* title, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = title[i];
        title[i] = c == u'_' || c == u'.' ? u' ' : c;  // an unconditional store vectorizes
    }
}

// Copies `length` units of `piece` to `out`, whose room the caller has
// checked, and returns the position after them.
char16_t* put(char16_t* out, const char16_t* piece, std::size_t length) {
    std::memcpy(out, piece, length * sizeof(char16_t));
    return out + length;
}

// The messenger's text separates its fields with a backslash and a zero:
// in it, a backslash from the tags shows as a slash. Returns `value`, or
// its copy in `out` (TAG_TEXT_CAPACITY units) with each backslash a slash.
TemplateValue slashed(const TemplateValue& value, char16_t* out) {
    const char16_t* const end = value.text + value.length;
    if (std::find(value.text, end, u'\\') == end) return value;
    const std::size_t length = value.length < TAG_TEXT_CAPACITY ? value.length : TAG_TEXT_CAPACITY;
    std::replace_copy(value.text, value.text + length, out, u'\\', u'/');
    return {out, length};
}

// Module storage for the slashed values: the host's thread has its own
// uses for its stack.
char16_t slashedValues[TEMPLATE_MARKERS][TAG_TEXT_CAPACITY];

}  // namespace

void takeAnnouncedPath(const char* hostPath, AnnouncedPath& path) {
    constexpr std::size_t longest = ANNOUNCED_PATH_CAPACITY - 1;
    const std::size_t bytes = boundedLength(hostPath, ANNOUNCED_PATH_CAPACITY);
    path.whole = bytes <= longest;
    path.length = storeAnsiAsUtf16(hostPath, bytes, path.text, longest);
    path.text[path.length] = u'\0';
}

MediaKind mediaKindOfExtension(const char16_t* extension, std::size_t length) {
    if (extension == nullptr || length != AUDIO_EXTENSION_LENGTH) return MediaKind::Other;
    for (const char16_t* audio : AUDIO_EXTENSIONS) {
        if (equalsIgnoringAsciiCase(extension, audio, AUDIO_EXTENSION_LENGTH)) {
            return MediaKind::Audio;
        }
    }
    return MediaKind::Other;
}

MediaKind composeStatus(const AnnouncedPath& path, const StatusProfiles& profiles,
                        ComposedStatus& composed, const NowPlayingSettings* nowPlaying,
                        const PresenceSettings* presence, const PlaybackRules* rules) {
    const char16_t* const pathEnd = path.text + path.length;
    const char16_t* lastBackslash = findLast(path.text, path.length, u'\\');
    const char16_t* name = lastBackslash != nullptr ? lastBackslash + 1 : path.text;
    const std::size_t nameLength = static_cast<std::size_t>(pathEnd - name);
    const char16_t* extension = findLast(name, nameLength, u'.');
    const std::size_t nameTitleLength =
        extension != nullptr ? static_cast<std::size_t>(extension - name) : nameLength;
    MediaKind kind = mediaKindOfExtension(extension, nameLength - nameTitleLength);
    // By content, what the file holds decides its profile, so it is read
    // first, with its facts; a file that cannot be read keeps its name's kind.
    MediaTags tags;
    bool tagsRead = false;
    // The cover file wants to know where the picture lies (never its bytes).
    const bool cover = nowPlaying != nullptr && nowPlayingCoverWanted(*nowPlaying);
    const bool byContent = rules != nullptr && rules->audioFiles == AudioFiles::ByContent;
    if (byContent && path.whole &&
        readMediaTags(path.text, tags,
                      cover ? MediaRead::TagsFactsAndCover : MediaRead::TagsAndFacts)) {
        tagsRead = true;
        kind = tags.video ? MediaKind::Other : MediaKind::Audio;
    }
    const StatusProfile& profile =
        kind == MediaKind::Audio ? profiles.audioProfile : profiles.videoProfile;

    // The title from the file's name, always: [FILENAME], and what stands in
    // for tags the file lacks.
    char16_t* title = composed.currentFileName;
    constexpr std::size_t titleCapacity = CURRENT_FILE_NAME_CAPACITY;
    const std::size_t fileTitleLength = copyBoundedCount(
        title, titleCapacity, name, wholeUtf16Length(name, nameTitleLength, titleCapacity - 1));
    spaceOutTitle(title, fileTitleLength);

    // The file is read once, only where a template asks for its tags, and
    // only when the path is the one the host gave.
    const bool nowPlayingTemplate = nowPlaying != nullptr && nowPlaying->hasTextTemplate;
    const TemplateMarkers nowPlayingMarkers =
        nowPlayingTemplate
            ? findTemplateMarkers(nowPlaying->textTemplate, nowPlaying->textTemplateLength)
            : TemplateMarkers{0, MARKER_FILENAME, 0, 0, false, false};
    // The presence reads the facts always: whether there are pictures
    // decides between "Listening to" and "Watching", the duration the bar.
    // A track that ends by itself needs its length for any destination.
    const bool endsByItself =
        rules != nullptr && rules->endsByItself && (nowPlaying != nullptr || presence != nullptr);
    const bool json = nowPlaying != nullptr && nowPlayingJsonWanted(*nowPlaying);
    const bool readTags =
        path.whole && (profile.titleFromTags || nowPlayingMarkers.usesTags || presence != nullptr ||
                       endsByItself || tagsRead || json || cover);
    const bool readFacts = profile.readsFacts || nowPlayingMarkers.usesFacts ||
                           presence != nullptr || endsByItself || json;
    composed.cover = CoverLocation{};
    char16_t tagTitle[TAG_TEXT_CAPACITY];
    std::size_t tagTitleLength = 0;
    char16_t duration[DURATION_TEXT_CAPACITY];
    char16_t albumId[MUSICBRAINZ_ID_CAPACITY];
    composed.musicBrainzAlbumId[0] = '\0';
    composed.tagTitle[0] = u'\0';
    composed.tagArtist[0] = u'\0';
    composed.tagAlbum[0] = u'\0';
    TemplateValues values;
    values.value[MARKER_FILENAME] = {title, fileTitleLength};
    values.value[MARKER_TAGS] = values.value[MARKER_FILENAME];
    values.value[MARKER_TITLE] = values.value[MARKER_FILENAME];
    values.value[MARKER_ARTIST] = {u"", 0};
    values.value[MARKER_ALBUM] = {u"", 0};
    values.value[MARKER_DURATION] = {u"", 0};
    values.value[MARKER_MUSICBRAINZ_ALBUMID] = {u"", 0};
    if (readTags) {
        if (!tagsRead) {
            readMediaTags(path.text, tags,
                          cover       ? MediaRead::TagsFactsAndCover
                          : readFacts ? MediaRead::TagsAndFacts
                                      : MediaRead::Tags);
        }
        tagTitleLength = composeTagTitle(tags, tagTitle, TAG_TEXT_CAPACITY);
        if (tagTitleLength > 0) {
            values.value[MARKER_TAGS] = {tagTitle, tagTitleLength};
            values.value[MARKER_TITLE] = {tags.title, boundedLength(tags.title, TAG_TEXT_CAPACITY)};
        }
        values.value[MARKER_ARTIST] = {tags.artist, boundedLength(tags.artist, TAG_TEXT_CAPACITY)};
        values.value[MARKER_ALBUM] = {tags.album, boundedLength(tags.album, TAG_TEXT_CAPACITY)};
        if (tags.hasDuration) {
            values.value[MARKER_DURATION] = {duration,
                                             formatDuration(tags.durationSeconds, duration)};
        }
        const std::size_t idLength = copyBounded(composed.musicBrainzAlbumId,
                                                 MUSICBRAINZ_ID_CAPACITY, tags.musicBrainzAlbumId);
        for (std::size_t i = 0; i <= idLength; ++i) {
            albumId[i] = static_cast<unsigned char>(composed.musicBrainzAlbumId[i]);
        }
        values.value[MARKER_MUSICBRAINZ_ALBUMID] = {albumId, idLength};
        copyBounded(composed.tagTitle, TAG_TEXT_CAPACITY, tags.title);
        copyBounded(composed.tagArtist, TAG_TEXT_CAPACITY, tags.artist);
        copyBounded(composed.tagAlbum, TAG_TEXT_CAPACITY, tags.album);
        composed.cover = tags.cover;
    }

    // The messenger's line takes the tags' values with slashes.
    TemplateValues lineValues = values;
    for (const TemplateMarker marker : {MARKER_TAGS, MARKER_TITLE, MARKER_ARTIST, MARKER_ALBUM}) {
        lineValues.value[marker] = slashed(values.value[marker], slashedValues[marker]);
    }

    const std::size_t categoryLength =
        boundedLength(profile.categoryCode, CATEGORY_CODE_CAPACITY - 1);
    constexpr std::size_t fixedLength = literalLength(STATUS_FIXED_PIECE);
    constexpr std::size_t closingLength = literalLength(STATUS_CLOSING);
    constexpr std::size_t maximumText = STATUS_TEXT_CAPACITY - 1;
    char16_t* out = composed.statusText;
    out = put(out, profile.categoryCode, categoryLength);
    out = put(out, STATUS_FIXED_PIECE, fixedLength);
    const std::size_t lineRoom = maximumText - categoryLength - fixedLength - closingLength;
    const char16_t* const displayLine = out;
    if (profile.composedWhole) {
        out += expandTemplate(profile.templateText, profile.templateLength, lineValues, out,
                              lineRoom + 1);
    } else {
        // Every piece but the title is kept whole (together they are at most
        // 297 units), so the title gets what room is left.
        const std::size_t prefixLength = boundedLength(profile.prefix, PROFILE_TEXT_CAPACITY - 1);
        const std::size_t suffixLength = boundedLength(profile.suffix, PROFILE_TEXT_CAPACITY - 1);
        static_assert(CATEGORY_CODE_CAPACITY - 1 + fixedLength + 2 * (PROFILE_TEXT_CAPACITY - 1) +
                              closingLength <
                          maximumText,
                      "the fixed pieces always fit");
        const TemplateValue& shown =
            lineValues.value[profile.titleFromTags ? MARKER_TAGS : MARKER_FILENAME];
        const std::size_t titleUsed =
            wholeUtf16Length(shown.text, shown.length, lineRoom - prefixLength - suffixLength);
        out = put(out, profile.prefix, prefixLength);
        out = put(out, shown.text, titleUsed);
        out = put(out, profile.suffix, suffixLength);
    }
    const std::size_t displayLineLength = static_cast<std::size_t>(out - displayLine);
    out = put(out, STATUS_CLOSING, closingLength);
    *out = u'\0';
    composed.statusLength = static_cast<std::size_t>(out - composed.statusText);

    if (nowPlaying != nullptr) {
        composed.nowPlayingLength =
            nowPlayingTemplate
                ? expandTemplate(nowPlaying->textTemplate, nowPlaying->textTemplateLength, values,
                                 composed.nowPlayingText, NOW_PLAYING_TEXT_CAPACITY)
                : copyBoundedCount(composed.nowPlayingText, NOW_PLAYING_TEXT_CAPACITY, displayLine,
                                   displayLineLength);
    }
    if (presence != nullptr) {
        for (int field = 0; field < PRESENCE_FIELDS; ++field) {
            const PresenceTemplate& given = presence->templates[field];
            composed.presenceLengths[field] =
                expandTemplate(given.text, given.length, values, composed.presenceTexts[field],
                               PRESENCE_COMPOSED_CAPACITY);
        }
        composePresenceImage(*presence, values, composed.musicBrainzAlbumId,
                             readTags ? tags.video : kind == MediaKind::Other,
                             composed.presenceImage);
    }
    composed.hasPictures = readTags && readFacts ? tags.video : kind == MediaKind::Other;
    composed.hasDuration = readTags && tags.hasDuration;
    composed.durationSeconds = composed.hasDuration ? tags.durationSeconds : 0;
    // Last, since the values may still have pointed at the name's title.
    if (profile.titleFromTags && tagTitleLength > 0) {
        const TemplateValue& shown = lineValues.value[MARKER_TAGS];
        copyBoundedCount(title, titleCapacity, shown.text, shown.length);
    }
    return kind;
}
