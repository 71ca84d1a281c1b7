// The stand-in back end of the platform layer: an in-memory registry value,
// windows that record what they receive, and message boxes that are recorded
// instead of shown.
#include "platform/standin.h"

#include <cstring>

#include "text/bounded_text.h"

namespace {

constexpr std::size_t MAX_NAME = 256;

struct StandinWindow {
    char className[MAX_NAME];
    bool hung;
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

StandinWindow* windowFromHandle(PlatformWindow handle) {
    for (std::size_t i = 0; i < state.windowCount; ++i) {
        if (handle == &state.windows[i]) return &state.windows[i];
    }
    return nullptr;
}

}  // namespace

namespace standin {

void reset() { std::memset(&state, 0, sizeof state); }

void setRegistryValue(const char* keyPath, const char* valueName, const void* bytes,
                      std::size_t size) {
    RegistryValue& value = state.registry;
    value.present = true;
    copyBounded(value.keyPath, sizeof value.keyPath, keyPath);
    copyBounded(value.valueName, sizeof value.valueName, valueName);
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
    copyBounded(window.className, sizeof window.className, className);
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
        if (std::strcmp(state.windows[i].className, className) == 0) return &state.windows[i];
    }
    return nullptr;
}

bool sendCopyData(PlatformWindow target, PlatformWindow sender, const CopyDataRecord& record,
                  unsigned /*timeoutMilliseconds*/) {
    const StandinWindow* window = windowFromHandle(target);
    if (window == nullptr) return false;
    if (window->hung) {
        ++state.timedOutSendCount;
        return false;
    }
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
    copyBounded(box.text, sizeof box.text, text);
    copyBounded(box.caption, sizeof box.caption, caption);
}

// Latin-1: each byte is the code point of the same value.
std::size_t widenText(const char* bytes, std::size_t byteCount, char16_t* wide,
                      std::size_t wideCapacity) {
    const std::size_t units = byteCount < wideCapacity ? byteCount : wideCapacity;
    for (std::size_t i = 0; i < units; ++i) {
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    }
    return units;
}
