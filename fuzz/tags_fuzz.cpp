// Any bytes as a media file, its Latin-1 fields read in Latin-1, code page
// 932 or UTF-8 (65001) by its size: the reading ends within its read and
// seek budget, the artist, title and album end inside their storage, hold whole
// characters only, no control character (C0, C1, the line and paragraph
// separators), with no space at either end, and the composed title holds
// no control character either, so no tag breaks a display line (a
// backslash stays, for the messenger's text to make a slash). Read again with
// the media facts, within the same budget, the tags are the same (where
// neither reading ran into the budget, the one thing the facts' reads may
// take from the tags'), and no duration is longer than the bytes could play
// at 128 bit/s, below every format's floor.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/standin.h"
#include "tags/cover_copy.h"
#include "tags/media_tags.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

constexpr unsigned CODE_PAGES[] = {0, 932, 65001};  // 0: the stand-in's Latin-1

// Says which check failed: the line tells a crash's input what to fix.
void requireAt(bool condition, int line) {
    if (condition) return;
    std::fprintf(stderr, "tags_fuzz.cpp:%d: check failed\n", line);
    std::abort();
}
#define require(condition) requireAt((condition), __LINE__)

bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// Returns the length of the terminated text in `capacity` units, after
// checking that it holds whole characters and no control.
std::size_t checkText(const char16_t* text, std::size_t capacity) {
    const std::size_t length = boundedLength(text, capacity);
    require(length < capacity);
    for (std::size_t at = 0; at < length; ++at) {
        const char16_t c = text[at];
        require(!isControl(c));
        if (isHighSurrogate(c)) {
            require(at + 1 < length && isLowSurrogate(text[at + 1]));
            ++at;
        } else {
            require(!isLowSurrogate(c));
        }
    }
    return length;
}

void checkField(const char16_t* text, std::size_t capacity) {
    const std::size_t length = checkText(text, capacity);
    require(length == 0 || (text[0] != u' ' && text[length - 1] != u' '));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static unsigned codePage = 0;
    const unsigned wanted = CODE_PAGES[size % 3];
    if (wanted != codePage) {
        standin::reset();
        if (wanted != 0) require(standin::setAnsiCodePage(wanted));
        codePage = wanted;
    }
    MediaTags tags;
    readMediaTagsBytes(data, size, tags);
    require(tags.bytesRead <= TAG_READ_BUDGET && tags.seeks <= TAG_SEEK_BUDGET);
    checkField(tags.artist, TAG_TEXT_CAPACITY);
    checkField(tags.title, TAG_TEXT_CAPACITY);
    checkField(tags.album, TAG_TEXT_CAPACITY);
    require(std::memchr(tags.format, '\0', sizeof tags.format) != nullptr);

    char16_t title[TAG_TEXT_CAPACITY];
    const std::size_t length = composeTagTitle(tags, title, TAG_TEXT_CAPACITY);
    require(length < TAG_TEXT_CAPACITY && title[length] == u'\0');
    require((length == 0) == (tags.title[0] == u'\0'));
    require(checkText(title, TAG_TEXT_CAPACITY) == length);

    MediaTags withFacts;
    readMediaTagsBytes(data, size, withFacts, MediaRead::TagsAndFacts);
    require(withFacts.bytesRead <= TAG_READ_BUDGET && withFacts.seeks <= TAG_SEEK_BUDGET);
    constexpr std::uint32_t window = 4096;
    const bool roomLeft =
        withFacts.bytesRead + window <= TAG_READ_BUDGET && withFacts.seeks < TAG_SEEK_BUDGET;
    require(!roomLeft || (std::memcmp(withFacts.artist, tags.artist, sizeof tags.artist) == 0 &&
                          std::memcmp(withFacts.title, tags.title, sizeof tags.title) == 0 &&
                          std::memcmp(withFacts.album, tags.album, sizeof tags.album) == 0 &&
                          std::strcmp(withFacts.format, tags.format) == 0));
    constexpr std::uint64_t lowestByteRate = 16;
    require(!withFacts.hasDuration ||
            std::uint64_t{withFacts.durationSeconds} * lowestByteRate <= size + lowestByteRate);

    // The cover, where one is found, lies within the file and the limit, and
    // undoing its unsynchronisation gives its size from the bytes it names.
    MediaTags withCover;
    readMediaTagsBytes(data, size, withCover, MediaRead::TagsFactsAndCover);
    require(withCover.bytesRead <= TAG_READ_BUDGET && withCover.seeks <= TAG_SEEK_BUDGET);
    require(std::memcmp(withCover.musicBrainzAlbumId, withFacts.musicBrainzAlbumId,
                        MUSICBRAINZ_ID_CAPACITY) == 0 ||
            !roomLeft);
    const CoverLocation& cover = withCover.cover;
    if (cover.coding != PictureCoding::None) {
        require(cover.size > 0 && cover.size <= COVER_SIZE_LIMIT);
        require(cover.offset <= size && cover.length <= size - cover.offset);
        require(cover.size <= cover.length);
        if (cover.coding == PictureCoding::Unsynchronised) {
            std::uint64_t decoded = 0;
            for (std::uint64_t at = 0; at < cover.length && decoded < cover.size; ++at) {
                const bool dropped = at > 0 && data[cover.offset + at - 1] == 0xFF &&
                                     data[cover.offset + at] == 0x00;
                if (!dropped) ++decoded;
            }
            require(decoded == cover.size);
        }
        // The worker's copy hands on the picture's size or stops short,
        // reading only the file's bytes; one that lies as it is always
        // copies, its first bytes being an image's.
        std::uint64_t handed = 0;
        const CoverSink count = [](const unsigned char*, std::size_t bytes, void* context) {
            *static_cast<std::uint64_t*>(context) += bytes;
            return true;
        };
        const bool copied =
            copyCover(CoverSource{PLATFORM_NO_FILE, data, size}, cover, count, &handed);
        require(handed <= cover.size && (!copied || handed == cover.size));
        require(cover.coding != PictureCoding::Raw ||
                copied == (imageFormatOfSignature(data + cover.offset, cover.size) !=
                           ImageFormat::Unknown));
    }
    return 0;
}
