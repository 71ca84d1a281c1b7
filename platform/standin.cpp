// The stand-in back end of the platform layer: an in-memory registry value,
// windows that record what they receive, message boxes that are recorded
// instead of shown, and an ANSI code page played by iconv.
#include "platform/standin.h"

#include <fcntl.h>
#include <iconv.h>
#include <locale.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#include <wctype.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t MAX_NAME = 256;

struct StandinWindow {
    char className[MAX_NAME];
    bool hung;
    bool closesOnReceipt;
    bool closed;
};

struct RegistryValue {
    bool present;
    char16_t keyPath[MAX_NAME];
    char16_t valueName[MAX_NAME];
    unsigned char bytes[standin::MAX_REGISTRY_BYTES];
    std::size_t size;
};

struct StandinState {
    StandinWindow windows[standin::MAX_WINDOWS];
    std::size_t windowCount;
    standin::ReceivedRecord received[standin::MAX_RECEIVED];
    std::size_t receivedCount;
    std::size_t timedOutSendCount;
    standin::ShownMessageBox boxes[standin::MAX_MESSAGE_BOXES];
    std::size_t boxCount;
    RegistryValue registry;
    unsigned replacementsToRefuse;
    unsigned newFileNamesToOccupy;
    char16_t moduleFolder[standin::MODULE_FOLDER_CAPACITY];
    std::size_t inPlaceWriteLimit;
    std::size_t replaceAttempts;
};

StandinState state;

// The stand-in's own names and texts, cut to their fixed storage.
template <std::size_t N>
void storeName(char (&destination)[N], const char* source) {
    std::snprintf(destination, N, "%s", source);
}

template <std::size_t N>
void storeName(char16_t (&destination)[N], const char16_t* source) {
    std::size_t length = 0;
    while (length + 1 < N && source[length] != u'\0') ++length;
    std::memcpy(destination, source, length * sizeof(char16_t));
    destination[length] = u'\0';
}

