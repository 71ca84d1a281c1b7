// How long an Ogg file plays: the longest of its streams, each by the
// granule position of its last page less its first sample's. Vorbis, Speex
// and FLAC count samples, Opus samples at 48 kHz less its pre-skip, Theora
// frames (the key frame's number above the granule's shift, the frames since
// it below). A stream's last page is looked for backwards from the end a
// longest page's reach, then by walking the pages' headers from
// PAGE_WALK_REACH before the end; its first sample, for Vorbis and Opus, is
// its first audio page's position less the samples that page's packets add.
#include "tags/ogg_length.h"

#include <cstring>

namespace {

constexpr std::size_t THEORA_FRAME_RATE_OFFSET = 22;  // numerator, then denominator
constexpr std::size_t THEORA_SHIFT_OFFSET = 40;
constexpr std::size_t SPEEX_RATE_OFFSET = 36;
constexpr std::size_t VORBIS_RATE_OFFSET = 12;
constexpr std::size_t OPUS_PRE_SKIP_OFFSET = 10;
constexpr std::uint32_t OPUS_RATE = 48000;
constexpr std::size_t OGG_FLAC_STREAMINFO_OFFSET = 17;
constexpr std::size_t FLAC_STREAMINFO_READ = 18;
// Where the last pages of a stream lie further back than a longest page
// from the end (a video's pages after the audio ended), its pages are
// walked by their headers from this far before the end.
constexpr std::uint64_t PAGE_WALK_REACH = 1024 * 1024;
// The longest page: its header, 255 lacing values and 255 segments of 255 bytes.
constexpr std::uint64_t LONGEST_PAGE = OGG_PAGE_HEADER_SIZE + 255 + 255 * 255;
constexpr std::size_t TAIL_PIECE = MEDIA_WINDOW_SIZE;

// A page as walked: its header's facts and its lacing values.
struct OggPage {
    std::uint32_t serial;
    std::uint64_t granule;
    std::uint64_t body;    // where its packets' bytes begin
    std::uint64_t length;  // of the whole page
    std::size_t segments;
    unsigned char lacing[255];
};

// Reads the page at `offset`, its header and lacing values in one small read.
bool readOggPage(MediaReader& reader, std::uint64_t offset, OggPage& page) {
    unsigned char bytes[SMALL_READ_MAXIMUM];
    if (offset > reader.size) return false;
    const std::uint64_t left = reader.size - offset;
    const std::size_t length = static_cast<std::size_t>(left < sizeof bytes ? left : sizeof bytes);
    if (length < OGG_PAGE_HEADER_SIZE || !readMediaHeader(reader, offset, bytes, length) ||
        std::memcmp(bytes, "OggS", 4) != 0 || bytes[4] != 0) {
        return false;
    }
    page.segments = bytes[26];
    if (OGG_PAGE_HEADER_SIZE + page.segments > length) return false;
    std::memcpy(page.lacing, bytes + OGG_PAGE_HEADER_SIZE, page.segments);
    std::uint64_t bodyLength = 0;
    for (std::size_t i = 0; i < page.segments; ++i) bodyLength += page.lacing[i];
    page.serial = littleEndian32(bytes + OGG_SERIAL_OFFSET);
    page.granule = littleEndian64(bytes + OGG_GRANULE_OFFSET);
    page.body = offset + OGG_PAGE_HEADER_SIZE + page.segments;
    page.length = OGG_PAGE_HEADER_SIZE + page.segments + bodyLength;
    return rangeFits(offset, page.length, reader.size);
}

// Reads bits backwards from the end of a packet's last bytes: Vorbis packs
// each byte's bits from its lowest, so the bytes taken last first, each
// from its highest bit, give the packet's bits last first.
struct BackwardBits {
    const unsigned char* bytes;  // the packet's last bytes
    std::size_t length;
    std::size_t position;  // bits read
    std::size_t left() const { return length * 8 - position; }
    unsigned take(unsigned count) {
        unsigned value = 0;
        for (unsigned i = 0; i < count; ++i, ++position) {
            const unsigned char byte = bytes[length - 1 - position / 8];
            value = value << 1 | ((byte >> (7 - position % 8)) & 1u);
        }
        return value;
    }
};

// The bytes of a Vorbis setup header's end that hold its modes: 64 of 41
// bits, their count, the framing bit, and room for the search.
constexpr std::size_t SETUP_TAIL = 350;
constexpr unsigned VORBIS_MODES_MAXIMUM = 64;
constexpr std::size_t VORBIS_BLOCK_SIZES_OFFSET = 28;

// Each mode's block flag, read from the end of the setup header (`tail`,
// `length` bytes), where the modes end it: each mode's mapping (8 bits, at
// most 63), window and transform types (16 bits each, both 0) and block
// flag, read last first until they stop being modes; as many of them as
// the 6-bit count before them confirms. Returns the number of modes, 0 for none.
unsigned readVorbisModes(const unsigned char* tail, std::size_t length, bool* blockFlags) {
    BackwardBits bits{tail, length, 0};
    constexpr unsigned MODE_BITS = 41;
    constexpr std::size_t ROOM = 97;  // a mode and what must come before the list
    while (bits.left() > ROOM && bits.take(1) == 0) {
    }
    const std::size_t framing = bits.position;
    unsigned modes = 0;
    unsigned confirmed = 0;
    while (bits.left() >= ROOM && modes < VORBIS_MODES_MAXIMUM) {
        if (bits.take(8) > 63 || bits.take(16) != 0 || bits.take(16) != 0) break;
        bits.take(1);
        ++modes;
        BackwardBits count = bits;
        if (count.take(6) + 1 == modes) confirmed = modes;
    }
    bits.position = framing;
    for (unsigned mode = confirmed; mode > 0; --mode) {
        bits.take(MODE_BITS - 1);
        blockFlags[mode - 1] = bits.take(1) != 0;
    }
    return confirmed;
}

// Samples in an Opus packet at 48 kHz, from its table of contents (`first`,
// `length` of its bytes at hand): frames of its configuration's length.
std::uint64_t opusPacketSamples(const unsigned char* first, std::size_t length) {
    static constexpr std::uint32_t SILK[] = {480, 960, 1920, 2880};
    static constexpr std::uint32_t HYBRID[] = {480, 960};
    static constexpr std::uint32_t CELT[] = {120, 240, 480, 960};
    const unsigned config = first[0] >> 3;
    const std::uint32_t frame = config < 12   ? SILK[config & 3]
                                : config < 16 ? HYBRID[config & 1]
                                              : CELT[config & 3];
    const unsigned code = first[0] & 3u;
    const unsigned frames = code == 0 ? 1 : code < 3 ? 2 : (length > 1 ? first[1] & 0x3Fu : 0);
    return static_cast<std::uint64_t>(frames) * frame;
}

// The samples that the packets ending on `page` add, from each one's first
// bytes: Vorbis by its blocks (a quarter of the block before and of its
// own; before the first, a short one), Opus by its table of contents.
// Returns false when a packet cannot be read or is no audio.
bool pageSamples(MediaReader& reader, const OggPage& page, const OggTimedStream& stream,
                 const bool* blockFlags, unsigned modes, std::uint64_t& samples) {
    const unsigned char sizes = stream.identification[VORBIS_BLOCK_SIZES_OFFSET];
    const std::uint64_t shortBlock = std::uint64_t{1} << (sizes & 0x0F);
    const std::uint64_t longBlock = std::uint64_t{1} << (sizes >> 4);
    unsigned modeBits = 0;
    while ((1u << modeBits) < modes) ++modeBits;
    std::uint64_t previousBlock = shortBlock;
    std::uint64_t packetStart = page.body;
    std::uint64_t at = page.body;
    samples = 0;
    for (std::size_t i = 0; i < page.segments; ++i) {
        at += page.lacing[i];
        if (page.lacing[i] == 255) continue;
        unsigned char first[2] = {0, 0};
        const std::uint64_t packetLength = at - packetStart;
        const std::size_t wanted =
            packetLength < sizeof first ? static_cast<std::size_t>(packetLength) : sizeof first;
        if (wanted == 0 || !readMediaBytes(reader, packetStart, first, wanted)) return false;
        if (stream.timing == OggTiming::Opus) {
            samples += opusPacketSamples(first, wanted);
        } else {
            if ((first[0] & 1) != 0) return false;  // a header packet among the audio
            const unsigned mode = (first[0] >> 1) & ((1u << modeBits) - 1);
            if (mode >= modes) return false;
            const std::uint64_t block = blockFlags[mode] ? longBlock : shortBlock;
            // A long block says, in the bit after its mode, what came before it.
            if (blockFlags[mode]) {
                previousBlock = ((first[0] >> (modeBits + 1)) & 1u) != 0 ? longBlock : shortBlock;
            }
            samples += (previousBlock + block) / 4;
            previousBlock = block;
        }
        packetStart = at;
    }
    return true;
}

// The stream's first sample in its granule's units, as players time it: the
// first audio page's granule position less the samples its packets add
// (none below 0). Vorbis and Opus only, whose headers end their pages; 0
// for the others and where the pages cannot be read.
std::uint64_t streamStart(MediaReader& reader, const OggTimedStream& stream) {
    const bool vorbis = stream.timing == OggTiming::Vorbis;
    if (!vorbis && stream.timing != OggTiming::Opus) return 0;
    const unsigned char sizes = stream.identification[VORBIS_BLOCK_SIZES_OFFSET];
    if (vorbis && ((sizes & 0x0F) < 6 || (sizes >> 4) > 13 || (sizes & 0x0F) > (sizes >> 4))) {
        return 0;  // block sizes outside Vorbis's 64 to 8192
    }
    const unsigned headers = vorbis ? 3 : 2;
    // The last few segments of the packet being walked: the setup header's
    // end is read from them.
    constexpr std::size_t KEPT_SEGMENTS = 3;
    std::uint64_t segmentAt[KEPT_SEGMENTS] = {};
    std::size_t segmentLength[KEPT_SEGMENTS] = {};
    unsigned packets = 0;
    bool blockFlags[VORBIS_MODES_MAXIMUM] = {};
    unsigned modes = 0;
    OggPage page;
    std::uint64_t offset = stream.firstPage;
    for (unsigned pages = 0; pages < TAG_ITEMS_PER_LEVEL; ++pages, offset += page.length) {
        if (!readOggPage(reader, offset, page)) return 0;
        if (page.serial != stream.serial) continue;
        if (packets == headers) {
            std::uint64_t samples = 0;
            if (page.granule >> 63 != 0 ||
                !pageSamples(reader, page, stream, blockFlags, modes, samples)) {
                return 0;
            }
            return page.granule > samples ? page.granule - samples : 0;
        }
        std::uint64_t at = page.body;
        for (std::size_t i = 0; i < page.segments; ++i) {
            for (std::size_t k = 1; k < KEPT_SEGMENTS; ++k) {
                segmentAt[k - 1] = segmentAt[k];
                segmentLength[k - 1] = segmentLength[k];
            }
            segmentAt[KEPT_SEGMENTS - 1] = at;
            segmentLength[KEPT_SEGMENTS - 1] = page.lacing[i];
            at += page.lacing[i];
            if (page.lacing[i] == 255) continue;
            // A header packet ends here; the last one must end its page too.
            if (++packets == headers && i + 1 != page.segments) return 0;
            if (packets == headers && vorbis) {
                unsigned char tail[SETUP_TAIL];
                std::size_t gathered = 0;
                // From the last segment back: each earlier one goes before what is gathered.
                for (std::size_t k = KEPT_SEGMENTS; k > 0 && gathered < sizeof tail; --k) {
                    std::size_t piece = segmentLength[k - 1];
                    if (piece > sizeof tail - gathered) piece = sizeof tail - gathered;
                    if (piece == 0) continue;
                    std::memmove(tail + piece, tail, gathered);
                    if (!readMediaBytes(reader, segmentAt[k - 1] + segmentLength[k - 1] - piece,
                                        tail, piece)) {
                        return 0;
                    }
                    gathered += piece;
                }
                modes = readVorbisModes(tail, gathered, blockFlags);
                if (modes == 0) return 0;
            }
            for (std::size_t& length : segmentLength) length = 0;
        }
    }
    return 0;
}

// Notes the page header at `page` for the stream it belongs to, unless that
// stream's last page is found already (`final`: from the end backwards).
void notePage(const unsigned char* page, OggTimedStream* streams, std::size_t count, bool final) {
    for (std::size_t i = 0; i < count; ++i) {
        if (littleEndian32(page + OGG_SERIAL_OFFSET) != streams[i].serial) continue;
        if (final && streams[i].found) return;
        streams[i].found = true;
        streams[i].granule = littleEndian64(page + OGG_GRANULE_OFFSET);
    }
}

bool allFound(const OggTimedStream* streams, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!streams[i].found) return false;
    }
    return true;
}

