// The stand-in back end of the platform layer: an in-memory registry value,
// windows that record what they receive, message boxes that are recorded
// instead of shown, and an ANSI code page played by iconv.
#include "platform/standin.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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
    char keyPath[MAX_NAME];
    char valueName[MAX_NAME];
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
};

StandinState state;

// The stand-in's own names and texts, cut to their fixed storage.
template <std::size_t N>
void storeName(char (&destination)[N], const char* source) {
    std::snprintf(destination, N, "%s", source);
}

const iconv_t NO_CONVERSION = reinterpret_cast<iconv_t>(-1);

// The code page the stand-in plays. Its conversions hold iconv descriptors,
// which reset() closes; Latin-1, the default, widens without one.
struct AnsiCodePage {
    unsigned number;   // 0: Latin-1, each byte the code point of its value
    iconv_t widening;  // the code page to UTF-16LE
    iconv_t fromUtf8;  // UTF-8 to the code page
    bool leadByte[256];
    bool hasLeadBytes;
};

AnsiCodePage codePage{0, NO_CONVERSION, NO_CONVERSION, {}, false};

void iconvName(unsigned number, char (&name)[16]) {
    if (number == 0) {
        std::snprintf(name, sizeof name, "ISO-8859-1");
    } else {
        std::snprintf(name, sizeof name, "CP%u", number);
    }
}

// UTF-8 to Latin-1, opened once and kept: reset() runs before every fuzz
// input, and opening a conversion costs far more than the work it serves.
iconv_t latin1FromUtf8 = NO_CONVERSION;

void closeConversions() {
    if (codePage.widening != NO_CONVERSION) iconv_close(codePage.widening);
    if (codePage.fromUtf8 != NO_CONVERSION && codePage.fromUtf8 != latin1FromUtf8) {
        iconv_close(codePage.fromUtf8);
    }
    codePage = AnsiCodePage{0, NO_CONVERSION, NO_CONVERSION, {}, false};
}

// Opened ahead, not at a conversion: iconv_open allocates, and the
// conversions run where allocation is watched.
void openConversionFromUtf8() {
    if (codePage.number == 0 && latin1FromUtf8 != NO_CONVERSION) {
        codePage.fromUtf8 = latin1FromUtf8;
        return;
    }
    char name[16];
    iconvName(codePage.number, name);
    codePage.fromUtf8 = iconv_open(name, "UTF-8");
    if (codePage.number == 0) latin1FromUtf8 = codePage.fromUtf8;
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
    closeConversions();
    openConversionFromUtf8();
}

bool setAnsiCodePage(unsigned number) {
    char name[16];
    iconvName(number, name);
    const iconv_t widening = iconv_open("UTF-16LE", name);
    if (widening == NO_CONVERSION) return false;
    closeConversions();
    codePage.number = number;
    codePage.widening = widening;
    openConversionFromUtf8();
    // A lead byte is one that the conversion finds incomplete on its own.
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        char in = static_cast<char>(byte);
        char* inNext = &in;
        std::size_t inLeft = 1;
        char16_t unit[2];
        char* outNext = reinterpret_cast<char*>(unit);
        std::size_t outLeft = sizeof unit;
        const bool incomplete =
            iconv(widening, &inNext, &inLeft, &outNext, &outLeft) == static_cast<std::size_t>(-1) &&
            errno == EINVAL;
        iconv(widening, nullptr, nullptr, nullptr, nullptr);
        codePage.leadByte[byte] = incomplete;
        codePage.hasLeadBytes |= incomplete;
    }
    return true;
}

void setWindowClosesOnReceipt(PlatformWindow handle) {
    if (StandinWindow* window = windowFromHandle(handle)) window->closesOnReceipt = true;
}

void setRegistryValue(const char* keyPath, const char* valueName, const void* bytes,
                      std::size_t size) {
    RegistryValue& value = state.registry;
    value.present = true;
    storeName(value.keyPath, keyPath);
    storeName(value.valueName, valueName);
    value.size = size < sizeof value.bytes ? size : sizeof value.bytes;
    std::memcpy(value.bytes, bytes, value.size);
}