bool sameName(const char16_t* a, const char16_t* b) {
    while (*a != u'\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

const iconv_t NO_CONVERSION = reinterpret_cast<iconv_t>(-1);
constexpr unsigned CODE_PAGE_UTF8 = 65001;

// The code page the stand-in plays. Its conversions hold iconv descriptors,
// which reset() closes; Latin-1, the default, converts without one.
struct AnsiCodePage {
    unsigned number;    // 0: Latin-1, each byte the code point of its value
    iconv_t toUtf16;    // the code page to UTF-16LE
    iconv_t fromUtf16;  // UTF-16LE to the code page
    bool leadByte[256];
    bool hasLeadBytes;
};

AnsiCodePage codePage{0, NO_CONVERSION, NO_CONVERSION, {}, false};

// iconv's name for a Windows code page; it has none for 65001, which is UTF-8.
void iconvName(unsigned number, char (&name)[16]) {
    if (number == CODE_PAGE_UTF8) {
        std::snprintf(name, sizeof name, "UTF-8");
    } else {
        std::snprintf(name, sizeof name, "CP%u", number);
    }
}

// File names go to Linux in UTF-8. Opened once and kept: iconv_open
// allocates, and files are opened where allocation is watched.
// The host's thread and the background runner both name files.
iconv_t fileNameConversion = NO_CONVERSION;
pthread_mutex_t fileNameMutex = PTHREAD_MUTEX_INITIALIZER;

void closeConversions() {
    if (codePage.toUtf16 != NO_CONVERSION) iconv_close(codePage.toUtf16);
    if (codePage.fromUtf16 != NO_CONVERSION) iconv_close(codePage.fromUtf16);
    codePage = AnsiCodePage{0, NO_CONVERSION, NO_CONVERSION, {}, false};
}

// Runs `conversion` over `in` into `out`; each character it cannot take is
// replaced by `replacement` (`replacementSize` bytes), and the input passed
// by the whole character, as Windows passes it: `characterSize` says how
// many bytes that is. Returns the bytes written, or false in `fits` when
// `out` is too small.
template <typename CharacterSize>
std::size_t convertReplacing(iconv_t conversion, const char* inBytes, std::size_t inCount,
                             char* outBytes, std::size_t outCapacity, const char* replacement,
                             std::size_t replacementSize, CharacterSize characterSize, bool& fits) {
    char* in = const_cast<char*>(inBytes);
    std::size_t inLeft = inCount;
    char* out = outBytes;
    std::size_t outLeft = outCapacity;
    fits = true;
    while (inLeft > 0) {
        if (iconv(conversion, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG || outLeft < replacementSize) {
            fits = false;
            break;
        }
        std::memcpy(out, replacement, replacementSize);
        out += replacementSize;
        outLeft -= replacementSize;
        const std::size_t skipped = characterSize(in, inLeft);
        in += skipped;
        inLeft -= skipped;
    }
    iconv(conversion, nullptr, nullptr, nullptr, nullptr);
    return static_cast<std::size_t>(out - outBytes);
}

// A live window of the stand-in, or null for anything else, closed ones included.
StandinWindow* windowFromHandle(PlatformWindow handle) {
    for (std::size_t i = 0; i < state.windowCount; ++i) {
        if (handle == &state.windows[i])
            return state.windows[i].closed ? nullptr : &state.windows[i];
    }
    return nullptr;
}

}  // namespace

namespace standin {

void reset() {
    std::memset(&state, 0, sizeof state);
    stopListening();
    closeConversions();
    pthread_mutex_lock(&fileNameMutex);
    if (fileNameConversion == NO_CONVERSION) fileNameConversion = iconv_open("UTF-8", "UTF-16LE");
    pthread_mutex_unlock(&fileNameMutex);
}

bool setAnsiCodePage(unsigned number) {
    char name[16];
    iconvName(number, name);
    const iconv_t toUtf16 = iconv_open("UTF-16LE", name);
    if (toUtf16 == NO_CONVERSION) return false;
    const iconv_t fromUtf16 = iconv_open(name, "UTF-16LE");
    if (fromUtf16 == NO_CONVERSION) {
        iconv_close(toUtf16);
        return false;
    }
    closeConversions();
    codePage.number = number;
    codePage.toUtf16 = toUtf16;
    codePage.fromUtf16 = fromUtf16;
    // Windows gives UTF-8 no lead bytes; elsewhere a lead byte is one that
    // the conversion finds incomplete on its own.
    for (unsigned byte = 0x80; byte <= 0xFF && number != CODE_PAGE_UTF8; ++byte) {
        char in = static_cast<char>(byte);
        char* inNext = &in;
        std::size_t inLeft = 1;
        char16_t unit[2];
        char* outNext = reinterpret_cast<char*>(unit);
        std::size_t outLeft = sizeof unit;
        const bool incomplete =
            iconv(toUtf16, &inNext, &inLeft, &outNext, &outLeft) == static_cast<std::size_t>(-1) &&
            errno == EINVAL;
        iconv(toUtf16, nullptr, nullptr, nullptr, nullptr);
        codePage.leadByte[byte] = incomplete;
        codePage.hasLeadBytes |= incomplete;
    }
    return true;
}

void setWindowClosesOnReceipt(PlatformWindow handle) {
    if (StandinWindow* window = windowFromHandle(handle)) window->closesOnReceipt = true;
}

void setRegistryValue(const char16_t* keyPath, const char16_t* valueName, const void* bytes,
                      std::size_t size) {
    RegistryValue& value = state.registry;
    value.present = true;
    storeName(value.keyPath, keyPath);
    storeName(value.valueName, valueName);
    value.size = size < sizeof value.bytes ? size : sizeof value.bytes;
    std::memcpy(value.bytes, bytes, value.size);
}

void setRegistryString(const char16_t* keyPath, const char16_t* valueName, const char16_t* text) {
    std::size_t units = 0;
    while (text[units] != u'\0') ++units;
    setRegistryValue(keyPath, valueName, text, (units + 1) * sizeof(char16_t));
}

void removeRegistryValue() { state.registry.present = false; }

void setModuleFolder(const char16_t* folder) {
    std::size_t units = 0;
    while (folder[units] != u'\0' && units + 1 < MODULE_FOLDER_CAPACITY) {
        state.moduleFolder[units] = folder[units];
        ++units;
    }
    state.moduleFolder[units] = u'\0';
}

PlatformWindow openWindow(const char* className) {
    if (state.windowCount == MAX_WINDOWS) return nullptr;
    StandinWindow& window = state.windows[state.windowCount++];
    storeName(window.className, className);
    window.hung = false;
    return &window;
}

void setWindowHung(PlatformWindow handle, bool hung) {
    if (StandinWindow* window = windowFromHandle(handle)) window->hung = hung;
}

std::size_t receivedCount() { return state.receivedCount; }
const ReceivedRecord& received(std::size_t index) { return state.received[index]; }
std::size_t timedOutSendCount() { return state.timedOutSendCount; }
std::size_t shownMessageBoxCount() { return state.boxCount; }
const ShownMessageBox& shownMessageBox(std::size_t index) { return state.boxes[index]; }

}  // namespace standin

bool readUserRegistryValue(const char16_t* keyPath, const char16_t* valueName, void* out,
                           std::size_t capacity, std::size_t& byteCount) {
    const RegistryValue& value = state.registry;
    if (!value.present || !sameName(value.keyPath, keyPath) ||
        !sameName(value.valueName, valueName) || value.size > capacity) {
        return false;
    }
    std::memcpy(out, value.bytes, value.size);
    byteCount = value.size;
    return true;
}

PlatformWindow findNextTopLevelWindow(const char* className, PlatformWindow previous) {
    std::size_t start = 0;
    if (previous != nullptr) {
        const StandinWindow* window = windowFromHandle(previous);
        if (window == nullptr) return nullptr;
        start = static_cast<std::size_t>(window - state.windows) + 1;
    }
    for (std::size_t i = start; i < state.windowCount; ++i) {
        const StandinWindow& window = state.windows[i];
        if (!window.closed && std::strcmp(window.className, className) == 0)
            return &state.windows[i];
    }
    return nullptr;
}

bool sendCopyData(PlatformWindow target, PlatformWindow sender, const CopyDataRecord& record,
                  unsigned /*timeoutMilliseconds*/) {
    StandinWindow* window = windowFromHandle(target);
    if (window == nullptr) return false;
    if (window->hung) {
        ++state.timedOutSendCount;
        return false;
    }
    if (window->closesOnReceipt) window->closed = true;
    if (state.receivedCount == standin::MAX_RECEIVED) return true;
    standin::ReceivedRecord& entry = state.received[state.receivedCount++];
    entry.window = target;
    entry.sender = sender;
    entry.identifier = record.identifier;
    entry.byteCount = record.byteCount;
    const std::size_t kept =
        record.byteCount < sizeof entry.bytes ? record.byteCount : sizeof entry.bytes;
    std::memcpy(entry.bytes, record.bytes, kept);
    return true;
}

void showMessageBox(PlatformWindow owner, const char* text, const char* caption) {
    if (state.boxCount == standin::MAX_MESSAGE_BOXES) return;
    standin::ShownMessageBox& box = state.boxes[state.boxCount++];
    box.owner = owner;
    storeName(box.text, text);
    storeName(box.caption, caption);
}

bool ansiCodePageHasLeadBytes() { return codePage.hasLeadBytes; }

bool isAnsiLeadByte(unsigned char byte) { return codePage.leadByte[byte]; }

std::size_t ansiToUtf16(const char* bytes, std::size_t byteCount, char16_t* out,
                        std::size_t capacity) {
    if (codePage.toUtf16 == NO_CONVERSION) {
        // Latin-1: each byte is the code point of the same value.
        if (byteCount > capacity) return 0;
        for (std::size_t i = 0; i < byteCount; ++i) {
            out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
        }
        return byteCount;
    }
    // A character the code page cannot read becomes U+FFFD, taken whole as
    // Windows takes it: a lead byte with the byte after it.
    const char16_t replacement = u'\uFFFD';
    bool fits = true;
    const std::size_t written = convertReplacing(
        codePage.toUtf16, bytes, byteCount, reinterpret_cast<char*>(out),
        capacity * sizeof(char16_t), reinterpret_cast<const char*>(&replacement),
        sizeof replacement,
        [](const char* at, std::size_t left) {
            return codePage.leadByte[static_cast<unsigned char>(*at)] && left >= 2 ? 2 : 1;
        },
        fits);
    return fits ? written / sizeof(char16_t) : 0;
}

std::size_t utf16ToAnsi(const char16_t* text, std::size_t units, char* out, std::size_t capacity) {
    if (units == 0) return 0;
    if (codePage.fromUtf16 == NO_CONVERSION) {
        // Latin-1 holds U+0000 to U+00FF; '?' stands for anything else, a
        // surrogate pair being one character.
        std::size_t written = 0;
        for (std::size_t i = 0; i < units; ++i) {
            if (written == capacity) return 0;
            const char16_t unit = text[i];
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                ++i;
            }
            out[written++] = unit <= 0xFF ? static_cast<char>(unit) : '?';
        }
        return written;
    }
    // '?', the default character of the Windows code pages, for the whole
    // character: a surrogate pair is one.
    bool fits = true;
    const std::size_t written = convertReplacing(
        codePage.fromUtf16, reinterpret_cast<const char*>(text), units * sizeof(char16_t), out,
        capacity, "?", 1,
        [](const char* at, std::size_t left) {
            const unsigned high = static_cast<unsigned char>(at[1]);
            return high >= 0xD8 && high <= 0xDB && left >= 4 ? 4 : 2;
        },
        fits);
    return fits ? written : 0;
}

namespace {

constexpr std::size_t LINUX_NAME_CAPACITY = 4096;

// The Linux name of a path: its UTF-8, each backslash, the Windows
// separator, made Linux's. Returns false when it has none.
bool linuxName(const char16_t* path, char (&name)[LINUX_NAME_CAPACITY]) {
    std::size_t units = 0;
    while (path[units] != u'\0') ++units;
    pthread_mutex_lock(&fileNameMutex);
    if (fileNameConversion == NO_CONVERSION) fileNameConversion = iconv_open("UTF-8", "UTF-16LE");
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(path));
    std::size_t inLeft = units * sizeof(char16_t);
    char* out = name;
    std::size_t outLeft = sizeof name - 1;
    std::size_t converted = static_cast<std::size_t>(-1);
    if (fileNameConversion != NO_CONVERSION) {
        converted = iconv(fileNameConversion, &in, &inLeft, &out, &outLeft);
        iconv(fileNameConversion, nullptr, nullptr, nullptr, nullptr);
    }
    pthread_mutex_unlock(&fileNameMutex);
    if (converted == static_cast<std::size_t>(-1)) return false;
    *out = '\0';
    for (char* at = name; at < out; ++at) {
        if (*at == '\\') *at = '/';
    }
    return true;
}

bool writeAll(int file, const void* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t written = write(file, static_cast<const char*>(bytes) + done, count - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// Writes `count` bytes from the file's start and ends the file where the
// writing stopped, unless nothing was written.
bool writeAndEnd(int file, const void* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t written = write(file, static_cast<const char*>(bytes) + done, count - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        done += static_cast<std::size_t>(written);
    }
    if (done == 0 && count > 0) return false;
    return ftruncate(file, static_cast<off_t>(done)) == 0 && done == count;
}

}  // namespace

namespace standin {

void refuseReplacements(unsigned count) { state.replacementsToRefuse = count; }
void occupyNewFileNames(unsigned count) { state.newFileNamesToOccupy = count; }
void stopInPlaceWritesAfter(std::size_t count) { state.inPlaceWriteLimit = count; }
std::size_t replaceAttemptCount() { return state.replaceAttempts; }

}  // namespace standin

PlatformFile openFileForReading(const char16_t* path) {
    char name[LINUX_NAME_CAPACITY];
    if (!linuxName(path, name)) return PLATFORM_NO_FILE;
    // Not waiting for a writer, should the path name a pipe.
    const int file = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) return PLATFORM_NO_FILE;
    struct stat status;
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(file);
        return PLATFORM_NO_FILE;
    }
    return file;
}

