// ID3v2.2, 2.3 and 2.4 in front of a file (or in a chunk of a WAV, AIFF or
// DSF file), and ID3v1 in the last 128 bytes.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t ID3V2_HEADER_SIZE = 10;
constexpr std::size_t ID3V1_SIZE = 128;
constexpr std::size_t ID3V1_FIELD_SIZE = 30;
constexpr unsigned char FLAG_UNSYNCHRONISED = 0x80;
constexpr unsigned char FLAG_EXTENDED_HEADER = 0x40;  // ID3v2.2: compressed, unreadable
constexpr unsigned char FLAG_FOOTER = 0x10;           // ID3v2.4: ten more bytes at the end
constexpr std::size_t ID3V1_ALBUM_OFFSET = 63;
constexpr std::uint64_t UNSYNCHRONISED_SKIP_MAXIMUM = 64 * 1024;

const char* const VERSION_NAMES[] = {"ID3v2.2", "ID3v2.3", "ID3v2.4"};

struct FrameName {
    char v22[4];
    char v23[5];
    TagFieldKind kind;
};
constexpr FrameName FRAME_NAMES[] = {
    {"TT2", "TIT2", TAG_TITLE},
    {"TP1", "TPE1", TAG_ARTIST},
    {"TP2", "TPE2", TAG_ALBUM_ARTIST},
    {"TAL", "TALB", TAG_ALBUM},
};

// The tag's bytes in order, as its frames see them: where the whole tag is
// unsynchronised (ID3v2.2 and 2.3), each 0x00 that follows a 0xFF is dropped.
struct Id3Stream {
    MediaReader& reader;
    std::uint64_t position;
    std::uint64_t end;
    bool unsynchronised;
    bool afterFF;
};

bool streamRead(Id3Stream& stream, unsigned char* out, std::size_t count) {
    if (!stream.unsynchronised) {
        if (!rangeFits(stream.position, count, stream.end)) return false;
        if (!readMediaBytes(stream.reader, stream.position, out, count)) return false;
        stream.position += count;
        return true;
    }
    for (std::size_t i = 0; i < count;) {
        unsigned char byte = 0;
        if (stream.position >= stream.end ||
            !readMediaBytes(stream.reader, stream.position++, &byte, 1)) {
            return false;
        }
        const bool dropped = stream.afterFF && byte == 0x00;
        stream.afterFF = byte == 0xFF;
        if (!dropped) out[i++] = byte;
    }
    return true;
}

// Passes `count` bytes of the tag: a seek, unless they must be read to undo
// the unsynchronisation. There, a frame past UNSYNCHRONISED_SKIP_MAXIMUM (a
// big picture) ends the walk instead: the frames after it cannot be found
// without reading it all, and the budget is kept for the audio, whose start
// the tag's header gives.
bool streamSkip(Id3Stream& stream, std::uint64_t count) {
    if (!stream.unsynchronised) {
        if (!rangeFits(stream.position, count, stream.end)) return false;
        stream.position += count;
        return true;
    }
    if (count > UNSYNCHRONISED_SKIP_MAXIMUM) return false;
    unsigned char scratch[256];
    while (count > 0) {
        const std::size_t piece =
            count < sizeof scratch ? static_cast<std::size_t>(count) : sizeof scratch;
        if (!streamRead(stream, scratch, piece)) return false;
        count -= piece;
    }
    return true;
}

std::uint32_t syncsafe32(const unsigned char* p) {
    return (p[0] & 0x7Fu) << 21 | (p[1] & 0x7Fu) << 14 | (p[2] & 0x7Fu) << 7 | (p[3] & 0x7Fu);
}

bool isSyncsafe(const unsigned char* p) { return ((p[0] | p[1] | p[2] | p[3]) & 0x80) == 0; }

// Undoes unsynchronisation in place. Returns the new length.
std::size_t resynchronise(unsigned char* bytes, std::size_t length) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0 && bytes[i - 1] == 0xFF && bytes[i] == 0x00) continue;
        bytes[kept++] = bytes[i];
    }
    return kept;
}

bool isFrameNameCharacter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The field a frame of this name fills, or TAG_FIELD_KINDS for none.
TagFieldKind frameKind(const unsigned char* name, unsigned version) {
    for (const FrameName& frame : FRAME_NAMES) {
        if (version == 2 ? std::memcmp(name, frame.v22, 3) == 0
                         : std::memcmp(name, frame.v23, 4) == 0) {
            return frame.kind;
        }
    }
    return TAG_FIELD_KINDS;
}

constexpr TagEncoding TEXT_ENCODINGS[] = {TagEncoding::Ansi, TagEncoding::Utf16WithMark,
                                          TagEncoding::Utf16BigEndian, TagEncoding::Utf8};
constexpr unsigned char TEXT_ENCODING_COUNT = sizeof TEXT_ENCODINGS / sizeof TEXT_ENCODINGS[0];

