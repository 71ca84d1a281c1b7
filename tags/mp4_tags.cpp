// The MP4 family (.mp4, .m4a, .m4v, .mov): moov/udta/meta/ilst with its
// ©nam, ©ART, aART and ©alb items; a meta box whose keys name its items
// (com.apple.quicktime.title and the like, as cameras and editors write
// them, in moov or in udta); and the QuickTime form of ©nam, ©ART and ©alb
// straight in udta. Boxes are passed by their sizes, so moov may sit after
// the media data. How long it plays: the movie header's duration by its
// timescale, or in a fragmented file (whose movie header counts nothing)
// the movie extends header's, where there is one; it has pictures where an
// enabled track's handler is `vide` (a disabled one holds chapter pictures).
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t BOX_HEADER_SIZE = 8;
constexpr std::size_t LARGE_BOX_HEADER_SIZE = 16;
constexpr std::size_t DATA_PREFIX_SIZE = 8;            // the data box's type indicator and locale
constexpr std::size_t QUICKTIME_TEXT_PREFIX_SIZE = 4;  // text length and language
constexpr std::uint32_t DATA_TYPE_UTF8 = 1;
constexpr std::uint32_t DATA_TYPE_UTF16 = 2;
constexpr std::size_t MOVIE_HEADER_READ = 32;    // version 1: up to the duration's end
constexpr std::size_t HANDLER_TYPE_END = 12;     // version, flags, a reserved word, the type
constexpr std::size_t EXTENDS_HEADER_READ = 12;  // version 1: up to the duration's end
constexpr std::size_t TRACK_HEADER_FLAGS_END = 4;
constexpr unsigned char TRACK_ENABLED = 0x01;

const char* const FILE_START_BOXES[] = {"ftyp", "moov", "mdat", "wide", "free", "skip"};

struct ItemName {
    unsigned char type[4];
    TagFieldKind kind;
};
constexpr ItemName ITEM_NAMES[] = {
    {{0xA9, 'n', 'a', 'm'}, TAG_TITLE},
    {{0xA9, 'A', 'R', 'T'}, TAG_ARTIST},
    {{'a', 'A', 'R', 'T'}, TAG_ALBUM_ARTIST},
    {{0xA9, 'a', 'l', 'b'}, TAG_ALBUM},
};

// The freeform item of the release's MusicBrainz id, as iTunes-style taggers write it.
constexpr const char* FREEFORM_MEAN = "com.apple.iTunes";
constexpr const char* FREEFORM_MUSICBRAINZ_ALBUM = "MusicBrainz Album Id";
constexpr std::size_t FREEFORM_TEXT_CAPACITY = 32;
constexpr std::size_t FULL_BOX_PREFIX_SIZE = 4;  // a version and flags

const NamedField KEY_NAMES[] = {
    {"com.apple.quicktime.title", TAG_TITLE},
    {"com.apple.quicktime.artist", TAG_ARTIST},
    {"com.apple.quicktime.album", TAG_ALBUM},
};
// Keys looked at, at most; their names are short.
constexpr std::size_t MAXIMUM_KEYS = 64;
constexpr std::size_t KEY_NAME_CAPACITY = 64;
constexpr std::size_t KEY_ENTRY_HEADER_SIZE = 8;  // size and namespace

// What a meta box's keys say: the field each item index stands for.
struct MetaKeys {
    TagFieldKind kind[MAXIMUM_KEYS];
    std::size_t count;
};

struct Box {
    unsigned char type[4];
    std::uint64_t data;  // where its contents begin
    std::uint64_t end;
};

// Reads the box at `offset`, inside a parent ending at `parentEnd`. Returns
// false when there is none there or its size lies.
bool readBox(MediaReader& reader, std::uint64_t offset, std::uint64_t parentEnd, Box& box) {
    unsigned char header[LARGE_BOX_HEADER_SIZE];
    if (!rangeFits(offset, BOX_HEADER_SIZE, parentEnd) ||
        !readMediaBytes(reader, offset, header, BOX_HEADER_SIZE)) {
        return false;
    }
    std::memcpy(box.type, header + 4, 4);
    std::uint64_t size = bigEndian32(header);
    std::uint64_t headerSize = BOX_HEADER_SIZE;
    if (size == 1) {
        if (!rangeFits(offset, LARGE_BOX_HEADER_SIZE, parentEnd) ||
            !readMediaBytes(reader, offset + BOX_HEADER_SIZE, header + BOX_HEADER_SIZE, 8)) {
            return false;
        }
        size = bigEndian64(header + BOX_HEADER_SIZE);
        headerSize = LARGE_BOX_HEADER_SIZE;
    } else if (size == 0) {
        size = parentEnd - offset;  // to the end of its parent
    }
    if (size < headerSize || !rangeFits(offset, size, parentEnd)) return false;
    box.data = offset + headerSize;
    box.end = offset + size;
    return true;
}

