#include "tags/media_tags.h"

#include <cstring>

#include "tags/tag_reader.h"
#include "text/ansi_text.h"

namespace {

// Enough of the start of a file to tell every container apart.
constexpr std::size_t HEAD_SIZE = 64;

using ContainerReader = bool (*)(MediaReader&, const unsigned char*, std::size_t, TagFields&);
// ID3v2 first: other containers may follow such a tag (it is read as MP3).
constexpr ContainerReader CONTAINER_READERS[] = {
    readId3Tags, readRiffTags, readMp4Tags, readMatroskaTags, readVorbisCommentTags, readAsfTags,
};

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Stores `field` into `out` (TAG_TEXT_CAPACITY bytes) in the ANSI code page:
// converted from UTF-8; a control character or space, or a run of them, made
// one space, none at either end; a backslash made a slash; a lead byte
// without a second byte that can follow it made '?'; cut between whole
// characters; always terminated.
void storeField(const TagField& field, char (&out)[TAG_TEXT_CAPACITY]) {
    out[0] = '\0';
    if (!field.present) return;
    // A UTF-8 byte never yields more than one unit, nor a unit more than two bytes.
    char converted[2 * TAG_FIELD_CAPACITY];
    const char* text = field.text;
    std::size_t length = field.length;
    if (field.utf8) {
        length = convertUtf8ToAnsi(field.text, field.length, converted, sizeof converted);
        text = converted;
    }
    const bool doubleByte = currentAnsiCodePage() == AnsiCodePage::DoubleByte;
    std::size_t used = 0;
    bool pendingSpace = false;
    for (std::size_t at = 0; at < length;) {
        char character[2] = {text[at], '\0'};
        std::size_t size = 1;
        if (doubleByte && isDoubleByteLead(text[at])) {
            if (at + 1 < length && static_cast<unsigned char>(text[at + 1]) >= LOWEST_SECOND_BYTE) {
                character[1] = text[at + 1];
                size = 2;
            } else {
                character[0] = '?';
            }
        }
        at += size;
        const unsigned char c = static_cast<unsigned char>(character[0]);
        if (size == 1 && (isControl(c) || c == ' ')) {
            pendingSpace |= used > 0;
            continue;
        }
        if (used + size + (pendingSpace ? 1 : 0) > sizeof out - 1) break;
        if (pendingSpace) out[used++] = ' ';
        pendingSpace = false;
        out[used] = size == 1 && c == '\\' ? '/' : character[0];
        if (size == 2) out[used + 1] = character[1];
        used += size;
    }
    out[used] = '\0';
}

void finishTags(const MediaReader& reader, const TagFields& fields, MediaTags& tags) {
    tags.format = fields.format;
    storeField(fields.field[TAG_TITLE], tags.title);
    storeField(fields.field[TAG_ARTIST], tags.artist);
    if (tags.artist[0] == '\0') storeField(fields.field[TAG_ALBUM_ARTIST], tags.artist);
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

bool readMediaTags(const char* path, MediaTags& tags) {
    static_assert(MEDIA_WINDOW_SIZE <= TAG_READ_BUDGET, "one window fits the budget");
    tags = MediaTags{nullptr, "", "", 0, 0};
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
    tags = MediaTags{nullptr, "", "", 0, 0};
    MediaReader reader;
    startMediaReader(reader, PLATFORM_NO_FILE, bytes, size);
    readTags(reader, tags);
}

std::size_t composeTagTitle(const MediaTags& tags, char* out, std::size_t capacity) {
    if (capacity == 0) return 0;
    out[0] = '\0';
    if (tags.title[0] == '\0') return 0;
    const AnsiCodePage codePage = currentAnsiCodePage();
    const std::size_t room = capacity - 1;
    std::size_t used = 0;
    if (tags.artist[0] != '\0') {
        const std::size_t separatorLength = std::strlen(TAG_ARTIST_TITLE_SEPARATOR);
        std::size_t artistRoom = room > separatorLength ? room - separatorLength : 0;
        if (artistRoom > TAG_ARTIST_MAXIMUM) artistRoom = TAG_ARTIST_MAXIMUM;
        const std::size_t artistLength = std::strlen(tags.artist);
        used = wholeCharacterLength(codePage, tags.artist, artistLength, artistRoom);
        std::memcpy(out, tags.artist, used);
        if (used > 0) {
            std::memcpy(out + used, TAG_ARTIST_TITLE_SEPARATOR, separatorLength);
            used += separatorLength;
        }
    }
    const std::size_t titleLength = std::strlen(tags.title);
    const std::size_t titleUsed =
        wholeCharacterLength(codePage, tags.title, titleLength, room - used);
    std::memcpy(out + used, tags.title, titleUsed);
    used += titleUsed;
    out[used] = '\0';
    return used;
}