void setTextFrame(TagFields& fields, TagFieldKind kind, const unsigned char* data,
                  std::size_t length) {
    if (length < 1 || data[0] >= TEXT_ENCODING_COUNT) return;
    setTagField(fields, kind, data + 1, length - 1, TEXT_ENCODINGS[data[0]]);
}

// Whether a frame of this name is a user's own text: a description, then the value.
bool isUserTextFrame(const unsigned char* name, unsigned version) {
    return version == 2 ? std::memcmp(name, "TXX", 3) == 0 : std::memcmp(name, "TXXX", 4) == 0;
}

constexpr char MUSICBRAINZ_ALBUM_DESCRIPTION[] = "MUSICBRAINZ ALBUM ID";

// A user text frame: its value sets the release's id when its description
// is "MusicBrainz Album Id" in any letter case. The description ends at a
// NUL: one byte in ANSI and UTF-8, two on a unit's boundary in UTF-16.
void setUserTextFrame(TagFields& fields, const unsigned char* data, std::size_t length) {
    if (length < 1 || data[0] >= TEXT_ENCODING_COUNT) return;
    const bool wide = data[0] == 1 || data[0] == 2;
    const std::size_t unit = wide ? 2 : 1;
    std::size_t at = 1;
    bool bigEndian = data[0] == 2;
    if (data[0] == 1 && length >= 3 && (data[1] == 0xFE || data[1] == 0xFF)) {
        bigEndian = data[1] == 0xFE;
        at = 3;
    }
    char description[sizeof MUSICBRAINZ_ALBUM_DESCRIPTION];
    std::size_t described = 0;
    bool matches = true;
    for (; at + unit <= length; at += unit) {
        const unsigned value =
            wide ? (bigEndian ? bigEndian16(data + at) : littleEndian16(data + at)) : data[at];
        if (value == 0) break;
        if (value > 0x7F || described + 1 >= sizeof description) {
            matches = false;
        } else {
            description[described++] = static_cast<char>(value);
        }
    }
    if (at + unit > length || !matches) return;
    if (!equalsIgnoringCase(reinterpret_cast<const unsigned char*>(description), described,
                            MUSICBRAINZ_ALBUM_DESCRIPTION)) {
        return;
    }
    at += unit;
    setTagField(fields, TAG_MUSICBRAINZ_ALBUM, data + at, length - at, TEXT_ENCODINGS[data[0]]);
}

bool isPictureFrame(const unsigned char* name, unsigned version) {
    return version == 2 ? std::memcmp(name, "PIC", 3) == 0 : std::memcmp(name, "APIC", 4) == 0;
}

constexpr unsigned char FRONT_COVER = 3;
constexpr std::size_t PIC_FORMAT_LENGTH = 3;  // ID3v2.2: "JPG", "PNG"

// Where the picture begins in a picture frame's `length` bytes at `data`
// (resynchronised): after its text encoding, MIME type (ID3v2.2: a format
// of three letters), picture type and description. Returns 0 when the
// header does not end within them; sets `front` and `format`.
std::size_t pictureHeaderLength(const unsigned char* data, std::size_t length, unsigned version,
                                bool& front, ImageFormat& format) {
    if (length < 1 || data[0] >= TEXT_ENCODING_COUNT) return 0;
    const bool wide = data[0] == 1 || data[0] == 2;
    std::size_t at = 1;
    if (version == 2) {
        if (length < at + PIC_FORMAT_LENGTH) return 0;
        format = imageFormatOfMime(data + at, PIC_FORMAT_LENGTH);
        at += PIC_FORMAT_LENGTH;
    } else {
        const void* end = std::memchr(data + at, 0, length - at);
        if (end == nullptr) return 0;
        const std::size_t mimeLength =
            static_cast<std::size_t>(static_cast<const unsigned char*>(end) - (data + at));
        format = imageFormatOfMime(data + at, mimeLength);
        at += mimeLength + 1;
    }
    if (at >= length) return 0;
    front = data[at++] == FRONT_COVER;
    // The description, up to its terminator: one NUL, or two on a unit's boundary.
    const std::size_t unit = wide ? 2 : 1;
    for (; at + unit <= length; at += unit) {
        if (data[at] == 0 && (!wide || data[at + 1] == 0)) return at + unit;
    }
    return 0;
}

// The raw bytes after `raw` that hold `decoded` bytes once resynchronised
// (each 0x00 after an 0xFF dropped; `afterFF`: the byte before was one), or
// `length` + 1 when they run past `length`.
std::size_t rawLengthOf(const unsigned char* raw, std::size_t length, std::size_t decoded,
                        bool afterFF) {
    std::size_t at = 0;
    for (std::size_t kept = 0; kept < decoded; ++at) {
        if (at >= length) return length + 1;
        if (!(afterFF && raw[at] == 0x00)) ++kept;
        afterFF = raw[at] == 0xFF;
    }
    // A dropped 0x00 right after the last byte kept belongs to the header too.
    if (at < length && afterFF && raw[at] == 0x00) ++at;
    return at;
}