namespace {

// The gate that holds the now-playing file's calls, and the background
// runner; both outlive reset(), which the runner's thread may be using.
pthread_mutex_t gateMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t gateChanged = PTHREAD_COND_INITIALIZER;
bool gateClosed;
pthread_t gateCloser;
std::size_t callsOnCloser;

// Waits while the gate is closed, unless the thread that closed it calls:
// that call is counted, and goes on.
void passFileGate() {
    pthread_mutex_lock(&gateMutex);
    if (gateClosed && pthread_equal(pthread_self(), gateCloser)) ++callsOnCloser;
    while (gateClosed && !pthread_equal(pthread_self(), gateCloser)) {
        pthread_cond_wait(&gateChanged, &gateMutex);
    }
    pthread_mutex_unlock(&gateMutex);
}

// References the finishing thread holds.
std::atomic<int> moduleHolds;

// The two background threads, as the Windows back end runs them: the
// finishing one holds a reference while it lives and ends when idle, the
// abandonable one lives on. Here one thread of each kind lives on and the
// finishing one's life is an episode that `alive` marks: a thread started
// for each would allocate (the C library's thread storage).
struct Background {
    bool started;  // the thread runs
    bool alive;    // the finishing thread's episode: it holds the module
    bool requested;
    bool running;
    bool due;
    timespec dueAt;
    BackgroundRun run;
};
pthread_mutex_t backgroundMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t backgroundChanged = PTHREAD_COND_INITIALIZER;
Background backgrounds[2];

Background& backgroundOf(BackgroundThread thread) {
    return backgrounds[thread == BackgroundThread::Finishing ? 0 : 1];
}

bool isPast(const timespec& moment) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec > moment.tv_sec ||
           (now.tv_sec == moment.tv_sec && now.tv_nsec >= moment.tv_nsec);
}