// Finds the first box of `type` among the boxes in [offset, end).
bool findBox(MediaReader& reader, std::uint64_t offset, std::uint64_t end, const char* type,
             Box& found) {
    for (unsigned boxes = 0; boxes < TAG_ITEMS_PER_LEVEL; ++boxes) {
        if (!readBox(reader, offset, end, found)) return false;
        if (std::memcmp(found.type, type, 4) == 0) return true;
        offset = found.end;
    }
    return false;
}

// Calls `visit` for each box in [offset, end); stops at one whose size lies.
template <typename Visit>
void forEachBox(MediaReader& reader, std::uint64_t offset, std::uint64_t end, Visit visit) {
    Box box;
    for (unsigned boxes = 0; boxes < TAG_ITEMS_PER_LEVEL && readBox(reader, offset, end, box);
         ++boxes) {
        offset = box.end;
        visit(box);
    }
}

TagFieldKind itemKind(const unsigned char* type) {
    for (const ItemName& item : ITEM_NAMES) {
        if (std::memcmp(type, item.type, 4) == 0) return item.kind;
    }
    return TAG_FIELD_KINDS;
}

// Whether the box `parent` holds a child box `type` whose contents, after
// its version and flags, are `text` exactly.
bool holdsText(MediaReader& reader, const Box& parent, const char* type, const char* text) {
    Box box;
    const std::size_t length = std::strlen(text);
    unsigned char found[FREEFORM_TEXT_CAPACITY];
    if (length > sizeof found || !findBox(reader, parent.data, parent.end, type, box) ||
        box.end - box.data != FULL_BOX_PREFIX_SIZE + length ||
        !readMediaBytes(reader, box.data + FULL_BOX_PREFIX_SIZE, found, length)) {
        return false;
    }
    return std::memcmp(found, text, length) == 0;
}

// A freeform item ("----"): the field its mean and name boxes stand for.
TagFieldKind freeformKind(MediaReader& reader, const Box& item) {
    return holdsText(reader, item, "mean", FREEFORM_MEAN) &&
                   holdsText(reader, item, "name", FREEFORM_MUSICBRAINZ_ALBUM)
               ? TAG_MUSICBRAINZ_ALBUM
               : TAG_FIELD_KINDS;
}

// The field an ilst item stands for: by its type, or, where the meta box
// has keys, by the key its type counts to (from 1).
TagFieldKind itemFieldKind(MediaReader& reader, const Box& item, const MetaKeys* keys) {
    if (keys == nullptr && std::memcmp(item.type, "----", 4) == 0) {
        return freeformKind(reader, item);
    }
    if (keys == nullptr) return itemKind(item.type);
    const std::uint32_t index = bigEndian32(item.type);
    return index >= 1 && index <= keys->count ? keys->kind[index - 1] : TAG_FIELD_KINDS;
}

// The data types of a cover's data box.
constexpr std::uint32_t DATA_TYPE_JPEG = 13;
constexpr std::uint32_t DATA_TYPE_PNG = 14;
constexpr std::uint32_t DATA_TYPE_BMP = 27;

// A "covr" item: its first data box holds the cover, the front one.
void readCoverItem(MediaReader& reader, const Box& item, TagFields& fields) {
    Box data;
    unsigned char prefix[DATA_PREFIX_SIZE];
    if (!findBox(reader, item.data, item.end, "data", data) ||
        !rangeFits(data.data, sizeof prefix, data.end) ||
        !readMediaBytes(reader, data.data, prefix, sizeof prefix)) {
        return;
    }
    const std::uint32_t dataType = bigEndian32(prefix) & 0xFFFFFF;
    const ImageFormat format = dataType == DATA_TYPE_JPEG  ? ImageFormat::Jpeg
                               : dataType == DATA_TYPE_PNG ? ImageFormat::Png
                               : dataType == DATA_TYPE_BMP ? ImageFormat::Bmp
                                                           : ImageFormat::Unknown;
    const std::uint64_t picture = data.data + sizeof prefix;
    notePicture(reader, fields, true, format, PictureCoding::Raw, picture, data.end - picture,
                data.end - picture);
}

