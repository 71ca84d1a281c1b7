// Matroska and WebM: TITLE and ARTIST of the segment's Tags, and for the
// title the segment Info's Title; where a file has both a track-level and an
// album-level TITLE, the latter is the album. Level-one elements are walked
// by their sizes up to the first cluster; what lies beyond (tags written at
// the end) is found through the seek heads. How long it plays: Info's
// Duration in its TimestampScale; it has pictures where an enabled track is
// video, unless the track is one still picture (a cover as ffmpeg stores
// one: MJPEG or PNG, its DURATION tag under a second).
#include <cstring>
#include <limits>

#include "tags/tag_reader.h"

namespace {

constexpr std::uint32_t ID_EBML = 0x1A45DFA3;
constexpr std::uint32_t ID_SEGMENT = 0x18538067;
constexpr std::uint32_t ID_SEEK_HEAD = 0x114D9B74;
constexpr std::uint32_t ID_SEEK = 0x4DBB;
constexpr std::uint32_t ID_SEEK_ID = 0x53AB;
constexpr std::uint32_t ID_SEEK_POSITION = 0x53AC;
constexpr std::uint32_t ID_INFO = 0x1549A966;
constexpr std::uint32_t ID_INFO_TITLE = 0x7BA9;
constexpr std::uint32_t ID_TAGS = 0x1254C367;
constexpr std::uint32_t ID_TAG = 0x7373;
constexpr std::uint32_t ID_TARGETS = 0x63C0;
constexpr std::uint32_t ID_TARGET_TYPE_VALUE = 0x68CA;
constexpr std::uint32_t ID_SIMPLE_TAG = 0x67C8;
constexpr std::uint32_t ID_TAG_NAME = 0x45A3;
constexpr std::uint32_t ID_TAG_STRING = 0x4487;
constexpr std::uint32_t ID_CLUSTER = 0x1F43B675;
constexpr std::uint32_t ID_TIMESTAMP_SCALE = 0x2AD7B1;
constexpr std::uint32_t ID_DURATION = 0x4489;
constexpr std::uint32_t ID_TRACKS = 0x1654AE6B;
constexpr std::uint32_t ID_TRACK_ENTRY = 0xAE;
constexpr std::uint32_t ID_TRACK_TYPE = 0x83;
constexpr std::uint32_t ID_TRACK_UID = 0x73C5;
constexpr std::uint32_t ID_CODEC_ID = 0x86;
constexpr std::uint32_t ID_FLAG_ENABLED = 0xB9;
constexpr std::uint32_t ID_TAG_TRACK_UID = 0x63C5;
constexpr std::uint32_t ID_ATTACHMENTS = 0x1941A469;
constexpr std::uint32_t ID_ATTACHED_FILE = 0x61A7;
constexpr std::uint32_t ID_FILE_NAME = 0x466E;
constexpr std::uint32_t ID_FILE_MIME_TYPE = 0x4660;
constexpr std::uint32_t ID_FILE_DATA = 0x465C;
// An attachment is a cover when its name begins so ("cover.jpg", as the
// Matroska guidelines name it; "cover_land.png"); the front one when it is
// "cover" and an extension.
constexpr char COVER_NAME[] = "COVER";
constexpr std::size_t ATTACHMENT_TEXT_CAPACITY = 64;
constexpr std::uint64_t TRACK_TYPE_VIDEO = 1;
// Codecs of still pictures: a track of one such picture is a cover, as
// ffmpeg stores an attached picture, not video.
const char* const STILL_CODECS[] = {"V_MJPEG", "V_PNG"};
constexpr std::size_t CODEC_ID_CAPACITY = 16;
// Tracks of a still codec, and tracks a tag says last under a second, kept at most.
constexpr std::size_t STILL_TRACKS_MAXIMUM = 4;
constexpr std::size_t SHORT_TRACKS_MAXIMUM = 8;
// A track's DURATION tag, "HH:MM:SS.nnnnnnnnn": under a second is one frame.
constexpr char SHORT_DURATION_PREFIX[] = "00:00:00.";
constexpr std::uint64_t DEFAULT_TIMESTAMP_SCALE = 1000000;  // nanoseconds: milliseconds
constexpr double NANOSECONDS_PER_SECOND = 1e9;
// A tag aimed at one track, edition, chapter or attachment is not the
// file's; aimed at UID 0, it is aimed at all of them.
constexpr std::uint32_t TARGET_UIDS[] = {0x63C5, 0x63C9, 0x63C4, 0x63C6};
// Below this target level (50: album, movie) tags describe the track itself.
constexpr std::uint64_t ALBUM_TARGET_LEVEL = 50;
constexpr std::size_t MAXIMUM_SEEK_TARGETS = 8;
constexpr std::size_t TAG_NAME_CAPACITY = 32;

struct Element {
    std::uint32_t id;
    std::uint64_t data;
    std::uint64_t end;
    bool unknownSize;
};

// Reads the element at `offset` inside a parent ending at `end`. An unknown
// size reaches the parent's end. Returns false when there is none there.
bool readElement(MediaReader& reader, std::uint64_t offset, std::uint64_t end, Element& element) {
    unsigned char header[12];
    std::uint64_t available = end - offset;
    if (offset >= end) return false;
    const std::size_t headerRead =
        static_cast<std::size_t>(available < sizeof header ? available : sizeof header);
    if (!readMediaBytes(reader, offset, header, headerRead)) return false;
    std::size_t idLength = 1;
    while (idLength <= 4 && (header[0] & (0x80 >> (idLength - 1))) == 0) ++idLength;
    if (idLength > 4 || idLength >= headerRead) return false;
    element.id = 0;
    for (std::size_t i = 0; i < idLength; ++i) element.id = element.id << 8 | header[i];
    const unsigned char first = header[idLength];
    std::size_t sizeLength = 1;
    while (sizeLength <= 8 && (first & (0x80 >> (sizeLength - 1))) == 0) ++sizeLength;
    if (sizeLength > 8 || idLength + sizeLength > headerRead) return false;
    std::uint64_t size = first & (0xFFu >> sizeLength);
    bool allOnes = size == (0xFFu >> sizeLength);
    for (std::size_t i = 1; i < sizeLength; ++i) {
        size = size << 8 | header[idLength + i];
        allOnes &= header[idLength + i] == 0xFF;
    }
    element.data = offset + idLength + sizeLength;
    element.unknownSize = allOnes;
    if (allOnes) {
        element.end = end;
    } else if (rangeFits(element.data, size, end)) {
        element.end = element.data + size;
    } else {
        return false;
    }
    return true;
}

// An unsigned integer element's value, or 0 when it is not one.
std::uint64_t readUnsigned(MediaReader& reader, const Element& element) {
    unsigned char bytes[8];
    const std::uint64_t length = element.end - element.data;
    if (length > sizeof bytes ||
        !readMediaBytes(reader, element.data, bytes, static_cast<std::size_t>(length))) {
        return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < length; ++i) value = value << 8 | bytes[i];
    return value;
}

// A float element's value (4 or 8 bytes), or NaN when it is not one.
double readFloat(MediaReader& reader, const Element& element) {
    unsigned char bytes[8];
    const std::uint64_t length = element.end - element.data;
    if ((length != 4 && length != 8) ||
        !readMediaBytes(reader, element.data, bytes, static_cast<std::size_t>(length))) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (length == 4) {
        const std::uint32_t bits = bigEndian32(bytes);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    const std::uint64_t bits = bigEndian64(bytes);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Calls `visit` for each child of `parent`; stops at one of unknown size.
template <typename Visit>
void forEachChild(MediaReader& reader, const Element& parent, Visit visit) {
    Element child;
    std::uint64_t offset = parent.data;
    for (unsigned items = 0; items < TAG_ITEMS_PER_LEVEL &&
                             readElement(reader, offset, parent.end, child) && !child.unknownSize;
         ++items) {
        offset = child.end;
        visit(child);
    }
}

// A SimpleTag's name (terminated, empty when too long for `name`) and its
// string's element. Returns false when it has no string.
bool readSimpleTagParts(MediaReader& reader, const Element& simpleTag,
                        char (&name)[TAG_NAME_CAPACITY], Element& value) {
    bool hasValue = false;
    forEachChild(reader, simpleTag, [&](const Element& child) {
        if (child.id == ID_TAG_NAME && child.end - child.data < sizeof name) {
            readMediaBytes(reader, child.data, name,
                           static_cast<std::size_t>(child.end - child.data));
        } else if (child.id == ID_TAG_STRING) {
            value = child;
            hasValue = true;
        }
    });
    return hasValue;
}

// A SimpleTag: TITLE, ARTIST or the release's MusicBrainz id, with its string.
void readSimpleTag(MediaReader& reader, const Element& simpleTag, TagFields& fields) {
    char name[TAG_NAME_CAPACITY] = {};
    Element value{0, 0, 0, false};
    if (!readSimpleTagParts(reader, simpleTag, name, value)) return;
    const TagFieldKind kind = std::strcmp(name, "TITLE") == 0    ? TAG_TITLE
                              : std::strcmp(name, "ARTIST") == 0 ? TAG_ARTIST
                              : std::strcmp(name, "MUSICBRAINZ_ALBUMID") == 0
                                  ? TAG_MUSICBRAINZ_ALBUM
                                  : TAG_FIELD_KINDS;
    if (kind == TAG_FIELD_KINDS) return;
    readTagField(reader, fields, kind, value.data, value.end - value.data, TagEncoding::Utf8);
}

// A Tag meant for the whole file fills `trackFields` when aimed below the
// album level, `albumFields` otherwise.
void readTag(MediaReader& reader, const Element& tag, TagFields& trackFields,
             TagFields& albumFields) {
    TagFields* target = &albumFields;
    bool aimedElsewhere = false;
    forEachChild(reader, tag, [&](const Element& child) {
        if (child.id == ID_TARGETS) {
            forEachChild(reader, child, [&](const Element& part) {
                for (std::uint32_t uid : TARGET_UIDS) {
                    aimedElsewhere |= part.id == uid && readUnsigned(reader, part) != 0;
                }
                if (part.id == ID_TARGET_TYPE_VALUE &&
                    readUnsigned(reader, part) < ALBUM_TARGET_LEVEL) {
                    target = &trackFields;
                }
            });
        } else if (child.id == ID_SIMPLE_TAG && !aimedElsewhere) {
            readSimpleTag(reader, child, *target);
        }
    });
}

struct Segment {
    std::uint64_t data;
    std::uint64_t end;
    std::uint64_t targets[MAXIMUM_SEEK_TARGETS];  // offsets the seek heads name
    std::size_t targetCount;
    std::uint64_t visited[MAXIMUM_SEEK_TARGETS];
    std::size_t visitedCount;
    TagFields& fields;
    TagFields albumFields;
    TagFields infoFields;
    // Tracks, for the facts only: kept apart from the tags' own bookkeeping,
    // so that asking for the facts never changes which tags are read.
    bool tracksRead;
    bool hasTracksTarget;
    std::uint64_t tracksTarget;
    // Enabled video tracks of a still codec, and tracks a tag says last
    // under a second: a still track that is also short is a cover.
    std::uint64_t stillTracks[STILL_TRACKS_MAXIMUM];
    std::size_t stillCount;
    std::uint64_t shortTracks[SHORT_TRACKS_MAXIMUM];
    std::size_t shortCount;
};

// A Tracks element: it has pictures where an enabled track is video, but
// for a track of a still codec, which counts once the tags are read.
void readTracks(MediaReader& reader, Segment& segment, const Element& element) {
    segment.tracksRead = true;
    forEachChild(reader, element, [&](const Element& entry) {
        if (entry.id != ID_TRACK_ENTRY) return;
        bool video = false;
        bool enabled = true;
        bool still = false;
        std::uint64_t uid = 0;
        forEachChild(reader, entry, [&](const Element& part) {
            if (part.id == ID_TRACK_TYPE) video = readUnsigned(reader, part) == TRACK_TYPE_VIDEO;
            if (part.id == ID_FLAG_ENABLED) enabled = readUnsigned(reader, part) != 0;
            if (part.id == ID_TRACK_UID) uid = readUnsigned(reader, part);
            char codec[CODEC_ID_CAPACITY] = {};
            if (part.id == ID_CODEC_ID && part.end - part.data < sizeof codec &&
                readMediaBytes(reader, part.data, codec,
                               static_cast<std::size_t>(part.end - part.data))) {
                for (const char* stillCodec : STILL_CODECS)
                    still |= std::strcmp(codec, stillCodec) == 0;
            }
        });
        if (!video || !enabled) {
            notePictures(segment.fields, PictureTrack::None);
        } else if (still && uid != 0 && segment.stillCount < STILL_TRACKS_MAXIMUM) {
            segment.stillTracks[segment.stillCount++] = uid;
        } else {
            notePictures(segment.fields, PictureTrack::Present);
        }
    });
}

// Whether the DURATION tag's `value` says under a second.
bool shortDuration(MediaReader& reader, const Element& value) {
    constexpr std::size_t prefixLength = sizeof SHORT_DURATION_PREFIX - 1;
    char text[prefixLength];
    return value.end - value.data > prefixLength &&
           readMediaBytes(reader, value.data, text, prefixLength) &&
           std::memcmp(text, SHORT_DURATION_PREFIX, prefixLength) == 0;
}

// A tag aimed at one track: notes the track as short where its DURATION is
// under a second.
void readTrackTag(MediaReader& reader, const Element& tag, Segment& segment) {
    std::uint64_t uid = 0;
    bool shortTrack = false;
    forEachChild(reader, tag, [&](const Element& child) {
        if (child.id == ID_TARGETS) {
            forEachChild(reader, child, [&](const Element& part) {
                if (part.id == ID_TAG_TRACK_UID) uid = readUnsigned(reader, part);
            });
        } else if (child.id == ID_SIMPLE_TAG) {
            char name[TAG_NAME_CAPACITY] = {};
            Element value{0, 0, 0, false};
            if (readSimpleTagParts(reader, child, name, value) &&
                std::strcmp(name, "DURATION") == 0) {
                shortTrack = shortDuration(reader, value);
            }
        }
    });
    if (uid != 0 && shortTrack && segment.shortCount < SHORT_TRACKS_MAXIMUM) {
        segment.shortTracks[segment.shortCount++] = uid;
    }
}

// After the tracks and the tags: a track of a still codec that no tag says
// is short is video.
void noteStillTracks(Segment& segment) {
    for (std::size_t i = 0; i < segment.stillCount; ++i) {
        bool cover = false;
        for (std::size_t k = 0; k < segment.shortCount; ++k) {
            cover |= segment.shortTracks[k] == segment.stillTracks[i];
        }
        notePictures(segment.fields, cover ? PictureTrack::None : PictureTrack::Present);
    }
}

bool wasVisited(const Segment& segment, std::uint64_t offset) {
    for (std::size_t i = 0; i < segment.visitedCount; ++i) {
        if (segment.visited[i] == offset) return true;
    }
    return false;
}

// Reads a level-one element of interest: seek head, info or tags.
// The attached files: the first named as a cover, the front one first,
// where its data lie.
void readAttachments(MediaReader& reader, Segment& segment, const Element& element) {
    forEachChild(reader, element, [&](const Element& file) {
        if (file.id != ID_ATTACHED_FILE) return;
        unsigned char name[ATTACHMENT_TEXT_CAPACITY] = {};
        std::size_t nameLength = 0;
        ImageFormat format = ImageFormat::Unknown;
        Element data{0, 0, 0, false};
        bool hasData = false;
        forEachChild(reader, file, [&](const Element& part) {
            const std::uint64_t length = part.end - part.data;
            if (part.id == ID_FILE_NAME && length <= sizeof name &&
                readMediaBytes(reader, part.data, name, static_cast<std::size_t>(length))) {
                nameLength = static_cast<std::size_t>(length);
            }
            unsigned char mime[ATTACHMENT_TEXT_CAPACITY];
            if (part.id == ID_FILE_MIME_TYPE && length <= sizeof mime &&
                readMediaBytes(reader, part.data, mime, static_cast<std::size_t>(length))) {
                format = imageFormatOfMime(mime, static_cast<std::size_t>(length));
            }
            if (part.id == ID_FILE_DATA) {
                data = part;
                hasData = true;
            }
        });
        constexpr std::size_t coverLength = sizeof COVER_NAME - 1;
        if (!hasData || nameLength < coverLength ||
            !equalsIgnoringCase(name, coverLength, COVER_NAME)) {
            return;
        }
        const bool front = nameLength > coverLength && name[coverLength] == '.';
        notePicture(reader, segment.fields, front, format, PictureCoding::Raw, data.data,
                    data.end - data.data, data.end - data.data);
    });
}

void readLevelOne(MediaReader& reader, Segment& segment, const Element& element,
                  std::uint64_t offset) {
    if (element.id == ID_ATTACHMENTS) {
        if (segment.fields.coverWanted && !segment.fields.cover.front) {
            readAttachments(reader, segment, element);
        }
        return;
    }
    if (element.id == ID_TRACKS) {
        if (segment.fields.facts.wanted && !segment.tracksRead)
            readTracks(reader, segment, element);
        return;
    }
    if (wasVisited(segment, offset) || segment.visitedCount == MAXIMUM_SEEK_TARGETS) return;
    if (element.id != ID_SEEK_HEAD && element.id != ID_INFO && element.id != ID_TAGS) return;
    segment.visited[segment.visitedCount++] = offset;
    if (element.id == ID_INFO) {
        std::uint64_t scale = DEFAULT_TIMESTAMP_SCALE;
        double duration = 0;
        forEachChild(reader, element, [&](const Element& child) {
            if (child.id == ID_INFO_TITLE) {
                readTagField(reader, segment.infoFields, TAG_TITLE, child.data,
                             child.end - child.data, TagEncoding::Utf8);
            } else if (child.id == ID_TIMESTAMP_SCALE) {
                scale = readUnsigned(reader, child);
            } else if (child.id == ID_DURATION && segment.fields.facts.wanted) {
                duration = readFloat(reader, child);
            }
        });
        // A scale of 0 lies: no duration.
        setDurationSeconds(segment.fields,
                           duration * static_cast<double>(scale) / NANOSECONDS_PER_SECOND,
                           reader.size, LOSSLESS_MINIMUM_BYTE_RATE);
    } else if (element.id == ID_TAGS) {
        forEachChild(reader, element, [&](const Element& tag) {
            if (tag.id != ID_TAG) return;
            readTag(reader, tag, segment.fields, segment.albumFields);
            if (segment.fields.facts.wanted) readTrackTag(reader, tag, segment);
        });
    } else {
        forEachChild(reader, element, [&](const Element& seek) {
            if (seek.id != ID_SEEK) return;
            std::uint32_t id = 0;
            std::uint64_t position = 0;
            bool hasPosition = false;
            forEachChild(reader, seek, [&](const Element& part) {
                if (part.id == ID_SEEK_ID)
                    id = static_cast<std::uint32_t>(readUnsigned(reader, part));
                if (part.id == ID_SEEK_POSITION) {
                    position = readUnsigned(reader, part);
                    hasPosition = true;
                }
            });
            if (id == ID_TRACKS && hasPosition && !segment.hasTracksTarget &&
                position < segment.end - segment.data) {
                segment.hasTracksTarget = true;
                segment.tracksTarget = segment.data + position;
            }
            const bool wanted = id == ID_SEEK_HEAD || id == ID_INFO || id == ID_TAGS ||
                                (id == ID_ATTACHMENTS && segment.fields.coverWanted);
            if (wanted && hasPosition && segment.targetCount < MAXIMUM_SEEK_TARGETS &&
                position < segment.end - segment.data) {
                segment.targets[segment.targetCount++] = segment.data + position;
            }
        });
    }
}

}  // namespace

bool readMatroskaTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                      TagFields& fields) {
    if (headLength < 4 || bigEndian32(head) != ID_EBML) return false;
    fields.container = "Matroska";
    Element element;
    std::uint64_t offset = 0;
    bool found = false;
    for (unsigned items = 0; items < TAG_ITEMS_PER_LEVEL && !found; ++items) {
        if (!readElement(reader, offset, reader.size, element)) return true;
        found = element.id == ID_SEGMENT;
        offset = element.end;
    }
    if (!found) return true;
    Segment segment{element.data, element.end, {},    0, {}, 0, fields, {},
                    {},           false,       false, 0, {}, 0, {},     0};
    clearTagFields(segment.albumFields);
    clearTagFields(segment.infoFields);
    fields.source = "";
    // Level one, in order, up to the media: clusters are many, and what
    // follows them the seek heads point to.
    offset = segment.data;
    for (unsigned items = 0; items < TAG_ITEMS_PER_LEVEL; ++items) {
        if (!readElement(reader, offset, segment.end, element) || element.unknownSize ||
            element.id == ID_CLUSTER) {
            break;
        }
        readLevelOne(reader, segment, element, offset);
        offset = element.end;
    }
    for (std::size_t i = 0; i < segment.targetCount; ++i) {
        if (!wasVisited(segment, segment.targets[i]) &&
            readElement(reader, segment.targets[i], segment.end, element) && !element.unknownSize) {
            readLevelOne(reader, segment, element, segment.targets[i]);
        }
    }
    // Tracks the walk did not pass, where a seek head names them: after the
    // tags, so the facts never take the tags' budget.
    if (fields.facts.wanted && !segment.tracksRead && segment.hasTracksTarget &&
        readElement(reader, segment.tracksTarget, segment.end, element) && !element.unknownSize &&
        element.id == ID_TRACKS) {
        readTracks(reader, segment, element);
    }
    if (fields.facts.wanted) noteStillTracks(segment);
    const TagField& albumTitle = segment.albumFields.field[TAG_TITLE];
    if (fields.field[TAG_TITLE].present && albumTitle.present) {
        fields.field[TAG_ALBUM] = albumTitle;
    }
    fillMissingFields(fields, segment.albumFields);
    fillMissingFields(fields, segment.infoFields);
    return true;
}