void* runInBackground(void* which) {
    Background& background = *static_cast<Background*>(which);
    const bool finishing = &background == &backgrounds[0];
    pthread_mutex_lock(&backgroundMutex);
    for (;;) {
        while (!background.requested && !(background.due && isPast(background.dueAt))) {
            if (background.due) {
                pthread_cond_timedwait(&backgroundChanged, &backgroundMutex, &background.dueAt);
            } else {
                if (finishing && background.alive) {
                    // The episode ends, letting the module go.
                    background.alive = false;
                    --moduleHolds;
                    pthread_cond_broadcast(&backgroundChanged);
                }
                pthread_cond_wait(&backgroundChanged, &backgroundMutex);
            }
        }
        background.requested = false;
        background.due = false;
        background.running = true;
        const BackgroundRun run = background.run;
        pthread_mutex_unlock(&backgroundMutex);
        const std::uint32_t next = run();
        pthread_mutex_lock(&backgroundMutex);
        background.running = false;
        if (next != BACKGROUND_IDLE) {
            background.due = true;
            clock_gettime(CLOCK_REALTIME, &background.dueAt);
            const long nanoseconds =
                background.dueAt.tv_nsec + static_cast<long>(next % 1000) * 1000000;
            background.dueAt.tv_sec += next / 1000 + nanoseconds / 1000000000;
            background.dueAt.tv_nsec = nanoseconds % 1000000000;
        }
        pthread_cond_broadcast(&backgroundChanged);
    }
}

