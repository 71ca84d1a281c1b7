// The Vorbis comment (TITLE=, ARTIST=, ALBUMARTIST=, ALBUM=): in a FLAC
// file's metadata block, or in the comment packet of an Ogg Vorbis, Opus,
// Theora, Speex or FLAC stream, which may run across pages. How long it
// plays: FLAC's STREAMINFO samples by its rate; in Ogg, the longest of its
// streams by each one's last granule position: Vorbis, Speex and FLAC
// samples by their rate (FLAC's where its STREAMINFO leaves the count
// unknown, as a stream written on the fly does), Opus less its pre-skip at
// 48 kHz, Theora frames (the granule's two parts) by its frame rate.
// An Ogg file with a Theora stream has pictures.
#include <cstring>

#include "tags/ogg_length.h"
#include "tags/tag_reader.h"
#include "text/base64_text.h"

namespace {

constexpr std::size_t FLAC_BLOCK_HEADER_SIZE = 4;
constexpr unsigned FLAC_VORBIS_COMMENT = 4;
constexpr unsigned FLAC_PICTURE = 6;
// A picture's type, as FLAC and ID3v2 number them.
constexpr std::uint32_t FRONT_COVER = 3;
constexpr std::size_t MIME_CAPACITY = 64;
// A FLAC picture's width, height, colour depth and colour count.
constexpr std::uint64_t PICTURE_DIMENSIONS_SIZE = 16;
constexpr unsigned char OGG_FIRST_PAGE = 0x02;
// Room for the longest name wanted and its "=": "METADATA_BLOCK_PICTURE=".
constexpr std::size_t COMMENT_KEY_CAPACITY = 23;
// A FLAC picture block in base64, as Ogg streams carry their pictures.
constexpr char PICTURE_COMMENT[] = "METADATA_BLOCK_PICTURE";
constexpr unsigned FLAC_STREAMINFO = 0;
constexpr std::size_t STREAMINFO_READ = 18;    // up to the total samples
constexpr std::size_t STREAMINFO_LENGTH = 34;  // a shorter block is no STREAMINFO
// Where STREAMINFO lies in Ogg FLAC's first packet: after its magic,
// version, header count, "fLaC" and the block's header.
constexpr std::size_t OGG_FLAC_STREAMINFO_OFFSET = 17;
constexpr std::size_t OGG_FLAC_IDENTIFICATION_READ = OGG_FLAC_STREAMINFO_OFFSET + STREAMINFO_READ;

struct OggCodec {
    const char* identification;  // how its first packet begins
    std::size_t identificationLength;
    const char* comment;  // how its comment packet begins; null: a FLAC metadata block
    std::size_t commentLength;
    const char* container;
    OggTiming timing;
};
const OggCodec OGG_CODECS[] = {
    {"\x01vorbis", 7, "\x03vorbis", 7, "Ogg Vorbis", OggTiming::Vorbis},
    {"OpusHead", 8, "OpusTags", 8, "Ogg Opus", OggTiming::Opus},
    {"\x80theora", 7, "\x81theora", 7, "Ogg Theora", OggTiming::Theora},
    // Its comment packet is a comment block and nothing before it.
    {"Speex   ", 8, "", 0, "Ogg Speex", OggTiming::Speex},
    // Its comment packet is a metadata block: a type and a 24-bit length.
    {"\x7F"
     "FLAC",
     5, nullptr, FLAC_BLOCK_HEADER_SIZE, "Ogg FLAC", OggTiming::Flac},
};

const NamedField COMMENT_NAMES[] = {
    {"TITLE", TAG_TITLE},
    {"ARTIST", TAG_ARTIST},
    {"ALBUMARTIST", TAG_ALBUM_ARTIST},
    {"ALBUM ARTIST", TAG_ALBUM_ARTIST},
    {"ALBUM", TAG_ALBUM},
    {"MUSICBRAINZ_ALBUMID", TAG_MUSICBRAINZ_ALBUM},
};

// The bytes of a comment block: a range of the file (FLAC), or one packet
// of one logical Ogg stream, page after page.
struct CommentStream {
    MediaReader& reader;
    std::uint64_t position;  // of the next byte
    std::uint64_t end;       // FLAC: of the block; Ogg: of the current page
    bool paged;
    std::uint32_t serial;
    unsigned char lacing[255];
    std::size_t segmentCount;
    std::size_t segment;      // the segment being read
    std::size_t segmentLeft;  // its bytes not yet read
    bool packetEnded;
    unsigned pages;
    std::uint64_t pageStart;  // Ogg: of the current page
    std::uint64_t bodyStart;  // Ogg: of its body
};

// Reads the Ogg page header at `offset` into `stream`'s page state.
// Returns false when there is no page there.
// The header and its lacing values are one small read: a page passed costs
// its header, not a window.
bool readPageHeader(CommentStream& stream, std::uint64_t offset, unsigned char* header) {
    unsigned char page[SMALL_READ_MAXIMUM];
    if (offset > stream.reader.size) return false;
    const std::uint64_t left = stream.reader.size - offset;
    const std::size_t length = static_cast<std::size_t>(left < sizeof page ? left : sizeof page);
    if (length < OGG_PAGE_HEADER_SIZE || !readMediaHeader(stream.reader, offset, page, length) ||
        std::memcmp(page, "OggS", 4) != 0 || page[4] != 0) {
        return false;
    }
    std::memcpy(header, page, OGG_PAGE_HEADER_SIZE);
    stream.segmentCount = header[26];
    if (OGG_PAGE_HEADER_SIZE + stream.segmentCount > length) return false;
    std::memcpy(stream.lacing, page + OGG_PAGE_HEADER_SIZE, stream.segmentCount);
    std::uint64_t bodySize = 0;
    for (std::size_t i = 0; i < stream.segmentCount; ++i) bodySize += stream.lacing[i];
    stream.position = offset + OGG_PAGE_HEADER_SIZE + stream.segmentCount;
    stream.pageStart = offset;
    stream.bodyStart = stream.position;
    stream.end = stream.position + bodySize;
    stream.segment = 0;
    stream.segmentLeft = stream.segmentCount > 0 ? stream.lacing[0] : 0;
    return rangeFits(stream.position, bodySize, stream.reader.size);
}

// Moves to the next page of the stream's own serial number.
bool nextPage(CommentStream& stream) {
    unsigned char header[OGG_PAGE_HEADER_SIZE];
    while (stream.pages < TAG_ITEMS_PER_LEVEL) {
        ++stream.pages;
        if (!readPageHeader(stream, stream.end, header)) return false;
        if (littleEndian32(header + 14) == stream.serial) return true;
    }
    return false;
}

// Takes up to `count` bytes of the packet at the stream's place into `out`
// (skips them when `out` is null). Returns how many: fewer at its end.
std::uint64_t take(CommentStream& stream, unsigned char* out, std::uint64_t count) {
    std::uint64_t done = 0;
    while (done < count) {
        if (!stream.paged) {
            std::uint64_t piece = stream.end - stream.position;
            if (piece > count - done) piece = count - done;
            if (piece == 0) break;
            if (out != nullptr && !readMediaBytes(stream.reader, stream.position, out + done,
                                                  static_cast<std::size_t>(piece))) {
                break;
            }
            stream.position += piece;
            done += piece;
            continue;
        }
        if (stream.segmentLeft == 0) {
            if (stream.packetEnded) break;
            if (stream.segment < stream.segmentCount && stream.lacing[stream.segment] < 255) {
                stream.packetEnded = true;  // a short segment ends the packet
                break;
            }
            if (stream.segment + 1 < stream.segmentCount) {
                stream.segmentLeft = stream.lacing[++stream.segment];
            } else if (!nextPage(stream)) {
                break;
            }
            continue;
        }
        std::uint64_t piece = stream.segmentLeft;
        if (piece > count - done) piece = count - done;
        if (out != nullptr && !readMediaBytes(stream.reader, stream.position, out + done,
                                              static_cast<std::size_t>(piece))) {
            break;
        }
        stream.position += piece;
        stream.segmentLeft -= static_cast<std::size_t>(piece);
        done += piece;
    }
    return done;
}

bool takeExactly(CommentStream& stream, unsigned char* out, std::uint64_t count) {
    return take(stream, out, count) == count;
}

// Base64 decoded from a comment's value in the stream, at most `left`
// more characters of it.
struct Base64Value {
    CommentStream& stream;
    std::uint64_t left;
    unsigned char group[BASE64_GROUP_BYTES];
    std::size_t groupBytes;
    std::size_t used;  // of the group's bytes
};

bool decodeBytes(Base64Value& value, unsigned char* out, std::size_t count) {
    for (std::size_t at = 0; at < count; ++at) {
        if (value.used == value.groupBytes) {
            unsigned char characters[BASE64_GROUP_CHARACTERS];
            if (value.left < sizeof characters ||
                !takeExactly(value.stream, characters, sizeof characters)) {
                return false;
            }
            value.left -= sizeof characters;
            value.groupBytes = decodeBase64Group(characters, value.group);
            value.used = 0;
            if (value.groupBytes == 0) return false;
        }
        out[at] = value.group[value.used++];
    }
    return true;
}

// Passes `count` decoded bytes: whole groups without reading them.
bool skipBytes(Base64Value& value, std::uint64_t count) {
    const std::uint64_t inGroup =
        count < value.groupBytes - value.used ? count : value.groupBytes - value.used;
    value.used += static_cast<std::size_t>(inGroup);
    count -= inGroup;
    const std::uint64_t characters = count / BASE64_GROUP_BYTES * BASE64_GROUP_CHARACTERS;
    if (characters > value.left || !takeExactly(value.stream, nullptr, characters)) return false;
    value.left -= characters;
    unsigned char rest[BASE64_GROUP_BYTES];
    return decodeBytes(value, rest, static_cast<std::size_t>(count % BASE64_GROUP_BYTES));
}

// Locates the picture in a METADATA_BLOCK_PICTURE value of `length`
// characters at the stream's place, `skip` bytes of its pages' bodies
// from the page at `pageStart` (the value's first character). Returns the
// characters it took.
std::uint64_t locateOggPicture(CommentStream& stream, TagFields& fields, std::uint64_t length,
                               std::uint64_t pageStart, std::uint64_t skip) {
    Base64Value value{stream, length, {}, 0, 0};
    unsigned char number[8];
    unsigned char mime[MIME_CAPACITY];
    if (!decodeBytes(value, number, 8)) return length - value.left;
    const bool front = bigEndian32(number) == FRONT_COVER;
    const std::uint32_t mimeLength = bigEndian32(number + 4);
    ImageFormat format = ImageFormat::Unknown;
    if (mimeLength <= sizeof mime) {
        if (!decodeBytes(value, mime, mimeLength)) return length - value.left;
        format = imageFormatOfMime(mime, mimeLength);
    } else if (!skipBytes(value, mimeLength)) {
        return length - value.left;
    }
    if (!decodeBytes(value, number, 4) ||
        !skipBytes(value, bigEndian32(number) + PICTURE_DIMENSIONS_SIZE) ||
        !decodeBytes(value, number, 4)) {
        return length - value.left;
    }
    const std::uint32_t size = bigEndian32(number);
    // The picture begins in the group just decoded, or at the next one.
    const std::uint64_t groupStart =
        length - value.left - (value.used < value.groupBytes ? BASE64_GROUP_CHARACTERS : 0);
    const unsigned decodedSkip =
        value.used < value.groupBytes ? static_cast<unsigned>(value.used) : 0;
    const std::uint64_t characters = length - groupStart;
    if (std::uint64_t{decodedSkip} + size <=
            characters / BASE64_GROUP_CHARACTERS * BASE64_GROUP_BYTES &&
        notePicture(stream.reader, fields, front, format, PictureCoding::OggBase64, pageStart,
                    characters, size)) {
        fields.cover.serial = stream.serial;
        fields.cover.skip = skip + groupStart;
        fields.cover.decodedSkip = decodedSkip;
    }
    return length - value.left;
}

// Reads a Vorbis comment block from the stream: the vendor, then each
// KEY=value, the values of the names wanted kept, the others passed over;
// in Ogg, a picture's place noted where one is wanted.
void readComments(CommentStream& stream, TagFields& fields) {
    unsigned char number[4];
    if (!takeExactly(stream, number, 4) || !takeExactly(stream, nullptr, littleEndian32(number)) ||
        !takeExactly(stream, number, 4)) {
        return;
    }
    const std::uint32_t count = littleEndian32(number);
    for (std::uint32_t i = 0; i < count && i < TAG_ITEMS_PER_LEVEL; ++i) {
        if (allFieldsPresent(fields)) break;
        if (!takeExactly(stream, number, 4)) break;
        const std::uint32_t length = littleEndian32(number);
        // Where the comment begins, for a picture's place.
        const std::uint64_t pageStart = stream.pageStart;
        const std::uint64_t inPage = stream.position - stream.bodyStart;
        unsigned char comment[COMMENT_KEY_CAPACITY + TAG_RAW_VALUE_CAPACITY];
        const std::size_t start = length < COMMENT_KEY_CAPACITY ? length : COMMENT_KEY_CAPACITY;
        if (!takeExactly(stream, comment, start)) break;
        const void* equals = std::memchr(comment, '=', start);
        TagFieldKind kind = TAG_FIELD_KINDS;
        const std::size_t keyLength =
            equals != nullptr
                ? static_cast<std::size_t>(static_cast<const unsigned char*>(equals) - comment)
                : 0;
        for (const NamedField& name : COMMENT_NAMES) {
            if (equals != nullptr && equalsIgnoringCase(comment, keyLength, name.name)) {
                kind = name.kind;
            }
        }
        std::uint64_t taken = start;
        if (kind != TAG_FIELD_KINDS && !fields.field[kind].present) {
            const std::size_t more =
                length - start < sizeof comment - start ? length - start : sizeof comment - start;
            if (!takeExactly(stream, comment + start, more)) break;
            taken += more;
            setTagField(fields, kind, comment + keyLength + 1,
                        static_cast<std::size_t>(taken) - keyLength - 1, TagEncoding::Utf8);
        }
        if (stream.paged && fields.coverWanted && !fields.cover.front && equals != nullptr &&
            equalsIgnoringCase(comment, keyLength, PICTURE_COMMENT)) {
            taken += locateOggPicture(stream, fields, length - taken, pageStart, inPage + taken);
        }
        if (!takeExactly(stream, nullptr, length - taken)) break;
    }
}

// STREAMINFO's samples by its rate (36 bits of samples after the rate,
// the channels and the sample size), from its first STREAMINFO_READ bytes.
void readStreamInfo(MediaReader& reader, const unsigned char* info, TagFields& fields) {
    const std::uint32_t rate = flacStreamInfoRate(info);
    const std::uint64_t samples =
        static_cast<std::uint64_t>(info[13] & 0xF) << 32 | bigEndian32(info + 14);
    setDuration(fields, samples, rate, reader.size, LOSSLESS_MINIMUM_BYTE_RATE);
}

// A FLAC PICTURE block's `length` bytes at `data`: its type, MIME type,
// description and dimensions, then the picture's own bytes.
void readFlacPicture(MediaReader& reader, std::uint64_t data, std::uint64_t length,
                     TagFields& fields) {
    unsigned char head[8];
    if (length < sizeof head || !readMediaBytes(reader, data, head, sizeof head)) return;
    const bool front = bigEndian32(head) == FRONT_COVER;
    const std::uint64_t mimeLength = bigEndian32(head + 4);
    unsigned char mime[MIME_CAPACITY];
    ImageFormat format = ImageFormat::Unknown;
    std::uint64_t at = sizeof head;
    if (mimeLength <= sizeof mime && rangeFits(at, mimeLength, length) &&
        readMediaBytes(reader, data + at, mime, static_cast<std::size_t>(mimeLength))) {
        format = imageFormatOfMime(mime, static_cast<std::size_t>(mimeLength));
    }
    at += mimeLength;
    unsigned char number[4];
    if (!rangeFits(at, sizeof number, length) ||
        !readMediaBytes(reader, data + at, number, sizeof number)) {
        return;
    }
    at += sizeof number + bigEndian32(number) + PICTURE_DIMENSIONS_SIZE;
    if (!rangeFits(at, sizeof number, length) ||
        !readMediaBytes(reader, data + at, number, sizeof number)) {
        return;
    }
    at += sizeof number;
    const std::uint64_t size = bigEndian32(number);
    if (!rangeFits(at, size, length)) return;
    notePicture(reader, fields, front, format, PictureCoding::Raw, data + at, size, size);
}

bool readFlac(MediaReader& reader, TagFields& fields) {
    fields.container = "FLAC";
    fields.facts.pictures = PictureTrack::None;
    fields.source = "Vorbis comment";
    std::uint64_t offset = 4;
    bool commentsRead = false;
    for (unsigned blocks = 0; blocks < TAG_ITEMS_PER_LEVEL; ++blocks) {
        unsigned char header[FLAC_BLOCK_HEADER_SIZE];
        if (!readMediaBytes(reader, offset, header, sizeof header)) return true;
        const std::uint64_t length = bigEndian32(header) & 0xFFFFFF;
        const std::uint64_t data = offset + sizeof header;
        if (!rangeFits(data, length, reader.size)) return true;
        unsigned char info[STREAMINFO_READ];
        if ((header[0] & 0x7F) == FLAC_STREAMINFO && fields.facts.wanted &&
            length >= STREAMINFO_LENGTH && readMediaBytes(reader, data, info, sizeof info)) {
            readStreamInfo(reader, info, fields);
        }
        if ((header[0] & 0x7F) == FLAC_PICTURE) readFlacPicture(reader, data, length, fields);
        if ((header[0] & 0x7F) == FLAC_VORBIS_COMMENT && !commentsRead) {
            CommentStream stream{reader, data, data + length, false, 0, {}, 0,
                                 0,      0,    false,         0,     0, 0};
            readComments(stream, fields);
            // Pictures may follow the comments; a second comment block
            // (which FLAC allows none of) counts no more than without them.
            if (!fields.coverWanted || fields.cover.front) return true;
            commentsRead = true;
        }
        if ((header[0] & 0x80) != 0) return true;  // the last block
        offset = data + length;
    }
    return true;
}

bool readOgg(MediaReader& reader, TagFields& fields) {
    CommentStream stream{reader, 0, 0, true, 0, {}, 0, 0, 0, false, 0, 0, 0};
    unsigned char header[OGG_PAGE_HEADER_SIZE];
    // The streams' first pages come first; the first stream with comments
    // counts, and the first Vorbis, Opus or FLAC stream says how long all play.
    const OggCodec* codec = nullptr;
    OggTimedStream timed[OGG_TIMED_STREAMS_MAXIMUM];
    std::size_t timedCount = 0;
    bool pictures = false;
    std::uint64_t offset = 0;
    for (unsigned pages = 0; pages < TAG_ITEMS_PER_LEVEL; ++pages) {
        if (!readPageHeader(stream, offset, header) || (header[5] & OGG_FIRST_PAGE) == 0) break;
        unsigned char start[OGG_IDENTIFICATION_READ];
        const std::size_t startLength = stream.end - stream.position < sizeof start
                                            ? static_cast<std::size_t>(stream.end - stream.position)
                                            : sizeof start;
        if (!readMediaBytes(reader, stream.position, start, startLength)) break;
        const std::uint32_t serial = littleEndian32(header + OGG_SERIAL_OFFSET);
        for (const OggCodec& known : OGG_CODECS) {
            if (startLength < known.identificationLength ||
                std::memcmp(start, known.identification, known.identificationLength) != 0) {
                continue;
            }
            pictures |= known.timing == OggTiming::Theora;
            if (codec == nullptr) {
                codec = &known;
                stream.serial = serial;
                if (known.timing == OggTiming::Flac &&
                    startLength >= OGG_FLAC_IDENTIFICATION_READ && fields.facts.wanted) {
                    readStreamInfo(reader, start + OGG_FLAC_STREAMINFO_OFFSET, fields);
                }
            }
            if (timedCount < OGG_TIMED_STREAMS_MAXIMUM &&
                startLength >= oggTimingHeaderLength(known.timing)) {
                OggTimedStream& stream = timed[timedCount++];
                stream.timing = known.timing;
                stream.serial = serial;
                stream.firstPage = offset;
                std::memset(stream.identification, 0, sizeof stream.identification);
                std::memcpy(stream.identification, start, startLength);
                stream.found = false;
                stream.granule = 0;
            }
        }
        offset = stream.end;
    }
    if (codec == nullptr) return true;
    fields.facts.pictures = pictures ? PictureTrack::Present : PictureTrack::None;
    fields.container = codec->container;
    fields.source = "comment";
    // The identification packet has its page to itself: the comment packet
    // begins the stream's next page.
    stream.end = offset;
    stream.pages = 0;
    unsigned char prefix[8];
    if (nextPage(stream) && takeExactly(stream, prefix, codec->commentLength)) {
        const bool comment = codec->comment != nullptr
                                 ? std::memcmp(prefix, codec->comment, codec->commentLength) == 0
                                 : (prefix[0] & 0x7F) == FLAC_VORBIS_COMMENT;
        if (comment) readComments(stream, fields);
    }
    // Last: the start of the file is done with before the one read at its end.
    if (timedCount > 0 && fields.facts.wanted) readOggLength(reader, timed, timedCount, fields);
    return true;
}

}  // namespace

bool readVorbisCommentTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                           TagFields& fields) {
    if (headLength >= 4 && std::memcmp(head, "fLaC", 4) == 0) return readFlac(reader, fields);
    if (headLength >= 4 && std::memcmp(head, "OggS", 4) == 0) return readOgg(reader, fields);
    return false;
}
