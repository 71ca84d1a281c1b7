#include "status/presence_image.h"

#include <cstring>

#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

// The build's own application's pictures: its assets "music" and "video".
constexpr char BUILD_MUSIC_IMAGE[] = "music";
constexpr char BUILD_VIDEO_IMAGE[] = "video";
// A line composed: its markers may make it longer than it was written.
constexpr std::size_t COMPOSED_LINE_CAPACITY = 2 * PRESENCE_TEMPLATE_CAPACITY;

bool isSeparator(char16_t unit) { return unit == u' '; }

const char16_t HTTPS[] = u"https://";
constexpr std::size_t HTTPS_LENGTH = sizeof HTTPS / sizeof HTTPS[0] - 1;
constexpr std::size_t SCHEME_MARK_AT = 5;  // where "://" begins in "https://"

// Calls `visit` with each space-separated alternative of the `length` units at `text`.
template <typename Visit>
void forEachAlternative(const char16_t* text, std::size_t length, Visit visit) {
    std::size_t at = 0;
    while (at < length) {
        while (at < length && isSeparator(text[at])) ++at;
        const std::size_t begin = at;
        while (at < length && !isSeparator(text[at])) ++at;
        if (at > begin && !visit(text + begin, at - begin)) return;
    }
}

}  // namespace

bool isPresenceImage(const char16_t* text, std::size_t length) {
    for (std::size_t at = 0; at < length; ++at) {
        const char16_t unit = text[at];
        if (unit <= u' ' || (unit >= 0x7F && unit <= 0x9F) || isHighSurrogate(unit) ||
            isLowSurrogate(unit)) {
            return false;
        }
        const bool schemeMark =
            at + 3 <= length && text[at] == u':' && text[at + 1] == u'/' && text[at + 2] == u'/';
        if (schemeMark && !(at == SCHEME_MARK_AT && length >= HTTPS_LENGTH &&
                            std::memcmp(text, HTTPS, HTTPS_LENGTH * sizeof(char16_t)) == 0)) {
            return false;
        }
    }
    return true;
}

bool isPresenceImageLine(const char16_t* text, std::size_t length) {
    bool taken = true;
    forEachAlternative(text, length, [&](const char16_t* alternative, std::size_t units) {
        if (alternative[0] == u'{') {
            ++alternative;
            --units;
        }
        taken = isPresenceImage(alternative, units);
        return taken;
    });
    return taken;
}

void composePresenceImage(const PresenceSettings& settings, const TemplateValues& values,
                          const char* musicBrainzAlbumId, bool watching,
                          char (&out)[PRESENCE_IMAGE_TEXT_CAPACITY]) {
    out[0] = '\0';
    if (settings.imageGiven) {
        if (settings.image.length == 0) return;
        static char16_t composed[COMPOSED_LINE_CAPACITY];
        const std::size_t length = expandTemplate(settings.image.text, settings.image.length,
                                                  values, composed, COMPOSED_LINE_CAPACITY);
        forEachAlternative(composed, length, [&](const char16_t* alternative, std::size_t units) {
            if (!isPresenceImage(alternative, units)) return true;
            // One byte more than an image may take tells one that is too long.
            char bytes[PRESENCE_IMAGE_BYTES + 1];
            const std::size_t written = convertUtf16ToUtf8(alternative, units, bytes, sizeof bytes);
            if (written > PRESENCE_IMAGE_BYTES) return true;
            std::memcpy(out, bytes, written);
            out[written] = '\0';
            return false;
        });
        if (out[0] != '\0') return;
    }
    if (musicBrainzAlbumId[0] != '\0') {
        std::size_t used = copyBounded(out, sizeof out, COVER_ART_ARCHIVE_RELEASE);
        used = appendBounded(out, sizeof out, used, musicBrainzAlbumId);
        appendBounded(out, sizeof out, used, COVER_ART_ARCHIVE_FRONT);
        return;
    }
    if (settings.buildApplication) {
        static_assert(sizeof BUILD_MUSIC_IMAGE == sizeof BUILD_VIDEO_IMAGE, "keys of one size");
        std::memcpy(out, watching ? BUILD_VIDEO_IMAGE : BUILD_MUSIC_IMAGE,
                    sizeof BUILD_MUSIC_IMAGE);
    }
}