// A run due later than this is a periodic look (the settings file's, a
// track's end), which a test waiting for the work at hand does not wait for.
constexpr long PERIODIC_DUE_MILLISECONDS = 1000;

bool dueSoon(const timespec& moment) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const long long left = (static_cast<long long>(moment.tv_sec) - now.tv_sec) * 1000 +
                           (moment.tv_nsec - now.tv_nsec) / 1000000;
    return left < PERIODIC_DUE_MILLISECONDS;
}

// Whether either thread has work asked for, under way or due soon.
bool backgroundBusy() {
    for (const Background& background : backgrounds) {
        if (background.requested || background.running ||
            (background.due && dueSoon(background.dueAt))) {
            return true;
        }
    }
    return backgrounds[0].alive;
}

// Added to the system's clock by standin::advanceClock.
std::atomic<std::uint32_t> clockAdvance;

}  // namespace

namespace standin {

void holdFileCalls(bool held) {
    pthread_mutex_lock(&gateMutex);
    gateClosed = held;
    gateCloser = pthread_self();
    if (held) callsOnCloser = 0;
    pthread_cond_broadcast(&gateChanged);
    pthread_mutex_unlock(&gateMutex);
}

std::size_t fileCallsWhileHolding() {
    pthread_mutex_lock(&gateMutex);
    const std::size_t calls = callsOnCloser;
    pthread_mutex_unlock(&gateMutex);
    return calls;
}

int moduleHoldCount() { return moduleHolds.load(); }

void waitForBackgroundRuns() {
    pthread_mutex_lock(&backgroundMutex);
    while (backgroundBusy()) pthread_cond_wait(&backgroundChanged, &backgroundMutex);
    pthread_mutex_unlock(&backgroundMutex);
}

void advanceClock(std::uint32_t milliseconds) { clockAdvance += milliseconds; }

}  // namespace standin

bool requestBackgroundRun(BackgroundThread thread, BackgroundRun run) {
    Background& background = backgroundOf(thread);
    pthread_mutex_lock(&backgroundMutex);
    background.run = run;
    background.requested = true;
    bool running = background.started;
    if (!running) {
        pthread_t started;
        running = pthread_create(&started, nullptr, runInBackground, &background) == 0;
        if (running) pthread_detach(started);
        background.started = running;
    }
    if (running && !background.alive && thread == BackgroundThread::Finishing) ++moduleHolds;
    if (running) background.alive = true;
    pthread_cond_broadcast(&backgroundChanged);
    pthread_mutex_unlock(&backgroundMutex);
    return running;
}

void endBackgroundRuns() {}

void acquireLock(PlatformLock& lock) {
    auto* held = reinterpret_cast<std::atomic<void*>*>(&lock.state);
    void* unlocked = nullptr;
    while (!held->compare_exchange_weak(unlocked, &lock, std::memory_order_acquire)) {
        unlocked = nullptr;
        sched_yield();
    }
}

void releaseLock(PlatformLock& lock) {
    reinterpret_cast<std::atomic<void*>*>(&lock.state)->store(nullptr, std::memory_order_release);
}