// The last pages of the streams, looked for backwards from the end, a
// longest page's reach at most.
void findLastPagesNearTheEnd(MediaReader& reader, OggTimedStream* streams, std::size_t count) {
    unsigned char piece[TAIL_PIECE];
    constexpr std::size_t quarter = TAIL_PIECE / 4;
    std::uint64_t end = reader.size;
    for (std::uint64_t searched = 0;
         searched < LONGEST_PAGE && end >= OGG_PAGE_HEADER_SIZE && !allFound(streams, count);) {
        const std::uint64_t start = end > TAIL_PIECE ? end - TAIL_PIECE : 0;
        const std::size_t length = static_cast<std::size_t>(end - start);
        // The reader takes a quarter window before a seek's target: asking
        // for the later part first fills the window with the whole piece.
        const bool whole = length == TAIL_PIECE;
        if (whole ? !readMediaBytes(reader, start + quarter, piece + quarter, length - quarter) ||
                        !readMediaBytes(reader, start, piece, quarter)
                  : !readMediaBytes(reader, start, piece, length)) {
            return;
        }
        // The page headers in the piece, the last last: forwards from one
        // 'O' to the next, as memchr finds them fast.
        const unsigned char* pages[OGG_TIMED_STREAMS_MAXIMUM] = {};
        const unsigned char* const lastStart = piece + (length - OGG_PAGE_HEADER_SIZE);
        for (const unsigned char* page = piece; page <= lastStart; ++page) {
            page = static_cast<const unsigned char*>(
                std::memchr(page, 'O', static_cast<std::size_t>(lastStart - page) + 1));
            if (page == nullptr) break;
            if (std::memcmp(page, "OggS", 4) != 0 || page[4] != 0) continue;
            for (std::size_t i = 0; i < count; ++i) {
                if (littleEndian32(page + OGG_SERIAL_OFFSET) == streams[i].serial) pages[i] = page;
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (pages[i] != nullptr) notePage(pages[i], streams, count, true);
        }
        if (start == 0) return;
        // The next piece overlaps this one by a header, which may straddle them.
        searched += length - OGG_PAGE_HEADER_SIZE;
        end = start + OGG_PAGE_HEADER_SIZE - 1;
    }
}

// The length of the page whose header and lacing values are at `page`
// (`length` bytes of them at hand), or 0 when they are not all there.
std::uint64_t pageLength(const unsigned char* page, std::size_t length) {
    const std::size_t segments = page[26];
    if (OGG_PAGE_HEADER_SIZE + segments > length) return 0;
    std::uint64_t body = 0;
    for (std::size_t i = 0; i < segments; ++i) body += page[OGG_PAGE_HEADER_SIZE + i];
    return OGG_PAGE_HEADER_SIZE + segments + body;
}

// The last pages of the streams not found near the end: from the first page
// found PAGE_WALK_REACH before the end (one whose length leads to the next),
// each page's header to the end, a small read each. What a walk that did
// not reach the end found counts for nothing.
void walkLastPages(MediaReader& reader, OggTimedStream* streams, std::size_t count) {
    if (reader.size <= LONGEST_PAGE) return;  // searched whole from the end already
    OggTimedStream walked[OGG_TIMED_STREAMS_MAXIMUM];
    std::memcpy(walked, streams, count * sizeof walked[0]);
    for (std::size_t i = 0; i < count; ++i) walked[i].found = false;
    const std::uint64_t from = reader.size > PAGE_WALK_REACH ? reader.size - PAGE_WALK_REACH : 0;
    unsigned char window[MEDIA_WINDOW_SIZE];
    const std::uint64_t left = reader.size - from;
    const std::size_t length =
        static_cast<std::size_t>(left < sizeof window ? left : sizeof window);
    if (!readMediaBytes(reader, from, window, length)) return;
    unsigned char page[SMALL_READ_MAXIMUM];
    std::uint64_t offset = reader.size;
    for (std::size_t at = 0; at + OGG_PAGE_HEADER_SIZE <= length; ++at) {
        if (std::memcmp(window + at, "OggS", 4) != 0 || window[at + 4] != 0) continue;
        const std::uint64_t pageSize = pageLength(window + at, length - at);
        const std::uint64_t next = from + at + pageSize;
        if (pageSize == 0 || !rangeFits(next, OGG_PAGE_HEADER_SIZE, reader.size)) continue;
        if (readMediaHeader(reader, next, page, 5) && std::memcmp(page, "OggS", 5) == 0) {
            offset = from + at;
            break;
        }
    }
    for (unsigned pages = 0; offset < reader.size && pages < TAG_ITEMS_PER_LEVEL; ++pages) {
        const std::uint64_t rest = reader.size - offset;
        const std::size_t headerLength =
            static_cast<std::size_t>(rest < sizeof page ? rest : sizeof page);
        if (headerLength < OGG_PAGE_HEADER_SIZE ||
            !readMediaHeader(reader, offset, page, headerLength) ||
            std::memcmp(page, "OggS", 4) != 0 || page[4] != 0) {
            return;
        }
        const std::uint64_t pageSize = pageLength(page, headerLength);
        if (pageSize == 0 || !rangeFits(offset, pageSize, reader.size)) return;
        notePage(page, walked, count, false);
        offset += pageSize;
    }
    if (offset != reader.size) return;
    for (std::size_t i = 0; i < count; ++i) {
        if (!streams[i].found && walked[i].found) streams[i] = walked[i];
    }
}

// How long a stream plays by the granule position of its last page: in
// `units`, `unitsPerSecond` of them a second. Returns false when the
// position says nothing (-1: no packet ends on the page).
bool streamLength(const OggTimedStream& stream, std::uint64_t start, std::uint64_t& units,
                  std::uint64_t& unitsPerSecond) {
    if (stream.granule >> 63 != 0 || stream.granule < start) return false;
    const std::uint64_t granule = stream.granule - start;
    const unsigned char* id = stream.identification;
    switch (stream.timing) {
        case OggTiming::Vorbis:
            units = granule;
            unitsPerSecond = littleEndian32(id + VORBIS_RATE_OFFSET);
            return true;
        case OggTiming::Speex:
            units = granule;
            unitsPerSecond = littleEndian32(id + SPEEX_RATE_OFFSET);
            return true;
        case OggTiming::Flac:
            units = granule;
            unitsPerSecond = flacStreamInfoRate(id + OGG_FLAC_STREAMINFO_OFFSET);
            return true;
        case OggTiming::Opus: {
            const std::uint64_t preSkip = littleEndian16(id + OPUS_PRE_SKIP_OFFSET);
            units = granule > preSkip ? granule - preSkip : 0;
            unitsPerSecond = OPUS_RATE;
            return true;
        }
        case OggTiming::Theora: {
            // The last key frame's number above the shift, the frames since it below.
            const unsigned shift =
                (id[THEORA_SHIFT_OFFSET] & 0x03u) << 3 | id[THEORA_SHIFT_OFFSET + 1] >> 5;
            const std::uint64_t frames =
                (granule >> shift) + (granule & ((std::uint64_t{1} << shift) - 1));
            const std::uint64_t frameTime = bigEndian32(id + THEORA_FRAME_RATE_OFFSET + 4);
            // Both at most 2^63 and 2^32: the product could overflow; such a count lies anyway.
            if (frameTime != 0 && frames > ~std::uint64_t{0} / frameTime) return false;
            units = frames * frameTime;
            unitsPerSecond = bigEndian32(id + THEORA_FRAME_RATE_OFFSET);
            return true;
        }
    }
    return false;
}

}  // namespace

