#pragma once
// A media file's own artist, title and album, read from its tags.
//
// The container is told by the file's content, never by its name, also
// after an ID3v2 tag in front of it: MP3 (ID3v2.2 to 2.4 at the start, else
// APEv2 and ID3v1 at the end), WAV and AVI (LIST/INFO, and an id3 chunk),
// AIFF (an ID3 chunk, else NAME and AUTH), the MP4 family (ilst, mdta keys,
// udta text), Matroska and WebM (Tags, and the segment's Info title), FLAC
// and Ogg Vorbis, Opus, Theora or FLAC (the Vorbis comment), ASF (the
// content description and the extended one), DSF (ID3v2), WavPack,
// Monkey's Audio, TAK, Musepack, OptimFROG and TTA (APEv2 at the end), AAC
// in ADTS frames (APEv2 and ID3v1 at the end), and tracker modules (the
// song name). Where asked, also the media facts: how long the file plays,
// from the container's or the codec's own header, estimated from the
// frames' sizes over the file's only for MPEG audio without a frame count
// and for AAC in ADTS frames (a few windows' frames, each confirmed by the
// next), and whether it has a picture track, by its container, else by
// its name's extension. The file is hostile input: at most
// TAG_READ_BUDGET bytes are read, in windows after at most TAG_SEEK_BUDGET
// seeks and in at most TAG_SMALL_READ_BUDGET small reads of a header each
// (an Ogg page's, to pass a picture without reading it), every size
// and offset is checked, and nesting is bounded; a file that breaks any of
// that gives no tags, never a crash, a hang or a read past a buffer.
#include <cstddef>
#include <cstdint>

constexpr std::uint32_t TAG_READ_BUDGET = 256 * 1024;
constexpr unsigned TAG_SEEK_BUDGET = 64;
constexpr unsigned TAG_SMALL_READ_BUDGET = 512;
// Room for an artist, a title or an album, terminator included: the title's storage.
constexpr std::size_t TAG_TEXT_CAPACITY = 288;
// Room for the format's name, e.g. "Monkey's Audio APEv2".
constexpr std::size_t TAG_FORMAT_CAPACITY = 64;
// The most an artist takes of a composed title, so a title always shows.
constexpr std::size_t TAG_ARTIST_MAXIMUM = 127;
constexpr const char16_t TAG_ARTIST_TITLE_SEPARATOR[] = u" - ";
// A MusicBrainz id: 36 characters, 8-4-4-4-12 hexadecimal digits; a terminator.
constexpr std::size_t MUSICBRAINZ_ID_CAPACITY = 37;
// The largest embedded picture taken for a cover.
constexpr std::uint32_t COVER_SIZE_LIMIT = 16 * 1024 * 1024;

// A picture's kind, as its container's type or MIME type names it.
enum class ImageFormat : unsigned char { Unknown, Jpeg, Png, Gif, Bmp, WebP };

// How a picture's bytes lie in the file: as they are, unsynchronised as
// ID3v2 may write them (each 0x00 after an 0xFF is not the picture's), or
// in base64 inside a FLAC picture block inside an Ogg stream's comment
// packet, which runs across pages (METADATA_BLOCK_PICTURE).
enum class PictureCoding : unsigned char { None, Raw, Unsynchronised, OggBase64 };

// Where the file's cover picture lies, found by reading its tags (never
// the picture's own bytes): the first picture marked as the front cover,
// else the first picture. `coding` None: the file has none (within the
// size limit). For OggBase64, `offset` is the Ogg page where the stream's
// bytes are counted from: `skip` bytes of the bodies of `serial`'s pages
// from there come before the base64 group that holds the picture's first
// byte, `decodedSkip` (0 to 2) of that group's bytes before it; `length`
// is the base64 characters left from the group on.
struct CoverLocation {
    PictureCoding coding;
    bool front;
    ImageFormat format;
    std::uint64_t offset;  // from the file's first byte
    std::uint64_t length;  // the file's bytes it may run over, from `offset`
    std::uint32_t size;    // the picture's own bytes, COVER_SIZE_LIMIT at most
    std::uint32_t serial;
    std::uint64_t skip;
    unsigned decodedSkip;
    std::uint64_t fileSize;  // the file's, when it was read: a file changed since is not copied
};

// What a file's tags say, in UTF-16, terminated and cut between whole
// characters. A control character (C0 and C1, line and paragraph
// separators: line ends, tabs) or a run of them becomes one space, a
// byte-order mark goes, and spaces at either end are dropped, so no tag can
// break a display line. A backslash stays: the messenger's text, where
// "\0" separates fields, makes it a slash itself. A field the tags lack, or whose value is blank,
// is empty. Of a field with several values, the first counts. The artist is the track's artist, or
// the album artist where that is all there is. The media facts are read only when asked for
// (MediaRead::TagsAndFacts), else unknown and audio.
struct MediaTags {
    // The file's format and the tag that gave its first field, e.g. "MP3
    // ID3v2.4"; empty when the tags give nothing.
    char format[TAG_FORMAT_CAPACITY];
    char16_t artist[TAG_TEXT_CAPACITY];
    char16_t title[TAG_TEXT_CAPACITY];
    char16_t album[TAG_TEXT_CAPACITY];
    // The release's MusicBrainz id in lower case, terminated: empty unless
    // the tags hold a well-formed one (spaces around it aside).
    char musicBrainzAlbumId[MUSICBRAINZ_ID_CAPACITY];
    std::uint32_t bytesRead;  // what reading them cost
    unsigned seeks;
    unsigned windowReads;           // calls to the file for a window, a seek's or the next one
    unsigned smallReads;            // calls to the file for a header alone
    bool hasDuration;               // false: the file does not say how long it plays
    std::uint32_t durationSeconds;  // rounded to the nearest second
    bool video;                     // it has a picture track (a cover picture is none)
    CoverLocation cover;            // found only when asked for (TagsFactsAndCover)
};

enum class MediaRead { Tags, TagsAndFacts, TagsFactsAndCover };

// Reads the tags of the file at `path` (UTF-16, terminated) into `tags`:
// opened for reading only, shared with everyone, and closed before
// returning. Returns false, with `tags` empty, when the file cannot be opened.
bool readMediaTags(const char16_t* path, MediaTags& tags, MediaRead what = MediaRead::Tags);

// readMediaTags over the `size` bytes at `bytes`, counted as the file would
// be; a file the reader does not know is told by the extension of `name`
// (UTF-16, terminated).
void readMediaTagsBytes(const unsigned char* bytes, std::size_t size, MediaTags& tags,
                        MediaRead what = MediaRead::Tags, const char16_t* name = u"");

// Writes the title the tags give into `out` (`capacity` units, always
// terminated): "ARTIST - TITLE", or "TITLE" without an artist, the artist
// cut to TAG_ARTIST_MAXIMUM units and the whole cut to fit, between whole
// characters, with no space left at a cut. Returns its length: 0 when the
// tags give no title.
std::size_t composeTagTitle(const MediaTags& tags, char16_t* out, std::size_t capacity);