namespace {

// The pipe a test serves: guarded by pipeMutex, as the worker's thread
// reads and writes it.
pthread_mutex_t pipeMutex = PTHREAD_MUTEX_INITIALIZER;
char16_t pipeName[128];
bool pipeListening;
bool pipeClientConnected;
unsigned pipeConnections;
// Each connection has its own number: a client holding an ended one finds it closed.
PlatformPipe pipeCurrent = PLATFORM_NO_PIPE;
unsigned char toServer[standin::MAX_PIPE_BYTES];
std::size_t toServerLength;
unsigned char toClient[standin::MAX_PIPE_BYTES];
std::size_t toClientLength;

bool liveConnection(PlatformPipe pipe) { return pipeClientConnected && pipe == pipeCurrent; }

}  // namespace

namespace standin {

void listenOnPipe(const char16_t* name) {
    pthread_mutex_lock(&pipeMutex);
    const std::u16string_view given(name);
    const std::size_t length = given.size() < 127 ? given.size() : 127;
    std::memcpy(pipeName, name, length * sizeof(char16_t));
    pipeName[length] = u'\0';
    pipeListening = true;
    pthread_mutex_unlock(&pipeMutex);
}

void dropPipeConnection() {
    pthread_mutex_lock(&pipeMutex);
    pipeClientConnected = false;
    toClientLength = 0;
    pthread_mutex_unlock(&pipeMutex);
}

void stopListening() {
    dropPipeConnection();
    pthread_mutex_lock(&pipeMutex);
    pipeListening = false;
    pthread_mutex_unlock(&pipeMutex);
}

std::size_t takePipeWritten(void* out, std::size_t capacity) {
    pthread_mutex_lock(&pipeMutex);
    const std::size_t count = toServerLength < capacity ? toServerLength : capacity;
    std::memcpy(out, toServer, count);
    std::memmove(toServer, toServer + count, toServerLength - count);
    toServerLength -= count;
    pthread_mutex_unlock(&pipeMutex);
    return count;
}

void putPipeReply(const void* bytes, std::size_t count) {
    pthread_mutex_lock(&pipeMutex);
    if (count <= MAX_PIPE_BYTES - toClientLength) {
        std::memcpy(toClient + toClientLength, bytes, count);
        toClientLength += count;
    }
    pthread_mutex_unlock(&pipeMutex);
}

bool pipeConnected() {
    pthread_mutex_lock(&pipeMutex);
    const bool connected = pipeClientConnected;
    pthread_mutex_unlock(&pipeMutex);
    return connected;
}

unsigned pipeConnectionCount() {
    pthread_mutex_lock(&pipeMutex);
    const unsigned count = pipeConnections;
    pthread_mutex_unlock(&pipeMutex);
    return count;
}

}  // namespace standin

std::uint64_t unixTimeMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
           static_cast<std::uint64_t>(now.tv_nsec / 1000000);
}

PlatformPipe openPipe(const char16_t* name) {
    pthread_mutex_lock(&pipeMutex);
    PlatformPipe pipe = PLATFORM_NO_PIPE;
    if (pipeListening && !pipeClientConnected &&
        std::u16string_view(name) == std::u16string_view(pipeName)) {
        pipeClientConnected = true;
        toServerLength = 0;
        pipe = static_cast<PlatformPipe>(++pipeConnections);
        pipeCurrent = pipe;
    }
    pthread_mutex_unlock(&pipeMutex);
    return pipe;
}

bool writePipe(PlatformPipe pipe, const void* bytes, std::size_t count, std::uint32_t) {
    pthread_mutex_lock(&pipeMutex);
    const bool written = liveConnection(pipe) && count <= standin::MAX_PIPE_BYTES - toServerLength;
    if (written) {
        std::memcpy(toServer + toServerLength, bytes, count);
        toServerLength += count;
    }
    pthread_mutex_unlock(&pipeMutex);
    return written;
}

bool pipeBytesReady(PlatformPipe pipe, std::uint32_t& count) {
    pthread_mutex_lock(&pipeMutex);
    const bool live = liveConnection(pipe);
    count = live ? static_cast<std::uint32_t>(toClientLength) : 0;
    pthread_mutex_unlock(&pipeMutex);
    return live;
}

bool readPipe(PlatformPipe pipe, void* out, std::size_t count) {
    pthread_mutex_lock(&pipeMutex);
    const bool read = liveConnection(pipe) && count <= toClientLength;
    if (read) {
        std::memcpy(out, toClient, count);
        std::memmove(toClient, toClient + count, toClientLength - count);
        toClientLength -= count;
    }
    pthread_mutex_unlock(&pipeMutex);
    return read;
}

void closePipe(PlatformPipe pipe) {
    pthread_mutex_lock(&pipeMutex);
    if (liveConnection(pipe)) pipeClientConnected = false;
    pthread_mutex_unlock(&pipeMutex);
}

