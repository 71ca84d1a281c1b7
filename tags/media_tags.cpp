#include "tags/media_tags.h"

#include <cstring>

#include "tags/tag_reader.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

// Enough of the start of a file to tell every container apart.
constexpr std::size_t HEAD_SIZE = 64;

// ID3v2 tags in front of a container, at most: some files carry two.
constexpr unsigned FRONT_TAGS_MAXIMUM = 4;

using ContainerReader = bool (*)(MediaReader&, const unsigned char*, std::size_t, TagFields&);
// Tracker modules last: only MOD says what it is beyond the first bytes.
constexpr ContainerReader CONTAINER_READERS[] = {
    readRiffTags, readAiffTags,           readMp4Tags, readMatroskaTags, readVorbisCommentTags,
    readAsfTags,  readEndTaggedContainer, readDsfTags, readModuleTags,
};

// Extensions of files that are sound only, in lower case: what a file the
// reader does not know is taken for; any other is taken to have pictures.
constexpr const char16_t* AUDIO_EXTENSIONS[] = {
    u"mp3",  u"mp2",  u"mpa", u"wav",  u"flac", u"ogg", u"oga", u"opus", u"m4a",
    u"aac",  u"wma",  u"ape", u"wv",   u"mpc",  u"tta", u"tak", u"ofr",  u"aif",
    u"aiff", u"aifc", u"dsf", u"dff",  u"mka",  u"ac3", u"dts", u"amr",  u"au",
    u"caf",  u"spx",  u"mid", u"midi", u"mod",  u"s3m", u"xm",  u"it",   u"m4b",
};
constexpr std::size_t LONGEST_AUDIO_EXTENSION = 4;

// Whether the name `path` ends in, after its last dot, is an audio extension.
bool hasAudioExtension(const char16_t* path) {
    const char16_t* dot = nullptr;
    const char16_t* at = path;
    for (; *at != u'\0'; ++at) {
        if (*at == u'.') dot = at;
        if (*at == u'\\' || *at == u'/') dot = nullptr;
    }
    if (dot == nullptr || static_cast<std::size_t>(at - dot - 1) > LONGEST_AUDIO_EXTENSION) {
        return false;
    }
    char16_t lower[LONGEST_AUDIO_EXTENSION + 1] = {};
    for (std::size_t i = 0; dot + 1 + i < at; ++i) {
        const char16_t c = dot[1 + i];
        lower[i] = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    }
    for (const char16_t* extension : AUDIO_EXTENSIONS) {
        std::size_t i = 0;
        while (extension[i] != u'\0' && extension[i] == lower[i]) ++i;
        if (extension[i] == u'\0' && lower[i] == u'\0') return true;
    }
    return false;
}

// C0 and C1 controls, and the two separators that also break a line.
bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// Stores `field` into `out` (TAG_TEXT_CAPACITY units): a control character
// or space, or a run of them, made one space, none at either end; cut
// between whole characters; always terminated.
void storeField(const TagField& field, char16_t (&out)[TAG_TEXT_CAPACITY]) {
    out[0] = u'\0';
    if (!field.present) return;
    std::size_t used = 0;
    bool pendingSpace = false;
    for (std::size_t at = 0; at < field.length;) {
        const char16_t c = field.text[at];
        const std::size_t size =
            isHighSurrogate(c) && at + 1 < field.length && isLowSurrogate(field.text[at + 1]) ? 2
                                                                                              : 1;
        if (isControl(c) || c == u' ') {
            pendingSpace |= used > 0;
            ++at;
            continue;
        }
        // A byte-order mark inside a value is no character.
        if (c == 0xFEFF || c == 0xFFFE) {
            ++at;
            continue;
        }
        if (used + size + (pendingSpace ? 1 : 0) > TAG_TEXT_CAPACITY - 1) break;
        if (pendingSpace) out[used++] = u' ';
        pendingSpace = false;
        out[used++] = c;
        if (size == 2) out[used++] = field.text[at + 1];
        at += size;
    }
    out[used] = u'\0';
}

