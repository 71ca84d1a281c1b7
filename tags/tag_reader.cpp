#include "tags/tag_reader.h"

#include <cstring>

#include "tags/media_tags.h"
#include "text/ansi_text.h"
#include "text/unicode_text.h"

namespace {

// Fills the window so that it holds the byte at `offset` and as many
// around it as the file, the window and the budget allow. A short way ahead
// is read through rather than counted as a seek. After a seek
// the window takes a quarter window before the byte too, since containers put
// what is read together near each other (tags beside the index that names
// them at the end of a file). Returns false when the byte cannot be read.
bool fillWindow(MediaReader& reader, std::uint64_t offset) {
    std::uint64_t start = offset;
    constexpr std::uint64_t half = MEDIA_WINDOW_SIZE / 2;
    if (offset > reader.filePosition && offset - reader.filePosition < half) {
        start = reader.filePosition;
    } else if (offset != reader.filePosition) {
        constexpr std::uint64_t before = MEDIA_WINDOW_SIZE / 4;
        start = offset - (offset < before ? offset : before);
    }
    const bool seeking = start != reader.filePosition;
    std::uint64_t count = reader.fileSize - start;
    if (count > MEDIA_WINDOW_SIZE) count = MEDIA_WINDOW_SIZE;
    const std::uint32_t budgetLeft = TAG_READ_BUDGET - reader.bytesRead;
    if (count > budgetLeft) count = budgetLeft;
    if (count <= offset - start) return false;
    if (seeking) {
        if (reader.seeks == TAG_SEEK_BUDGET) return false;
        ++reader.seeks;
        reader.filePosition = start;
    }
    const std::size_t wanted = static_cast<std::size_t>(count);
    std::size_t got = wanted;
    ++reader.windowReads;
    if (reader.file != PLATFORM_NO_FILE) {
        got = readFileAt(reader.file, start, reader.window, wanted);
    } else {
        std::memcpy(reader.window, reader.bytes + start, wanted);
    }
    reader.bytesRead += static_cast<std::uint32_t>(wanted);
    reader.filePosition += got;
    reader.windowStart = start;
    reader.windowLength = got;
    return got > offset - start;
}

}  // namespace

void startMediaReader(MediaReader& reader, PlatformFile file, const unsigned char* bytes,
                      std::uint64_t size) {
    reader.file = file;
    reader.bytes = bytes;
    reader.fileSize = size;
    reader.base = 0;
    reader.size = size;
    reader.filePosition = 0;
    reader.bytesRead = 0;
    reader.seeks = 0;
    reader.windowReads = 0;
    reader.smallReads = 0;
    reader.windowStart = 0;
    reader.windowLength = 0;
}

void setMediaBase(MediaReader& reader, std::uint64_t base) {
    reader.base = base < reader.fileSize ? base : reader.fileSize;
    reader.size = reader.fileSize - reader.base;
}