bool readPathFacts(const char16_t* path, PathFacts& facts) {
    passFileGate();
    facts = PathFacts{false, false, 0, false, false, false, 0};
    char name[LINUX_NAME_CAPACITY];
    if (!linuxName(path, name)) return false;
    struct stat status;
    if (stat(name, &status) != 0) return errno == ENOENT || errno == ENOTDIR;
    facts.exists = true;
    facts.directory = S_ISDIR(status.st_mode);
    facts.size = static_cast<std::uint64_t>(status.st_size);
    // Linux has no hidden or system files; read-only is a file nobody may write.
    facts.readOnly = (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    constexpr std::uint64_t NANOSECONDS_PER_SECOND = 1000000000;
    facts.lastWrite = static_cast<std::uint64_t>(status.st_mtim.tv_sec) * NANOSECONDS_PER_SECOND +
                      static_cast<std::uint64_t>(status.st_mtim.tv_nsec);
    return true;
}

NewFileResult createNewFile(const char16_t* path, PlatformFile& file) {
    passFileGate();
    file = PLATFORM_NO_FILE;
    char name[LINUX_NAME_CAPACITY];
    if (!linuxName(path, name)) return NewFileResult::Failed;
    if (state.newFileNamesToOccupy > 0) {
        --state.newFileNamesToOccupy;
        const int other = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (other >= 0) {
            writeAll(other, standin::OCCUPIED_NAME_TEXT, sizeof standin::OCCUPIED_NAME_TEXT - 1);
            close(other);
        }
    }
    const int created = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (created < 0) return errno == EEXIST ? NewFileResult::NameTaken : NewFileResult::Failed;
    file = created;
    return NewFileResult::Written;
}

bool appendToFile(PlatformFile file, const void* bytes, std::size_t count) {
    return writeAll(static_cast<int>(file), bytes, count);
}

bool overwriteFile(const char16_t* path, const void* bytes, std::size_t count) {
    passFileGate();
    char name[LINUX_NAME_CAPACITY];
    if (!linuxName(path, name)) return false;
    const int file = open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) return false;
    const std::size_t limit = state.inPlaceWriteLimit;
    const bool cut = limit != 0 && limit < count;
    const bool written = writeAndEnd(file, bytes, cut ? limit : count) && !cut;
    return close(file) == 0 && written;
}

bool replaceFileWith(const char16_t* from, const char16_t* to) {
    passFileGate();
    ++state.replaceAttempts;
    if (state.replacementsToRefuse > 0) {
        --state.replacementsToRefuse;
        return false;
    }
    char fromName[LINUX_NAME_CAPACITY];
    char toName[LINUX_NAME_CAPACITY];
    return linuxName(from, fromName) && linuxName(to, toName) && rename(fromName, toName) == 0;
}

void findFilesBeginningWith(const char16_t* folder, const char16_t* prefix, FoundFile found,
                            void* context) {
    char name[LINUX_NAME_CAPACITY];
    if (!linuxName(folder, name)) return;
    // The system's own listing: the C library's opendir would allocate.
    const int directory = open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return;
    std::size_t prefixLength = 0;
    while (prefix[prefixLength] != u'\0') ++prefixLength;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    static char entries[16 * 1024];
    long count = 0;
    while ((count = syscall(SYS_getdents64, directory, entries, sizeof entries)) > 0) {
        for (long at = 0; at < count;) {
            // struct linux_dirent64: inode, offset, record length, type, name.
            unsigned short recordLength = 0;
            std::memcpy(&recordLength, entries + at + 16, sizeof recordLength);
            const char* entryName = entries + at + 19;
            at += recordLength;
            if (recordLength == 0) break;
            // The tests' names are ASCII: another is not reported.
            char16_t wide[256];
            std::size_t length = 0;
            bool ascii = true;
            for (const char* c = entryName; *c != '\0' && length + 1 < 256; ++c) {
                ascii &= static_cast<unsigned char>(*c) < 0x80;
                wide[length++] = static_cast<unsigned char>(*c);
            }
            wide[length] = u'\0';
            struct stat status;
            if (!ascii || length < prefixLength || fstatat(directory, entryName, &status, 0) != 0 ||
                !S_ISREG(status.st_mode)) {
                continue;
            }
            const long long milliseconds =
                (static_cast<long long>(now.tv_sec) - status.st_mtim.tv_sec) * 1000 +
                (now.tv_nsec - status.st_mtim.tv_nsec) / 1000000;
            found(wide, milliseconds > 0 ? static_cast<std::uint64_t>(milliseconds) : 0, context);
        }
    }
    close(directory);
}

