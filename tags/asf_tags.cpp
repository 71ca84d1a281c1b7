// ASF (.wma, .wmv): the title and author of the header's content
// description object, then the extended content description's attributes:
// its title and author where the content description has none, the album
// artist and the album. All text is UTF-16. How long it plays: the file
// properties' play duration less the preroll; it has pictures where a
// stream's properties say video.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr unsigned char HEADER_OBJECT[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char CONTENT_DESCRIPTION[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                   0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char EXTENDED_CONTENT_DESCRIPTION[16] = {
    0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr unsigned char FILE_PROPERTIES[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                               0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr unsigned char STREAM_PROPERTIES[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                                 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr unsigned char HEADER_EXTENSION[16] = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                                0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
// Where attributes too large for the extended content description go, and
// those given more than once (a front and a back cover).
constexpr unsigned char METADATA_LIBRARY[16] = {0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49,
                                                0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54};
// The header extension's reserved field, a second one, and its data's size.
constexpr std::size_t HEADER_EXTENSION_FIELDS_SIZE = 16 + 2 + 4;
constexpr std::size_t LIBRARY_RECORD_HEADER_SIZE = 12;
constexpr unsigned char VIDEO_MEDIA[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                           0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr unsigned char AUDIO_MEDIA[16] = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                           0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr std::size_t PLAY_DURATION_OFFSET = 64;  // in the file properties, 100 ns units
constexpr std::size_t PREROLL_OFFSET = 80;        // milliseconds
constexpr std::size_t FILE_FLAGS_OFFSET = 88;
constexpr std::uint32_t BROADCAST_FLAG = 0x1;  // the durations are not filled in
constexpr std::uint64_t HUNDRED_NANOSECONDS_PER_MILLISECOND = 10000;
constexpr std::uint64_t HUNDRED_NANOSECONDS_PER_SECOND = 10000000;
constexpr std::size_t OBJECT_HEADER_SIZE = 24;  // identifier and size
constexpr std::size_t HEADER_OBJECT_SIZE = 30;  // and the object count, reserved
// A video stream's type-specific data: width, height, a flag byte and the
// format data's size (11 bytes), then a BITMAPINFOHEADER whose compression
// is its 17th to 20th bytes.
constexpr std::size_t STREAM_TYPE_SPECIFIC_OFFSET = OBJECT_HEADER_SIZE + 54;
constexpr std::size_t VIDEO_COMPRESSION_OFFSET = STREAM_TYPE_SPECIFIC_OFFSET + 11 + 16;
const char* const STILL_COMPRESSIONS[] = {"MJPG", "MPNG", "PNG1", "png "};
constexpr std::size_t CONTENT_LENGTHS_SIZE = 10;  // five 16-bit lengths
constexpr std::size_t ATTRIBUTE_NAME_CAPACITY = 64;
constexpr std::uint32_t ATTRIBUTE_TYPE_STRING = 0;
constexpr std::uint32_t ATTRIBUTE_TYPE_BYTES = 1;
constexpr unsigned char FRONT_COVER = 3;
// A picture's type, size, MIME type and description are looked for here.
constexpr std::size_t PICTURE_HEAD_CAPACITY = 512;

const NamedField ATTRIBUTE_NAMES[] = {
    {"Title", TAG_TITLE},
    {"Author", TAG_ARTIST},
    {"WM/AlbumArtist", TAG_ALBUM_ARTIST},
    {"WM/AlbumTitle", TAG_ALBUM},
    {"MusicBrainz/Album Id", TAG_MUSICBRAINZ_ALBUM},
};

// Whether the UTF-16LE name of `length` bytes at `bytes`, its terminator
// counted or not, is the ASCII `name`.
bool nameIs(const unsigned char* bytes, std::size_t length, const char* name) {
    std::size_t units = length / 2;
    if (units > 0 && bytes[2 * units - 2] == 0 && bytes[2 * units - 1] == 0) --units;
    if (units != std::strlen(name)) return false;
    for (std::size_t i = 0; i < units; ++i) {
        if (bytes[2 * i] != static_cast<unsigned char>(name[i]) || bytes[2 * i + 1] != 0) {
            return false;
        }
    }
    return true;
}

void readContentDescription(MediaReader& reader, std::uint64_t offset, std::uint64_t size,
                            TagFields& fields) {
    unsigned char lengths[CONTENT_LENGTHS_SIZE];
    if (size < OBJECT_HEADER_SIZE + sizeof lengths ||
        !readMediaBytes(reader, offset + OBJECT_HEADER_SIZE, lengths, sizeof lengths)) {
        return;
    }
    const std::uint64_t titleLength = littleEndian16(lengths);
    const std::uint64_t authorLength = littleEndian16(lengths + 2);
    const std::uint64_t title = offset + OBJECT_HEADER_SIZE + sizeof lengths;
    const std::uint64_t end = offset + size;
    if (rangeFits(title, titleLength, end) && rangeFits(title + titleLength, authorLength, end)) {
        fields.source = "content description";
        readTagField(reader, fields, TAG_TITLE, title, titleLength, TagEncoding::Utf16LittleEndian);
        readTagField(reader, fields, TAG_ARTIST, title + titleLength, authorLength,
                     TagEncoding::Utf16LittleEndian);
    }
}

// A WM/Picture value of `valueSize` bytes at `value`: its type, the
// picture's size, its MIME type and description (UTF-16, each ended by a
// NUL unit), then the picture.
void readPicture(MediaReader& reader, std::uint64_t value, std::uint64_t valueSize,
                 TagFields& fields) {
    unsigned char head[PICTURE_HEAD_CAPACITY];
    const std::size_t taken =
        static_cast<std::size_t>(valueSize < sizeof head ? valueSize : sizeof head);
    constexpr std::size_t fixed = 5;  // the type and the size
    if (taken < fixed || !readMediaBytes(reader, value, head, taken)) return;
    const bool front = head[0] == FRONT_COVER;
    const std::uint64_t size = littleEndian32(head + 1);
    std::size_t at = fixed;
    std::size_t mimeEnd = 0;
    for (int text = 0; text < 2; ++text) {
        while (at + 2 <= taken && (head[at] != 0 || head[at + 1] != 0)) at += 2;
        if (at + 2 > taken) return;
        if (text == 0) mimeEnd = at;
        at += 2;
    }
    // The MIME type is ASCII in UTF-16: its low bytes name it.
    unsigned char mime[PICTURE_HEAD_CAPACITY / 2];
    std::size_t mimeLength = 0;
    for (std::size_t unit = fixed; unit < mimeEnd; unit += 2) mime[mimeLength++] = head[unit];
    if (!rangeFits(at, size, valueSize)) return;
    notePicture(reader, fields, front, imageFormatOfMime(mime, mimeLength), PictureCoding::Raw,
                value + at, size, size);
}

// A metadata library object's records: each WM/Picture one's picture.
void readMetadataLibrary(MediaReader& reader, std::uint64_t offset, std::uint64_t size,
                         TagFields& fields) {
    const std::uint64_t end = offset + size;
    std::uint64_t at = offset + OBJECT_HEADER_SIZE;
    unsigned char count[2];
    if (!rangeFits(at, sizeof count, end) || !readMediaBytes(reader, at, count, sizeof count)) {
        return;
    }
    at += sizeof count;
    for (std::uint32_t i = 0; i < littleEndian16(count) && i < TAG_ITEMS_PER_LEVEL; ++i) {
        unsigned char record[LIBRARY_RECORD_HEADER_SIZE];
        if (!rangeFits(at, sizeof record, end) ||
            !readMediaBytes(reader, at, record, sizeof record)) {
            return;
        }
        const std::uint64_t name = at + sizeof record;
        const std::uint64_t nameSize = littleEndian16(record + 4);
        const std::uint64_t value = name + nameSize;
        const std::uint64_t valueSize = littleEndian32(record + 8);
        if (!rangeFits(name, nameSize, end) || !rangeFits(value, valueSize, end)) return;
        unsigned char nameBytes[ATTRIBUTE_NAME_CAPACITY];
        if (littleEndian16(record + 6) == ATTRIBUTE_TYPE_BYTES && nameSize <= sizeof nameBytes &&
            readMediaBytes(reader, name, nameBytes, static_cast<std::size_t>(nameSize)) &&
            nameIs(nameBytes, static_cast<std::size_t>(nameSize), "WM/Picture")) {
            readPicture(reader, value, valueSize, fields);
        }
        at = value + valueSize;
    }
}

// A header extension object: the metadata library among its objects.
void readHeaderExtension(MediaReader& reader, std::uint64_t offset, std::uint64_t size,
                         TagFields& fields) {
    const std::uint64_t end = offset + size;
    std::uint64_t at = offset + OBJECT_HEADER_SIZE + HEADER_EXTENSION_FIELDS_SIZE;
    for (unsigned objects = 0;
         objects < TAG_ITEMS_PER_LEVEL && rangeFits(at, OBJECT_HEADER_SIZE, end); ++objects) {
        unsigned char object[OBJECT_HEADER_SIZE];
        if (!readMediaBytes(reader, at, object, sizeof object)) return;
        const std::uint64_t objectSize = littleEndian64(object + 16);
        if (objectSize < OBJECT_HEADER_SIZE || !rangeFits(at, objectSize, end)) return;
        if (std::memcmp(object, METADATA_LIBRARY, 16) == 0) {
            readMetadataLibrary(reader, at, objectSize, fields);
        }
        at += objectSize;
    }
}

void readExtendedContentDescription(MediaReader& reader, std::uint64_t offset, std::uint64_t size,
                                    TagFields& fields) {
    const std::uint64_t end = offset + size;
    std::uint64_t at = offset + OBJECT_HEADER_SIZE;
    unsigned char count[2];
    if (!rangeFits(at, sizeof count, end) || !readMediaBytes(reader, at, count, sizeof count)) {
        return;
    }
    at += sizeof count;
    fields.source = "extended content description";
    for (std::uint32_t i = 0; i < littleEndian16(count) && i < TAG_ITEMS_PER_LEVEL; ++i) {
        unsigned char nameLength[2];
        if (!rangeFits(at, sizeof nameLength, end) ||
            !readMediaBytes(reader, at, nameLength, sizeof nameLength)) {
            return;
        }
        const std::uint64_t name = at + sizeof nameLength;
        const std::uint64_t nameSize = littleEndian16(nameLength);
        unsigned char typeAndLength[4];
        if (!rangeFits(name, nameSize + sizeof typeAndLength, end) ||
            !readMediaBytes(reader, name + nameSize, typeAndLength, sizeof typeAndLength)) {
            return;
        }
        const std::uint64_t value = name + nameSize + sizeof typeAndLength;
        const std::uint64_t valueSize = littleEndian16(typeAndLength + 2);
        if (!rangeFits(value, valueSize, end)) return;
        unsigned char nameBytes[ATTRIBUTE_NAME_CAPACITY];
        if (littleEndian16(typeAndLength) == ATTRIBUTE_TYPE_BYTES && fields.coverWanted &&
            nameSize <= sizeof nameBytes &&
            readMediaBytes(reader, name, nameBytes, static_cast<std::size_t>(nameSize)) &&
            nameIs(nameBytes, static_cast<std::size_t>(nameSize), "WM/Picture")) {
            readPicture(reader, value, valueSize, fields);
        }
        if (littleEndian16(typeAndLength) == ATTRIBUTE_TYPE_STRING &&
            nameSize <= sizeof nameBytes &&
            readMediaBytes(reader, name, nameBytes, static_cast<std::size_t>(nameSize))) {
            for (const NamedField& attribute : ATTRIBUTE_NAMES) {
                if (nameIs(nameBytes, static_cast<std::size_t>(nameSize), attribute.name)) {
                    readTagField(reader, fields, attribute.kind, value, valueSize,
                                 TagEncoding::Utf16LittleEndian);
                }
            }
        }
        at = value + valueSize;
    }
}

void readFileProperties(MediaReader& reader, std::uint64_t offset, std::uint64_t size,
                        TagFields& fields) {
    unsigned char properties[FILE_FLAGS_OFFSET + 4];
    if (size < sizeof properties ||
        !readMediaBytes(reader, offset, properties, sizeof properties) ||
        (littleEndian32(properties + FILE_FLAGS_OFFSET) & BROADCAST_FLAG) != 0) {
        return;
    }
    const std::uint64_t played = littleEndian64(properties + PLAY_DURATION_OFFSET);
    const std::uint64_t preroll = littleEndian64(properties + PREROLL_OFFSET);
    // A preroll past the play duration (or too large to count) lies.
    if (preroll > played / HUNDRED_NANOSECONDS_PER_MILLISECOND) return;
    setDuration(fields, played - preroll * HUNDRED_NANOSECONDS_PER_MILLISECOND,
                HUNDRED_NANOSECONDS_PER_SECOND, reader.size, LOSSLESS_MINIMUM_BYTE_RATE);
}

// What the header's streams are: the file is video where a stream moves.
struct StreamKinds {
    bool audio;
    bool stillVideo;
    bool movingVideo;
};

void readStreamProperties(MediaReader& reader, std::uint64_t offset, std::uint64_t size,
                          StreamKinds& kinds) {
    unsigned char type[sizeof VIDEO_MEDIA];
    if (size < OBJECT_HEADER_SIZE + sizeof type ||
        !readMediaBytes(reader, offset + OBJECT_HEADER_SIZE, type, sizeof type)) {
        return;
    }
    if (std::memcmp(type, AUDIO_MEDIA, sizeof type) == 0) kinds.audio = true;
    if (std::memcmp(type, VIDEO_MEDIA, sizeof type) != 0) return;
    char compression[4];
    const bool known =
        size >= VIDEO_COMPRESSION_OFFSET + sizeof compression &&
        readMediaBytes(reader, offset + VIDEO_COMPRESSION_OFFSET, compression, sizeof compression);
    bool still = false;
    for (const char* codec : STILL_COMPRESSIONS) {
        still |= known && std::memcmp(compression, codec, sizeof compression) == 0;
    }
    (still ? kinds.stillVideo : kinds.movingVideo) = true;
}

}  // namespace

bool readAsfTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields) {
    if (headLength < HEADER_OBJECT_SIZE || std::memcmp(head, HEADER_OBJECT, 16) != 0) return false;
    fields.container = "ASF";
    const std::uint64_t headerSize = littleEndian64(head + 16);
    const std::uint64_t end = headerSize < reader.size ? headerSize : reader.size;
    // The extended description counts only where the content description
    // is silent, whichever comes first.
    TagFields extended;
    clearTagFields(extended, false, fields.coverWanted);
    StreamKinds kinds = {false, false, false};
    std::uint64_t offset = HEADER_OBJECT_SIZE;
    const std::uint32_t objects = littleEndian32(head + 24);
    for (std::uint32_t i = 0; i < objects && i < TAG_ITEMS_PER_LEVEL; ++i) {
        unsigned char object[OBJECT_HEADER_SIZE];
        if (!rangeFits(offset, OBJECT_HEADER_SIZE, end) ||
            !readMediaBytes(reader, offset, object, OBJECT_HEADER_SIZE)) {
            break;
        }
        const std::uint64_t size = littleEndian64(object + 16);
        if (size < OBJECT_HEADER_SIZE || !rangeFits(offset, size, end)) break;
        if (std::memcmp(object, CONTENT_DESCRIPTION, 16) == 0) {
            readContentDescription(reader, offset, size, fields);
        } else if (std::memcmp(object, EXTENDED_CONTENT_DESCRIPTION, 16) == 0) {
            readExtendedContentDescription(reader, offset, size, extended);
        } else if (fields.coverWanted && std::memcmp(object, HEADER_EXTENSION, 16) == 0) {
            readHeaderExtension(reader, offset, size, fields);
        } else if (fields.facts.wanted && std::memcmp(object, FILE_PROPERTIES, 16) == 0) {
            readFileProperties(reader, offset, size, fields);
        } else if (fields.facts.wanted && std::memcmp(object, STREAM_PROPERTIES, 16) == 0) {
            readStreamProperties(reader, offset, size, kinds);
        }
        offset += size;
    }
    fillMissingFields(fields, extended);
    if (fields.facts.wanted && (kinds.audio || kinds.stillVideo || kinds.movingVideo)) {
        const bool video = kinds.movingVideo || (kinds.stillVideo && !kinds.audio);
        notePictures(fields, video ? PictureTrack::Present : PictureTrack::None);
    }
    return true;
}
