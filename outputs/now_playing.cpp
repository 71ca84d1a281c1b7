#include "outputs/now_playing.h"

#include <atomic>
#include <cstring>

#include "outputs/worker.h"
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
constexpr std::size_t TEMPORARY_SUFFIX_LENGTH =
    literalLength(NOW_PLAYING_TEMPORARY_MARK) + 2 * HEX_DIGITS_OF_32_BITS + 1;
constexpr std::size_t TEMPORARY_PATH_CAPACITY = NOW_PLAYING_PATH_CAPACITY + TEMPORARY_SUFFIX_LENGTH;

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

char16_t lowered(char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

// Whether the `length` units at `text` are `word` (lower case), in any letter case.
bool isWord(const char16_t* text, std::size_t length, const char16_t* word) {
    std::size_t at = 0;
    while (at < length && word[at] != u'\0' && lowered(text[at]) == word[at]) ++at;
    return at == length && word[at] == u'\0';
}

// Whether the `length` units at `name` (a base name) are a device's.
bool isDeviceName(const char16_t* name, std::size_t length) {
    for (const char16_t* device : DEVICE_NAMES) {
        if (isWord(name, length, device)) return true;
    }
    for (const char16_t* device : NUMBERED_DEVICE_NAMES) {
        if (length != 4 || !isWord(name, 3, device)) continue;
        for (const char16_t* number = DEVICE_NUMBERS; *number != u'\0'; ++number) {
            if (name[3] == *number) return true;
        }
    }
    return false;
}

// What the last name of `path` says: NotATextFile unless it ends in .txt
// (Windows drops trailing dots and spaces, so they are dropped here too)
// and names no stream of a file (a colon); DeviceName when what stands
// before its first dot (trailing spaces dropped) is a device's; else Replaced.
NowPlayingOutcome checkName(const char16_t* path) {
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
        if (path[at] == u':') return NowPlayingOutcome::NotATextFile;
    }
    const std::size_t extension = literalLength(NOW_PLAYING_EXTENSION);
    if (end - nameStart < extension ||
        !isWord(path + end - extension, extension, NOW_PLAYING_EXTENSION)) {
        return NowPlayingOutcome::NotATextFile;
    }
    std::size_t baseEnd = nameStart;
    while (baseEnd < end && path[baseEnd] != u'.') ++baseEnd;
    while (baseEnd > nameStart && path[baseEnd - 1] == u' ') --baseEnd;
    if (isDeviceName(path + nameStart, baseEnd - nameStart)) return NowPlayingOutcome::DeviceName;
    return NowPlayingOutcome::Replaced;
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

bool isHexDigit(char16_t unit) {
    return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f');
}

// Whether `name` is `prefix` followed by what temporaryPath puts after it:
// a number, a dash and a number, each of 1 to 8 hexadecimal digits.
bool isTemporaryName(const char16_t* name, const char16_t* prefix, std::size_t prefixLength) {
    for (std::size_t at = 0; at < prefixLength; ++at) {
        if (lowered(name[at]) != lowered(prefix[at])) return false;
    }
    const char16_t* at = name + prefixLength;
    for (int number = 0; number < 2; ++number) {
        std::size_t digits = 0;
        while (isHexDigit(at[digits]) && digits <= HEX_DIGITS_OF_32_BITS) ++digits;
        if (digits == 0 || digits > HEX_DIGITS_OF_32_BITS) return false;
        at += digits;
        if (number == 0 && *at++ != u'-') return false;
    }
    return *at == u'\0';
}

// What the search for leftovers looks for, and where.
struct LeftoverSearch {
    char16_t folder[NOW_PLAYING_PATH_CAPACITY];
    char16_t prefix[TEMPORARY_PATH_CAPACITY];  // the target's name and the mark
    std::size_t prefixLength;
};

void deleteIfLeftover(const char16_t* name, std::uint64_t ageMilliseconds, void* context) {
    const LeftoverSearch& search = *static_cast<const LeftoverSearch*>(context);
    if (ageMilliseconds < NOW_PLAYING_STALE_TEMPORARY_MILLISECONDS ||
        !isTemporaryName(name, search.prefix, search.prefixLength)) {
        return;
    }
    static char16_t path[NOW_PLAYING_PATH_CAPACITY + TEMPORARY_PATH_CAPACITY];
    constexpr std::size_t capacity = sizeof path / sizeof path[0];
    std::size_t length = copyBounded(path, capacity, search.folder);
    length = appendBounded(path, capacity, length, u"\\");
    appendBounded(path, capacity, length, name);
    deleteFile(path);
}

// Deletes the temporary files of ours beside `path` that a crash left: of
// our names, and a minute old.
void deleteLeftovers(const char16_t* path) {
    static LeftoverSearch search;
    if (!folderOf(path, search.folder)) return;
    const std::size_t folderLength = boundedLength(search.folder, NOW_PLAYING_PATH_CAPACITY);
    // "C:\" keeps its separator.
    if (folderLength > 0 && search.folder[folderLength - 1] == u'\\') {
        search.folder[folderLength - 1] = u'\0';
    }
    const std::size_t length = boundedLength(path, NOW_PLAYING_PATH_CAPACITY);
    std::size_t nameStart = 0;
    for (std::size_t at = 0; at < length; ++at) {
        if (path[at] == u'\\' || path[at] == u'/') nameStart = at + 1;
    }
    search.prefixLength = copyBounded(search.prefix, TEMPORARY_PATH_CAPACITY, path + nameStart);
    search.prefixLength = appendBounded(search.prefix, TEMPORARY_PATH_CAPACITY, search.prefixLength,
                                        NOW_PLAYING_TEMPORARY_MARK);
    findFilesBeginningWith(search.folder, search.prefix, deleteIfLeftover, &search);
}

// Whether the check only looks, or also makes the file's missing folder.
enum class TargetCheck { Look, Prepare };

// Whether the path may be written, as checkNowPlayingTarget says; with
// Prepare, a missing folder whose parent exists is made.
NowPlayingOutcome checkTarget(const char16_t* path, bool namesSettingsFile, TargetCheck check) {
    if (path[0] == u'\0') return NowPlayingOutcome::NoFile;
    if (namesSettingsFile) return NowPlayingOutcome::NotANowPlayingFile;
    const NowPlayingOutcome name = checkName(path);
    if (name != NowPlayingOutcome::Replaced) return name;
    const bool longForm =
        boundedLength(path, literalLength(LONG_PATH_FORM)) == literalLength(LONG_PATH_FORM) &&
        isWord(path, literalLength(LONG_PATH_FORM), LONG_PATH_FORM);
    if (!longForm && boundedLength(path, NOW_PLAYING_PATH_CAPACITY) + TEMPORARY_SUFFIX_LENGTH >=
                         NOW_PLAYING_PATH_LIMIT) {
        return NowPlayingOutcome::PathTooLong;
    }
    PathFacts target;
    if (!readPathFacts(path, target)) return NowPlayingOutcome::CannotWrite;
    if (target.exists) {
        const bool nowPlayingFile = !target.directory &&
                                    target.size <= NOW_PLAYING_LARGEST_REPLACED &&
                                    !target.readOnly && !target.hidden && !target.system;
        return nowPlayingFile ? NowPlayingOutcome::Replaced : NowPlayingOutcome::NotANowPlayingFile;
    }
    // A relative path with no folder stands in the current one.
    char16_t folder[NOW_PLAYING_PATH_CAPACITY];
    if (!folderOf(path, folder)) return NowPlayingOutcome::Replaced;
    PathFacts facts;
    if (!readPathFacts(folder, facts)) return NowPlayingOutcome::CannotWrite;
    if (facts.exists) {
        return facts.directory ? NowPlayingOutcome::Replaced : NowPlayingOutcome::CannotWrite;
    }
    // One folder is made, in a parent that exists (%LOCALAPPDATA%\Velkar).
    char16_t parent[NOW_PLAYING_PATH_CAPACITY];
    if (!folderOf(folder, parent) || !readPathFacts(parent, facts) || !facts.exists ||
        !facts.directory) {
        return NowPlayingOutcome::CannotWrite;
    }
    if (check == TargetCheck::Prepare && !createFolder(folder)) {
        return NowPlayingOutcome::CannotWrite;
    }
    return NowPlayingOutcome::Replaced;
}

// A text handed to the worker: where it goes, and its bytes.
struct NowPlayingJob {
    char16_t path[NOW_PLAYING_PATH_CAPACITY];
    bool namesSettingsFile;
    unsigned char bytes[ENCODED_CAPACITY];
    std::size_t count;
};

// The newest text, handed over by the host's thread; the lock guards both.
HandOverLock handOverLock;
NowPlayingJob handedOver;
std::uint32_t handedOverNumber;

// The worker's own: the text it is writing, and how far it has come.
enum class JobStage { Done, Start, Replacing };
NowPlayingJob job;
std::uint32_t jobNumber;
JobStage stage;
char16_t temporary[TEMPORARY_PATH_CAPACITY];
std::uint32_t refusedSince;
unsigned retries;
std::atomic<int> lastOutcome{static_cast<int>(NowPlayingOutcome::NoFile)};

std::uint32_t finish(NowPlayingOutcome outcome) {
    lastOutcome = static_cast<int>(outcome);
    stage = JobStage::Done;
    return BACKGROUND_IDLE;
}

std::uint32_t stepNowPlayingFile();

// A temporary file made or a text half written is finished even when the
// host unloads the module meanwhile.
const WorkerStep NOW_PLAYING_STEP = {stepNowPlayingFile, nullptr, true};

}  // namespace

