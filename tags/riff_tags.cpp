// RIFF files, WAV and AVI: the LIST/INFO chunk (INAM, IART, IPRD) and, in
// WAV, an id3 chunk holding an ID3v2 tag. Chunks are passed by their sizes.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t CHUNK_HEADER_SIZE = 8;
constexpr std::size_t RIFF_HEADER_SIZE = 12;

constexpr NamedField INFO_NAMES[] = {
    {"INAM", TAG_TITLE},
    {"IART", TAG_ARTIST},
    {"IPRD", TAG_ALBUM},
};

// Reads the fields of the INFO list whose sub-chunks lie in [offset, end).
// Windows programs wrote them in the ANSI code page, ffmpeg writes UTF-8.
void readInfoList(MediaReader& reader, std::uint64_t offset, std::uint64_t end, TagFields& fields) {
    fields.source = "LIST/INFO";
    for (unsigned chunks = 0; chunks < TAG_ITEMS_PER_LEVEL; ++chunks) {
        unsigned char header[CHUNK_HEADER_SIZE];
        if (!rangeFits(offset, sizeof header, end) ||
            !readMediaBytes(reader, offset, header, sizeof header)) {
            return;
        }
        const std::uint64_t size = littleEndian32(header + 4);
        const std::uint64_t data = offset + sizeof header;
        const std::uint64_t kept = rangeFits(data, size, end) ? size : end - data;
        for (const NamedField& name : INFO_NAMES) {
            if (std::memcmp(header, name.name, 4) == 0) {
                readTagField(reader, fields, name.kind, data, kept, TagEncoding::Utf8);
            }
        }
        offset = data + kept + (kept & 1);
    }
}

}  // namespace

bool readRiffTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                  TagFields& fields) {
    if (headLength < RIFF_HEADER_SIZE ||
        (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RF64", 4) != 0)) {
        return false;
    }
    const bool wave = std::memcmp(head + 8, "WAVE", 4) == 0;
    if (!wave && std::memcmp(head + 8, "AVI ", 4) != 0) return false;
    fields.container = wave ? "WAV" : "AVI";
    // A size the writer could not know (a stream, or RF64) reaches the end.
    std::uint64_t end = CHUNK_HEADER_SIZE + static_cast<std::uint64_t>(littleEndian32(head + 4));
    if (end > reader.size || littleEndian32(head + 4) == 0xFFFFFFFF) end = reader.size;
    std::uint64_t offset = RIFF_HEADER_SIZE;
    for (unsigned chunks = 0; chunks < TAG_ITEMS_PER_LEVEL && !allFieldsPresent(fields); ++chunks) {
        unsigned char header[CHUNK_HEADER_SIZE + 4];
        if (!rangeFits(offset, CHUNK_HEADER_SIZE, end) ||
            !readMediaBytes(reader, offset, header, CHUNK_HEADER_SIZE)) {
            break;
        }
        const std::uint64_t size = littleEndian32(header + 4);
        const std::uint64_t data = offset + CHUNK_HEADER_SIZE;
        if (!rangeFits(data, size, end)) break;
        if (std::memcmp(header, "LIST", 4) == 0 && size >= 4 &&
            readMediaBytes(reader, data, header + CHUNK_HEADER_SIZE, 4) &&
            std::memcmp(header + CHUNK_HEADER_SIZE, "INFO", 4) == 0) {
            readInfoList(reader, data + 4, data + size, fields);
        } else if (wave &&
                   (std::memcmp(header, "id3 ", 4) == 0 || std::memcmp(header, "ID3 ", 4) == 0)) {
            std::uint64_t tagEnd = 0;
            readId3v2(reader, data, size, fields, tagEnd);
        }
        offset = data + size + (size & 1);
    }
    return true;
}
