// ASF (.wma, .wmv): the title and author of the header's content
// description object, then the extended content description's attributes:
// its title and author where the content description has none, the album
// artist and the album. All text is UTF-16.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr unsigned char HEADER_OBJECT[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char CONTENT_DESCRIPTION[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                   0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char EXTENDED_CONTENT_DESCRIPTION[16] = {
    0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr std::size_t OBJECT_HEADER_SIZE = 24;    // identifier and size
constexpr std::size_t HEADER_OBJECT_SIZE = 30;    // and the object count, reserved
constexpr std::size_t CONTENT_LENGTHS_SIZE = 10;  // five 16-bit lengths
constexpr std::size_t ATTRIBUTE_NAME_CAPACITY = 64;
constexpr std::uint32_t ATTRIBUTE_TYPE_STRING = 0;

const NamedField ATTRIBUTE_NAMES[] = {
    {"Title", TAG_TITLE},
    {"Author", TAG_ARTIST},
    {"WM/AlbumArtist", TAG_ALBUM_ARTIST},
    {"WM/AlbumTitle", TAG_ALBUM},
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
    clearTagFields(extended);
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
        }
        offset += size;
    }
    fillMissingFields(fields, extended);
    return true;
}
