#include "status/status_text.h"

#include <cstring>

#include "text/bounded_text.h"

namespace {

constexpr std::size_t AUDIO_EXTENSION_LENGTH = 4;
constexpr const char* AUDIO_EXTENSIONS[] = {".MP3", ".WAV"};

// Upper-cases a to z only: the extension test must not depend on the locale.
char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalsIgnoringAsciiCase(const char* text, const char* upperCaseWord, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (asciiUpper(text[i]) != upperCaseWord[i]) return false;
    }
    return true;
}

// Copies `length` bytes of `piece` to `out`, whose room the caller has
// checked, and returns the position after them.
char* put(char* out, const char* piece, std::size_t length) {
    std::memcpy(out, piece, length);
    return out + length;
}

}  // namespace

MediaKind mediaKindOfExtension(const char* extension) {
    if (extension == nullptr || std::strlen(extension) != AUDIO_EXTENSION_LENGTH) {
        return MediaKind::Other;
    }
    for (const char* audio : AUDIO_EXTENSIONS) {
        if (equalsIgnoringAsciiCase(extension, audio, AUDIO_EXTENSION_LENGTH)) {
            return MediaKind::Audio;
        }
    }
    return MediaKind::Other;
}

MediaKind composeStatus(const char* path, const StatusProfiles& profiles,
                        ComposedStatus& composed) {
    const char* lastBackslash = std::strrchr(path, '\\');
    const char* name = lastBackslash != nullptr ? lastBackslash + 1 : path;
    const char* extension = std::strrchr(name, '.');
    const std::size_t titleLength =
        extension != nullptr ? static_cast<std::size_t>(extension - name) : std::strlen(name);
    const MediaKind kind = mediaKindOfExtension(extension);
    const StatusProfile& profile =
        kind == MediaKind::Audio ? profiles.audioProfile : profiles.videoProfile;

    char* title = composed.currentFileName;
    const std::size_t keptTitle =
        copyBoundedCount(title, sizeof composed.currentFileName, name, titleLength);
    for (std::size_t i = 0; i < keptTitle; ++i) {
        const char c = title[i];
        title[i] = c == '_' || c == '.' ? ' ' : c;  // an unconditional store vectorizes
    }

    // Every piece but the title is kept whole (together they are at most 297
    // bytes), so the title gets what room is left.
    const std::size_t categoryLength =
        boundedLength(profile.categoryCode, CATEGORY_CODE_CAPACITY - 1);
    const std::size_t fixedLength = std::strlen(STATUS_FIXED_PIECE);
    const std::size_t prefixLength = boundedLength(profile.prefix, PROFILE_TEXT_CAPACITY - 1);
    const std::size_t suffixLength = boundedLength(profile.suffix, PROFILE_TEXT_CAPACITY - 1);
    const std::size_t closingLength = std::strlen(STATUS_CLOSING);
    const std::size_t others =
        categoryLength + fixedLength + prefixLength + suffixLength + closingLength;
    constexpr std::size_t maximumText = STATUS_TEXT_CAPACITY - 1;
    static_assert(
        CATEGORY_CODE_CAPACITY - 1 + 10 + 2 * (PROFILE_TEXT_CAPACITY - 1) + 2 < maximumText,
        "the fixed pieces always fit");
    const std::size_t titleRoom = maximumText - others;
    const std::size_t titleUsed = keptTitle < titleRoom ? keptTitle : titleRoom;

    char* out = composed.statusText;
    out = put(out, profile.categoryCode, categoryLength);
    out = put(out, STATUS_FIXED_PIECE, fixedLength);
    out = put(out, profile.prefix, prefixLength);
    out = put(out, title, titleUsed);
    out = put(out, profile.suffix, suffixLength);
    put(out, STATUS_CLOSING, closingLength + 1);  // with its terminator
    return kind;
}
