// DSF (DSD audio): the ID3v2 tag that the file's DSD chunk points to, and
// how long it plays: the format chunk's sample count by its sampling rate.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t DSD_CHUNK_SIZE = 28;
constexpr std::size_t METADATA_POINTER_OFFSET = 20;
constexpr std::size_t FORMAT_CHUNK_READ = 44;  // up to the sample count
constexpr std::size_t SAMPLING_RATE_OFFSET = 28;
constexpr std::size_t SAMPLE_COUNT_OFFSET = 36;

}  // namespace

bool readDsfTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields) {
    if (headLength < DSD_CHUNK_SIZE || std::memcmp(head, "DSD ", 4) != 0 ||
        littleEndian64(head + 4) != DSD_CHUNK_SIZE) {
        return false;
    }
    fields.container = "DSF";
    fields.facts.pictures = PictureTrack::None;
    unsigned char format[FORMAT_CHUNK_READ];
    if (fields.facts.wanted && readMediaBytes(reader, DSD_CHUNK_SIZE, format, sizeof format) &&
        std::memcmp(format, "fmt ", 4) == 0) {
        setDuration(fields, littleEndian64(format + SAMPLE_COUNT_OFFSET),
                    littleEndian32(format + SAMPLING_RATE_OFFSET), reader.size,
                    PCM_MINIMUM_BYTE_RATE);
    }
    const std::uint64_t metadata = littleEndian64(head + METADATA_POINTER_OFFSET);
    std::uint64_t tagEnd = 0;
    // 0: no tag.
    if (metadata >= DSD_CHUNK_SIZE && metadata < reader.size) {
        readId3v2(reader, metadata, reader.size - metadata, fields, tagEnd);
    }
    return true;
}