// Stores the release id `field` holds into `out`, in lower case, when it is
// a well-formed MusicBrainz id: 8-4-4-4-12 hexadecimal digits.
void storeMusicBrainzId(const TagField& field, char (&out)[MUSICBRAINZ_ID_CAPACITY]) {
    out[0] = '\0';
    if (!field.present) return;
    std::size_t begin = 0;
    std::size_t end = field.length;
    while (begin < end && isBlankTagUnit(field.text[begin])) ++begin;
    while (end > begin && isBlankTagUnit(field.text[end - 1])) --end;
    constexpr std::size_t idLength = MUSICBRAINZ_ID_CAPACITY - 1;
    if (end - begin != idLength) return;
    char id[MUSICBRAINZ_ID_CAPACITY];
    for (std::size_t i = 0; i < idLength; ++i) {
        char16_t c = field.text[begin + i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c - u'A' + u'a');
        const bool digit = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
        if (dash ? c != u'-' : !digit) return;
        id[i] = static_cast<char>(c);
    }
    id[idLength] = '\0';
    std::memcpy(out, id, sizeof id);
}

void finishFacts(const MediaFactFields& facts, const char16_t* path, MediaTags& tags) {
    if (!facts.wanted) return;
    tags.hasDuration = facts.hasDuration && facts.durationSeconds <= 0xFFFFFFFFu;
    tags.durationSeconds = tags.hasDuration ? static_cast<std::uint32_t>(facts.durationSeconds) : 0;
    tags.video = facts.pictures == PictureTrack::Unknown ? !hasAudioExtension(path)
                                                         : facts.pictures == PictureTrack::Present;
}

void finishTags(const MediaReader& reader, const TagFields& fields, MediaTags& tags) {
    storeField(fields.field[TAG_TITLE], tags.title);
    storeField(fields.field[TAG_ARTIST], tags.artist);
    if (tags.artist[0] == u'\0') storeField(fields.field[TAG_ALBUM_ARTIST], tags.artist);
    storeField(fields.field[TAG_ALBUM], tags.album);
    storeMusicBrainzId(fields.field[TAG_MUSICBRAINZ_ALBUM], tags.musicBrainzAlbumId);
    if (fields.tag != nullptr) {
        std::size_t length = copyBounded(tags.format, sizeof tags.format,
                                         fields.container != nullptr ? fields.container : "");
        if (fields.tag[0] != '\0') {
            length = appendBounded(tags.format, sizeof tags.format, length, " ");
            length = appendBounded(tags.format, sizeof tags.format, length, fields.tag);
        }
        // A stale tag in front is named too, whether or not it filled anything.
        if (fields.frontTag != nullptr && std::strcmp(fields.frontTag, fields.tag) != 0) {
            length = appendBounded(tags.format, sizeof tags.format, length, " + ");
            appendBounded(tags.format, sizeof tags.format, length, fields.frontTag);
        }
    }
    tags.cover = fields.cover;
    tags.bytesRead = reader.bytesRead;
    tags.seeks = reader.seeks;
    tags.windowReads = reader.windowReads;
    tags.smallReads = reader.smallReads;
}