bool deleteFile(const char16_t* path) {
    passFileGate();
    char name[LINUX_NAME_CAPACITY];
    return linuxName(path, name) && (unlink(name) == 0 || errno == ENOENT);
}

// Linux resolves nothing here: the paths are compared as written, letter
// case and the separator aside.
bool isSamePath(const char16_t* first, const char16_t* second) {
    const auto folded = [](char16_t unit) -> char16_t {
        if (unit == u'/') return u'\\';
        return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
    };
    std::size_t at = 0;
    for (; first[at] != u'\0' && second[at] != u'\0'; ++at) {
        if (folded(first[at]) != folded(second[at])) return false;
    }
    return first[at] == second[at];
}

void upperCaseText(const char16_t* text, std::size_t units, char16_t* out) {
    // The C library's Unicode table, as the system's; surrogates stay.
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    for (std::size_t at = 0; at < units; ++at) {
        const char16_t unit = text[at];
        const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
        const wint_t upper = unicode != nullptr && !surrogate ? towupper_l(unit, unicode) : unit;
        out[at] = upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
    }
}

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(getpid()); }

bool createFolder(const char16_t* path) {
    passFileGate();
    char name[LINUX_NAME_CAPACITY];
    return linuxName(path, name) && (mkdir(name, 0755) == 0 || errno == EEXIST);
}

bool ownModuleFolder(char16_t* out, std::size_t capacity) {
    // The tests say where the module lies; else the running program's folder.
    char program[LINUX_NAME_CAPACITY];
    std::size_t length = 0;
    if (state.moduleFolder[0] != u'\0') {
        std::size_t units = 0;
        while (state.moduleFolder[units] != u'\0') ++units;
        if (units + 1 > capacity) return false;
        std::memcpy(out, state.moduleFolder, (units + 1) * sizeof(char16_t));
        return true;
    }
    const ssize_t read = readlink("/proc/self/exe", program, sizeof program - 1);
    if (read <= 0) return false;
    length = static_cast<std::size_t>(read);
    while (length > 0 && program[length - 1] != '/') --length;
    if (length <= 1 || length > capacity) return false;
    for (std::size_t at = 0; at + 1 < length; ++at) {
        out[at] = static_cast<unsigned char>(program[at]);  // the tests' folders are ASCII
    }
    out[length - 1] = u'\0';
    return true;
}

bool expandEnvironmentVariables(const char16_t* path, char16_t* out, std::size_t capacity) {
    // Windows' rule: %NAME% of a variable that is set is replaced, anything
    // else stays as written.
    std::size_t written = 0;
    const auto put = [&](char16_t unit) {
        if (written + 1 >= capacity) return false;
        out[written++] = unit;
        return true;
    };
    for (std::size_t at = 0; path[at] != u'\0'; ++at) {
        std::size_t close = at + 1;
        while (path[at] == u'%' && path[close] != u'\0' && path[close] != u'%') ++close;
        char name[256];
        std::size_t nameLength = 0;
        bool ascii = path[at] == u'%' && path[close] == u'%' && close - at - 1 < sizeof name;
        for (std::size_t i = at + 1; ascii && i < close; ++i) {
            ascii = path[i] < 0x80;
            name[nameLength++] = static_cast<char>(path[i]);
        }
        name[nameLength] = '\0';
        const char* value = ascii && nameLength > 0 ? std::getenv(name) : nullptr;
        if (value == nullptr) {
            if (!put(path[at])) return false;
            continue;
        }
        for (const char* v = value; *v != '\0'; ++v) {
            if (!put(static_cast<unsigned char>(*v))) return false;
        }
        at = close;
    }
    out[written] = u'\0';
    return capacity > 0;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
    const timespec wait{static_cast<time_t>(milliseconds / 1000),
                        static_cast<long>(milliseconds % 1000) * 1000000};
    nanosleep(&wait, nullptr);
}

void yieldProcessor() { sched_yield(); }

std::uint32_t millisecondClock() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000) + clockAdvance;
}

bool fileSize(PlatformFile file, std::uint64_t& size) {
    struct stat status;
    if (fstat(static_cast<int>(file), &status) != 0) return false;
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

std::size_t readFileAt(PlatformFile file, std::uint64_t offset, void* out, std::size_t capacity) {
    std::size_t total = 0;
    while (total < capacity) {
        const ssize_t count = pread(static_cast<int>(file), static_cast<char*>(out) + total,
                                    capacity - total, static_cast<off_t>(offset + total));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return 0;
        if (count == 0) break;
        total += static_cast<std::size_t>(count);
    }
    return total;
}

void closeFile(PlatformFile file) { close(static_cast<int>(file)); }
