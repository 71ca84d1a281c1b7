// Tags at the end of a file: APEv2 (and APEv1), as WavPack, Monkey's Audio,
// TAK, Musepack, OptimFROG and TTA files carry them, and as some MP3 files
// do before their ID3v1 tag; then ID3v1. Also the containers that keep
// their tags there, told by their first bytes.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t APE_FOOTER_SIZE = 32;
constexpr std::size_t ID3V1_SIZE = 128;
constexpr std::uint32_t APE_VERSION_1 = 1000;
constexpr std::size_t APE_ITEM_HEADER_SIZE = 8;
constexpr std::size_t APE_KEY_CAPACITY = 256;      // 2 to 255 characters and a NUL
constexpr std::uint32_t APE_ITEM_TYPE_MASK = 0x6;  // 0: UTF-8 text; binary, locator otherwise
constexpr std::uint32_t APE_ITEM_BINARY = 0x2;
constexpr char APE_COVER_PREFIX[] = "COVER ART";
constexpr char APE_FRONT_COVER[] = "COVER ART (FRONT)";
constexpr std::size_t APE_COVER_NAME_CAPACITY = 256;

// Keys in upper case; they count in any letter case.
const NamedField ITEM_NAMES[] = {
    {"TITLE", TAG_TITLE},
    {"ARTIST", TAG_ARTIST},
    {"ALBUM ARTIST", TAG_ALBUM_ARTIST},
    {"ALBUMARTIST", TAG_ALBUM_ARTIST},
    {"ALBUM", TAG_ALBUM},
    {"MUSICBRAINZ_ALBUMID", TAG_MUSICBRAINZ_ALBUM},
};

struct EndTaggedContainer {
    const char* magic;
    const char* name;
};
const EndTaggedContainer END_TAGGED_CONTAINERS[] = {
    {"wvpk", "WavPack"}, {"MAC ", "Monkey's Audio"}, {"tBaK", "TAK"}, {"MPCK", "Musepack"},
    {"MP+", "Musepack"}, {"OFR ", "OptimFROG"},      {"TTA1", "TTA"},
};

// A binary item "Cover Art (Front)" (or another "Cover Art" one): a file
// name, a NUL, then the picture; its format by the name's extension.
void readApeCover(MediaReader& reader, const unsigned char* key, std::size_t keyLength,
                  std::uint64_t value, std::uint64_t valueSize, TagFields& fields) {
    constexpr std::size_t prefixLength = sizeof APE_COVER_PREFIX - 1;
    if (keyLength < prefixLength || !equalsIgnoringCase(key, prefixLength, APE_COVER_PREFIX)) {
        return;
    }
    const bool front = equalsIgnoringCase(key, keyLength, APE_FRONT_COVER);
    unsigned char name[APE_COVER_NAME_CAPACITY];
    const std::size_t taken =
        static_cast<std::size_t>(valueSize < sizeof name ? valueSize : sizeof name);
    if (!readMediaBytes(reader, value, name, taken)) return;
    const void* end = std::memchr(name, '\0', taken);
    if (end == nullptr) return;
    const std::size_t nameLength =
        static_cast<std::size_t>(static_cast<const unsigned char*>(end) - name);
    const void* dot = nullptr;
    for (std::size_t at = 0; at < nameLength; ++at) {
        if (name[at] == '.') dot = name + at;
    }
    ImageFormat format = ImageFormat::Unknown;
    if (dot != nullptr) {
        const unsigned char* extension = static_cast<const unsigned char*>(dot) + 1;
        const std::size_t extensionLength = static_cast<std::size_t>(name + nameLength - extension);
        format = equalsIgnoringCase(extension, extensionLength, "JPEG")
                     ? ImageFormat::Jpeg
                     : imageFormatOfMime(extension, extensionLength);
    }
    const std::uint64_t picture = value + nameLength + 1;
    notePicture(reader, fields, front, format, PictureCoding::Raw, picture,
                valueSize - nameLength - 1, valueSize - nameLength - 1);
}