NowPlayingOutcome checkNowPlayingTarget(const NowPlayingSettings& settings) {
    return checkTarget(settings.path, settings.namesSettingsFile, TargetCheck::Look);
}

NowPlayingOutcome probeNowPlayingTarget(const NowPlayingSettings& settings) {
    const NowPlayingOutcome check = checkNowPlayingTarget(settings);
    if (check != NowPlayingOutcome::Replaced) return check;
    char16_t folder[NOW_PLAYING_PATH_CAPACITY];
    PathFacts folderFacts;
    if (folderOf(settings.path, folder) && readPathFacts(folder, folderFacts) &&
        !folderFacts.exists) {
        return NowPlayingOutcome::Replaced;  // its parent takes the new folder: seen by the check
    }
    char16_t temporary[TEMPORARY_PATH_CAPACITY];
    if (!writeTemporaryFile(settings.path, nullptr, 0, temporary)) {
        return NowPlayingOutcome::CannotWrite;
    }
    deleteFile(temporary);
    return NowPlayingOutcome::Replaced;
}

void postNowPlaying(const NowPlayingSettings& settings, const char16_t* text, std::size_t units) {
    if (!nowPlayingWanted(settings)) return;
    // Encoded where it is handed over: the worker posts a track's end too,
    // so no storage of the caller's own is shared between threads.
    handOverLock.lock();
    copyBounded(handedOver.path, NOW_PLAYING_PATH_CAPACITY, settings.path);
    handedOver.namesSettingsFile = settings.namesSettingsFile;
    handedOver.count = encode(settings.encoding, text, units, handedOver.bytes);
    ++handedOverNumber;
    handOverLock.unlock();
    wakeWorker(NOW_PLAYING_STEP);
}

