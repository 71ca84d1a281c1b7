#include "tags/tag_reader.h"

#include <cstring>

#include "tags/media_tags.h"
#include "text/utf8_text.h"

namespace {

// Fills the window with the bytes from `offset` on, as many as the file,
// the window and the budget allow; after a seek only MEDIA_SEEK_FILL_SIZE,
// since what follows a skip is mostly a header. Returns false when none can
// be read.
bool fillWindow(MediaReader& reader, std::uint64_t offset) {
    const std::uint32_t budgetLeft = TAG_READ_BUDGET - reader.bytesRead;
    const bool seeking = offset != reader.filePosition;
    std::uint64_t count = reader.size - offset;
    const std::size_t fill = seeking ? MEDIA_SEEK_FILL_SIZE : MEDIA_WINDOW_SIZE;
    if (count > fill) count = fill;
    if (count > budgetLeft) count = budgetLeft;
    if (count == 0) return false;
    if (seeking) {
        if (reader.seeks == TAG_SEEK_BUDGET) return false;
        ++reader.seeks;
        if (reader.file != PLATFORM_NO_FILE && !seekFile(reader.file, offset)) return false;
        reader.filePosition = offset;
    }
    const std::size_t wanted = static_cast<std::size_t>(count);
    std::size_t got = wanted;
    if (reader.file != PLATFORM_NO_FILE) {
        got = readFile(reader.file, reader.window, wanted);
    } else {
        std::memcpy(reader.window, reader.bytes + offset, wanted);
    }
    reader.bytesRead += static_cast<std::uint32_t>(wanted);
    reader.filePosition += got;
    reader.windowStart = offset;
    reader.windowLength = got;
    return got > 0;
}

}  // namespace

void startMediaReader(MediaReader& reader, PlatformFile file, const unsigned char* bytes,
                      std::uint64_t size) {
    reader.file = file;
    reader.bytes = bytes;
    reader.size = size;
    reader.filePosition = 0;
    reader.bytesRead = 0;
    reader.seeks = 0;
    reader.failed = false;
    reader.windowStart = 0;
    reader.windowLength = 0;
}

bool readMediaBytes(MediaReader& reader, std::uint64_t offset, void* out, std::size_t count) {
    if (reader.failed || !rangeFits(offset, count, reader.size)) {
        reader.failed = true;
        return false;
    }
    unsigned char* next = static_cast<unsigned char*>(out);
    while (count > 0) {
        const bool inWindow =
            offset >= reader.windowStart && offset - reader.windowStart < reader.windowLength;
        if (!inWindow && !fillWindow(reader, offset)) {
            reader.failed = true;
            return false;
        }
        const std::size_t at = static_cast<std::size_t>(offset - reader.windowStart);
        std::size_t piece = reader.windowLength - at;
        if (piece > count) piece = count;
        std::memcpy(next, reader.window + at, piece);
        next += piece;
        offset += piece;
        count -= piece;
    }
    return true;
}

void setTagField(TagFields& fields, TagFieldKind kind, const unsigned char* bytes,
                 std::size_t length, TagEncoding encoding) {
    TagField& field = fields.field[kind];
    if (field.present) return;
    char converted[TAG_FIELD_CAPACITY];
    const char* text = reinterpret_cast<const char*>(bytes);
    if (encoding == TagEncoding::Utf16LittleEndian || encoding == TagEncoding::Utf16BigEndian ||
        encoding == TagEncoding::Utf16WithMark) {
        Utf16Order order = encoding == TagEncoding::Utf16BigEndian ? Utf16Order::BigEndian
                                                                   : Utf16Order::LittleEndian;
        if (encoding == TagEncoding::Utf16WithMark && length >= 2) {
            if (bytes[0] == 0xFE && bytes[1] == 0xFF) order = Utf16Order::BigEndian;
            if ((bytes[0] == 0xFE && bytes[1] == 0xFF) || (bytes[0] == 0xFF && bytes[1] == 0xFE)) {
                bytes += 2;
                length -= 2;
            }
        }
        length = convertUtf16ToUtf8(bytes, length, order, converted, sizeof converted);
        text = converted;
        encoding = TagEncoding::Utf8;
    }
    if (const void* end = std::memchr(text, '\0', length)) {
        length = static_cast<std::size_t>(static_cast<const char*>(end) - text);
    }
    if (encoding == TagEncoding::Utf8) {
        length = scanUtf8(text, length).validLength;
        length = wholeUtf8Length(text, length, sizeof field.text);
    } else if (length > sizeof field.text) {
        length = sizeof field.text;  // cut between characters when converted
    }
    if (length == 0) return;
    std::memcpy(field.text, text, length);
    field.length = length;
    field.utf8 = encoding == TagEncoding::Utf8;
    field.present = true;
}

bool readTagField(MediaReader& reader, TagFields& fields, TagFieldKind kind, std::uint64_t offset,
                  std::uint64_t length, TagEncoding encoding) {
    if (fields.field[kind].present) return true;
    unsigned char raw[TAG_RAW_VALUE_CAPACITY];
    const std::size_t count = static_cast<std::size_t>(length < sizeof raw ? length : sizeof raw);
    if (!readMediaBytes(reader, offset, raw, count)) return false;
    setTagField(fields, kind, raw, count, encoding);
    return true;
}
