#pragma once
// What the container readers share: reads within the budget, and the tag
// fields they fill. Internal to tags/.
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tags/media_tags.h"

constexpr std::size_t MEDIA_WINDOW_SIZE = 4096;
// Raw bytes of a field taken at most.
constexpr std::size_t TAG_RAW_VALUE_CAPACITY = 1024;
// A field as found, converted to UTF-16 but not yet shaped, in units.
constexpr std::size_t TAG_FIELD_CAPACITY = 512;
// Boxes, chunks, frames or elements looked at on one level, at most.
constexpr unsigned TAG_ITEMS_PER_LEVEL = 4096;

// Reads a file, or bytes standing for one, within the read and seek budget.
// A container that follows other data (an ID3v2 tag in front) is read as if
// it began the file: offsets are counted from `base`, and `size` is what
// lies from there to the end.
struct MediaReader {
    PlatformFile file;  // PLATFORM_NO_FILE: `bytes` holds the file
    const unsigned char* bytes;
    std::uint64_t fileSize;
    std::uint64_t base;
    std::uint64_t size;          // fileSize - base
    std::uint64_t filePosition;  // where the last read ended; a read elsewhere is a seek
    std::uint32_t bytesRead;
    unsigned seeks;
    unsigned windowReads;
    unsigned smallReads;
    std::uint64_t windowStart;
    std::size_t windowLength;
    unsigned char window[MEDIA_WINDOW_SIZE];
};

// Starts `reader` on an open file of `size` bytes, or on `size` bytes at
// `bytes` when `file` is PLATFORM_NO_FILE.
void startMediaReader(MediaReader& reader, PlatformFile file, const unsigned char* bytes,
                      std::uint64_t size);

// Counts offsets from `base` bytes into the file from now on (at most its size).
void setMediaBase(MediaReader& reader, std::uint64_t base);

// Copies the `count` bytes at `offset` into `out`. Returns false when they
// do not all lie inside the file, when reading them would break the budget
// (every attempt counts against it, a failed one too), or when the system
// fails; a failed read leaves the others to be tried.
bool readMediaBytes(MediaReader& reader, std::uint64_t offset, void* out, std::size_t count);

// The most bytes a small read takes: an Ogg page's header and lacing values.
constexpr std::size_t SMALL_READ_MAXIMUM = 27 + 255;

// Copies the `count` bytes at `offset` (at most SMALL_READ_MAXIMUM) into
// `out` with a read of their own, the window left as it is: for a header
// that says how far to go next, where a whole window would be wasted. It
// costs its `count` bytes of the budget and one of TAG_SMALL_READ_BUDGET
// small reads, no seek; bytes the window holds cost nothing. Returns false
// as readMediaBytes does.
bool readMediaHeader(MediaReader& reader, std::uint64_t offset, void* out, std::size_t count);

// Whether [offset, offset + length) lies inside [0, end), without overflow.
inline bool rangeFits(std::uint64_t offset, std::uint64_t length, std::uint64_t end) {
    return offset <= end && length <= end - offset;
}

inline std::uint32_t bigEndian16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 8 | p[1];
}
inline std::uint32_t bigEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
inline std::uint64_t bigEndian64(const unsigned char* p) {
    return static_cast<std::uint64_t>(bigEndian32(p)) << 32 | bigEndian32(p + 4);
}
inline std::uint32_t littleEndian16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}
inline std::uint32_t littleEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}
inline std::uint64_t littleEndian64(const unsigned char* p) {
    return static_cast<std::uint64_t>(littleEndian32(p + 4)) << 32 | littleEndian32(p);
}

// Whether the `length` bytes at `text` equal `upperCaseName` (ASCII) in any
// letter case.
bool equalsIgnoringCase(const unsigned char* text, std::size_t length, const char* upperCaseName);

// The MusicBrainz release ("album") id is a field like the others; whether
// it is a well-formed id is decided once all are read.
enum TagFieldKind {
    TAG_TITLE,
    TAG_ARTIST,
    TAG_ALBUM_ARTIST,
    TAG_ALBUM,
    TAG_MUSICBRAINZ_ALBUM,
    TAG_FIELD_KINDS
};