namespace {

// The worker's step: takes the newest text, and writes it or goes on trying.
std::uint32_t stepNowPlayingFile() {
    handOverLock.lock();
    const bool newer = handedOverNumber != jobNumber;
    if (newer) {
        copyBounded(job.path, NOW_PLAYING_PATH_CAPACITY, handedOver.path);
        job.namesSettingsFile = handedOver.namesSettingsFile;
        std::memcpy(job.bytes, handedOver.bytes, handedOver.count);
        job.count = handedOver.count;
        jobNumber = handedOverNumber;
    }
    handOverLock.unlock();
    // The newest text wins: one not yet in the file is given up for it.
    if (newer) {
        if (stage == JobStage::Replacing) deleteFile(temporary);
        stage = JobStage::Start;
    }
    if (stage == JobStage::Done) return BACKGROUND_IDLE;
    if (stage == JobStage::Start) {
        NowPlayingOutcome outcome =
            checkTarget(job.path, job.namesSettingsFile, TargetCheck::Prepare);
        if (outcome == NowPlayingOutcome::Replaced) deleteLeftovers(job.path);
        if (outcome == NowPlayingOutcome::Replaced &&
            !writeTemporaryFile(job.path, job.bytes, job.count, temporary)) {
            outcome = NowPlayingOutcome::CannotWrite;
        }
        if (outcome != NowPlayingOutcome::Replaced) return finish(outcome);
        stage = JobStage::Replacing;
        refusedSince = millisecondClock();
        retries = 0;
    }
    // A reader that holds the file only for a moment lets go within a few
    // tries; a wait of a millisecond or more would let it in again.
    const std::uint32_t start = millisecondClock();
    do {
        if (replaceFileWith(temporary, job.path)) return finish(NowPlayingOutcome::Replaced);
        yieldProcessor();
    } while (millisecondClock() - start < NOW_PLAYING_IMMEDIATE_RETRY_MILLISECONDS);
    if (millisecondClock() - refusedSince < NOW_PLAYING_IN_PLACE_AFTER_MILLISECONDS) {
        // Then waits that grow, so a reader that keeps the file is not raced.
        const std::uint32_t wait = retries < NOW_PLAYING_RETRY_DOUBLINGS
                                       ? 1u << retries
                                       : NOW_PLAYING_LONGEST_RETRY_WAIT_MILLISECONDS;
        ++retries;
        return wait < NOW_PLAYING_LONGEST_RETRY_WAIT_MILLISECONDS
                   ? wait
                   : NOW_PLAYING_LONGEST_RETRY_WAIT_MILLISECONDS;
    }
    // A reader that keeps the file open for seconds, without letting it be
    // replaced: the text is written into it, which that reader may see half done.
    deleteFile(temporary);
    return finish(overwriteFile(job.path, job.bytes, job.count) ? NowPlayingOutcome::WrittenInPlace
                                                                : NowPlayingOutcome::CannotWrite);
}

}  // namespace

NowPlayingOutcome lastNowPlayingOutcome() {
    return static_cast<NowPlayingOutcome>(lastOutcome.load());
}