// An attached picture frame of `size` bytes whose data begin at the
// stream's position: notes where its picture lies, without reading it.
// Returns false where the walk cannot go on past it.
bool readPictureFrame(Id3Stream& stream, unsigned version, unsigned char format,
                      unsigned char tagFlags, std::uint64_t size, TagFields& fields) {
    MediaReader& reader = stream.reader;
    const std::uint64_t rawStart = stream.position;
    const bool afterFF = stream.afterFF;
    unsigned char data[TAG_RAW_VALUE_CAPACITY + 8];
    unsigned char raw[sizeof data];
    const std::size_t taken = static_cast<std::size_t>(size < sizeof data ? size : sizeof data);
    if (!streamRead(stream, data, taken)) return false;
    std::memcpy(raw, data, taken);
    std::size_t start = 0;
    std::uint64_t decodedSize = size;
    if (version == 3 && (format & 0x20) != 0) start = 1;  // group identifier
    if (version == 4 && (format & 0x40) != 0) start += 1;
    const bool lengthGiven = version == 4 && (format & 0x01) != 0;
    if (lengthGiven && start + 4 <= taken) decodedSize = syncsafe32(data + start);
    if (lengthGiven) start += 4;  // data length indicator
    const bool frameUnsynchronised =
        version == 4 && ((format & 0x02) != 0 || (tagFlags & FLAG_UNSYNCHRONISED) != 0);
    bool front = false;
    ImageFormat image = ImageFormat::Unknown;
    std::size_t length = start <= taken ? taken - start : 0;
    if (frameUnsynchronised) length = resynchronise(data + start, length);
    const std::size_t header =
        start <= taken ? pictureHeaderLength(data + start, length, version, front, image) : 0;
    if (header > 0 && !stream.unsynchronised && !frameUnsynchronised) {
        notePicture(reader, fields, front, image, PictureCoding::Raw, rawStart + start + header,
                    size - start - header, size - start - header);
    } else if (header > 0 && frameUnsynchronised && lengthGiven) {
        // Raw in the file, unsynchronised: `size` raw bytes, `decodedSize` once undone.
        const std::size_t rawHeader = rawLengthOf(raw + start, taken - start, header, false);
        if (rawHeader <= taken - start && decodedSize > header) {
            notePicture(reader, fields, front, image, PictureCoding::Unsynchronised,
                        rawStart + start + rawHeader, size - start - rawHeader,
                        decodedSize - header);
        }
    } else if (header > 0 && stream.unsynchronised) {
        // The whole tag unsynchronised: the frame's `size` counts its bytes
        // once undone; the raw bytes run on to the tag's end.
        unsigned char again[2 * sizeof data];
        const std::uint64_t left = stream.end - rawStart;
        const std::size_t count =
            static_cast<std::size_t>(left < sizeof again ? left : sizeof again);
        if (readMediaBytes(reader, rawStart, again, count)) {
            const std::size_t rawHeader = rawLengthOf(again, count, start + header, afterFF);
            if (rawHeader <= count && size > start + header) {
                notePicture(reader, fields, front, image, PictureCoding::Unsynchronised,
                            rawStart + rawHeader, stream.end - rawStart - rawHeader,
                            size - start - header);
            }
        }
    }
    return streamSkip(stream, size - taken);
}