// The items of an ilst box: each holds its value in a data box.
void readItemList(MediaReader& reader, const Box& list, const MetaKeys* keys, TagFields& fields) {
    forEachBox(reader, list.data, list.end, [&](const Box& item) {
        if (keys == nullptr && fields.coverWanted && std::memcmp(item.type, "covr", 4) == 0) {
            readCoverItem(reader, item, fields);
            return;
        }
        const TagFieldKind kind = itemFieldKind(reader, item, keys);
        Box data;
        unsigned char prefix[DATA_PREFIX_SIZE];
        if (kind == TAG_FIELD_KINDS || !findBox(reader, item.data, item.end, "data", data) ||
            !rangeFits(data.data, sizeof prefix, data.end) ||
            !readMediaBytes(reader, data.data, prefix, sizeof prefix)) {
            return;
        }
        // Text only: 0 is what some writers put for it; others are numbers or pictures.
        const std::uint32_t dataType = bigEndian32(prefix) & 0xFFFFFF;
        if (dataType != DATA_TYPE_UTF8 && dataType != DATA_TYPE_UTF16 && dataType != 0) return;
        const std::uint64_t value = data.data + sizeof prefix;
        readTagField(reader, fields, kind, value, data.end - value,
                     dataType == DATA_TYPE_UTF16 ? TagEncoding::Utf16BigEndian : TagEncoding::Utf8);
    });
}

// A keys box: a version and flags, a count, then each key's size,
// namespace and name.
void readKeys(MediaReader& reader, const Box& box, MetaKeys& keys) {
    keys.count = 0;
    unsigned char count[8];
    if (!rangeFits(box.data, sizeof count, box.end) ||
        !readMediaBytes(reader, box.data, count, sizeof count)) {
        return;
    }
    std::uint64_t offset = box.data + sizeof count;
    for (std::uint32_t i = 0; i < bigEndian32(count + 4) && keys.count < MAXIMUM_KEYS; ++i) {
        unsigned char entry[KEY_ENTRY_HEADER_SIZE + KEY_NAME_CAPACITY];
        if (!rangeFits(offset, KEY_ENTRY_HEADER_SIZE, box.end) ||
            !readMediaBytes(reader, offset, entry, KEY_ENTRY_HEADER_SIZE)) {
            return;
        }
        const std::uint64_t size = bigEndian32(entry);
        if (size < KEY_ENTRY_HEADER_SIZE || !rangeFits(offset, size, box.end)) return;
        const std::size_t nameLength = static_cast<std::size_t>(size - KEY_ENTRY_HEADER_SIZE);
        TagFieldKind kind = TAG_FIELD_KINDS;
        if (nameLength <= KEY_NAME_CAPACITY &&
            readMediaBytes(reader, offset + KEY_ENTRY_HEADER_SIZE, entry + KEY_ENTRY_HEADER_SIZE,
                           nameLength)) {
            for (const NamedField& key : KEY_NAMES) {
                if (std::strlen(key.name) == nameLength &&
                    std::memcmp(entry + KEY_ENTRY_HEADER_SIZE, key.name, nameLength) == 0) {
                    kind = key.kind;
                }
            }
        }
        keys.kind[keys.count++] = kind;
        offset += size;
    }
}

// meta is a full box in MP4 and a plain one in some QuickTime files: there
// its handler box follows at once.
std::uint64_t metaChildren(MediaReader& reader, const Box& meta) {
    unsigned char start[8];
    if (rangeFits(meta.data, sizeof start, meta.end) &&
        readMediaBytes(reader, meta.data, start, sizeof start) &&
        std::memcmp(start + 4, "hdlr", 4) == 0) {
        return meta.data;
    }
    return meta.data + 4;
}

// QuickTime user data text: a length, a language, then the text.
void readQuickTimeText(MediaReader& reader, const Box& item, TagFieldKind kind, TagFields& fields) {
    unsigned char prefix[QUICKTIME_TEXT_PREFIX_SIZE];
    if (!rangeFits(item.data, sizeof prefix, item.end) ||
        !readMediaBytes(reader, item.data, prefix, sizeof prefix)) {
        return;
    }
    const std::uint64_t text = item.data + sizeof prefix;
    const std::uint64_t length = bigEndian16(prefix);
    if (!rangeFits(text, length, item.end)) return;
    readTagField(reader, fields, kind, text, length, TagEncoding::Utf8);
}

// A meta box: its ilst, whose items its keys name where it has them.
void readMeta(MediaReader& reader, const Box& meta, TagFields& fields) {
    const std::uint64_t children = metaChildren(reader, meta);
    Box list;
    if (!findBox(reader, children, meta.end, "ilst", list)) return;
    Box keysBox;
    MetaKeys keys;
    const bool keyed = findBox(reader, children, meta.end, "keys", keysBox);
    if (keyed) readKeys(reader, keysBox, keys);
    fields.source = keyed ? "mdta keys" : "ilst";
    readItemList(reader, list, keyed ? &keys : nullptr, fields);
}

