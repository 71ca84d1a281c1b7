#include "status/status_text.h"

#include <cstring>

#include "tags/media_tags.h"
#include "text/ansi_text.h"
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

// Turns underscores and dots that are characters of their own into spaces.
void spaceOutTitle(AnsiCodePage codePage, char* title, std::size_t length) {
    if (codePage == AnsiCodePage::SingleByte) {
        for (std::size_t i = 0; i < length; ++i) {
            const char c = title[i];
            title[i] = c == '_' || c == '.' ? ' ' : c;  // an unconditional store vectorizes
        }
        return;
    }
    for (std::size_t at = 0; at < length; at += doubleByteCharacterSize(title + at, length - at)) {
        if (title[at] == '_' || title[at] == '.') title[at] = ' ';
    }
}

// The length of a profile text, less a lead byte left alone at its end.
std::size_t wholePiece(AnsiCodePage codePage, const char* text) {
    const std::size_t length = boundedLength(text, PROFILE_TEXT_CAPACITY - 1);
    return wholeCharacterLength(codePage, text, length, length);
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
    const AnsiCodePage codePage = currentAnsiCodePage();
    const char* lastBackslash = findLastAnsiCharacter(codePage, path, '\\');
    const char* name = lastBackslash != nullptr ? lastBackslash + 1 : path;
    const char* extension = findLastAnsiCharacter(codePage, name, '.');
    const std::size_t titleLength =
        extension != nullptr ? static_cast<std::size_t>(extension - name) : std::strlen(name);
    const MediaKind kind = mediaKindOfExtension(extension);
    const StatusProfile& profile =
        kind == MediaKind::Audio ? profiles.audioProfile : profiles.videoProfile;

    char* title = composed.currentFileName;
    std::size_t keptTitle = 0;
    if (profile.titleFromTags) {
        // The file is read only where the template asks for its tags.
        MediaTags tags;
        readMediaTags(path, tags);
        keptTitle = composeTagTitle(tags, title, sizeof composed.currentFileName);
    }
    if (keptTitle == 0) {
        keptTitle = copyBoundedCount(
            title, sizeof composed.currentFileName, name,
            wholeCharacterLength(codePage, name, titleLength, sizeof composed.currentFileName - 1));
        spaceOutTitle(codePage, title, keptTitle);
    }

    // Every piece but the title is kept whole (together they are at most 297
    // bytes), so the title gets what room is left.
    const std::size_t categoryLength =
        boundedLength(profile.categoryCode, CATEGORY_CODE_CAPACITY - 1);
    const std::size_t fixedLength = std::strlen(STATUS_FIXED_PIECE);
    // Pieces join between whole characters: a lead byte left at the end of
    // one would take the next piece's first byte as its second.
    const std::size_t prefixLength = wholePiece(codePage, profile.prefix);
    const std::size_t suffixLength = wholePiece(codePage, profile.suffix);
    const std::size_t closingLength = std::strlen(STATUS_CLOSING);
    const std::size_t others =
        categoryLength + fixedLength + prefixLength + suffixLength + closingLength;
    constexpr std::size_t maximumText = STATUS_TEXT_CAPACITY - 1;
    static_assert(
        CATEGORY_CODE_CAPACITY - 1 + 10 + 2 * (PROFILE_TEXT_CAPACITY - 1) + 2 < maximumText,
        "the fixed pieces always fit");
    const std::size_t titleRoom = maximumText - others;
    const std::size_t titleUsed = wholeCharacterLength(codePage, title, keptTitle, titleRoom);

    char* out = composed.statusText;
    out = put(out, profile.categoryCode, categoryLength);
    out = put(out, STATUS_FIXED_PIECE, fixedLength);
    out = put(out, profile.prefix, prefixLength);
    out = put(out, title, titleUsed);
    out = put(out, profile.suffix, suffixLength);
    put(out, STATUS_CLOSING, closingLength + 1);  // with its terminator
    return kind;
}
