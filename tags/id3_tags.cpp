// ID3v2.2, 2.3 and 2.4 at the start of a file (or in a WAV file's id3
// chunk), and ID3v1 in the last 128 bytes.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t ID3V2_HEADER_SIZE = 10;
constexpr std::size_t ID3V1_SIZE = 128;
constexpr std::size_t ID3V1_FIELD_SIZE = 30;
constexpr unsigned char FLAG_UNSYNCHRONISED = 0x80;
constexpr unsigned char FLAG_EXTENDED_HEADER = 0x40;  // ID3v2.2: compressed, unreadable

const char* const MP3_FORMATS[] = {"MP3 ID3v2.2", "MP3 ID3v2.3", "MP3 ID3v2.4"};
const char* const WAV_FORMATS[] = {"WAV ID3v2.2", "WAV ID3v2.3", "WAV ID3v2.4"};

struct FrameName {
    char v22[4];
    char v23[5];
    TagFieldKind kind;
};
constexpr FrameName FRAME_NAMES[] = {
    {"TT2", "TIT2", TAG_TITLE},
    {"TP1", "TPE1", TAG_ARTIST},
    {"TP2", "TPE2", TAG_ALBUM_ARTIST},
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
// the unsynchronisation.
bool streamSkip(Id3Stream& stream, std::uint64_t count) {
    if (!stream.unsynchronised) {
        if (!rangeFits(stream.position, count, stream.end)) return false;
        stream.position += count;
        return true;
    }
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

void setTextFrame(TagFields& fields, TagFieldKind kind, const unsigned char* data,
                  std::size_t length) {
    if (length < 1) return;
    static constexpr TagEncoding ENCODINGS[] = {TagEncoding::Ansi, TagEncoding::Utf16WithMark,
                                                TagEncoding::Utf16BigEndian, TagEncoding::Utf8};
    if (data[0] >= sizeof ENCODINGS / sizeof ENCODINGS[0]) return;
    setTagField(fields, kind, data + 1, length - 1, ENCODINGS[data[0]]);
}

// Reads the frames of the tag whose header is `header` and whose bytes
// after the header are [offset, end). Returns whether it gave a field.
bool readId3v2Frames(MediaReader& reader, const unsigned char* header, std::uint64_t offset,
                     std::uint64_t end, TagFields& fields) {
    const unsigned version = header[3];
    const unsigned char flags = header[5];
    if (version == 2 && (flags & FLAG_EXTENDED_HEADER) != 0) return false;
    Id3Stream stream{reader, offset, end, version < 4 && (flags & FLAG_UNSYNCHRONISED) != 0, false};
    if ((flags & FLAG_EXTENDED_HEADER) != 0) {
        unsigned char size[4];
        if (!streamRead(stream, size, sizeof size)) return false;
        // 2.3 counts what follows its size; 2.4 counts itself, size included.
        const std::uint64_t rest = version == 3 ? bigEndian32(size) : syncsafe32(size);
        if (version == 4 && rest < sizeof size) return false;
        if (!streamSkip(stream, version == 3 ? rest : rest - sizeof size)) return false;
    }
    const std::size_t headerSize = version == 2 ? 6 : 10;
    bool found = false;
    for (unsigned frames = 0; frames < TAG_ITEMS_PER_LEVEL; ++frames) {
        if (fields.field[TAG_TITLE].present && fields.field[TAG_ARTIST].present) break;
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
        const TagFieldKind kind = frameKind(frame, version);
        // Compressed or encrypted frames are passed over.
        const bool unreadable = version == 3 ? (format & 0xC0) != 0 : (format & 0x0C) != 0;
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
        setTextFrame(fields, kind, data + start, length);
        found |= fields.field[kind].present;
    }
    return found;
}

// Reads an ID3v2 tag at `offset`, at most `limit` bytes long, labelled from
// `formats`. Returns whether it was an ID3v2 tag.
bool readId3v2At(MediaReader& reader, std::uint64_t offset, std::uint64_t limit,
                 const char* const (&formats)[3], TagFields& fields) {
    unsigned char header[ID3V2_HEADER_SIZE];
    if (limit < sizeof header || !readMediaBytes(reader, offset, header, sizeof header)) {
        return false;
    }
    if (std::memcmp(header, "ID3", 3) != 0 || header[3] < 2 || header[3] > 4 || header[4] == 0xFF ||
        !isSyncsafe(header + 6)) {
        return false;
    }
    const std::uint64_t size = syncsafe32(header + 6);
    const std::uint64_t frameEnd =
        offset + sizeof header + (size < limit - sizeof header ? size : limit - sizeof header);
    if (readId3v2Frames(reader, header, offset + sizeof header, frameEnd, fields)) {
        fields.format = formats[header[3] - 2];
    }
    return true;
}

void readId3v1(MediaReader& reader, TagFields& fields) {
    if (reader.size < ID3V1_SIZE) return;
    unsigned char tag[ID3V1_SIZE];
    if (!readMediaBytes(reader, reader.size - ID3V1_SIZE, tag, sizeof tag)) return;
    if (std::memcmp(tag, "TAG", 3) != 0) return;
    const bool hadTitle = fields.field[TAG_TITLE].present;
    setTagField(fields, TAG_TITLE, tag + 3, ID3V1_FIELD_SIZE, TagEncoding::Ansi);
    setTagField(fields, TAG_ARTIST, tag + 3 + ID3V1_FIELD_SIZE, ID3V1_FIELD_SIZE,
                TagEncoding::Ansi);
    if (!hadTitle && fields.field[TAG_TITLE].present && fields.format == nullptr) {
        fields.format = "MP3 ID3v1";
    }
}

bool isMpegAudioFrame(const unsigned char* head, std::size_t length) {
    return length >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
}

}  // namespace

bool readId3Tags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields) {
    const bool tagged = headLength >= ID3V2_HEADER_SIZE && std::memcmp(head, "ID3", 3) == 0 &&
                        readId3v2At(reader, 0, reader.size, MP3_FORMATS, fields);
    if (!tagged && !isMpegAudioFrame(head, headLength)) return false;
    if (!fields.field[TAG_TITLE].present) readId3v1(reader, fields);
    return true;
}

bool readEmbeddedId3v2(MediaReader& reader, std::uint64_t offset, std::uint64_t size,
                       TagFields& fields) {
    return readId3v2At(reader, offset, size, WAV_FORMATS, fields);
}
