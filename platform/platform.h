#pragma once
// The few operating-system services the plug-in uses, behind plain functions.
// win32.cpp implements them with the Windows API; standin.cpp stands in for
// them where there is no Windows, so the rest builds and runs anywhere.
#include <cstddef>
#include <cstdint>

// A window handle; null means no window.
using PlatformWindow = void*;

// An open file; PLATFORM_NO_FILE means none.
using PlatformFile = std::intptr_t;
constexpr PlatformFile PLATFORM_NO_FILE = -1;

// What a copy-data message carries: an identifier, a byte count and the bytes.
struct CopyDataRecord {
    std::uintptr_t identifier;
    std::uint32_t byteCount;
    const void* bytes;
};

// Reads the raw bytes of the value `valueName` of the key `keyPath` under the
// current user's registry root into `out`, at most `capacity` bytes, and sets
// `byteCount` to the number stored; a string value arrives as UTF-16LE
// units. Adds nothing: a value stored without a terminator arrives without
// one. Returns false, with `out` holding nothing useful, when the key or the
// value does not exist or the value is larger than `capacity`.
bool readUserRegistryValue(const char16_t* keyPath, const char16_t* valueName, void* out,
                           std::size_t capacity, std::size_t& byteCount);

// Returns the next top-level window of class `className` after `previous`
// (null: the first one), or null when there is none.
PlatformWindow findNextTopLevelWindow(const char* className, PlatformWindow previous);

// Sends `target` a copy-data message naming `sender`, and waits at most
// `timeoutMilliseconds` for it to be handled; a window that does not answer
// is given up on. Returns whether the window handled the message.
bool sendCopyData(PlatformWindow target, PlatformWindow sender, const CopyDataRecord& record,
                  unsigned timeoutMilliseconds);

// Shows a modal message box with one OK button, owned by `owner`, and returns
// when it has been closed.
void showMessageBox(PlatformWindow owner, const char* text, const char* caption);

// Whether the host's ANSI code page has two-byte characters at all (a
// double-byte code page such as 932); where it has none, every byte is one
// character (UTF-8, code page 65001, counts as having none, as Windows says).
bool ansiCodePageHasLeadBytes();

// Whether `byte` begins a two-byte character in the host's ANSI code page.
bool isAnsiLeadByte(unsigned char byte);

// Converts the `byteCount` bytes at `bytes` (any bytes, NUL included), text in
// the host's ANSI code page, to UTF-16 in `out` by the system's conversion,
// writing at most `capacity` units and no terminator. A byte never yields
// more than one unit, so capacity >= byteCount always suffices. Returns the
// number of units written: 0 when nothing was given or the result does not fit.
std::size_t ansiToUtf16(const char* bytes, std::size_t byteCount, char16_t* out,
                        std::size_t capacity);

// Converts the `units` units of UTF-16 at `text` to the host's ANSI code page
// in `out` by the system's conversion, writing at most `capacity` bytes and
// no terminator; a character the code page lacks becomes what that conversion
// makes of it. Returns the number of bytes written: 0 when nothing was given
// or the result does not fit.
std::size_t utf16ToAnsi(const char16_t* text, std::size_t units, char* out, std::size_t capacity);

// Opens the file at `path` (UTF-16, terminated) for reading only, letting
// everyone else read, write, rename and delete it meanwhile, so the user's
// file is never locked. Returns PLATFORM_NO_FILE when it cannot, or when the
// path names no file on a disk (a pipe, a device).
PlatformFile openFileForReading(const char16_t* path);

// Sets `size` to the file's size in bytes. Returns false when it cannot tell.
bool fileSize(PlatformFile file, std::uint64_t& size);

// Reads at most `capacity` bytes from `offset` bytes into the file into
// `out`, in one call, and returns how many it read: fewer at the end of the
// file, 0 on an error.
std::size_t readFileAt(PlatformFile file, std::uint64_t offset, void* out, std::size_t capacity);

// Closes a file that openFileForReading opened.
void closeFile(PlatformFile file);

// What the file system says of the entry at a path.
struct PathFacts {
    bool exists;
    bool directory;
    std::uint64_t size;
    bool readOnly;
    bool hidden;
    bool system;
    std::uint64_t lastWrite;  // when it was last written, in the system's own units
};

