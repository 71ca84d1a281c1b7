#include "outputs/now_playing.h"

#include <atomic>
#include <cstring>

#include "outputs/worker.h"
#include "platform/platform.h"
#include "tags/cover_copy.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

constexpr unsigned char UTF8_MARK[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char UTF16_MARK[] = {0xFF, 0xFE};
// The most bytes a text can take: three per unit in UTF-8 (a pair takes
// four for two), two per unit in ANSI, and a mark.
constexpr std::size_t ENCODED_CAPACITY = 3 * NOW_PLAYING_TEXT_CAPACITY + sizeof UTF8_MARK;

// Encodes the `units` units at `text` into `out`, which has room for
// ENCODED_CAPACITY bytes. Returns the byte count.
std::size_t encode(NowPlayingEncoding encoding, const char16_t* text, std::size_t units,
                   unsigned char* out) {
    if (units > NOW_PLAYING_TEXT_CAPACITY) units = NOW_PLAYING_TEXT_CAPACITY;
    char* bytes = reinterpret_cast<char*>(out);
    switch (encoding) {
        case NowPlayingEncoding::Utf8:
            return convertUtf16ToUtf8(text, units, bytes, ENCODED_CAPACITY);
        case NowPlayingEncoding::Utf8WithMark:
            std::memcpy(out, UTF8_MARK, sizeof UTF8_MARK);
            return sizeof UTF8_MARK + convertUtf16ToUtf8(text, units, bytes + sizeof UTF8_MARK,
                                                         ENCODED_CAPACITY - sizeof UTF8_MARK);
        case NowPlayingEncoding::Utf16:
            std::memcpy(out, UTF16_MARK, sizeof UTF16_MARK);
            for (std::size_t i = 0; i < units; ++i) {
                out[sizeof UTF16_MARK + 2 * i] = static_cast<unsigned char>(text[i] & 0xFF);
                out[sizeof UTF16_MARK + 2 * i + 1] = static_cast<unsigned char>(text[i] >> 8);
            }
            return sizeof UTF16_MARK + 2 * units;
        case NowPlayingEncoding::Ansi:
            return utf16ToAnsi(text, units, bytes, ENCODED_CAPACITY);
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

// Writes a temporary file's contents into `file`; returns whether all went in.
using WriteContents = bool (*)(PlatformFile file, const void* context);

// Writes `contents` (nothing when null) into a temporary file of a name
// nobody else uses, left in `temporary`. Returns false, with nothing left
// behind, when no such file could be written.
bool writeTemporaryFile(const char16_t* path, WriteContents contents, const void* context,
                        char16_t (&temporary)[TEMPORARY_PATH_CAPACITY]) {
    // Counted on from write to write, so each write's name is its own.
    static std::uint32_t names = 0;
    for (unsigned tries = 0; tries < NOW_PLAYING_TEMPORARY_NAME_TRIES; ++tries) {
        temporaryPath(path, names++, temporary);
        PlatformFile file = PLATFORM_NO_FILE;
        const NewFileResult result = createNewFile(temporary, file);
        if (result == NewFileResult::NameTaken) continue;
        if (result == NewFileResult::Failed) return false;
        const bool written = contents == nullptr || contents(file, context);
        closeFile(file);
        if (!written) deleteFile(temporary);
        return written;
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

// What the last name of `path` says: NotATextFile unless it ends in one of
// `extensions` (Windows drops trailing dots and spaces, so they are
// dropped here too) and names no stream of a file (a colon); DeviceName
// when what stands before its first dot (trailing spaces dropped) is a
// device's; else Replaced.
NowPlayingOutcome checkName(const char16_t* path, const char16_t* const* extensions) {
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
    bool named = false;
    for (const char16_t* const* wanted = extensions; *wanted != nullptr; ++wanted) {
        const std::size_t extension = boundedLength(*wanted, NOW_PLAYING_PATH_CAPACITY);
        named |= end - nameStart >= extension && isWord(path + end - extension, extension, *wanted);
    }
    if (!named) return NowPlayingOutcome::NotATextFile;
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

// What sets one file apart from the others.
struct FileKind {
    const char16_t* const* extensions;  // the names it may have; a null ends them
    std::uint64_t largestReplaced;      // the largest file of its kind
    bool json;                          // the worker ends the contents with the write's number
    bool image;                         // its contents are a picture, from a file
};
constexpr const char16_t* TEXT_EXTENSIONS[] = {NOW_PLAYING_EXTENSION, nullptr};
constexpr const char16_t* JSON_EXTENSIONS[] = {NOW_PLAYING_JSON_EXTENSION, nullptr};
constexpr FileKind TEXT_FILE = {TEXT_EXTENSIONS, NOW_PLAYING_LARGEST_REPLACED, false, false};
constexpr FileKind JSON_FILE = {JSON_EXTENSIONS, NOW_PLAYING_LARGEST_REPLACED, true, false};
constexpr FileKind COVER_FILE = {NOW_PLAYING_COVER_EXTENSIONS, COVER_SIZE_LIMIT, false, true};

// Whether the file at `path` begins as an image does.
bool beginsAsImage(const char16_t* path) {
    const PlatformFile file = openFileForReading(path);
    if (file == PLATFORM_NO_FILE) return false;
    unsigned char first[IMAGE_SIGNATURE_LENGTH];
    const std::size_t count = readFileAt(file, 0, first, sizeof first);
    closeFile(file);
    return imageFormatOfSignature(first, count) != ImageFormat::Unknown;
}

// Whether the check only looks, or also makes the file's missing folder.
enum class TargetCheck { Look, Prepare };

// Whether the path may be written, as checkNowPlayingTarget says; with
// Prepare, a missing folder whose parent exists is made.
NowPlayingOutcome checkTarget(const char16_t* path, bool namesSettingsFile, TargetCheck check,
                              const FileKind& kind) {
    if (path[0] == u'\0') return NowPlayingOutcome::NoFile;
    if (namesSettingsFile) return NowPlayingOutcome::NotANowPlayingFile;
    const NowPlayingOutcome name = checkName(path, kind.extensions);
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
        const bool nowPlayingFile = !target.directory && target.size <= kind.largestReplaced &&
                                    !target.readOnly && !target.hidden && !target.system &&
                                    (!kind.image || beginsAsImage(path));
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

// The most bytes a file's contents take: the now-playing text's, or the JSON's.
constexpr std::size_t JOB_CAPACITY =
    ENCODED_CAPACITY > NOW_PLAYING_JSON_CAPACITY ? ENCODED_CAPACITY : NOW_PLAYING_JSON_CAPACITY;
// What the worker puts after the JSON's fields: the write's number, and the end.
constexpr char JSON_UPDATED[] = ",\"updated\":";
constexpr std::size_t JSON_ENDING_CAPACITY = sizeof JSON_UPDATED + 20 + 2;

// Contents handed to the worker: where they go, and their bytes; for the
// cover, the picture's media file and where the picture lies in it (none:
// the missing image's, else no file), and the missing image's path.
struct NowPlayingJob {
    char16_t path[NOW_PLAYING_PATH_CAPACITY];
    bool namesSettingsFile;
    unsigned char bytes[JOB_CAPACITY + JSON_ENDING_CAPACITY];
    std::size_t count;
    char16_t source[NOW_PLAYING_PATH_CAPACITY];
    CoverLocation cover;
    char16_t missing[NOW_PLAYING_PATH_CAPACITY];
};

enum class JobStage { Done, Start, Replacing };

// One file the worker keeps up to date: the newest contents handed over by
// the host's thread (the lock guards them), and the worker's own job. All
// zero at the start (no outcome is NoFile): no image of it in the module.
struct FileWriter {
    HandOverLock handOverLock;
    NowPlayingJob handedOver;
    std::uint32_t handedOverNumber;
    NowPlayingJob job;
    std::uint32_t jobNumber;
    JobStage stage;
    char16_t temporary[TEMPORARY_PATH_CAPACITY];
    std::uint32_t refusedSince;
    unsigned retries;
    std::atomic<int> lastOutcome;
};

static_assert(static_cast<int>(NowPlayingOutcome::NoFile) == 0 &&
                  static_cast<int>(JobStage::Done) == 0,
              "a writer starts all zero");
FileWriter textWriter;
FileWriter jsonWriter;
FileWriter coverWriter;

std::uint32_t finish(FileWriter& writer, NowPlayingOutcome outcome) {
    writer.lastOutcome = static_cast<int>(outcome);
    writer.stage = JobStage::Done;
    return BACKGROUND_IDLE;
}

std::uint32_t stepWriter(FileWriter& writer, const FileKind& kind);
std::uint32_t stepNowPlayingFile() { return stepWriter(textWriter, TEXT_FILE); }
std::uint32_t stepNowPlayingJson() { return stepWriter(jsonWriter, JSON_FILE); }
std::uint32_t stepNowPlayingCover() { return stepWriter(coverWriter, COVER_FILE); }

// A temporary file made or a text half written is finished even when the
// host unloads the module meanwhile.
const WorkerStep NOW_PLAYING_STEP = {stepNowPlayingFile, nullptr, true};
const WorkerStep NOW_PLAYING_JSON_STEP = {stepNowPlayingJson, nullptr, true};
const WorkerStep NOW_PLAYING_COVER_STEP = {stepNowPlayingCover, nullptr, true};

// Hands contents for the file at `path` to `writer`'s worker step: `fill`
// writes them into the hand-over under its lock and returns their byte
// count, so that no storage of a caller's is shared between threads (the
// worker posts a track's end too).
template <typename Fill>
void handOver(FileWriter& writer, const WorkerStep& step, const char16_t* path,
              bool namesSettingsFile, Fill fill) {
    writer.handOverLock.lock();
    copyBounded(writer.handedOver.path, NOW_PLAYING_PATH_CAPACITY, path);
    writer.handedOver.namesSettingsFile = namesSettingsFile;
    writer.handedOver.count = fill(writer.handedOver);
    ++writer.handedOverNumber;
    writer.handOverLock.unlock();
    wakeWorker(step);
}

}  // namespace

NowPlayingOutcome checkNowPlayingTarget(const NowPlayingSettings& settings) {
    return checkTarget(settings.path, settings.namesSettingsFile, TargetCheck::Look, TEXT_FILE);
}

NowPlayingOutcome checkNowPlayingJsonTarget(const NowPlayingSettings& settings) {
    return checkTarget(settings.jsonPath, settings.jsonNamesSettingsFile, TargetCheck::Look,
                       JSON_FILE);
}

NowPlayingOutcome checkNowPlayingCoverTarget(const NowPlayingSettings& settings) {
    return checkTarget(settings.coverPath, false, TargetCheck::Look, COVER_FILE);
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
    if (!writeTemporaryFile(settings.path, nullptr, nullptr, temporary)) {
        return NowPlayingOutcome::CannotWrite;
    }
    deleteFile(temporary);
    return NowPlayingOutcome::Replaced;
}

void postNowPlaying(const NowPlayingSettings& settings, const char16_t* text, std::size_t units) {
    if (!nowPlayingWanted(settings)) return;
    handOver(textWriter, NOW_PLAYING_STEP, settings.path, settings.namesSettingsFile,
             [&](NowPlayingJob& job) { return encode(settings.encoding, text, units, job.bytes); });
}

void postNowPlayingJson(const NowPlayingSettings& settings, const char* fields,
                        std::size_t length) {
    if (!nowPlayingJsonWanted(settings)) return;
    handOver(jsonWriter, NOW_PLAYING_JSON_STEP, settings.jsonPath, settings.jsonNamesSettingsFile,
             [&](NowPlayingJob& job) {
                 const std::size_t count =
                     length < NOW_PLAYING_JSON_CAPACITY ? length : NOW_PLAYING_JSON_CAPACITY;
                 std::memcpy(job.bytes, fields, count);
                 return count;
             });
}

void postNowPlayingCover(const NowPlayingSettings& settings, const char16_t* mediaPath,
                         const CoverLocation* cover) {
    if (!nowPlayingCoverWanted(settings)) return;
    handOver(
        coverWriter, NOW_PLAYING_COVER_STEP, settings.coverPath, false, [&](NowPlayingJob& job) {
            // A media file's path too long to hold gives no picture.
            const bool held =
                mediaPath != nullptr && cover != nullptr &&
                boundedLength(mediaPath, NOW_PLAYING_PATH_CAPACITY) < NOW_PLAYING_PATH_CAPACITY;
            job.cover = held ? *cover : CoverLocation{};
            copyBounded(job.source, NOW_PLAYING_PATH_CAPACITY, held ? mediaPath : u"");
            copyBounded(job.missing, NOW_PLAYING_PATH_CAPACITY, settings.coverMissingPath);
            return std::size_t{0};
        });
}

namespace {

// Ends the JSON's fields in `job` with the write's number: Unix time in
// milliseconds, or one more than the last number where the clock gave no
// greater one, so that a page can tell each write from the one before.
void endJson(NowPlayingJob& job) {
    static std::uint64_t lastUpdated = 0;
    std::uint64_t updated = unixTimeMilliseconds();
    if (updated <= lastUpdated) updated = lastUpdated + 1;
    lastUpdated = updated;
    char ending[JSON_ENDING_CAPACITY];
    std::size_t length = copyBounded(ending, sizeof ending, JSON_UPDATED);
    char digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + updated % 10);
        updated /= 10;
    } while (updated != 0);
    while (count > 0) ending[length++] = digits[--count];
    ending[length++] = '}';
    ending[length++] = '\n';
    std::memcpy(job.bytes + job.count, ending, length);
    job.count += length;
}

bool writeText(PlatformFile file, const void* context) {
    const NowPlayingJob& job = *static_cast<const NowPlayingJob*>(context);
    return appendToFile(file, job.bytes, job.count);
}

bool appendPiece(const unsigned char* bytes, std::size_t count, void* context) {
    return appendToFile(*static_cast<PlatformFile*>(context), bytes, count);
}

// Copies the picture at `cover` out of the file at `path` (none: the whole
// file, an image itself) into `file`.
bool copyPicture(PlatformFile file, const char16_t* path, const CoverLocation& cover) {
    const PlatformFile source = openFileForReading(path);
    if (source == PLATFORM_NO_FILE) return false;
    std::uint64_t size = 0;
    const bool copied =
        fileSize(source, size) &&
        copyCover(CoverSource{source, nullptr, size},
                  cover.coding != PictureCoding::None ? cover : wholeFileCover(size), appendPiece,
                  &file);
    closeFile(source);
    return copied;
}

bool writeEmbeddedPicture(PlatformFile file, const void* context) {
    const NowPlayingJob& job = *static_cast<const NowPlayingJob*>(context);
    return copyPicture(file, job.source, job.cover);
}

bool writeMissingPicture(PlatformFile file, const void* context) {
    const NowPlayingJob& job = *static_cast<const NowPlayingJob*>(context);
    return copyPicture(file, job.missing, CoverLocation{});
}

// Writes the cover's temporary file: the media file's picture, else the
// missing image. Returns false when there is neither (or neither could be
// written).
bool writeCoverTemporaryFile(FileWriter& writer) {
    const NowPlayingJob& job = writer.job;
    return (job.cover.coding != PictureCoding::None &&
            writeTemporaryFile(job.path, writeEmbeddedPicture, &job, writer.temporary)) ||
           (job.missing[0] != u'\0' &&
            writeTemporaryFile(job.path, writeMissingPicture, &job, writer.temporary));
}

// The worker's step: takes the newest contents, and writes them or goes on trying.
std::uint32_t stepWriter(FileWriter& writer, const FileKind& kind) {
    NowPlayingJob& job = writer.job;
    writer.handOverLock.lock();
    const bool newer = writer.handedOverNumber != writer.jobNumber;
    if (newer) {
        copyBounded(job.path, NOW_PLAYING_PATH_CAPACITY, writer.handedOver.path);
        job.namesSettingsFile = writer.handedOver.namesSettingsFile;
        std::memcpy(job.bytes, writer.handedOver.bytes, writer.handedOver.count);
        job.count = writer.handedOver.count;
        copyBounded(job.source, NOW_PLAYING_PATH_CAPACITY, writer.handedOver.source);
        job.cover = writer.handedOver.cover;
        copyBounded(job.missing, NOW_PLAYING_PATH_CAPACITY, writer.handedOver.missing);
        writer.jobNumber = writer.handedOverNumber;
    }
    writer.handOverLock.unlock();
    // The newest contents win: those not yet in the file are given up for them.
    if (newer) {
        if (writer.stage == JobStage::Replacing) deleteFile(writer.temporary);
        writer.stage = JobStage::Start;
        if (kind.json) endJson(job);
    }
    if (writer.stage == JobStage::Start && kind.image) {
        NowPlayingOutcome outcome = checkTarget(job.path, false, TargetCheck::Prepare, kind);
        if (outcome == NowPlayingOutcome::Replaced) deleteLeftovers(job.path);
        // Without a picture, no cover is better than the last track's.
        if (outcome == NowPlayingOutcome::Replaced && !writeCoverTemporaryFile(writer)) {
            PathFacts target;
            outcome = !readPathFacts(job.path, target) || (target.exists && !deleteFile(job.path))
                          ? NowPlayingOutcome::CannotWrite
                          : NowPlayingOutcome::Removed;
        }
        if (outcome != NowPlayingOutcome::Replaced) return finish(writer, outcome);
        writer.stage = JobStage::Replacing;
        writer.refusedSince = millisecondClock();
        writer.retries = 0;
    }
    if (writer.stage == JobStage::Done) return BACKGROUND_IDLE;
    if (writer.stage == JobStage::Start) {
        NowPlayingOutcome outcome =
            checkTarget(job.path, job.namesSettingsFile, TargetCheck::Prepare, kind);
        if (outcome == NowPlayingOutcome::Replaced) deleteLeftovers(job.path);
        if (outcome == NowPlayingOutcome::Replaced &&
            !writeTemporaryFile(job.path, writeText, &job, writer.temporary)) {
            outcome = NowPlayingOutcome::CannotWrite;
        }
        if (outcome != NowPlayingOutcome::Replaced) return finish(writer, outcome);
        writer.stage = JobStage::Replacing;
        writer.refusedSince = millisecondClock();
        writer.retries = 0;
    }
    // A reader that holds the file only for a moment lets go within a few
    // tries; a wait of a millisecond or more would let it in again.
    const std::uint32_t start = millisecondClock();
    do {
        if (replaceFileWith(writer.temporary, job.path)) {
            return finish(writer, NowPlayingOutcome::Replaced);
        }
        yieldProcessor();
    } while (millisecondClock() - start < NOW_PLAYING_IMMEDIATE_RETRY_MILLISECONDS);
    if (millisecondClock() - writer.refusedSince < NOW_PLAYING_IN_PLACE_AFTER_MILLISECONDS) {
        // Then waits that grow, so a reader that keeps the file is not raced.
        const std::uint32_t wait = writer.retries < NOW_PLAYING_RETRY_DOUBLINGS
                                       ? 1u << writer.retries
                                       : NOW_PLAYING_LONGEST_RETRY_WAIT_MILLISECONDS;
        ++writer.retries;
        return wait < NOW_PLAYING_LONGEST_RETRY_WAIT_MILLISECONDS
                   ? wait
                   : NOW_PLAYING_LONGEST_RETRY_WAIT_MILLISECONDS;
    }
    // A reader that keeps the file open for seconds, without letting it be
    // replaced: the text is written into it, which that reader may see half
    // done; a picture keeps the last one rather than be seen half written.
    deleteFile(writer.temporary);
    if (kind.image) return finish(writer, NowPlayingOutcome::CannotWrite);
    return finish(writer, overwriteFile(job.path, job.bytes, job.count)
                              ? NowPlayingOutcome::WrittenInPlace
                              : NowPlayingOutcome::CannotWrite);
}

}  // namespace

NowPlayingOutcome lastNowPlayingOutcome() {
    return static_cast<NowPlayingOutcome>(textWriter.lastOutcome.load());
}

NowPlayingOutcome lastNowPlayingJsonOutcome() {
    return static_cast<NowPlayingOutcome>(jsonWriter.lastOutcome.load());
}

NowPlayingOutcome lastNowPlayingCoverOutcome() {
    return static_cast<NowPlayingOutcome>(coverWriter.lastOutcome.load());
}