// The movie header's duration by its timescale (32-bit in version 0,
// 64-bit in version 1; all ones: unknown), and each track's handler.
void readMovieFacts(MediaReader& reader, const Box& moov, TagFields& fields) {
    Box movieHeader;
    unsigned char header[MOVIE_HEADER_READ];
    if (findBox(reader, moov.data, moov.end, "mvhd", movieHeader) &&
        rangeFits(movieHeader.data, sizeof header, movieHeader.end) &&
        readMediaBytes(reader, movieHeader.data, header, sizeof header)) {
        const bool longForm = header[0] == 1;
        const std::uint64_t timescale = bigEndian32(header + (longForm ? 20 : 12));
        const std::uint64_t duration =
            longForm ? bigEndian64(header + 24) : bigEndian32(header + 16);
        const std::uint64_t unknown = longForm ? ~std::uint64_t{0} : 0xFFFFFFFF;
        if (duration != unknown) {
            setDuration(fields, duration, timescale, reader.size, LOSSLESS_MINIMUM_BYTE_RATE);
        }
        Box extends;
        Box extendsHeader;
        unsigned char fragments[EXTENDS_HEADER_READ];
        if (!fields.facts.hasDuration && findBox(reader, moov.data, moov.end, "mvex", extends) &&
            findBox(reader, extends.data, extends.end, "mehd", extendsHeader) &&
            rangeFits(extendsHeader.data, 8, extendsHeader.end) &&
            readMediaBytes(reader, extendsHeader.data, fragments, 8)) {
            const bool longFragments = fragments[0] == 1;
            std::uint64_t fragmentDuration = bigEndian32(fragments + 4);
            if (longFragments &&
                rangeFits(extendsHeader.data, sizeof fragments, extendsHeader.end) &&
                readMediaBytes(reader, extendsHeader.data, fragments, sizeof fragments)) {
                fragmentDuration = bigEndian64(fragments + 4);
            } else if (longFragments) {
                fragmentDuration = 0;
            }
            setDuration(fields, fragmentDuration, timescale, reader.size,
                        LOSSLESS_MINIMUM_BYTE_RATE);
        }
    }
    forEachBox(reader, moov.data, moov.end, [&](const Box& track) {
        Box trackHeader;
        Box media;
        Box handler;
        unsigned char flags[TRACK_HEADER_FLAGS_END];
        unsigned char type[HANDLER_TYPE_END];
        if (std::memcmp(track.type, "trak", 4) != 0) return;
        // A disabled track is not played: chapter pictures in an audiobook.
        if (findBox(reader, track.data, track.end, "tkhd", trackHeader) &&
            rangeFits(trackHeader.data, sizeof flags, trackHeader.end) &&
            readMediaBytes(reader, trackHeader.data, flags, sizeof flags) &&
            (flags[3] & TRACK_ENABLED) == 0) {
            return;
        }
        if (!findBox(reader, track.data, track.end, "mdia", media) ||
            !findBox(reader, media.data, media.end, "hdlr", handler) ||
            !rangeFits(handler.data, sizeof type, handler.end) ||
            !readMediaBytes(reader, handler.data, type, sizeof type)) {
            return;
        }
        notePictures(fields, std::memcmp(type + 8, "vide", 4) == 0 ? PictureTrack::Present
                                                                   : PictureTrack::None);
    });
}

}  // namespace

bool readMp4Tags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                 TagFields& fields) {
    if (headLength < BOX_HEADER_SIZE) return false;
    bool known = false;
    for (const char* type : FILE_START_BOXES) known |= std::memcmp(head + 4, type, 4) == 0;
    if (!known) return false;
    fields.container = "MP4";
    Box moov;
    if (!findBox(reader, 0, reader.size, "moov", moov)) return true;
    if (fields.facts.wanted) readMovieFacts(reader, moov, fields);
    Box meta;
    if (findBox(reader, moov.data, moov.end, "meta", meta)) readMeta(reader, meta, fields);
    Box udta;
    if (!findBox(reader, moov.data, moov.end, "udta", udta)) return true;
    if (findBox(reader, udta.data, udta.end, "meta", meta)) readMeta(reader, meta, fields);
    fields.source = "udta";
    forEachBox(reader, udta.data, udta.end, [&](const Box& item) {
        const TagFieldKind kind = itemKind(item.type);
        if (kind != TAG_FIELD_KINDS) readQuickTimeText(reader, item, kind, fields);
    });
    return true;
}
