// How long the formats that keep their tags at the end play, from their
// own headers: WavPack's block header, Monkey's Audio's header, TTA's, and
// Musepack's (SV7 frames, SV8 stream header). TAK and OptimFROG do not say
// it cheaply: no duration. All of them are audio only.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::uint32_t WAVPACK_RATES[] = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                           32000, 44100, 48000, 64000, 88200, 96000, 192000};
constexpr std::size_t WAVPACK_HEADER_SIZE = 32;
constexpr std::uint32_t WAVPACK_UNKNOWN_SAMPLES = 0xFFFFFFFF;
constexpr unsigned WAVPACK_RATE_SHIFT = 23;
constexpr std::uint32_t WAVPACK_DSD = 0x80000000;
constexpr unsigned WAVPACK_DSD_RATE_FACTOR = 4;

constexpr std::uint32_t MONKEYS_DESCRIPTOR_VERSION = 3980;  // the header after a descriptor
constexpr std::size_t MONKEYS_OLD_HEADER_SIZE = 32;
constexpr std::size_t MONKEYS_HEADER_SIZE = 24;
constexpr std::uint32_t MONKEYS_LONGEST_DESCRIPTOR = 1024;

constexpr std::size_t TTA_HEADER_SIZE = 18;

constexpr std::uint32_t MUSEPACK_RATES[] = {44100, 48000, 37800, 32000};
constexpr std::uint64_t MUSEPACK_FRAME_SAMPLES = 1152;
constexpr std::size_t MUSEPACK_PACKET_READ = 32;
constexpr unsigned MUSEPACK_LONGEST_NUMBER = 9;  // bytes of a 63-bit size

void readWavPack(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields) {
    if (headLength < WAVPACK_HEADER_SIZE) return;
    const std::uint32_t low = littleEndian32(head + 12);
    if (low == WAVPACK_UNKNOWN_SAMPLES || littleEndian32(head + 16) != 0) return;
    const std::uint64_t samples = static_cast<std::uint64_t>(head[11]) << 32 | low;
    const std::uint32_t flags = littleEndian32(head + 24);
    const unsigned index = (flags >> WAVPACK_RATE_SHIFT) & 0xF;
    if (index >= sizeof WAVPACK_RATES / sizeof WAVPACK_RATES[0]) return;  // a rate of its own
    std::uint64_t rate = WAVPACK_RATES[index];
    if ((flags & WAVPACK_DSD) != 0) rate *= WAVPACK_DSD_RATE_FACTOR;
    setDuration(fields, samples, rate, reader.size, LOSSLESS_MINIMUM_BYTE_RATE);
}

void readMonkeysAudio(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                      TagFields& fields) {
    if (headLength < MONKEYS_OLD_HEADER_SIZE) return;
    const std::uint32_t version = littleEndian16(head + 4);
    std::uint64_t blocksPerFrame = 0;
    std::uint64_t finalFrameBlocks = 0;
    std::uint64_t totalFrames = 0;
    std::uint32_t rate = 0;
    if (version >= MONKEYS_DESCRIPTOR_VERSION) {
        const std::uint32_t descriptor = littleEndian32(head + 8);
        unsigned char header[MONKEYS_HEADER_SIZE];
        if (descriptor > MONKEYS_LONGEST_DESCRIPTOR ||
            !readMediaBytes(reader, descriptor, header, sizeof header)) {
            return;
        }
        blocksPerFrame = littleEndian32(header + 4);
        finalFrameBlocks = littleEndian32(header + 8);
        totalFrames = littleEndian32(header + 12);
        rate = littleEndian32(header + 20);
    } else {
        const std::uint32_t compression = littleEndian16(head + 6);
        rate = littleEndian32(head + 12);
        totalFrames = littleEndian32(head + 24);
        finalFrameBlocks = littleEndian32(head + 28);
        constexpr std::uint64_t frameBlocks = 73728;
        constexpr std::uint32_t extraHigh = 4000;
        blocksPerFrame = version >= 3950                                                ? frameBlocks * 4
                         : version >= 3900 || (version >= 3800 && compression == extraHigh) ? frameBlocks
                                                                                          : 9216;
    }
    if (totalFrames == 0 || finalFrameBlocks > blocksPerFrame) return;
    setDuration(fields, (totalFrames - 1) * blocksPerFrame + finalFrameBlocks, rate, reader.size,
                LOSSLESS_MINIMUM_BYTE_RATE);
}

