#include "outputs/now_playing.h"

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

// Room for the temporary file's path: any target's, the mark, and two
// 32-bit numbers in hexadecimal with a dash between them.
constexpr std::size_t HEX_DIGITS_OF_32_BITS = 8;
constexpr std::size_t TEMPORARY_PATH_CAPACITY = NOW_PLAYING_PATH_CAPACITY +
                                                literalLength(NOW_PLAYING_TEMPORARY_MARK) +
                                                2 * HEX_DIGITS_OF_32_BITS + 1;

// Appends `value` in hexadecimal, without leading zeros, at `length`.
std::size_t appendHex(char16_t (&path)[TEMPORARY_PATH_CAPACITY], std::size_t length,
                      std::uint32_t value) {
    char16_t digits[HEX_DIGITS_OF_32_BITS + 1];
    std::size_t count = 0;
    do {
        digits[HEX_DIGITS_OF_32_BITS - 1 - count] = u"0123456789abcdef"[value & 0xF];
        value >>= 4;
        ++count;
    } while (value != 0);
    digits[HEX_DIGITS_OF_32_BITS] = u'\0';
    return appendBounded(path, TEMPORARY_PATH_CAPACITY, length,
                         digits + HEX_DIGITS_OF_32_BITS - count);
}

// The temporary file's path beside the target for the `count`th name,
// which always fits.
void temporaryPath(const char16_t* path, std::uint32_t count,
                   char16_t (&temporary)[TEMPORARY_PATH_CAPACITY]) {
    std::size_t length = copyBounded(temporary, TEMPORARY_PATH_CAPACITY, path);
    length = appendBounded(temporary, TEMPORARY_PATH_CAPACITY, length, NOW_PLAYING_TEMPORARY_MARK);
    length = appendHex(temporary, length, currentProcessId());
    length = appendBounded(temporary, TEMPORARY_PATH_CAPACITY, length, u"-");
    appendHex(temporary, length, count);
}

// Writes the `count` bytes into a temporary file of a name nobody else
// uses, left in `temporary`. Returns false, with nothing left behind, when
// no such file could be written.
bool writeTemporaryFile(const char16_t* path, const void* bytes, std::size_t count,
                        char16_t (&temporary)[TEMPORARY_PATH_CAPACITY]) {
    // Counted on from write to write, so each write's name is its own.
    static std::uint32_t names = 0;
    for (unsigned tries = 0; tries < NOW_PLAYING_TEMPORARY_NAME_TRIES; ++tries) {
        temporaryPath(path, names++, temporary);
        const NewFileResult result = writeNewFile(temporary, bytes, count);
        if (result != NewFileResult::NameTaken) return result == NewFileResult::Written;
    }
    return false;
}

// Whether the last name of `path` says it is no now-playing file: it ends
// in a forbidden ending (Windows drops trailing dots and spaces, so they are
// dropped here too), or names a stream of a file (a colon in the name).
bool hasForbiddenName(const char16_t* path) {
    const std::size_t length = boundedLength(path, NOW_PLAYING_PATH_CAPACITY);
    std::size_t nameStart = 0;
    for (std::size_t at = 0; at < length; ++at) {
        if (path[at] == u'\\' || path[at] == u'/') nameStart = at + 1;
    }
    // "C:name" is a name in the drive's current folder.
    if (nameStart == 0 && length >= 2 && path[1] == u':') nameStart = 2;
    std::size_t end = length;
    while (end > nameStart && (path[end - 1] == u'.' || path[end - 1] == u' ')) --end;
    for (std::size_t at = nameStart; at < end; ++at) {
        if (path[at] == u':') return true;
    }
    for (const char16_t* ending : NOW_PLAYING_FORBIDDEN_ENDINGS) {
        const std::size_t endingLength = boundedLength(ending, NOW_PLAYING_PATH_CAPACITY);
        if (end - nameStart < endingLength) continue;
        bool same = true;
        for (std::size_t at = 0; at < endingLength && same; ++at) {
            char16_t unit = path[end - endingLength + at];
            if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
            same = unit == ending[at];
        }
        if (same) return true;
    }
    return false;
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

NowPlayingOutcome checkNowPlayingTarget(const NowPlayingSettings& settings) {
    if (settings.path[0] == u'\0') return NowPlayingOutcome::NoFile;
    if (settings.namesSettingsFile || hasForbiddenName(settings.path)) {
        return NowPlayingOutcome::NotANowPlayingFile;
    }
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
    if (!writeTemporaryFile(settings.path, nullptr, 0, temporary)) {
        return NowPlayingOutcome::CannotWrite;
    }
    deleteFile(temporary);
    return NowPlayingOutcome::Replaced;
}

NowPlayingOutcome writeNowPlaying(const NowPlayingSettings& settings, const char16_t* text,
                                  std::size_t units) {
    const NowPlayingOutcome check = checkNowPlayingTarget(settings);
    if (check != NowPlayingOutcome::Replaced) return check;
    // Static: the host's thread has its own uses for its stack.
    static unsigned char bytes[ENCODED_CAPACITY];
    static char16_t temporary[TEMPORARY_PATH_CAPACITY];
    const std::size_t count = encode(settings.encoding, text, units, bytes);
    if (!writeTemporaryFile(settings.path, bytes, count, temporary)) {
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