// Reads the items of the APE tag whose footer lies at `footer`. Returns
// whether there was one.
bool readApeTag(MediaReader& reader, std::uint64_t footer, TagFields& fields) {
    unsigned char bytes[APE_FOOTER_SIZE];
    if (!readMediaBytes(reader, footer, bytes, sizeof bytes) ||
        std::memcmp(bytes, "APETAGEX", 8) != 0) {
        return false;
    }
    const std::uint32_t version = littleEndian32(bytes + 8);
    const std::uint64_t size = littleEndian32(bytes + 12);  // the items and this footer
    const std::uint32_t count = littleEndian32(bytes + 16);
    if (size < APE_FOOTER_SIZE || size > footer + APE_FOOTER_SIZE) return true;
    fields.source = version == APE_VERSION_1 ? "APEv1" : "APEv2";
    std::uint64_t offset = footer + APE_FOOTER_SIZE - size;
    for (std::uint32_t i = 0; i < count && i < TAG_ITEMS_PER_LEVEL; ++i) {
        unsigned char item[APE_ITEM_HEADER_SIZE + APE_KEY_CAPACITY];
        if (!rangeFits(offset, APE_ITEM_HEADER_SIZE, footer)) break;
        const std::uint64_t room = footer - offset;
        const std::size_t taken = static_cast<std::size_t>(room < sizeof item ? room : sizeof item);
        if (!readMediaBytes(reader, offset, item, taken)) break;
        const void* keyEnd =
            std::memchr(item + APE_ITEM_HEADER_SIZE, '\0', taken - APE_ITEM_HEADER_SIZE);
        if (keyEnd == nullptr) break;
        const std::size_t keyLength = static_cast<std::size_t>(
            static_cast<const unsigned char*>(keyEnd) - (item + APE_ITEM_HEADER_SIZE));
        const std::uint64_t valueSize = littleEndian32(item);
        const std::uint64_t value = offset + APE_ITEM_HEADER_SIZE + keyLength + 1;
        if (!rangeFits(value, valueSize, footer)) break;
        const std::uint32_t type = littleEndian32(item + 4) & APE_ITEM_TYPE_MASK;
        const bool text = type == 0;
        if (type == APE_ITEM_BINARY && fields.coverWanted) {
            readApeCover(reader, item + APE_ITEM_HEADER_SIZE, keyLength, value, valueSize, fields);
        }
        for (const NamedField& name : ITEM_NAMES) {
            if (text && equalsIgnoringCase(item + APE_ITEM_HEADER_SIZE, keyLength, name.name)) {
                // APEv1 said ASCII and APEv2 UTF-8; writers of both put their
                // code page there too, which the UTF-8 reading tells apart.
                readTagField(reader, fields, name.kind, value, valueSize, TagEncoding::Utf8);
            }
        }
        offset = value + valueSize;
    }
    return true;
}

}  // namespace

void readEndTags(MediaReader& reader, TagFields& fields) {
    // The APE tag's footer ends the file, or comes right before ID3v1.
    unsigned char last[3];
    const bool id3v1 = reader.size >= ID3V1_SIZE &&
                       readMediaBytes(reader, reader.size - ID3V1_SIZE, last, sizeof last) &&
                       std::memcmp(last, "TAG", 3) == 0;
    const std::uint64_t tagEnd = reader.size - (id3v1 ? ID3V1_SIZE : 0);
    if (tagEnd >= APE_FOOTER_SIZE) readApeTag(reader, tagEnd - APE_FOOTER_SIZE, fields);
    if (id3v1) readId3v1(reader, fields);
}

bool readEndTaggedContainer(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                            TagFields& fields) {
    for (const EndTaggedContainer& container : END_TAGGED_CONTAINERS) {
        const std::size_t length = std::strlen(container.magic);
        if (headLength >= length && std::memcmp(head, container.magic, length) == 0) {
            fields.container = container.name;
            if (fields.facts.wanted) readEndTaggedFacts(reader, head, headLength, fields);
            return true;
        }
    }
    if (isAdtsHeader(head, headLength)) {
        fields.container = "AAC";
        if (fields.facts.wanted) readAdtsFacts(reader, fields);
        return true;
    }
    // MPEG audio: a frame's sync bits.
    if (headLength >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0) {
        fields.container = "MP3";
        return true;
    }
    return false;
}