// Fills `facts` for the entry at `path` (UTF-16, terminated); an entry that
// does not exist has `exists` false. Returns false when the system cannot
// tell (a folder on the way that cannot be read, a bad name).
bool readPathFacts(const char16_t* path, PathFacts& facts);

// What became of createNewFile.
enum class NewFileResult { Written, NameTaken, Failed };

// Creates the file at `path`, which must not exist yet, empty and open for
// writing in `file`, letting nobody else open it meanwhile: for contents
// written piece by piece with appendToFile, closed with closeFile. Returns
// NameTaken, touching nothing, when something is there already; Failed,
// leaving nothing behind, when it cannot, or the name opened a device
// rather than a file on a disk; Written when the file is made.
NewFileResult createNewFile(const char16_t* path, PlatformFile& file);

// Writes the `count` bytes at `bytes` after those written before into a
// file createNewFile made. Returns false when the system wrote fewer.
bool appendToFile(PlatformFile file, const void* bytes, std::size_t count);

// Opens the file at `path`, creating it if need be, sharing reading and
// writing with others, writes the `count` bytes at `bytes` from its start,
// ends the file where the writing stopped and closes it: a short write
// leaves the part written, and one that wrote nothing leaves the old bytes
// whole. Returns false when any step fails, or the name opened a device
// rather than a file on a disk (nothing written).
bool overwriteFile(const char16_t* path, const void* bytes, std::size_t count);

// Called with the name (not the path) of each file found, and the
// milliseconds since it was last written.
using FoundFile = void (*)(const char16_t* name, std::uint64_t ageMilliseconds, void* context);

// Calls `found` for each file (not folder) in `folder` (UTF-16, terminated,
// no separator at its end) whose name may begin with `prefix`: the caller
// checks each name itself (the system's match is looser). Not reentrant.
void findFilesBeginningWith(const char16_t* folder, const char16_t* prefix, FoundFile found,
                            void* context);

// Moves the file `from` to `to` in one step, replacing `to` if it exists.
// Returns false when the system refuses (on Windows, while `to` is open
// without delete sharing; under Wine, while it is open at all).
bool replaceFileWith(const char16_t* from, const char16_t* to);

// Deletes the file at `path`. Returns whether it is gone.
bool deleteFile(const char16_t* path);

// Whether the paths `first` and `second` (UTF-16, terminated) name the same
// entry once each is made a full path as the system would (the current
// folder before a relative one, `.` and `..` resolved, trailing dots and
// spaces dropped), compared without regard to letter case. Asks nothing of
// the file system. Not reentrant.
bool isSamePath(const char16_t* first, const char16_t* second);

// Writes the upper case of each of the `units` UTF-16 units at `text` into
// `out` (room for `units`), by the system's own table for comparing names
// without regard to case (the same in every language); a unit without one
// stays as it is.
void upperCaseText(const char16_t* text, std::size_t units, char16_t* out);

// The identifier of the process this runs in.
std::uint32_t currentProcessId();

// Creates the folder at `path`; its parent must exist. Returns whether it
// exists now.
bool createFolder(const char16_t* path);

// Writes the folder of the module this code is part of (the plug-in's DLL,
// or a program's executable), without a separator at its end, into `out`,
// at most `capacity` units with the terminator. Returns false, `out`
// holding nothing useful, when the system cannot tell or it does not fit.
bool ownModuleFolder(char16_t* out, std::size_t capacity);

// Expands each %NAME% in `path` (UTF-16, terminated) with the user's
// environment into `out`, at most `capacity` units with the terminator.
// Returns false, `out` holding nothing useful, when the result does not fit.
bool expandEnvironmentVariables(const char16_t* path, char16_t* out, std::size_t capacity);

// What a background run returns: the milliseconds until it wants to run
// again, or BACKGROUND_IDLE for not until it is asked again.
constexpr std::uint32_t BACKGROUND_IDLE = 0xFFFFFFFFu;
using BackgroundRun = std::uint32_t (*)();

