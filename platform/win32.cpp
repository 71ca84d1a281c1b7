// The Windows back end of the platform layer.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <climits>

#include "platform/platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

namespace {

const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

}  // namespace

bool readUserRegistryValue(const char16_t* keyPath, const char16_t* valueName, void* out,
                           std::size_t capacity, std::size_t& byteCount) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(keyPath), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD size = static_cast<DWORD>(capacity);
    // Any type is accepted: the caller reads the bytes as it needs them.
    const LONG result =
        RegQueryValueExW(key, wide(valueName), nullptr, nullptr, static_cast<BYTE*>(out), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;  // ERROR_MORE_DATA: larger than `out`
    byteCount = size;
    return true;
}

PlatformWindow findNextTopLevelWindow(const char* className, PlatformWindow previous) {
    return FindWindowExA(nullptr, static_cast<HWND>(previous), className, nullptr);
}

bool sendCopyData(PlatformWindow target, PlatformWindow sender, const CopyDataRecord& record,
                  unsigned timeoutMilliseconds) {
    COPYDATASTRUCT copyData;
    copyData.dwData = record.identifier;
    copyData.cbData = record.byteCount;
    copyData.lpData = const_cast<void*>(record.bytes);
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(static_cast<HWND>(target), WM_COPYDATA,
                               reinterpret_cast<WPARAM>(sender),
                               reinterpret_cast<LPARAM>(&copyData), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                               timeoutMilliseconds, &answer) != 0;
}

void showMessageBox(PlatformWindow owner, const char* text, const char* caption) {
    MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OK);
}

bool ansiCodePageHasLeadBytes() {
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) != 0 && info.MaxCharSize > 1 && GetACP() != CP_UTF8;
}

bool isAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByteEx(CP_ACP, byte) != 0; }

std::size_t ansiToUtf16(const char* bytes, std::size_t byteCount, char16_t* out,
                        std::size_t capacity) {
    if (byteCount == 0 || capacity == 0 || byteCount > INT_MAX || capacity > INT_MAX) return 0;
    const int units =
        MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(byteCount),
                            reinterpret_cast<wchar_t*>(out), static_cast<int>(capacity));
    return units > 0 ? static_cast<std::size_t>(units) : 0;
}

std::size_t utf16ToAnsi(const char16_t* text, std::size_t units, char* out, std::size_t capacity) {
    if (units == 0 || capacity == 0 || units > INT_MAX || capacity > INT_MAX) return 0;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide(text), static_cast<int>(units), out,
                                          static_cast<int>(capacity), nullptr, nullptr);
    return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

PlatformFile openFileForReading(const char16_t* path) {
    const HANDLE file = CreateFileW(wide(path), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return PLATFORM_NO_FILE;
    // A pipe or a device would answer reads when it pleases, or never.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return PLATFORM_NO_FILE;
    }
    return reinterpret_cast<PlatformFile>(file);
}