void setRegistryString(const char* keyPath, const char* valueName, const char* text) {
    setRegistryValue(keyPath, valueName, text, std::strlen(text) + 1);
}

void removeRegistryValue() { state.registry.present = false; }

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

bool readUserRegistryValue(const char* keyPath, const char* valueName, void* out,
                           std::size_t capacity, std::size_t& byteCount) {
    const RegistryValue& value = state.registry;
    if (!value.present || std::strcmp(value.keyPath, keyPath) != 0 ||
        std::strcmp(value.valueName, valueName) != 0 || value.size > capacity) {
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

std::size_t widenText(const char* bytes, std::size_t byteCount, char16_t* wide,
                      std::size_t wideCapacity) {
    if (codePage.widening == NO_CONVERSION) {
        // Latin-1: each byte is the code point of the same value.
        const std::size_t units = byteCount < wideCapacity ? byteCount : wideCapacity;
        for (std::size_t i = 0; i < units; ++i) {
            wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
        }
        return units;
    }
    char* in = const_cast<char*>(bytes);
    std::size_t inLeft = byteCount;
    char* out = reinterpret_cast<char*>(wide);
    std::size_t outLeft = wideCapacity * sizeof(char16_t);
    while (inLeft > 0 && outLeft >= sizeof(char16_t)) {
        if (iconv(codePage.widening, &in, &inLeft, &out, &outLeft) !=
            static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) break;
        // A character the code page cannot read, taken whole as Windows takes
        // it: a lead byte with the byte after it.
        const char16_t replacement = u'\uFFFD';
        std::memcpy(out, &replacement, sizeof replacement);
        out += sizeof replacement;
        outLeft -= sizeof replacement;
        const std::size_t skipped =
            codePage.leadByte[static_cast<unsigned char>(*in)] && inLeft >= 2 ? 2 : 1;
        in += skipped;
        inLeft -= skipped;
    }
    iconv(codePage.widening, nullptr, nullptr, nullptr, nullptr);
    return static_cast<std::size_t>(out - reinterpret_cast<char*>(wide)) / sizeof(char16_t);
}

bool ansiCodePageHasLeadBytes() { return codePage.hasLeadBytes; }

bool isAnsiLeadByte(unsigned char byte) { return codePage.leadByte[byte]; }

std::size_t convertUtf8ToAnsi(const char* utf8, std::size_t byteCount, char* out,
                              std::size_t capacity) {
    if (byteCount == 0 || byteCount > UTF8_CONVERSION_MAX_BYTES) return 0;
    if (codePage.fromUtf8 == NO_CONVERSION) openConversionFromUtf8();  // never reset
    if (codePage.fromUtf8 == NO_CONVERSION) return 0;
    char* in = const_cast<char*>(utf8);
    std::size_t inLeft = byteCount;
    char* next = out;
    std::size_t outLeft = capacity;
    std::size_t written = 0;
    for (;;) {
        const std::size_t result = iconv(codePage.fromUtf8, &in, &inLeft, &next, &outLeft);
        written = static_cast<std::size_t>(next - out);
        if (result != static_cast<std::size_t>(-1) || inLeft == 0) break;
        if (errno == E2BIG || outLeft == 0) {
            written = 0;  // does not fit
            break;
        }
        // A character the code page lacks, or bytes that are not UTF-8: '?',
        // the default character of the Windows code pages, for the whole
        // character.
        *next++ = '?';
        --outLeft;
        do {
            ++in;
            --inLeft;
        } while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    }
    iconv(codePage.fromUtf8, nullptr, nullptr, nullptr, nullptr);
    return written;
}

PlatformFile openFileForReading(const char* path) {
    // Not waiting for a writer, should the path name a pipe.
    const int file = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) return PLATFORM_NO_FILE;
    struct stat status;
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(file);
        return PLATFORM_NO_FILE;
    }
    return file;
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
