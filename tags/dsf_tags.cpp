// DSF (DSD audio): the ID3v2 tag that the file's DSD chunk points to.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t DSD_CHUNK_SIZE = 28;
constexpr std::size_t METADATA_POINTER_OFFSET = 20;

}  // namespace

bool readDsfTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields) {
    if (headLength < DSD_CHUNK_SIZE || std::memcmp(head, "DSD ", 4) != 0 ||
        littleEndian64(head + 4) != DSD_CHUNK_SIZE) {
        return false;
    }
    fields.container = "DSF";
    const std::uint64_t metadata = littleEndian64(head + METADATA_POINTER_OFFSET);
    std::uint64_t tagEnd = 0;
    // 0: no tag.
    if (metadata >= DSD_CHUNK_SIZE && metadata < reader.size) {
        readId3v2(reader, metadata, reader.size - metadata, fields, tagEnd);
    }
    return true;
}