std::size_t oggTimingHeaderLength(OggTiming timing) {
    switch (timing) {
        case OggTiming::Vorbis:
            return VORBIS_RATE_OFFSET + 4;
        case OggTiming::Opus:
            return OPUS_PRE_SKIP_OFFSET + 2;
        case OggTiming::Theora:
            return OGG_IDENTIFICATION_READ;
        case OggTiming::Speex:
            return SPEEX_RATE_OFFSET + 4;
        case OggTiming::Flac:
            return OGG_FLAC_STREAMINFO_OFFSET + FLAC_STREAMINFO_READ;
    }
    return OGG_IDENTIFICATION_READ;
}

std::uint32_t flacStreamInfoRate(const unsigned char* info) {
    return static_cast<std::uint32_t>(info[10]) << 12 | static_cast<std::uint32_t>(info[11]) << 4 |
           info[12] >> 4;
}

void readOggLength(MediaReader& reader, OggTimedStream* streams, std::size_t count,
                   TagFields& fields) {
    findLastPagesNearTheEnd(reader, streams, count);
    if (!allFound(streams, count)) walkLastPages(reader, streams, count);
    const OggTimedStream* longest = nullptr;
    std::uint64_t longestUnits = 0;
    std::uint64_t longestRate = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint64_t units = 0;
        std::uint64_t rate = 0;
        if (!streams[i].found) continue;
        const std::uint64_t start = streamStart(reader, streams[i]);
        if (!streamLength(streams[i], start, units, rate) || units == 0 || rate == 0) {
            continue;
        }
        // units / rate > longestUnits / longestRate, without overflow.
        const double seconds = static_cast<double>(units) / static_cast<double>(rate);
        if (longest == nullptr ||
            seconds > static_cast<double>(longestUnits) / static_cast<double>(longestRate)) {
            longest = &streams[i];
            longestUnits = units;
            longestRate = rate;
        }
    }
    if (longest == nullptr) return;
    const bool lossy = longest->timing == OggTiming::Vorbis || longest->timing == OggTiming::Opus ||
                       longest->timing == OggTiming::Speex;
    setDuration(fields, longestUnits, longestRate, reader.size,
                lossy ? LOSSY_MINIMUM_BYTE_RATE : LOSSLESS_MINIMUM_BYTE_RATE);
}