bool fileSize(PlatformFile file, std::uint64_t& size) {
    LARGE_INTEGER bytes;
    if (GetFileSizeEx(reinterpret_cast<HANDLE>(file), &bytes) == 0) return false;
    size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

std::size_t readFileAt(PlatformFile file, std::uint64_t offset, void* out, std::size_t capacity) {
    // On a handle opened without FILE_FLAG_OVERLAPPED, the offset in the
    // structure places the read and the call waits for it: a seek and a read
    // in one call.
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(offset);
    place.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD count = 0;
    const DWORD wanted = capacity < MAXDWORD ? static_cast<DWORD>(capacity) : MAXDWORD;
    if (ReadFile(reinterpret_cast<HANDLE>(file), out, wanted, &count, &place) == 0) return 0;
    return count;
}

void closeFile(PlatformFile file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

bool readPathFacts(const char16_t* path, PathFacts& facts) {
    facts = PathFacts{false, false, 0, false, false, false, 0};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(wide(path), GetFileExInfoStandard, &data) == 0) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    facts.exists = true;
    facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    facts.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    facts.system = (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    facts.lastWrite = static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                      data.ftLastWriteTime.dwLowDateTime;
    return true;
}

namespace {

// Writes the `count` bytes from the file's start and ends the file where
// the writing stopped, unless nothing was written. Returns whether all were.
bool writeAll(HANDLE file, const void* bytes, std::size_t count) {
    DWORD written = 0;
    const bool wrote =
        count == 0 || (count <= MAXDWORD &&
                       WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) != 0 &&
                       written == count);
    if (!wrote && written == 0) return false;
    return SetEndOfFile(file) != 0 && wrote;
}

}  // namespace

NewFileResult createNewFile(const char16_t* path, PlatformFile& file) {
    const HANDLE created = CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    file = reinterpret_cast<PlatformFile>(created);
    if (created == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        file = PLATFORM_NO_FILE;
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                   ? NewFileResult::NameTaken
                   : NewFileResult::Failed;
    }
    // A name the system resolved to a device (a port, a printer) is no file:
    // nothing is written to it, and nothing there is deleted.
    if (GetFileType(created) != FILE_TYPE_DISK) {
        CloseHandle(created);
        file = PLATFORM_NO_FILE;
        return NewFileResult::Failed;
    }
    return NewFileResult::Written;
}

bool appendToFile(PlatformFile file, const void* bytes, std::size_t count) {
    DWORD written = 0;
    return count <= MAXDWORD &&
           WriteFile(reinterpret_cast<HANDLE>(file), bytes, static_cast<DWORD>(count), &written,
                     nullptr) != 0 &&
           written == count;
}

bool overwriteFile(const char16_t* path, const void* bytes, std::size_t count) {
    const HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool onDisk = GetFileType(file) == FILE_TYPE_DISK;
    const bool written = onDisk && writeAll(file, bytes, count);
    return CloseHandle(file) != 0 && written;
}

void findFilesBeginningWith(const char16_t* folder, const char16_t* prefix, FoundFile found,
                            void* context) {
    constexpr std::size_t PATTERN_CAPACITY = 2 * 1024;
    static wchar_t pattern[PATTERN_CAPACITY];
    const int length = lstrlenW(wide(folder)) + lstrlenW(wide(prefix)) + 3;
    if (length > static_cast<int>(PATTERN_CAPACITY)) return;
    lstrcpyW(pattern, wide(folder));
    lstrcatW(pattern, L"\\");
    lstrcatW(pattern, wide(prefix));
    lstrcatW(pattern, L"*");
    WIN32_FIND_DATAW entry;
    const HANDLE search =
        FindFirstFileExW(pattern, FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const auto steps = [](const FILETIME& time) {
        return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    };
    constexpr std::uint64_t STEPS_PER_MILLISECOND = 10000;  // FILETIME counts 100 ns
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::uint64_t written = steps(entry.ftLastWriteTime);
        const std::uint64_t age =
            steps(now) > written ? (steps(now) - written) / STEPS_PER_MILLISECOND : 0;
        found(reinterpret_cast<const char16_t*>(entry.cFileName), age, context);
    } while (FindNextFileW(search, &entry) != 0);
    FindClose(search);
}

bool replaceFileWith(const char16_t* from, const char16_t* to) {
    return MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool deleteFile(const char16_t* path) {
    return DeleteFileW(wide(path)) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool isSamePath(const char16_t* first, const char16_t* second) {
    // Static: the host's thread has its own uses for its stack.
    constexpr DWORD FULL_PATH_CAPACITY = 4096;  // a longer path is no path of ours
    static wchar_t fullFirst[FULL_PATH_CAPACITY];
    static wchar_t fullSecond[FULL_PATH_CAPACITY];
    const DWORD firstLength = GetFullPathNameW(wide(first), FULL_PATH_CAPACITY, fullFirst, nullptr);
    const DWORD secondLength =
        GetFullPathNameW(wide(second), FULL_PATH_CAPACITY, fullSecond, nullptr);
    if (firstLength == 0 || firstLength >= FULL_PATH_CAPACITY || secondLength == 0 ||
        secondLength >= FULL_PATH_CAPACITY) {
        return false;
    }
    return CompareStringOrdinal(fullFirst, static_cast<int>(firstLength), fullSecond,
                                static_cast<int>(secondLength), TRUE) == CSTR_EQUAL;
}

void upperCaseText(const char16_t* text, std::size_t units, char16_t* out) {
    // In pieces an int can count; the mapping keeps the number of units.
    constexpr std::size_t PIECE = 0x10000;
    for (std::size_t at = 0; at < units; at += PIECE) {
        const int count = static_cast<int>(units - at < PIECE ? units - at : PIECE);
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide(text + at), count,
                          reinterpret_cast<wchar_t*>(out + at), count, nullptr, nullptr,
                          0) != count) {
            for (int i = 0; i < count; ++i) out[at + i] = text[at + i];
        }
    }
}

std::uint32_t currentProcessId() { return GetCurrentProcessId(); }

bool createFolder(const char16_t* path) {
    return CreateDirectoryW(wide(path), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool ownModuleFolder(char16_t* out, std::size_t capacity) {
    HMODULE module = nullptr;
    if (GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&ownModuleFolder), &module) == 0) {
        return false;
    }
    const DWORD room = capacity < MAXDWORD ? static_cast<DWORD>(capacity) : MAXDWORD;
    wchar_t* path = reinterpret_cast<wchar_t*>(out);
    // A name cut to fit is returned whole in length: no room for it.
    const DWORD length = GetModuleFileNameW(module, path, room);
    if (length == 0 || length >= room) return false;
    DWORD last = length;
    while (last > 0 && path[last - 1] != L'\\') --last;
    if (last == 0) return false;
    path[last - 1] = L'\0';
    return true;
}

bool expandEnvironmentVariables(const char16_t* path, char16_t* out, std::size_t capacity) {
    const DWORD room = capacity < MAXDWORD ? static_cast<DWORD>(capacity) : MAXDWORD;
    const DWORD needed =
        ExpandEnvironmentStringsW(wide(path), reinterpret_cast<wchar_t*>(out), room);
    return needed != 0 && needed <= room;
}

namespace {

// The background threads. Each starts by signalling that it runs, and
// neither is created while the other is still starting: under Wine's
// 32-bit build in QEMU's user mode, a thread created while another is still
// starting brings the process down when a thread later ends.
//
// The finishing thread holds a reference to the module, taken by the
// request that starts it: the host's unloading the module then only lowers
// the count, and the thread's own last call, FreeLibraryAndExitThread, lets
// the module go and ends the thread without returning into the module.
//
// The abandonable thread holds nothing. An unload (under the loader's
// lock) queues ExitThread to it as an asynchronous procedure call and tells
// it to leave: once a run under way has ended, it signals that it has
// parked and, in the same call, waits alertably in the system's code, where
// the call ends it. It never returns into the module, which may be gone by
// then; its exit goes on once the unload has let the loader's lock go. Its
// start is waited for, so an unload finds it running: only past the wait's
// bound can one find it still starting (its start waits for the loader's
// lock, which the unload holds), and it is ended there, before any code of
// ours, as Wine runs no queued call before a thread's start routine.
struct Background {
    HANDLE thread;   // the abandonable thread's, kept for its end
    HANDLE wake;     // auto-reset: a request
    HANDLE started;  // manual-reset: set by the thread as it begins
    bool created;    // a thread of this kind was made (then `started` tells whether it ran)
    BackgroundRun run;
    bool asked;  // a request since the last run began
    bool alive;
};

SRWLOCK backgroundLock = SRWLOCK_INIT;  // guards both records and finishingModule
Background finishing;
Background abandonable;
HMODULE finishingModule;       // the reference the finishing thread holds
volatile LONG abandonableRan;  // the abandonable thread has run our code
volatile LONG leaving;         // an unload tells the abandonable thread to leave
HANDLE parked;                 // manual-reset: set as the abandonable thread parks
HANDLE never;                  // manual-reset, never set: where it parks
constexpr SIZE_T BACKGROUND_STACK_RESERVE = 256 * 1024;

// Takes the run asked for, and counts the request as served.
BackgroundRun takeRequest(Background& background) {
    AcquireSRWLockExclusive(&backgroundLock);
    background.asked = false;
    const BackgroundRun run = background.run;
    ReleaseSRWLockExclusive(&backgroundLock);
    return run;
}

DWORD WINAPI finishingThread(void*) {
    SetEvent(finishing.started);
    std::uint32_t next = 0;  // asked for: it runs at once
    for (;;) {
        if (next == BACKGROUND_IDLE) {
            AcquireSRWLockExclusive(&backgroundLock);
            const bool asked = finishing.asked;
            if (!asked) finishing.alive = false;
            const HMODULE module = finishingModule;
            ReleaseSRWLockExclusive(&backgroundLock);
            // Decided under the lock, so a request either finds this thread
            // alive and is run by it, or starts the next one.
            if (!asked) FreeLibraryAndExitThread(module, 0);
        } else if (next > 0) {
            WaitForSingleObject(finishing.wake, next);
        }
        next = takeRequest(finishing)();
    }
}

[[noreturn]] void parkAbandonableThread() {
    // Alertable: the unload's call to ExitThread runs here.
    for (;;) SignalObjectAndWait(parked, never, INFINITE, TRUE);
}

DWORD WINAPI abandonableThread(void*) {
    InterlockedExchange(&abandonableRan, 1);
    SetEvent(abandonable.started);
    std::uint32_t next = 0;
    for (;;) {
        if (next != 0) {
            WaitForSingleObject(abandonable.wake, next == BACKGROUND_IDLE ? INFINITE : next);
        }
        if (InterlockedCompareExchange(&leaving, 0, 0) != 0) parkAbandonableThread();
        next = takeRequest(abandonable)();
    }
}

bool makeEvent(HANDLE& event, BOOL manualReset) {
    if (event == nullptr) event = CreateEventW(nullptr, manualReset, FALSE, nullptr);
    return event != nullptr;
}

bool makeEvents() {
    return makeEvent(parked, TRUE) && makeEvent(never, TRUE) && makeEvent(finishing.wake, FALSE) &&
           makeEvent(finishing.started, TRUE) && makeEvent(abandonable.wake, FALSE) &&
           makeEvent(abandonable.started, TRUE);
}

// Starts `background`'s thread, which `alive` already says runs, once the
// other thread, if it is starting, runs; the finishing thread gets the
// module's reference. Returns false, with `alive` cleared, when the system
// refuses.
bool startBackgroundThread(Background& background, LPTHREAD_START_ROUTINE routine) {
    HMODULE module = nullptr;
    const bool holding = &background == &finishing;
    Background& other = holding ? abandonable : finishing;
    AcquireSRWLockExclusive(&backgroundLock);
    const bool otherMade = other.created;
    ReleaseSRWLockExclusive(&backgroundLock);
    // Past the wait the other thread still starts when it can (its
    // start waits for a loader's lock another thread holds).
    if (otherMade) WaitForSingleObject(other.started, BACKGROUND_START_WAIT_MILLISECONDS);
    bool started =
        !holding || GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                       reinterpret_cast<LPCWSTR>(&finishingThread), &module) != 0;
    HANDLE thread = nullptr;
    if (started) {
        if (holding) {
            AcquireSRWLockExclusive(&backgroundLock);
            finishingModule = module;
            ReleaseSRWLockExclusive(&backgroundLock);
        }
        ResetEvent(background.started);
        thread = CreateThread(nullptr, BACKGROUND_STACK_RESERVE, routine, nullptr,
                              STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        started = thread != nullptr;
    }
    if (!started) {
        // The host's thread still holds the module: this lowers the count only.
        if (module != nullptr) FreeLibrary(module);
        AcquireSRWLockExclusive(&backgroundLock);
        background.alive = false;
        ReleaseSRWLockExclusive(&backgroundLock);
        return false;
    }
    // The finishing thread is not waited for: it holds its reference, and
    // the module cannot go before it has run. The abandonable one is, so
    // that an unload finds it running.
    if (!holding) WaitForSingleObject(background.started, BACKGROUND_START_WAIT_MILLISECONDS);
    AcquireSRWLockExclusive(&backgroundLock);
    background.created = true;
    if (!holding) background.thread = thread;
    ReleaseSRWLockExclusive(&backgroundLock);
    if (holding) CloseHandle(thread);
    return true;
}

}  // namespace

bool requestBackgroundRun(BackgroundThread kind, BackgroundRun run) {
    Background& background = kind == BackgroundThread::Finishing ? finishing : abandonable;
    AcquireSRWLockExclusive(&backgroundLock);
    const bool ready = makeEvents();
    bool start = false;
    if (ready) {
        background.run = run;
        background.asked = true;
        start = !background.alive;
        background.alive = true;
        // A thread that runs looks for new work when it wakes.
        if (!start) SetEvent(background.wake);
    }
    ReleaseSRWLockExclusive(&backgroundLock);
    if (!ready) return false;
    if (!start) return true;
    return startBackgroundThread(
        background, kind == BackgroundThread::Finishing ? finishingThread : abandonableThread);
}

void endBackgroundRuns() {
    AcquireSRWLockExclusive(&backgroundLock);
    const HANDLE thread = abandonable.thread;
    abandonable.thread = nullptr;
    ReleaseSRWLockExclusive(&backgroundLock);
    if (thread != nullptr) {
        const auto exitThread =
            reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(&ExitThread));
        const bool queued = QueueUserAPC(exitThread, thread, 0) != 0;
        InterlockedExchange(&leaving, 1);
        SetEvent(abandonable.wake);
        bool end = !queued;
        if (InterlockedCompareExchange(&abandonableRan, 0, 0) != 0) {
            // Parked, or gone (a thread someone ended signals its handle).
            const HANDLE ends[] = {parked, thread};
            // Past the wait, a run is held far past the bounds of its own
            // waits, inside a call of the system's: it is ended where it is,
            // as returning into a module that is gone would end the host.
            end |= WaitForMultipleObjects(2, ends, FALSE, BACKGROUND_LEAVE_WAIT_MILLISECONDS) ==
                   WAIT_TIMEOUT;
        }
        // Without the call queued, a parked thread is ended here, and so is
        // one still starting; either holds nothing then.
        if (end || InterlockedCompareExchange(&abandonableRan, 0, 0) == 0) {
            TerminateThread(thread, 0);
        }
        CloseHandle(thread);
    }
    HANDLE* const events[] = {&parked,           &never,
                              &finishing.wake,   &finishing.started,
                              &abandonable.wake, &abandonable.started};
    for (HANDLE* event : events) {
        if (*event != nullptr) CloseHandle(*event);
        *event = nullptr;
    }
}