// A name a format gives a field: a key, an attribute, a comment's name.
struct NamedField {
    const char* name;
    TagFieldKind kind;
};

// How a field's bytes are written.
enum class TagEncoding {
    Ansi,  // Latin-1 as the Windows programs that wrote it meant: the ANSI code page
    // UTF-8; a value whose bytes are not valid UTF-8 (old writers put their
    // code page where UTF-8 belongs) is read whole in the ANSI code page
    Utf8,
    Utf16LittleEndian,
    Utf16BigEndian,
    Utf16WithMark,  // a byte-order mark first; little-endian without one
};

// One field as found: UTF-16, whole characters, not terminated.
struct TagField {
    char16_t text[TAG_FIELD_CAPACITY];
    std::size_t length;
    bool present;
};

// Whether the file has a picture track, as far as its container says.
enum class PictureTrack : unsigned char { Unknown, None, Present };

// Lowest byte rates a file of each kind can play at, far below the
// slowest its formats allow: a header claiming a duration its file cannot
// hold at that rate lies. Lossy audio never goes below 8 kbit/s; lossless
// audio (and a container that may hold it) shrinks silence to almost
// nothing; uncompressed audio never goes below 8 kHz mono 8-bit.
constexpr std::uint32_t LOSSY_MINIMUM_BYTE_RATE = 125;    // 1 kbit/s
constexpr std::uint32_t LOSSLESS_MINIMUM_BYTE_RATE = 16;  // 128 bit/s
constexpr std::uint32_t PCM_MINIMUM_BYTE_RATE = 1000;

// How long a file plays and whether it has pictures: read only when
// `wanted`. `hasDuration` false: unknown.
struct MediaFactFields {
    bool wanted;
    bool hasDuration;
    std::uint64_t durationSeconds;
    PictureTrack pictures;
};

// The fields the readers fill, and where they came from: `container` names
// the file's format ("FLAC"), `tag` the tag that gave its first field
// ("Vorbis comment"; empty when the container's name says it all), taken
// from `source`, which each reader sets to the tag it reads; `frontTag`
// names an ID3v2 tag found in front of a format that has its own.
struct TagFields {
    TagField field[TAG_FIELD_KINDS];
    bool coverWanted;
    CoverLocation cover;
    const char* container;
    const char* tag;
    const char* source;
    const char* frontTag;  // an ID3v2 tag in front of another format's own: its version
    MediaFactFields facts;
};

// Empties `fields`; its facts are wanted when `factsWanted`, its cover
// when `coverWanted`.
void clearTagFields(TagFields& fields, bool factsWanted = false, bool coverWanted = false);

// Sets the duration to `units` / `unitsPerSecond` seconds, rounded to the
// nearest, unless it is known already, either number is zero, or `fileBytes`
// could not play that long at `minimumByteRate` bytes a second. No overflow
// for any values.
void setDuration(TagFields& fields, std::uint64_t units, std::uint64_t unitsPerSecond,
                 std::uint64_t fileBytes, std::uint32_t minimumByteRate);

// setDuration for a duration given as a floating-point number of seconds:
// none unless it is a finite number above zero.
void setDurationSeconds(TagFields& fields, double seconds, std::uint64_t fileBytes,
                        std::uint32_t minimumByteRate);

// Notes what the container says of picture tracks: Present wins over None.
inline void notePictures(TagFields& fields, PictureTrack pictures) {
    if (fields.facts.pictures != PictureTrack::Present) fields.facts.pictures = pictures;
}

// Whether every field is there, and the front cover where one is wanted:
// nothing more is wanted.
inline bool allFieldsPresent(const TagFields& fields) {
    for (const TagField& field : fields.field) {
        if (!field.present) return false;
    }
    return !fields.coverWanted || fields.cover.front;
}

// Notes a picture of `size` bytes at `offset` of the reader (its base
// added), running over at most `length` of the file's bytes: the first
// front cover, else the first picture, counts; one over the size limit or
// of no size none. Returns whether it counts.
bool notePicture(const MediaReader& reader, TagFields& fields, bool front, ImageFormat format,
                 PictureCoding coding, std::uint64_t offset, std::uint64_t length,
                 std::uint64_t size);

