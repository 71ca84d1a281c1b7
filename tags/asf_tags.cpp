// ASF (.wma, .wmv): the title and author of the header's content
// description object, in UTF-16.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr unsigned char HEADER_OBJECT[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char CONTENT_DESCRIPTION[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                   0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::size_t OBJECT_HEADER_SIZE = 24;    // identifier and size
constexpr std::size_t HEADER_OBJECT_SIZE = 30;    // and the object count, reserved
constexpr std::size_t CONTENT_LENGTHS_SIZE = 10;  // five 16-bit lengths

}  // namespace

bool readAsfTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields) {
    if (headLength < HEADER_OBJECT_SIZE || std::memcmp(head, HEADER_OBJECT, 16) != 0) return false;
    const std::uint64_t headerSize = littleEndian64(head + 16);
    const std::uint64_t end = headerSize < reader.size ? headerSize : reader.size;
    std::uint64_t offset = HEADER_OBJECT_SIZE;
    const std::uint32_t objects = littleEndian32(head + 24);
    for (std::uint32_t i = 0; i < objects && i < TAG_ITEMS_PER_LEVEL; ++i) {
        unsigned char object[OBJECT_HEADER_SIZE + CONTENT_LENGTHS_SIZE];
        if (!rangeFits(offset, OBJECT_HEADER_SIZE, end) ||
            !readMediaBytes(reader, offset, object, OBJECT_HEADER_SIZE)) {
            break;
        }
        const std::uint64_t size = littleEndian64(object + 16);
        if (size < OBJECT_HEADER_SIZE || !rangeFits(offset, size, end)) break;
        if (std::memcmp(object, CONTENT_DESCRIPTION, 16) == 0 && size >= sizeof object &&
            readMediaBytes(reader, offset + OBJECT_HEADER_SIZE, object + OBJECT_HEADER_SIZE,
                           CONTENT_LENGTHS_SIZE)) {
            const std::uint64_t titleLength = littleEndian16(object + OBJECT_HEADER_SIZE);
            const std::uint64_t authorLength = littleEndian16(object + OBJECT_HEADER_SIZE + 2);
            const std::uint64_t title = offset + sizeof object;
            const std::uint64_t objectEnd = offset + size;
            if (rangeFits(title, titleLength, objectEnd) &&
                rangeFits(title + titleLength, authorLength, objectEnd)) {
                readTagField(reader, fields, TAG_TITLE, title, titleLength,
                             TagEncoding::Utf16LittleEndian);
                readTagField(reader, fields, TAG_ARTIST, title + titleLength, authorLength,
                             TagEncoding::Utf16LittleEndian);
                if (fields.field[TAG_TITLE].present || fields.field[TAG_ARTIST].present) {
                    fields.format = "ASF content description";
                }
            }
            break;
        }
        offset += size;
    }
    return true;
}
