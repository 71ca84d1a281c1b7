// messenger-sim: stands in for the messenger in its own process. It opens N
// top-level windows of the messenger's class, each on its own thread so that
// one can hang while the others answer, and logs every copy-data message.
// Windows are numbered in the order the system's window search visits them,
// so "window 1" is the one a sender reaches first.
//
//   messenger-sim --log FILE [--windows N] [--hang K:MS] [--close-on-receipt]
//                 [--ready FILE] [--stop FILE] [--seconds S] [--show]
//
// --hang K:MS: window K stops answering for MS milliseconds once all exist.
// --close-on-receipt: each window closes as soon as it has handled a record.
// Log lines: window=K sender=HWND id=0xID bytes=N text=TEXT terminated=yes|no
// TEXT keeps printable ASCII and writes every other unit, and '<', as <U+XXXX>.
// --show also prints, in plain words, what the messenger would display.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "programs/status_fields.h"

namespace {

constexpr int MAX_WINDOWS = 100;
constexpr const char* MESSENGER_CLASS = "MsnMsgrUIManager";

struct Options {
    const char* logPath = nullptr;
    const char* readyPath = nullptr;
    const char* stopPath = nullptr;
    int windows = 1;
    int hungWindow = 0;
    DWORD hangMilliseconds = 0;
    DWORD seconds = 60;
    bool show = false;
    bool closeOnReceipt = false;
};

Options options;
CRITICAL_SECTION logLock;
std::FILE* logFile;
HWND windows[MAX_WINDOWS];  // by creating thread
HANDLE windowReady[MAX_WINDOWS];
HWND searchOrder[MAX_WINDOWS];  // as FindWindowExA returns them
HANDLE numbered;                // set once searchOrder is filled

int windowNumber(HWND window) {
    for (int i = 0; i < options.windows; ++i) {
        if (searchOrder[i] == window) return i + 1;
    }
    return 0;
}

// Numbers this process's windows in the order the search visits them.
void numberWindowsInSearchOrder() {
    int count = 0;
    for (HWND found = FindWindowExA(nullptr, nullptr, MESSENGER_CLASS, nullptr);
         found != nullptr && count < options.windows;
         found = FindWindowExA(nullptr, found, MESSENGER_CLASS, nullptr)) {
        for (int i = 0; i < options.windows; ++i) {
            if (windows[i] == found) searchOrder[count++] = found;
        }
    }
}

void escapeText(const wchar_t* text, std::size_t units, char* out, std::size_t capacity) {
    std::size_t used = 0;
    for (std::size_t i = 0; i < units && used + 10 < capacity; ++i) {
        const unsigned unit = static_cast<unsigned>(text[i]);
        if (unit >= 0x20 && unit < 0x7F && unit != '<') {
            out[used++] = static_cast<char>(unit);
        } else {
            used += static_cast<std::size_t>(
                std::snprintf(out + used, capacity - used, "<U+%04X>", unit));
        }
    }
    out[used] = '\0';
}

// A field in UTF-8, for the console.
void printField(const StatusField& field) {
    char narrow[2048];
    const int length = WideCharToMultiByte(
        CP_UTF8, 0, reinterpret_cast<const wchar_t*>(field.begin), static_cast<int>(field.length),
        narrow, sizeof narrow, nullptr, nullptr);
    std::fwrite(narrow, 1, length > 0 ? static_cast<std::size_t>(length) : 0, stdout);
}

void showInPlainWords(int window, const wchar_t* text, std::size_t units) {
    const StatusDisplay display = readStatusDisplay(reinterpret_cast<const char16_t*>(text), units);
    const StatusField& line = display.displayLine;
    std::printf("messenger window %d: category ", window);
    printField(display.category);
    if (line.begin == nullptr || line.length == 0) {
        std::printf(", display line empty (status withdrawn)\n");
    } else {
        std::printf(", display line \"");
        printField(line);
        std::printf("\"\n");
    }
    std::fflush(stdout);
}

void logCopyData(HWND window, WPARAM sender, const COPYDATASTRUCT& copyData) {
    const wchar_t* text = static_cast<const wchar_t*>(copyData.lpData);
    std::size_t units = copyData.cbData / sizeof(wchar_t);
    const bool terminated = units > 0 && text != nullptr && text[units - 1] == L'\0';
    if (terminated) --units;
    static char escaped[8192];
    EnterCriticalSection(&logLock);
    escapeText(text, text != nullptr ? units : 0, escaped, sizeof escaped);
    std::fprintf(logFile, "window=%d sender=%08lX id=0x%lX bytes=%lu text=%s terminated=%s\n",
                 windowNumber(window), static_cast<unsigned long>(sender),
                 static_cast<unsigned long>(copyData.dwData),
                 static_cast<unsigned long>(copyData.cbData), escaped, terminated ? "yes" : "no");
    std::fflush(logFile);
    if (options.show && text != nullptr) showInPlainWords(windowNumber(window), text, units);
    LeaveCriticalSection(&logLock);
}

LRESULT CALLBACK messengerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        logCopyData(window, wParam, *reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        // Gone before the sender's call returns, as a messenger that quits may be.
        if (options.closeOnReceipt) DestroyWindow(window);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI runWindow(void* parameter) {
    const int index = static_cast<int>(reinterpret_cast<std::intptr_t>(parameter));
    windows[index] =
        CreateWindowExA(0, MESSENGER_CLASS, "messenger-sim", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetEvent(windowReady[index]);
    // A hung messenger: the window exists but its thread stops answering.
    WaitForSingleObject(numbered, INFINITE);
    if (windowNumber(windows[index]) == options.hungWindow) Sleep(options.hangMilliseconds);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

bool fileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool parseOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(name, "--show") == 0) {
            options.show = true;
            continue;
        }
        if (std::strcmp(name, "--close-on-receipt") == 0) {
            options.closeOnReceipt = true;
            continue;
        }
        if (value == nullptr) return false;
        ++i;
        if (std::strcmp(name, "--log") == 0) {
            options.logPath = value;
        } else if (std::strcmp(name, "--ready") == 0) {
            options.readyPath = value;
        } else if (std::strcmp(name, "--stop") == 0) {
            options.stopPath = value;
        } else if (std::strcmp(name, "--windows") == 0) {
            options.windows = std::atoi(value);
        } else if (std::strcmp(name, "--seconds") == 0) {
            options.seconds = std::strtoul(value, nullptr, 10);
        } else if (std::strcmp(name, "--hang") == 0) {
            char* end = nullptr;
            options.hungWindow = static_cast<int>(std::strtol(value, &end, 10));
            if (*end != ':') return false;
            options.hangMilliseconds = std::strtoul(end + 1, nullptr, 10);
        } else {
            return false;
        }
    }
    return options.logPath != nullptr && options.windows >= 0 && options.windows <= MAX_WINDOWS;
}

}  // namespace

