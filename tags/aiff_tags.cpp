// AIFF and AIFF-C: an ID3 chunk holding an ID3v2 tag, else the NAME and
// AUTH text chunks. Chunks are big-endian and passed by their sizes.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t CHUNK_HEADER_SIZE = 8;
constexpr std::size_t FORM_HEADER_SIZE = 12;

constexpr NamedField TEXT_CHUNKS[] = {{"NAME", TAG_TITLE}, {"AUTH", TAG_ARTIST}};

}  // namespace

bool readAiffTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                  TagFields& fields) {
    if (headLength < FORM_HEADER_SIZE || std::memcmp(head, "FORM", 4) != 0) return false;
    const bool compressed = std::memcmp(head + 8, "AIFC", 4) == 0;
    if (!compressed && std::memcmp(head + 8, "AIFF", 4) != 0) return false;
    fields.container = compressed ? "AIFF-C" : "AIFF";
    std::uint64_t end = CHUNK_HEADER_SIZE + static_cast<std::uint64_t>(bigEndian32(head + 4));
    if (end > reader.size) end = reader.size;
    // The text chunks count only where the ID3 tag lacks a field; it may come last.
    TagFields named;
    clearTagFields(named);
    named.source = "NAME/AUTH";
    std::uint64_t offset = FORM_HEADER_SIZE;
    for (unsigned chunks = 0; chunks < TAG_ITEMS_PER_LEVEL; ++chunks) {
        unsigned char header[CHUNK_HEADER_SIZE];
        if (!rangeFits(offset, CHUNK_HEADER_SIZE, end) ||
            !readMediaBytes(reader, offset, header, sizeof header)) {
            break;
        }
        const std::uint64_t size = bigEndian32(header + 4);
        const std::uint64_t data = offset + CHUNK_HEADER_SIZE;
        if (!rangeFits(data, size, end)) break;
        if (std::memcmp(header, "ID3 ", 4) == 0 || std::memcmp(header, "id3 ", 4) == 0) {
            std::uint64_t tagEnd = 0;
            readId3v2(reader, data, size, fields, tagEnd);
        }
        for (const NamedField& chunk : TEXT_CHUNKS) {
            if (std::memcmp(header, chunk.name, 4) == 0) {
                readTagField(reader, named, chunk.kind, data, size, TagEncoding::Utf8);
            }
        }
        offset = data + size + (size & 1);
    }
    fillMissingFields(fields, named);
    return true;
}