void readTags(MediaReader& reader, MediaTags& tags, MediaRead what, const char16_t* path) {
    const bool factsWanted = what != MediaRead::Tags;
    const bool coverWanted = what == MediaRead::TagsFactsAndCover;
    // ID3v2 tags in front: MP3's own, and some taggers put one before other
    // containers. There it is a stale copy: taggers that know the format
    // update the format's own tag and leave it, so it only fills what the
    // format's own tag lacks.
    static_assert(sizeof(TagFields) <= 8 * 1024, "two sets fit the host's stack");
    TagFields front;
    clearTagFields(front, factsWanted, coverWanted);
    std::uint64_t start = 0;
    for (unsigned i = 0; i < FRONT_TAGS_MAXIMUM && start < reader.size; ++i) {
        std::uint64_t end = 0;
        if (!readId3v2(reader, start, reader.size - start, front, end)) break;
        start = end;
    }
    const bool frontTag = start > 0;
    TagFields fields;
    clearTagFields(fields, factsWanted, coverWanted);
    setMediaBase(reader, start);
    unsigned char head[HEAD_SIZE];
    const std::size_t headLength =
        static_cast<std::size_t>(reader.size < HEAD_SIZE ? reader.size : HEAD_SIZE);
    ContainerReader found = nullptr;
    if (readMediaBytes(reader, 0, head, headLength)) {
        for (ContainerReader readContainer : CONTAINER_READERS) {
            if (readContainer(reader, head, headLength, fields)) {
                found = readContainer;
                break;
            }
        }
    }
    setMediaBase(reader, 0);
    // What follows an ID3v2 tag, when nothing else, is MPEG audio.
    if (found == nullptr && frontTag) fields.container = "MP3";
    const bool mpegAudio = fields.container != nullptr && std::strcmp(fields.container, "MP3") == 0;
    const bool endTagged = found == readEndTaggedContainer || mpegAudio;
    if (mpegAudio) {
        // MP3's own tag is the ID3v2 tag; APE and ID3v1 at the end fill a title it lacks.
        const char* container = fields.container;
        fields = front;
        fields.container = container;
        if (!fields.field[TAG_TITLE].present) readEndTags(reader, fields);
        // After the tags, so the facts never take the tags' budget.
        if (factsWanted) readMpegAudioFacts(reader, start, fields);
    } else {
        if (endTagged) readEndTags(reader, fields);
        if (frontTag) {
            fillMissingFields(fields, front);
            fields.frontTag = front.source;
        }
    }
    finishTags(reader, fields, tags);
    finishFacts(fields.facts, path, tags);
}

}  // namespace

bool readMediaTags(const char16_t* path, MediaTags& tags, MediaRead what) {
    static_assert(MEDIA_WINDOW_SIZE <= TAG_READ_BUDGET, "one window fits the budget");
    tags = MediaTags{};
    const PlatformFile file = openFileForReading(path);
    if (file == PLATFORM_NO_FILE) {
        // What the name says is all there is to go by.
        if (what != MediaRead::Tags) tags.video = !hasAudioExtension(path);
        return false;
    }
    std::uint64_t size = 0;
    if (fileSize(file, size)) {
        MediaReader reader;
        startMediaReader(reader, file, nullptr, size);
        readTags(reader, tags, what, path);
    }
    closeFile(file);
    return true;
}

void readMediaTagsBytes(const unsigned char* bytes, std::size_t size, MediaTags& tags,
                        MediaRead what, const char16_t* name) {
    tags = MediaTags{};
    MediaReader reader;
    startMediaReader(reader, PLATFORM_NO_FILE, bytes, size);
    readTags(reader, tags, what, name);
}

std::size_t composeTagTitle(const MediaTags& tags, char16_t* out, std::size_t capacity) {
    if (capacity == 0) return 0;
    out[0] = u'\0';
    if (tags.title[0] == u'\0') return 0;
    const std::size_t room = capacity - 1;
    std::size_t used = 0;
    if (tags.artist[0] != u'\0') {
        constexpr std::size_t separatorLength =
            sizeof TAG_ARTIST_TITLE_SEPARATOR / sizeof TAG_ARTIST_TITLE_SEPARATOR[0] - 1;
        std::size_t artistRoom = room > separatorLength ? room - separatorLength : 0;
        if (artistRoom > TAG_ARTIST_MAXIMUM) artistRoom = TAG_ARTIST_MAXIMUM;
        const std::size_t artistLength = boundedLength(tags.artist, TAG_TEXT_CAPACITY);
        used = wholeUtf16Length(tags.artist, artistLength, artistRoom);
        while (used > 0 && tags.artist[used - 1] == u' ') --used;  // a cut may end at one
        std::memcpy(out, tags.artist, used * sizeof(char16_t));
        if (used > 0) {
            std::memcpy(out + used, TAG_ARTIST_TITLE_SEPARATOR, separatorLength * sizeof(char16_t));
            used += separatorLength;
        }
    }
    const std::size_t titleLength = boundedLength(tags.title, TAG_TEXT_CAPACITY);
    std::size_t titleUsed = wholeUtf16Length(tags.title, titleLength, room - used);
    while (titleUsed > 0 && tags.title[titleUsed - 1] == u' ') --titleUsed;
    std::memcpy(out + used, tags.title, titleUsed * sizeof(char16_t));
    used += titleUsed;
    out[used] = u'\0';
    return used;
}