int main(int argc, char** argv) {
    if (!parseOptions(argc, argv)) {
        std::fprintf(stderr,
                     "usage: messenger-sim --log FILE [--windows N] [--hang K:MS]"
                     " [--close-on-receipt] [--ready FILE] [--stop FILE] [--seconds S]"
                     " [--show]\n");
        return 2;
    }
    logFile = std::fopen(options.logPath, "wb");  // plain line feeds
    if (logFile == nullptr) return 1;
    InitializeCriticalSection(&logLock);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = messengerWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = MESSENGER_CLASS;
    RegisterClassA(&windowClass);

    numbered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (int i = 0; i < options.windows; ++i) {
        windowReady[i] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        CreateThread(nullptr, 0, runWindow, reinterpret_cast<void*>(static_cast<std::intptr_t>(i)),
                     0, nullptr);
    }
    // One at a time: a single wait takes at most 64 objects.
    for (int i = 0; i < options.windows; ++i) WaitForSingleObject(windowReady[i], 10000);
    numberWindowsInSearchOrder();
    SetEvent(numbered);
    if (options.readyPath != nullptr) {
        if (std::FILE* ready = std::fopen(options.readyPath, "w")) std::fclose(ready);
    }

    const DWORD deadline = GetTickCount() + options.seconds * 1000;
    while (static_cast<LONG>(deadline - GetTickCount()) > 0) {
        if (options.stopPath != nullptr && fileExists(options.stopPath)) break;
        Sleep(20);
    }
    EnterCriticalSection(&logLock);
    std::fclose(logFile);
    logFile = nullptr;
    // Hung threads may still be asleep; the process ends regardless.
    ExitProcess(0);
}
