// The Windows back end of the platform layer.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

bool readUserRegistryString(const char* keyPath, const char* valueName, char* out,
                            std::size_t capacity) {
    if (capacity == 0) return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = static_cast<DWORD>(capacity);
    // Any type is accepted: the value is used as 8-bit text whatever it claims to be.
    const LONG result =
        RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;  // ERROR_MORE_DATA: too long for `out`
    if (size == 0 || out[size - 1] != '\0') {
        if (size >= capacity) return false;  // no room left for the missing terminator
        out[size] = '\0';
    }
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

std::size_t widenText(const char* text, char16_t* wide, std::size_t wideCapacity) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");
    // Converting no more bytes than there are units to spare keeps every code
    // page inside the buffer: a byte never yields more than one unit.
    std::size_t byteCount = std::strlen(text);
    if (byteCount > wideCapacity - 1) byteCount = wideCapacity - 1;
    int units = 0;
    if (byteCount > 0) {
        units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(byteCount),
                                    reinterpret_cast<wchar_t*>(wide),
                                    static_cast<int>(wideCapacity - 1));
    }
    wide[units] = u'\0';
    return static_cast<std::size_t>(units);
}