// The image format a MIME type (or ID3v2.2's three letters) of `length`
// bytes at `text` names.
ImageFormat imageFormatOfMime(const unsigned char* text, std::size_t length);

// Fills each field of `fields` that is missing from `more` (its facts are not fields).
void fillMissingFields(TagFields& fields, const TagFields& more);

// Whether `unit` is shaped away: a space, a control character (C0, C1, the
// line and paragraph separators) or a byte-order mark.
bool isBlankTagUnit(char16_t unit);

// Sets field `kind` of `fields`, unless it is already there (the first value
// counts), from the `length` bytes at `bytes` in `encoding`, converted to
// UTF-16: up to the first NUL, ANSI through the system's conversion, and
// cut to TAG_FIELD_CAPACITY units between whole characters. A UTF-8 value
// that is not valid UTF-8 is never cut at its first bad byte: it is read
// whole as ANSI (a last character cut short counts as valid only in a
// value of TAG_RAW_VALUE_CAPACITY bytes or more, which a raw buffer cut).
// A value of nothing but blank units sets nothing.
void setTagField(TagFields& fields, TagFieldKind kind, const unsigned char* bytes,
                 std::size_t length, TagEncoding encoding);

// Reads at most TAG_RAW_VALUE_CAPACITY of the `length` bytes at `offset` and
// sets field `kind` from them. Returns false when they cannot be read.
bool readTagField(MediaReader& reader, TagFields& fields, TagFieldKind kind, std::uint64_t offset,
                  std::uint64_t length, TagEncoding encoding);

// The container readers. Each looks at the file `reader` reads from its
// first bytes (`head`, `headLength` of them, read already), and returns
// whether it knows the container; it names it in `fields.container` and
// fills what it can of `fields`.
bool readRiffTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                  TagFields& fields);
bool readAiffTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                  TagFields& fields);
bool readMp4Tags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields);
bool readMatroskaTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                      TagFields& fields);
bool readVorbisCommentTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                           TagFields& fields);
bool readAsfTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields);
bool readDsfTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields);
bool readModuleTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                    TagFields& fields);
// The containers whose tags are at the end (APEv2, ID3v1): WavPack, Monkey's
// Audio, TAK, Musepack, OptimFROG, TTA, and MPEG audio (MP3).
bool readEndTaggedContainer(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                            TagFields& fields);

// An ID3v2 tag at `offset`, at most `limit` bytes long. Returns whether it
// was one, and sets `end` to the offset after it (its footer included).
bool readId3v2(MediaReader& reader, std::uint64_t offset, std::uint64_t limit, TagFields& fields,
               std::uint64_t& end);

// MPEG audio's duration from its first frames at `audioStart` (a Xing,
// Info or VBRI header's frame count, else their bit rate over the audio
// up to the tags at the end), into `fields.facts`.
void readMpegAudioFacts(MediaReader& reader, std::uint64_t audioStart, TagFields& fields);

// Whether the `length` bytes at `head` begin with an ADTS frame header (AAC).
bool isAdtsHeader(const unsigned char* head, std::size_t length);

// How long the ADTS stream `reader` reads plays, estimated from its frames,
// into `fields.facts`; it has no pictures. Reads four windows at most.
void readAdtsFacts(MediaReader& reader, TagFields& fields);

// The duration that WavPack, Monkey's Audio, TTA and Musepack headers give,
// from the file's first bytes (`head`), into `fields.facts`.
void readEndTaggedFacts(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                        TagFields& fields);

// The bytes of the APE and ID3v1 tags that end the file, at most its size.
std::uint64_t endTagsSize(MediaReader& reader);

// An ID3v1 tag in the last 128 bytes: fills the fields still missing.
// Returns whether there was one.
bool readId3v1(MediaReader& reader, TagFields& fields);

// The tags at the end of the file: an APEv2 or APEv1 tag (before an ID3v1
// tag, or last), then ID3v1; each fills only the fields still missing.
void readEndTags(MediaReader& reader, TagFields& fields);