bool readMediaBytes(MediaReader& reader, std::uint64_t offset, void* out, std::size_t count) {
    if (!rangeFits(offset, count, reader.size)) return false;
    offset += reader.base;
    unsigned char* next = static_cast<unsigned char*>(out);
    while (count > 0) {
        const bool inWindow =
            offset >= reader.windowStart && offset - reader.windowStart < reader.windowLength;
        if (!inWindow && !fillWindow(reader, offset)) return false;
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

bool readMediaHeader(MediaReader& reader, std::uint64_t offset, void* out, std::size_t count) {
    if (!rangeFits(offset, count, reader.size) || count > SMALL_READ_MAXIMUM) return false;
    const std::uint64_t at = reader.base + offset;
    if (at >= reader.windowStart && reader.windowLength >= count &&
        at - reader.windowStart <= reader.windowLength - count) {
        std::memcpy(out, reader.window + (at - reader.windowStart), count);
        return true;
    }
    if (reader.smallReads == TAG_SMALL_READ_BUDGET || count > TAG_READ_BUDGET - reader.bytesRead) {
        return false;
    }
    ++reader.smallReads;
    reader.bytesRead += static_cast<std::uint32_t>(count);
    std::size_t got = count;
    if (reader.file != PLATFORM_NO_FILE) {
        got = readFileAt(reader.file, at, out, count);
    } else {
        std::memcpy(out, reader.bytes + at, count);
    }
    return got == count;
}

bool equalsIgnoringCase(const unsigned char* text, std::size_t length, const char* upperCaseName) {
    if (std::strlen(upperCaseName) != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = text[i] >= 'a' && text[i] <= 'z' ? text[i] - 'a' + 'A' : text[i];
        if (c != static_cast<unsigned char>(upperCaseName[i])) return false;
    }
    return true;
}

void clearTagFields(TagFields& fields, bool factsWanted, bool coverWanted) {
    for (TagField& field : fields.field) field.present = false;
    fields.coverWanted = coverWanted;
    fields.cover = CoverLocation{};
    fields.container = nullptr;
    fields.tag = nullptr;
    fields.source = "";
    fields.frontTag = nullptr;
    fields.facts = MediaFactFields{factsWanted, false, 0, PictureTrack::Unknown};
}

void setDuration(TagFields& fields, std::uint64_t units, std::uint64_t unitsPerSecond,
                 std::uint64_t fileBytes, std::uint32_t minimumByteRate) {
    if (fields.facts.hasDuration || units == 0 || unitsPerSecond == 0) return;
    const std::uint64_t whole = units / unitsPerSecond;
    const std::uint64_t rest = units % unitsPerSecond;
    if (whole > fileBytes / minimumByteRate) return;
    fields.facts.durationSeconds = whole + (rest >= unitsPerSecond - rest ? 1 : 0);
    fields.facts.hasDuration = true;
}

void setDurationSeconds(TagFields& fields, double seconds, std::uint64_t fileBytes,
                        std::uint32_t minimumByteRate) {
    // Also false for NaN; 2^53 keeps the conversion exact and far from overflow.
    constexpr double longest = 9007199254740992.0;
    if (!(seconds > 0 && seconds < longest)) return;
    constexpr std::uint64_t millisecondsPerSecond = 1000;
    const double milliseconds = seconds * static_cast<double>(millisecondsPerSecond);
    if (!(milliseconds < longest)) return;
    setDuration(fields, static_cast<std::uint64_t>(milliseconds), millisecondsPerSecond, fileBytes,
                minimumByteRate);
}

bool notePicture(const MediaReader& reader, TagFields& fields, bool front, ImageFormat format,
                 PictureCoding coding, std::uint64_t offset, std::uint64_t length,
                 std::uint64_t size) {
    if (!fields.coverWanted || size == 0 || size > COVER_SIZE_LIMIT || length < size ||
        !rangeFits(reader.base + offset, length, reader.fileSize)) {
        return false;
    }
    if (fields.cover.coding != PictureCoding::None && (fields.cover.front || !front)) return false;
    fields.cover = CoverLocation{};
    fields.cover.coding = coding;
    fields.cover.front = front;
    fields.cover.format = format;
    fields.cover.offset = reader.base + offset;
    fields.cover.length = length;
    fields.cover.size = static_cast<std::uint32_t>(size);
    fields.cover.fileSize = reader.fileSize;
    return true;
}

ImageFormat imageFormatOfMime(const unsigned char* text, std::size_t length) {
    struct Named {
        const char* name;
        ImageFormat format;
    };
    static const Named NAMES[] = {
        {"IMAGE/JPEG", ImageFormat::Jpeg}, {"IMAGE/JPG", ImageFormat::Jpeg},
        {"IMAGE/PNG", ImageFormat::Png},   {"IMAGE/GIF", ImageFormat::Gif},
        {"IMAGE/BMP", ImageFormat::Bmp},   {"IMAGE/WEBP", ImageFormat::WebP},
        {"JPG", ImageFormat::Jpeg},        {"PNG", ImageFormat::Png},
        {"GIF", ImageFormat::Gif},         {"BMP", ImageFormat::Bmp},
    };
    for (const Named& named : NAMES) {
        if (equalsIgnoringCase(text, length, named.name)) return named.format;
    }
    return ImageFormat::Unknown;
}

void fillMissingFields(TagFields& fields, const TagFields& more) {
    if (fields.cover.coding == PictureCoding::None) fields.cover = more.cover;
    for (int kind = 0; kind < TAG_FIELD_KINDS; ++kind) {
        const TagField& field = more.field[kind];
        if (!field.present || fields.field[kind].present) continue;
        fields.field[kind] = field;
        if (fields.tag == nullptr) fields.tag = more.tag != nullptr ? more.tag : more.source;
    }
}

bool isBlankTagUnit(char16_t unit) {
    return unit <= 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029 ||
           unit == 0xFEFF || unit == 0xFFFE;
}

void setTagField(TagFields& fields, TagFieldKind kind, const unsigned char* bytes,
                 std::size_t length, TagEncoding encoding) {
    TagField& field = fields.field[kind];
    if (field.present) return;
    std::size_t units = 0;
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
        // Up to the first U+0000: the units are read first, since a zero
        // byte is half of many a character.
        units = readUtf16Bytes(bytes, length, order, field.text, TAG_FIELD_CAPACITY);
        for (std::size_t i = 0; i < units; ++i) {
            if (field.text[i] == u'\0') {
                units = i;
                break;
            }
        }
    } else {
        const char* text = reinterpret_cast<const char*>(bytes);
        if (const void* end = std::memchr(text, '\0', length)) {
            length = static_cast<std::size_t>(static_cast<const char*>(end) - text);
        }
        if (encoding == TagEncoding::Utf8) {
            const Utf8Scan scan = scanUtf8(text, length);
            // A last character cut short by a raw buffer's limit still counts.
            const bool cutShort = scan.endsIncomplete && length >= TAG_RAW_VALUE_CAPACITY;
            if (scan.validLength != length && !cutShort) encoding = TagEncoding::Ansi;
        }
        units = encoding == TagEncoding::Utf8
                    ? convertUtf8ToUtf16(text, length, field.text, TAG_FIELD_CAPACITY)
                    : storeAnsiAsUtf16(text, length, field.text, TAG_FIELD_CAPACITY);
    }
    // A value of spaces and controls only is no value: what follows may fill it.
    std::size_t shown = 0;
    while (shown < units && isBlankTagUnit(field.text[shown])) ++shown;
    if (shown == units) return;
    field.length = units;
    field.present = true;
    if (fields.tag == nullptr) fields.tag = fields.source;
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