void acquireLock(PlatformLock& lock) { AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&lock)); }

void releaseLock(PlatformLock& lock) { ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&lock)); }

static_assert(sizeof(SRWLOCK) == sizeof(PlatformLock), "a PlatformLock is an SRW lock");

void sleepMilliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }

void yieldProcessor() { Sleep(0); }

std::uint32_t millisecondClock() { return GetTickCount(); }

std::uint64_t unixTimeMilliseconds() {
    // FILETIME counts 100-nanosecond steps from 1601-01-01.
    constexpr std::uint64_t STEPS_1601_TO_1970 = 116444736000000000ull;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t steps =
        static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    return steps < STEPS_1601_TO_1970 ? 0 : (steps - STEPS_1601_TO_1970) / 10000;
}

namespace {

HANDLE pipeHandle(PlatformPipe pipe) { return reinterpret_cast<HANDLE>(pipe); }

// Waits for an overlapped operation at most `timeoutMilliseconds`; one
// that takes longer is cancelled (and waited for, as its buffer is ours).
bool finishOverlapped(HANDLE handle, OVERLAPPED& overlapped, BOOL started, DWORD& done,
                      DWORD timeoutMilliseconds) {
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(overlapped.hEvent, timeoutMilliseconds) != WAIT_OBJECT_0) {
        CancelIo(handle);
        GetOverlappedResult(handle, &overlapped, &done, TRUE);
        return false;
    }
    return GetOverlappedResult(handle, &overlapped, &done, FALSE) != 0;
}