// Reads the frames of the tag whose header is `header` and whose bytes
// after the header are [offset, end).
void readId3v2Frames(MediaReader& reader, const unsigned char* header, std::uint64_t offset,
                     std::uint64_t end, TagFields& fields) {
    const unsigned version = header[3];
    const unsigned char flags = header[5];
    if (version == 2 && (flags & FLAG_EXTENDED_HEADER) != 0) return;
    Id3Stream stream{reader, offset, end, version < 4 && (flags & FLAG_UNSYNCHRONISED) != 0, false};
    // Old taggers set the flag with no extended header: a frame follows at
    // once, where a real one begins with its size.
    unsigned char first[4];
    bool frameFirst = true;
    if ((flags & FLAG_EXTENDED_HEADER) != 0 && rangeFits(offset, sizeof first, end) &&
        readMediaBytes(reader, offset, first, sizeof first)) {
        for (unsigned char c : first) frameFirst &= isFrameNameCharacter(c);
    }
    if ((flags & FLAG_EXTENDED_HEADER) != 0 && !frameFirst) {
        unsigned char size[4];
        if (!streamRead(stream, size, sizeof size)) return;
        // 2.3 counts what follows its size; 2.4 counts itself, size included.
        const std::uint64_t rest = version == 3 ? bigEndian32(size) : syncsafe32(size);
        if (version == 4 && rest < sizeof size) return;
        if (!streamSkip(stream, version == 3 ? rest : rest - sizeof size)) return;
    }
    const std::size_t headerSize = version == 2 ? 6 : 10;
    for (unsigned frames = 0; frames < TAG_ITEMS_PER_LEVEL; ++frames) {
        if (allFieldsPresent(fields)) break;
        unsigned char frame[10];
        if (!streamRead(stream, frame, headerSize)) break;
        if (!isFrameNameCharacter(frame[0])) break;  // padding, or no frame at all
        std::uint64_t size = 0;
        unsigned char format = 0;
        if (version == 2) {
            size = static_cast<std::uint64_t>(frame[3]) << 16 | bigEndian16(frame + 4);
        } else {
            // Some writers put plain sizes in ID3v2.4; a size that is not
            // syncsafe cannot be one.
            size = version == 4 && isSyncsafe(frame + 4) ? syncsafe32(frame + 4)
                                                         : bigEndian32(frame + 4);
            format = frame[9];
        }
        const bool userText = isUserTextFrame(frame, version);
        const TagFieldKind kind = userText ? TAG_MUSICBRAINZ_ALBUM : frameKind(frame, version);
        // Compressed or encrypted frames are passed over.
        const bool unreadable = version == 3 ? (format & 0xC0) != 0 : (format & 0x0C) != 0;
        if (fields.coverWanted && !fields.cover.front && !unreadable &&
            isPictureFrame(frame, version)) {
            if (!readPictureFrame(stream, version, format, flags, size, fields)) break;
            continue;
        }
        if (kind == TAG_FIELD_KINDS || unreadable || fields.field[kind].present) {
            if (!streamSkip(stream, size)) break;
            continue;
        }
        unsigned char data[TAG_RAW_VALUE_CAPACITY + 8];
        const std::size_t taken = static_cast<std::size_t>(size < sizeof data ? size : sizeof data);
        if (!streamRead(stream, data, taken) || !streamSkip(stream, size - taken)) break;
        std::size_t start = 0;
        if (version == 3 && (format & 0x20) != 0) start = 1;  // group identifier
        if (version == 4 && (format & 0x40) != 0) start += 1;
        if (version == 4 && (format & 0x01) != 0) start += 4;  // data length indicator
        if (start > taken) continue;
        std::size_t length = taken - start;
        const bool frameUnsynchronised =
            version == 4 && ((format & 0x02) != 0 || (flags & FLAG_UNSYNCHRONISED) != 0);
        if (frameUnsynchronised) length = resynchronise(data + start, length);
        if (userText) {
            setUserTextFrame(fields, data + start, length);
        } else {
            setTextFrame(fields, kind, data + start, length);
        }
    }
}

}  // namespace

bool readId3v2(MediaReader& reader, std::uint64_t offset, std::uint64_t limit, TagFields& fields,
               std::uint64_t& end) {
    unsigned char header[ID3V2_HEADER_SIZE];
    if (limit < sizeof header || !readMediaBytes(reader, offset, header, sizeof header)) {
        return false;
    }
    if (std::memcmp(header, "ID3", 3) != 0 || header[3] < 2 || header[3] > 4 || header[4] == 0xFF ||
        !isSyncsafe(header + 6)) {
        return false;
    }
    const std::uint64_t size = syncsafe32(header + 6);
    const std::uint64_t room = limit - sizeof header;
    const std::uint64_t frameEnd = offset + sizeof header + (size < room ? size : room);
    const bool footer = header[3] == 4 && (header[5] & FLAG_FOOTER) != 0;
    end = offset + sizeof header + size + (footer ? ID3V2_HEADER_SIZE : 0);
    fields.source = VERSION_NAMES[header[3] - 2];
    readId3v2Frames(reader, header, offset + sizeof header, frameEnd, fields);
    return true;
}

bool readId3v1(MediaReader& reader, TagFields& fields) {
    if (reader.size < ID3V1_SIZE) return false;
    unsigned char tag[ID3V1_SIZE];
    if (!readMediaBytes(reader, reader.size - ID3V1_SIZE, tag, sizeof tag) ||
        std::memcmp(tag, "TAG", 3) != 0) {
        return false;
    }
    fields.source = "ID3v1";
    setTagField(fields, TAG_TITLE, tag + 3, ID3V1_FIELD_SIZE, TagEncoding::Ansi);
    setTagField(fields, TAG_ARTIST, tag + 3 + ID3V1_FIELD_SIZE, ID3V1_FIELD_SIZE,
                TagEncoding::Ansi);
    setTagField(fields, TAG_ALBUM, tag + ID3V1_ALBUM_OFFSET, ID3V1_FIELD_SIZE, TagEncoding::Ansi);
    return true;
}