void readTta(MediaReader& reader, const unsigned char* head, std::size_t headLength,
             TagFields& fields) {
    if (headLength < TTA_HEADER_SIZE) return;
    setDuration(fields, littleEndian32(head + 14), littleEndian32(head + 10), reader.size,
                LOSSLESS_MINIMUM_BYTE_RATE);
}

// A Musepack SV8 number: 7 bits a byte, the high bit set on all but the
// last. Returns the bytes it took, 0 when it runs past `length` or is too long.
std::size_t readMusepackNumber(const unsigned char* bytes, std::size_t length,
                               std::uint64_t& value) {
    value = 0;
    for (std::size_t i = 0; i < length && i < MUSEPACK_LONGEST_NUMBER; ++i) {
        value = value << 7 | (bytes[i] & 0x7F);
        if ((bytes[i] & 0x80) == 0) return i + 1;
    }
    return 0;
}

void readMusepack(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                  TagFields& fields) {
    constexpr std::size_t sv7HeaderSize = 12;
    if (headLength >= sv7HeaderSize && std::memcmp(head, "MP+", 3) == 0) {
        constexpr unsigned sv7 = 7;
        const std::uint64_t frames = littleEndian32(head + 4);
        // The last frame is half used on average, as the format's own tools count it.
        if ((head[3] & 0xF) < sv7 || frames == 0) return;
        const std::uint32_t rate = MUSEPACK_RATES[(littleEndian32(head + 8) >> 16) & 3];
        setDuration(fields, 2 * frames * MUSEPACK_FRAME_SAMPLES - MUSEPACK_FRAME_SAMPLES, 2 * rate,
                    reader.size, LOSSY_MINIMUM_BYTE_RATE);
        return;
    }
    // SV8: packets of a two-letter key and a size; the stream header first
    // after the magic, or after the few packets some writers put there.
    std::uint64_t offset = 4;
    for (unsigned packets = 0; packets < TAG_ITEMS_PER_LEVEL; ++packets) {
        unsigned char packet[MUSEPACK_PACKET_READ];
        const std::uint64_t left = reader.size > offset ? reader.size - offset : 0;
        const std::size_t got = static_cast<std::size_t>(left < sizeof packet ? left : sizeof packet);
        std::uint64_t size = 0;
        const std::size_t sizeBytes =
            got > 2 && readMediaBytes(reader, offset, packet, got)
                ? readMusepackNumber(packet + 2, got - 2, size)
                : 0;
        if (sizeBytes == 0 || size < 2 + sizeBytes || !rangeFits(offset, size, reader.size)) return;
        if (std::memcmp(packet, "SH", 2) == 0) {
            constexpr std::size_t crcAndVersion = 5;
            std::size_t at = 2 + sizeBytes + crcAndVersion;
            std::uint64_t samples = 0;
            std::uint64_t silence = 0;
            const std::size_t end = static_cast<std::size_t>(size < got ? size : got);
            if (at >= end) return;
            std::size_t used = readMusepackNumber(packet + at, end - at, samples);
            if (used == 0) return;
            at += used;
            used = readMusepackNumber(packet + at, end - at, silence);
            if (used == 0 || at + used >= end || silence > samples) return;
            at += used;
            setDuration(fields, samples - silence, MUSEPACK_RATES[(packet[at] >> 5) & 3],
                        reader.size, LOSSY_MINIMUM_BYTE_RATE);
            return;
        }
        if (std::memcmp(packet, "AP", 2) == 0) return;  // the audio: no header came
        offset += size;
    }
}

}  // namespace

void readEndTaggedFacts(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                        TagFields& fields) {
    fields.facts.pictures = PictureTrack::None;
    if (headLength < 4) return;
    if (std::memcmp(head, "wvpk", 4) == 0) readWavPack(reader, head, headLength, fields);
    if (std::memcmp(head, "MAC ", 4) == 0) readMonkeysAudio(reader, head, headLength, fields);
    if (std::memcmp(head, "TTA1", 4) == 0) readTta(reader, head, headLength, fields);
    if (std::memcmp(head, "MPCK", 4) == 0 || std::memcmp(head, "MP+", 3) == 0) {
        readMusepack(reader, head, headLength, fields);
    }
}