// Reads or writes `count` bytes with an overlapped call on `pipe`, waiting
// at most `timeoutMilliseconds` in all.
bool transferPipe(PlatformPipe pipe, void* bytes, std::size_t count, bool writing,
                  DWORD timeoutMilliseconds) {
    if (count > MAXDWORD) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return false;
    const HANDLE handle = pipeHandle(pipe);
    const DWORD asked = static_cast<DWORD>(count);
    DWORD done = 0;
    const BOOL started = writing ? WriteFile(handle, bytes, asked, nullptr, &overlapped)
                                 : ReadFile(handle, bytes, asked, nullptr, &overlapped);
    const bool finished = finishOverlapped(handle, overlapped, started, done, timeoutMilliseconds);
    CloseHandle(overlapped.hEvent);
    return finished && done == asked;
}

// Bytes pipeBytesReady reported are in the pipe already: reading them takes no time.
constexpr DWORD READY_BYTES_WAIT_MILLISECONDS = 1000;

}  // namespace

PlatformPipe openPipe(const char16_t* name) {
    // Identification only: a program that made the pipe first, in the
    // place of the one meant, learns who the user is but cannot act as them.
    const HANDLE handle = CreateFileW(
        reinterpret_cast<LPCWSTR>(name), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    return handle == INVALID_HANDLE_VALUE ? PLATFORM_NO_PIPE
                                          : reinterpret_cast<PlatformPipe>(handle);
}

bool writePipe(PlatformPipe pipe, const void* bytes, std::size_t count,
               std::uint32_t timeoutMilliseconds) {
    return transferPipe(pipe, const_cast<void*>(bytes), count, true, timeoutMilliseconds);
}

bool pipeBytesReady(PlatformPipe pipe, std::uint32_t& count) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipeHandle(pipe), nullptr, 0, nullptr, &available, nullptr)) return false;
    count = available;
    return true;
}

bool readPipe(PlatformPipe pipe, void* out, std::size_t count) {
    return transferPipe(pipe, out, count, false, READY_BYTES_WAIT_MILLISECONDS);
}

void closePipe(PlatformPipe pipe) { CloseHandle(pipeHandle(pipe)); }
