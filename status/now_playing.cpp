#include "status/now_playing.h"

#include <cstring>

#include "platform/platform.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

constexpr unsigned char UTF8_MARK[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char UTF16_MARK[] = {0xFF, 0xFE};
// The most bytes a text can take: three per unit in UTF-8 (a pair takes
// four for two), two per unit in ANSI, and a mark.
constexpr std::size_t ENCODED_CAPACITY = 3 * NOW_PLAYING_TEXT_CAPACITY + sizeof UTF8_MARK;

// Encodes the `units` units at `text` into `out`. Returns the byte count.
std::size_t encode(NowPlayingEncoding encoding, const char16_t* text, std::size_t units,
                   unsigned char (&out)[ENCODED_CAPACITY]) {
    if (units > NOW_PLAYING_TEXT_CAPACITY) units = NOW_PLAYING_TEXT_CAPACITY;
    char* bytes = reinterpret_cast<char*>(out);
    switch (encoding) {
        case NowPlayingEncoding::Utf8:
            return convertUtf16ToUtf8(text, units, bytes, sizeof out);
        case NowPlayingEncoding::Utf8WithMark:
            std::memcpy(out, UTF8_MARK, sizeof UTF8_MARK);
            return sizeof UTF8_MARK + convertUtf16ToUtf8(text, units, bytes + sizeof UTF8_MARK,
                                                         sizeof out - sizeof UTF8_MARK);
        case NowPlayingEncoding::Utf16:
            std::memcpy(out, UTF16_MARK, sizeof UTF16_MARK);
            for (std::size_t i = 0; i < units; ++i) {
                out[sizeof UTF16_MARK + 2 * i] = static_cast<unsigned char>(text[i] & 0xFF);
                out[sizeof UTF16_MARK + 2 * i + 1] = static_cast<unsigned char>(text[i] >> 8);
            }
            return sizeof UTF16_MARK + 2 * units;
        case NowPlayingEncoding::Ansi:
            return utf16ToAnsi(text, units, bytes, sizeof out);
    }
    return 0;
}

// Room for the temporary file's path: any target's and the suffix.
constexpr std::size_t TEMPORARY_PATH_CAPACITY =
    NOW_PLAYING_PATH_CAPACITY + literalLength(NOW_PLAYING_TEMPORARY_SUFFIX);

// The temporary file's path beside the target, which always fits.
void temporaryPath(const char16_t* path, char16_t (&temporary)[TEMPORARY_PATH_CAPACITY]) {
    const std::size_t length = copyBounded(temporary, TEMPORARY_PATH_CAPACITY, path);
    appendBounded(temporary, TEMPORARY_PATH_CAPACITY, length, NOW_PLAYING_TEMPORARY_SUFFIX);
}

// The folder part of `path`, up to its last separator, as a terminated copy.
bool folderOf(const char16_t* path, char16_t (&folder)[NOW_PLAYING_PATH_CAPACITY]) {
    const std::size_t length = boundedLength(path, NOW_PLAYING_PATH_CAPACITY);
    std::size_t last = length;
    for (std::size_t at = 0; at < length; ++at) {
        if (path[at] == u'\\' || path[at] == u'/') last = at;
    }
    if (last == length) return false;
    // "C:\" keeps its separator: "C:" alone is the drive's current folder.
    const std::size_t kept = last == 2 && path[1] == u':' ? last + 1 : last;
    copyBoundedCount(folder, NOW_PLAYING_PATH_CAPACITY, path, kept);
    return kept > 0;
}

}  // namespace

void setDefaultNowPlaying(NowPlayingSettings& settings) {
    settings.path[0] = u'\0';
    settings.textTemplate[0] = u'\0';
    settings.textTemplateLength = 0;
    settings.hasTextTemplate = false;
    settings.withdrawnText[0] = u'\0';
    settings.withdrawnLength = 0;
    settings.encoding = NowPlayingEncoding::Utf8;
}

NowPlayingOutcome checkNowPlayingTarget(const NowPlayingSettings& settings) {
    if (settings.path[0] == u'\0') return NowPlayingOutcome::NoFile;
    PathFacts target;
    if (!readPathFacts(settings.path, target)) return NowPlayingOutcome::CannotWrite;
    if (target.exists) {
        const bool nowPlayingFile = !target.directory &&
                                    target.size <= NOW_PLAYING_LARGEST_REPLACED &&
                                    !target.readOnly && !target.hidden && !target.system;
        return nowPlayingFile ? NowPlayingOutcome::Replaced : NowPlayingOutcome::NotANowPlayingFile;
    }
    // A relative path with no folder stands in the current one.
    char16_t folder[NOW_PLAYING_PATH_CAPACITY];
    PathFacts folderFacts;
    if (folderOf(settings.path, folder) &&
        (!readPathFacts(folder, folderFacts) || !folderFacts.exists || !folderFacts.directory)) {
        return NowPlayingOutcome::CannotWrite;
    }
    return NowPlayingOutcome::Replaced;
}

NowPlayingOutcome probeNowPlayingTarget(const NowPlayingSettings& settings) {
    const NowPlayingOutcome check = checkNowPlayingTarget(settings);
    if (check != NowPlayingOutcome::Replaced) return check;
    char16_t temporary[TEMPORARY_PATH_CAPACITY];
    temporaryPath(settings.path, temporary);
    const bool writable = writeNewFile(temporary, nullptr, 0);
    deleteFile(temporary);
    return writable ? NowPlayingOutcome::Replaced : NowPlayingOutcome::CannotWrite;
}

NowPlayingOutcome writeNowPlaying(const NowPlayingSettings& settings, const char16_t* text,
                                  std::size_t units) {
    const NowPlayingOutcome check = checkNowPlayingTarget(settings);
    if (check != NowPlayingOutcome::Replaced) return check;
    // Static: the host's thread has its own uses for its stack.
    static unsigned char bytes[ENCODED_CAPACITY];
    static char16_t temporary[TEMPORARY_PATH_CAPACITY];
    const std::size_t count = encode(settings.encoding, text, units, bytes);
    temporaryPath(settings.path, temporary);
    if (!writeNewFile(temporary, bytes, count)) {
        deleteFile(temporary);
        return NowPlayingOutcome::CannotWrite;
    }
    // A reader that holds the file only for a moment lets go within a few
    // tries; a wait of a millisecond or more would let it in again.
    const std::uint32_t start = millisecondClock();
    for (unsigned tries = 0; tries < NOW_PLAYING_REPLACE_TRIES; ++tries) {
        if (replaceFileWith(temporary, settings.path)) return NowPlayingOutcome::Replaced;
        if (millisecondClock() - start >= NOW_PLAYING_REPLACE_MILLISECONDS) break;
        yieldProcessor();
    }
    deleteFile(temporary);
    return overwriteFile(settings.path, bytes, count) ? NowPlayingOutcome::WrittenInPlace
                                                      : NowPlayingOutcome::CannotWrite;
}
