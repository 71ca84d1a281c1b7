#pragma once
// Controls of the stand-in platform, for tests and tools that run without
// Windows. All storage is fixed: the stand-in allocates nothing, so it can be
// used where allocation is being watched.
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace standin {

constexpr std::size_t MAX_WINDOWS = 160;
constexpr std::size_t MAX_RECEIVED = 200;
constexpr std::size_t MAX_RECORD_BYTES = 1024;
constexpr std::size_t MAX_MESSAGE_BOXES = 8;
constexpr std::size_t MAX_BOX_TEXT = 256;
constexpr std::size_t MAX_REGISTRY_BYTES = 1024;

// Removes every window, received record, message box and registry value,
// and plays Latin-1 again.
void reset();

// Plays the Windows code page `number` through iconv ("CP932" for 932; 65001,
// for which iconv has no such name, as "UTF-8") as the host's ANSI code
// page: its lead bytes, and the conversions to and from UTF-16 (a character
// it lacks becomes '?', one it cannot read U+FFFD). Until then, and after
// reset(), the code page is Latin-1: one byte per character, each the code
// point of its value. Returns false, changing nothing, when iconv does not
// know it.
bool setAnsiCodePage(unsigned number);

// Makes `keyPath`/`valueName` hold `size` raw bytes (stored as they are, so a
// value without a terminator can be set). At most one value exists at a time.
void setRegistryValue(const char16_t* keyPath, const char16_t* valueName, const void* bytes,
                      std::size_t size);
// Sets the value to the UTF-16 text with its terminator, as a string value is stored.
void setRegistryString(const char16_t* keyPath, const char16_t* valueName, const char16_t* text);
void removeRegistryValue();

// The folder ownModuleFolder reports (UTF-16, terminated; empty: the
// running program's). reset() empties it.
constexpr std::size_t MODULE_FOLDER_CAPACITY = 1024;
void setModuleFolder(const char16_t* folder);

// Opens a top-level window of `className`; windows are found in opening order.
// Returns null when MAX_WINDOWS are open.
PlatformWindow openWindow(const char* className);
// A hung window never handles a message: each send to it times out.
void setWindowHung(PlatformWindow window, bool hung);
// Such a window closes once it has handled a record: the search no longer
// finds it, nor goes on from it, and sends to it fail.
void setWindowClosesOnReceipt(PlatformWindow window);

struct ReceivedRecord {
    PlatformWindow window;
    PlatformWindow sender;
    std::uintptr_t identifier;
    std::uint32_t byteCount;
    unsigned char bytes[MAX_RECORD_BYTES];  // the first min(byteCount, MAX_RECORD_BYTES)
};
// Copy-data records handled by windows, in arrival order (at most MAX_RECEIVED kept).
std::size_t receivedCount();
const ReceivedRecord& received(std::size_t index);
// Sends given up on because the window was hung.
std::size_t timedOutSendCount();

// The next `count` replacements of a file are refused, as Windows refuses
// them while a reader holds the file.
void refuseReplacements(unsigned count);
// Replacements tried, refused ones included.
std::size_t replaceAttemptCount();

// The next `count` new files find their name taken: another program has
// just created a file there holding OCCUPIED_NAME_TEXT.
constexpr char OCCUPIED_NAME_TEXT[] = "not the plug-in's";
void occupyNewFileNames(unsigned count);

// Writes in place stop after `count` bytes, as on a full disk (0: they don't).
void stopInPlaceWritesAfter(std::size_t count);

// While held, the now-playing file's calls (facts, new file, overwrite,
// replace, delete, new folder) wait, as on a network share that does not
// answer, except those from the thread that held them, which are counted
// and go on.
void holdFileCalls(bool held);
std::size_t fileCallsWhileHolding();

// Waits until no background run is asked for, under way or due within a
// second, and the finishing thread has ended.
void waitForBackgroundRuns();

// Moves millisecondClock() on by `milliseconds` from now on, as weeks of a
// player left open would; it wraps as the system's does.
void advanceClock(std::uint32_t milliseconds);

// One named pipe a test serves, one connection at a time. Until listenOnPipe
// and after stopListening nobody listens: openPipe fails. While a client is
// connected, another openPipe finds the pipe busy.
constexpr std::size_t MAX_PIPE_BYTES = 64 * 1024;
void listenOnPipe(const char16_t* name);
// Ends the connection (the client's next look finds the pipe closed) and
// stops listening.
void stopListening();
// Ends the connection only: the pipe takes a new one.
void dropPipeConnection();
// Moves what the client wrote since the last call into `out`, at most
// `capacity` bytes, and returns the count.
std::size_t takePipeWritten(void* out, std::size_t capacity);
// Bytes the client can read (put before it connects: what it reads first).
void putPipeReply(const void* bytes, std::size_t count);
// Whether the client is connected now, and how many connections it made.
bool pipeConnected();
unsigned pipeConnectionCount();

// The module references the finishing thread holds now.
int moduleHoldCount();

struct ShownMessageBox {
    PlatformWindow owner;
    char text[MAX_BOX_TEXT];
    char caption[MAX_BOX_TEXT];
};
std::size_t shownMessageBoxCount();
const ShownMessageBox& shownMessageBox(std::size_t index);

}  // namespace standin