// The two background threads, told apart by what may become of their work
// when the host unloads the module.
enum class BackgroundThread {
    // Work that must finish once begun (a file half replaced). The thread
    // holds a reference to the module for as long as it lives, so an
    // unload waits for it; once a run has nothing left to do and nothing
    // new was asked for, it lets the reference go and ends, in one call
    // of the system's. The next request starts it again.
    Finishing,
    // Work that waits for a service and may be given up (a pipe that does
    // not answer). The thread holds nothing and lives while the module is
    // loaded; unloading the module lets a run under way end, then ends the
    // thread where it waits.
    Abandonable,
};

// How long a request that starts a thread waits for a thread to run
// (under the loader lock, which another thread may hold, a start can take
// a while): past it the request goes on and the thread starts when it can.
constexpr std::uint32_t BACKGROUND_START_WAIT_MILLISECONDS = 2000;
// How long an unload waits for a run of the abandonable thread under way
// to end; such a run's waits add up to a few seconds at most (the
// presence: a second's look at the pipe, a write of 2 s at most, another).
constexpr std::uint32_t BACKGROUND_LEAVE_WAIT_MILLISECONDS = 10000;

// Has `run` called soon on `thread`, never two runs of one thread at once;
// each run's result says when it runs next. Asked while a run is under way,
// it runs again at once after that one. Returns at once, but when it must
// start a thread: then it first waits for the other to run, should that one
// be starting still, so two starts never overlap; and it waits for the
// abandonable thread it starts to run (the finishing one holds the module
// from the start), at most BACKGROUND_START_WAIT_MILLISECONDS each.
// Allocates nothing itself (the system makes the thread and its events).
// Returns false when the system cannot run it.
bool requestBackgroundRun(BackgroundThread thread, BackgroundRun run);

// When the host unloads the module (not at the process's end, when the
// threads are gone already): waits for a run of the abandonable thread
// under way to end, at most BACKGROUND_LEAVE_WAIT_MILLISECONDS, ends the
// thread and releases what both threads used. A finishing thread cannot be
// running then: it holds the module, so the unload happens on it, as its
// last step.
void endBackgroundRuns();

// A lock for the short copies with which one thread hands state to
// another: a thread that finds it held waits in the system, never spinning
// against a holder the scheduler has set aside. All-zero bytes are an
// unlocked lock, so a static one needs no set-up.
struct PlatformLock {
    void* state;
};
void acquireLock(PlatformLock& lock);
void releaseLock(PlatformLock& lock);

// Waits `milliseconds`: never on the host's thread.
void sleepMilliseconds(std::uint32_t milliseconds);

// Gives the rest of this thread's time slice to any other thread ready to run.
void yieldProcessor();

// Milliseconds since some fixed moment; it wraps around.
std::uint32_t millisecondClock();

// Seconds since 1970-01-01 00:00 UTC, with milliseconds: the wall clock.
std::uint64_t unixTimeMilliseconds();

// An open connection to a named pipe; PLATFORM_NO_PIPE means none.
using PlatformPipe = std::intptr_t;
constexpr PlatformPipe PLATFORM_NO_PIPE = -1;

// Connects to the named pipe `name` (UTF-16, terminated, "\\?\pipe\..."),
// for reading and writing, without waiting for a busy one, letting the
// server identify the user but not act as them. Returns
// PLATFORM_NO_PIPE when nothing listens there or it is busy.
PlatformPipe openPipe(const char16_t* name);

// Writes the `count` bytes at `bytes`, waiting at most `timeoutMilliseconds`
// for a reader that does not read. Returns false when the pipe is closed or
// the time ran out: how much was written is then unknown, and the pipe is
// of no further use.
bool writePipe(PlatformPipe pipe, const void* bytes, std::size_t count,
               std::uint32_t timeoutMilliseconds);

// Sets `count` to the bytes that can be read at once, without waiting.
// Returns false when the other end has closed the pipe (and nothing is
// left to read) or it failed.
bool pipeBytesReady(PlatformPipe pipe, std::uint32_t& count);

// Reads exactly `count` bytes, which pipeBytesReady said are there, into
// `out`. Returns false when it cannot.
bool readPipe(PlatformPipe pipe, void* out, std::size_t count);

// Closes a pipe openPipe opened.
void closePipe(PlatformPipe pipe);
