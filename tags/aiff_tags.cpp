// AIFF and AIFF-C: an ID3 chunk holding an ID3v2 tag, else the NAME and
// AUTH text chunks. Chunks are big-endian and passed by their sizes. How
// long it plays: the COMM chunk's sample frames by its sample rate; in
// AIFF-C, the codecs whose COMM counts packets instead (IMA 4:1, MACE 3:1
// and 6:1, GSM) by their samples in a packet.
#include <cmath>
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t CHUNK_HEADER_SIZE = 8;
constexpr std::size_t FORM_HEADER_SIZE = 12;

constexpr std::size_t COMMON_SIZE = 18;  // channels, frames, sample size, rate
constexpr std::size_t COMPRESSED_COMMON_SIZE = COMMON_SIZE + 4;  // and AIFF-C's codec
constexpr int EXTENDED_BIAS = 16383 + 63;

// AIFF-C codecs whose COMM chunk counts packets, and the samples in one.
struct PacketCodec {
    char name[5];
    std::uint32_t samplesPerPacket;
};
constexpr PacketCodec PACKET_CODECS[] = {
    {"ima4", 64},
    {"MAC3", 6},
    {"MAC6", 6},
    {"GSM ", 160},
};

// The 80-bit extended number of the rate: sign, 15-bit exponent, 64-bit
// mantissa with its integer bit. Negative, zero, infinite or NaN give 0.
double extendedNumber(const unsigned char* bytes) {
    const int exponent = static_cast<int>(bigEndian16(bytes) & 0x7FFF);
    if ((bytes[0] & 0x80) != 0 || exponent == 0x7FFF) return 0;
    return std::ldexp(static_cast<double>(bigEndian64(bytes + 2)), exponent - EXTENDED_BIAS);
}

void readCommon(MediaReader& reader, std::uint64_t data, std::uint64_t size, bool compressed,
                TagFields& fields) {
    unsigned char common[COMPRESSED_COMMON_SIZE];
    const std::size_t wanted = compressed ? COMPRESSED_COMMON_SIZE : COMMON_SIZE;
    if (size < wanted || !readMediaBytes(reader, data, common, wanted)) return;
    const double rate = extendedNumber(common + 8);
    // A rate below one sample a second is no rate.
    if (!(rate >= 1)) return;
    double samples = static_cast<double>(bigEndian32(common + 2));
    std::uint32_t minimumByteRate = PCM_MINIMUM_BYTE_RATE;
    for (const PacketCodec& codec : PACKET_CODECS) {
        if (compressed && std::memcmp(common + COMMON_SIZE, codec.name, 4) == 0) {
            samples *= codec.samplesPerPacket;
            minimumByteRate = LOSSY_MINIMUM_BYTE_RATE;
        }
    }
    setDurationSeconds(fields, samples / rate, reader.size, minimumByteRate);
}

constexpr NamedField TEXT_CHUNKS[] = {{"NAME", TAG_TITLE}, {"AUTH", TAG_ARTIST}};

}  // namespace

bool readAiffTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                  TagFields& fields) {
    if (headLength < FORM_HEADER_SIZE || std::memcmp(head, "FORM", 4) != 0) return false;
    const bool compressed = std::memcmp(head + 8, "AIFC", 4) == 0;
    if (!compressed && std::memcmp(head + 8, "AIFF", 4) != 0) return false;
    fields.container = compressed ? "AIFF-C" : "AIFF";
    fields.facts.pictures = PictureTrack::None;
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
        if (fields.facts.wanted && std::memcmp(header, "COMM", 4) == 0) {
            readCommon(reader, data, size, compressed, fields);
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
