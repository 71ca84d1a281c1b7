#include "status/status_text.h"

#include <cstring>

#include "status/bounded_text.h"

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
    const StatusProfile& profile = kind == MediaKind::Audio ? profiles.audioProfile : profiles.videoProfile;

    char* title = composed.currentFileName;
    const std::size_t keptTitle =
        copyBoundedCount(title, sizeof composed.currentFileName, name, titleLength);
    for (std::size_t i = 0; i < keptTitle; ++i) {
        if (title[i] == '_' || title[i] == '.') title[i] = ' ';
    }

    char* text = composed.statusText;
    constexpr std::size_t capacity = sizeof composed.statusText;
    std::size_t length = copyBounded(text, capacity, profile.categoryCode);
    length = appendBounded(text, capacity, length, STATUS_FIXED_PIECE);
    length = appendBounded(text, capacity, length, profile.prefix);

    // Everything but the title is kept whole, so the title gets what is left.
    const std::size_t tailLength =
        boundedLength(profile.suffix, sizeof profile.suffix) + std::strlen(STATUS_CLOSING);
    const std::size_t used = length + tailLength;
    const std::size_t titleRoom = used < capacity - 1 ? capacity - 1 - used : 0;
    length += copyBoundedCount(text + length, capacity - length, title,
                               keptTitle < titleRoom ? keptTitle : titleRoom);
    length = appendBounded(text, capacity, length, profile.suffix);
    appendBounded(text, capacity, length, STATUS_CLOSING);
    return kind;
}
