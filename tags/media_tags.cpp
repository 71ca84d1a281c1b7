#include "tags/media_tags.h"

#include <cstring>

#include "tags/tag_reader.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

// Enough of the start of a file to tell every container apart.
constexpr std::size_t HEAD_SIZE = 64;

using ContainerReader = bool (*)(MediaReader&, const unsigned char*, std::size_t, TagFields&);
// ID3v2 first: other containers may follow such a tag (it is read as MP3).
constexpr ContainerReader CONTAINER_READERS[] = {
    readId3Tags, readRiffTags, readMp4Tags, readMatroskaTags, readVorbisCommentTags, readAsfTags,
};

// C0 and C1 controls, and the two separators that also break a line.
bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// Stores `field` into `out` (TAG_TEXT_CAPACITY units): a control character
// or space, or a run of them, made one space, none at either end; a
// backslash made a slash; cut between whole characters; always terminated.
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
        if (used + size + (pendingSpace ? 1 : 0) > TAG_TEXT_CAPACITY - 1) break;
        if (pendingSpace) out[used++] = u' ';
        pendingSpace = false;
        out[used++] = c == u'\\' ? u'/' : c;
        if (size == 2) out[used++] = field.text[at + 1];
        at += size;
    }
    out[used] = u'\0';
}

void finishTags(const MediaReader& reader, const TagFields& fields, MediaTags& tags) {
    tags.format = fields.format;
    storeField(fields.field[TAG_TITLE], tags.title);
    storeField(fields.field[TAG_ARTIST], tags.artist);
    if (tags.artist[0] == u'\0') storeField(fields.field[TAG_ALBUM_ARTIST], tags.artist);
    tags.bytesRead = reader.bytesRead;
    tags.seeks = reader.seeks;
}

void readTags(MediaReader& reader, MediaTags& tags) {
    TagFields fields;
    for (TagField& field : fields.field) field.present = false;
    fields.format = nullptr;
    unsigned char head[HEAD_SIZE];
    const std::size_t headLength =
        static_cast<std::size_t>(reader.size < HEAD_SIZE ? reader.size : HEAD_SIZE);
    if (readMediaBytes(reader, 0, head, headLength)) {
        for (ContainerReader readContainer : CONTAINER_READERS) {
            if (readContainer(reader, head, headLength, fields)) break;
        }
    }
    finishTags(reader, fields, tags);
}

}  // namespace

bool readMediaTags(const char16_t* path, MediaTags& tags) {
    static_assert(MEDIA_WINDOW_SIZE <= TAG_READ_BUDGET, "one window fits the budget");
    tags = MediaTags{nullptr, u"", u"", 0, 0};
    const PlatformFile file = openFileForReading(path);
    if (file == PLATFORM_NO_FILE) return false;
    std::uint64_t size = 0;
    if (fileSize(file, size)) {
        MediaReader reader;
        startMediaReader(reader, file, nullptr, size);
        readTags(reader, tags);
    }
    closeFile(file);
    return true;
}

void readMediaTagsBytes(const unsigned char* bytes, std::size_t size, MediaTags& tags) {
    tags = MediaTags{nullptr, u"", u"", 0, 0};
    MediaReader reader;
    startMediaReader(reader, PLATFORM_NO_FILE, bytes, size);
    readTags(reader, tags);
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
        std::memcpy(out, tags.artist, used * sizeof(char16_t));
        if (used > 0) {
            std::memcpy(out + used, TAG_ARTIST_TITLE_SEPARATOR, separatorLength * sizeof(char16_t));
            used += separatorLength;
        }
    }
    const std::size_t titleLength = boundedLength(tags.title, TAG_TEXT_CAPACITY);
    const std::size_t titleUsed = wholeUtf16Length(tags.title, titleLength, room - used);
    std::memcpy(out + used, tags.title, titleUsed * sizeof(char16_t));
    used += titleUsed;
    out[used] = u'\0';
    return used;
}
